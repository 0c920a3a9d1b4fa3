#include "core/XmlDocument.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>

using TestSupport::ReadAll;
using TestSupport::TempFolder;
using TestSupport::WriteAll;

namespace {

std::vector<XmlNodeKind> KindsOf(const std::vector<XmlNode>& nodes) {
  std::vector<XmlNodeKind> kinds;
  for (const XmlNode& node : nodes) kinds.push_back(node.Kind());
  return kinds;
}

}  // namespace

TEST(XmlLoad, OnlyWellFormedDocumentsLoadAndAFailureLeavesNothing) {
  XmlDocument document;
  for (const char* broken :
       {"", "plain text", "<a>", "<a></b>", "<a b=c/>", "<a/><b/>", "not xml <sources/>",
        "<sources/> trailing", "<?xml version=\"1.0\"?>"}) {
    ASSERT_TRUE(document.LoadText("<sources/>"));
    EXPECT_FALSE(document.LoadText(broken)) << broken;
    EXPECT_TRUE(document.FindFirstElement("sources").IsNull()) << broken;
  }
  EXPECT_TRUE(document.LoadText("<?xml version=\"1.0\"?>\n<!-- c --><a x='1'/>\n<?pi?>\n"));
  // Lenient where nothing is lost: an unknown reference reads as written.
  EXPECT_TRUE(document.LoadText("<a>AT&T &bogus;</a>"));
  EXPECT_EQ(document.FindFirstElement("a").Text(), "AT&T &bogus;");

  TempFolder dir;
  WriteAll(dir.File("a.xml"), "\xEF\xBB\xBF<r>caf\xC3\xA9</r>");
  ASSERT_TRUE(document.LoadFile(dir.File("a.xml")));
  EXPECT_EQ(document.FindFirstElement("r").Text(), "caf\xC3\xA9");
  EXPECT_FALSE(document.LoadFile(dir.File("missing.xml")));
  EXPECT_FALSE(document.LoadFile(dir.path()));
}

TEST(XmlSelect, FirstMatchInDocumentOrderAtAnyDepth) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<feed><x><sources id='deep'/></x><sources id='later'/><channel>top</channel>"
      "<rss><item><channel>nested</channel></item><channel>wanted</channel></rss></feed>"));
  EXPECT_EQ(document.FindFirstElement("sources").Attributes()[0].value, "deep");
  EXPECT_EQ(document.FindFirstElement("channel", "rss").Text(), "wanted");
  EXPECT_TRUE(document.FindFirstElement("Sources").IsNull());
  EXPECT_TRUE(document.FindFirstElement("item").FindFirstElement("rss").IsNull());
}

TEST(XmlChildren, WhitespaceBetweenElementsIsNoChild) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<sources>\r\n    <source id=\"1\">http://a</source>\r\n\t<source id=\"2\">http://b</source>"
      "\r\n</sources><!-- c -->"));
  const XmlNode sources = document.FindFirstElement("sources");
  EXPECT_EQ(KindsOf(sources.ChildNodes()), std::vector<XmlNodeKind>(2, XmlNodeKind::Element));
  EXPECT_EQ(sources.FirstChild().NextSibling(), sources.ChildNodes()[1]);
  EXPECT_TRUE(sources.ChildNodes()[1].NextSibling().IsNull());

  ASSERT_TRUE(document.LoadText("<r>\n <!-- note -->\n <e/> text <![CDATA[x]]></r>"));
  EXPECT_EQ(KindsOf(document.FindFirstElement("r").ChildNodes()),
            (std::vector<XmlNodeKind>{XmlNodeKind::Comment, XmlNodeKind::Element, XmlNodeKind::Text,
                                      XmlNodeKind::CData}));
}

TEST(XmlText, AllDescendantTextWithCDataTrimmedOnceAtTheEnds) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<item><description><![CDATA[<p>Hello & <b>welcome</b></p>]]></description></item>"));
  EXPECT_EQ(document.FindFirstElement("description").Text(), "<p>Hello & <b>welcome</b></p>");
  ASSERT_TRUE(document.LoadText(
      "<r>\r\n\t <a>one <!-- skip -->two</a><b><![CDATA[ three ]]></b>&lt;&#65;&gt;\t\n</r>"));
  EXPECT_EQ(document.FindFirstElement("r").Text(), "one two three <A>");
  // Only XML white space is trimmed: a no-break space is part of a guid.
  ASSERT_TRUE(document.LoadText("<guid><![CDATA[\xC2\xA0x\xC2\xA0]]>\n</guid>"));
  EXPECT_EQ(document.FindFirstElement("guid").Text(), "\xC2\xA0x\xC2\xA0");
}

TEST(XmlEdit, AttributesTextAndChildrenChangeInPlace) {
  XmlDocument document;
  ASSERT_TRUE(
      document.LoadText("<sources><s title=\"old\" id=\"I\">a<b/></s><c><d/></c></sources>"));
  XmlNode sources = document.FindFirstElement("sources");
  XmlNode s = document.FindFirstElement("s");
  s.SetAttribute("title", "new & \"q\"");
  s.SetAttribute("link", "L");
  EXPECT_EQ(s.Attributes(),
            (std::vector<XmlAttribute>{{"title", "new & \"q\""}, {"id", "I"}, {"link", "L"}}));
  s.SetText("one <text>");
  EXPECT_EQ(KindsOf(s.ChildNodes()), std::vector<XmlNodeKind>{XmlNodeKind::Text});
  EXPECT_EQ(s.Text(), "one <text>");

  sources.AppendElement("source").SetAttribute("id", "X");
  EXPECT_TRUE(sources.RemoveChild(document.FindFirstElement("c")));
  EXPECT_FALSE(document.DocumentNode().RemoveChild(s));
  ASSERT_EQ(sources.ChildNodes().size(), 2u);
  EXPECT_EQ(sources.ChildNodes()[1].Name(), "source");
  EXPECT_TRUE(document.FindFirstElement("d").IsNull());
}

TEST(XmlSave, KeepsDeclarationCommentsAndContentAsUtf8) {
  TempFolder dir;
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--\r\nDocument   : x\r\n-->\r\n"
      "<sources>\r\n</sources>\r\n"));
  XmlNode source = document.FindFirstElement("sources").AppendElement("source");
  source.SetAttribute("title", "Caf\xC3\xA9 \"<&>\"\n");
  source.SetText("http://h/?a=1&b=<2>");
  std::error_code ec;
  ASSERT_TRUE(document.Save(dir.File("s.xml"), ec)) << ec.message();
  const std::string saved = ReadAll(dir.File("s.xml"));
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--\nDocument   : x\n-->\n<sources>\n";
  EXPECT_EQ(saved.substr(0, head.size()), head);

  XmlDocument again;
  ASSERT_TRUE(again.LoadFile(dir.File("s.xml")));
  EXPECT_EQ(again.FindFirstElement("source").Attributes(),
            (std::vector<XmlAttribute>{{"title", "Caf\xC3\xA9 \"<&>\"\n"}}));
  EXPECT_EQ(again.FindFirstElement("source").Text(), "http://h/?a=1&b=<2>");
  // The layout does not creep from one save to the next.
  EXPECT_EQ(again.ToText(), saved);
}

TEST(XmlSave, AnotherDeclaredEncodingIsWrittenAsUtf8) {
  TempFolder dir;
  WriteAll(dir.File("latin.xml"), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>");
  XmlDocument document;
  ASSERT_TRUE(document.LoadFile(dir.File("latin.xml")));
  std::error_code ec;
  ASSERT_TRUE(document.Save(dir.File("latin.xml"), ec));
  ASSERT_TRUE(document.LoadFile(dir.File("latin.xml")));
  EXPECT_EQ(document.FindFirstElement("r").Text(), "caf\xC3\xA9");
}

TEST(XmlHostile, EntitiesAreNeverExpandedNorFetched) {
  std::string laughs = "<!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&lol" + (i > 1 ? std::to_string(i - 1) : "") + ";";
    laughs += "\">";
  }
  laughs += "]><lolz>&lol9;</lolz>";
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(laughs));
  EXPECT_EQ(document.FindFirstElement("lolz").Text(), "&lol9;");
  EXPECT_LT(document.ToText().size(), 2 * laughs.size());

  TempFolder dir;
  WriteAll(dir.File("secret.txt"), "SECRET-CONTENT");
  WriteAll(dir.File("evil.dtd"), "<!ENTITY leak \"SECRET-DTD\">");
  ASSERT_TRUE(document.LoadText("<!DOCTYPE r SYSTEM \"file://" + dir.File("evil.dtd") +
                                "\" [<!ENTITY x SYSTEM \"file://" + dir.File("secret.txt") +
                                "\">]><r>&x;|&leak;</r>"));
  EXPECT_EQ(document.FindFirstElement("r").Text(), "&x;|&leak;");
  EXPECT_EQ(document.ToText().find("SECRET"), std::string::npos);
}

TEST(XmlHostile, HundredThousandLevelsLoadWalkSaveAndRemove) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "<a>";
  text += "<rss><channel>deepest</channel></rss>";
  for (int i = 0; i < kDepth; ++i) text += "</a>";
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(text));
  EXPECT_EQ(document.FindFirstElement("channel", "rss").Text(), "deepest");
  EXPECT_EQ(document.DocumentNode().Text(), "deepest");

  TempFolder dir;
  std::error_code ec;
  ASSERT_TRUE(document.Save(dir.File("deep.xml"), ec)) << ec.message();
  // Past a modest depth the save stops indenting: linear size, not quadratic.
  EXPECT_LT(std::filesystem::file_size(dir.File("deep.xml")), 3 * text.size());
  XmlDocument again;
  ASSERT_TRUE(again.LoadFile(dir.File("deep.xml")));
  EXPECT_EQ(again.FindFirstElement("channel", "rss").Text(), "deepest");

  again.FindFirstElement("a").SetText("flat");
  EXPECT_EQ(again.DocumentNode().Text(), "flat");
  EXPECT_TRUE(document.DocumentNode().RemoveChild(document.FindFirstElement("a")));
  EXPECT_TRUE(document.FindFirstElement("rss").IsNull());

  std::string doctype = "<!DOCTYPE r [";
  for (int i = 0; i < kDepth; ++i) doctype += "<![IGNORE[";
  for (int i = 0; i < kDepth; ++i) doctype += "]]>";
  ASSERT_TRUE(document.LoadText(doctype + "]><r>ok</r>"));
  EXPECT_EQ(document.FindFirstElement("r").Text(), "ok");
}
