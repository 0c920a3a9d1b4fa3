// Runs the real program twice at once: the second start must be refused with one box.

#include "TestPaths.h"
#include "entry/mMain.h"
#include "support/ChildProcess.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using TestSupport::ChildProcess;
using TestSupport::FileLockedByOther;
using TestSupport::TempFolder;

namespace {

std::vector<std::string> LogLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(TestSupport::ReadAll(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return condition();
}

}  // namespace

TEST(SingleInstance, SecondStartIsRefusedOnceAndAKilledFirstFreesTheLock) {
  TempFolder dir;
  const std::string runtime = dir.File("runtime");
  std::filesystem::create_directory(runtime);
  const std::string log = dir.File("boxes.log");
  TestSupport::WriteAll(log, "");
  const std::string lockFile = runtime + "/QUILLPOST2710INSTANCE.lock";
  const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtime,
                                     "XDG_DATA_HOME=" + dir.File("data"),
                                     "QUILLPOST_MESSAGE_LOG=" + log, "QT_QPA_PLATFORM=offscreen"};

  ChildProcess first(QP_PROGRAM_PATH, {}, env);
  ASSERT_TRUE(WaitUntil([&] { return FileLockedByOther(lockFile); }, 20s));

  ChildProcess second(QP_PROGRAM_PATH, {}, env);
  const auto status = second.Wait(20s);
  ASSERT_TRUE(status.has_value()) << "the second instance did not end";
  EXPECT_EQ(*status, 1);
  const auto lines = LogLines(log);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "48\t" + std::string(mMain::kRefusalTitle) + "\t" + Escaped(mMain::kRefusalText));
  EXPECT_TRUE(first.Running());

  first.Kill(SIGKILL);
  ASSERT_TRUE(first.Wait(10s).has_value());
  ChildProcess third(QP_PROGRAM_PATH, {}, env);
  EXPECT_TRUE(WaitUntil([&] { return FileLockedByOther(lockFile); }, 20s));
  EXPECT_TRUE(third.Running());
  EXPECT_EQ(LogLines(log).size(), 1u);
}
