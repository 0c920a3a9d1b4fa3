// Replace's temporaries and their clean-up; kills at random moments are tests/crash's.
#include "config/mSettings.h"
#include "core/AtomicFile.h"
#include "core/mAppFunctions.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace TestSupport;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {
Names Listing(const std::string& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

// Catches a write in place: while the new bytes go to disk, the target must hold the old ones.
TEST(AtomicReplace, NewBytesGoToATemporaryBesideTheTargetThenReplaceIt) {
  struct Recorder : Services::IDiskSync {
    void Flush(const std::string& path) override {
      const fs::path temp(path);
      seen.emplace_back(AtomicFile::IsTemporaryName(temp.filename().string()) &&
                            temp.parent_path() == fs::path(target).parent_path(),
                        fs::exists(target) ? ReadAll(target) : "<missing>");
    }
    std::string target;
    std::vector<std::pair<bool, std::string>> seen;
  } recorder;
  FakePlatform platform;
  Services::Current().diskSync = &recorder;
  TempFolder dir;
  const std::string longName(255, 'n');
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"f", "first"}, {"f", std::string("se\0cond", 7)}, {longName, "long"}}) {
    recorder.target = dir.File(name);
    std::error_code ec;
    ASSERT_EQ(AtomicFile::Replace(recorder.target, bytes, ec), true) << ec.message();
    EXPECT_EQ(ReadAll(recorder.target), bytes);
  }
  EXPECT_EQ(recorder.seen, (std::vector<std::pair<bool, std::string>>{
                               {true, "<missing>"}, {true, "first"}, {true, "<missing>"}}));
  EXPECT_EQ(Listing(dir.path()), (Names{"f", longName}));
}

TEST(AtomicReplace, AFailedReplaceLeavesAllAsItWasAndASuccessKeepsThePermissions) {
  TempFolder dir;
  fs::create_directory(dir.File("d"));
  WriteAll(dir.File("d/inside"), "kept");
  std::error_code ec;
  EXPECT_EQ(AtomicFile::Replace(dir.File("none/f"), "x", ec), false);
  EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
  EXPECT_EQ(AtomicFile::Replace(dir.File("d"), "x", ec), false);
  EXPECT_EQ(ReadAll(dir.File("d/inside")), "kept");
  EXPECT_EQ(Listing(dir.path()), Names{"d"});
  WriteAll(dir.File("f"), "old");
  fs::permissions(dir.File("f"), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(AtomicFile::Replace(dir.File("f"), "new", ec), true);
  EXPECT_EQ(fs::status(dir.File("f")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// Only what Replace leaves goes: near misses of its names, folders, links and what they point
// to, deeper folders and everything outside stay.
TEST(AtomicReplace, StartRemovesOnlyTemporariesOfTheDataSourceAndSettingsFolders) {
  FakePlatform platform;
  TempFolder outside;
  const std::string data = platform.environment.appData + "/Quillpost Data";
  const std::string source = data + "/3F2504E0-4F89-11D3-9A0C-0305E82C3301";
  const std::string settings =
      platform.environment.programFolder + "/settings.cfg.qptmp-0123456789";
  fs::create_directories(source + "/deeper");
  const Names kept = {".qptmp-0a1b2c3d4z", "inbox.dat.qptmp-0A1B2C3D4Z",
                      "inbox.dat.qptmp-0a1b2c3d4", "inbox.dat.qptmp-0a1b2c3d4z.bak",
                      "inbox.dat.qptmp-0a1b2c3d4zz"};
  for (const auto& name : kept) WriteAll(data + "/" + name, "mine");
  for (const auto& path :
       {data + "/subscriptions.dat.qptmp-0a1b2c3d4z", settings,
        source + "/inbox.dat.qptmp-zzzzzzzzzz", source + "/deeper/inbox.dat.qptmp-0123456789",
        outside.File("inbox.dat.qptmp-0123456789")})
    WriteAll(path, "x");
  fs::create_directory(data + "/d.qptmp-aaaaaaaaaa");
  fs::create_symlink(outside.File("inbox.dat.qptmp-0123456789"), data + "/l.qptmp-bbbbbbbbbb");
  fs::create_directory_symlink(outside.path(), data + "/m.qptmp-cccccccccc");
  mAppFunctions::RemoveStaleTemporaries(mSettings::SettingsFolder());
  EXPECT_EQ(Listing(data),
            (Names{kept[0], "3F2504E0-4F89-11D3-9A0C-0305E82C3301", "d.qptmp-aaaaaaaaaa", kept[1],
                   kept[2], kept[3], kept[4], "l.qptmp-bbbbbbbbbb", "m.qptmp-cccccccccc"}));
  EXPECT_EQ(Listing(source), Names{"deeper"});
  EXPECT_EQ(Listing(source + "/deeper"), Names{"inbox.dat.qptmp-0123456789"});
  EXPECT_EQ(Listing(outside.path()), Names{"inbox.dat.qptmp-0123456789"});
  EXPECT_EQ(fs::exists(settings), false);
  EXPECT_EQ(mAppFunctions::DataPath, "");  // the data folder is not initialised by this
}
