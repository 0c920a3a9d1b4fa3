#include "core/mGeneralFunctions.h"
#include "entry/mMain.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace mGeneralFunctions;
using TestSupport::FakePlatform;
using TestSupport::ReadAll;
using TestSupport::ShownBox;
using TestSupport::TempFolder;
using TestSupport::WriteAll;

namespace fs = std::filesystem;

TEST(PathFunctions, AddBackslashAppendsSeparatorOnce) {
  EXPECT_EQ(AddBackslash("/home/u"), "/home/u/");
  EXPECT_EQ(AddBackslash("/home/u/"), "/home/u/");
  EXPECT_EQ(AddBackslash(""), "");
}

TEST(PathFunctions, FileAndFolderTestsFollowTheirOwnRules) {
  FakePlatform platform;
  TempFolder dir;
  WriteAll(dir.File("plain"), "x");
  WriteAll(dir.File(".hidden"), "x");
  fs::create_directory(dir.File("sub"));

  EXPECT_TRUE(FileExists(dir.File("plain")));
  EXPECT_TRUE(FileExists(dir.File(".hidden")));
  EXPECT_FALSE(FileExists(dir.File("sub")));
  EXPECT_FALSE(FileExists(dir.File("missing")));
  // A folder test that also sees ordinary files: the data-folder check relies on it.
  EXPECT_TRUE(FolderExists(dir.File("sub")));
  EXPECT_TRUE(FolderExists(dir.File("plain")));
  EXPECT_FALSE(FolderExists(dir.File("missing")));
  EXPECT_FALSE(FolderExists(dir.File("plain/below")));
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST(PathFunctions, AppDataFolderComesFromTheEnvironmentWithoutTrailingSeparator) {
  FakePlatform platform;
  platform.environment.appData = "/home/u/.local/share/";
  EXPECT_EQ(GetAppDataFolder(), "/home/u/.local/share");
  platform.environment.appData = "";
  EXPECT_EQ(GetAppDataFolder(), "");
}

TEST(TextFiles, WriteAddsLineEndAndReadReturnsEveryByte) {
  FakePlatform platform;
  TempFolder dir;
  ASSERT_TRUE(WriteTextFile(dir.File("a.txt"), "abc"));
  EXPECT_EQ(ReadAll(dir.File("a.txt")), "abc\r\n");
  EXPECT_EQ(ReadTextFile(dir.File("a.txt")), "abc\r\n");

  const std::string binary("x\0y\xff\r\n", 6);
  WriteAll(dir.File("b.bin"), binary);
  EXPECT_EQ(ReadTextFile(dir.File("b.bin")), binary);
}

TEST(TextFiles, FailuresShowTheCommonReportAndReturnTheDefault) {
  FakePlatform platform;
  TempFolder dir;
  EXPECT_EQ(ReadTextFile(dir.File("missing.txt")), "");
  EXPECT_FALSE(WriteTextFile(dir.File("no/such/folder.txt"), "abc"));
  ASSERT_EQ(platform.messageBox.shown.size(), 2u);
  EXPECT_EQ(platform.messageBox.shown[0],
            (ShownBox{"53 : \r\n\r\nFile not found", "Error !", Services::vbInformation}));
  EXPECT_EQ(platform.messageBox.shown[1].title, "Error !");
  EXPECT_EQ(platform.messageBox.shown[1].text.substr(0, 9), "53 : \r\n\r\n");
}

TEST(Blank, OnlySpacesCount) {
  EXPECT_TRUE(IsBlank(""));
  EXPECT_TRUE(IsBlank("   "));
  EXPECT_FALSE(IsBlank("\t"));
  EXPECT_FALSE(IsBlank(" a "));
}

TEST(Version, BuildTextForms) {
  EXPECT_EQ(ApplicationBuild(false, false), "1.10");
  EXPECT_EQ(ApplicationBuild(false, true), "1.10");
  EXPECT_EQ(ApplicationBuild(true, true), "1.10; build: 095");
  EXPECT_EQ(ApplicationBuild(true, false), "1.10.095");
  EXPECT_EQ(FormatBuild(2, 5, 7, true, false), "2.05.007");
  EXPECT_EQ(FormatBuild(2, 123, 1234, true, true), "2.123; build: 1234");
}

TEST(Shell, OpenGoesToTheDesktopAndFolderDeleteIsGuarded) {
  FakePlatform platform;
  ShellOpen("mailto:someone@example.org");
  EXPECT_EQ(platform.shell.opened, std::vector<std::string>{"mailto:someone@example.org"});

  TempFolder dir;
  fs::create_directories(dir.File("victim/inner"));
  WriteAll(dir.File("victim/inner/f"), "x");
  std::string source = dir.File("victim");
  std::string destination;
  ShellFileOperation(source, destination, FO_DELETE, FOF_SILENT + FOF_NOCONFIRMATION);
  EXPECT_EQ(source, dir.File("victim") + std::string(2, '\0'));
  EXPECT_FALSE(fs::exists(dir.File("victim")));

  std::string empty;
  ShellFileOperation(empty, destination, FO_DELETE, 20);
  EXPECT_EQ(empty.size(), 2u);
  EXPECT_TRUE(fs::exists(dir.path()));
}

TEST(Connectivity, AskedOfTheDesktop) {
  FakePlatform platform;
  platform.network.connected = false;
  EXPECT_FALSE(IsConnected());
  platform.network.connected = true;
  EXPECT_TRUE(IsConnected());
  Pause(5);
  EXPECT_EQ(platform.clock.sleptMs, 5);
}

TEST(Entry, SecondInstanceIsRefusedWithOneBoxAndNoWindow) {
  FakePlatform platform;
  platform.instanceLock.available = false;
  int loaded = 0;
  EXPECT_FALSE(mMain::Main([&] { ++loaded; }));
  EXPECT_EQ(loaded, 0);
  ASSERT_EQ(platform.messageBox.shown.size(), 1u);
  EXPECT_EQ(platform.messageBox.shown[0].title,
            "Previous Instance of application is still Running!");
  EXPECT_EQ(platform.messageBox.shown[0].style, 48);
  EXPECT_EQ(platform.instanceLock.asked, std::vector<std::string>{"QUILLPOST2710INSTANCE"});
}

TEST(Entry, FirstInstanceLoadsTheMainWindow) {
  FakePlatform platform;
  int loaded = 0;
  EXPECT_TRUE(mMain::Main([&] { ++loaded; }));
  EXPECT_EQ(loaded, 1);
  EXPECT_TRUE(platform.messageBox.shown.empty());
  EXPECT_FALSE(mMain::IsInIDE());
}
