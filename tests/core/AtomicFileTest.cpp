#include "config/mSettings.h"
#include "core/AtomicFile.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "entry/HeadlessCheck.h"
#include "entry/mMain.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using TestSupport::FakePlatform;
using TestSupport::ReadAll;
using TestSupport::TempFolder;
using TestSupport::WriteAll;

namespace fs = std::filesystem;

namespace {
int CountTemporaries(const std::string& folder) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find(AtomicFile::kTempMarker) != std::string::npos) ++n;
  return n;
}
}  // namespace

TEST(AtomicReplace, CreatesAndReplacesWithoutLeavingTemporaries) {
  TempFolder dir;
  std::error_code ec;
  ASSERT_TRUE(AtomicFile::Replace(dir.File("f"), "first", ec));
  EXPECT_EQ(ReadAll(dir.File("f")), "first");
  ASSERT_TRUE(AtomicFile::Replace(dir.File("f"), std::string("se\0cond", 7), ec));
  EXPECT_EQ(ReadAll(dir.File("f")), std::string("se\0cond", 7));
  EXPECT_EQ(CountTemporaries(dir.path()), 0);
}

TEST(AtomicReplace, MissingFolderFailsCleanly) {
  TempFolder dir;
  std::error_code ec;
  EXPECT_FALSE(AtomicFile::Replace(dir.File("none/f"), "x", ec));
  EXPECT_TRUE(ec);
  EXPECT_FALSE(fs::exists(dir.File("none")));
}

TEST(AtomicReplace, ReplacingAFolderFailsAndKeepsIt) {
  TempFolder dir;
  fs::create_directory(dir.File("d"));
  WriteAll(dir.File("d/inside"), "kept");
  std::error_code ec;
  EXPECT_FALSE(AtomicFile::Replace(dir.File("d"), "x", ec));
  EXPECT_EQ(ReadAll(dir.File("d/inside")), "kept");
  EXPECT_EQ(CountTemporaries(dir.path()), 0);
}

TEST(AtomicReplace, KeepsThePermissionsOfTheReplacedFile) {
  TempFolder dir;
  WriteAll(dir.File("f"), "old");
  fs::permissions(dir.File("f"), fs::perms::owner_read | fs::perms::owner_write);
  std::error_code ec;
  ASSERT_TRUE(AtomicFile::Replace(dir.File("f"), "new", ec));
  EXPECT_EQ(fs::status(dir.File("f")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(AtomicReplace, StaleTemporariesAreRemovedAndNothingElse) {
  TempFolder dir;
  TempFolder outside;
  const std::string marker(AtomicFile::kTempMarker);
  WriteAll(dir.File("inbox.dat"), "keep");
  WriteAll(dir.File("inbox.dat" + marker + "0a1b2c3d4z"), "stale");
  WriteAll(dir.File("subscriptions.dat" + marker + "zzzzzzzzzz"), "stale");
  // Near misses of the temporary form are someone else's files.
  const std::vector<std::string> kept = {
      marker + "0a1b2c3d4z",                 // no target name
      "inbox.dat" + marker + "0a1b2c3d4",    // suffix too short
      "inbox.dat" + marker + "0a1b2c3d4zz",  // too long
      "inbox.dat" + marker + "0A1B2C3D4Z",   // capitals
      "inbox.dat" + marker + "0a1b2c3d4z.bak",
  };
  for (const auto& name : kept) WriteAll(dir.File(name), "mine");
  // A folder and links of the temporary form stay, and so does what a link points to.
  fs::create_directory(dir.File("d" + marker + "aaaaaaaaaa"));
  WriteAll(outside.File("target"), "outside");
  fs::create_symlink(outside.File("target"), dir.File("l" + marker + "bbbbbbbbbb"));
  fs::create_directory_symlink(outside.path(), dir.File("m" + marker + "cccccccccc"));

  AtomicFile::RemoveStaleTemporaries(dir.path());

  EXPECT_FALSE(fs::exists(dir.File("inbox.dat" + marker + "0a1b2c3d4z")));
  EXPECT_FALSE(fs::exists(dir.File("subscriptions.dat" + marker + "zzzzzzzzzz")));
  EXPECT_EQ(ReadAll(dir.File("inbox.dat")), "keep");
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir.File(name))) << name;
  EXPECT_TRUE(fs::is_directory(dir.File("d" + marker + "aaaaaaaaaa")));
  EXPECT_TRUE(fs::is_symlink(dir.File("l" + marker + "bbbbbbbbbb")));
  EXPECT_EQ(ReadAll(outside.File("target")), "outside");
  AtomicFile::RemoveStaleTemporaries(dir.File("missing"));  // no folder: nothing happens
}

// The cleanup must recognise what Replace really writes, long target names included; the disk
// flush is the moment the temporary exists under its final name.
TEST(AtomicReplace, TemporariesOfReplaceHaveTheFormTheCleanupRemoves) {
  struct Recorder : Services::IDiskSync {
    void Flush(const std::string& path) override { names.push_back(fs::path(path).filename()); }
    std::vector<std::string> names;
  } recorder;
  FakePlatform platform;
  Services::Current().diskSync = &recorder;
  TempFolder dir;
  std::error_code ec;
  ASSERT_TRUE(AtomicFile::Replace(dir.File("inbox.dat"), "x", ec));
  ASSERT_TRUE(AtomicFile::Replace(dir.File(std::string(255, 'n')), "x", ec));
  ASSERT_EQ(recorder.names.size(), 2u);
  for (const auto& name : recorder.names) EXPECT_TRUE(AtomicFile::IsTemporaryName(name)) << name;
}

// At start the data folder, each source folder in it and the settings folder are cleaned, and
// nothing deeper or behind a link.
TEST(AtomicReplace, StartRemovesTemporariesOfDataSourceAndSettingsFolders) {
  FakePlatform platform;
  TempFolder outside;
  const std::string temp = std::string(AtomicFile::kTempMarker) + "0123456789";
  const std::string data = platform.environment.appData + "/Quillpost Data";
  const std::string source = data + "/3F2504E0-4F89-11D3-9A0C-0305E82C3301";
  fs::create_directories(source + "/deeper");
  WriteAll(data + "/subscriptions.dat" + temp, "x");
  WriteAll(source + "/inbox.dat" + temp, "x");
  WriteAll(source + "/deeper/inbox.dat" + temp, "x");
  WriteAll(platform.environment.programFolder + "/settings.cfg" + temp, "x");
  WriteAll(outside.File("inbox.dat" + temp), "x");
  fs::create_directory_symlink(outside.path(), data + "/linked");

  mAppFunctions::RemoveStaleTemporaries(mSettings::SettingsFolder());

  EXPECT_FALSE(fs::exists(data + "/subscriptions.dat" + temp));
  EXPECT_FALSE(fs::exists(source + "/inbox.dat" + temp));
  EXPECT_FALSE(fs::exists(platform.environment.programFolder + "/settings.cfg" + temp));
  EXPECT_TRUE(fs::exists(source + "/deeper/inbox.dat" + temp));
  EXPECT_TRUE(fs::exists(outside.File("inbox.dat" + temp)));
  EXPECT_TRUE(mAppFunctions::DataPath.empty());  // the data folder is not initialised by this
}

TEST(AtomicReplace, LongestFileNamesStillReplace) {
  TempFolder dir;
  const std::string name(255, 'n');
  std::error_code ec;
  ASSERT_TRUE(AtomicFile::Replace(dir.File(name), "one", ec)) << ec.message();
  ASSERT_TRUE(AtomicFile::Replace(dir.File(name), "two", ec)) << ec.message();
  EXPECT_EQ(ReadAll(dir.File(name)), "two");
  EXPECT_EQ(CountTemporaries(dir.path()), 0);
}

// Both starts clean up only once they hold the lock: while another instance runs, a temporary
// may be its write in progress.
TEST(AtomicReplace, StartsRemoveTemporariesOnlyWhenHoldingTheLock) {
  const auto desktop = [] { mMain::Main([] {}); };
  const auto headless = [] {
    std::ostringstream out;
    HeadlessCheck::Run(out);
  };
  const std::vector<std::pair<const char*, std::function<void()>>> starts = {
      {"desktop", desktop}, {"headless check", headless}};
  for (const auto& [name, start] : starts) {
    for (const bool lockFree : {false, true}) {
      FakePlatform platform;
      platform.instanceLock.available = lockFree;
      const std::string data = platform.environment.appData + "/Quillpost Data";
      const std::string temp =
          data + "/subscriptions.dat" + std::string(AtomicFile::kTempMarker) + "abcdefghij";
      fs::create_directories(data);
      WriteAll(temp, "x");
      start();
      EXPECT_EQ(fs::exists(temp), !lockFree) << name << (lockFree ? ", lock free" : ", lock held");
    }
  }
}
