#include "presentation/MessageActions.h"

#include "core/TreeControl.h"
#include "presentation/MessageTestSupport.h"

#include <filesystem>
#include <tuple>

using namespace MessageActions;
using namespace MessageTests;
using TestSupport::ReadAll;

namespace {

class MessageActionsTest : public MessageTest {
 protected:
  void SetUp() override {
    MessageTest::SetUp();
    tree.Add(kSourceID, "Tuesday Letter", MessageTreeImage::Source)->SetTag("https://h/feed");
    message = AddMessage(kGuid, kTitle);
  }

  TreeControl::Node* AddMessage(const std::string& guid, const std::string& title) {
    TreeControl::Node* node = tree.AddChild(kSourceID, "", title, MessageTreeImage::Unread);
    node->SetTag(guid);
    node->SetBold(true);
    tree.SetSelectedItem(node);
    return node;
  }
  std::pair<int, bool> Look(const TreeControl::Node* node) { return {node->Image(), node->Bold()}; }

  TreeControl tree{"tvMessages"};
  TreeControl::Node* message = nullptr;
};

TEST_F(MessageActionsTest, ExportsAskPerFormatAndAreByteExact) {
  const std::string body = Loaded(kFixtureBody) + "\r\n";
  const std::string expected[] = {
      "<html><head><title>" + kTitle + "</title></head><body>" + Loaded(FixtureDescription()) +
          "</body></html>\r\n",
      "From       :   Ann Editor  (ann@news.example)\r\n"
      "Reply-To   :   Letters Desk  (letters@news.example)\r\n"
      "Subject    :   The Tuesday Letter, spring issue\r\n"
      "Date & Time:   Tue, 01 Dec 2026 09:18:46 +0000\r\n\r\n\r\n" +
          body,
      "Envelope-to: \r\nFrom: \"Ann Editor\"<ann@news.example>\r\n"
      "Reply-To: \"Letters Desk\"<letters@news.example>\r\n"
      "Subject: The Tuesday Letter, spring issue\r\nDate: Tue, 01 Dec 2026 09:18:46 +0000\r\n"
      "MIME-Version: 1.0\r\nContent-Type: text/html;\r\n    charset = \"UTF-8\"\r\n"
      "Content-Transfer-Encoding: 8bit\r\n\r\n" +
          body,
  };
  const std::string title = "Save Article Description as ...";
  const std::tuple<std::string, std::string, std::string, int> requests[] = {
      {"htm", kTitle, "HTML Files|*.htm;*.html", 2},
      {"txt", kTitle, "Text Files|*.txt", 2},
      {"eml", "", "Email Draft Files (*.eml)|*.eml", 2}};
  for (int index = 0; index < 3; ++index) {
    platform.saveDialog.answer = platform.root + "/export" + std::to_string(index);
    ExportSelected(tree, index);
    EXPECT_EQ(ReadAll(platform.saveDialog.answer), expected[index]) << index;
    const auto& r = platform.saveDialog.requests.back();
    EXPECT_EQ(r.title, title);
    EXPECT_EQ(std::tuple(r.defaultExtension, r.fileName, r.filter, r.flags), requests[index]);
  }
  ExportSelected(tree, 3);
  EXPECT_EQ(platform.saveDialog.requests.size(), 3u);
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(MessageActionsTest, BlankAnswerWritesNothing) {
  platform.saveDialog.answer = "   ";
  ExportSelected(tree, 1);
  EXPECT_FALSE(std::filesystem::exists("   "));
}

TEST_F(MessageActionsTest, ProposedNamesHoldNoSlashOrControlCharacters) {
  Store("g-slash", "Q1/Q2 report", "x");
  AddMessage("g-slash", "Q1/Q2 report");
  ExportSelected(tree, 0);
  EXPECT_EQ(platform.saveDialog.requests.at(0).fileName, "Q1-Q2 report");
  EXPECT_EQ(ProposedFileName("a\tb\x7f\x01"
                             "c"),
            "abc");
  EXPECT_EQ(ProposedFileName(".."), "");
}

TEST(EmailExport, LineBreaksInHeaderValuesCannotAddHeaders) {
  MessageRendering::MessageHeader header;
  header.Subject = "Hi\r\nBcc: everyone@x.example";
  const std::string text = BuildEmailExport(header);
  EXPECT_NE(text.find("\r\nSubject: Hi  Bcc: everyone@x.example\r\n"), std::string::npos);
}

TEST_F(MessageActionsTest, ShowMarksReadOnlyWhatAWindowShows) {
  std::filesystem::rename(platform.environment.programFolder + "/view.tpl", platform.root + "/t");
  EXPECT_FALSE(ShowSelected(tree, host));
  EXPECT_EQ(Look(message), std::pair(MessageTreeImage::Unread, true));
  EXPECT_EQ(ReadFlag(kGuid), 0);

  std::filesystem::rename(platform.root + "/t", platform.environment.programFolder + "/view.tpl");
  EXPECT_TRUE(ShowSelected(tree, host));
  EXPECT_EQ(Look(message), std::pair(MessageTreeImage::Read, true));
  EXPECT_EQ(ReadFlag(kGuid), 1);
}

TEST_F(MessageActionsTest, DeleteAsksThenRemovesMessageNodeAndWindow) {
  EXPECT_FALSE(DeleteSelected(tree, host));
  EXPECT_EQ(tree.Find(kSourceID)->ChildCount(), 1u);
  EXPECT_EQ(ReadFlag(kGuid), 0);

  platform.messageBox.answers = {Services::vbYes};
  EXPECT_TRUE(DeleteSelected(tree, host));
  const TestSupport::ShownBox question{
      "Are you sure you want to delete \"" + kTitle +
          "\"? Please note that once item is deleted, you won't be able to recover it. Continue?",
      "Delete selected Item?", 292};
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<TestSupport::ShownBox>{
                question, question, {"Message Successfully Deleted!", "Done!", 64}}));
  EXPECT_EQ(tree.Find(kSourceID)->ChildCount(), 0u);
  EXPECT_EQ(host.closed, std::vector<std::string>{kGuid});
  EXPECT_EQ(ReadFlag(kGuid), -1);
}

TEST_F(MessageActionsTest, MarkChangesTheImageOnly) {
  MarkSelected(tree, true);
  EXPECT_EQ(Look(message), std::pair(MessageTreeImage::Read, true));
  EXPECT_EQ(ReadFlag(kGuid), 1);
  message->SetBold(false);
  MarkSelected(tree, false);
  EXPECT_EQ(Look(message), std::pair(MessageTreeImage::Unread, false));
  EXPECT_EQ(ReadFlag(kGuid), 0);

  const TreeControl::Node* gone = AddMessage("g-gone", "Not stored");
  MarkSelected(tree, true);
  EXPECT_EQ(gone->Image(), MessageTreeImage::Unread);
}

TEST_F(MessageActionsTest, CommandsWithoutAMessageNodeDoNothing) {
  platform.messageBox.answers = {Services::vbYes};
  for (TreeControl::Node* selected :
       {tree.Find(kSourceID), static_cast<TreeControl::Node*>(nullptr)}) {
    tree.SetSelectedItem(selected);
    EXPECT_FALSE(ShowSelected(tree, host));
    EXPECT_FALSE(DeleteSelected(tree, host));
    MarkSelected(tree, true);
    ExportSelected(tree, 0);
  }
  EXPECT_TRUE(platform.messageBox.shown.empty());
  EXPECT_TRUE(platform.saveDialog.requests.empty());
  EXPECT_TRUE(host.focused.empty());
  EXPECT_EQ(ReadFlag(kGuid), 0);
}

}  // namespace
