// Kills a process that keeps rewriting a 5 MB INI file through cINI, at random moments, and
// checks after every kill that the file holds either the content before the rewrite under way
// or the content after it, never a mix or a cut.

#include "config/IniDocument.h"
#include "core/AtomicFile.h"

#include "IniCrashShared.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kKills = 200;

// An inbox of about 5 MB: 1,000 messages of six keys and a read flag.
std::string InboxWith(const std::string& flippedValue) {
  IniDocument doc;
  const std::string body(4900, 'm');
  for (int i = 0; i < 1000; ++i) {
    char guid[40];
    std::snprintf(guid, sizeof guid, "{00000000-0000-4000-8000-%012d}", i);
    doc.SetValue(guid, "guid", guid);
    doc.SetValue(guid, "title", "Message number " + std::to_string(i));
    doc.SetValue(guid, "description",
                 guid == std::string(IniCrash::kSection) ? flippedValue : body);
    doc.SetValue(guid, "date", "2026-12-06");
    doc.SetValue(guid, "time", "21:03:42");
    doc.SetValue(guid, "offset", "+0000");
    doc.SetValue(guid, "read", "0");
  }
  return doc.Serialize();
}

int CountTemporaries(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().find(AtomicFile::kTempMarker) != std::string::npos) {
      ++count;
    }
  }
  return count;
}

struct WriterRun {
  bool started = false;
  int rewrites = 0;
  double secondsAfterReady = 0;
};

// Starts the writer, waits until it has read the file, lets it run for the delay, kills it.
WriterRun KillWriterAfter(const std::string& path, std::chrono::microseconds delay) {
  WriterRun run;
  int fds[2];
  if (pipe(fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  std::string program = QP_INI_CRASH_WRITER;
  std::string argument = path;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return run;
  }
  char byte = 0;
  run.started = read(fds[0], &byte, 1) == 1 && byte == IniCrash::kReady;
  const auto ready = std::chrono::steady_clock::now();
  if (run.started) std::this_thread::sleep_for(delay);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  run.secondsAfterReady =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - ready).count();
  char buffer[4096];
  for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) {
    for (ssize_t i = 0; i < got; ++i) run.rewrites += buffer[i] == IniCrash::kRewritten;
  }
  close(fds[0]);
  return run;
}

}  // namespace

TEST(IniCrashTest, KilledRewritesLeaveOldOrNewFile) {
  TestSupport::TempFolder folder;
  const std::string path = folder.File("inbox.dat");
  const std::string contentA = InboxWith(IniCrash::ValueA());
  const std::string contentB = InboxWith(IniCrash::ValueB());
  ASSERT_GT(contentA.size(), 5'000'000u);
  // Both contents parse and hold their value, so a file equal to one of them is sound.
  ASSERT_EQ(IniDocument::Parse(contentA).GetValue(IniCrash::kSection, IniCrash::kKey),
            IniCrash::ValueA());
  ASSERT_EQ(IniDocument::Parse(contentB).GetValue(IniCrash::kSection, IniCrash::kKey),
            IniCrash::ValueB());
  TestSupport::WriteAll(path, contentA);

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  bool holdsA = true;
  int kills = 0, foundOld = 0, foundNew = 0, torn = 0, staleTemporaries = 0, rewrites = 0;
  double secondsPerRewrite = 0.010;  // refined from what the runs show
  double runSeconds = 0;

  for (int i = 0; i < kKills; ++i) {
    std::uniform_real_distribution<double> fraction(0.0, 2.0);
    const auto delay = std::chrono::microseconds(
        static_cast<long long>(fraction(random) * secondsPerRewrite * 1e6));
    const WriterRun run = KillWriterAfter(path, delay);
    ASSERT_EQ(run.started, true) << "the writer did not start";
    ++kills;
    rewrites += run.rewrites;
    runSeconds += run.secondsAfterReady;
    // A run stopped halfway through a rewrite on average; this also grows the delays while
    // they are too short for any rewrite to complete.
    secondsPerRewrite = runSeconds / (rewrites + 0.5 * kills);

    // The file as the completed rewrites left it, and as the one under way would leave it.
    if (run.rewrites % 2 == 1) holdsA = !holdsA;
    const std::string& old = holdsA ? contentA : contentB;
    const std::string& next = holdsA ? contentB : contentA;
    const std::string now = TestSupport::ReadAll(path);
    if (now == old) {
      ++foundOld;
    } else if (now == next) {
      ++foundNew;
      holdsA = !holdsA;
    } else {
      ++torn;
      ADD_FAILURE() << "kill " << i << ": file is neither old nor new (" << now.size() << " bytes)";
      break;
    }
    staleTemporaries += CountTemporaries(folder.path());
    AtomicFile::RemoveStaleTemporaries(folder.path());
  }

  std::printf(
      "IniCrashTest: seed %u, file %zu bytes, %d kills, %d completed rewrites (%.1f ms each), "
      "found old %d, found new %d, torn %d, stale temporary files %d\n",
      seed, contentA.size(), kills, rewrites, secondsPerRewrite * 1e3, foundOld, foundNew, torn,
      staleTemporaries);
  RecordProperty("kills", kills);
  RecordProperty("found_old", foundOld);
  RecordProperty("found_new", foundNew);
  RecordProperty("stale_temporaries", staleTemporaries);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(kills, kKills);
}
