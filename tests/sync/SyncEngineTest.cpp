// Replicas (data folders) syncing through one folder: what the user does on one shows on the
// others, whatever the order, the clocks or a copied data folder.
#include "sync/SyncEngine.h"

#include "config/mSettings.h"
#include "core/mAppFunctions.h"
#include "inbox/SourceState.h"
#include "inbox/mInbox.h"
#include "subscriptions/Opml.h"
#include "subscriptions/SubscriptionChecks.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <filesystem>
#include <memory>
#include <random>

using namespace Sync;
using TestSupport::ReadAll;
namespace fs = std::filesystem;

namespace {

const std::string kLetters = "http://news.quillpost.test/letters";
const std::string kNotes = "http://news.quillpost.test/notes";
const std::string kGarden = "http://news.quillpost.test/garden";
constexpr std::int64_t kMinute = 60'000;

// Identities must never repeat, which the fakes' counter would after 256 bytes.
class TrueRandom : public Services::IRandom {
 public:
  bool Fill(std::uint8_t* bytes, std::size_t count) override {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(m_random());
    return true;
  }

 private:
  std::mt19937_64 m_random{std::random_device{}()};
};

struct Installation {
  std::string appData, program;
};

class SyncEngineTest : public TestData::DataFolderTest {
 protected:
  SyncEngineTest() {
    Services::Current().random = &m_random;
    fs::create_directories(platform.root + "/sync");
  }

  Installation& Make(const std::string& name) {
    auto& r = m_replicas.emplace_back(std::make_unique<Installation>());
    r->appData = platform.root + "/" + name + "/appdata";
    r->program = platform.root + "/" + name + "/program";
    fs::create_directories(r->appData);
    fs::create_directories(r->program);
    return *r;
  }
  void Use(const Installation& r) {
    m_engine.reset();
    platform.environment.appData = r.appData;
    platform.environment.programFolder = r.program;
    mAppFunctions::DataPath.clear();
    mAppFunctions::InitializeDataFolder();
  }
  // The replica's reader starting: sync turned on the first time, resumed later.
  Engine& On(Installation& r) {
    Use(r);
    m_engine = std::make_unique<Engine>();
    mSettings::LoadSyncSettings();
    report =
        mSettings::SyncFolder.empty() ? m_engine->SetFolder(Folder()).report : m_engine->Start();
    return *m_engine;
  }
  std::string Folder() const { return platform.root + "/sync"; }

  std::string Id(const std::string& link) {
    std::vector<mSubscriptions::MessageSource> sources;
    mSubscriptions::ReadSources(sources);
    for (const auto& s : sources)
      if (s.Link == link) return s.ID;
    return {};
  }
  bool Act(const std::string& link, const std::string& guid, mInbox::InboxAction action) {
    mInbox::SourceID = Id(link);
    mInbox::CurrentItem = {};
    mInbox::CurrentItem.guid = guid;
    return mInbox::ManageInboxItem(static_cast<int>(action));
  }
  int ReadOf(const std::string& link, const std::string& guid) {
    return StoredRead(Id(link), guid);
  }
  std::size_t Store(const std::string& link, const std::vector<std::string>& guids) {
    std::vector<mInbox::InboxItem> items;
    for (const auto& g : guids) items.push_back({g, "T " + g, "D", "Sat, 05 Dec 2026", "", "", 0});
    return mInbox::AddNewInboxItems(Id(link), items).value_or(0);
  }
  // The action lines of the replica's log in the folder.
  std::vector<std::string> LogActions(const std::string& machine) {
    std::vector<std::string> lines;
    std::istringstream in(ReadAll(Folder() + "/" + LogName(machine)));
    for (std::string line; std::getline(in, line);)
      if (line.size() > 1 && line[1] == '\t' && line[0] != 'S') lines.push_back(line.substr(0, 1));
    return lines;
  }

  // Before the engine: its last act may be a write that needs random bytes.
  TrueRandom m_random;
  Report report;
  std::unique_ptr<Engine> m_engine;
  std::vector<std::unique_ptr<Installation>> m_replicas;
  using A = mInbox::InboxAction;
};

}  // namespace

TEST_F(SyncEngineTest, FolderIsCheckedAndKeptInTheSettings) {
  Installation& a = Make("a");
  Use(a);
  const std::string data = mAppFunctions::DataPath;
  fs::create_directories(data + "/inner");
  TestSupport::WriteAll(platform.root + "/file", "x");
  fs::create_directories(platform.root + "/readonly");
  platform.environment.readOnlyFolders.insert(platform.root + "/readonly");
  const struct {
    std::string folder, refusal;
  } rows[] = {
      {"sync", "The sync folder must be given as a full path: sync"},
      {platform.root + "/missing", platform.root + "/missing is not a folder."},
      {platform.root + "/file", platform.root + "/file is not a folder."},
      {platform.root + "/readonly", "Quillpost cannot write in " + platform.root + "/readonly."},
      {data, "The sync folder must not lie inside Quillpost's data folder (" + data + ")."},
      {data + "/inner/../inner",
       "The sync folder must not lie inside Quillpost's data folder (" + data + ")."},
      {a.appData, "The sync folder must not hold Quillpost's data folder (" + data +
                      "): choose a folder of its own for sync, never the data folder itself."},
  };
  for (const auto& row : rows)
    EXPECT_EQ(Engine::FolderRefusal(row.folder), row.refusal) << row.folder;

  mSettings::SchedulerInterval = 30;
  ASSERT_TRUE(mSettings::SaveSchedulerSettings());
  const std::string settings = ReadAll(mSettings::SettingsFile());
  Engine engine;
  EXPECT_EQ(engine.SetFolder("sync").refusal, rows[0].refusal);
  EXPECT_FALSE(engine.IsOn());
  EXPECT_EQ(engine.SetFolder(Folder()).refusal, "");
  EXPECT_EQ(ReadAll(mSettings::SettingsFile()), settings + "[sync]\r\nfolder=" + Folder() + "\r\n");
  EXPECT_TRUE(fs::exists(Folder() + "/" + SnapshotName(engine.Machine())));
  EXPECT_EQ(engine.SetFolder("").refusal, "");
  EXPECT_FALSE(engine.IsOn());
  EXPECT_EQ(ReadAll(mSettings::SettingsFile()), settings);
  EXPECT_TRUE(fs::exists(Folder() + "/" + SnapshotName(engine.Machine())));  // files stay
}

// Two long-used installations: subscriptions united, what was read on either stays read, and a
// mark for a message one side has not fetched yet is applied when it arrives.
TEST_F(SyncEngineTest, TwoInstallationsConverge) {
  Installation& a = Make("a");
  Installation& b = Make("b");
  Use(a);
  AddSource("Letters", kLetters, {{"g1", "One", {}, true}, {"g2", "Two"}, {"g3", "Three"}});
  AddSource("Notes", kNotes, {{"n1", "Note", {}, true}});
  Use(b);
  AddSource("Letters at B", kLetters, {{"g1", "One"}, {"g2", "Two", {}, true}, {"g3", "Three"}});
  AddSource("Garden", kGarden, {{"k1", "Kale", {}, true}});
  On(a);
  On(b);
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters at B", "Garden", "Notes"}));
  EXPECT_EQ(Store(kNotes, {"n1", "n2"}), 2u);
  On(a);
  EXPECT_TRUE(report.subscriptionsChanged);
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Notes", "Garden"}));
  EXPECT_EQ(Store(kGarden, {"k1"}), 1u);
  for (Installation* r : {&a, &b}) {
    On(*r);
    EXPECT_EQ(
        (std::vector<int>{ReadOf(kLetters, "g1"), ReadOf(kLetters, "g2"), ReadOf(kLetters, "g3")}),
        (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(ReadOf(kNotes, "n1"), 1);
    EXPECT_EQ(ReadOf(kGarden, "k1"), 1);
  }
  EXPECT_EQ(ReadOf(kNotes, "n2"), 0);
}

TEST_F(SyncEngineTest, WhatTheUserDoesTravelsOnceAndIsNotEchoed) {
  Installation& a = Make("a");
  Installation& b = Make("b");
  for (Installation* r : {&a, &b}) {
    Use(*r);
    AddSource("Letters", kLetters, {{"g1", "One"}, {"g2", "Two", {}, true}, {"]g3[", "Three"}});
    AddSource("Notes", kNotes);
    On(*r);
  }
  On(a);
  ASSERT_TRUE(Act(kLetters, "g1", A::MarkRead));
  ASSERT_TRUE(Act(kLetters, "g2", A::MarkUnread));
  ASSERT_TRUE(Act(kLetters, "]g3[", A::Delete));
  ASSERT_TRUE(mSubscriptions::AddSource("Garden", kGarden));
  mSubscriptions::CurrentSource = {"Notes", kNotes, Id(kNotes)};
  mSubscriptions::EditedSource = {"Kitchen Notes", kNotes, Id(kNotes)};
  ASSERT_TRUE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Update));
  EXPECT_EQ(Opml::Import({{"Night Sky", "http://news.quillpost.test/night"}}).added.size(), 1u);
  EXPECT_EQ(LogActions(m_engine->Machine()),
            (std::vector<std::string>{"R", "U", "D", "A", "T", "A"}));

  Engine& engine = On(b);
  EXPECT_TRUE(report.subscriptionsChanged);
  EXPECT_EQ(report.inboxesChanged, std::set<std::string>{Id(kLetters)});
  EXPECT_EQ(ReadOf(kLetters, "g1"), 1);
  EXPECT_EQ(ReadOf(kLetters, "g2"), 0);
  EXPECT_EQ(ReadOf(kLetters, "]g3["), -1);
  EXPECT_EQ(SourceState::Load(Id(kLetters)).deleted.size(), 1u);  // a check does not bring it back
  EXPECT_EQ(StoredTitles(),
            (std::vector<std::string>{"Letters", "Kitchen Notes", "Garden", "Night Sky"}));
  EXPECT_EQ(LogActions(engine.Machine()), std::vector<std::string>{});
  EXPECT_EQ(report.lines, std::vector<std::string>{});

  // Unsubscribing travels with the inbox.
  const std::string garden = Id(kGarden);
  mSubscriptions::CurrentSource = {"Garden", kGarden, garden};
  ASSERT_TRUE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete));
  On(a);
  EXPECT_EQ(Id(kGarden), "");
  EXPECT_FALSE(fs::exists(mAppFunctions::DataPath + "/" + garden));
  EXPECT_EQ(report.ExitStatus(), 0);

  // A third machine's log with a line the subscribe dialog would refuse: that line only.
  const std::string third(32, 'c');
  TestSupport::WriteAll(Folder() + "/" + LogName(third),
                        HeaderLine({FileType::Log, third, "0123456789abcdef", {}}) +
                            "A\t1796000900000\thttp://example.test/evil\tEvil\n"
                            "R\t1796000900001\t" +
                            kLetters + "\tg2\n");
  Engine& merging = *m_engine;
  report = merging.Merge();
  EXPECT_EQ(report.lines, std::vector<std::string>{"Sync: " + LogName(third) +
                                                   ": line 2 refused: the link fails the subscribe "
                                                   "checks: http://example.test/evil"});
  EXPECT_EQ(report.ExitStatus(), 1);
  EXPECT_EQ(ReadOf(kLetters, "g2"), 1);
}

TEST_F(SyncEngineTest, MarksWaitForTheirMessagesForThirtyDays) {
  Installation& a = Make("a");
  Installation& b = Make("b");
  Use(a);
  AddSource("Letters", kLetters, {{"late1", "1"}, {"late2", "2"}, {"late3", "3"}});
  On(a);
  Use(b);
  AddSource("Letters", kLetters);
  On(b);
  On(a);
  Act(kLetters, "late1", A::MarkRead);
  Act(kLetters, "late2", A::Delete);
  Act(kLetters, "late3", A::MarkRead);
  On(b);
  EXPECT_EQ(Store(kLetters, {"late1", "late2"}), 1u);
  EXPECT_EQ(ReadOf(kLetters, "late1"), 1);
  EXPECT_EQ(ReadOf(kLetters, "late2"), -1);
  platform.clock.nowMs += 31 * 24 * 60 * kMinute;
  EXPECT_EQ(Store(kLetters, {"late3"}), 1u);
  EXPECT_EQ(ReadOf(kLetters, "late3"), 0);
}

// B's clock runs ten minutes behind A's: B's later unread still wins, on both.
TEST_F(SyncEngineTest, ALaterActionWinsDespiteSkewedClocks) {
  Installation& a = Make("a");
  Installation& b = Make("b");
  for (Installation* r : {&a, &b}) {
    Use(*r);
    AddSource("Letters", kLetters, {{"g1", "One"}});
    On(*r);
  }
  platform.clock.nowMs += 10 * kMinute;
  On(a);
  Act(kLetters, "g1", A::MarkRead);
  platform.clock.nowMs -= 10 * kMinute - 1000;
  On(b);
  EXPECT_EQ(ReadOf(kLetters, "g1"), 1);
  Act(kLetters, "g1", A::MarkUnread);
  On(a);
  EXPECT_EQ(ReadOf(kLetters, "g1"), 0);
  On(b);
  EXPECT_EQ(ReadOf(kLetters, "g1"), 0);
}

TEST_F(SyncEngineTest, ReadUpToNowIsOneActionAndSparesLaterArrivals) {
  Installation& a = Make("a");
  Installation& b = Make("b");
  for (Installation* r : {&a, &b}) {
    Use(*r);
    AddSource("Letters", kLetters, {{"g1", "One"}, {"g2", "Two"}});
    AddSource("Notes", kNotes, {{"n1", "Note"}});
    On(*r);
  }
  // They arrive at B a minute after A (whose clock is behind) marks all read.
  platform.clock.nowMs += kMinute;
  On(b);
  EXPECT_EQ(Store(kLetters, {"g3"}), 1u);
  EXPECT_EQ(Store(kNotes, {"n2"}), 1u);
  platform.clock.nowMs -= kMinute;
  Engine& engine = On(a);
  {
    const auto scope = Sync::ReadingUpToNow(Id(kLetters));
    Act(kLetters, "g1", A::MarkRead);
    Act(kLetters, "g2", A::MarkRead);
  }
  {
    const auto all = Sync::ReadingUpToNow("");
    Act(kNotes, "n1", A::MarkRead);
  }
  EXPECT_EQ(LogActions(engine.Machine()), (std::vector<std::string>{"P", "Q"}));
  On(b);
  EXPECT_EQ((std::vector<int>{ReadOf(kLetters, "g1"), ReadOf(kLetters, "g2"),
                              ReadOf(kLetters, "g3"), ReadOf(kNotes, "n1"), ReadOf(kNotes, "n2")}),
            (std::vector<int>{1, 1, 0, 1, 0}));
}

TEST_F(SyncEngineTest, TheLaterOfRemoveAndReAddWins) {
  Installation& a = Make("a");
  Installation& b = Make("b");
  for (Installation* r : {&a, &b}) {
    Use(*r);
    AddSource("Letters", kLetters, {{"g1", "One", {}, true}});
    On(*r);
  }
  On(a);
  mSubscriptions::CurrentSource = {"Letters", kLetters, Id(kLetters)};
  mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete);
  platform.clock.nowMs += kMinute;
  On(b);
  EXPECT_EQ(Id(kLetters), "");
  ASSERT_TRUE(mSubscriptions::AddSource("Letters again", kLetters));
  On(a);
  EXPECT_EQ(StoredTitles(), std::vector<std::string>{"Letters again"});
  // What was marked before the removal does not come back with the source.
  EXPECT_EQ(Store(kLetters, {"g1"}), 1u);
  EXPECT_EQ(ReadOf(kLetters, "g1"), 0);
}

// A data folder copied to a second machine: both write as one identity until one of them finds
// the other's session in the files; it then goes on as another, and no action of either is lost,
// even when the sync engine hands over the copy's log in place of the original's.
TEST_F(SyncEngineTest, ACopiedDataFolderEndsWithTwoIdentitiesAndLosesNothing) {
  Installation& a = Make("a");
  Installation& b = Make("b");
  Installation& copy = Make("copy");
  for (Installation* r : {&a, &b}) {
    Use(*r);
    AddSource("Letters", kLetters, {{"g1", "1"}, {"g2", "2"}, {"g3", "3"}});
    On(*r);
  }
  const std::string original = On(a).Machine();
  Act(kLetters, "g1", A::MarkRead);
  m_engine.reset();
  fs::copy(a.appData, copy.appData,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  fs::copy(a.program, copy.program,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const std::string log = Folder() + "/" + LogName(original);
  const std::string before = ReadAll(log);
  On(a);
  Act(kLetters, "g2", A::MarkRead);
  TestSupport::WriteAll(log, before);  // the copy's older log arrived over the original's
  EXPECT_EQ(On(copy).Machine(), original);
  Act(kLetters, "g3", A::MarkRead);
  const std::string renamed = On(a).Machine();
  EXPECT_NE(renamed, original);
  EXPECT_EQ(On(copy).Machine(), original);
  // A fresh data folder with the same settings file is a replica of its own.
  Installation& settingsOnly = Make("settings-only");
  fs::copy(a.program, settingsOnly.program,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const std::string third = On(settingsOnly).Machine();
  EXPECT_TRUE(third != original && third != renamed);
  for (Installation* r : {&a, &b, &copy}) {
    On(*r);
    EXPECT_EQ(
        (std::vector<int>{ReadOf(kLetters, "g1"), ReadOf(kLetters, "g2"), ReadOf(kLetters, "g3")}),
        (std::vector<int>{1, 1, 1}));
  }
}

// The log is replaced by a snapshot when it grows: a reader that read the log before and one that
// reads only the snapshot after end in the same state, and the files stay small.
TEST_F(SyncEngineTest, CompactionChangesNothingAReaderSees) {
  Installation& a = Make("a");
  Installation& b = Make("b");
  Installation& late = Make("late");
  for (Installation* r : {&a, &b, &late}) {
    Use(*r);
    AddSource("Letters", kLetters);
  }
  On(a);
  On(b);
  const auto act = [this](int from, int to) {
    Engine& engine = On(*m_replicas[0]);
    const std::string id = Id(kLetters);
    for (int i = from; i < to; ++i) engine.ReadChanged(id, "guid-" + std::to_string(i), i % 3 != 0);
  };
  act(0, 9000);
  const std::string machine = m_engine->Machine();
  On(b);
  const std::string log = Folder() + "/" + LogName(machine);
  const auto logBytes = fs::file_size(log);
  act(9000, 18000);  // past the limit: the log starts again
  EXPECT_LT(fs::file_size(log), logBytes);
  On(b);
  // What the marks of the letters' messages say (each reader also holds its own subscribe).
  const auto seen = [&] {
    const SourceEntry& letters = *m_engine->Merged().Source(kLetters);
    std::map<std::string, Verdict> verdicts;
    for (const auto& [guid, mark] : letters.marks)
      verdicts[guid] = m_engine->Merged().Message(letters, guid, std::nullopt).verdict;
    return verdicts;
  };
  const auto seenByB = seen();
  On(late);
  EXPECT_TRUE(seen() == seenByB);
  EXPECT_EQ(m_engine->Merged().MarkCount(), 18000u);
  EXPECT_LT(fs::file_size(Folder() + "/" + SnapshotName(machine)) + fs::file_size(log),
            18000u * 80);
}

TEST_F(SyncEngineTest, SavedSearchesTravelByNameWithoutLetterCase) {
  using Archive::Rule;
  using Searches = std::vector<Archive::SavedSearch>;
  Installation& a = Make("a");
  Installation& b = Make("b");
  Use(a);
  ASSERT_TRUE(Archive::SaveSavedSearches({{"Garden", "kale", Rule::MarkRead}}));
  Use(b);
  ASSERT_TRUE(Archive::SaveSavedSearches({{"Mine", "x", Rule::None}}));
  On(a);
  // Kept through the store, as the search pane's dialogs keep them.
  ASSERT_TRUE(Archive::SaveSavedSearches({{"garden", "kale -beet", Rule::Delete}}));
  On(b);
  EXPECT_TRUE(report.searchesChanged);
  EXPECT_EQ(Archive::LoadSavedSearches(),
            (Searches{{"Mine", "x", Rule::None}, {"garden", "kale -beet", Rule::Delete}}));
  On(a);
  EXPECT_EQ(Archive::LoadSavedSearches(),
            (Searches{{"garden", "kale -beet", Rule::Delete}, {"Mine", "x", Rule::None}}));
  ASSERT_TRUE(Archive::SaveSavedSearches({{"Mine", "x", Rule::None}}));
  On(b);
  EXPECT_EQ(Archive::LoadSavedSearches(), (Searches{{"Mine", "x", Rule::None}}));
}

TEST_F(SyncEngineTest, OnlyOthersFilesConcernAMerge) {
  Installation& a = Make("a");
  Engine& engine = On(a);
  const std::string other = std::string(32, 'b'), mine = engine.Machine();
  const struct {
    std::string path;
    bool concerns;
  } rows[] = {
      {Folder() + "/" + LogName(other), true},
      {Folder() + "//" + SnapshotName(other), true},
      {Folder() + "/quillpost-" + mine + ".sync-conflict-20261201-101010-ABCDEFG.log", true},
      {Folder() + "/" + LogName(mine), false},  // as this replica wrote it
      {Folder() + "/.syncthing." + LogName(other) + ".tmp", false},
      {Folder() + "/notes.txt", false},
      {platform.root + "/" + LogName(other), false},
  };
  for (const auto& row : rows) EXPECT_EQ(engine.Concerns(row.path), row.concerns) << row.path;
  TestSupport::WriteAll(Folder() + "/" + LogName(mine), "changed by someone else\n");
  EXPECT_TRUE(engine.Concerns(Folder() + "/" + LogName(mine)));
  // ... and the next merge writes this replica's files anew.
  engine.Merge();
  EXPECT_FALSE(engine.Concerns(Folder() + "/" + LogName(mine)));
  EXPECT_EQ(engine.SetFolder("").refusal, "");
  EXPECT_FALSE(engine.Concerns(Folder() + "/" + LogName(other)));
  EXPECT_EQ(engine.Merge().ExitStatus(), 2);
}
