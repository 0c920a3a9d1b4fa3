#include "shell/Scheduler.h"

#include "retrieval/CheckRun.h"
#include "subscriptions/SourceTree.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kMinute = 60'000;
const std::string kLink = "http://feeds.test/one";

// One source, a tick every time the test looks; the clock is the fake's and only jumps.
class SchedulerTest : public TestData::DataFolderTest {
 protected:
  SchedulerTest() {
    AddSource("One", kLink);
    platform.http.answers[kLink] = {true, 200, TestData::FeedWithItems({"a"}), {}};
    EXPECT_EQ(mSubscriptions::LoadSubscriptions(tree), true);
  }
  // "check" when the tick ran one, "waits" when a due one waits for a box, "-" when it did
  // not, after the clock moved by the step.
  std::string Look(std::int64_t stepMs, bool boxOpen = false) {
    using enum Scheduler::TickResult;
    platform.clock.nowMs += stepMs;
    const std::size_t before = platform.http.fetched.size();
    const Scheduler::TickResult result = Scheduler::Tick(schedule, tree, boxOpen);
    const bool fetched = platform.http.fetched.size() > before;
    if (result == Waiting && !fetched) return "waits";
    return fetched ? (result == Ran ? "check" : "fetched but not Ran")
                   : (result == Ran ? "Ran without fetch" : "-");
  }
  TreeControl tree{"tvMessages"};
  Scheduler::Schedule schedule;
};

}  // namespace

TEST_F(SchedulerTest, DueChecksWaitForRunningOnesAreResetByHandSkippedOfflineAndCatchUpOnce) {
  schedule.Configure(1, platform.clock.nowMs);
  schedule.CheckAtStart();
  EXPECT_EQ(schedule.DelayMs(platform.clock.nowMs), 0);
  // A look while the check runs (the timer fires inside its event loop) starts nothing.
  std::vector<std::string> nested;
  platform.http.duringFetch = [&](const std::string&) { nested.push_back(Look(5 * kMinute)); };
  const std::vector<std::pair<std::int64_t, std::string>> steps = {
      {0, "check"},             // at start; the nested look then moved the clock on
      {30'000, "-"},            // a minute after the end of that check: not yet
      {30'000, "check"},
      {59'000, "-"},
  };
  for (const auto& [step, expected] : steps) EXPECT_EQ(Look(step), expected) << step;
  EXPECT_EQ(nested, (std::vector<std::string>{"-", "-"}));
  platform.http.duringFetch = nullptr;
  EXPECT_EQ(schedule.DelayMs(platform.clock.nowMs), 1'000);

  // A check by hand starts the interval again.
  EXPECT_EQ(mAppFunctions::CheckTrigger(tree, true), true);
  EXPECT_EQ(Look(40'000), "-");
  EXPECT_EQ(Look(20'000), "check");
  // Offline: nothing runs and the next try is an interval later, not at the next look.
  platform.network.connected = false;
  EXPECT_EQ(Look(kMinute), "-");
  platform.network.connected = true;
  EXPECT_EQ(Look(1'000), "-");
  EXPECT_EQ(Look(kMinute), "check");
  // Five hours asleep: one check catches up; the clock put back a day: an interval from now.
  EXPECT_EQ(Look(300 * kMinute), "check");
  EXPECT_EQ(Look(1'000), "-");
  EXPECT_EQ(Look(-24 * 60 * kMinute), "-");
  EXPECT_EQ(Look(kMinute), "check");
  // Due while a box is open: it waits for the box, however long, and then runs at once.
  EXPECT_EQ(Look(kMinute, true), "waits");
  EXPECT_EQ(Look(5 * kMinute, true), "waits");
  EXPECT_EQ(Look(0), "check");
  // Switched off: never again.
  schedule.Configure(0, platform.clock.nowMs);
  EXPECT_EQ(Look(1440 * kMinute), "-");
  EXPECT_EQ(schedule.DelayMs(platform.clock.nowMs), -1);
}
