// The shared utilities: paths, text files and the common error report, versions, the guarded
// folder delete, the source-ID form and translucent windows.
#include "core/SourceId.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "core/mTransForm.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>

using namespace mGeneralFunctions;
using namespace TestSupport;
namespace fs = std::filesystem;

TEST(PathFunctions, FilesFoldersAndTheAppDataFolder) {
  FakePlatform platform;
  TempFolder dir;
  WriteAll(dir.File("plain"), "x");
  WriteAll(dir.File(".hidden"), "x");
  fs::create_directory(dir.File("sub"));
  // The folder test also sees ordinary files: the data-folder check relies on it.
  std::vector<std::string> found;
  for (const char* name : {"plain", ".hidden", "sub", "missing", "plain/below"})
    found.push_back(std::string(FileExists(dir.File(name)) ? "file" : "-") +
                    (FolderExists(dir.File(name)) ? " folder" : " -"));
  EXPECT_EQ(found,
            (std::vector<std::string>{"file folder", "file folder", "- folder", "- -", "- -"}));
  EXPECT_EQ((std::vector{AddBackslash("/home/u"), AddBackslash("/home/u/"), AddBackslash("")}),
            (std::vector<std::string>{"/home/u/", "/home/u/", ""}));
  platform.environment.appData = "/home/u/.local/share/";
  EXPECT_EQ(GetAppDataFolder(), "/home/u/.local/share");
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

// Catches two data folders sharing one index, an index that follows its data folder's path
// nowhere, and a clean-up that removes what is in use, recent, or not Quillpost's.
TEST(CacheFolders, OnePerDataFolderAndOnlyLongUnusedOnesOfVanishedDataFoldersGo) {
  FakePlatform platform;
  mAppFunctions::InitializeDataFolder();
  const std::string ours = mAppFunctions::CacheFolder();
  EXPECT_EQ(ours.rfind(platform.environment.cacheFolder + "/Quillpost/", 0), 0u);
  ASSERT_EQ(mAppFunctions::PrepareCacheFolder(), true);
  EXPECT_EQ(ReadAll(ours + "/datafolder.txt"), mAppFunctions::DataPath + "\n");
  // Folders of other data folders: vanished long ago, vanished lately, still there; and a
  // folder without an owner file.
  const std::string quillpost = platform.environment.cacheFolder + "/Quillpost/";
  const auto owned = [&](const std::string& name, const std::string& dataFolder, int daysAgo) {
    fs::create_directories(quillpost + name);
    WriteAll(quillpost + name + "/datafolder.txt", dataFolder + "\n");
    fs::last_write_time(quillpost + name + "/datafolder.txt",
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * daysAgo));
  };
  owned("old", platform.root + "/gone", 31);
  owned("recent", platform.root + "/gone", 29);
  owned("alive", mAppFunctions::DataPath, 400);
  fs::create_directories(quillpost + "foreign");
  fs::last_write_time(ours + "/datafolder.txt",
                      fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
  mAppFunctions::RemoveStaleCaches();
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(quillpost)) left.push_back(entry.path().filename());
  std::vector<std::string> kept{ours.substr(quillpost.size()), "alive", "foreign", "recent"};
  std::sort(left.begin(), left.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(left, kept);
  mAppFunctions::DataPath = platform.root + "/other";
  EXPECT_NE(mAppFunctions::CacheFolder(), ours);
}

TEST(TextFiles, WriteAddsALineEndReadGivesEveryByteAndFailuresShowTheCommonReport) {
  FakePlatform platform;
  TempFolder dir;
  ASSERT_EQ(WriteTextFile(dir.File("a.txt"), "abc"), true);
  EXPECT_EQ(ReadAll(dir.File("a.txt")), "abc\r\n");
  const std::string binary("x\0y\xff\r\n", 6);
  WriteAll(dir.File("b.bin"), binary);
  EXPECT_EQ(ReadTextFile(dir.File("b.bin")), binary);
  EXPECT_EQ(ReadTextFile(dir.File("missing.txt")), "");
  EXPECT_EQ(WriteTextFile(dir.File("no/such/folder.txt"), "abc"), false);
  const ShownBox notFound{"53 : \r\n\r\nFile not found", "Error !", 64};
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{notFound, notFound}));
}

TEST(TextHelpers, BlankMeansOnlySpacesAndVersionsHaveTheirForms) {
  EXPECT_EQ((std::vector{IsBlank(""), IsBlank("   "), IsBlank("\t"), IsBlank(" a ")}),
            (std::vector{true, true, false, false}));
  EXPECT_EQ((std::vector{ApplicationBuild(false, false), ApplicationBuild(false, true),
                         ApplicationBuild(true, true), ApplicationBuild(true, false),
                         FormatBuild(2, 5, 7, true, false), FormatBuild(2, 123, 1234, true, true)}),
            (std::vector<std::string>{"1.10", "1.10", "1.10; build: 095", "1.10.095", "2.05.007",
                                      "2.123; build: 1234"}));
}

TEST(Shell, FolderDeleteRemovesEverythingBelowAndAnEmptySourceNothing) {
  TempFolder dir;
  fs::create_directories(dir.File("victim/inner"));
  WriteAll(dir.File("victim/inner/f"), "x");
  std::string source = dir.File("victim"), destination, empty;
  ShellFileOperation(source, destination, FO_DELETE, FOF_SILENT + FOF_NOCONFIRMATION);
  EXPECT_EQ(source, dir.File("victim") + std::string(2, '\0'));
  EXPECT_EQ(fs::exists(dir.File("victim")), false);
  ShellFileOperation(empty, destination, FO_DELETE, 20);
  EXPECT_EQ(empty, std::string(2, '\0'));
  EXPECT_EQ(fs::exists(dir.path()), true);
}

// Catches a hand-edited ID (lower case, a path) that would name a folder.
TEST(SourceIdForm, OnlyTheExactUpperCaseFormMayNameAFolder) {
  EXPECT_EQ(SourceId::IsSourceID("33221100-5544-7766-8899-AABBCCDDEEFF"), true);
  for (const char* bad :
       {"", "33221100-5544-7766-8899-aabbccddeeff", "{33221100-5544-7766-8899-AABBCCDDEEFF}",
        "33221100-5544-7766-8899-AABBCCDDEEF", "3322110005544-7766-8899-AABBCCDDEEFF",
        "33221100-5544-7766-8899-AABB/CDDEEFF", "../../../../../../../../../../../../x"})
    EXPECT_EQ(SourceId::IsSourceID(bad), false) << bad;
}

TEST(Transparency, LevelsGiveOpacitiesRoundedHalfToEvenAndAFailureLeavesTheWindowOpaque) {
  std::vector<int> opacities;
  for (const int level : {0, 10, 20, 30, 100, 101, -1, -32768})
    opacities.push_back(mTransForm::OpacityFromLevel(level));
  EXPECT_EQ(opacities, (std::vector{255, 230, 204, 178, 0, 1, 1, 1}));
  struct Window : mTransForm::IOpacityTarget {
    void SetOpacity(int opacity) override {
      if (fail) throw std::runtime_error("no layered windows");
      applied = opacity;
    }
    void ClearOpacity() override { cleared = true; }
    bool fail = false, cleared = false;
    int applied = -1;
  } window;
  FakePlatform platform;
  mTransForm::SetTransparency(window, 20);
  EXPECT_EQ(window.applied, 204);
  window.fail = true;
  mTransForm::SetTransparency(window, 10);
  EXPECT_EQ(window.cleared, true);
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"5 : \r\n\r\nno layered windows", "Error ! (Source : SetTransparency)", 64}}));
}
