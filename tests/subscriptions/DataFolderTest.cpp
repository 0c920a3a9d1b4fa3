#include "core/mAppFunctions.h"
#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>

using TestSupport::FakePlatform;
using TestSupport::ReadAll;
using TestSupport::ShownBox;

namespace fs = std::filesystem;

namespace {
const ShownBox kFileMissingBox{
    "Failed to load Subscription List. Required Data File is missing or hidden. Please reinstall "
    "the application to resolve this issue.",
    "Subscription Data File not found!", 16};
}  // namespace

TEST(DataFolder, FreshFolderWithMissingParentsGetsTheInitialFile) {
  FakePlatform platform;
  platform.environment.appData = platform.root + "/new-home/.local/share";
  // The first subscription command initialises a blank DataPath itself.
  mSubscriptions::CurrentSource.Link = "http://h/feed";
  EXPECT_FALSE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Exists));
  EXPECT_EQ(mAppFunctions::DataPath, platform.environment.appData + "/Quillpost Data");
  EXPECT_EQ(ReadAll(mAppFunctions::DataPath + "/subscriptions.dat"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<!--\r\n"
            "Document   : subscriptions.dat\r\n"
            "Author     : Quillpost developers\r\n"
            "Description:\r\n"
            "    This file saves a complete list of all Messages Sources subscribed\r\n"
            "    under Quillpost application.\r\n"
            "-->\r\n"
            "<sources>\r\n"
            "</sources>\r\n"
            "\r\n");
  std::vector<mSubscriptions::MessageSource> sources{{"stale", "stale", "stale"}};
  EXPECT_TRUE(mSubscriptions::ReadSources(sources));
  EXPECT_EQ(sources, std::vector<mSubscriptions::MessageSource>{});
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

TEST(DataFolder, ExistingFolderWithoutTheFileIsReportedAndNotRepaired) {
  FakePlatform platform;
  const std::string folder = platform.environment.appData + "/Quillpost Data";
  fs::create_directory(folder);
  std::vector<mSubscriptions::MessageSource> sources;
  mSubscriptions::CurrentSource.Link = "http://h/feed";
  EXPECT_FALSE(mSubscriptions::ReadSources(sources));
  EXPECT_FALSE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Exists));
  EXPECT_FALSE(mSubscriptions::AddSource("T", "http://h/feed"));
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>(3, kFileMissingBox));
  EXPECT_FALSE(fs::exists(folder + "/subscriptions.dat"));
}

TEST(DataFolder, FolderThatCannotBeCreatedGivesTheErrorReport) {
  FakePlatform platform;
  TestSupport::WriteAll(platform.root + "/plain-file", "x");
  platform.environment.appData = platform.root + "/plain-file/share";
  mAppFunctions::InitializeDataFolder();
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{{"76 : \r\n\r\nPath not found", "Error !", 64}}));
  // Later commands find no file and say so.
  EXPECT_FALSE(mSubscriptions::AddSource("T", "http://h/feed"));
  EXPECT_EQ(platform.messageBox.shown.back(), kFileMissingBox);
}
