// The data folder and its subscription file as the first command finds them.
#include "core/mAppFunctions.h"
#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>

using TestSupport::ShownBox;
namespace fs = std::filesystem;

namespace {

const ShownBox kFileMissing{
    "Failed to load Subscription List. Required Data File is missing or hidden. Please reinstall "
    "the application to resolve this issue.",
    "Subscription Data File not found!", 16};

// Every subscription command on the folder: what each returned, then the boxes shown.
std::vector<bool> RunCommands() {
  std::vector<mSubscriptions::MessageSource> sources{{"stale", "stale", "stale"}};
  mSubscriptions::CurrentSource.Link = "http://h/feed";
  return {mSubscriptions::ManageSource(mSubscriptions::SourceAction::Exists),
          mSubscriptions::ReadSources(sources) && sources.empty(),
          mSubscriptions::AddSource("T", "http://h/feed")};
}

TEST(DataFolder, FreshFolderWithMissingParentsGetsTheInitialFile) {
  TestSupport::FakePlatform platform;
  platform.environment.appData = platform.root + "/new-home/.local/share";
  // The first command initialises a blank DataPath itself.
  mSubscriptions::CurrentSource.Link = "http://h/feed";
  EXPECT_EQ(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Exists), false);
  EXPECT_EQ(mAppFunctions::DataPath, platform.environment.appData + "/Quillpost Data");
  EXPECT_EQ(
      TestSupport::ReadAll(mAppFunctions::DataPath + "/subscriptions.dat"),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--\r\nDocument   : subscriptions.dat\r\n"
      "Author     : Quillpost developers\r\nDescription:\r\n    This file saves a complete "
      "list of all Messages Sources subscribed\r\n    under Quillpost application.\r\n-->\r\n"
      "<sources>\r\n</sources>\r\n\r\n");
  EXPECT_EQ(RunCommands(), (std::vector<bool>{false, true, true}));
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

TEST(DataFolder, ExistingFolderWithoutTheFileIsReportedAndNotRepaired) {
  TestSupport::FakePlatform platform;
  const std::string folder = platform.environment.appData + "/Quillpost Data";
  fs::create_directory(folder);
  EXPECT_EQ(RunCommands(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>(3, kFileMissing));
  EXPECT_EQ(fs::exists(folder + "/subscriptions.dat"), false);
}

TEST(DataFolder, FolderThatCannotBeCreatedGivesTheErrorReport) {
  TestSupport::FakePlatform platform;
  TestSupport::WriteAll(platform.root + "/plain-file", "x");
  platform.environment.appData = platform.root + "/plain-file/share";
  mAppFunctions::InitializeDataFolder();
  EXPECT_EQ(RunCommands(), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{{"76 : \r\n\r\nPath not found", "Error !", 64},
                                   kFileMissing,
                                   kFileMissing,
                                   kFileMissing}));
}

}  // namespace
