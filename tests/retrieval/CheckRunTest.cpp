#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "inbox/FeedParser.h"
#include "inbox/mInbox.h"
#include "retrieval/CheckRun.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

using namespace mAppFunctions;
using TestSupport::FakePlatform;

namespace {

std::string Feed(const std::vector<std::string>& guids) {
  return TestData::FeedWithItems(guids);
}

Services::IHttp::Result Answer(const std::string& body) { return {true, 200, body, {}}; }

// Three sources subscribed in the order Zeta, Alpha, Mid, with their links.
class CheckRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeDataFolder();
    ASSERT_TRUE(mSubscriptions::AddSource("Zeta", "http://feeds.test/zeta"));
    ASSERT_TRUE(mSubscriptions::AddSource("Alpha", "http://feeds.test/alpha"));
    ASSERT_TRUE(mSubscriptions::AddSource("Mid", "http://feeds.test/mid"));
    ASSERT_TRUE(mSubscriptions::LoadSubscriptions(tree));
  }

  int StoredCount(const std::string& title) {
    for (auto* node : tree.TopLevelNodes())
      if (node->Text() == title) return static_cast<int>(node->ChildCount());
    return -1;
  }

  FakePlatform platform;
  TreeControl tree{"tvMessages"};
};

}  // namespace

TEST_F(CheckRunTest, AllSourcesRunInNodeListOrderAndTheQueueShrinksFromTheTop) {
  platform.http.answers["http://feeds.test/zeta"] = Answer(Feed({"z1", "z2"}));
  platform.http.answers["http://feeds.test/alpha"] = Answer(Feed({}));
  platform.http.answers["http://feeds.test/mid"] = Answer(Feed({"m1"}));

  CheckOutcome outcome;
  ASSERT_TRUE(CheckTrigger(tree, true, &outcome));

  EXPECT_EQ(platform.http.fetched,
            (std::vector<std::string>{"http://feeds.test/zeta", "http://feeds.test/alpha",
                                      "http://feeds.test/mid"}));
  const std::vector<std::string> expected{
      "queue:Zeta|Alpha|Mid", "source:Zeta", "show",   "remove", "source:Alpha", "show", "remove",
      "source:Mid",           "show",        "remove", "close"};
  EXPECT_EQ(platform.progress.events, expected);
  EXPECT_TRUE(platform.progress.queue.empty());
  EXPECT_EQ(platform.progress.statuses.back(), "Server Communication complete.");
  EXPECT_EQ(StoredCount("Zeta"), 2);
  EXPECT_EQ(StoredCount("Mid"), 1);
  ASSERT_EQ(platform.progress.alerts.size(), 1u);
  EXPECT_EQ(platform.progress.alerts[0],
            "You have 2 New Messages \r\n in Zeta account.\r\n\r\n"
            "You have 1 New Messages \r\n in Mid account.\r\n\r\n");
  EXPECT_EQ(outcome.checked, 3);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_TRUE(tree.Enabled());
  EXPECT_FALSE(CheckRunning);
  EXPECT_TRUE(CheckQueue.empty());
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(CheckRunTest, AnEmptyOrFailedAnswerReportsOnceAndTheRunGoesOn) {
  platform.http.answers["http://feeds.test/zeta"] = Answer(Feed({"z1"}));
  platform.http.answers["http://feeds.test/alpha"] = Answer("   ");
  // Mid has no answer at all: a refused connection counts as an empty answer.
  CheckOutcome outcome;
  ASSERT_TRUE(CheckTrigger(tree, true, &outcome));

  ASSERT_EQ(platform.messageBox.shown.size(), 2u);
  for (const auto& box : platform.messageBox.shown) {
    EXPECT_EQ(box.title, "Error!");
    EXPECT_EQ(box.text,
              "Process of checking for new Messages failed! Server returned empty Data stream.");
    EXPECT_EQ(box.style, 48);
  }
  EXPECT_EQ(StoredCount("Zeta"), 1);
  EXPECT_EQ(outcome.failed, 2);
  EXPECT_EQ(platform.progress.alerts.size(), 1u);
}

TEST_F(CheckRunTest, ARunWithoutNewMessagesShowsNoAlert) {
  platform.http.answers["http://feeds.test/zeta"] = Answer(Feed({"z1"}));
  platform.http.answers["http://feeds.test/alpha"] = Answer(Feed({}));
  platform.http.answers["http://feeds.test/mid"] = Answer(Feed({}));
  ASSERT_TRUE(CheckTrigger(tree, true));
  platform.progress.alerts.clear();
  ASSERT_TRUE(CheckTrigger(tree, true));
  EXPECT_TRUE(platform.progress.alerts.empty());
  EXPECT_EQ(StoredCount("Zeta"), 1);
}

TEST_F(CheckRunTest, OfflineShowsTheBoxAndQueuesNothing) {
  platform.network.connected = false;
  EXPECT_FALSE(CheckTrigger(tree, true));
  ASSERT_EQ(platform.messageBox.shown.size(), 1u);
  EXPECT_EQ(platform.messageBox.shown[0].title, "Working Offline?");
  EXPECT_EQ(platform.messageBox.shown[0].text,
            "Application failed to access Internet connection on this system. Please make sure "
            "you're working Online and Firewall is configured to allow Quillpost to access "
            "Internet connection Line.");
  EXPECT_EQ(platform.messageBox.shown[0].style, 48);
  EXPECT_TRUE(platform.http.fetched.empty());
  EXPECT_TRUE(platform.progress.events.empty());
}

TEST_F(CheckRunTest, CurrentSourceChecksOnlyASelectedSourceNode) {
  platform.http.answers["http://feeds.test/alpha"] = Answer(Feed({"a1"}));
  tree.SetSelectedItem(tree.Find(tree.NodeAt(1)->Key()));  // Alpha
  ASSERT_TRUE(CheckTrigger(tree, false));
  EXPECT_EQ(platform.http.fetched, std::vector<std::string>{"http://feeds.test/alpha"});

  // A message node selected: no download, no box, no busy window.
  platform.http.fetched.clear();
  platform.progress.events.clear();
  TreeControl::Node* alpha = nullptr;
  for (auto* node : tree.TopLevelNodes())
    if (node->Text() == "Alpha") alpha = node;
  ASSERT_NE(alpha, nullptr);
  ASSERT_EQ(alpha->ChildCount(), 1u);
  tree.SetSelectedItem(alpha->Child(0));
  CheckTrigger(tree, false);
  EXPECT_TRUE(platform.http.fetched.empty());
  EXPECT_TRUE(platform.progress.events.empty());
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(CheckRunTest, ASecondTriggerDuringARunIsRefused) {
  platform.http.answers["http://feeds.test/zeta"] = Answer(Feed({"z1"}));
  platform.http.answers["http://feeds.test/alpha"] = Answer(Feed({"a1"}));
  platform.http.answers["http://feeds.test/mid"] = Answer(Feed({"m1"}));
  int refused = 0;
  platform.http.duringFetch = [&](const std::string&) {
    if (!CheckTrigger(tree, true)) ++refused;
  };
  ASSERT_TRUE(CheckTrigger(tree, true));
  EXPECT_EQ(refused, 3);
  EXPECT_EQ(platform.http.fetched.size(), 3u);
  EXPECT_TRUE(CheckQueue.empty());
}

TEST_F(CheckRunTest, ALinkUnsubscribedDuringTheRunIsSkipped) {
  platform.http.answers["http://feeds.test/zeta"] = Answer(Feed({"z1"}));
  platform.http.answers["http://feeds.test/alpha"] = Answer(Feed({"a1"}));
  platform.http.answers["http://feeds.test/mid"] = Answer(Feed({"m1"}));
  platform.http.duringFetch = [&](const std::string& url) {
    if (url != "http://feeds.test/zeta") return;
    mSubscriptions::CurrentSource.Link = "http://feeds.test/alpha";
    mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete);
  };
  CheckOutcome outcome;
  ASSERT_TRUE(CheckTrigger(tree, true, &outcome));
  EXPECT_EQ(outcome.skipped, 1);
  EXPECT_EQ(outcome.checked, 2);
  EXPECT_EQ(platform.http.fetched.size(), 3u);
  EXPECT_TRUE(platform.messageBox.shown.empty());
  EXPECT_EQ(platform.progress.alerts.at(0),
            "You have 1 New Messages \r\n in Zeta account.\r\n\r\n"
            "You have 1 New Messages \r\n in Mid account.\r\n\r\n");
}

TEST(CheckTriggerEmptyTree, DoesNothing) {
  FakePlatform platform;
  TreeControl tree("tvMessages");
  EXPECT_FALSE(CheckTrigger(tree, true));
  EXPECT_TRUE(platform.messageBox.shown.empty());
  EXPECT_TRUE(platform.http.fetched.empty());
}
