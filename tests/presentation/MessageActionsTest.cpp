#include "presentation/MessageActions.h"

#include "TestPaths.h"
#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "inbox/mInbox.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

using namespace MessageActions;
using TestData::kSourceID;
using TestSupport::ReadAll;
using TestSupport::ShownBox;
using Node = TreeControl::Node;

namespace {

const std::string kFixture = QP_FIXTURES_DIR "/messages/header_block_quoted_names.htm";
const std::string kGuid = "https://news.example/letters/2026-12-01";
const std::string kTitle = "The Tuesday Letter: spring issue is here";

// The fixture message stored in a source, as the feed parser stores it, and selected in the tree.
class MessageActionsTest : public TestData::DataFolderTest {
 protected:
  void SetUp() override {
    InstallTemplate();
    std::string description = ReadAll(kFixture);
    std::replace(description.begin(), description.end(), '\n', '\x05');
    WriteInbox(
        TestData::Section(kGuid, kTitle, description, "Tue, 01 Dec 2026", "09:18:46", "+0000"));
    tree.Add(kSourceID, "Tuesday Letter", MessageTreeImage::Source);
    message = AddMessage(kGuid, kTitle);
  }

  Node* AddMessage(const std::string& guid, const std::string& title) {
    Node* node = tree.AddChild(kSourceID, "", title, MessageTreeImage::Unread);
    node->SetTag(guid);
    node->SetBold(true);
    tree.SetSelectedItem(node);
    return node;
  }
  // The node's image and bold mark, and the read flag stored (-1: not stored).
  std::tuple<int, bool, int> Look(const Node* node) {
    return {node->Image(), node->Bold(), StoredRead(kSourceID, node->Tag())};
  }
  // The fixture as loading it from the inbox gives it back (line feeds as CR LF).
  std::string Loaded() {
    StoredRead(kSourceID, kGuid);
    return mInbox::CurrentItem.description;
  }
  std::string PagePath() const { return mAppFunctions::DataPath + "/item.htm"; }

  TestSupport::FakeDocumentHost host;
  TreeControl tree{"tvMessages"};
  Node* message = nullptr;
};

TEST_F(MessageActionsTest, ExportsAskPerFormatAndAreByteExact) {
  const std::string page = Loaded();
  const std::string body = page.substr(page.find('}') + 1) + "\r\n";
  const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
      {"<html><head><meta charset=\"utf-8\"><title>" + kTitle + "</title></head><body>" + page +
           "</body></html>\r\n",
       "htm", kTitle, "HTML Files|*.htm;*.html"},
      {"From       :   Ann Editor  (ann@news.example)\r\n"
       "Reply-To   :   Letters Desk  (letters@news.example)\r\n"
       "Subject    :   The Tuesday Letter, spring issue\r\n"
       "Date & Time:   Tue, 01 Dec 2026 09:18:46 +0000\r\n\r\n\r\nSpring issue\r\n\r\n"
       "Good morning! This week: seed swaps, a balcony garden and the market's return.\r\n\r\n"
       "Read the issue on the web <https://news.example/spring>\r\n",
       "txt", kTitle, "Text Files|*.txt"},
      {"Envelope-to: \r\nFrom: \"Ann Editor\"<ann@news.example>\r\n"
       "Reply-To: \"Letters Desk\"<letters@news.example>\r\n"
       "Subject: The Tuesday Letter, spring issue\r\nDate: Tue, 01 Dec 2026 09:18:46 +0000\r\n"
       "MIME-Version: 1.0\r\nContent-Type: text/html;\r\n    charset = \"UTF-8\"\r\n"
       "Content-Transfer-Encoding: 8bit\r\n\r\n" +
           body,
       "eml", "", "Email Draft Files (*.eml)|*.eml"}};
  for (int index = 0; index < 3; ++index) {
    const auto& [text, extension, name, filter] = rows[index];
    platform.saveDialog.answer = platform.root + "/export" + std::to_string(index);
    ExportSelected(tree, index);
    EXPECT_EQ(ReadAll(platform.saveDialog.answer), text) << index;
    const auto& r = platform.saveDialog.requests.back();
    EXPECT_EQ(std::tuple(r.title, r.defaultExtension, r.fileName, r.filter, r.flags),
              std::tuple("Save Article Description as ...", extension, name, filter, 2));
  }
  ExportSelected(tree, 3);  // not an export entry
  platform.saveDialog.answer = "   ";
  ExportSelected(tree, 1);
  EXPECT_EQ(std::filesystem::exists("   "), false);
  EXPECT_EQ(platform.saveDialog.requests.size(), 4u);
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
  // The proposed name (the titles above pass as they are).
  EXPECT_EQ(std::tuple(ProposedFileName("Q1/Q2"), ProposedFileName("a\tb\x7f\001c"),
                       ProposedFileName("..")),
            std::tuple("Q1-Q2", "abc", ""));
}

// The header lines of both exports: what the page shows as HTML, said as text; no value adds a
// header line, and no address header goes out without its address.
TEST(ExportHeaders, SayWhatTheMessageSays) {
  using MessageRendering::MessageHeader;
  const std::tuple<const char*, MessageHeader, std::string, std::string> rows[] = {
      {"references decoded",
       {"Misc &amp; Co ", "misc@x", "Q&amp;A &#8212; caf&eacute;", "Mon", "Desk ", "d@x", ""},
       "From       :   Misc & Co  (misc@x)\r\nReply-To   :   Desk  (d@x)\r\n"
       "Subject    :   Q&A \u2014 caf\u00e9\r\nDate & Time:   Mon\r\n",
       "From: \"Misc & Co\"<misc@x>\r\nReply-To: \"Desk\"<d@x>\r\n"
       "Subject: Q&A \u2014 caf\u00e9\r\nDate: Mon\r\n"},
      {"no addresses, no date",
       {"", "", "A plain letter", " ", "Desk", "", ""},
       "From       :    ()\r\nReply-To   :   Desk ()\r\nSubject    :   A plain letter\r\n"
       "Date & Time:    \r\n",
       "Subject: A plain letter\r\n"},
      {"line breaks and quotes",
       {"Ann &quot;Ed&quot; \\", "a@x", "Hi\r\nBcc: e@x", "Hi&#13;&#10;Bcc: e@x", "", "d@x", ""},
       "From       :   Ann \"Ed\" \\ (a@x)\r\nReply-To   :    (d@x)\r\nSubject    :   Hi\r\nBcc: "
       "e@x\r\n"
       "Date & Time:   Hi\r\nBcc: e@x\r\n",
       "From: \"Ann \\\"Ed\\\" \\\\\"<a@x>\r\nReply-To: \"\"<d@x>\r\nSubject: Hi  Bcc: e@x\r\n"
       "Date: Hi  Bcc: e@x\r\n"},
  };
  for (const auto& [name, header, text, email] : rows) {
    const std::string textExport = BuildTextExport(header);
    EXPECT_EQ(textExport.substr(0, textExport.find("\r\n\r\n\r\n") + 2), text) << name;
    const std::string emailExport = BuildEmailExport(header);
    const std::size_t start = std::string("Envelope-to: \r\n").size();
    EXPECT_EQ(emailExport.substr(start, emailExport.find("MIME-Version") - start), email) << name;
  }
}

TEST(PrintDocumentName, IsTheWholeTitleWithItsDotsKept) {
  const std::pair<std::string, std::string> rows[] = {
      {"The Tuesday Letter: spring issue is here", "The Tuesday Letter: spring issue is here.pdf"},
      {"Meet us at news.example", "Meet us at news.example.pdf"},
      {"Wait for it...", "Wait for it.pdf"},
      {" .hidden / shown ", "hidden - shown.pdf"},
      {"...", ""},
      {"", ""}};
  for (const auto& [title, name] : rows) EXPECT_EQ(PrintDocumentName(title), name) << title;
}

TEST_F(MessageActionsTest, ShowOpensAWindowOnTheRenderedPageThenOnlyFocusesItAndMarkSetsTheImage) {
  EXPECT_TRUE(ShowSelected(tree, host));
  MessageRendering::MessageHeader header = MessageRendering::ParseMessageHeader(Loaded());
  EXPECT_EQ(ReadAll(PagePath()),
            MessageRendering::RenderPage(ReadAll(QP_SOURCE_DIR "/src/resources/view.tpl"), header) +
                "\r\n");
  using Opened = TestSupport::FakeDocumentHost::Opened;
  EXPECT_EQ(host.opened,
            (std::vector<Opened>{{kGuid, "The Tuesday Letter: spring ...", PagePath()}}));
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Read, true, 1));  // bold stays

  TestSupport::WriteAll(PagePath(), "earlier");
  EXPECT_TRUE(ShowSelected(tree, host));
  EXPECT_EQ(std::tuple(host.opened.size(), ReadAll(PagePath()), platform.messageBox.shown.size()),
            std::tuple(1ul, "earlier", 0ul));

  // The inbox's flag decides, not the image: shown read but stored unread, it is marked read.
  ASSERT_TRUE(mInbox::MarkMessage(kSourceID, kGuid, false));
  EXPECT_TRUE(ShowSelected(tree, host));
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Read, true, 1));

  // Marking sets the image (bold untouched) of a stored message only.
  message->SetBold(false);
  MarkSelected(tree, false);
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Unread, false, 0));
  MarkSelected(tree, true);
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Read, false, 1));
  AddMessage("g-gone", "Not stored");
  MarkSelected(tree, true);
  EXPECT_EQ(tree.SelectedItem()->Image(), MessageTreeImage::Unread);
}

// A message is marked read only when a window really shows it.
TEST_F(MessageActionsTest, WhatCannotBeShownOpensNoWindowAndStaysUnread) {
  // Opening anyway would show whichever message the page held before under this one's caption.
  std::filesystem::create_directory(PagePath());
  EXPECT_FALSE(ShowSelected(tree, host));
  EXPECT_EQ(platform.messageBox.shown.size(), 1u);
  std::filesystem::remove(PagePath());

  std::filesystem::remove(platform.environment.programFolder + "/view.tpl");
  TestSupport::WriteAll(PagePath(), "earlier");
  EXPECT_FALSE(ShowSelected(tree, host));
  EXPECT_EQ(platform.messageBox.shown.back(),
            (ShownBox{"Message details can't be shown. Required Data file to present item "
                      "description is missing! Please reinstall the application to resolve this "
                      "issue.",
                      "Error!", 16}));
  EXPECT_EQ(ReadAll(PagePath()), "earlier");
  EXPECT_EQ(host.opened, std::vector<TestSupport::FakeDocumentHost::Opened>{});
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Unread, true, 0));
}

TEST_F(MessageActionsTest, DeleteAsksThenRemovesMessageNodeAndWindow) {
  for (Node* selected : {tree.Find(kSourceID), static_cast<Node*>(nullptr), message}) {
    tree.SetSelectedItem(selected);  // only a message node is asked about
    EXPECT_FALSE(DeleteSelected(tree, host));
  }
  EXPECT_EQ(Look(message), std::tuple(MessageTreeImage::Unread, true, 0));
  platform.messageBox.answers = {Services::vbYes};
  EXPECT_TRUE(DeleteSelected(tree, host));
  const ShownBox question{
      "Are you sure you want to delete \"" + kTitle +
          "\"? Please note that once item is deleted, you won't be able to recover it. Continue?",
      "Delete selected Item?", 292};  // asked for the message only, first answered No
  EXPECT_EQ(
      platform.messageBox.shown,
      (std::vector<ShownBox>{question, question, {"Message Successfully Deleted!", "Done!", 64}}));
  EXPECT_EQ(tree.Find(kSourceID)->ChildCount(), 0u);
  EXPECT_EQ(host.closed, std::vector<std::string>{kGuid});
  EXPECT_EQ(StoredRead(kSourceID, kGuid), -1);
}

}  // namespace
