#include "inbox/InboxTestSupport.h"
#include "inbox/InboxTree.h"

#include "config/cINI.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <set>

using namespace mInbox;
using namespace InboxTests;
namespace fs = std::filesystem;

namespace {

const InboxItem kItem{"g1", "T [1]", kEncodedBody, "Sat, 05 Dec 2026", "09:18:46", "GMT", 1};
const std::string kStored =
    Section("g1", "T [1]", kEncodedBody, "Sat, 05 Dec 2026", "09:18:46", "GMT", "0");

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Lets a test act while LoadInbox runs window events.
class ScriptedClock : public Services::IClock {
 public:
  void Sleep(int) override {}
  void ProcessEvents() override {
    ++rounds;
    if (duringEvents) duringEvents();
  }
  std::function<void()> duringEvents;
  int rounds = 0;
};

}  // namespace

TEST_F(InboxTest, FirstMessageOfANewSourceIsStoredByteForByte) {
  // The exists test comes first and makes the folder; adding then writes the file.
  EXPECT_FALSE(Act(InboxAction::Exists, "g1"));
  EXPECT_TRUE(fs::is_directory(InboxFolder()));
  EXPECT_EQ(InboxBytes(), "<missing>");

  CurrentItem = kItem;
  EXPECT_TRUE(AddInboxItem());
  EXPECT_EQ(InboxBytes(), kStored);

  CurrentItem = {"g2", "Second", "", "", "", "", 0};
  EXPECT_TRUE(AddInboxItem());
  EXPECT_EQ(InboxBytes(), kStored + Section("g2", "Second"));
}

TEST_F(InboxTest, CommandsFindTheGuidExactlyAndChangeOnlyTheirMessage) {
  WriteInbox(kStored + Section("g2", "Second"));
  EXPECT_TRUE(Act(InboxAction::Exists, "g1"));
  for (const std::string other : {"G1", "g", ""}) {
    EXPECT_FALSE(Act(InboxAction::Exists, other)) << other;
    EXPECT_FALSE(Act(InboxAction::MarkRead, other)) << other;
  }
  for (int code : {0, 6}) {
    CurrentItem.guid = "g1";
    EXPECT_FALSE(ManageInboxItem(code)) << code;
  }
  EXPECT_EQ(InboxBytes(), kStored + Section("g2", "Second"));

  EXPECT_TRUE(Act(InboxAction::MarkRead, "g1"));
  EXPECT_EQ(InboxBytes(),
            Section("g1", "T [1]", kEncodedBody, "Sat, 05 Dec 2026", "09:18:46", "GMT", "1") +
                Section("g2", "Second"));
  LoadInbox(SourceTree());
  EXPECT_EQ(Messages(m_tree, kSourceID),
            std::vector<Shown>({{"T [1]", "g1", 3, false}, {"Second", "g2", 2, true}}));
  EXPECT_TRUE(Act(InboxAction::MarkUnread, "g1"));
  LoadInbox(m_tree);
  EXPECT_EQ(Messages(m_tree, kSourceID).front(), (Shown{"T [1]", "g1", 2, true}));

  EXPECT_TRUE(Act(InboxAction::Delete, "g1"));
  EXPECT_EQ(InboxBytes(), Section("g2", "Second"));
  EXPECT_FALSE(Act(InboxAction::Exists, "g1"));
}

TEST_F(InboxTest, LoadGivesThePlainDescriptionAndASafeReadFlag) {
  WriteInbox(kStored + Section("g2", "Two", "", "", "", "", "1") +
             Section("g3", "Three", "", "", "", "", "yes") +
             Section("g4", "Four", "", "", "", "", "2"));
  CurrentItem = {};
  EXPECT_TRUE(Act(InboxAction::Load, "g1"));
  EXPECT_EQ(CurrentItem,
            (InboxItem{"g1", "T [1]", "a(b)c\r\nd", "Sat, 05 Dec 2026", "09:18:46", "GMT", 0}));

  const std::vector<std::pair<std::string, std::int16_t>> flags = {{"g2", 1}, {"g3", 0}, {"g4", 0}};
  for (const auto& [guid, read] : flags) {
    CurrentItem.read = -7;
    EXPECT_TRUE(Act(InboxAction::Load, guid));
    EXPECT_EQ(CurrentItem.read, read) << guid;
  }

  CurrentItem = kItem;
  CurrentItem.guid = "nope";
  EXPECT_FALSE(ManageInboxItem(static_cast<int>(InboxAction::Load)));
  EXPECT_EQ(CurrentItem.title, kItem.title);
}

TEST_F(InboxTest, CaseVariantGuidOrReadOnlyFileIsNotStored) {
  const std::string original = Section("g1", "Original", "", "", "", "", "1");
  WriteInbox(original);
  CurrentItem = kItem;
  CurrentItem.guid = "G1";
  EXPECT_FALSE(AddInboxItem());
  EXPECT_EQ(InboxBytes(), original);

  fs::permissions(InboxPath(), fs::perms::owner_read | fs::perms::group_read);
  CurrentItem.guid = "g2";
  EXPECT_FALSE(AddInboxItem());
  EXPECT_FALSE(Act(InboxAction::MarkUnread, "g1"));
  EXPECT_EQ(InboxBytes(), original);
}

TEST_F(InboxTest, UnusableSourceIdCreatesAndTouchesNothing) {
  const std::string outside = fs::path(mAppFunctions::DataPath).parent_path().string();
  const std::set<std::string> dataBefore = Entries(mAppFunctions::DataPath);
  const std::set<std::string> outsideBefore = Entries(outside);
  std::string lowerCase = kSourceID;
  for (char& c : lowerCase) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  for (const std::string& id : {std::string(), std::string("../x"), std::string(" "), lowerCase,
                                kSourceID + "/..", std::string("..")}) {
    SourceID = id;
    EXPECT_FALSE(Act(InboxAction::Exists, "g1")) << id;
    CurrentItem = kItem;
    EXPECT_FALSE(AddInboxItem()) << id;
    TreeControl tree("tvMessages");
    tree.Add(id.empty() ? "k" : id, "Source", MessageTreeImage::Source);
    tree.AddChild(id.empty() ? "k" : id, "", "kept", MessageTreeImage::Read);
    LoadInbox(tree);
    EXPECT_EQ(tree.Count(), 2u) << id;
  }
  EXPECT_EQ(Entries(mAppFunctions::DataPath), dataBefore);
  EXPECT_EQ(Entries(outside), outsideBefore);
  EXPECT_EQ(platform.clock.eventRounds, 0);

  // Without a data folder the paths would be relative to the working folder.
  SourceID = kSourceID;
  mAppFunctions::DataPath.clear();
  EXPECT_FALSE(Act(InboxAction::Exists, "g1"));
  EXPECT_FALSE(fs::exists(kSourceID));
}

TEST_F(InboxTest, MessagesShowNewestDayFirstAndFileOrderWithinADay) {
  WriteInbox(Section("c", "Third", "", "Thu, 03 Dec 2026") +
             Section("e1", "Fifth", "", "Sat, 05 Dec 2026", "", "", "1") +
             Section("d", "Fourth", "", "Fri, 04 Dec 2026", "", "", "x") +
             Section("u", "Undated", "", "someday") +
             Section("e2", "Fifth again", "", "05 Dec 2026") +
             Section("old", "Old", "", "Fri, 31 Dec 1999"));
  LoadInbox(SourceTree());
  EXPECT_EQ(Messages(m_tree, kSourceID), std::vector<Shown>({{"Fifth", "e1", 3, false},
                                                             {"Fifth again", "e2", 2, true},
                                                             {"Fourth", "d", 2, true},
                                                             {"Third", "c", 2, true},
                                                             {"Old", "old", 2, true},
                                                             {"Undated", "u", 2, true}}));
}

TEST_F(InboxTest, LoadTouchesOnlyItsOwnSourceNode) {
  // No node for the source: no effect, not even the folder.
  TreeControl& tree = SourceTree();
  SourceID = kOtherSourceID;
  LoadInbox(tree);
  EXPECT_FALSE(fs::exists(InboxFolder()));

  // A missing folder is made and the node keeps what it had.
  SourceID = kSourceID;
  tree.Find(kSourceID)->SetExpanded(true);
  tree.AddChild(kSourceID, "", "kept", MessageTreeImage::Unread);
  LoadInbox(tree);
  EXPECT_TRUE(fs::is_directory(InboxFolder()));
  EXPECT_EQ(Messages(tree, kSourceID), std::vector<Shown>({{"kept", "", 2, false}}));

  // Loading twice gives the same nodes, under a fresh node with the source's key, text and tag.
  WriteInbox(kStored + Section("g2", "Second", "", "Sun, 06 Dec 2026"));
  tree.Add(kOtherSourceID, "Other", MessageTreeImage::Source);
  LoadInbox(tree);
  const std::vector<Shown> first = Messages(tree, kSourceID);
  LoadInbox(tree);
  EXPECT_EQ(Messages(tree, kSourceID), first);
  EXPECT_EQ(first.size(), 2u);
  EXPECT_EQ(tree.Count(), 4u);
  const TreeControl::Node* source = tree.Find(kSourceID);
  EXPECT_EQ(source->Text() + " " + source->Tag(), "Letters http://h/feed");
  EXPECT_EQ(source->SelectedImage(), MessageTreeImage::Source);
  EXPECT_FALSE(source->Expanded());
  EXPECT_EQ(tree.TopLevelAt(0)->Text(), "Letters");
  EXPECT_EQ(platform.clock.eventRounds, 2);
}

TEST_F(InboxTest, TreeChangedWhileEventsRunIsLeftConsistent) {
  WriteInbox(kStored);
  ScriptedClock clock;
  Services::Current().clock = &clock;
  TreeControl& tree = SourceTree();

  // Another source made current meanwhile: the messages still go under the one being loaded.
  clock.duringEvents = [] { SourceID = kOtherSourceID; };
  LoadInbox(tree);
  EXPECT_EQ(Messages(tree, kSourceID).size(), 1u);

  // The tree rebuilt without the source meanwhile: nothing is added anywhere.
  SourceID = kSourceID;
  clock.duringEvents = [&tree] { tree.Clear(); };
  LoadInbox(tree);
  EXPECT_EQ(tree.Count(), 0u);
  EXPECT_EQ(clock.rounds, 2);
}

TEST_F(InboxTest, ResetWithoutTheSourceNodeChangesNothing) {
  TreeControl& tree = SourceTree();
  tree.AddChild(kSourceID, "", "m", MessageTreeImage::Unread);
  SourceID = kOtherSourceID;
  ResetSourceNode(tree);
  EXPECT_EQ(tree.Count(), 2u);
  SourceID = kSourceID;
  ResetSourceNode(tree);
  EXPECT_EQ(tree.Count(), 1u);
}

TEST(InboxDayNumber, CountsDaysFromTheStartOf2000) {
  const std::vector<std::pair<std::string, std::optional<std::int32_t>>> cases = {
      {"Sat, 05 Dec 2026", 9835},
      {"05 Dec 2026", 9835},
      {"Sat, 5 dec 2026", 9835},
      {"Sat, 01 Jan 2000", 0},
      {"Fri, 31 Dec 1999", -1},
      {"Thu, 09 Feb 06", 2231},
      {"Fri, 09 Feb 96", -1422},
      {"Thu, 09 February 2006", 2231},
      {"Thu,\t 09  Feb\t2006 ", 2231},
      {"Thu, 29 Feb 2007", std::nullopt},
      {"Thu, 32 Jan 2007", std::nullopt},
      {"Sat, 05 Dez 2026", std::nullopt},
      {"Sat, 05 Dec", std::nullopt},
      {"Sat, 005 Dec 2026", std::nullopt},
      {"2004-01-01T19:48:21Z", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, day] : cases) EXPECT_EQ(DayNumber(text), day) << text;
}
