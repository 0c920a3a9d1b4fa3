#include "inbox/UnreadCounts.h"

#include "core/mAppFunctions.h"
#include "inbox/InboxEvents.h"
#include "inbox/mInbox.h"
#include "support/DataFolder.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <tuple>

using namespace mInbox;
using namespace TestData;
namespace fs = std::filesystem;

namespace {

constexpr std::chrono::seconds kWait{10};

// Letters (kSourceID) with two unread messages of three, Other (kOtherSourceID) with one read.
class UnreadCountsTest : public DataFolderTest {
 protected:
  UnreadCountsTest() {
    WriteInbox(Section("a", "A") + Section("b", "B", "", "", "", "", "1") + Section("c", "C"));
    WriteInbox(Section("o", "O", "", "", "", "", "1"), kOtherSourceID);
    EXPECT_TRUE(mAppFunctions::PrepareCacheFolder());
  }
  // A counts cache as the reader keeps it, for both sources.
  std::unique_ptr<UnreadCounts> Open(bool counting = true) {
    auto counts = std::make_unique<UnreadCounts>(mAppFunctions::DataPath, CountsCacheFile());
    counts->SetCounting(counting);
    counts->SetSources({kSourceID, kOtherSourceID});
    return counts;
  }
  std::string InboxPath(const std::string& id = kSourceID) {
    return mAppFunctions::DataPath + "/" + id + "/inbox.dat";
  }
  static std::optional<SourceCount> Count(std::size_t unread, std::size_t total) {
    return SourceCount{unread, total};
  }
};

}  // namespace

// Catches a count that differs from what the tree lists: case twins, damaged flags, no file.
TEST_F(UnreadCountsTest, CountsAsTheStoreListsMessages) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"flags", Section("r", "R", "", "", "", "", "1") + Section("x", "X", "", "", "", "", "x") +
                    Section("n", "N", "", "", "", "", "") + "[bare]\r\ntitle=t\r\n"},
      {"case twins and junk", Section("g", "G") + Section("G", "G2", "", "", "", "", "1") +
                                  "junk line\r\n[]\r\nread=1\r\n"},
      {"empty", ""}};
  SourceID = kSourceID;
  for (const auto& [name, bytes] : rows) {
    WriteInbox(bytes);
    SourceCount listed;
    const std::optional<std::vector<MessageSummary>> messages = ListMessages();
    for (const MessageSummary& message : *messages) {
      ++listed.total;
      listed.unread += message.read == 1 ? 0 : 1;
    }
    EXPECT_EQ(CountInboxFile(InboxPath()), listed) << name;
  }
  fs::remove(InboxPath());
  EXPECT_EQ(CountInboxFile(InboxPath()), SourceCount{}) << "missing";
}

// Catches counts read at every start, a cache trusted for a restored inbox (even one copied with
// its size and time kept), and damaged cache lines taken for counts.
TEST_F(UnreadCountsTest, TheCacheHoldsOnlyForTheVeryFilesItCounted) {
  {
    auto counts = Open();
    EXPECT_EQ(counts->Find(kSourceID), std::nullopt);
    ASSERT_TRUE(counts->WaitUntilCounted(kWait));
    EXPECT_EQ(std::pair(counts->Find(kSourceID), counts->Find(kOtherSourceID)),
              std::pair(Count(2, 3), Count(0, 1)));
    EXPECT_TRUE(counts->Save());
  }
  // Not counting: whatever is known comes from the cache.
  EXPECT_EQ(Open(false)->Find(kSourceID), Count(2, 3));

  // A backup put back with the same size and time, one message read in it.
  const std::string path = InboxPath();
  const auto time = fs::last_write_time(path);
  std::string bytes = TestSupport::ReadAll(path);
  bytes.replace(bytes.find("read=0"), 6, "read=1");
  TestSupport::WriteAll(path, bytes);
  fs::last_write_time(path, time);
  ASSERT_EQ(fs::file_size(path), bytes.size());
  auto counts = Open(false);
  EXPECT_EQ(std::pair(counts->Find(kSourceID), counts->Find(kOtherSourceID)),
            std::pair(std::optional<SourceCount>(), Count(0, 1)));
  counts->SetCounting(true);
  ASSERT_TRUE(counts->WaitUntilCounted(kWait));
  EXPECT_EQ(counts->Find(kSourceID), Count(1, 3));
  EXPECT_TRUE(counts->Save());
  counts.reset();

  // Damaged lines count again; the others still hold.
  std::string cache = TestSupport::ReadAll(CountsCacheFile());
  const std::size_t other = cache.find(kOtherSourceID);
  const std::size_t end = cache.find('\n', other);
  const std::vector<std::pair<std::string, bool>> edits = {
      {cache.substr(0, other) + kOtherSourceID + "\t1\t2\n" + cache.substr(end + 1), false},
      {cache.substr(0, end - 3) + "2\t1" + cache.substr(end), false},  // more unread than messages
      {"quillpost-counts 2" + cache.substr(cache.find('\n')), false},
      {cache + "garbage\n\t\t\n", true}};
  for (const auto& [text, held] : edits) {
    TestSupport::WriteAll(CountsCacheFile(), text);
    EXPECT_EQ(Open(false)->Find(kOtherSourceID).has_value(), held) << text;
  }
}

// Catches counts that lag behind the store, a deleted message whose read state is guessed, and a
// cache left by a kill (changes written, counts not saved) taken for the files as they are now.
TEST_F(UnreadCountsTest, TheStoresChangesKeepCountsCurrentAndAKillLeavesNoWrongCount) {
  auto counts = Open();
  ASSERT_TRUE(counts->WaitUntilCounted(kWait));
  std::vector<std::string> told;
  counts->SetOnChanged([&](const std::string& id) { told.push_back(id); });
  AddListener(counts.get());
  SourceID = kSourceID;
  EXPECT_EQ(AddNewInboxItems({{"d", "D", "", "", "", "", 0}, {"e", "E", "", "", "", "", 0}}), 2u);
  CurrentItem.guid = "a";
  EXPECT_TRUE(ManageInboxItem(static_cast<int>(InboxAction::MarkRead)));
  EXPECT_EQ(counts->Find(kSourceID), Count(3, 5));
  EXPECT_TRUE(counts->Save());
  CurrentItem.guid = "b";
  EXPECT_TRUE(ManageInboxItem(static_cast<int>(InboxAction::Delete)));
  EXPECT_EQ(counts->Find(kSourceID), std::nullopt);
  ASSERT_TRUE(counts->WaitUntilCounted(kWait));
  EXPECT_EQ(counts->Find(kSourceID), Count(3, 4));
  EXPECT_EQ(told, (std::vector<std::string>(4, kSourceID)));

  // Killed here: the cache on disk still has the count before the delete.
  RemoveListener(counts.get());
  counts.reset();
  counts = Open(false);
  EXPECT_EQ(counts->Find(kSourceID), std::nullopt);
  EXPECT_EQ(counts->Find(kOtherSourceID), Count(0, 1));
  counts->SourceRemoved(kOtherSourceID);
  EXPECT_EQ(counts->Find(kOtherSourceID), std::nullopt);
}

// Catches a count taken although the store changed the inbox after the worker counted it.
TEST_F(UnreadCountsTest, ACountOfAFileTheStoreChangedSinceIsCountedAgain) {
  auto counts = std::make_unique<UnreadCounts>(mAppFunctions::DataPath, std::string());
  std::promise<void> counted;
  std::atomic_flag told;
  counts->SetWake([&] {
    if (!told.test_and_set()) counted.set_value();
  });
  counts->SetSources({kSourceID});
  counted.get_future().wait();
  AddListener(counts.get());
  SourceID = kSourceID;
  EXPECT_EQ(AddNewInboxItems({{"d", "D", "", "", "", "", 0}}), 1u);
  counts->TakeCounted();
  EXPECT_EQ(counts->Find(kSourceID), std::nullopt);
  ASSERT_TRUE(counts->WaitUntilCounted(kWait));
  EXPECT_EQ(counts->Find(kSourceID), Count(3, 4));
  RemoveListener(counts.get());
}

// Catches a start that reads the inboxes or rewrites the cache although nothing changed (every
// start of the reader did), and sources added or removed later costing more than their own file.
TEST_F(UnreadCountsTest, AnUnchangedStartReadsNoInboxAndLaterSourcesCostOnlyTheirOwn) {
  {
    auto counts = Open();
    ASSERT_TRUE(counts->WaitUntilCounted(kWait));
    EXPECT_EQ(counts->FilesCounted(), 2u);
    EXPECT_TRUE(counts->Save());
  }
  const auto written = fs::last_write_time(CountsCacheFile());
  const std::string third = "33333333-3333-3333-3333-333333333333";
  WriteInbox(Section("t", "T"), third);
  auto counts = Open();
  ASSERT_TRUE(counts->WaitUntilCounted(kWait));
  EXPECT_EQ(std::pair(counts->FilesCounted(), counts->Find(kSourceID)),
            std::pair(0ul, Count(2, 3)));
  EXPECT_TRUE(counts->Save());
  EXPECT_EQ(fs::last_write_time(CountsCacheFile()), written);

  counts->AddSources({kSourceID, third});
  ASSERT_TRUE(counts->WaitUntilCounted(kWait));
  EXPECT_EQ(std::pair(counts->FilesCounted(), counts->Find(third)), std::pair(1ul, Count(1, 1)));
  counts->RemoveSource(kOtherSourceID);
  // Written by the worker; a reader that quits right after still finds it.
  counts->SaveInBackground();
  counts.reset();
  counts = Open(false);
  counts->AddSources({third});
  EXPECT_EQ(std::tuple(counts->Find(kSourceID), counts->Find(kOtherSourceID), counts->Find(third)),
            std::tuple(Count(2, 3), std::optional<SourceCount>(), Count(1, 1)));
}
