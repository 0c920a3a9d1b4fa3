#include "config/frmSettings.h"

#include "config/mSettings.h"
#include "core/PosixServices.h"
#include "support/FakeServices.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using TestSupport::ReadAll;
using Entries = std::vector<std::pair<std::string, std::string>>;

namespace {

// Opens the dialog, sets the box and clicks the button; whether the box showed the stored choice.
bool ClickWith(bool checked, QPushButton* frmSettings::*button = &frmSettings::btnSave) {
  frmSettings dialog;
  dialog.show();
  const bool shown = dialog.chkStartup->isChecked();
  dialog.chkStartup->setChecked(checked);
  QTest::mouseClick(dialog.*button, Qt::LeftButton);
  EXPECT_EQ(dialog.isVisible(), false);
  return shown;
}

}  // namespace

TEST(SettingsDialog, TheBoxShowsTheStoredChoiceAndSaveStoresItCancelNothing) {
  TestSupport::FakePlatform platform;
  EXPECT_EQ(ClickWith(true, &frmSettings::btnCancel), false);
  EXPECT_EQ(std::filesystem::exists(mSettings::SettingsFile()), false);
  EXPECT_EQ(ClickWith(true), false);
  EXPECT_EQ(ReadAll(mSettings::SettingsFile()), "[app]\r\nwinstartup=1\r\n");
  EXPECT_EQ(
      platform.startup.entries,
      (Entries{{"Quillpost", "\"" + platform.environment.programFolder + "/quillpost\" -s"}}));
  EXPECT_EQ(ClickWith(false), true);
  EXPECT_EQ(ReadAll(mSettings::SettingsFile()), "[app]\r\nwinstartup=0\r\n");
  EXPECT_EQ(platform.startup.entries, Entries{});
  const TestSupport::ShownBox saved{"Settings are successfully saved!", "Done!", 64};
  EXPECT_EQ(platform.messageBox.shown, (std::vector{saved, saved}));
}

// The sync folder row reaches its handler on Save: a refusal is shown and keeps the window open
// with nothing saved; the folder in use unchanged asks nothing.
TEST(SettingsDialog, TheSyncFolderGoesToItsHandlerAndARefusalKeepsTheWindowOpen) {
  TestSupport::FakePlatform platform;
  std::vector<std::string> asked;
  frmSettings dialog;
  dialog.ShowSyncFolder("/home/u/Sync", [&](const std::string& folder) {
    asked.push_back(folder);
    return folder == "/bad" ? std::string("Refused.") : std::string();
  });
  dialog.show();
  EXPECT_EQ(dialog.txtSyncFolder->text(), QStringLiteral("/home/u/Sync"));
  dialog.txtSyncFolder->setText(QStringLiteral(" /bad "));
  QTest::mouseClick(dialog.btnSave, Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<TestSupport::ShownBox>{{"Refused.", frmSettings::kSyncRefusalTitle, 48}}));
  EXPECT_EQ(std::filesystem::exists(mSettings::SettingsFile()), false);
  dialog.txtSyncFolder->clear();
  QTest::mouseClick(dialog.btnSave, Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(asked, (std::vector<std::string>{"/bad", ""}));
}

// The desktop's own start-up service: the entry file escapes the command once more.
TEST(XdgStartup, WritesAndRemovesTheSessionAutostartEntry) {
  TestSupport::TempFolder config;
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  const std::string kept = previous ? previous : "";
  ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  PosixServices::XdgStartup startup;
  const std::string entry = config.File("autostart/Quillpost.desktop");
  EXPECT_EQ(startup.SetCommand("Quillpost", "\"/my \\$prog %dir/quillpost\" -s"), true);
  EXPECT_EQ(ReadAll(entry),
            "[Desktop Entry]\nType=Application\nName=Quillpost\nExec=\"/my \\\\$prog "
            "%%dir/quillpost\" -s\nX-GNOME-Autostart-enabled=true\n");
  EXPECT_EQ((std::vector{startup.Remove("Quillpost"), startup.Remove("Quillpost")}),
            (std::vector{true, true}));
  EXPECT_EQ(std::filesystem::exists(entry), false);
  previous ? ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}
