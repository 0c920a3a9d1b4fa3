// The real program twice at once: the second start is refused with one box, and a killed first
// instance frees the lock. Its switches are tests/demo's, the logic of both starts tests/entry's.

#include "TestPaths.h"
#include "entry/mMain.h"
#include "support/ChildProcess.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using TestSupport::ChildProcess;

namespace {
bool WaitUntilLocked(const std::string& lockFile) {
  for (const auto end = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
    if (TestSupport::FileLockedByOther(lockFile)) return true;
  return false;
}
}  // namespace

TEST(SingleInstance, SecondStartIsRefusedOnceAndAKilledFirstFreesTheLock) {
  TestSupport::FakePlatform platform;
  const std::string runtime = platform.root + "/runtime", log = platform.root + "/boxes.log";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  const std::string lockFile = runtime + "/" + mMain::kInstanceName + ".lock";
  const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtime,
                                     "XDG_DATA_HOME=" + platform.environment.appData,
                                     "QUILLPOST_MESSAGE_LOG=" + log, "QT_QPA_PLATFORM=offscreen"};
  ChildProcess first(QP_PROGRAM_PATH, {}, env);
  ASSERT_EQ(WaitUntilLocked(lockFile), true);
  ChildProcess second(QP_PROGRAM_PATH, {}, env);
  EXPECT_EQ(second.Wait(20s), 1);
  std::string refusal = "48\t" + std::string(mMain::kRefusalTitle) + "\t";
  for (const char c : mMain::kRefusalText)
    refusal += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  EXPECT_EQ(TestSupport::ReadAll(log), refusal + "\n");
  EXPECT_EQ(first.Running(), true);
  first.Kill(SIGKILL);
  ASSERT_EQ(first.Wait(10s).has_value(), true);
  ChildProcess third(QP_PROGRAM_PATH, {}, env);
  EXPECT_EQ(WaitUntilLocked(lockFile), true);
  EXPECT_EQ(third.Running(), true);
  EXPECT_EQ(TestSupport::ReadAll(log), refusal + "\n");
}
