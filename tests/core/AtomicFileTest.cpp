#include "core/AtomicFile.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

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
  WriteAll(dir.File("inbox.dat"), "keep");
  WriteAll(dir.File(std::string("inbox.dat") + std::string(AtomicFile::kTempMarker) + "abc"), "x");
  AtomicFile::RemoveStaleTemporaries(dir.path());
  EXPECT_EQ(CountTemporaries(dir.path()), 0);
  EXPECT_EQ(ReadAll(dir.File("inbox.dat")), "keep");
  AtomicFile::RemoveStaleTemporaries(dir.File("missing"));  // no folder: nothing happens
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
