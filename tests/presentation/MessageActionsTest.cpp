#include "presentation/MessageActions.h"

#include "presentation/MessageTestSupport.h"
#include "presentation/TreeControl.h"

#include <filesystem>
#include <tuple>

using namespace MessageActions;
using namespace MessageTests;
using TestSupport::ReadAll;
using TestSupport::ShownBox;
namespace fs = std::filesystem;

namespace {

class MessageActionsTest : public MessageTest {
 protected:
  void SetUp() override {
    MessageTest::SetUp();
    tree.Add(kSourceID, "Tuesday Letter", MessageTreeImage::Source)->SetTag("https://h/feed");
    message = AddMessage(kGuid, kTitle);
    tree.SetSelectedItem(message);
  }

  TreeControl::Node* AddMessage(const std::string& guid, const std::string& title) {
    TreeControl::Node* node = tree.AddChild(kSourceID, "", title, MessageTreeImage::Unread);
    node->SetTag(guid);
    node->SetBold(true);
    return node;
  }

  TreeControl tree{"tvMessages"};
  TreeControl::Node* message = nullptr;
};

using Request = Services::ISaveDialog::Request;
auto Fields(const Request& r) {
  return std::tuple(r.title, r.defaultExtension, r.fileName, r.filter, r.flags);
}

TEST_F(MessageActionsTest, ExportsAreByteExact) {
  const std::string body = Loaded(kFixtureBody) + "\r\n";
  const std::string expected[] = {
      "<html><head><title>" + kTitle + "</title></head><body>" + Loaded(FixtureDescription()) +
          "</body></html>\r\n",
      "From       :   Ann Editor  (ann@news.example)\r\n"
      "Reply-To   :   Letters Desk  (letters@news.example)\r\n"
      "Subject    :   The Tuesday Letter, spring issue\r\n"
      "Date & Time:   Tue, 01 Dec 2026 09:18:46 +0000\r\n"
      "\r\n"
      "\r\n" +
          body,
      "Envelope-to: \r\n"
      "From: \"Ann Editor\"<ann@news.example>\r\n"
      "Reply-To: \"Letters Desk\"<letters@news.example>\r\n"
      "Subject: The Tuesday Letter, spring issue\r\n"
      "Date: Tue, 01 Dec 2026 09:18:46 +0000\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: text/html;\r\n"
      "    charset = \"UTF-8\"\r\n"
      "Content-Transfer-Encoding: 8bit\r\n"
      "\r\n" +
          body,
  };
  for (int index = 0; index < 3; ++index) {
    platform.saveDialog.answer = platform.root + "/export" + std::to_string(index);
    ExportSelected(tree, index);
    EXPECT_EQ(ReadAll(platform.saveDialog.answer), expected[index]) << index;
  }
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(MessageActionsTest, SaveDialogIsSetAnewForEachFormat) {
  for (int index : {0, 1, 2, 3, -1}) ExportSelected(tree, index);
  const std::string title = "Save Article Description as ...";
  ASSERT_EQ(platform.saveDialog.requests.size(), 3u);
  EXPECT_EQ(
      Fields(platform.saveDialog.requests[0]),
      std::tuple(title, std::string("htm"), kTitle, std::string("HTML Files|*.htm;*.html"), 2));
  EXPECT_EQ(Fields(platform.saveDialog.requests[1]),
            std::tuple(title, std::string("txt"), kTitle, std::string("Text Files|*.txt"), 2));
  EXPECT_EQ(Fields(platform.saveDialog.requests[2]),
            std::tuple(title, std::string("eml"), std::string(),
                       std::string("Email Draft Files (*.eml)|*.eml"), 2));
}

TEST_F(MessageActionsTest, BlankAnswerWritesNothing) {
  for (const char* answer : {"", "   "}) {
    platform.saveDialog.answer = answer;
    ExportSelected(tree, 1);
  }
  EXPECT_FALSE(fs::exists("   "));
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(MessageActionsTest, ProposedNamesHoldNoSlashOrControlCharacters) {
  Store("g-slash", "Q1/Q2 report", "x");
  tree.SetSelectedItem(AddMessage("g-slash", "Q1/Q2 report"));
  ExportSelected(tree, 0);
  ASSERT_EQ(platform.saveDialog.requests.size(), 1u);
  EXPECT_EQ(platform.saveDialog.requests[0].fileName, "Q1-Q2 report");

  EXPECT_EQ(ProposedFileName("a\tb\x7f\x01"
                             "c"),
            "abc");
  EXPECT_EQ(ProposedFileName("../../etc"), "..-..-etc");
  EXPECT_EQ(ProposedFileName(".."), "");
  std::string longTitle;
  for (int i = 0; i < 150; ++i) longTitle += "\xC3\xA9";
  EXPECT_EQ(ProposedFileName(longTitle), longTitle.substr(0, 200));
  EXPECT_EQ(ProposedFileName("x" + longTitle), "x" + longTitle.substr(0, 198));
}

TEST(EmailExport, LineBreaksInHeaderValuesCannotAddHeaders) {
  MessageRendering::MessageHeader header;
  header.Subject = "Hi\r\nBcc: everyone@x.example";
  header.FromName = "Ann\nX-Evil: 1";
  const std::string text = BuildEmailExport(header);
  EXPECT_NE(text.find("Subject: Hi  Bcc: everyone@x.example\r\n"), std::string::npos);
  EXPECT_NE(text.find("From: \"Ann X-Evil: 1\"<>\r\n"), std::string::npos);
}

TEST_F(MessageActionsTest, ShowMarksAnUnreadMessageReadKeepingItBold) {
  EXPECT_TRUE(ShowSelected(tree, host));
  EXPECT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(message->Image(), MessageTreeImage::Read);
  EXPECT_EQ(message->Bold(), true);
  EXPECT_EQ(ReadFlag(kGuid), 1);
}

TEST_F(MessageActionsTest, ShowThatOpensNoWindowLeavesTheMessageUnread) {
  fs::remove(platform.environment.programFolder + "/view.tpl");
  EXPECT_FALSE(ShowSelected(tree, host));
  EXPECT_EQ(message->Image(), MessageTreeImage::Unread);
  EXPECT_EQ(ReadFlag(kGuid), 0);
}

TEST_F(MessageActionsTest, DeleteAnsweredYesRemovesMessageNodeAndWindow) {
  host.open.insert(kGuid);
  platform.messageBox.answers = {Services::vbYes};
  EXPECT_TRUE(DeleteSelected(tree, host));
  const std::vector<ShownBox> expected{
      {"Are you sure you want to delete \"" + kTitle +
           "\"? Please note that once item is deleted, you won't be able to recover it. "
           "Continue?",
       "Delete selected Item?", 292},
      {"Message Successfully Deleted!", "Done!", 64}};
  EXPECT_EQ(platform.messageBox.shown, expected);
  EXPECT_EQ(tree.Find(kSourceID)->ChildCount(), 0u);
  EXPECT_EQ(host.closed, std::vector<std::string>{kGuid});
  EXPECT_EQ(ReadFlag(kGuid), -1);
}

TEST_F(MessageActionsTest, DeleteAnsweredNoChangesNothing) {
  EXPECT_FALSE(DeleteSelected(tree, host));
  EXPECT_EQ(platform.messageBox.shown.size(), 1u);
  EXPECT_EQ(tree.Find(kSourceID)->ChildCount(), 1u);
  EXPECT_TRUE(host.closed.empty());
  EXPECT_EQ(ReadFlag(kGuid), 0);
}

TEST_F(MessageActionsTest, MarkChangesTheImageOnly) {
  MarkSelected(tree, true);
  EXPECT_EQ(std::pair(message->Image(), message->Bold()), std::pair(MessageTreeImage::Read, true));
  EXPECT_EQ(ReadFlag(kGuid), 1);

  message->SetBold(false);
  MarkSelected(tree, false);
  EXPECT_EQ(std::pair(message->Image(), message->Bold()),
            std::pair(MessageTreeImage::Unread, false));
  EXPECT_EQ(ReadFlag(kGuid), 0);

  TreeControl::Node* gone = AddMessage("g-gone", "Not stored");
  tree.SetSelectedItem(gone);
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
  EXPECT_EQ(message->Image(), MessageTreeImage::Unread);
  EXPECT_EQ(ReadFlag(kGuid), 0);
}

}  // namespace
