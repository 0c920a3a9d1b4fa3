// The public feed corpus (README.md and MANIFEST.tsv beside it): every feed goes through the
// parser and the store, and where a feed states what its item holds, our reading is checked.
// Where we deliberately keep the raw element text, the expected value is ours, with the reason.

#include "inbox/FeedParser.h"
#include "inbox/InboxTestSupport.h"
#include "inbox/InboxTree.h"

#include "TestPaths.h"
#include "config/IniDocument.h"

#include <filesystem>
#include <optional>
#include <sstream>

using namespace mInbox;
using namespace InboxTests;
namespace fs = std::filesystem;

namespace {

const std::string kCorpus = QP_CORPUS_DIR;

struct ManifestRow {
  std::string path;
  std::string parseStatus;  // what pugixml said when the corpus was made
  int itemCount = 0;
};

std::vector<ManifestRow> Manifest() {
  std::vector<ManifestRow> rows;
  std::istringstream lines(TestSupport::ReadAll(kCorpus + "/MANIFEST.tsv"));
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (fields.size() < 8) continue;
    rows.push_back({fields[0], fields[5], std::stoi(fields[6])});
  }
  return rows;
}

class FeedCorpus : public InboxTest {
 protected:
  // Parses a corpus feed into an empty inbox.
  bool Parse(const std::string& path) {
    fs::remove_all(InboxFolder());
    return ParseFeed(TestSupport::ReadAll(kCorpus + "/" + path), "Corpus");
  }
};

}  // namespace

TEST_F(FeedCorpus, EveryFeedParsesIntoAConsistentInbox) {
  const std::vector<ManifestRow> rows = Manifest();
  ASSERT_EQ(rows.size(), 548u);
  int stored = 0;
  for (const ManifestRow& row : rows) {
    SCOPED_TRACE(row.path);
    platform.messageBox.shown.clear();
    const bool parsed = Parse(row.path);
    // False exactly when one box said why.
    ASSERT_EQ(platform.messageBox.shown.size(), parsed ? 0u : 1u);
    if (row.parseStatus != "No error") {
      EXPECT_FALSE(parsed);
      EXPECT_EQ(platform.messageBox.shown.at(0).title, "Server returned Invalid Data!");
    }
    if (row.parseStatus == "No error" && row.itemCount > 0) {
      EXPECT_TRUE(parsed);
    }
    if (!parsed) continue;

    // Every stored message is one whole section of six keys, and a second check finds them all.
    std::error_code ec;
    const IniDocument inbox = IniDocument::Load(InboxPath(), ec);
    const std::vector<std::string> guids = inbox.SectionNames();
    EXPECT_EQ(guids.size(), static_cast<std::size_t>(NewMessageCount));
    for (const std::string& guid : guids) {
      EXPECT_EQ(inbox.KeyNames(guid), (std::vector<std::string>{"title", "description", "date",
                                                                "time", "offset", "read"}));
    }
    const std::string bytes = InboxBytes();
    const int count = NewMessageCount;
    EXPECT_TRUE(ParseFeed(TestSupport::ReadAll(kCorpus + "/" + row.path), "Corpus"));
    EXPECT_EQ(NewMessageCount, 0);
    EXPECT_EQ(InboxBytes(), bytes);

    TreeControl tree("tvMessages");
    tree.Add(kSourceID, "Corpus", MessageTreeImage::Source);
    LoadInbox(tree);
    EXPECT_EQ(tree.Find(kSourceID)->ChildCount(), static_cast<std::size_t>(count));
    stored += count;
  }
  // Items with a guid, over the whole corpus.
  EXPECT_EQ(stored, 94);
}

TEST_F(FeedCorpus, ItemFieldsAreReadAsTheFeedsState) {
  enum Field { Title, Description, Guid, Date };
  struct Expectation {
    std::string path;
    Field field;
    std::string value;
  };
  const std::string rss = "feedparser/tests/wellformed/rss/";
  const std::string script =
      "safe<script type=\"text/javascript\">location.href='http:/'+'/example.com/';</script> "
      "description";
  const std::vector<Expectation> cases = {
      {rss + "item_title.xml", Title, "Item 1 title"},
      {rss + "item_description.xml", Description, "Example description"},
      {rss + "item_description_escaped_markup.xml", Description, "<p>Example description</p>"},
      {rss + "item_description_and_summary.xml", Description, "Example description"},
      {rss + "item_description_br.xml", Description,
       "article title<br /><br /> article byline<br/><br/>text of article"},
      {rss + "item_guid.xml", Guid, "http://guid.example.com/"},
      {rss + "item_guid_not_permalink_not_url.xml", Guid, "abc"},
      {rss + "item_pubDate.xml", Date, "Thu, 01 Jan 2004"},
      {"feedparser/tests/wellformed/namespace/rss2.0NSwithModules.xml", Title,
       "Test Item - RSS2.0 w/ NS"},
      {"feedparser/tests/wellformed/namespace/rss2.0noNSwithModules.xml", Title,
       "Test Item - RSS 2.0 no NS"},
      {"feedparser/tests/wellformed/namespace/rss2.0noNSwithModulesLocalNameClash.xml", Description,
       "correct description"},
      {"feedparser/tests/wellformed/media-rss/item_media_title2.xml", Title, "foo"},
      {"feedparser/tests/wellformed/sgml/charref_uppercase_x.xml", Description, "&#X61;"},
      // Ours differ on purpose. Only "title" is a title, not media:title or dc:title.
      {"feedparser/tests/wellformed/media-rss/item_media_title1.xml", Title, ""},
      {rss + "item_dc_title.xml", Title, ""},
      // A description is the element's text: markup written as elements leaves only its text.
      {rss + "item_description_naked_markup.xml", Description, "Example description"},
      // DTD entities are never expanded.
      {rss + "entity_in_doctype.xml", Guid, "&id;2006-05-04:/blog/"},
      // Stored as sent; message pages never run scripts, so nothing is stripped here.
      {"feedparser/tests/wellformed/sanitize/item_description_script.xml", Description, script},
      {"feedparser/tests/wellformed/sanitize/item_description_script_cdata.xml", Description,
       script},
      // No legacy code pages: the bytes stay as they came.
      {"feedparser/tests/encoding/demoronize-3.xml", Description, "don&#146;t"},
      {"feedparser/tests/encoding/euc-kr-item.xml", Description, "\xB3\xE2"},
  };
  for (const Expectation& expected : cases) {
    SCOPED_TRACE(expected.path);
    ASSERT_TRUE(Parse(expected.path));
    // Each of these feeds has one item, so the current item is the feed's first.
    const std::string actual[] = {CurrentItem.title, CurrentItem.description, CurrentItem.guid,
                                  CurrentItem.date};
    EXPECT_EQ(actual[expected.field], expected.value);
  }
}

TEST_F(FeedCorpus, OneGuidTwiceInAFeedIsStoredOnce) {
  const std::string folder = "feedvalidator/testcases/rss20/element-channel-item-guid/";
  for (const std::string name : {"guid_duplicate_value.xml", "guid_duplicate_value_cdata.xml",
                                 "guid_duplicate_value_ncr.xml"}) {
    ASSERT_TRUE(Parse(folder + name)) << name;
    EXPECT_EQ(NewMessageCount, 1) << name;
  }
  ASSERT_TRUE(Parse(folder + "guid_duplicate_value_url.xml"));
  EXPECT_EQ(NewMessageCount, 2);
}

// Each item of this feed says in its description which day it means. We read the day from the
// date as written, without applying the zone, so a few land on the next day; comments in a date
// make it unreadable, and such a message sorts last.
TEST_F(FeedCorpus, DatesOfTheDateTestFeedGiveTheirDays) {
  ASSERT_TRUE(Parse("feedvalidator/testcases/rss20/data-types-datetime/everything.xml"));
  ASSERT_EQ(NewMessageCount, 30);
  const std::optional<std::int32_t> feb9 = 2231, feb10 = 2232;
  const std::vector<std::optional<std::int32_t>> days = {
      feb9,  feb9,  feb9, feb9,         feb9, -1422, feb9,   feb9,   feb9, feb9,
      feb10, feb10, feb9, feb9,         feb9, feb9,  feb9,   feb9,   feb9, feb9,
      feb9,  feb9,  {},   std::nullopt, feb9, feb9,  -70818, -34294, 5883, 38755};
  std::error_code ec;
  const IniDocument inbox = IniDocument::Load(InboxPath(), ec);
  const std::vector<std::string> guids = inbox.SectionNames();
  ASSERT_EQ(guids.size(), days.size());
  for (std::size_t i = 0; i < guids.size(); ++i) {
    const std::string date = inbox.GetValue(guids[i], "date").value_or("?");
    EXPECT_EQ(DayNumber(date), days[i]) << "item " << i + 1 << ": " << date;
  }
}
