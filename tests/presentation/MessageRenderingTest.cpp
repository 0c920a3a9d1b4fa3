#include "presentation/MessageTestSupport.h"

#include <filesystem>
#include <random>
#include <sstream>

using namespace MessageRendering;
using namespace MessageTests;
using TestSupport::ReadAll;
using TestSupport::WriteAll;

namespace {

using Fields = std::vector<std::string>;
Fields Split(const MessageHeader& h) {
  return {h.FromName, h.FromEmail, h.Subject, h.Date, h.ReplyToName, h.ReplyToEmail, h.Body};
}

TEST(ParseMessageHeader, SplitsBlocksAsTheyAreWritten) {
  EXPECT_EQ(Split(ParseMessageHeader(FixtureDescription())), Split(FixtureHeader()));
  const std::vector<std::pair<std::string, Fields>> cases{
      // Two characters after "from:" are skipped: an unquoted name loses its first one.
      {"<!--header start: From: Ann Editor &lt;ann@x.example&gt;Subject: Hi Date: Mon Reply-To: "
       "desk@x.example header end -->}B",
       {"nn Editor ", "ann@x.example", "Hi ", "Mon ", "", "desk@x.example ", "B"}},
      // Fields end at the next field's name in any case, even inside a word.
      {"header start: from: \"A\" <a@x>SUBJECT: News on dates DATE: soon, reply later "
       "REPLY-TO: \"R\" <r@x>header end -->B",
       {"A ", "a@x", "News on ", "soon, ", "R ", "r@x", "B"}},
      // Escaped line breaks and paragraph tags go, other entities stay; the body starts after
      // the first "}".
      {"<!-- header start: <p>From: &quot;A&quot; &lt;a@x&gt;&lt;br /&gt;Subject: Q&amp;A&lt;br "
       "/&gt;Date: D&lt;br /&gt;Reply-To: &quot;R&quot; &lt;r@x&gt;</p>header end -->{a}{b}<p>",
       {"A ", "a@x", "Q&amp;A", "D", "R ", "r@x", "{b}<p>"}},
      // Missing names give empty fields; a cut without its end runs to the end of the block.
      {"header start: From: \"A\" <a@x>Date: Tue header end -->B",
       {"A ", "a@xDate: Tue ", "", "Tue ", "", "", "B"}},
      // Without the block nothing of the text is lost.
      {"<p>A plain letter. From: x, subject: y}</p>",
       {"", "", "", "", "", "", "<p>A plain letter. From: x, subject: y}</p>"}},
      // Skipped characters are whole UTF-8 characters.
      {"header start: From: \xC3\x84ngel <a@x>Subject: S Date: D Reply-To: r@x header end -->B",
       {"ngel ", "a@x", "S ", "D ", "", "r@x ", "B"}},
  };
  for (const auto& [description, expected] : cases) {
    EXPECT_EQ(Split(ParseMessageHeader(description)), expected) << description;
  }
}

TEST(ParseMessageHeader, RandomTextNeverThrowsAndTheBodyIsAlwaysItsEnd) {
  std::vector<std::string> pieces;
  std::istringstream words(
      "header|start:|header start:|header end|header end -->|-->|from:|From: \"|subject|Subject: "
      "|date|Date: |reply|Reply-To: |<|>|\"|}|&lt;|&quot;|<br />|<p>|\xC3\x84|\x84| |x");
  for (std::string word; std::getline(words, word, '|');) pieces.push_back(word);
  std::mt19937 random(2710);
  for (int round = 0; round < 3000; ++round) {
    std::string description;
    for (int i = static_cast<int>(random() % 24); i > 0; --i) {
      description += random() % 5 == 0 ? std::string(1, static_cast<char>(random() % 256))
                                       : pieces[random() % pieces.size()];
    }
    MessageHeader header;
    ASSERT_NO_THROW(header = ParseMessageHeader(description)) << description;
    ASSERT_TRUE(description.ends_with(header.Body)) << description;
  }
}

TEST(ShortenTitle, KeepsFourWordsCountingEmptyOnes) {
  EXPECT_EQ(ShortenTitle("One two three four"), "One two three four");
  EXPECT_EQ(ShortenTitle("One two three four five"), "One two three four ...");
  EXPECT_EQ(ShortenTitle("One  two three four"), "One  two three ...");
}

TEST(RenderPage, TokensGoInOrderEachPassOnThePreviousResult) {
  MessageHeader header{"Ann", "ann@x", "See DESC and DT", "Mon", "Desk", "desk@x", "<p>SL FN</p>"};
  // The subject's "DESC" gets the body, its "DT" comes too late; the body is never searched;
  // lower-case tokens stay; "WIDTH" holds "DT".
  EXPECT_EQ(RenderPage("FN|FEML|DT|RT|REML|SL|DESC|fn dt Desc|WIDTH", header),
            "Ann |ann@x|Mon|Desk|desk@x|See <p>SL FN</p> and DT|<p>SL FN</p>|fn dt Desc|WIMonH");
  header.FromName = "   ";
  EXPECT_EQ(RenderPage("[FN]", header), "[]");
}

TEST(RenderPage, ShippedTemplateKeepsItsContentPolicyFirst) {
  const std::string page = ShippedTemplate();
  const std::size_t policy = page.find("<meta http-equiv=\"Content-Security-Policy\"");
  ASSERT_NE(policy, std::string::npos);
  EXPECT_NE(page.find("default-src 'none'", policy), std::string::npos);
  EXPECT_EQ(page.find("script-src"), std::string::npos);
  for (const char* token : {"FN", "FEML", "DT", "RT", "REML", "SL", "DESC"}) {
    EXPECT_GT(page.find(token), policy) << token;
  }
  MessageHeader hostile = FixtureHeader();
  hostile.Subject = "</title><meta http-equiv=\"refresh\" content=\"0;url=https://evil.example/\">";
  EXPECT_EQ(RenderPage(page, hostile).find("<meta"), policy);
}

class ShowMessageTest : public MessageTest {};

TEST_F(ShowMessageTest, OpensAWindowOnTheRenderedPageAndOnlyFocusesItLater) {
  EXPECT_TRUE(ShowMessage(kSourceID, kGuid, host));
  EXPECT_EQ(ReadAll(PagePath()),
            RenderPage(ShippedTemplate(), FixtureHeader(Loaded(kFixtureBody))) + "\r\n");
  const std::vector<FakeDocumentHost::Opened> opened{
      {kGuid, "The Tuesday Letter: spring ...", PagePath()}};
  EXPECT_EQ(host.opened, opened);
  EXPECT_EQ(std::pair(mInbox::SourceID, mInbox::CurrentItem.guid), std::pair(kSourceID, kGuid));

  WriteAll(PagePath(), "earlier");
  EXPECT_TRUE(ShowMessage(kSourceID, kGuid, host));
  EXPECT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(ReadAll(PagePath()), "earlier");
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(ShowMessageTest, MissingTemplateGivesTheErrorBoxAndNoWindow) {
  std::filesystem::remove(platform.environment.programFolder + "/view.tpl");
  WriteAll(PagePath(), "earlier");
  EXPECT_FALSE(ShowMessage(kSourceID, kGuid, host));
  const std::vector<TestSupport::ShownBox> shown{
      {"Message details can't be shown. Required Data file to present item description is "
       "missing! Please reinstall the application to resolve this issue.",
       "Error!", 16}};
  EXPECT_EQ(platform.messageBox.shown, shown);
  EXPECT_TRUE(host.opened.empty());
  EXPECT_EQ(ReadAll(PagePath()), "earlier");
}

TEST_F(ShowMessageTest, UnknownMessageShowsNothing) {
  EXPECT_FALSE(ShowMessage(kSourceID, "https://news.example/other", host));
  EXPECT_FALSE(ShowMessage("", kGuid, host));
  EXPECT_TRUE(platform.messageBox.shown.empty());
  EXPECT_TRUE(host.opened.empty());
}

// Opening anyway would show whichever message the page held before under this one's caption.
TEST_F(ShowMessageTest, PageThatCannotBeWrittenOpensNoWindow) {
  std::filesystem::create_directory(PagePath());
  EXPECT_FALSE(ShowMessage(kSourceID, kGuid, host));
  EXPECT_TRUE(host.opened.empty());
  EXPECT_EQ(platform.messageBox.shown.size(), 1u);
}

}  // namespace
