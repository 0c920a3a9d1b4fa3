#include "presentation/MessageActions.h"

#include "TestPaths.h"
#include "core/TreeControl.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

using namespace MessageActions;
using TestData::kSourceID;
using TestSupport::ReadAll;
using TestSupport::ShownBox;

namespace {

const std::string kGuid = "https://news.example/letters/2026-12-01";
const std::string kTitle = "The Tuesday Letter: spring issue is here";

// The fixture message stored in a source and selected in the tree.
class MessageActionsTest : public TestData::DataFolderTest {
 protected:
  void SetUp() override {
    InstallTemplate();
    std::string description = ReadAll(QP_FIXTURES_DIR "/messages/header_block_quoted_names.htm");
    std::replace(description.begin(), description.end(), '\n', '\x05');
    WriteInbox(
        TestData::Section(kGuid, kTitle, description, "Tue, 01 Dec 2026", "09:18:46", "+0000") +
        TestData::Section("g-slash", "Q1/Q2 report", "x"));
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
  // The node's image and bold mark, and the read flag stored (-1: not stored).
  std::tuple<int, bool, int> Look(const TreeControl::Node* node) {
    return {node->Image(), node->Bold(), StoredRead(kSourceID, node->Tag())};
  }

  TestSupport::FakeDocumentHost host;
  TreeControl tree{"tvMessages"};
  TreeControl::Node* message = nullptr;
};

TEST_F(MessageActionsTest, ExportsAskPerFormatAndAreByteExact) {
  const std::string body =
      "<div class=\"letter\">\r\n<h2>Spring issue</h2>\r\n<p>Good morning! This week: seed swaps, "
      "a balcony garden and the market&#39;s return.</p>\r\n<p><a "
      "href=\"https://news.example/spring\">Read the issue on the web</a></p>\r\n</div>\r\n";
  std::string page = ReadAll(QP_FIXTURES_DIR "/messages/header_block_quoted_names.htm");
  for (std::size_t at = 0; (at = page.find('\n', at)) != std::string::npos; at += 2)
    page.insert(at, "\r");
  const std::string expected[] = {
      "<html><head><title>" + kTitle + "</title></head><body>" + page + "</body></html>\r\n",
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
  const std::tuple<std::string, std::string, std::string, int> requests[] = {
      {"htm", kTitle, "HTML Files|*.htm;*.html", 2},
      {"txt", kTitle, "Text Files|*.txt", 2},
      {"eml", "", "Email Draft Files (*.eml)|*.eml", 2}};
  for (int index = 0; index < 3; ++index) {
    platform.saveDialog.answer = platform.root + "/export" + std::to_string(index);
    ExportSelected(tree, index);
    EXPECT_EQ(ReadAll(platform.saveDialog.answer), expected[index]) << index;
    const auto& r = platform.saveDialog.requests.back();
    EXPECT_EQ(std::tuple(r.title, r.defaultExtension, r.fileName, r.filter, r.flags),
              std::tuple_cat(std::tuple("Save Article Description as ..."), requests[index]));
  }
  ExportSelected(tree, 3);  // not an export entry
  platform.saveDialog.answer = "   ";
  ExportSelected(tree, 1);
  EXPECT_EQ(std::filesystem::exists("   "), false);
  EXPECT_EQ(platform.saveDialog.requests.size(), 4u);
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

TEST_F(MessageActionsTest, ProposedNamesHoldNoSlashOrControlCharacters) {
  AddMessage("g-slash", "Q1/Q2 report");
  ExportSelected(tree, 0);
  EXPECT_EQ(platform.saveDialog.requests.at(0).fileName, "Q1-Q2 report");
  EXPECT_EQ(ProposedFileName("a\tb\x7f\x01"
                             "c"),
            "abc");
  EXPECT_EQ(ProposedFileName(".."), "");
}

// Catches a sender line that adds headers of its own to the e-mail export.
TEST(EmailExport, LineBreaksInHeaderValuesCannotAddHeaders) {
  MessageRendering::MessageHeader header;
  header.Subject = "Hi\r\nBcc: everyone@x.example";
  const std::string text = BuildEmailExport(header);
  EXPECT_NE(text.find("\r\nSubject: Hi  Bcc: everyone@x.example\r\n"), std::string::npos) << text;
}

TEST_F(MessageActionsTest, ShowMarksReadOnlyWhatAWindowShows) {
  const std::string tpl = platform.environment.programFolder + "/view.tpl";
  std::filesystem::rename(tpl, platform.root + "/t");
  EXPECT_FALSE(ShowSelected(tree, host));
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Unread, true, 0));
  std::filesystem::rename(platform.root + "/t", tpl);
  EXPECT_TRUE(ShowSelected(tree, host));
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Read, true, 1));
}

TEST_F(MessageActionsTest, DeleteAsksThenRemovesMessageNodeAndWindow) {
  EXPECT_FALSE(DeleteSelected(tree, host));
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Unread, true, 0));

  platform.messageBox.answers = {Services::vbYes};
  EXPECT_TRUE(DeleteSelected(tree, host));
  const ShownBox question{
      "Are you sure you want to delete \"" + kTitle +
          "\"? Please note that once item is deleted, you won't be able to recover it. Continue?",
      "Delete selected Item?", 292};
  EXPECT_EQ(
      platform.messageBox.shown,
      (std::vector<ShownBox>{question, question, {"Message Successfully Deleted!", "Done!", 64}}));
  EXPECT_EQ(tree.Find(kSourceID)->ChildCount(), 0u);
  EXPECT_EQ(host.closed, std::vector<std::string>{kGuid});
  EXPECT_EQ(StoredRead(kSourceID, kGuid), -1);
}

TEST_F(MessageActionsTest, MarkChangesTheImageOnly) {
  MarkSelected(tree, true);
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Read, true, 1));
  message->SetBold(false);
  MarkSelected(tree, false);
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Unread, false, 0));
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
  EXPECT_EQ(platform.messageBox.shown.size() + platform.saveDialog.requests.size(), 0u);
  EXPECT_EQ(host.focused, std::vector<std::string>{});
  EXPECT_EQ(StoredRead(kSourceID, kGuid), 0);
}

}  // namespace
