#include "config/mSettings.h"

#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

using TestSupport::FakePlatform;
using TestSupport::ShownBox;

namespace {

struct Values {
  int left, top, trans, size, winStartup;
  bool operator==(const Values&) const = default;
};

void PrintTo(const Values& v, std::ostream* os) {
  *os << "{" << v.left << ", " << v.top << ", " << v.trans << ", " << v.size << ", " << v.winStartup
      << "}";
}

Values LoadAll() {
  mSettings::LoadDropBoxSettings();
  bool updateDialog = true;
  mSettings::LoadAppSettings(updateDialog);
  return {mSettings::DropBoxLeft, mSettings::DropBoxTop, mSettings::DropBoxTrans,
          mSettings::DropBoxSize, mSettings::WinStartup};
}

class SettingsTest : public ::testing::Test {
 protected:
  std::string File() { return mSettings::SettingsFile(); }
  void Write(const std::string& text) { TestSupport::WriteAll(File(), text); }
  std::string Read() { return TestSupport::ReadAll(File()); }

  FakePlatform platform;
};

TEST_F(SettingsTest, MissingFileGivesDefaultsAndLoadingWritesNothing) {
  EXPECT_EQ(File(), platform.environment.programFolder + "/settings.cfg");
  EXPECT_EQ(LoadAll(), (Values{0, 0, 1, 2, 0}));
  EXPECT_EQ(std::filesystem::exists(File()), false);
}

TEST_F(SettingsTest, BlankKeysGiveTheirDefaults) {
  Write("[dropbox]\r\nleft=   \r\ntop=\t\r\ntrans=  \r\nsize=\r\n[app]\r\nwinstartup=  \r\n");
  EXPECT_EQ(LoadAll(), (Values{0, 0, 1, 2, 0}));
}

TEST_F(SettingsTest, StoredValuesAreRead) {
  Write("[dropbox]\r\nleft=-450\r\ntop= 1350 \r\ntrans=3\r\nsize=0\r\n[app]\r\nwinstartup=1\r\n");
  EXPECT_EQ(LoadAll(), (Values{-450, 1350, 3, 0, 1}));
}

TEST_F(SettingsTest, HandEditedValuesAreClampedOrIgnored) {
  Write(
      "[dropbox]\r\nleft=40000\r\ntop=-99999999999999999999\r\ntrans=7\r\nsize=-1\r\n"
      "[app]\r\nwinstartup=5\r\n");
  EXPECT_EQ(LoadAll(), (Values{32767, -32768, 3, 0, 1}));

  // Not a number: as if missing.
  Write(
      "[dropbox]\r\nleft=12px\r\ntop=abc\r\ntrans=Low\r\nsize=&H1\r\n[app]\r\nwinstartup=yes\r\n");
  EXPECT_EQ(LoadAll(), (Values{0, 0, 1, 2, 0}));
}

TEST_F(SettingsTest, NumbersReadAsSixteenBits) {
  struct Row {
    const char* text;
    int expected;
  };
  const Row rows[] = {
      {"0", 0},         {"+12", 12},      {" -7 ", -7},       {"12.5", 12}, {"13.5", 14},
      {"-2.5", -2},     {"2.51", 3},      {"2.4999", 2},      {".5", 0},    {"7.", 7},
      {"32767", 32767}, {"32768", 32767}, {"-32769", -32768}, {"", 99},     {"   ", 99},
      {"-", 99},        {".", 99},        {"1 2", 99},        {"1e3", 99},  {"0x10", 99},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(mSettings::ReadInt16(row.text, 99), row.expected) << "\"" << row.text << "\"";
  }
}

TEST_F(SettingsTest, SavingWritesTheDropBoxKeysInOrder) {
  Write("[app]\r\nwinstartup=1\r\n");
  mSettings::DropBoxLeft = -15;
  mSettings::DropBoxTop = 1350;
  mSettings::DropBoxTrans = 3;
  mSettings::DropBoxSize = 0;
  mSettings::SaveDropBoxSettings();
  EXPECT_EQ(Read(),
            "[app]\r\nwinstartup=1\r\n[dropbox]\r\nleft=-15\r\ntop=1350\r\ntrans=3\r\nsize=0\r\n");

  mSettings::DropBoxSize = 2;
  mSettings::SaveDropBoxSettings();
  EXPECT_EQ(LoadAll(), (Values{-15, 1350, 3, 2, 1}));
}

TEST(StartupCommandTest, QuotesTheFullPathAndAddsNoExtension) {
  EXPECT_EQ(mSettings::StartupCommand("quillpost", "/opt/Quill Post/", "-s"),
            "\"/opt/Quill Post/quillpost\" -s");
  EXPECT_EQ(mSettings::StartupCommand("quillpost", "/opt/qp", "-s"), "\"/opt/qp/quillpost\" -s");
  EXPECT_EQ(mSettings::StartupCommand("quill.bin", "/opt/qp/", "  "), "\"/opt/qp/quill.bin\"");
  EXPECT_EQ(mSettings::StartupCommand("qp", "/a\"b/c`d/$HOME/e\\f/", "-s"),
            "\"/a\\\"b/c\\`d/\\$HOME/e\\\\f/qp\" -s");
}

TEST_F(SettingsTest, SavingAppSettingsRegistersThenRemovesTheStartupEntry) {
  const std::string command = "\"" + platform.environment.programFolder + "/quillpost\" -s";
  const ShownBox saved{"Settings are successfully saved!", "Done!", 64};

  mSettings::WinStartup = 1;
  mSettings::SaveAppSettings();
  EXPECT_EQ(Read(), "[app]\r\nwinstartup=1\r\n");
  EXPECT_EQ(platform.startup.entries,
            (std::vector<std::pair<std::string, std::string>>{{"Quillpost", command}}));

  mSettings::WinStartup = 0;
  mSettings::SaveAppSettings();
  mSettings::SaveAppSettings();
  EXPECT_EQ(Read(), "[app]\r\nwinstartup=0\r\n");
  EXPECT_EQ(platform.startup.entries.empty(), true);
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{saved, saved, saved}));
}

class RefusingStartup : public Services::IStartup {
 public:
  bool SetCommand(const std::string&, const std::string&) override { return false; }
  bool Remove(const std::string&) override { return false; }
};

class BrokenStartup : public Services::IStartup {
 public:
  bool SetCommand(const std::string&, const std::string&) override {
    throw std::runtime_error("autostart folder is a file");
  }
  bool Remove(const std::string&) override { return true; }
};

TEST_F(SettingsTest, FailuresAreReportedInsteadOfTheConfirmation) {
  RefusingStartup refusing;
  Services::Current().startup = &refusing;
  mSettings::WinStartup = 1;
  mSettings::SaveAppSettings();

  BrokenStartup broken;
  Services::Current().startup = &broken;
  mSettings::SaveAppSettings();

  // A program folder that cannot take the file.
  Services::Current().startup = &platform.startup;
  platform.environment.programFolder = platform.root + "/missing";
  mSettings::WinStartup = 0;
  mSettings::SaveAppSettings();

  const std::string notRegistered =
      "The program could not be registered to start with the session.";
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {notRegistered, "Settings not saved!", 48},
                {"autostart folder is a file", "Source: SetStartupOption Function", 16},
                {notRegistered, "Settings not saved!", 48},
                {"Settings could not be saved to " + platform.root + "/missing/settings.cfg.",
                 "Settings not saved!", 48}}));
}

}  // namespace
