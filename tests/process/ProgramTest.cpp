// The real program: one instance at a time, and the switches of runs without windows.

#include "TestPaths.h"
#include "core/mAppFunctions.h"
#include "entry/mMain.h"
#include "subscriptions/mSubscriptions.h"
#include "support/ChildProcess.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using TestSupport::ChildProcess;
using TestSupport::FileLockedByOther;
using TestSupport::ReadAll;

namespace {

bool WaitUntilLocked(const std::string& lockFile) {
  for (const auto end = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
    if (FileLockedByOther(lockFile)) return true;
  return false;
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  }
  // Without a display unless asked; a cron job has none.
  std::vector<std::string> Env(const std::string& qpa = "") {
    return {"XDG_RUNTIME_DIR=" + runtime,
            "XDG_DATA_HOME=" + platform.environment.appData,
            "QUILLPOST_MESSAGE_LOG=" + log,
            "QT_QPA_PLATFORM=" + qpa,
            "DISPLAY=",
            "WAYLAND_DISPLAY="};
  }
  // Runs the program to its end; "status\nstandard output\nstandard error".
  std::string Run(const std::vector<std::string>& args, const std::string& qpa = "") {
    ChildProcess child(QP_PROGRAM_PATH, args, Env(qpa), platform.root + "/out",
                       platform.root + "/err");
    const auto status = child.Wait(60s);
    return (status ? std::to_string(*status) : "no end") + "\n" + ReadAll(platform.root + "/out") +
           "\n" + ReadAll(platform.root + "/err");
  }

  TestSupport::FakePlatform platform;
  const std::string runtime = platform.root + "/runtime", log = platform.root + "/boxes.log";
};

}  // namespace

TEST_F(ProgramTest, SecondStartIsRefusedOnceAndAKilledFirstFreesTheLock) {
  const std::string lockFile = runtime + "/" + mMain::kInstanceName + ".lock";
  ChildProcess first(QP_PROGRAM_PATH, {}, Env("offscreen"));
  ASSERT_EQ(WaitUntilLocked(lockFile), true);
  EXPECT_EQ(Run({}, "offscreen"), "1\n\n");
  std::string refusal = "48\t" + std::string(mMain::kRefusalTitle) + "\t";
  for (const char c : mMain::kRefusalText)
    refusal += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  EXPECT_EQ(ReadAll(log), refusal + "\n");
  EXPECT_EQ(first.Running(), true);

  first.Kill(SIGKILL);
  ASSERT_EQ(first.Wait(10s).has_value(), true);
  ChildProcess third(QP_PROGRAM_PATH, {}, Env("offscreen"));
  EXPECT_EQ(WaitUntilLocked(lockFile), true);
  EXPECT_EQ(third.Running(), true);
  EXPECT_EQ(ReadAll(log), refusal + "\n");
}

// Boxes of a check go to standard error; the summaries to standard output (tests/demo).
TEST_F(ProgramTest, SwitchesOfRunsWithoutWindows) {
  mAppFunctions::InitializeDataFolder();
  ASSERT_EQ(mSubscriptions::AddSource("Gone", "http://127.0.0.1:9/gone"), true);
  EXPECT_EQ(Run({"--check"}),
            "1\n\nError!\nProcess of checking for new Messages failed! Server returned empty Data "
            "stream.\n");
  const std::string help = Run({"--help"});
  EXPECT_EQ(help.substr(0, help.find('\n', 2)),
            "0\nUsage: quillpost [-s | --check | --help | --version]");
  const std::string bad = Run({"--no-such-switch"});
  EXPECT_EQ(bad.substr(0, bad.find('\n')), "2");
}
