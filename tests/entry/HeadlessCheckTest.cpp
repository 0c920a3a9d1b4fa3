// The starts of a run: the desktop's and the headless check's. The real program's lock is
// tests/process's, its switches and standard error tests/demo's.
#include "core/mAppFunctions.h"
#include "entry/HeadlessCheck.h"
#include "entry/mMain.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using TestSupport::FakePlatform;
namespace fs = std::filesystem;

namespace {

// What a start did: its outcome, the titles of the boxes shown, and whether the temporary an
// earlier kill left is still there.
std::string Start(bool desktop, bool lockFree) {
  FakePlatform platform;
  platform.instanceLock.available = lockFree;
  mAppFunctions::InitializeDataFolder();
  const std::string temp = mAppFunctions::DataPath + "/subscriptions.dat.qptmp-abcdefghij";
  TestSupport::WriteAll(temp, "x");
  int windows = 0;
  std::ostringstream out;
  std::string outcome = desktop ? (mMain::Main([&] { ++windows; }) ? "started" : "refused")
                                : "status " + std::to_string(HeadlessCheck::Run(out));
  if (desktop) outcome += ", " + std::to_string(windows) + " window";
  for (const auto& box : platform.messageBox.shown)
    outcome += ", box " + std::to_string(box.style) + " " + box.title;
  EXPECT_EQ(platform.instanceLock.asked, std::vector<std::string>{mMain::kInstanceName});
  return outcome + (fs::exists(temp) ? ", temporary kept" : "");
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

// Catches a start that cleans up without the lock: a temporary may then be another instance's
// write in progress.
TEST(Entry, OnlyTheFirstInstanceStartsAndRemovesTemporaries) {
  const std::string refusal = ", box 48 Previous Instance of application is still Running!";
  EXPECT_EQ(Start(true, true), "started, 1 window");
  EXPECT_EQ(Start(true, false), "refused, 0 window" + refusal + ", temporary kept");
  EXPECT_EQ(Start(false, true), "status 0");
  EXPECT_EQ(Start(false, false), "status 2" + refusal + ", temporary kept");
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
