#include "inbox/FeedParser.h"
#include "inbox/InboxEvents.h"

#include "TestPaths.h"
#include "core/mAppFunctions.h"
#include "support/DataFolder.h"

#include <filesystem>

using namespace mInbox;
using namespace TestData;
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

InboxItem Item(const std::string& guid, const std::string& title = "",
               const std::string& description = "", const std::string& date = "",
               const std::string& time = "", const std::string& offset = "") {
  return {guid, title, description, date, time, offset, 0};
}

class FeedParser : public DataFolderTest {
 protected:
  FeedParser() { SourceID = kSourceID; }
};

}  // namespace

TEST(ReadFeed, FixtureFeedsGiveTheItemsTheirNamesSay) {
  const std::vector<std::pair<std::string, std::vector<InboxItem>>> cases = {
      {"rss_nested_in_other_root.xml", {Item("deep-1", "Deep item")}},
      // Element names are compared with their letter case.
      {"element_names_in_other_letter_case.xml",
       {Item("lower-guid", "Kept title"), Item("", "Only an upper-case guid")}},
      // Regression: nothing carries over from the item before.
      {"items_missing_fields_and_guids.xml",
       {Item("full", "Full", "Body", "Sat, 05 Dec 2026", "09:18:46", "GMT"), Item("only-guid"),
        Item("", "No guid at all", "Not stored"), Item("", "Blank guid"),
        Item("full", "Repeated")}},
      {"guids_with_brackets_and_line_breaks.xml",
       {Item("a]b", "Bracket inside ] the title"), Item("x y", "Line one\nLine two"),
        Item("[z]", "[z]")}},
  };
  for (const auto& [name, items] : cases) EXPECT_EQ(ReadFeed(Fixture(name)).items, items) << name;
}

TEST(SplitPubDate, CutsDateTimeAndZone) {
  const std::vector<std::pair<std::string, PubDateParts>> cases = {
      {"Sat, 05 Dec 2026 09:18:46 GMT", {"Sat, 05 Dec 2026", "09:18:46", "GMT"}},
      {"Sat, 05 Dec 2026 09:18:46 +0000", {"Sat, 05 Dec 2026", "09:18:46", "+0000"}},
      // Nothing follows the time, so the zone reads as the time.
      {"Sat, 05 Dec 2026 09:18:46", {"Sat, 05 Dec 2026", "09:18:46", "09:18:46"}},
      {"Sat, 5 Dec 2026 9:18 GMT", {"Sat, 5 Dec 2026", "9:18", "GMT"}},
      {"Sat, 05 Dec 2026", {"Sat, 05 Dec 2026", "", ""}},
      {"\t Thu,\n 09 Feb 2006\n 23:59:45 +0000 ", {"Thu,\n 09 Feb 2006", "23:59:45", "+0000"}},
      {"2004-01-01T19:48:21Z", {"", "2004-01-01T19:48:21Z", "2004-01-01T19:48:21Z"}},
      {":", {"", ":", ":"}},
      {"", {"", "", ""}},
  };
  const auto joined = [](const PubDateParts& p) { return p.date + "|" + p.time + "|" + p.zone; };
  for (const auto& [text, parts] : cases)
    EXPECT_EQ(joined(SplitPubDate(text)), joined(parts)) << text;
}

TEST_F(FeedParser, StoresOnlyNewItemsAndAddsOneParagraphPerSource) {
  const std::string known =
      Section("http://letters.example/2", "Kept as stored", "", "", "", "", "1");
  WriteInbox(known);
  RunSummary = "earlier\r\n";
  for (int round = 1; round <= 2; ++round) {
    EXPECT_EQ(ParseFeed(Fixture("three_items_one_known_guid.xml"), "Weekly Letters"), true);
    EXPECT_EQ(NewMessageCount, round == 1 ? 2 : 0);
  }
  // Feed order, read=0, the known message untouched though the feed changed it; descriptions in
  // the stored form (brackets as parentheses, character 5 for a line feed).
  EXPECT_EQ(InboxBytes(), known +
                              Section("http://letters.example/1", "[Issue 1] Opening", "a(b)c\5d",
                                      "Sat, 05 Dec 2026", "09:18:46", "GMT") +
                              Section("http://letters.example/3", "Third & last", "<p>Hello</p>",
                                      "Thu, 03 Dec 2026", "07:05", "+0000"));
  // The current item holds the last item of the feed.
  EXPECT_EQ(CurrentItem.guid, "http://letters.example/3");

  // Items without a guid and repeats are not counted.
  SourceID = kOtherSourceID;
  EXPECT_EQ(ParseFeed(Fixture("items_missing_fields_and_guids.xml"), "Second"), true);
  EXPECT_EQ(NewMessageCount, 2);
  EXPECT_EQ(RunSummary, "earlier\r\n" + Paragraph(2, "Weekly Letters") + Paragraph(2, "Second"));
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

TEST_F(FeedParser, AFeedThatCannotBeReadShowsItsBoxAndChangesNothing) {
  const std::string failed = "Process of checking for new Messages failed! ";
  // By failure: none, blank, not XML, no channel.
  const std::vector<std::vector<ShownBox>> boxes = {
      {},
      {{failed + "Server returned empty Data stream.", "Error!", 48}},
      {{failed + "Server returned data in invalid format.", "Server returned Invalid Data!", 48}},
      {{failed + "Data returned by Server is not in expected format.",
        "Server returned Data in unsupported format!", 48}}};
  const std::vector<std::pair<std::string, FeedFailure>> cases = {
      {"", FeedFailure::Blank},
      {"    ", FeedFailure::Blank},
      {"<rss version=\"2.0\"><channel><item><guid>g</guid></item></channel>", FeedFailure::NotXml},
      {"plain words", FeedFailure::NotXml},
      {"<rss version=\"2.0\"><item><guid>g</guid></item></rss>", FeedFailure::NoChannel},
      {"<feed><channel><item><guid>g</guid></item></channel></feed>", FeedFailure::NoChannel},
      // A channel without items is no failure.
      {"<rss><channel><title>Quiet</title></channel></rss>", FeedFailure::None},
  };
  for (const auto& [text, failure] : cases) {
    EXPECT_EQ(static_cast<int>(ReadFeed(text).failure), static_cast<int>(failure)) << text;
    platform.messageBox.shown.clear();
    NewMessageCount = 9;
    RunSummary = "earlier";
    EXPECT_EQ(ParseFeed(text, "Source"), failure == FeedFailure::None) << text;
    EXPECT_EQ(platform.messageBox.shown, boxes.at(static_cast<int>(failure))) << text;
    EXPECT_EQ(NewMessageCount, 0) << text;
    EXPECT_EQ(RunSummary, "earlier") << text;
  }
  EXPECT_EQ(InboxBytes(), "<missing>");
}

// Regression: a store that failed was once reported as a successful check.
TEST_F(FeedParser, MessagesThatCannotBeStoredAreReportedAndTheInboxKept) {
  const ShownBox notStored{"New Messages of Nowhere could not be stored in " +
                               mAppFunctions::DataPath +
                               ". Please check that this folder can be written and has free space.",
                           "Messages not stored!", 48};
  WriteInbox("");
  fs::permissions(InboxPath(), fs::perms::owner_read);
  EXPECT_EQ(ParseFeed(Fixture("three_items_one_known_guid.xml"), "Nowhere"), false);
  EXPECT_EQ(InboxBytes(), "");
  EXPECT_EQ(NewMessageCount, 0);
  EXPECT_EQ(RunSummary, "");
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{notStored});
}

// Regression: a message the user deleted came back, unread, at the next check, and again after
// an empty or shortened feed.
TEST_F(FeedParser, DeletedStaysDeletedWhileCarriedAndValidatorsHoldOnlyForTheSameMessages) {
  const SourceState::Answer answer{"\"v1\"", "Sat, 05 Dec 2026 09:18:46 GMT",
                                   "Sat, 05 Dec 2026 10:00:00 GMT"};
  const SourceState::Validators v{answer.etag, answer.lastModified};
  const auto store = [&](const std::vector<std::string>& guids) {
    EXPECT_EQ(StoreFeed(FeedWithItems(guids), "S", answer), FeedFailure::None);
    return std::to_string(NewMessageCount) + " new, deleted " +
           std::to_string(SourceState::Load(kSourceID).deleted.size());
  };
  // Without a Date the clock tells when the answer came: a Last-Modified of that second is not
  // recorded.
  const auto lastModifiedKept = [&](const std::string& lastModified) {
    StoreFeed(FeedWithItems({"a"}), "S", {"", lastModified, ""});
    return SourceState::ValidatorsToSend(kSourceID).lastModified == lastModified;
  };
  platform.clock.nowMs = 1'796'000'000'999;
  EXPECT_EQ(lastModifiedKept("Mon, 30 Nov 2026 00:53:20 GMT"), false);
  EXPECT_EQ(lastModifiedKept("Mon, 30 Nov 2026 00:53:19 GMT"), true);

  store({"a", "b", "c"});
  for (const auto& [action, guid] :
       {std::pair{InboxAction::MarkRead, "a"}, {InboxAction::Delete, "b"}}) {
    CurrentItem.guid = guid;
    EXPECT_EQ(ManageInboxItem(static_cast<int>(action)), true);
  }
  // Reading, marking and deleting cost no full download.
  EXPECT_EQ(SourceState::ValidatorsToSend(kSourceID), v);
  EXPECT_EQ(store({"a", "B", "c"}), "0 new, deleted 1");  // a case variant names the same message
  const std::string older = InboxBytes();
  // An empty channel and a shortened feed forget nothing; full answers lacking it for 30 days do.
  EXPECT_EQ(store({}), "0 new, deleted 1");
  EXPECT_EQ(store({"c"}), "0 new, deleted 1");
  platform.clock.nowMs += 30 * 86'400'000LL;
  EXPECT_EQ(store({"a", "c"}), "0 new, deleted 0");
  EXPECT_EQ(store({"a", "b", "c"}), "1 new, deleted 0");
  EXPECT_EQ(SourceState::ValidatorsToSend(kSourceID), v);
  // An inbox restored from an older backup, trimmed by hand or emptied gets the whole feed.
  const std::string now = InboxBytes();
  for (const std::string& bytes : {older, now.substr(0, now.find("[b]")), std::string()}) {
    WriteInbox(bytes);
    EXPECT_EQ(SourceState::ValidatorsToSend(kSourceID), SourceState::Validators{}) << bytes;
  }
  WriteInbox(now);
  TestSupport::WriteAll(InboxFolder() + "/state.dat", "[validators]\r\netag=x\r\nmessages=3x\r\n");
  EXPECT_EQ(SourceState::ValidatorsToSend(kSourceID), SourceState::Validators{});
}

namespace {

// Records what the store tells and decides as a rule: "rule-read" arrives read, "rule-out" is
// kept out.
struct Recorder : mInbox::IInboxListener, mInbox::IArrivalRules {
  Recorder() {
    AddListener(this);
    AddArrivalRules(this);
  }
  ~Recorder() override {
    RemoveListener(this);
    RemoveArrivalRules(this);
  }
  void Stored(const std::string& id, const std::vector<InboxItem>& items) override {
    for (const auto& item : items)
      told.push_back("stored " + id + " " + item.guid + " " + std::to_string(item.read));
  }
  void ReadChanged(const std::string& id, const std::string& guid, bool read) override {
    told.push_back((read ? "read " : "unread ") + id + " " + guid);
  }
  void Deleted(const std::string& id, const std::string& guid) override {
    told.push_back("deleted " + id + " " + guid);
  }
  void SourceRemoved(const std::string& id) override { told.push_back("removed " + id); }
  void Arriving(const std::string&, std::vector<InboxItem>& items,
                std::vector<std::string>& deleted) override {
    for (auto& item : items) {
      if (item.guid == "rule-read") item.read = 1;
      if (item.guid == "rule-out") deleted.push_back(item.guid);
    }
  }
  std::vector<std::string> told;
};

}  // namespace

// Catches a store that tells of a change it did not make (or not of one it made), a rule's
// read flag not stored, a message a rule kept out that is stored, counted, or brought back by the
// next check, and validators recorded over a holding that counts the one kept out.
TEST_F(FeedParser, ListenersHearEachChangeAndArrivalRulesDecideBeforeTheStore) {
  Recorder recorder;
  const std::string feed = FeedWithItems({"plain", "rule-read", "rule-out"});
  EXPECT_EQ(StoreFeed(feed, "Letters", {"\"v1\"", "", ""}), FeedFailure::None);
  EXPECT_EQ(NewMessageCount, 2);
  EXPECT_EQ(std::vector<int>({StoredRead(kSourceID, "plain"), StoredRead(kSourceID, "rule-read"),
                              StoredRead(kSourceID, "rule-out")}),
            std::vector<int>({0, 1, -1}));
  // Not again, and the validators hold: the next answer is conditional.
  EXPECT_EQ(StoreFeed(feed, "Letters", {"\"v1\"", "", ""}), FeedFailure::None);
  EXPECT_EQ(NewMessageCount, 0);
  EXPECT_EQ(SourceState::ValidatorsToSend(kSourceID).etag, "\"v1\"");

  CurrentItem.guid = "plain";
  ManageInboxItem(static_cast<int>(InboxAction::MarkRead));
  ManageInboxItem(static_cast<int>(InboxAction::MarkRead));  // no change: nothing told
  ManageInboxItem(static_cast<int>(InboxAction::MarkUnread));
  ManageInboxItem(static_cast<int>(InboxAction::Delete));
  CurrentItem.guid = "gone";
  ManageInboxItem(static_cast<int>(InboxAction::Delete));
  const std::string id = kSourceID;
  EXPECT_EQ(recorder.told,
            (std::vector<std::string>{"stored " + id + " plain 0", "stored " + id + " rule-read 1",
                                      "read " + id + " plain", "unread " + id + " plain",
                                      "deleted " + id + " plain"}));
}
