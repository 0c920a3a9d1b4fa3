#include "core/HtmlText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

// A message body as text: what a reader of the page sees (the text export, the search index).
TEST(HtmlText, BodyReadsAsTextWithParagraphsListItemsAndLinkAddresses) {
  const std::pair<std::string, std::string> rows[] = {
      {"<div class=\"x\">Caf&eacute; cr&#232;me &amp; &#x2014;&nbsp;&#146;&bogus; &lt;b&gt;</div>",
       "Caf\u00e9 cr\u00e8me & \u2014 \u2019&bogus; <b>"},
      {"<p>One\n  two</p><p>Three<br>four<br><br>five</p>",
       "One two\r\n\r\nThree\r\nfour\r\n\r\nfive"},
      {"<ul><li>a<li>b<ol><li>c</li><li>d</li></ol></ul>after",
       "- a\r\n- b\r\n  1. c\r\n  2. d\r\n\r\nafter"},
      {"<a href=\"https://x.example/?a=1&amp;b=2\">Read</a> <a href=\"#top\">Top</a> "
       "<a href='mailto:m@x.example'>m@x.example</a> <a "
       "href=\"https://y.example/\">https://y.example/</a>",
       "Read <https://x.example/?a=1&b=2> Top m@x.example https://y.example/"},
      {"<head><title>T</title></head><STYLE>p{}</STYLE>Hi<!-- <p>no</p> --><script>x<y</SCRIPT>!",
       "Hi!"},
      {"<pre>a  b\n c</pre><p title=\"a>b\">x", "a  b\r\n c\r\n\r\nx"},
      {"1 < 2 <script>never closed", "1 < 2"}};
  for (const auto& [html, text] : rows) EXPECT_EQ(HtmlText::ToText(html), text) << html;
  // Hostile text costs time in proportion to its size; indentation stops growing.
  EXPECT_EQ(HtmlText::ToText(std::string(200000, '&') + std::string(100000, '<') + ".").size(),
            300001u);
  std::string nested;
  for (int depth = 0; depth < 100000; ++depth) nested += "<ul><li>x";
  const std::string text = HtmlText::ToText(nested);
  EXPECT_EQ(text.substr(text.rfind('\n') + 1), std::string(16, ' ') + "- x");
}

// Catches link addresses found by a search (share buttons, tracking addresses) and hidden
// preheaders or tracking pictures' texts found although no reader of the page sees them.
TEST(HtmlText, ForSearchingItIsWhatThePageShowsWithoutAddressesOrHiddenText) {
  const std::pair<std::string, std::string> rows[] = {
      {"<a href=\"http://x.test/zephyr\">Read</a>more <img src=\"s.png\" alt=\"Spring &amp; sale\">"
       "<img src=\"t.gif\" alt=\"\">!",
       "Readmore Spring & sale !"},
      {"<div style=\"Display : None !important\">preheader</div>Shown<span style=\"visibility:"
       "hidden\">no</span> <b hidden>gone</b><img style=\"opacity:0\" alt=\"pixel\">",
       "Shown"},
      {"<div style=\"display:none\"><div>a</div>b<div>c</div></div>after", "after"},
      {"<p style=\"display:none\">left open<p>body</p>", "body"},
      {"<td style=\"font-size:0px;line-height:0\">x</td><td style=\"max-height:0;overflow:hidden\">"
       "y</td><td style=\"max-height:0\">z</td>",
       "z"},
      {"<div style=\"display:none\">never closed <p>at all", ""},
  };
  for (const auto& [html, text] : rows)
    EXPECT_EQ(HtmlText::ToText(html, HtmlText::Purpose::Search), text) << html;
  // The export keeps what it wrote.
  EXPECT_EQ(
      HtmlText::ToText("<div style=\"display:none\">pre</div><a href=\"http://x.test/\">a</a>"),
      "pre\r\na <http://x.test/>");
}
