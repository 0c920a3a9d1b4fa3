// The public feed corpus (README.md and MANIFEST.tsv beside it): every feed goes through reading
// and the store, and where a feed states what its item holds, our reading is checked (where we
// deliberately keep the raw element text, the expected value is ours, with the reason).

#include "inbox/FeedParser.h"
#include "inbox/InboxTree.h"

#include "TestPaths.h"
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

class FeedCorpus : public TestData::DataFolderTest {};

}  // namespace

TEST_F(FeedCorpus, EveryFeedParsesIntoAConsistentInbox) {
  SourceID = TestData::kSourceID;
  std::istringstream manifest(CorpusFeed("MANIFEST.tsv"));
  std::size_t feeds = 0, stored = 0;
  for (std::string line; std::getline(manifest, line);) {
    // Path, four columns on what it covers, what pugixml said of it, its item count, its size.
    std::vector<std::string> cell;
    std::istringstream cells(line);
    for (std::string text; std::getline(cells, text, '\t');) cell.push_back(text);
    if (feeds++ == 0) continue;  // the header
    SCOPED_TRACE(cell.at(0));
    platform.messageBox.shown.clear();
    fs::remove_all(InboxFolder());
    const std::string feed = CorpusFeed(cell[0]);
    const bool parsed = ParseFeed(feed, "Corpus");
    // False exactly when one box said why.
    ASSERT_EQ(platform.messageBox.shown.size(), parsed ? 0u : 1u);
    if (cell.at(5) != "No error") {
      EXPECT_EQ(platform.messageBox.shown.at(0).title, "Server returned Invalid Data!");
    } else if (cell.at(6) != "0") {
      EXPECT_EQ(parsed, true);
    }
    if (!parsed) continue;
    // What was stored is listed and shown, and a second check finds all of it again.
    const std::size_t count = static_cast<std::size_t>(NewMessageCount);
    const std::string bytes = InboxBytes();
    EXPECT_EQ(ListMessages().value_or(std::vector<MessageSummary>{}).size(), count);
    EXPECT_EQ(ParseFeed(feed, "Corpus"), true);
    EXPECT_EQ(NewMessageCount, 0);
    EXPECT_EQ(InboxBytes(), bytes);
    TreeControl tree("tvMessages");
    tree.Add(TestData::kSourceID, "Corpus", MessageTreeImage::Source);
    LoadInbox(tree);
    EXPECT_EQ(TestData::Messages(tree, TestData::kSourceID).size(), count);
    stored += count;
  }
  EXPECT_EQ(feeds, 549u);
  // Items with a guid over the whole corpus; a guid repeated within a feed is stored once.
  EXPECT_EQ(stored, 94u);
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
      {rss + "item_description_escaped_markup.xml", description, "<p>Example description</p>"},
      {rss + "item_description_and_summary.xml", description, "Example description"},
      {rss + "item_description_br.xml", description,
       "article title<br /><br /> article byline<br/><br/>text of article"},
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
