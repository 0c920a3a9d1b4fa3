#include "presentation/MessageRendering.h"

#include "TestPaths.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

using namespace MessageRendering;
using TestSupport::ReadAll;

namespace {

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

TEST(RenderPage, PartsTheHeaderHasNothingForAreLeftOut) {
  const std::string page =
      "<!--if subject-->[SL]<!--end subject--><!--if from-->[FN<!--if from-address--><FEML>"
      "<!--end from-address-->]<!--end from--><!--if date-->[DT]<!--end date-->"
      "<!--if reply-to-->[RT<!--if reply-to-address--><REML><!--end reply-to-address-->]"
      "<!--end reply-to-->|DESC";
  const auto shown = [&](const MessageHeader& header) { return RenderPage(page, header); };
  EXPECT_EQ(shown({"Ann", "a@x", "S", "Mon", "Desk", "d@x", "B"}), "[S][Ann <a@x>][Mon][Desk<d@x>]|B");
  EXPECT_EQ(shown({"Ann", " ", "", "", "", "d@x", "B"}), "[Ann ][<d@x>]|B");
  EXPECT_EQ(shown({"", "", "S", " ", "Desk", "", "B"}), "[S][Desk]|B");
  // Only the template is searched: a value holding a part's marks removes nothing.
  EXPECT_EQ(shown({"", "", "<!--if date-->x<!--end date-->", "", "", "", "<!--if from-->y"}),
            "[<!--if date-->x<!--end date-->]|<!--if from-->y");
  // A mark without its end stays.
  EXPECT_EQ(RenderPage("<!--if date-->DT", {}), "<!--if date-->");
}

// A message that chose no colours reads in a dark desktop's; one that set any keeps the light
// sheet it was written for. Catches a styled message turned dark (unreadable text on its own
// background), a plain one left glaring white, and a border colour taken for a text colour.
TEST(RenderPage, OnADarkDesktopOnlyMessagesWithoutColoursOfTheirOwnTurnDark) {
  const std::vector<std::pair<std::string, bool>> bodies = {
      {"<p>Plain words, <b>bold</b> and <a href=\"x\">a link</a>.</p>", false},
      {"<table style=\"border-color: red; width: 100%\"><tr><td>x</td></tr></table>", false},
      {"<p>The color: red is named in the text.</p>", false},
      {"<body bgcolor=\"#ffffff\"><p>x</p></body>", true},
      {"<table><tr><td BGCOLOR=#eee>x</td></tr></table>", true},
      {"<font color=\"navy\">x</font>", true},
      {"<body text=\"#000\">x</body>", true},
      {"<p style=\"margin:0;COLOR :#333\">x</p>", true},
      {"<div style='background-image:url(a.png)'>x</div>", true},
      {"<style>p { margin: 0 } .x { background: #fff }</style><p class=x>x</p>", true},
      {"<td background=\"paper.png\">x</td>", true},
  };
  const std::string page = "<!--if dark-->D<!--end dark--><!--if dark-body-->B<!--end dark-body-->";
  for (const auto& [body, own] : bodies) {
    EXPECT_EQ(SetsOwnColours(body), own) << body;
    MessageHeader header;
    header.Body = body;
    EXPECT_EQ(RenderPage(page, header, true), own ? "D" : "DB") << body;
    EXPECT_EQ(RenderPage(page, header, false), "") << body;
  }
}

// Catches a template whose content policy a field could come before or a script could loosen.
TEST(RenderPage, FittingRewritesTheBodyAndKeepsItsStyleSheetUnlessTurnedOff) {
  MessageHeader header;
  header.Body = "<img src=\"t.gif\" width=\"1\" height=\"1\">Text";
  const std::string page = "<!--if fit-->F<!--end fit-->DESC";
  EXPECT_EQ(RenderPage(page, header), "FText");
  EXPECT_EQ(RenderPage(page, header, false, false), header.Body);
}

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

TEST(RenderPage, ShippedCardShowsNoRowItHasNothingFor) {
  const std::string page = ReadAll(QP_SOURCE_DIR "/src/resources/view.tpl");
  const std::string card = RenderPage(page, {"", "", "A plain letter", "Mon", "", "", "B"});
  for (const char* left : {"<th>From", "<th>Reply-to", "&lt;&gt;"})
    EXPECT_EQ(card.find(left), std::string::npos) << left;
  EXPECT_NE(card.find("<h1 class=\"subject\">A plain letter</h1>"), std::string::npos);
  EXPECT_NE(card.find("<th>Date</th><td>Mon</td>"), std::string::npos);
  const std::string full = RenderPage(page, {"Ann", "a@x", "S", "Mon", "", "d@x", "B"});
  EXPECT_NE(full.find("<td>Ann <span class=\"address\">&lt;a@x&gt;</span></td>"),
            std::string::npos);
  EXPECT_NE(full.find("<th>Reply-to</th><td><span class=\"address\">&lt;d@x&gt;</span>"),
            std::string::npos);
}

}  // namespace
