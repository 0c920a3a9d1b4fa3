// Sources to and from OPML: the file written, the outlines taken, the refusals and hostile files.
#include "core/mAppFunctions.h"
#include "entry/OpmlCommand.h"
#include "shell/ForwardedCheck.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/Opml.h"
#include "support/DataFolder.h"

#include <filesystem>
#include <sstream>
#include <tuple>

using Opml::Skipped;
using TestSupport::ReadAll;
namespace fs = std::filesystem;

namespace {

const std::string kHost = "http://news.quillpost.test/";
using Pairs = std::vector<std::pair<std::string, std::string>>;

class OpmlTest : public TestData::DataFolderTest {
 protected:
  std::string File() const { return platform.root + "/sources.opml"; }
  void WriteOpml(const std::string& body) {
    TestSupport::WriteAll(
        File(), "<?xml version=\"1.0\"?><opml version=\"1.0\"><body>" + body + "</body></opml>");
  }
  Pairs Stored() {
    std::vector<mSubscriptions::MessageSource> sources;
    mSubscriptions::ReadSources(sources);
    Pairs pairs;
    for (const auto& source : sources) pairs.emplace_back(source.Title, source.Link);
    return pairs;
  }
  // The command's exit status, standard output and standard error.
  std::tuple<int, std::string, std::string> Run(bool import) {
    std::ostringstream out, err;
    const int status =
        import ? OpmlCommand::Import(File(), out, err) : OpmlCommand::Export(File(), out, err);
    return {status, out.str(), err.str()};
  }
};

TEST_F(OpmlTest, RoundTripGivesTheSameSourcesInOrderAndASecondImportAddsNothing) {
  const Pairs sources{{"Tom & Jerry's \"<Letter>\"", kHost + "tom?a=1&b=2"},
                      {"Caf\u00e9 cr\u00e8me", kHost + "cafe"},
                      {"Alpha", kHost + "alpha"}};
  for (const auto& [title, link] : sources) AddSource(title, link);
  EXPECT_EQ(Run(false), std::tuple(0, "3 sources exported to " + File() + ".\n", ""));
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">\n  <head>\n"
      "    <title>Quillpost subscriptions</title>\n  </head>\n  <body>\n"
      "    <outline type=\"rss\" text=\"Tom &amp; Jerry's &quot;&lt;Letter>&quot;\" "
      "title=\"Tom &amp; Jerry's &quot;&lt;Letter>&quot;\" "
      "xmlUrl=\"http://news.quillpost.test/tom?a=1&amp;b=2\" />\n";
  EXPECT_EQ(ReadAll(File()).substr(0, head.size()), head);

  fs::remove_all(mAppFunctions::DataPath);
  mAppFunctions::InitializeDataFolder();
  EXPECT_EQ(Run(true), std::tuple(0, "3 sources added from " + File() + ", 0 skipped.\n", ""));
  EXPECT_EQ(Stored(), sources);
  const std::string before = ReadAll(mAppFunctions::DataPath + "/subscriptions.dat");
  const auto [status, out, err] = Run(true);
  EXPECT_EQ(std::tuple(status, out, before),
            std::tuple(1, "0 sources added from " + File() + ", 3 skipped.\n",
                       ReadAll(mAppFunctions::DataPath + "/subscriptions.dat")));
  EXPECT_EQ(err.substr(0, err.find('\n')),
            "quillpost: not imported: \"Tom & Jerry's \"<Letter>\"\" "
            "<http://news.quillpost.test/tom?a=1&b=2>: already subscribed");
}

// Outlines without any link were left out without a word, OPML 1.0 url= links were not read,
// an untitled outline was refused and a long link was cut where it was named.
TEST_F(OpmlTest, FoldersAreWalkedAndEachOutlineLeftOutHasItsReasonInOneBox) {
  AddSource("Known", kHost + "known");
  const std::string longTitle(1 << 20, 't');  // 1 MB
  const std::string elsewhere = "http://example.test/" + std::string(70, 'e');
  const std::string longLink = kHost + std::string(2000, 'l');
  WriteOpml(
      "<outline text=\"Folder\"><outline text=\"Deeper\">"
      "<outline text=\"Nested\" xmlUrl=\"" +
      kHost +
      "nested\"/></outline>"
      "<outline text=\" \" title=\"By title\" xmlUrl=\"news.quillpost.test/bare\"/></outline>"
      "<outline text=\"\" xmlUrl=\"" +
      kHost +
      "untitled\"/><outline text=\"No link\" xmlUrl=\"  \"/>"
      "<outline text=\"Old style\" url=\"HTTP://News.Quillpost.Test:80/old\"/>"
      "<outline text=\"Empty\"/>"
      "<outline text=\"Elsewhere\" xmlUrl=\"" +
      elsewhere +
      "\"/>"
      "<outline text=\"No slashes\" xmlUrl=\"https:news.quillpost.test/f\"/>"
      "<outline text=\"Known again\" xmlUrl=\"HTTP://NEWS.QUILLPOST.TEST:80/known\"/>"
      "<outline text=\"Nested twice\" xmlurl=\" " +
      kHost +
      "nested\"/>"
      "<outline text=\"" +
      longTitle + "\" xmlUrl=\"" + kHost +
      "long\"/>"
      "<outline text=\"Long link\" xmlUrl=\"" +
      longLink + "\"/>");
  TreeControl tree("tvMessages");
  Opml::ImportAndShow(File(), tree);
  const std::string invalid =
      "its link is no Quillpost source link (http:// or https://, naming "
      "news.quillpost.test)";
  EXPECT_EQ(Stored(), (Pairs{{"Known", kHost + "known"},
                             {"Nested", kHost + "nested"},
                             {"By title", kHost + "bare"},
                             {kHost + "untitled", kHost + "untitled"},
                             {"Old style", kHost + "old"}}));
  EXPECT_EQ(TestData::TopLevelTexts(tree).size(), 5u);
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<TestSupport::ShownBox>{
                {"4 sources were added from " + File() +
                     ".\r\n\r\n8 outlines were not added:\r\n"
                     "\"No link\": it has no source link\r\n"
                     "\"Empty\": it has no source link\r\n"
                     "\"Elsewhere\" <" +
                     elsewhere + ">: " + invalid +
                     "\r\n"
                     "\"No slashes\" <https:news.quillpost.test/f>: " +
                     invalid +
                     "\r\n"
                     "\"Known again\" <HTTP://NEWS.QUILLPOST.TEST:80/known>: already subscribed\r\n"
                     "\"Nested twice\" < http://news.quillpost.test/nested>: already subscribed\r\n"
                     "\"" +
                     std::string(57, 't') +
                     "...\" <http://news.quillpost.test/long>: "
                     "its title is longer than 1000 bytes\r\n"
                     "\"Long link\" <" +
                     longLink.substr(0, 97) +
                     "...>: "
                     "its link is longer than 2000 bytes",
                 "Import Sources from OPML", 48}}));
}

// The import reports instead of showing the subscription file's boxes: the menu shows one box,
// and a reader importing for the command shows none.
TEST_F(OpmlTest, ASubscriptionFileThatCannotBeOpenedFailsTheImportInOneBox) {
  WriteOpml("<outline text=\"A\" xmlUrl=\"" + kHost + "a\"/><outline text=\"Empty\"/>");
  fs::remove(mAppFunctions::DataPath + "/subscriptions.dat");
  const Opml::ImportResult result = Opml::Import({{"A", kHost + "a"}});
  EXPECT_EQ(std::tuple(result.status, result.error, platform.messageBox.shown.size()),
            std::tuple(Opml::FileFailed,
                       "The subscription file cannot be opened (it is missing); nothing was "
                       "imported",
                       0u));
  TreeControl tree("tvMessages");
  Opml::ImportAndShow(File(), tree);
  EXPECT_EQ(
      platform.messageBox.shown,
      (std::vector<TestSupport::ShownBox>{{result.error + ".", "Import Sources from OPML", 48}}));
  // Nothing was imported, so no outline is named as left out.
  EXPECT_EQ(Run(true), std::tuple(2, "", "quillpost: " + result.error + ".\n"));
}

// Beside a running reader the command hands over what it read and prints what its own import
// would have printed; the reader's tree shows the new source and no box comes up there.
// Regression: the command refused with the advice to end the reader in the Task Manager.
TEST_F(OpmlTest, BesideAReaderTheCommandHandsItTheOutlinesAndPrintsAsIfItHadImported) {
  AddSource("Known", kHost + "known");
  WriteOpml("<outline text=\"A\" xmlUrl=\"" + kHost + "a\"/><outline text=\"Empty\"/>" +
            "<outline text=\"Known\" xmlUrl=\"" + kHost + "known\"/>");
  TreeControl tree("tvMessages");
  mSubscriptions::LoadSubscriptions(tree);
  platform.instanceLock.available = false;  // the reader holds the data folder
  std::vector<std::size_t> outlines;
  const auto reader = [&](const std::string& bytes) -> std::optional<std::string> {
    const ForwardedCheck::Request request = ForwardedCheck::ReadRequest(bytes);
    outlines.push_back(request.outlines.size());
    return ForwardedCheck::WriteReply(ForwardedCheck::Import(tree, request.outlines));
  };
  std::ostringstream out, err;
  EXPECT_EQ(OpmlCommand::Import(File(), out, err, reader), 1);
  EXPECT_EQ(out.str() + err.str(),
            "1 source added from " + File() + ", 2 skipped.\n"
            "quillpost: not imported: \"Empty\": it has no source link\n"
            "quillpost: not imported: \"Known\" <" + kHost + "known>: already subscribed\n");
  EXPECT_EQ(outlines, std::vector<std::size_t>{2});
  EXPECT_EQ(TestData::TopLevelTexts(tree).size(), 2u);
  EXPECT_EQ(platform.messageBox.shown.size(), 0u);
}

// None of these may crash, hang, expand anything or change subscriptions.dat.
TEST_F(OpmlTest, HostileFilesAreRefusedWholeWithTheirReason) {
  AddSource("Known", kHost + "known");
  const std::string before = ReadAll(mAppFunctions::DataPath + "/subscriptions.dat");
  std::string many, deep;
  for (int i = 0; i <= 10000; ++i) many += "<outline text=\"t\" xmlUrl=\"" + kHost + "\"/>";
  for (int i = 0; i < 100000; ++i) deep += "<outline text=\"f\">";
  const std::string laughs =
      "<!DOCTYPE opml [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;\">]>";
  const std::vector<std::pair<std::string, std::string>> rows{
      {laughs + "<opml><body><outline text=\"&b;\" xmlUrl=\"" + kHost + "x\"/></body></opml>",
       "declares a document type (DTD or entities), which OPML files have none of"},
      {"<!DOCTYPE opml SYSTEM \"file:///etc/passwd\"><opml/>",
       "declares a document type (DTD or entities), which OPML files have none of"},
      {"<opml><body><outline text=\"Caf\xe9\" xmlUrl=\"" + kHost + "\"/></body></opml>",
       "is not UTF-8 text (byte 30)"},
      {"<opml><body>" + many + "</body></opml>", "holds more than 10000 sources"},
      {"<opml><body>" + deep, "is not well-formed XML (Start-end tags mismatch at offset 1800011)"},
      {"<rss><body/></rss>", "is not an OPML file (its root element is not <opml>)"}};
  for (const auto& [text, reason] : rows) {
    TestSupport::WriteAll(File(), text);
    const Opml::ImportResult result = Opml::ImportFile(File());
    EXPECT_EQ(std::tuple(result.status, result.error, result.added.size()),
              std::tuple(Opml::FileFailed, File() + " " + reason + "; nothing was imported", 0u));
  }
  // Nested 100,000 deep, closed: walked without a stack of that depth.
  std::string closed = deep;
  for (int i = 0; i < 100000; ++i) closed += "</outline>";
  WriteOpml(closed);
  // Reading alone: only the innermost outline is no folder, and it has no link.
  const Opml::FileOutlines read = Opml::ReadFile(File());
  EXPECT_EQ(
      std::tuple(read.status, read.outlines.size(), read.skipped),
      std::tuple(Opml::SomeSkipped, 0u, std::vector<Skipped>{{"f", "", "it has no source link"}}));
  fs::remove(File());
  EXPECT_EQ(std::get<0>(Run(true)), 2);
  EXPECT_EQ(ReadAll(mAppFunctions::DataPath + "/subscriptions.dat"), before);
}

}  // namespace
