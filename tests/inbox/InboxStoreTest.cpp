#include "inbox/InboxEvents.h"
#include "inbox/InboxTree.h"
#include "inbox/mInbox.h"

#include "core/mAppFunctions.h"
#include "support/DataFolder.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <thread>

using namespace mInbox;
using namespace TestData;
namespace fs = std::filesystem;

namespace {

// A description as stored: brackets as parentheses, character 5 for a line feed.
const std::string kBody = "a(b)c\5d";
const InboxItem kItem{"g1", "T [1]", kBody, "Sat, 05 Dec 2026", "09:18:46", "GMT", 1};
std::string Stored(const std::string& read = "0") {
  return Section("g1", "T [1]", kBody, "Sat, 05 Dec 2026", "09:18:46", "GMT", read);
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// Lets a test act while LoadInbox runs window events.
struct ScriptedClock : Services::IClock {
  void Sleep(int) override {}
  void ProcessEvents() override { duringEvents(); }
  std::function<void()> duringEvents;
};

// The current source is kSourceID; the tree holds its node.
class InboxStore : public DataFolderTest {
 protected:
  InboxStore() {
    SourceID = kSourceID;
    tree.Add(kSourceID, "Letters", MessageTreeImage::Source)->SetTag("http://h/feed");
  }
  bool Act(InboxAction action, const std::string& guid) {
    CurrentItem.guid = guid;
    return ManageInboxItem(static_cast<int>(action));
  }
  TreeControl tree{"tvMessages"};
};

}  // namespace

TEST_F(InboxStore, AddsByteForByteAndCommandsWorkOnTheExactGuidOnly) {
  // The exists test comes first and makes the folder; adding then writes the file.
  EXPECT_EQ(Act(InboxAction::Exists, "g1"), false);
  EXPECT_EQ(fs::is_directory(InboxFolder()), true);
  EXPECT_EQ(InboxBytes(), "<missing>");
  CurrentItem = kItem;
  EXPECT_TRUE(AddInboxItem());
  CurrentItem = {"g2", "Second", "", "", "", "", 0};
  EXPECT_TRUE(AddInboxItem());
  const std::string second = Section("g2", "Second");
  EXPECT_EQ(InboxBytes(), Stored() + second);

  for (const std::string other : {"G1", "g", ""}) {
    EXPECT_EQ(Act(InboxAction::Exists, other), false) << other;
    EXPECT_EQ(Act(InboxAction::MarkRead, other), false) << other;
  }
  CurrentItem.guid = "g1";
  EXPECT_EQ(ManageInboxItem(0) || ManageInboxItem(6), false);  // no such actions
  EXPECT_EQ(InboxBytes(), Stored() + second);
  // Load gives the plain description.
  EXPECT_TRUE(Act(InboxAction::Load, "g1"));
  EXPECT_EQ(CurrentItem,
            (InboxItem{"g1", "T [1]", "a(b)c\r\nd", "Sat, 05 Dec 2026", "09:18:46", "GMT", 0}));
  EXPECT_TRUE(Act(InboxAction::MarkRead, "g1"));
  EXPECT_EQ(InboxBytes(), Stored("1") + second);
  EXPECT_TRUE(Act(InboxAction::MarkUnread, "g1"));
  EXPECT_EQ(InboxBytes(), Stored() + second);
  EXPECT_TRUE(Act(InboxAction::Delete, "g1"));
  EXPECT_EQ(InboxBytes(), second);
  // A read flag other than 1 reads as unread.
  WriteInbox(second + Section("g3", "", "", "", "", "", "yes") +
             Section("g4", "", "", "", "", "", "2"));
  EXPECT_EQ((std::vector<int>{StoredRead(kSourceID, "g3"), StoredRead(kSourceID, "g4")}),
            (std::vector<int>{0, 0}));
  // A file that cannot be written keeps its bytes, and the command says it failed.
  fs::permissions(InboxPath(), fs::perms::owner_read);
  const std::string bytes = InboxBytes();
  EXPECT_EQ(Act(InboxAction::MarkRead, "g2"), false);
  EXPECT_EQ(InboxBytes(), bytes);
}

// Regression: a hand-edited source ID must never create or delete anything outside its folder.
TEST_F(InboxStore, UnusableSourceIdCreatesAndTouchesNothing) {
  const std::string outside = fs::path(mAppFunctions::DataPath).parent_path().string();
  const std::set<std::string> dataBefore = Entries(mAppFunctions::DataPath);
  const std::set<std::string> outsideBefore = Entries(outside);
  for (const std::string& id : std::vector<std::string>{
           "", "../x", " ", "..", "0a1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9", kSourceID + "/.."}) {
    SourceID = id;
    EXPECT_EQ(Act(InboxAction::Exists, "g1"), false) << id;
    CurrentItem = kItem;
    EXPECT_EQ(AddInboxItem(), false) << id;
    EXPECT_EQ(AddNewInboxItems({kItem}), std::nullopt) << id;
    TreeControl other("tvMessages");
    other.Add(id.empty() ? "k" : id, "Source", MessageTreeImage::Source);
    other.AddChild(id.empty() ? "k" : id, "", "kept", MessageTreeImage::Read);
    LoadInbox(other);
    EXPECT_EQ(other.Count(), 2u) << id;
  }
  EXPECT_EQ(Entries(mAppFunctions::DataPath), dataBefore);
  EXPECT_EQ(Entries(outside), outsideBefore);
  EXPECT_EQ(platform.clock.eventRounds, 0);

  // Without a data folder the paths would be relative to the working folder.
  SourceID = kSourceID;
  mAppFunctions::DataPath.clear();
  EXPECT_EQ(Act(InboxAction::Exists, "g1"), false);
  EXPECT_EQ(fs::exists(kSourceID), false);
}

// The batch writes the file once; it must be the file that single writes would have left.
// Regression: a case variant of a stored guid names the same INI section and would overwrite it.
TEST_F(InboxStore, BatchStoresNewGuidsOnceAsStoringOneByOneWould) {
  const std::vector<InboxItem> items = {
      {"fresh", "Plain", "body", "Sat, 05 Dec 2026", "09:18:46", "GMT", 1},
      {"Known", "Case variant of a stored one", "", "", "", "", 0},
      {"multi\r\nline", "Title\nwith\r\nbreaks", std::string("nul\0inside", 10), "", "", "", 0},
      {"  padded  ", " spaced title ", "", "", "", "", 0},
      {"FRESH", "Case variant within the batch", "", "", "", "", 0},
      {"", "No guid", "", "", "", "", 0},
      {"a]b", "= and [brackets]", "x=y", "d", "t", "o", 0},
  };
  // No file; CR LF lines; a byte-order mark, LF lines and no final line end.
  const std::vector<std::string> starts = {"", Section("known", "Stored", "", "", "", "", "1"),
                                           "\xEF\xBB\xBF; comment\n[known]\ntitle=Stored\nread=1"};
  for (const std::string& start : starts) {
    const auto restart = [&] {
      fs::remove_all(InboxFolder());
      if (!start.empty()) WriteInbox(start);
    };
    restart();
    for (const InboxItem& item : items) {
      CurrentItem = item;
      if (!Act(InboxAction::Exists, item.guid)) AddInboxItem();
    }
    const std::string oneByOne = InboxBytes();
    restart();
    EXPECT_EQ(AddNewInboxItems(items), start.empty() ? 5u : 4u) << start;
    EXPECT_EQ(InboxBytes(), oneByOne) << start;
    // Every stored guid, line breaks and brackets included, is found again.
    EXPECT_EQ(AddNewInboxItems(items), 0u) << start;
    EXPECT_EQ(InboxBytes(), oneByOne) << start;
  }
  EXPECT_EQ(Act(InboxAction::Exists, "multi\r\nline"), true);
}

namespace {

struct Told : IInboxListener {
  Told() { AddListener(this); }
  ~Told() override { RemoveListener(this); }
  void Stored(const std::string&, const std::vector<InboxItem>&) override {}
  void ReadChanged(const std::string&, const std::string& guid, bool read) override {
    told.push_back((read ? "read " : "unread ") + guid);
  }
  void Deleted(const std::string&, const std::string& guid) override {
    told.push_back("deleted " + guid);
  }
  void SourceRemoved(const std::string&) override {}
  std::vector<std::string> told;
};

}  // namespace

// Catches a batch that rewrites the inbox before the deletions are remembered (a kill between
// the two writes would let a check bring the message back), or that tells of what it did not do.
TEST_F(InboxStore, BatchMarksAndDeletesInOneRewriteTheDeletionsRememberedFirst) {
  const std::string id = kOtherSourceID;  // SourceID and CurrentItem stay as they are
  CurrentItem = kItem;
  using enum BatchChange;
  EXPECT_EQ(ApplyBatch(id, {{"g1", Delete}}), 0u);  // nothing stored yet: no folder either
  EXPECT_EQ(fs::exists(InboxFolder(id)), false);
  const std::string g3 = Section("G3", "Three", "", "", "", "", "1");
  WriteInbox(Stored() + Section("g2", "Two", "", "", "", "", "1") + g3, id);
  const std::string stateFile = InboxFolder(id) + "/state.dat";
  // The inbox cannot be written: the deletion is remembered all the same, nothing else changes.
  fs::permissions(InboxPath(id), fs::perms::owner_read);
  EXPECT_EQ(ApplyBatch(id, {{"g1", Delete}}), std::nullopt);
  EXPECT_EQ(SourceState::Load(id).deleted.size(), 1u);
  fs::permissions(InboxPath(id), fs::perms::owner_read | fs::perms::owner_write);
  // state.dat cannot be written: the inbox keeps the message.
  fs::permissions(stateFile, fs::perms::owner_read);
  EXPECT_EQ(ApplyBatch(id, {{"g3", Delete}}), std::nullopt);
  EXPECT_EQ(InboxBytes(id), Stored() + Section("g2", "Two", "", "", "", "", "1") + g3);
  fs::remove(stateFile);

  Told told;
  // Letter case aside; marks it holds already, guids it does not hold and repeats pass over.
  EXPECT_EQ(ApplyBatch(id, {{"G1", MarkRead},
                            {"g2", MarkUnread},
                            {"g3", Delete},
                            {"g4", Delete},
                            {"g1", MarkUnread},
                            {"g3", MarkRead}}),
            3u);
  EXPECT_EQ(InboxBytes(id), Stored("1") + Section("g2", "Two"));
  EXPECT_EQ(told.told, (std::vector<std::string>{"read g1", "unread g2", "deleted G3"}));
  EXPECT_EQ(SourceState::Load(id).deleted, (std::vector<SourceState::Deletion>{{"G3", {}}}));
  EXPECT_EQ(std::pair(SourceID, CurrentItem), std::pair(std::string(kSourceID), kItem));
}

// Catches a lost update: two threads rewriting one inbox without taking turns.
TEST_F(InboxStore, CallsForOneSourceFromSeveralThreadsTakeTurns) {
  std::vector<InboxItem> items;
  for (int i = 0; i < 60; ++i) items.push_back({"m" + std::to_string(i), "T", "", "", "", "", 0});
  ASSERT_EQ(AddNewInboxItems(kSourceID, items), items.size());
  const auto mark = [](int first) {
    for (int i = first; i < 60; i += 2) MarkMessage(kSourceID, "m" + std::to_string(i), true);
  };
  std::thread even(mark, 0), odd(mark, 1);
  even.join();
  odd.join();
  const std::vector<MessageSummary> messages =
      ListMessages(kSourceID).value_or(std::vector<MessageSummary>{});
  EXPECT_EQ(std::count_if(messages.begin(), messages.end(), [](const auto& m) { return m.read; }),
            60);
}

// Catches file order within a day, and a zone left out of the time.
TEST_F(InboxStore, MessagesShowNewestDayFirstAndNewestFirstWithinADay) {
  WriteInbox(Section("c", "Third", "", "Thu, 03 Dec 2026") +
             Section("e1", "Fifth", "", "Sat, 05 Dec 2026", "08:00:00", "+0100", "1") +
             Section("d", "Fourth", "", "Fri, 04 Dec 2026", "", "", "x") +
             Section("u", "Undated", "", "someday", "23:00:00") +
             Section("e0", "No time", "", "Sat, 05 Dec 2026", "soon") +
             Section("e2", "Fifth again", "", "05 Dec 2026", "07:30", "GMT") +
             Section("e3", "Fifth late", "", "05 Dec 2026", "03:00:00", "EST") +
             Section("old", "Old", "", "Fri, 31 Dec 1999"));
  LoadInbox(tree);
  // Read messages have image 3, unread ones image 2 in bold.
  const std::vector<Shown> shown = {{"Fifth late", "e3", 2, true}, {"Fifth again", "e2", 2, true},
                                    {"Fifth", "e1", 3, false},     {"No time", "e0", 2, true},
                                    {"Fourth", "d", 2, true},      {"Third", "c", 2, true},
                                    {"Old", "old", 2, true},       {"Undated", "u", 2, true}};
  EXPECT_EQ(Messages(tree, kSourceID), shown);
}

TEST_F(InboxStore, LoadAndResetTouchOnlyTheirOwnSourceNode) {
  // No node for the source: no effect, not even the folder; a missing folder is made.
  tree.AddChild(kSourceID, "", "kept", MessageTreeImage::Unread);
  SourceID = kOtherSourceID;
  LoadInbox(tree);
  ResetSourceNode(tree);
  EXPECT_EQ(fs::exists(InboxFolder()), false);
  SourceID = kSourceID;
  LoadInbox(tree);
  EXPECT_EQ(fs::is_directory(InboxFolder()), true);
  EXPECT_EQ(Messages(tree, kSourceID), std::vector<Shown>({{"kept", "", 2, false}}));

  // Loading twice gives the same nodes, under a fresh collapsed node with its text and tag.
  WriteInbox(Stored() + Section("g2", "Second", "", "Sun, 06 Dec 2026"));
  tree.Find(kSourceID)->SetExpanded(true);
  tree.Add(kOtherSourceID, "Other", MessageTreeImage::Source);
  LoadInbox(tree);
  LoadInbox(tree);
  EXPECT_EQ(Messages(tree, kSourceID),
            std::vector<Shown>({{"Second", "g2", 2, true}, {"T [1]", "g1", 2, true}}));
  const TreeControl::Node* source = tree.Find(kSourceID);
  EXPECT_EQ(source->Text() + " " + source->Tag() + (source->Expanded() ? " expanded" : ""),
            "Letters http://h/feed");
  EXPECT_EQ(TopLevelTexts(tree), (std::vector<std::string>{"Letters", "Other"}));
  ResetSourceNode(tree);
  EXPECT_EQ(tree.Count(), 2u);
}

// Catches a check that reads every source it stored into (a start would read them all), and one
// that leaves the messages of a shown source stale.
TEST_F(InboxStore, OnlyShownSourcesAreReadTheOthersWhenUnfolded) {
  WriteInbox(Stored());
  ReadSourcesOnDemand(tree);
  int reads = 0;
  ScriptedClock clock;  // a read lets events run, a source left for later does not
  clock.duringEvents = [&] { ++reads; };
  Services::Current().clock = &clock;
  LoadInbox(tree);
  const auto letters = [this] {
    const TreeControl::Node* node = tree.Find(kSourceID);
    return std::tuple(node->ChildCount(), node->ChildrenPending(), node->Tag());
  };
  EXPECT_EQ(letters(), std::tuple(std::size_t{0}, true, std::string("http://h/feed")));
  tree.Find(kSourceID)->SetExpanded(true);
  EXPECT_EQ(letters(), std::tuple(std::size_t{1}, false, std::string("http://h/feed")));
  WriteInbox(Stored() + Section("g2", "Second", "", "Sun, 06 Dec 2026"));
  LoadInbox(tree);
  EXPECT_EQ(Messages(tree, kSourceID),
            std::vector<Shown>({{"Second", "g2", 2, true}, {"T [1]", "g1", 2, true}}));
  EXPECT_EQ(reads, 1);
  // Folded, it gives its messages up again.
  tree.Find(kSourceID)->SetExpanded(true);
  tree.Find(kSourceID)->SetExpanded(false);
  LoadInbox(tree);
  EXPECT_EQ(std::pair(letters(), reads),
            std::pair(std::tuple(std::size_t{0}, true, std::string("http://h/feed")), 1));
}

// Regression: window events that run during the load may change the tree or the current source.
TEST_F(InboxStore, TreeChangedWhileEventsRunIsLeftConsistent) {
  WriteInbox(Stored());
  ScriptedClock clock;
  Services::Current().clock = &clock;
  // Another source made current meanwhile: the messages still go under the one being loaded.
  clock.duringEvents = [] { SourceID = kOtherSourceID; };
  LoadInbox(tree);
  EXPECT_EQ(Messages(tree, kSourceID).size(), 1u);
  // The tree rebuilt without the source meanwhile: nothing is added anywhere.
  SourceID = kSourceID;
  clock.duringEvents = [this] { tree.Clear(); };
  LoadInbox(tree);
  EXPECT_EQ(tree.Count(), 0u);
}

TEST(InboxDayNumber, CountsDaysFromTheStartOf2000) {
  const std::optional<std::int32_t> none;
  const std::vector<std::pair<std::string, std::optional<std::int32_t>>> cases = {
      {"Sat, 05 Dec 2026", 9835},      {"05 Dec 2026", 9835},
      {"Sat, 5 dec 2026", 9835},       {"Sat, 01 Jan 2000", 0},
      {"Fri, 31 Dec 1999", -1},        {"Thu, 09 Feb 06", 2231},
      {"Fri, 09 Feb 96", -1422},       {"Thu, 09 February 2006", 2231},
      {"Thu,\t 09  Feb\t2006 ", 2231}, {"Thu, 29 Feb 2007", none},
      {"Thu, 32 Jan 2007", none},      {"Sat, 05 Dez 2026", none},
      {"Sat, 05 Dec", none},           {"Sat, 005 Dec 2026", none},
      {"2004-01-01T19:48:21Z", none},  {"", none}};
  for (const auto& [text, day] : cases) EXPECT_EQ(DayNumber(text), day) << text;
}
