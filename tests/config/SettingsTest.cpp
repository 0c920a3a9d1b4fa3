#include "config/mSettings.h"

#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

using TestSupport::FakePlatform;
using TestSupport::ShownBox;
namespace fs = std::filesystem;

namespace {

// left, top, trans, size, winstartup, interval, atstart after loading every group.
std::vector<int> LoadAll() {
  mSettings::LoadDropBoxSettings();
  bool updateDialog = true;
  mSettings::LoadAppSettings(updateDialog);
  mSettings::LoadSchedulerSettings();
  return {mSettings::DropBoxLeft, mSettings::DropBoxTop,      mSettings::DropBoxTrans,
          mSettings::DropBoxSize, mSettings::WinStartup,      mSettings::SchedulerInterval,
          mSettings::SchedulerAtStart};
}

class SettingsTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { TestSupport::WriteAll(mSettings::SettingsFile(), text); }
  FakePlatform platform;
};

TEST_F(SettingsTest, HandEditedValuesAreClampedOrIgnoredAndLoadingWritesNothing) {
  EXPECT_EQ(LoadAll(), (std::vector{0, 0, 1, 2, 0, 0, 0}));
  EXPECT_EQ(fs::exists(mSettings::SettingsFile()), false);
  // Fractions round half to even; anything that is not a number counts as missing.
  // clang-format off
  const std::vector<std::pair<const char*, std::vector<int>>> cases = {
      {"left=   \ntop=\t\ntrans=  \nsize=\n[app]\nwinstartup= \n[scheduler]\ninterval= \natstart=",
       {0, 0, 1, 2, 0, 0, 0}},
      {"left=40000\ntop=-99999999999999999999\ntrans=7\nsize=-1\n[app]\nwinstartup=5\n"
       "[scheduler]\ninterval=99999\natstart=-3", {32767, -32768, 3, 0, 1, 1440, 0}},
      {"left= 12.5 \ntop=13.5\ntrans=Low\nsize=1e1\n[app]\nwinstartup=x\n[scheduler]\n"
       "interval= 29.5\natstart=7", {12, 14, 1, 2, 0, 30, 1}}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    Write(std::string("[dropbox]\n") + text);
    EXPECT_EQ(LoadAll(), expected) << text;
  }
}

TEST_F(SettingsTest, SavesGoToTheUserConfigurationFolderForAReadOnlyOrInstalledProgram) {
  const std::string program = platform.environment.programFolder;
  platform.environment.readOnlyFolders = {program};
  const std::string file = platform.root + "/config/Quillpost/settings.cfg";
  EXPECT_EQ(mSettings::SettingsFile(), file);
  // Loading creates nothing; saving creates the folders, the base private to the user.
  LoadAll();
  EXPECT_EQ(fs::exists(platform.root + "/config"), false);
  mSettings::WinStartup = 1;
  mSettings::SaveAppSettings();
  mSettings::DropBoxLeft = -15;
  mSettings::DropBoxTop = 1350;
  mSettings::DropBoxTrans = 3;
  mSettings::SaveDropBoxSettings();
  mSettings::SchedulerInterval = 90;
  EXPECT_EQ(mSettings::SaveSchedulerSettings(), true);
  EXPECT_EQ(TestSupport::ReadAll(file),
            "[app]\r\nwinstartup=1\r\n[dropbox]\r\nleft=-15\r\ntop=1350\r\ntrans=3\r\nsize=2\r\n"
            "[scheduler]\r\ninterval=90\r\natstart=0\r\n");
  EXPECT_EQ(fs::status(platform.root + "/config").permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::exists(program + "/settings.cfg"), false);
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{{mSettings::kSavedText, mSettings::kSavedTitle, 64}}));
  // A writable program folder keeps its own file.
  platform.environment.readOnlyFolders.clear();
  EXPECT_EQ(mSettings::SettingsFile(), program + "/settings.cfg");
  // An installed copy never does, even where it could (root): the file would outlive the package.
  platform.environment.programFolder = platform.root + "/usr/lib/quillpost";
  fs::create_directories(platform.environment.programFolder);
  EXPECT_EQ(mSettings::SettingsFile(), file);
}

TEST_F(SettingsTest, PicturesAreShownPerSourceIdInASectionOfTheirOwn) {
  const std::string id = "0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";
  Write("[app]\nwinstartup=1\n");
  EXPECT_EQ(mSettings::SetPicturesAlwaysShown(id, true), true);
  EXPECT_EQ(mSettings::SetPicturesAlwaysShown("../x", true), false);
  EXPECT_EQ(std::pair(mSettings::PicturesAlwaysShown(id), mSettings::PicturesAlwaysShown("")),
            std::pair(true, false));
  EXPECT_EQ(TestSupport::ReadAll(mSettings::SettingsFile()),
            "[app]\nwinstartup=1\n[pictures]\r\n" + id + "=1\r\n");
  const std::string other = "1A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";
  EXPECT_EQ(mSettings::SetPicturesAlwaysShown(other, true), true);
  EXPECT_EQ(mSettings::SetPicturesAlwaysShown(id, false), true);
  EXPECT_EQ(std::pair(mSettings::PicturesAlwaysShown(id), mSettings::PicturesAlwaysShown(other)),
            std::pair(false, true));
  // "Stop Showing" for the last such source leaves no empty section behind.
  EXPECT_EQ(mSettings::SetPicturesAlwaysShown(other, false), true);
  EXPECT_EQ(TestSupport::ReadAll(mSettings::SettingsFile()), "[app]\nwinstartup=1\n");
}

TEST_F(SettingsTest, PageZoomIsKeptPerSourceWithinItsStepsAndTheDefaultLeavesNothing) {
  const std::string id = "0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";
  EXPECT_EQ(mSettings::PageZoom(id), 100);
  EXPECT_EQ(mSettings::SetPageZoom(id, 125), true);
  EXPECT_EQ(TestSupport::ReadAll(mSettings::SettingsFile()), "[zoom]\r\n" + id + "=125\r\n");
  EXPECT_EQ(mSettings::PageZoom(id), 125);
  for (const auto& [stored, read] : {std::pair("abc", 100), {"9999", 500}, {"-3", 25}}) {
    Write("[zoom]\n" + id + "=" + stored + "\n");
    EXPECT_EQ(mSettings::PageZoom(id), read) << stored;
  }
  EXPECT_EQ(mSettings::SetPageZoom(id, 100), true);
  EXPECT_EQ(TestSupport::ReadAll(mSettings::SettingsFile()), "");
  EXPECT_EQ(mSettings::SetPageZoom("../x", 150), false);
  const std::vector<int> steps = {mSettings::ZoomStep(100, 1), mSettings::ZoomStep(100, -1),
                                  mSettings::ZoomStep(104, 1), mSettings::ZoomStep(104, -1),
                                  mSettings::ZoomStep(500, 1), mSettings::ZoomStep(25, -1),
                                  mSettings::ZoomStep(250, 0)};
  EXPECT_EQ(steps, (std::vector{110, 90, 110, 100, 500, 25, 100}));
}

TEST(StartupCommandTest, QuotesTheFullPathAndEscapesWhatTheQuotesDoNotProtect) {
  EXPECT_EQ(mSettings::StartupCommand("quillpost", "/opt/Quill Post", "-s"),
            "\"/opt/Quill Post/quillpost\" -s");
  EXPECT_EQ(mSettings::StartupCommand("q.bin", "/a\"b/c`d/$HOME/e\\f/", " "),
            "\"/a\\\"b/c\\`d/\\$HOME/e\\\\f/q.bin\"");
}

TEST_F(SettingsTest, FailuresAreReportedInsteadOfTheConfirmation) {
  struct RefusingStartup : Services::IStartup {
    bool SetCommand(const std::string&, const std::string&) override {
      if (broken) throw std::runtime_error("autostart folder is a file");
      return false;
    }
    bool Remove(const std::string&) override { return false; }
    bool broken = false;
  } startup;
  mSettings::WinStartup = 1;
  Services::Current().startup = &startup;
  mSettings::SaveAppSettings();
  startup.broken = true;
  mSettings::SaveAppSettings();
  // Neither the program folder nor the configuration folder can take the file.
  Services::Current().startup = &platform.startup;
  platform.environment.programFolder = platform.root + "/missing";
  platform.environment.configFolder = platform.root + "/file";
  TestSupport::WriteAll(platform.root + "/file", "");
  mSettings::SaveAppSettings();
  const ShownBox notRegistered{"The program could not be registered to start with the session.",
                               "Settings not saved!", 48};
  EXPECT_EQ(
      platform.messageBox.shown,
      (std::vector<ShownBox>{
          notRegistered,
          {"autostart folder is a file", "Source: SetStartupOption Function", 16},
          notRegistered,
          {"Settings could not be saved to " + platform.root + "/file/Quillpost/settings.cfg.",
           "Settings not saved!", 48}}));
}

}  // namespace
