#include "config/frmSettings.h"

#include "config/mSettings.h"
#include "core/QtServices.h"
#include "support/FakeServices.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using TestSupport::FakePlatform;
using TestSupport::ShownBox;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// The desktop's own start-up service, taken from a full install that is undone at once.
Services::IStartup* DesktopStartup() {
  const Services::Registry saved = Services::Current();
  QtServices::InstallHeadless();
  Services::IStartup* startup = Services::Current().startup;
  Services::Current() = saved;
  return startup;
}

// Opens the dialog, sets the box and saves.
void SaveWith(bool checked) {
  frmSettings dialog;
  dialog.show();
  dialog.chkStartup->setChecked(checked);
  QTest::mouseClick(dialog.btnSave, Qt::LeftButton);
  EXPECT_EQ(dialog.isVisible(), false);
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  std::string File() { return mSettings::SettingsFile(); }

  FakePlatform platform;
  const ShownBox saved{"Settings are successfully saved!", "Done!", 64};
};

TEST_F(SettingsDialogTest, ShowsItsTextsAndTheStoredChoice) {
  frmSettings fresh;
  EXPECT_EQ(fresh.chkStartup->isChecked(), false);

  TestSupport::WriteAll(File(), "[app]\r\nwinstartup=1\r\n");
  frmSettings dialog;
  EXPECT_EQ(dialog.chkStartup->isChecked(), true);
  EXPECT_EQ(dialog.windowTitle(), QString("Preferences ..."));
  EXPECT_EQ(dialog.chkStartup->text(), QString("Start Application on Windows Startup."));
  EXPECT_EQ(dialog.lblInfo->text(),
            QString("If you select this option, Quillpost application will start on Windows "
                    "Startup and it wll minimize itself to System notification area "
                    "(bottom-right corner of screen where clock is shown). To avail the complete "
                    "power and ease of use offered by Quillpost, we recommend using this "
                    "option,"));
  EXPECT_EQ(dialog.btnSave->text(), QString(" Save Settings!"));
  EXPECT_EQ(dialog.btnCancel->text(), QString("No Changes!"));
  EXPECT_EQ(dialog.font().family(), QString("Verdana"));
  EXPECT_EQ(dialog.btnSave->icon().isNull(), false);
  EXPECT_EQ(dialog.btnCancel->icon().isNull(), false);
}

TEST_F(SettingsDialogTest, SaveRegistersTheStartAndUncheckedSaveRemovesIt) {
  SaveWith(true);
  EXPECT_EQ(TestSupport::ReadAll(File()), "[app]\r\nwinstartup=1\r\n");
  EXPECT_EQ(
      platform.startup.entries,
      (Entries{{"Quillpost", "\"" + platform.environment.programFolder + "/quillpost\" -s"}}));

  SaveWith(false);
  EXPECT_EQ(platform.startup.entries, Entries{});
  SaveWith(false);
  EXPECT_EQ(TestSupport::ReadAll(File()), "[app]\r\nwinstartup=0\r\n");
  EXPECT_EQ(platform.startup.entries, Entries{});
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{saved, saved, saved}));
}

TEST_F(SettingsDialogTest, CancelStoresNothing) {
  frmSettings dialog;
  dialog.show();
  dialog.chkStartup->setChecked(true);
  QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
  EXPECT_EQ(dialog.isVisible(), false);
  EXPECT_EQ(std::filesystem::exists(File()), false);
  EXPECT_EQ(platform.startup.entries, Entries{});
  EXPECT_EQ(mSettings::WinStartup, 0);
  EXPECT_EQ(platform.messageBox.shown.empty(), true);
}

TEST_F(SettingsDialogTest, SaveWritesAndRemovesTheSessionAutostartEntry) {
  TestSupport::TempFolder config;
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  const std::string kept = previous ? previous : "";
  ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  Services::Current().startup = DesktopStartup();
  const std::string entryFile = config.path() + "/autostart/Quillpost.desktop";
  auto entry = [](const std::string& exec) {
    return "[Desktop Entry]\nType=Application\nName=Quillpost\nExec=" + exec +
           "\nX-GNOME-Autostart-enabled=true\n";
  };

  SaveWith(true);
  EXPECT_EQ(TestSupport::ReadAll(entryFile),
            entry("\"" + platform.environment.programFolder + "/quillpost\" -s"));

  // Blanks need the quotes; '$' and '\' are escaped for the command, then '\' and '%' once more
  // for the entry file.
  platform.environment.programFolder = platform.root + "/my $prog %dir";
  std::filesystem::create_directories(platform.environment.programFolder);
  SaveWith(true);
  EXPECT_EQ(TestSupport::ReadAll(entryFile),
            entry("\"" + platform.root + "/my \\\\$prog %%dir/quillpost\" -s"));

  SaveWith(false);
  EXPECT_EQ(std::filesystem::exists(entryFile), false);
  SaveWith(false);
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{saved, saved, saved, saved}));

  if (previous) {
    ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
