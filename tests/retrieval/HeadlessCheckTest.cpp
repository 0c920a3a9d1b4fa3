// `quillpost --check` as cron runs it: a real process against the loopback feed server.

#include "TestPaths.h"
#include "core/mAppFunctions.h"
#include "feedserver/FeedServer.h"
#include "subscriptions/mSubscriptions.h"
#include "support/ChildProcess.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <filesystem>

using namespace std::chrono_literals;
using TestSupport::ChildProcess;
using TestSupport::FakePlatform;
using TestSupport::FeedServer;
using TestSupport::ReadAll;

namespace {

QByteArray Feed(const std::vector<std::string>& guids) {
  std::string text = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>c</title>";
  for (const auto& g : guids)
    text += "<item><title>" + g +
            "</title><description>d</description>"
            "<pubDate>Sat, 05 Dec 2026 09:18:46 GMT</pubDate><guid>" +
            g + "</guid></item>";
  text += "</channel></rss>";
  return QByteArray::fromStdString(text);
}

struct RunResult {
  int status = -1;
  std::string out, err;
};

class HeadlessCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Listen());
    std::filesystem::create_directory(platform.root + "/runtime");
    mAppFunctions::InitializeDataFolder();
  }

  RunResult Check() {
    const std::string out = platform.root + "/out.txt", err = platform.root + "/err.txt";
    ChildProcess child(QP_PROGRAM_PATH, {"--check"},
                       {"XDG_DATA_HOME=" + platform.environment.appData,
                        "XDG_RUNTIME_DIR=" + platform.root + "/runtime",
                        "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="},
                       out, err);
    RunResult result;
    const auto status = child.Wait(60s);
    if (status) result.status = *status;
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    return result;
  }

  FakePlatform platform;
  FeedServer server{FeedServer::Threading::Own};
};

}  // namespace

TEST_F(HeadlessCheck, AllSourcesCheckedPrintsTheSummaryAndExitsZero) {
  server.Serve("/one", Feed({"a", "b"}));
  server.Serve("/two", Feed({"c"}));
  ASSERT_TRUE(mSubscriptions::AddSource("One", server.Url("/one")));
  ASSERT_TRUE(mSubscriptions::AddSource("Two", server.Url("/two")));

  auto run = Check();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "You have 2 New Messages \n in One account.\n\nYou have 1 New Messages \n in Two "
            "account.\n\n");
  EXPECT_EQ(run.err, "");

  // Nothing new the second time: nothing printed, still a success.
  run = Check();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
}

TEST_F(HeadlessCheck, AFailedSourceGoesToStandardErrorAndExitsOne) {
  server.Serve("/one", Feed({"a"}));
  server.SetStatus("/gone", 404, "not here");
  ASSERT_TRUE(mSubscriptions::AddSource("Gone", server.Url("/gone")));
  ASSERT_TRUE(mSubscriptions::AddSource("One", server.Url("/one")));

  const auto run = Check();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "You have 1 New Messages \n in One account.\n\n");
  EXPECT_EQ(run.err,
            "Error!\nProcess of checking for new Messages failed! Server returned empty Data "
            "stream.\n");
}

TEST_F(HeadlessCheck, NoRunPossibleExitsTwo) {
  // Damaged subscription file.
  TestSupport::WriteAll(mSubscriptions::SubscriptionFilePath(), "<sources><source");
  auto run = Check();
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "Failed to load Subscription List.\nFailed to load Subscription List. Invalid File "
            "format or file is damaged. Please reinstall the application to resolve this "
            "issue.\n");

  // Missing subscription file.
  std::filesystem::remove(mSubscriptions::SubscriptionFilePath());
  run = Check();
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "Subscription Data File not found!");
  EXPECT_FALSE(std::filesystem::exists(mSubscriptions::SubscriptionFilePath()));

  // Another instance holds the lock.
  mAppFunctions::DataPath.clear();
  std::filesystem::remove_all(platform.environment.appData + "/Quillpost Data");
  mAppFunctions::InitializeDataFolder();
  const std::string lock = platform.root + "/runtime/QUILLPOST2710INSTANCE.lock";
  const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  run = Check();
  ::close(fd);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
            "Previous Instance of application is still Running!");
}

TEST(HeadlessHelp, ListsTheSwitches) {
  TestSupport::TempFolder dir;
  ChildProcess child(QP_PROGRAM_PATH, {"--help"}, {}, dir.File("out"), dir.File("err"));
  ASSERT_EQ(child.Wait(30s), 0);
  const std::string out = ReadAll(dir.File("out"));
  EXPECT_NE(out.find("--check"), std::string::npos);
  EXPECT_NE(out.find("-s "), std::string::npos);

  ChildProcess bad(QP_PROGRAM_PATH, {"--no-such-switch"}, {}, dir.File("out2"), dir.File("err2"));
  EXPECT_EQ(bad.Wait(30s), 2);
}
