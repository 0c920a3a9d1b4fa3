#include "inbox/FeedParser.h"
#include "inbox/InboxTestSupport.h"
#include "inbox/InboxTree.h"

#include "TestPaths.h"
#include "config/IniDocument.h"
#include "config/cINI.h"

#include <algorithm>
#include <filesystem>

using namespace mInbox;
using namespace InboxTests;
using TestSupport::ShownBox;
namespace fs = std::filesystem;

namespace {

std::string Fixture(const std::string& name) {
  return TestSupport::ReadAll(std::string(QP_FIXTURES_DIR) + "/feeds/" + name);
}

std::string Paragraph(int count, const std::string& title) {
  return "You have " + std::to_string(count) + " New Messages \r\n in " + title +
         " account.\r\n\r\n";
}

const std::string kKnown =
    Section("http://letters.example/2", "Kept as stored", "", "", "", "", "1");
const std::string kNewOne = Section("http://letters.example/1", "[Issue 1] Opening", kEncodedBody,
                                    "Sat, 05 Dec 2026", "09:18:46", "GMT");
const std::string kNewThree = Section("http://letters.example/3", "Third & last", "<p>Hello</p>",
                                      "Thu, 03 Dec 2026", "07:05", "+0000");

class FeedParser : public InboxTest {
 protected:
  std::vector<std::string> StoredGuids() {
    std::error_code ec;
    return IniDocument::ReadSectionNames(InboxPath(), ec);
  }
};

}  // namespace

TEST_F(FeedParser, FeedWithOneKnownGuidStoresTheOtherTwoOnceOnly) {
  WriteInbox(kKnown);
  RunSummary = "earlier\r\n";
  EXPECT_TRUE(ParseFeed(Fixture("three_items_one_known_guid.xml"), "Weekly Letters"));
  EXPECT_EQ(NewMessageCount, 2);
  EXPECT_EQ(RunSummary, "earlier\r\n" + Paragraph(2, "Weekly Letters"));
  // Feed order, read=0, the known message untouched though the feed changed it.
  EXPECT_EQ(InboxBytes(), kKnown + kNewOne + kNewThree);

  EXPECT_TRUE(ParseFeed(Fixture("three_items_one_known_guid.xml"), "Weekly Letters"));
  EXPECT_EQ(NewMessageCount, 0);
  EXPECT_EQ(RunSummary, "earlier\r\n" + Paragraph(2, "Weekly Letters"));
  EXPECT_EQ(InboxBytes(), kKnown + kNewOne + kNewThree);
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});

  // The stored description comes back with real line ends; the brackets stay parentheses.
  EXPECT_TRUE(Act(InboxAction::Load, "http://letters.example/1"));
  EXPECT_EQ(CurrentItem.description, "a(b)c\r\nd");
}

TEST_F(FeedParser, EachSourceWithNewMessagesAddsItsParagraphInCheckOrder) {
  EXPECT_TRUE(ParseFeed(Fixture("three_items_one_known_guid.xml"), "First"));
  SourceID = kOtherSourceID;
  EXPECT_TRUE(ParseFeed(Fixture("rss_nested_in_other_root.xml"), "Second"));
  EXPECT_TRUE(ParseFeed(Fixture("rss_nested_in_other_root.xml"), "Second"));
  EXPECT_EQ(RunSummary, Paragraph(3, "First") + Paragraph(1, "Second"));
}

TEST_F(FeedParser, UnreadableFeedsShowTheirBoxAndStoreNothing) {
  const ShownBox empty{
      "Process of checking for new Messages failed! Server returned empty Data stream.", "Error!",
      48};
  const ShownBox invalid{
      "Process of checking for new Messages failed! Server returned data in invalid format.",
      "Server returned Invalid Data!", 48};
  const ShownBox unsupported{
      "Process of checking for new Messages failed! Data returned by Server is not in expected "
      "format.",
      "Server returned Data in unsupported format!", 48};
  const std::vector<std::pair<std::string, ShownBox>> cases = {
      {"", empty},
      {"    ", empty},
      {"<html><body><p>Not found<br></body></html>", invalid},
      {"<rss version=\"2.0\"><channel><item><guid>g</guid></item></channel>", invalid},
      {"plain words", invalid},
      {"<html><body><p>Not found</p></body></html>", unsupported},
      {"<rss version=\"2.0\"><item><guid>g</guid></item></rss>", unsupported},
      {"<feed><channel><item><guid>g</guid></item></channel></feed>", unsupported},
  };
  for (const auto& [text, box] : cases) {
    platform.messageBox.shown.clear();
    NewMessageCount = 9;
    RunSummary = "earlier";
    EXPECT_FALSE(ParseFeed(text, "Source")) << text;
    EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{box}) << text;
    EXPECT_EQ(NewMessageCount, 0) << text;
    EXPECT_EQ(RunSummary, "earlier") << text;
  }
  EXPECT_EQ(InboxBytes(), "<missing>");

  // A channel without items is no failure.
  EXPECT_TRUE(ParseFeed("<rss><channel><title>Quiet</title></channel></rss>", "Quiet"));
  EXPECT_EQ(platform.messageBox.shown.size(), 1u);
}

TEST_F(FeedParser, FixtureFeedsStoreWhatTheirNamesSay) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"rss_nested_in_other_root.xml", Section("deep-1", "Deep item")},
      {"element_names_in_other_letter_case.xml", Section("lower-guid", "Kept title")},
      // Nothing carries over from the item before; no guid, no message; a repeat is one message.
      {"items_missing_fields_and_guids.xml",
       Section("full", "Full", "Body", "Sat, 05 Dec 2026", "09:18:46", "GMT") +
           Section("only-guid", "")},
  };
  for (const auto& [name, stored] : cases) {
    fs::remove_all(InboxFolder());
    EXPECT_TRUE(ParseFeed(Fixture(name), "Fixture")) << name;
    EXPECT_EQ(InboxBytes(), stored) << name;
  }
  // The current item holds the last item parsed.
  EXPECT_EQ(CurrentItem, (InboxItem{"full", "Repeated", "", "", "", "", 0}));
}

TEST_F(FeedParser, CaseVariantGuidIsNotNewAndLeavesTheStoredMessage) {
  WriteInbox(Section("g1", "Original", "", "", "", "", "1"));
  const std::string feed =
      "<rss><channel><item><title>Impostor</title><guid>G1</guid></item>"
      "<item><title>Twin</title><guid>NEW</guid></item>"
      "<item><title>Twin again</title><guid>new</guid></item></channel></rss>";
  EXPECT_TRUE(ParseFeed(feed, "Case"));
  EXPECT_EQ(NewMessageCount, 1);
  EXPECT_EQ(InboxBytes(), Section("g1", "Original", "", "", "", "", "1") + Section("NEW", "Twin"));
}

TEST_F(FeedParser, GuidsWithBracketsOrLineBreaksAreStoredOnceAndFoundAgain) {
  const std::string feed = Fixture("guids_with_brackets_and_line_breaks.xml");
  EXPECT_TRUE(ParseFeed(feed, "Odd"));
  EXPECT_EQ(NewMessageCount, 3);
  EXPECT_TRUE(ParseFeed(feed, "Odd"));
  EXPECT_EQ(NewMessageCount, 0);

  EXPECT_EQ(StoredGuids(), (std::vector<std::string>{"a]b", "x y", "[z]"}));
  EXPECT_EQ(InboxBytes(), Section("a]b", "Bracket inside ] the title") +
                              Section("x y", "Line one Line two") + Section("[z]", "[z]"));
  for (const std::string guid : {"a]b", "x\ny", "[z]"}) {
    EXPECT_TRUE(Act(InboxAction::Exists, guid)) << guid;
  }
  LoadInbox(SourceTree());
  EXPECT_EQ(Messages(m_tree, kSourceID),
            std::vector<Shown>({{"Bracket inside ] the title", "a]b", 2, true},
                                {"Line one Line two", "x y", 2, true},
                                {"[z]", "[z]", 2, true}}));
}

TEST_F(FeedParser, MessagesThatCannotBeStoredAreReportedNotCountedAsChecked) {
  const ShownBox notStored{"New Messages of Nowhere could not be stored in " +
                               mAppFunctions::DataPath +
                               ". Please check that this folder can be written and has free space.",
                           "Messages not stored!", 48};
  SourceID = "../elsewhere";
  EXPECT_FALSE(ParseFeed(Fixture("three_items_one_known_guid.xml"), "Nowhere"));
  EXPECT_FALSE(fs::exists(fs::path(mAppFunctions::DataPath) / ".." / "elsewhere"));

  // A read-only inbox keeps its bytes; the run hears about it.
  SourceID = kSourceID;
  WriteInbox(kKnown);
  fs::permissions(InboxPath(), fs::perms::owner_read);
  EXPECT_FALSE(ParseFeed(Fixture("three_items_one_known_guid.xml"), "Nowhere"));
  fs::permissions(InboxPath(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(InboxBytes(), kKnown);

  EXPECT_EQ(NewMessageCount, 0);
  EXPECT_EQ(RunSummary, "");
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>(2, notStored));
}

// The batch writes the file once; it must be the file that single writes would have left.
TEST_F(FeedParser, BatchLeavesTheSameBytesAsStoringOneByOne) {
  const std::vector<InboxItem> items = {
      {"fresh", "Plain", "body", "Sat, 05 Dec 2026", "09:18:46", "GMT", 1},
      {"Known", "Case variant of a stored one", "", "", "", "", 0},
      {"multi\r\nline", "Title\nwith\r\nbreaks", std::string("nul\0inside", 10), "", "", "", 0},
      {"  padded  ", " spaced title ", "", "", "", "", 0},
      {"FRESH", "Case variant within the batch", "", "", "", "", 0},
      {"", "No guid", "", "", "", "", 0},
      {"last", "= and [brackets]", "x=y", "d", "t", "o", 0},
  };
  // No file; CR LF lines; a byte-order mark, LF lines and no final line end.
  const std::vector<std::string> starts = {"", Section("known", "Stored", "", "", "", "", "1"),
                                           "\xEF\xBB\xBF; comment\n[known]\ntitle=Stored\nread=1"};
  const auto restart = [this](const std::string& bytes) {
    fs::remove_all(InboxFolder());
    fs::create_directories(InboxFolder());
    if (!bytes.empty()) WriteInbox(bytes);
  };
  for (const std::string& start : starts) {
    // Through cINI: list the sections, skip a known name (letter case aside), write six keys.
    restart(start);
    for (const InboxItem& item : items) {
      cINI ini;
      ini.SetPath(InboxPath());
      std::vector<std::string> names;
      std::int32_t count = 0;
      ini.EnumerateAllSections(names, count);
      // The INI writer's own idea of a name: stored without line breaks, matched without case.
      IniDocument known, single;
      for (const std::string& name : names) known.SetValue(name, "k", "v");
      single.SetValue(item.guid, "k", "v");
      if (single.SectionNames().front().empty() || known.HasSection(item.guid)) continue;
      ini.SetSection(item.guid);
      for (const auto& [key, value] :
           std::vector<std::pair<std::string, std::string>>{{"title", item.title},
                                                            {"description", item.description},
                                                            {"date", item.date},
                                                            {"time", item.time},
                                                            {"offset", item.offset},
                                                            {"read", "0"}}) {
        ini.SetKey(key);
        std::string text = value;
        ini.SetValue(text);
      }
    }
    const std::string oneByOne = InboxBytes();

    restart(start);
    for (const InboxItem& item : items) {
      CurrentItem = item;
      if (!Act(InboxAction::Exists, item.guid)) AddInboxItem();
    }
    EXPECT_EQ(InboxBytes(), oneByOne) << start;

    restart(start);
    EXPECT_EQ(AddNewInboxItems(items), start.empty() ? 5u : 4u) << start;
    EXPECT_EQ(InboxBytes(), oneByOne) << start;
  }
}

TEST(SplitPubDate, CutsDateTimeAndZone) {
  const std::vector<std::pair<std::string, PubDateParts>> cases = {
      {"Sat, 05 Dec 2026 09:18:46 GMT", {"Sat, 05 Dec 2026", "09:18:46", "GMT"}},
      {"Sat, 05 Dec 2026 09:18:46 +0000", {"Sat, 05 Dec 2026", "09:18:46", "+0000"}},
      // Nothing follows the time, so the zone reads as the time.
      {"Sat, 05 Dec 2026 09:18:46", {"Sat, 05 Dec 2026", "09:18:46", "09:18:46"}},
      {"Sat, 05 Dec 2026 09:18 GMT", {"Sat, 05 Dec 2026", "09:18", "GMT"}},
      {"Sat, 5 Dec 2026 9:18:46 GMT", {"Sat, 5 Dec 2026", "9:18:46", "GMT"}},
      {"Sat, 05 Dec 2026 09:18:46 +01:00", {"Sat, 05 Dec 2026", "09:18:46", "+01:00"}},
      {"Sat, 05 Dec 2026", {"Sat, 05 Dec 2026", "", ""}},
      {"\t Thu,\n 09 Feb 2006\n 23:59:45 +0000 ", {"Thu,\n 09 Feb 2006", "23:59:45", "+0000"}},
      {"2004-01-01T19:48:21Z", {"", "2004-01-01T19:48:21Z", "2004-01-01T19:48:21Z"}},
      {":", {"", ":", ":"}},
      {"", {"", "", ""}},
  };
  for (const auto& [text, parts] : cases) {
    const PubDateParts split = SplitPubDate(text);
    EXPECT_EQ(split.date, parts.date) << text;
    EXPECT_EQ(split.time, parts.time) << text;
    EXPECT_EQ(split.zone, parts.zone) << text;
  }
}
