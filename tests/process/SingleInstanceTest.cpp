// The real program twice at once: the second start is taken over by the first, a first that does
// not answer gets the refusal box, and a killed first instance frees the lock. Its switches are tests/demo's, the logic of both starts tests/entry's.

#include "TestPaths.h"
#include "entry/mMain.h"
#include "support/FakeServices.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

bool LockedByOther(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return locked;
}

bool WaitUntilLocked(const std::string& lockFile) {
  for (const auto end = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
    if (LockedByOther(lockFile)) return true;
  return false;
}

}  // namespace

// A second start brings the running reader up and ends; only a reader that does not answer (here
// stopped with SIGSTOP: its socket still takes the connection) gets the refusal box.
TEST(SingleInstance, SecondStartShowsTheReaderASilentOneIsRefusedAKilledOneFreesTheLock) {
  TestSupport::FakePlatform platform;
  const std::string runtime = platform.root + "/runtime", log = platform.root + "/boxes.log";
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  // The lock lies in the data folder, not in the runtime folder of the environment.
  const std::string lockFile =
      platform.environment.appData + "/Quillpost Data/" + mMain::kInstanceName + ".lock";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
  env.insert("XDG_DATA_HOME", QString::fromStdString(platform.environment.appData));
  env.insert("XDG_CACHE_HOME", QString::fromStdString(platform.environment.cacheFolder));
  env.insert("QUILLPOST_MESSAGE_LOG", QString::fromStdString(log));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  const auto start = [&env] {
    auto program = std::make_unique<QProcess>();
    program->setProcessEnvironment(env);
    program->start(QP_PROGRAM_PATH, {});
    program->waitForStarted();
    return program;
  };
  const auto logged = [&log] {
    return std::filesystem::exists(log) ? TestSupport::ReadAll(log) : std::string();
  };
  auto first = start();
  ASSERT_EQ(WaitUntilLocked(lockFile), true);
  // The reader listens once its window is up.
  std::this_thread::sleep_for(1s);
  auto second = start();
  EXPECT_EQ(second->waitForFinished(20'000), true);
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_EQ(logged(), "");

  ::kill(static_cast<pid_t>(first->processId()), SIGSTOP);
  auto third = start();
  EXPECT_EQ(third->waitForFinished(20'000), true);
  EXPECT_EQ(third->exitCode(), 1);
  std::string refusal = "48\t" + std::string(mMain::kRefusalTitle) + "\t";
  for (const char c : mMain::kRefusalText)
    refusal += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  EXPECT_EQ(logged(), refusal + "\n");
  ::kill(static_cast<pid_t>(first->processId()), SIGCONT);

  EXPECT_EQ(first->state(), QProcess::Running);
  first->kill();
  ASSERT_EQ(first->waitForFinished(10'000), true);
  auto fourth = start();
  EXPECT_EQ(WaitUntilLocked(lockFile), true);
  EXPECT_EQ(fourth->state(), QProcess::Running);
  EXPECT_EQ(logged(), refusal + "\n");
  fourth->kill();
  fourth->waitForFinished(10'000);
}
