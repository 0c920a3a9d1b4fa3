#include "presentation/MessageTestSupport.h"

#include <filesystem>
#include <random>

using namespace MessageRendering;
using namespace MessageTests;
using TestSupport::ReadAll;
using TestSupport::ShownBox;
using TestSupport::WriteAll;

namespace {

TEST(ParseMessageHeader, FixtureSplitsIntoSenderSubjectDateReplyToAndBody) {
  EXPECT_EQ(ParseMessageHeader(FixtureDescription()), FixtureHeader());
}

struct HeaderCase {
  const char* name;
  std::string description;
  MessageHeader expected;
};

class HeaderBlocks : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderBlocks, SplitAsTheBlockIsWritten) {
  EXPECT_EQ(ParseMessageHeader(GetParam().description), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ParseMessageHeader, HeaderBlocks,
    ::testing::Values(
        // Two characters after "from:" are always skipped: here the blank and the "A".
        HeaderCase{"UnquotedNameLosesItsFirstCharacter",
                   "<!--header start: From: Ann Editor &lt;ann@x.example&gt;Subject: Hi Date: "
                   "Mon Reply-To: desk@x.example header end -->}B",
                   {"nn Editor ", "ann@x.example", "Hi ", "Mon ", "", "desk@x.example ", "B"}},
        HeaderCase{"FieldsEndAtTheNextFieldNameInAnyCase",
                   "header start: from: \"A\" <a@x>SUBJECT: News on dates DATE: soon, reply "
                   "later REPLY-TO: \"R\" <r@x>header end -->B",
                   {"A ", "a@x", "News on ", "soon, ", "R ", "r@x", "B"}},
        HeaderCase{"EscapedLineBreaksAndParagraphTagsGoOtherEntitiesStay",
                   "<!-- header start: <p>From: &quot;A&quot; &lt;a@x&gt;&lt;br /&gt;Subject: "
                   "Q&amp;A&lt;br /&gt;Date: D&lt;br /&gt;Reply-To: &quot;R&quot; "
                   "&lt;r@x&gt;</p>header end -->{list}<p>Body</p>",
                   {"A ", "a@x", "Q&amp;A", "D", "R ", "r@x", "<p>Body</p>"}},
        HeaderCase{"BodyStartsAfterTheFirstBrace",
                   "header start: From: \"A\" <a@x>header end -->{a}{b}rest",
                   {"A ", "a@x", "", "", "", "", "{b}rest"}},
        HeaderCase{"MissingFieldNamesGiveEmptyFieldsAndCutsRunToTheBlockEnd",
                   "header start: From: \"A\" <a@x>Date: Tue header end -->B",
                   {"A ", "a@xDate: Tue ", "", "Tue ", "", "", "B"}},
        HeaderCase{"NoHeaderBlockMeansAllBody",
                   "<p>A plain letter. From: x, subject: y}</p>",
                   {"", "", "", "", "", "", "<p>A plain letter. From: x, subject: y}</p>"}},
        HeaderCase{"SkippedCharactersAreWholeCharacters",
                   "header start: From: \xC3\x84ngel <a@x>Subject: S Date: D Reply-To: r@x "
                   "header end -->B",
                   {"ngel ", "a@x", "S ", "D ", "", "r@x ", "B"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseMessageHeader, RandomTextNeverThrowsAndTheBodyIsAlwaysItsEnd) {
  const std::vector<std::string> pieces{"header start:",
                                        "header end",
                                        " -->",
                                        "header end -->",
                                        "from:",
                                        "From: \"",
                                        "subject",
                                        "Subject: ",
                                        "date",
                                        "Date: ",
                                        "reply",
                                        "Reply-To: ",
                                        "<",
                                        ">",
                                        "\"",
                                        "}",
                                        "&lt;",
                                        "&quot;",
                                        "<br />",
                                        "<p>",
                                        "\xC3\x84",
                                        "\x84",
                                        " ",
                                        "x"};
  std::mt19937 random(2710);
  for (int round = 0; round < 3000; ++round) {
    std::string description;
    const int count = static_cast<int>(random() % 24);
    for (int i = 0; i < count; ++i) {
      if (random() % 5 == 0) {
        description += static_cast<char>(random() % 256);
      } else {
        description += pieces[random() % pieces.size()];
      }
    }
    MessageHeader header;
    ASSERT_NO_THROW(header = ParseMessageHeader(description)) << description;
    ASSERT_TRUE(description.ends_with(header.Body)) << description;
  }
}

TEST(ShortenTitle, KeepsFourWordsCountingEmptyOnes) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"", ""},
      {"One two three four", "One two three four"},
      {"One two three four five", "One two three four ..."},
      {"One  two three four", "One  two three ..."},
      {"Four words and space ", "Four words and space ..."},
  };
  for (const auto& [title, expected] : cases) EXPECT_EQ(ShortenTitle(title), expected) << title;
}

TEST(RenderPage, TokensGoInOrderEachPassOnThePreviousResult) {
  const MessageHeader header{"Ann",  "ann@x",  "See DESC and DT", "Mon",
                             "Desk", "desk@x", "<p>SL FN</p>"};
  // The subject's "DESC" gets the body, its "DT" comes too late; the body is never searched;
  // lower-case tokens stay; "WIDTH" holds "DT".
  EXPECT_EQ(RenderPage("FN|FEML|DT|RT|REML|SL|DESC|fn dt Desc|WIDTH", header),
            "Ann |ann@x|Mon|Desk|desk@x|See <p>SL FN</p> and DT|<p>SL FN</p>|fn dt Desc|WIMonH");
}

TEST(RenderPage, BlankSenderNameLeavesNoSpace) {
  MessageHeader header;
  header.FromName = "   ";
  EXPECT_EQ(RenderPage("[FN]", header), "[]");
  header.FromName = "Ann ";
  EXPECT_EQ(RenderPage("[FN]", header), "[Ann  ]");
}

TEST(RenderPage, ShippedTemplateKeepsItsContentPolicyFirst) {
  const std::string page = ShippedTemplate();
  const std::size_t policy = page.find("<meta http-equiv=\"Content-Security-Policy\"");
  ASSERT_NE(policy, std::string::npos);
  EXPECT_EQ(page.find("<meta"), policy);
  EXPECT_NE(page.find("default-src 'none'", policy), std::string::npos);
  EXPECT_EQ(page.find("script-src"), std::string::npos);
  for (const char* token : {"FN", "FEML", "DT", "RT", "REML", "SL", "DESC"}) {
    EXPECT_GT(page.find(token), policy) << token;
  }

  MessageHeader hostile = FixtureHeader();
  hostile.Subject = "</title><meta http-equiv=\"refresh\" content=\"0;url=https://evil.example/\">";
  hostile.FromName = "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src *\">";
  const std::string rendered = RenderPage(page, hostile);
  EXPECT_EQ(rendered.find("<meta"), policy);
}

class ShowMessageTest : public MessageTest {};

TEST_F(ShowMessageTest, OpensAWindowOnTheRenderedPage) {
  EXPECT_TRUE(ShowMessage(kSourceID, kGuid, host));
  EXPECT_EQ(ReadAll(PagePath()),
            RenderPage(ShippedTemplate(), FixtureHeader(Loaded(kFixtureBody))) + "\r\n");
  const std::vector<FakeDocumentHost::Opened> expected{
      {kGuid, "The Tuesday Letter: spring ...", PagePath()}};
  EXPECT_EQ(host.opened, expected);
  EXPECT_EQ(mInbox::SourceID, kSourceID);
  EXPECT_EQ(mInbox::CurrentItem.guid, kGuid);
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(ShowMessageTest, OpenMessageIsOnlyFocused) {
  ASSERT_TRUE(ShowMessage(kSourceID, kGuid, host));
  WriteAll(PagePath(), "earlier");
  EXPECT_TRUE(ShowMessage(kSourceID, kGuid, host));
  EXPECT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(host.focused, (std::vector<std::string>{kGuid, kGuid}));
  EXPECT_EQ(ReadAll(PagePath()), "earlier");
}

TEST_F(ShowMessageTest, MissingTemplateGivesTheErrorBoxAndNoWindow) {
  std::filesystem::remove(platform.environment.programFolder + "/view.tpl");
  WriteAll(PagePath(), "earlier");
  EXPECT_FALSE(ShowMessage(kSourceID, kGuid, host));
  const std::vector<ShownBox> expected{
      {"Message details can't be shown. Required Data file to present item description is "
       "missing! Please reinstall the application to resolve this issue.",
       "Error!", 16}};
  EXPECT_EQ(platform.messageBox.shown, expected);
  EXPECT_TRUE(host.opened.empty());
  EXPECT_EQ(ReadAll(PagePath()), "earlier");
}

TEST_F(ShowMessageTest, UnknownMessageShowsNothing) {
  EXPECT_FALSE(ShowMessage(kSourceID, "https://news.example/other", host));
  EXPECT_FALSE(ShowMessage("", kGuid, host));
  EXPECT_TRUE(platform.messageBox.shown.empty());
  EXPECT_TRUE(host.opened.empty());
  EXPECT_FALSE(std::filesystem::exists(PagePath()));
}

// Opening anyway would show whichever message the page held before under this one's caption.
TEST_F(ShowMessageTest, PageThatCannotBeWrittenOpensNoWindow) {
  std::filesystem::create_directory(PagePath());
  EXPECT_FALSE(ShowMessage(kSourceID, kGuid, host));
  EXPECT_TRUE(host.opened.empty());
  ASSERT_EQ(platform.messageBox.shown.size(), 1u);
  EXPECT_EQ(platform.messageBox.shown[0].title, "Error !");
}

}  // namespace
