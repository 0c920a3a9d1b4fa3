#include "core/XmlDocument.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>

using TestSupport::ReadAll;
using TestSupport::TempFolder;
using TestSupport::WriteAll;

namespace fs = std::filesystem;

namespace {

std::vector<std::string> NamesOf(const std::vector<XmlNode>& nodes) {
  std::vector<std::string> names;
  for (const XmlNode& node : nodes) names.push_back(node.Name());
  return names;
}

std::vector<XmlNodeKind> KindsOf(const std::vector<XmlNode>& nodes) {
  std::vector<XmlNodeKind> kinds;
  for (const XmlNode& node : nodes) kinds.push_back(node.Kind());
  return kinds;
}

std::string Nested(int depth, const std::string& inner) {
  std::string text;
  text.reserve(depth * 7 + inner.size());
  for (int i = 0; i < depth; ++i) text += "<a>";
  text += inner;
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

}  // namespace

TEST(XmlLoad, OnlyWellFormedTextLoads) {
  for (const char* broken :
       {"", "plain text", "<a>", "<a></b>", "<a b=c/>", "<a/><b/>", "not xml <sources/>",
        "<sources/> trailing", "<a/><![CDATA[x]]>", "<?xml version=\"1.0\"?>"}) {
    XmlDocument document;
    EXPECT_FALSE(document.LoadText(broken)) << broken;
    EXPECT_NE(document.LoadError(), "") << broken;
  }
  XmlDocument document;
  EXPECT_TRUE(document.LoadText("<?xml version=\"1.0\"?>\n<!-- c --><a x='1'/>\n<?pi?>\n"));
  EXPECT_EQ(document.LoadError(), "");
  // Lenient where nothing is lost: an unknown reference reads as written.
  EXPECT_TRUE(document.LoadText("<a>AT&T &bogus;</a>"));
  EXPECT_EQ(document.FindFirstElement("a").Text(), "AT&T &bogus;");
}

TEST(XmlLoad, FailedLoadLeavesNothingBehind) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<sources><source/></sources>"));
  EXPECT_FALSE(document.LoadText("<sources><source></sources>"));
  EXPECT_TRUE(document.FindFirstElement("sources").IsNull());
  EXPECT_EQ(document.DocumentNode().ChildNodes().size(), 0u);
}

TEST(XmlLoad, FileLoadsLikeTextAndMissingFileFails) {
  TempFolder dir;
  WriteAll(dir.File("a.xml"), "\xEF\xBB\xBF<r>caf\xC3\xA9</r>");
  XmlDocument document;
  ASSERT_TRUE(document.LoadFile(dir.File("a.xml")));
  EXPECT_EQ(document.FindFirstElement("r").Text(), "caf\xC3\xA9");
  EXPECT_FALSE(document.LoadFile(dir.File("missing.xml")));
  EXPECT_FALSE(document.LoadFile(dir.path()));
}

TEST(XmlSelect, SourcesIsTheFirstElementOfThatNameAtAnyDepth) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<root><x><sources id='deep'/></x><sources id='later'/><Sources id='case'/></root>"));
  EXPECT_EQ(document.FindFirstElement("sources").Attributes()[0].value, "deep");
  EXPECT_TRUE(document.FindFirstElement("source").IsNull());
  EXPECT_TRUE(document.FindFirstElement("SOURCES").IsNull());
}

TEST(XmlSelect, ChannelCountsOnlyDirectlyUnderRss) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<feed><channel>top</channel><rss><item><channel>nested</channel></item>"
      "<channel>wanted</channel></rss><rss><channel>second</channel></rss></feed>"));
  EXPECT_EQ(document.FindFirstElement("channel", "rss").Text(), "wanted");
  EXPECT_EQ(document.FindFirstElement("channel").Text(), "top");

  ASSERT_TRUE(document.LoadText("<rss><item/></rss>"));
  EXPECT_TRUE(document.FindFirstElement("channel", "rss").IsNull());
}

TEST(XmlSelect, SearchFromANodeStaysInsideItsSubtree) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<r><a><b/></a><c><d/></c></r>"));
  const XmlNode a = document.FindFirstElement("a");
  EXPECT_EQ(a.FindFirstElement("b").Name(), "b");
  EXPECT_TRUE(a.FindFirstElement("d").IsNull());
  EXPECT_TRUE(a.FindFirstElement("a").IsNull());
}

TEST(XmlChildren, IndentedSourcesAreExactlyTheirElements) {
  XmlDocument document;
  ASSERT_TRUE(
      document.LoadText("<sources>\r\n    <source id=\"1\" title=\"A\">http://a</source>\r\n\t"
                        "<source id=\"2\" title=\"B\">http://b</source>\r\n</sources>\r\n"));
  const XmlNode sources = document.FindFirstElement("sources");
  EXPECT_EQ(NamesOf(sources.ChildNodes()), (std::vector<std::string>{"source", "source"}));
  EXPECT_EQ(sources.FirstChild().NextSibling(), sources.ChildNodes()[1]);
  EXPECT_TRUE(sources.FirstChild().NextSibling().NextSibling().IsNull());
}

TEST(XmlChildren, CommentsTextAndCDataAreChildrenInDocumentOrder) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<r>\n <!-- note -->\n <e/> text <![CDATA[x]]><?pi data?></r>"));
  EXPECT_EQ(KindsOf(document.FindFirstElement("r").ChildNodes()),
            (std::vector<XmlNodeKind>{XmlNodeKind::Comment, XmlNodeKind::Element, XmlNodeKind::Text,
                                      XmlNodeKind::CData, XmlNodeKind::ProcessingInstruction}));
}

TEST(XmlText, CDataContentIsTheText) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<item><description><![CDATA[<p>Hello & <b>welcome</b></p>]]></description></item>"));
  EXPECT_EQ(document.FindFirstElement("description").Text(), "<p>Hello & <b>welcome</b></p>");
}

TEST(XmlText, DescendantTextJoinsAndIsTrimmedOnceAtTheEnds) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<r>\r\n\t <a>one <!-- skip -->two</a><b><![CDATA[ three ]]></b>&lt;&#65;&gt;\t\n</r>"));
  const XmlNode r = document.FindFirstElement("r");
  EXPECT_EQ(r.Text(), "one two three <A>");
  // The rule is the same on every read: a guid keeps its identity.
  ASSERT_TRUE(document.LoadText("<guid>\n  abc-1 \n</guid>"));
  EXPECT_EQ(document.FindFirstElement("guid").Text(), "abc-1");
  EXPECT_EQ(document.FindFirstElement("guid").FirstChild().Text(), "abc-1");
  ASSERT_TRUE(document.LoadText("<guid><![CDATA[\xC2\xA0x\xC2\xA0]]></guid>"));
  EXPECT_EQ(document.FindFirstElement("guid").Text(), "\xC2\xA0x\xC2\xA0");
}

TEST(XmlAttributes, ReadByPositionInDocumentOrder) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<s title=\"T &amp; U\" id=\"I\" extra=''/>"));
  EXPECT_EQ(document.FindFirstElement("s").Attributes(),
            (std::vector<XmlAttribute>{{"title", "T & U"}, {"id", "I"}, {"extra", ""}}));
}

TEST(XmlAttributes, SetReplacesInPlaceOrAppends) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<s title=\"old\" id=\"I\"/>"));
  XmlNode s = document.FindFirstElement("s");
  s.SetAttribute("title", "new");
  s.SetAttribute("link", "L");
  EXPECT_EQ(s.Attributes(),
            (std::vector<XmlAttribute>{{"title", "new"}, {"id", "I"}, {"link", "L"}}));
}

TEST(XmlEdit, SetTextReplacesTheWholeContent) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<r><s>old<b>bold</b><!-- c --></s></r>"));
  XmlNode s = document.FindFirstElement("s");
  s.SetText("new & <text>");
  EXPECT_EQ(KindsOf(s.ChildNodes()), (std::vector<XmlNodeKind>{XmlNodeKind::Text}));
  EXPECT_EQ(s.Text(), "new & <text>");
  s.SetText("");
  EXPECT_EQ(s.ChildNodes().size(), 0u);
}

TEST(XmlEdit, AppendAndRemoveChildren) {
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<sources><a/><b><deep/></b><c/></sources>"));
  XmlNode sources = document.FindFirstElement("sources");
  XmlNode added = sources.AppendElement("source");
  added.SetAttribute("id", "X");
  EXPECT_EQ(NamesOf(sources.ChildNodes()), (std::vector<std::string>{"a", "b", "c", "source"}));

  EXPECT_TRUE(sources.RemoveChild(document.FindFirstElement("b")));
  EXPECT_EQ(NamesOf(sources.ChildNodes()), (std::vector<std::string>{"a", "c", "source"}));
  EXPECT_TRUE(document.FindFirstElement("deep").IsNull());
  // Only a node's own children can be removed through it.
  EXPECT_FALSE(document.DocumentNode().RemoveChild(document.FindFirstElement("a")));
  EXPECT_FALSE(sources.RemoveChild(XmlNode()));
  EXPECT_TRUE(XmlNode().AppendElement("x").IsNull());
}

TEST(XmlSave, KeepsDeclarationCommentsAndContentAsUtf8) {
  TempFolder dir;
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--\r\nDocument   : x\r\n-->\r\n"
      "<sources>\r\n</sources>\r\n"));
  XmlNode source = document.FindFirstElement("sources").AppendElement("source");
  source.SetAttribute("id", "1");
  source.SetAttribute("title", "Caf\xC3\xA9 \"<&>\"\n");
  source.SetText("http://h/?a=1&b=<2>");
  std::error_code ec;
  ASSERT_TRUE(document.Save(dir.File("s.xml"), ec)) << ec.message();

  const std::string saved = ReadAll(dir.File("s.xml"));
  EXPECT_EQ(
      saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--\nDocument   : x\n-->\n", 0), 0u)
      << saved;
  XmlDocument again;
  ASSERT_TRUE(again.LoadFile(dir.File("s.xml")));
  const XmlNode reread = again.FindFirstElement("source");
  EXPECT_EQ(reread.Attributes(),
            (std::vector<XmlAttribute>{{"id", "1"}, {"title", "Caf\xC3\xA9 \"<&>\"\n"}}));
  EXPECT_EQ(reread.Text(), "http://h/?a=1&b=<2>");
  // A second round writes the same bytes: the layout does not creep.
  ASSERT_TRUE(again.Save(dir.File("s2.xml"), ec));
  EXPECT_EQ(ReadAll(dir.File("s2.xml")), saved);
}

TEST(XmlSave, AnotherDeclaredEncodingIsWrittenAsUtf8) {
  TempFolder dir;
  WriteAll(dir.File("latin.xml"), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>");
  XmlDocument document;
  ASSERT_TRUE(document.LoadFile(dir.File("latin.xml")));
  std::error_code ec;
  ASSERT_TRUE(document.Save(dir.File("latin.xml"), ec));
  EXPECT_NE(ReadAll(dir.File("latin.xml")).find("encoding=\"UTF-8\""), std::string::npos);
  XmlDocument again;
  ASSERT_TRUE(again.LoadFile(dir.File("latin.xml")));
  EXPECT_EQ(again.FindFirstElement("r").Text(), "caf\xC3\xA9");
}

TEST(XmlSave, FailedSaveReportsAndLeavesTheOldFile) {
  TempFolder dir;
  XmlDocument document;
  ASSERT_TRUE(document.LoadText("<r/>"));
  std::error_code ec;
  EXPECT_FALSE(document.Save(dir.File("missing/s.xml"), ec));
  EXPECT_TRUE(static_cast<bool>(ec));
  EXPECT_FALSE(fs::exists(dir.File("missing")));
}

TEST(XmlHostile, InternalEntitiesAreNeverExpanded) {
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
  laughs += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n";
  for (int i = 2; i <= 9; ++i) {
    const std::string previous = "&lol" + std::to_string(i - 1) + ";";
    laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += previous;
    laughs += "\">\n";
  }
  laughs += "]>\n<lolz>&lol9;</lolz>";
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(laughs));
  EXPECT_EQ(document.FindFirstElement("lolz").Text(), "&lol9;");
  EXPECT_LT(document.ToText().size(), 2 * laughs.size());
}

TEST(XmlHostile, ExternalEntitiesAndDtdsAreNeverRead) {
  TempFolder dir;
  WriteAll(dir.File("secret.txt"), "SECRET-CONTENT");
  WriteAll(dir.File("evil.dtd"), "<!ENTITY leak \"SECRET-DTD\">");
  const std::string text = "<!DOCTYPE r SYSTEM \"file://" + dir.File("evil.dtd") +
                           "\" [<!ENTITY x SYSTEM \"file://" + dir.File("secret.txt") +
                           "\">]><r>&x;|&leak;</r>";
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(text));
  EXPECT_EQ(document.FindFirstElement("r").Text(), "&x;|&leak;");
  EXPECT_EQ(document.ToText().find("SECRET"), std::string::npos);
}

TEST(XmlHostile, HundredThousandLevelsLoadWalkAndSave) {
  constexpr int kDepth = 100000;
  const std::string text = Nested(kDepth, "<rss><channel>deepest</channel></rss>");
  TempFolder dir;
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(text));
  EXPECT_EQ(document.FindFirstElement("channel", "rss").Text(), "deepest");
  EXPECT_EQ(document.DocumentNode().Text(), "deepest");
  EXPECT_TRUE(document.FindFirstElement("missing").IsNull());

  std::error_code ec;
  ASSERT_TRUE(document.Save(dir.File("deep.xml"), ec)) << ec.message();
  // Past a modest depth the save stops indenting, so the file grows linearly, not quadratically.
  EXPECT_LT(fs::file_size(dir.File("deep.xml")), 3 * text.size());
  XmlDocument again;
  ASSERT_TRUE(again.LoadFile(dir.File("deep.xml")));
  EXPECT_EQ(again.FindFirstElement("channel", "rss").Text(), "deepest");

  // Removing and replacing a deep subtree takes it apart without recursion.
  XmlNode top = again.FindFirstElement("a");
  top.SetText("flat");
  EXPECT_EQ(again.DocumentNode().Text(), "flat");
  ASSERT_TRUE(document.DocumentNode().RemoveChild(document.FindFirstElement("a")));
  EXPECT_TRUE(document.FindFirstElement("a").IsNull());
}

TEST(XmlHostile, DeeplyNestedDoctypeSectionsDoNotRecurse) {
  std::string text = "<!DOCTYPE r [";
  for (int i = 0; i < 100000; ++i) text += "<![IGNORE[";
  for (int i = 0; i < 100000; ++i) text += "]]>";
  text += "]><r>ok</r>";
  XmlDocument document;
  ASSERT_TRUE(document.LoadText(text));
  EXPECT_EQ(document.FindFirstElement("r").Text(), "ok");

  std::string unclosed = "<!DOCTYPE r [";
  for (int i = 0; i < 100000; ++i) unclosed += "<!ELEMENT ";
  EXPECT_FALSE(document.LoadText(unclosed + "]><r>ok</r>"));
}
