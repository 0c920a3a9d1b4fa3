// The starts of a run: the desktop's and the headless check's. The real program's lock is
// tests/process's, its switches and standard error tests/demo's.
#include "config/mSettings.h"
#include "core/mAppFunctions.h"
#include "entry/HeadlessCheck.h"
#include "entry/SyncCommand.h"
#include "entry/mMain.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <tuple>

using TestSupport::FakePlatform;
namespace fs = std::filesystem;

namespace {

// What a start did: its outcome, the titles of the boxes shown, whether the temporary an earlier
// kill left is still there, how often the reader was asked and how long the start waited. The
// lock comes free at try `freeAt` (0: never); a reader holds it until then (answering, or taking
// the connection and saying nothing whole), else another headless check does.
enum Holder { Check, Reader, SilentReader };
std::string Start(bool desktop, int freeAt, Holder holder) {
  FakePlatform platform;
  platform.instanceLock.busyTries = freeAt;
  platform.instanceLock.available = freeAt > 0;
  mAppFunctions::InitializeDataFolder();
  const std::string temp = mAppFunctions::DataPath + "/subscriptions.dat.qptmp-abcdefghij";
  TestSupport::WriteAll(temp, "x");
  int windows = 0, asked = 0;
  std::ostringstream out;
  std::string outcome;
  if (desktop) {
    const auto ask = [&] {
      ++asked;
      return holder == Check ? mMain::Reader::None
                             : holder == Reader ? mMain::Reader::Answered : mMain::Reader::Silent;
    };
    const mMain::Start start = mMain::Main([&] { ++windows; }, ask);
    outcome = start == mMain::Start::Run ? "started" : start == mMain::Start::Done ? "done" : "refused";
    outcome += ", " + std::to_string(windows) + " window";
  } else {
    // The reader's answer: its summary, a failure box and status 1; or the same cut short.
    const auto ask = [&](const std::string& request) -> std::optional<std::string> {
      ++asked;
      if (holder == Check || request != ForwardedCheck::kCheckRequest) return std::nullopt;
      const std::string reply =
          "summary\tYou have 1 New Messages \\r\\n in One.\nbox\t48\tError!\tbad\nexit\t1\n";
      return holder == Reader ? reply : reply.substr(0, 20);
    };
    outcome = "status " + std::to_string(HeadlessCheck::Run(out, ask));
    outcome += out.str();
  }
  for (const auto& box : platform.messageBox.shown)
    outcome += ", box " + std::to_string(box.style) + " " + box.title;
  EXPECT_EQ(platform.instanceLock.asked.at(0), mAppFunctions::DataPath + "/QUILLPOST2710INSTANCE.lock");
  outcome += fs::exists(temp) ? ", temporary kept" : "";
  if (holder != Check) outcome += ", asked " + std::to_string(asked);
  return outcome + ", waited " + std::to_string(platform.clock.sleptMs);
}

class HeadlessCheckTest : public TestData::DataFolderTest {
 protected:
  // The exit status, the summary printed and the titles of the boxes shown since the last run.
  std::string Run() {
    std::ostringstream out;
    const int status = HeadlessCheck::Run(out);
    std::string outcome = "status " + std::to_string(status) + ": " + out.str();
    for (const auto& box : platform.messageBox.shown) outcome += "| box " + box.title;
    platform.messageBox.shown.clear();
    return outcome;
  }
};

}  // namespace

// Catches a start that cleans up without the lock (a temporary may then be another instance's
// write in progress), a check that writes beside a running reader or asks it twice (two runs), a
// second start that refuses a reader which answered (instead of leaving it to show its window),
// and a reader that refuses to start while a headless check holds the data for a moment.
TEST(Entry, OnlyTheFirstInstanceStartsAndRemovesTemporaries) {
  const std::string refusal = ", box 48 Previous Instance of application is still Running!";
  const std::string kept = ", temporary kept", busy = ", box 48 Quillpost is busy" + kept;
  const std::tuple<bool, int, Holder, std::string> rows[] = {
      {true, 1, Check, "started, 1 window, waited 0"},
      {true, 31, Check, "started, 1 window, waited 3000"},
      {true, 0, Reader, "done, 0 window" + kept + ", asked 1, waited 0"},
      {true, 0, SilentReader, "refused, 0 window" + refusal + kept + ", asked 1, waited 0"},
      {true, 0, Check, "refused, 0 window" + busy + ", waited 60000"},
      {false, 1, Check, "status 0, waited 0"},
      {false, 31, Check, "status 0, waited 3000"},
      {false, 0, Reader,
       "status 1You have 1 New Messages \n in One., box 48 Error!" + kept + ", asked 1, waited 0"},
      {false, 0, SilentReader, "status 2" + busy + ", asked 1, waited 0"},
      {false, 0, Check, "status 2" + busy + ", waited 60000"}};
  for (const auto& [desktop, freeAt, holder, expected] : rows)
    EXPECT_EQ(Start(desktop, freeAt, holder), expected) << desktop << freeAt << holder;
}

TEST_F(HeadlessCheckTest, ExitStatusSaysWhetherEverySourceWasChecked) {
  AddSource("One", "http://feeds.test/one");
  AddSource("Two", "http://feeds.test/two");
  platform.http.answers["http://feeds.test/one"] = {true, 200, TestData::FeedWithItems({"a", "b"}),
                                                    ""};
  // An unknown link fails like a refused connection.
  EXPECT_EQ(Run(), "status 1: You have 2 New Messages \n in One account.\n\n| box Error!");
  platform.http.answers["http://feeds.test/two"] = {true, 200, TestData::FeedWithItems({"c"}), ""};
  EXPECT_EQ(Run(), "status 0: You have 1 New Messages \n in Two account.\n\n");
  EXPECT_EQ(Run(), "status 0: ");
  TestSupport::WriteAll(mSubscriptions::SubscriptionFilePath(), "<sources><source");
  EXPECT_EQ(Run(), "status 2: | box Failed to load Subscription List.");
  fs::remove(mSubscriptions::SubscriptionFilePath());
  EXPECT_EQ(Run(), "status 2: | box Subscription Data File not found!");
  EXPECT_EQ(fs::exists(mSubscriptions::SubscriptionFilePath()), false);
}

// `quillpost --sync` alone and beside a reader, and a check that merges: off is an error, a
// reader's answer is printed as it came (its refusals on standard error), a cut one is an error,
// and a check with sync on leaves this data folder's snapshot in the folder.
TEST_F(HeadlessCheckTest, SyncMergesOnceAloneOrThroughTheReader) {
  const auto sync = [](std::optional<std::string> answer) {
    std::ostringstream out, err;
    const int status = SyncCommand::Run(out, err, [&](const std::string& request) {
      return request == ForwardedCheck::kSyncRequest ? answer : std::nullopt;
    });
    return std::to_string(status) + " | " + out.str() + " | " + err.str();
  };
  Sync::Report refused;
  refused.refused = 1;
  refused.lines = {"Sync: line 3 of x.log refused"};
  refused.inboxesChanged = {"A", "B"};
  const std::string reply = ForwardedCheck::WriteReply(ForwardedCheck::SyncReply(refused));
  platform.instanceLock.available = false;
  EXPECT_EQ(sync(reply),
            "1 | Merged with the sync folder: the messages of 2 sources changed.\n | "
            "Sync: line 3 of x.log refused\n");
  EXPECT_EQ(sync(reply.substr(0, 10)),
            "2 |  | " + std::string(HeadlessCheck::kNoAnswerText) + "\n");
  platform.instanceLock.available = true;
  EXPECT_EQ(sync(std::nullopt),
            "2 |  | Sync is off: no sync folder is set (Preferences, \"Sync folder\").\n");
  const std::string folder = platform.root + "/shared";
  fs::create_directories(folder);
  mSettings::SyncFolder = folder;
  ASSERT_TRUE(mSettings::SaveSyncSettings());
  AddSource("One", "http://news.quillpost.test/one", {{"g1", "Hello"}});
  EXPECT_EQ(sync(std::nullopt),
            "0 | Merged with the sync folder; nothing new from the other machines.\n | ");
  fs::remove_all(folder);
  fs::create_directories(folder);
  Run();
  bool snapshot = false;
  for (const auto& entry : fs::directory_iterator(folder))
    snapshot = snapshot || entry.path().extension() == ".snapshot";
  EXPECT_TRUE(snapshot);
}
