#include "retrieval/CheckRun.h"

#include "core/TreeControl.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

using namespace mAppFunctions;
using TestSupport::ShownBox;

namespace {

const std::string kZeta = "http://feeds.test/zeta", kAlpha = "http://feeds.test/alpha",
                  kMid = "http://feeds.test/mid";

std::vector<int> Tally(const CheckOutcome& outcome) {  // checked, failed, skipped
  return {outcome.checked, outcome.failed, outcome.skipped};
}

std::string Paragraph(int count, const std::string& title) {
  return "You have " + std::to_string(count) + " New Messages \r\n in " + title +
         " account.\r\n\r\n";
}

// Three sources subscribed in the order Zeta, Alpha, Mid; each answers with the feed given.
class CheckRunTest : public TestData::DataFolderTest {
 protected:
  CheckRunTest() {
    AddSource("Zeta", kZeta);
    AddSource("Alpha", kAlpha);
    AddSource("Mid", kMid);
    EXPECT_EQ(mSubscriptions::LoadSubscriptions(tree), true);
  }
  void Answer(const std::string& link, const std::vector<std::string>& guids) {
    platform.http.answers[link] = {true, 200, TestData::FeedWithItems(guids), {}};
  }
  // The number of messages under each source node, in tree order.
  std::vector<std::size_t> Counts() {
    std::vector<std::size_t> counts;
    for (const auto* node : tree.TopLevelNodes()) counts.push_back(node->ChildCount());
    return counts;
  }
  TreeControl tree{"tvMessages"};
};

}  // namespace

TEST_F(CheckRunTest, AllSourcesRunInNodeListOrderAndTheQueueShrinksFromTheTop) {
  Answer(kZeta, {"z1", "z2"});
  Answer(kAlpha, {});
  Answer(kMid, {"m1"});
  CheckOutcome outcome;
  EXPECT_EQ(CheckTrigger(tree, true, &outcome), true);

  EXPECT_EQ(platform.http.fetched, (std::vector<std::string>{kZeta, kAlpha, kMid}));
  EXPECT_EQ(platform.progress.events,
            (std::vector<std::string>{"queue:Zeta|Alpha|Mid", "source:Zeta", "show", "remove",
                                      "source:Alpha", "show", "remove", "source:Mid", "show",
                                      "remove", "close"}));
  EXPECT_EQ(platform.progress.statuses.back(), "Server Communication complete.");
  // Tree order is by title: Alpha, Mid, Zeta.
  EXPECT_EQ(Counts(), (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(platform.progress.alerts,
            std::vector<std::string>{Paragraph(2, "Zeta") + Paragraph(1, "Mid")});
  EXPECT_EQ(Tally(outcome), (std::vector<int>{3, 0, 0}));
  EXPECT_EQ(tree.Enabled(), true);
  EXPECT_EQ(CheckRunning, false);
  EXPECT_EQ(CheckQueue.size(), 0u);
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});

  // A second run without new messages shows no alert.
  EXPECT_EQ(CheckTrigger(tree, true), true);
  EXPECT_EQ(platform.progress.alerts.size(), 1u);
}

// Regression: a transfer error must count as an empty answer, not stop the run.
TEST_F(CheckRunTest, AnEmptyOrFailedAnswerReportsOnceAndTheRunGoesOn) {
  Answer(kZeta, {"z1"});
  platform.http.answers[kAlpha] = {true, 200, "   ", {}};
  // Mid has no answer at all: a refused connection counts as an empty answer.
  CheckOutcome outcome;
  EXPECT_EQ(CheckTrigger(tree, true, &outcome), true);
  // Each got the parser's box for an empty answer.
  EXPECT_EQ(platform.messageBox.shown.size(), 2u);
  EXPECT_EQ(platform.messageBox.shown.at(1).title, "Error!");
  EXPECT_EQ(Counts(), (std::vector<std::size_t>{0, 0, 1}));
  EXPECT_EQ(Tally(outcome), (std::vector<int>{3, 2, 0}));
  EXPECT_EQ(platform.progress.alerts, std::vector<std::string>{Paragraph(1, "Zeta")});
}

TEST_F(CheckRunTest, OfflineShowsTheBoxAndQueuesNothing) {
  platform.network.connected = false;
  EXPECT_EQ(CheckTrigger(tree, true), false);
  const ShownBox offline{
      "Application failed to access Internet connection on this system. "
      "Please make sure you're working Online and Firewall is configured to "
      "allow Quillpost to access Internet connection Line.",
      "Working Offline?", 48};
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{offline});
  EXPECT_EQ(platform.http.fetched, std::vector<std::string>{});
  EXPECT_EQ(platform.progress.events, std::vector<std::string>{});
}

TEST_F(CheckRunTest, CurrentSourceChecksOnlyASelectedSourceNode) {
  Answer(kAlpha, {"a1"});
  tree.SetSelectedItem(tree.TopLevelNodes().at(0));
  EXPECT_EQ(CheckTrigger(tree, false), true);
  EXPECT_EQ(platform.http.fetched, std::vector<std::string>{kAlpha});

  // A message node selected: no download, no box, no busy window. (Loading made a new node.)
  platform.progress.events.clear();
  TreeControl::Node* alpha = tree.TopLevelNodes().at(0);
  ASSERT_EQ(alpha->ChildCount(), 1u);
  tree.SetSelectedItem(alpha->Child(0));
  CheckTrigger(tree, false);
  EXPECT_EQ(platform.http.fetched.size(), 1u);
  EXPECT_EQ(platform.progress.events, std::vector<std::string>{});
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});

  // An empty tree: nothing at all.
  tree.Clear();
  EXPECT_EQ(CheckTrigger(tree, true), false);
  EXPECT_EQ(platform.http.fetched.size(), 1u);
}

// Regressions: a second trigger while a run is under way would run the same queue twice; a
// queued link that no source has any more must be skipped, not stored under another source.
TEST_F(CheckRunTest, DuringARunASecondTriggerIsRefusedAndAnUnsubscribedLinkSkipped) {
  for (const auto& link : {kZeta, kAlpha, kMid}) Answer(link, {"x"});
  int refused = 0;
  platform.http.duringFetch = [&](const std::string& url) {
    // Without the refusal the runs would nest without end; this keeps that a plain failure.
    if (platform.http.fetched.size() > 3) return;
    if (!CheckTrigger(tree, true)) ++refused;
    if (url != kZeta) return;
    mSubscriptions::CurrentSource.Link = kAlpha;
    mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete);
  };
  CheckOutcome outcome;
  EXPECT_EQ(CheckTrigger(tree, true, &outcome), true);
  EXPECT_EQ(refused, 3);
  EXPECT_EQ(platform.http.fetched, (std::vector<std::string>{kZeta, kAlpha, kMid}));
  EXPECT_EQ(Tally(outcome), (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
  EXPECT_EQ(platform.progress.alerts,
            std::vector<std::string>{Paragraph(1, "Zeta") + Paragraph(1, "Mid")});
}
