#include "core/XmlDocument.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>

using TestSupport::ReadAll;
using TestSupport::TempFolder;
using TestSupport::WriteAll;
using Kinds = std::vector<XmlNodeKind>;

namespace {
Kinds KindsOf(const std::vector<XmlNode>& nodes) {
  Kinds kinds;
  for (const XmlNode& node : nodes) kinds.push_back(node.Kind());
  return kinds;
}
}  // namespace

TEST(XmlLoad, OnlyWellFormedDocumentsLoadAndAFailureLeavesNothing) {
  XmlDocument document;
  for (const char* broken : {"", "plain text", "<a>", "<a></b>", "<a b=c/>", "<a/><b/>",
                             "<sources/> trailing", "<?xml version=\"1.0\"?>"}) {
    ASSERT_EQ(document.LoadText("<sources/>"), true);
    EXPECT_EQ(document.LoadText(broken), false) << broken;
    EXPECT_EQ(document.FindFirstElement("sources").IsNull(), true) << broken;
  }
  // Lenient where nothing is lost: an unknown reference reads as written.
  ASSERT_EQ(document.LoadText("<?xml version=\"1.0\"?>\n<!-- c --><a>AT&T &bogus;</a>\n<?pi?>"),
            true);
  EXPECT_EQ(document.FindFirstElement("a").Text(), "AT&T &bogus;");
  TempFolder dir;
  WriteAll(dir.File("a.xml"), "\xEF\xBB\xBF<r>caf\xC3\xA9</r>");
  ASSERT_EQ(document.LoadFile(dir.File("a.xml")), true);
  EXPECT_EQ(document.FindFirstElement("r").Text(), "caf\xC3\xA9");
  EXPECT_EQ(document.LoadFile(dir.File("missing.xml")), false);
}

TEST(XmlRead, FirstMatchInDocumentOrderChildrenWithoutWhitespaceAndTextTrimmedOnce) {
  XmlDocument document;
  ASSERT_EQ(document.LoadText("<feed><x><sources id='deep'/></x><sources id='later'/><channel/>"
                              "<rss><item><channel>nested</channel></item><channel>wanted"
                              "</channel></rss></feed>"),
            true);
  EXPECT_EQ(document.FindFirstElement("sources").Attributes()[0].value, "deep");
  EXPECT_EQ(document.FindFirstElement("channel", "rss").Text(), "wanted");
  EXPECT_EQ(document.FindFirstElement("Sources").IsNull(), true);
  EXPECT_EQ(document.FindFirstElement("item").FindFirstElement("rss").IsNull(), true);
  ASSERT_EQ(document.LoadText("<r>\r\n\t <!-- note -->\n <a>one <!-- skip -->two</a> text "
                              "<b><![CDATA[ three ]]></b>&lt;&#65;&gt;\t\n</r>"),
            true);
  const XmlNode r = document.FindFirstElement("r");
  EXPECT_EQ(KindsOf(r.ChildNodes()),
            (Kinds{XmlNodeKind::Comment, XmlNodeKind::Element, XmlNodeKind::Text,
                   XmlNodeKind::Element, XmlNodeKind::Text}));
  EXPECT_EQ(r.FirstChild().NextSibling(), r.ChildNodes()[1]);
  EXPECT_EQ(r.Text(), "one two text  three <A>");
  // Only XML white space is trimmed: a no-break space is part of a guid.
  ASSERT_EQ(document.LoadText("<guid><![CDATA[\xC2\xA0x\xC2\xA0]]>\n</guid>"), true);
  EXPECT_EQ(document.FindFirstElement("guid").Text(), "\xC2\xA0x\xC2\xA0");
}

TEST(XmlEdit, EditsChangeOnlyTheirNodeAndSaveAsUtf8KeepingDeclarationAndComments) {
  TempFolder dir;
  WriteAll(
      dir.File("s.xml"),
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<!--\r\nDocument   : x\r\n-->\r\n"
      "<sources>\r\n<r>caf\xE9</r><s title=\"old\" id=\"I\">a<b/></s><c><d/></c></sources>\r\n");
  XmlDocument document;
  ASSERT_EQ(document.LoadFile(dir.File("s.xml")), true);
  XmlNode sources = document.FindFirstElement("sources");
  XmlNode s = document.FindFirstElement("s");
  s.SetAttribute("title", "Caf\xC3\xA9 \"<&>\"\n");
  s.SetAttribute("link", "L");
  s.SetText("http://h/?a=1&b=<2>");
  EXPECT_EQ(KindsOf(s.ChildNodes()), Kinds{XmlNodeKind::Text});
  sources.AppendElement("source");
  EXPECT_EQ(sources.RemoveChild(document.FindFirstElement("c")), true);
  EXPECT_EQ(document.DocumentNode().RemoveChild(s), false);  // not its child
  std::error_code ec;
  ASSERT_EQ(document.Save(dir.File("s.xml"), ec), true) << ec.message();
  const std::string saved = ReadAll(dir.File("s.xml"));
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--\nDocument   : x\n-->\n<sources>\n";
  EXPECT_EQ(saved.substr(0, head.size()), head);
  XmlDocument again;
  ASSERT_EQ(again.LoadFile(dir.File("s.xml")), true);
  EXPECT_EQ(again.FindFirstElement("r").Text(), "caf\xC3\xA9");
  EXPECT_EQ(
      again.FindFirstElement("s").Attributes(),
      (std::vector<XmlAttribute>{{"title", "Caf\xC3\xA9 \"<&>\"\n"}, {"id", "I"}, {"link", "L"}}));
  EXPECT_EQ(again.FindFirstElement("s").Text(), "http://h/?a=1&b=<2>");
  EXPECT_EQ(KindsOf(again.FindFirstElement("sources").ChildNodes()),
            Kinds(3, XmlNodeKind::Element));
  EXPECT_EQ(again.FindFirstElement("d").IsNull(), true);
  EXPECT_EQ(again.ToText(), saved);  // the layout does not creep from one save to the next
}

// Regression: entity expansion (billion laughs) and external entities must never happen.
TEST(XmlHostile, EntitiesAreNeverExpandedNorFetched) {
  std::string laughs = "<!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&lol" + (i > 1 ? std::to_string(i - 1) : "") + ";";
    laughs += "\">";
  }
  XmlDocument document;
  ASSERT_EQ(document.LoadText(laughs + "]><lolz>&lol9;</lolz>"), true);
  EXPECT_EQ(document.FindFirstElement("lolz").Text(), "&lol9;");
  EXPECT_LT(document.ToText().size(), 2 * laughs.size());
  TempFolder dir;
  WriteAll(dir.File("secret.txt"), "SECRET-CONTENT");
  WriteAll(dir.File("evil.dtd"), "<!ENTITY leak \"SECRET-DTD\">");
  ASSERT_EQ(document.LoadText("<!DOCTYPE r SYSTEM \"file://" + dir.File("evil.dtd") +
                              "\" [<!ENTITY x SYSTEM \"file://" + dir.File("secret.txt") +
                              "\">]><r>&x;|&leak;</r>"),
            true);
  EXPECT_EQ(document.FindFirstElement("r").Text(), "&x;|&leak;");
  EXPECT_EQ(document.ToText().find("SECRET"), std::string::npos);
}

// Regression: deep nesting must not overflow the stack nor make saved files grow quadratically.
TEST(XmlHostile, HundredThousandLevelsLoadWalkSaveAndRemove) {
  constexpr int kDepth = 100000;
  std::string text;
  for (int i = 0; i < kDepth; ++i) text += "<a>";
  text += "<rss><channel>deepest</channel></rss>";
  for (int i = 0; i < kDepth; ++i) text += "</a>";
  XmlDocument document;
  ASSERT_EQ(document.LoadText(text), true);
  EXPECT_EQ(document.FindFirstElement("channel", "rss").Text(), "deepest");
  EXPECT_EQ(document.DocumentNode().Text(), "deepest");
  TempFolder dir;
  std::error_code ec;
  ASSERT_EQ(document.Save(dir.File("deep.xml"), ec), true) << ec.message();
  EXPECT_LT(std::filesystem::file_size(dir.File("deep.xml")), 3 * text.size());
  XmlDocument again;
  ASSERT_EQ(again.LoadFile(dir.File("deep.xml")), true);
  again.FindFirstElement("a").SetText("flat");
  EXPECT_EQ(again.DocumentNode().Text(), "flat");
  EXPECT_EQ(document.DocumentNode().RemoveChild(document.FindFirstElement("a")), true);
  EXPECT_EQ(document.FindFirstElement("rss").IsNull(), true);
  // Nested conditional sections in a doctype, as parsing the doctype is switched on.
  std::string doctype = "<!DOCTYPE r [";
  for (int i = 0; i < kDepth; ++i) doctype += "<![IGNORE[";
  for (int i = 0; i < kDepth; ++i) doctype += "]]>";
  ASSERT_EQ(document.LoadText(doctype + "]><r>ok</r>"), true);
  EXPECT_EQ(document.FindFirstElement("r").Text(), "ok");
}
