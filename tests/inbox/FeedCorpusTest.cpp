// The public feed corpus (README.md and MANIFEST.tsv beside it): every feed goes through the
// parser and the store, and where a feed states what its item holds, our reading is checked.
// Where we deliberately keep the raw element text, the expected value is ours, with the reason.

#include "inbox/FeedParser.h"
#include "inbox/InboxTree.h"

#include "TestPaths.h"
#include "config/IniDocument.h"
#include "support/DataFolder.h"

#include <filesystem>
#include <optional>
#include <sstream>

using namespace mInbox;
namespace fs = std::filesystem;

namespace {

std::string CorpusFeed(const std::string& path) {
  return TestSupport::ReadAll(std::string(QP_CORPUS_DIR) + "/" + path);
}

}  // namespace

class FeedCorpus : public TestData::DataFolderTest {};

TEST_F(FeedCorpus, EveryFeedParsesIntoAConsistentInbox) {
  SourceID = TestData::kSourceID;
  std::istringstream manifest(CorpusFeed("MANIFEST.tsv"));
  std::string line;
  std::getline(manifest, line);  // header
  int feeds = 0, stored = 0;
  while (std::getline(manifest, line)) {
    // Columns: path, ..., what pugixml said when the corpus was made (6th), its item count (7th).
    std::vector<std::string> cell;
    std::istringstream cells(line);
    for (std::string text; std::getline(cells, text, '\t');) cell.push_back(text);
    ASSERT_GE(cell.size(), 8u) << line;
    SCOPED_TRACE(cell[0]);
    ++feeds;
    platform.messageBox.shown.clear();
    fs::remove_all(InboxFolder());
    const bool parsed = ParseFeed(CorpusFeed(cell[0]), "Corpus");
    // False exactly when one box said why.
    ASSERT_EQ(platform.messageBox.shown.size(), parsed ? 0u : 1u);
    const std::string box = parsed ? "" : platform.messageBox.shown[0].title;
    if (cell[5] != "No error") {
      EXPECT_EQ(box, "Server returned Invalid Data!");
    } else if (cell[6] != "0") {
      EXPECT_EQ(box, "");
    }
    if (!parsed) continue;

    // Every stored message is one whole section of six keys, and a second check finds them all.
    std::error_code ec;
    const IniDocument inbox = IniDocument::Load(InboxPath(), ec);
    const int count = NewMessageCount;
    EXPECT_EQ(inbox.SectionNames().size(), static_cast<std::size_t>(count));
    for (const std::string& guid : inbox.SectionNames()) {
      EXPECT_EQ(inbox.KeyNames(guid), (std::vector<std::string>{"title", "description", "date",
                                                                "time", "offset", "read"}));
    }
    const std::string bytes = InboxBytes();
    EXPECT_EQ(ParseFeed(CorpusFeed(cell[0]), "Corpus"), true);
    EXPECT_EQ(NewMessageCount, 0);
    EXPECT_EQ(InboxBytes(), bytes);
    TreeControl tree("tvMessages");
    tree.Add(TestData::kSourceID, "Corpus", MessageTreeImage::Source);
    LoadInbox(tree);
    EXPECT_EQ(TestData::Messages(tree, TestData::kSourceID).size(),
              static_cast<std::size_t>(count));
    stored += count;
  }
  EXPECT_EQ(feeds, 548);
  // Items with a guid over the whole corpus; a guid repeated within a feed is stored once.
  EXPECT_EQ(stored, 94);
}

TEST(FeedCorpusItems, FieldsAreReadAsTheFeedsState) {
  const auto title = &InboxItem::title, description = &InboxItem::description,
             guid = &InboxItem::guid;
  const std::string rss = "feedparser/tests/wellformed/rss/";
  const std::string ns = "feedparser/tests/wellformed/namespace/";
  const std::string sanitize = "feedparser/tests/wellformed/sanitize/";
  const std::string script =
      "safe<script type=\"text/javascript\">location.href='http:/'+'/example.com/';</script> "
      "description";
  const std::vector<std::tuple<std::string, std::string InboxItem::*, std::string>> cases = {
      {rss + "item_title.xml", title, "Item 1 title"},
      {rss + "item_description.xml", description, "Example description"},
      {rss + "item_description_escaped_markup.xml", description, "<p>Example description</p>"},
      {rss + "item_description_and_summary.xml", description, "Example description"},
      {rss + "item_description_br.xml", description,
       "article title<br /><br /> article byline<br/><br/>text of article"},
      {rss + "item_guid.xml", guid, "http://guid.example.com/"},
      {rss + "item_guid_not_permalink_not_url.xml", guid, "abc"},
      {rss + "item_pubDate.xml", &InboxItem::date, "Thu, 01 Jan 2004"},
      {ns + "rss2.0NSwithModules.xml", title, "Test Item - RSS2.0 w/ NS"},
      {ns + "rss2.0noNSwithModules.xml", title, "Test Item - RSS 2.0 no NS"},
      {ns + "rss2.0noNSwithModulesLocalNameClash.xml", description, "correct description"},
      {"feedparser/tests/wellformed/media-rss/item_media_title2.xml", title, "foo"},
      {"feedparser/tests/wellformed/sgml/charref_uppercase_x.xml", description, "&#X61;"},
      // Ours differ on purpose. Only "title" is a title, not media:title or dc:title.
      {"feedparser/tests/wellformed/media-rss/item_media_title1.xml", title, ""},
      {rss + "item_dc_title.xml", title, ""},
      // A description is the element's text: markup written as elements leaves only its text.
      {rss + "item_description_naked_markup.xml", description, "Example description"},
      // DTD entities are never expanded.
      {rss + "entity_in_doctype.xml", guid, "&id;2006-05-04:/blog/"},
      // Stored as sent; message pages never run scripts, so nothing is stripped here.
      {sanitize + "item_description_script.xml", description, script},
      {sanitize + "item_description_script_cdata.xml", description, script},
      // No legacy code pages: the bytes stay as they came.
      {"feedparser/tests/encoding/demoronize-3.xml", description, "don&#146;t"},
      {"feedparser/tests/encoding/euc-kr-item.xml", description, "\xB3\xE2"},
  };
  for (const auto& [path, field, value] : cases) {
    const std::vector<InboxItem> items = ReadFeed(CorpusFeed(path)).items;
    ASSERT_EQ(items.size(), 1u) << path;
    EXPECT_EQ(items[0].*field, value) << path;
  }
}

// Each item of this feed says in its description which day it means. We read the day from the
// date as written, without applying the zone, so a few land on the next day; comments in a date
// make it unreadable, and such a message sorts last.
TEST(FeedCorpusItems, DatesOfTheDateTestFeedGiveTheirDays) {
  const std::optional<std::int32_t> feb9 = 2231, feb10 = 2232, none;
  const std::vector<std::optional<std::int32_t>> expected = {
      feb9,  feb9,  feb9, feb9, feb9, -1422, feb9,   feb9,   feb9, feb9,
      feb10, feb10, feb9, feb9, feb9, feb9,  feb9,   feb9,   feb9, feb9,
      feb9,  feb9,  none, none, feb9, feb9,  -70818, -34294, 5883, 38755};
  std::vector<std::optional<std::int32_t>> days;
  for (const InboxItem& item :
       ReadFeed(CorpusFeed("feedvalidator/testcases/rss20/data-types-datetime/everything.xml"))
           .items) {
    days.push_back(DayNumber(item.date));
  }
  EXPECT_EQ(days, expected);
}
