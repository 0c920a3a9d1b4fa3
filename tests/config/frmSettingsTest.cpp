#include "config/frmSettings.h"

#include "config/mSettings.h"
#include "core/PosixServices.h"
#include "support/FakeServices.h"

#include <QCheckBox>
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

// Opens the dialog, sets the box and clicks the button.
void ClickWith(bool checked, bool save = true) {
  frmSettings dialog;
  dialog.show();
  dialog.chkStartup->setChecked(checked);
  QTest::mouseClick(save ? dialog.btnSave : dialog.btnCancel, Qt::LeftButton);
  EXPECT_EQ(dialog.isVisible(), false);
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  std::string File() { return mSettings::SettingsFile(); }

  FakePlatform platform;
  const ShownBox saved{"Settings are successfully saved!", "Done!", 64};
};

TEST_F(SettingsDialogTest, ShowsTheStoredChoiceAndCancelStoresNothing) {
  ClickWith(true, false);
  EXPECT_EQ(std::filesystem::exists(File()), false);
  EXPECT_EQ(platform.startup.entries, Entries{});

  TestSupport::WriteAll(File(), "[app]\r\nwinstartup=1\r\n");
  frmSettings dialog;
  EXPECT_EQ(dialog.chkStartup->isChecked(), true);
  EXPECT_EQ(platform.messageBox.shown.empty(), true);
}

TEST_F(SettingsDialogTest, SaveRegistersTheStartAndUncheckedSaveRemovesIt) {
  ClickWith(true);
  EXPECT_EQ(TestSupport::ReadAll(File()), "[app]\r\nwinstartup=1\r\n");
  EXPECT_EQ(
      platform.startup.entries,
      (Entries{{"Quillpost", "\"" + platform.environment.programFolder + "/quillpost\" -s"}}));

  ClickWith(false);
  ClickWith(false);
  EXPECT_EQ(TestSupport::ReadAll(File()), "[app]\r\nwinstartup=0\r\n");
  EXPECT_EQ(platform.startup.entries, Entries{});
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{saved, saved, saved}));
}

TEST_F(SettingsDialogTest, SaveWritesAndRemovesTheSessionAutostartEntry) {
  TestSupport::TempFolder config;
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  const std::string kept = previous ? previous : "";
  ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  // The desktop's own start-up service.
  PosixServices::XdgStartup desktop;
  Services::Current().startup = &desktop;

  const std::string entryFile = config.path() + "/autostart/Quillpost.desktop";
  auto entry = [](const std::string& exec) {
    return "[Desktop Entry]\nType=Application\nName=Quillpost\nExec=" + exec +
           "\nX-GNOME-Autostart-enabled=true\n";
  };
  ClickWith(true);
  EXPECT_EQ(TestSupport::ReadAll(entryFile),
            entry("\"" + platform.environment.programFolder + "/quillpost\" -s"));

  // '$' is escaped for the command, then its backslash and '%' once more for the entry file.
  platform.environment.programFolder = platform.root + "/my $prog %dir";
  std::filesystem::create_directories(platform.environment.programFolder);
  ClickWith(true);
  EXPECT_EQ(TestSupport::ReadAll(entryFile),
            entry("\"" + platform.root + "/my \\\\$prog %%dir/quillpost\" -s"));

  ClickWith(false);
  EXPECT_EQ(std::filesystem::exists(entryFile), false);
  ClickWith(false);
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{saved, saved, saved, saved}));

  if (previous) {
    ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
