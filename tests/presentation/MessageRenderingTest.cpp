#include "presentation/MessageRendering.h"

#include "TestPaths.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

using namespace MessageRendering;
using TestSupport::ReadAll;

namespace {

using Fields = std::vector<std::string>;
Fields Split(const MessageHeader& h) {
  return {h.FromName, h.FromEmail, h.Subject, h.Date, h.ReplyToName, h.ReplyToEmail, h.Body};
}

TEST(ParseMessageHeader, SplitsBlocksAsTheyAreWritten) {
  const std::string fixture = ReadAll(QP_FIXTURES_DIR "/messages/header_block_quoted_names.htm");
  const std::vector<std::pair<std::string, Fields>> cases{
      {fixture,
       {"Ann Editor ", "ann@news.example", "The Tuesday Letter, spring issue",
        "Tue, 01 Dec 2026 09:18:46 +0000", "Letters Desk ", "letters@news.example",
        fixture.substr(fixture.find("<div"))}},
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
  for (const auto& [description, expected] : cases)
    EXPECT_EQ(Split(ParseMessageHeader(description)), expected) << description;
}

TEST(ShortenTitle, KeepsFourWordsCountingEmptyOnes) {
  EXPECT_EQ(ShortenTitle("One two three four"), "One two three four");
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

// Catches a template whose content policy a field could come before or a script could loosen.
TEST(RenderPage, ShippedTemplateKeepsItsContentPolicyFirst) {
  const std::string page = ReadAll(QP_SOURCE_DIR "/src/resources/view.tpl");
  const std::size_t policy = page.find("<meta http-equiv=\"Content-Security-Policy\"");
  ASSERT_NE(policy, std::string::npos);
  EXPECT_NE(page.find("default-src 'none'", policy), std::string::npos);
  EXPECT_EQ(page.find("script-src"), std::string::npos);
  for (const char* token : {"FN", "FEML", "DT", "RT", "REML", "SL", "DESC"}) {
    EXPECT_GT(page.find(token), policy) << token;
  }
  MessageHeader hostile;
  hostile.Subject = "</title><meta http-equiv=\"refresh\" content=\"0;url=https://evil.example/\">";
  EXPECT_EQ(RenderPage(page, hostile).find("<meta"), policy);
}

}  // namespace
