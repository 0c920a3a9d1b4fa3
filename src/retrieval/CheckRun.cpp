#include "retrieval/CheckRun.h"

#include "core/Services.h"
#include "core/TreeControl.h"
#include "core/mGeneralFunctions.h"
#include "inbox/FeedParser.h"
#include "inbox/InboxTree.h"
#include "inbox/mInbox.h"
#include "retrieval/Download.h"
#include "subscriptions/mSubscriptions.h"

#include <vector>

namespace mAppFunctions {

namespace {

std::string TitleOf(const std::string& entry) {
  return entry.substr(0, entry.find(kQueueSeparator));
}

std::string LinkOf(const std::string& entry) {
  const auto at = entry.find(kQueueSeparator);
  return at == std::string::npos ? std::string() : entry.substr(at + 1);
}

// Clears the flag however the run ends, so a failure cannot leave every later trigger refused.
struct RunningFlag {
  RunningFlag() { CheckRunning = true; }
  ~RunningFlag() { CheckRunning = false; }
};

}  // namespace

void QueueSource(const std::string& title, const std::string& link) {
  CheckQueue.push_back(title + kQueueSeparator + link);
}

bool BuildCheckQueue(TreeControl& tree, bool all) {
  if (!mGeneralFunctions::IsConnected()) {
    Services::MessageBox().Show(
        "Application failed to access Internet connection on this system. Please make sure "
        "you're working Online and Firewall is configured to allow Quillpost to access Internet "
        "connection Line.",
        "Working Offline?", Services::vbExclamation);
    return false;
  }
  for (TreeControl::Node* node : tree.NodeList()) {
    if (!node->IsTopLevel()) continue;
    if (all) {
      QueueSource(node->Text(), node->Tag());
    } else if (node->Selected()) {
      QueueSource(node->Text(), node->Tag());
      break;
    }
  }
  return true;
}

CheckOutcome RunCheck(TreeControl& tree) {
  CheckOutcome outcome;
  if (CheckQueue.empty()) return outcome;
  auto& progress = Services::Progress();
  std::vector<std::string> titles;
  for (const auto& entry : CheckQueue) titles.push_back(TitleOf(entry));
  progress.SetQueue(titles);
  mInbox::RunSummary.clear();

  {
    RunningFlag running;
    while (!CheckQueue.empty()) {
      const std::string entry = CheckQueue.front();
      const std::string link = LinkOf(entry);
      progress.SetSource(TitleOf(entry));
      progress.Show();

      const auto answer = Services::Http().FetchText(link, [&progress](int state) {
        progress.SetStatus(Download::TranslateINetState(state));
      });

      // The subscription may have gone while the run waited: then there is nothing to store.
      mSubscriptions::CurrentSource = {};
      mSubscriptions::CurrentSource.Link = link;
      mSubscriptions::ManageSource(mSubscriptions::SourceAction::Load);
      if (mSubscriptions::CurrentSource.ID.empty()) {
        ++outcome.skipped;
      } else {
        mInbox::SourceID = mSubscriptions::CurrentSource.ID;
        // A transfer error reaches the parser as an empty answer, which it reports. Both
        // sides are names, so a large answer is not copied.
        static const std::string kNoAnswer;
        const bool parsed = mInbox::ParseFeed(answer.ok ? answer.text : kNoAnswer,
                                              mSubscriptions::CurrentSource.Title);
        ++outcome.checked;
        if (!answer.ok || !parsed) ++outcome.failed;
        mInbox::LoadInbox(tree);
      }

      // The entry is taken only now, so a refused nested trigger cannot see a half-done queue.
      if (!CheckQueue.empty()) CheckQueue.pop_front();
      progress.RemoveFirst();
      Services::Clock().ProcessEvents();
    }
  }

  progress.Close();
  if (!mGeneralFunctions::IsBlank(mInbox::RunSummary)) progress.Alert(mInbox::RunSummary);
  return outcome;
}

bool CheckTrigger(TreeControl& tree, bool all, CheckOutcome* outcome, CheckMode /*mode*/) {
  if (tree.Count() == 0) return false;
  // A second trigger while a run is under way would run the same queue twice.
  if (CheckRunning) return false;
  if (!BuildCheckQueue(tree, all)) return false;
  tree.SetEnabled(false);
  const CheckOutcome result = RunCheck(tree);
  // RunCheck returns only when the run is over; the loop is there for runs that end later.
  while (CheckRunning) {
    Services::Clock().ProcessEvents();
    mGeneralFunctions::Pause(5);
  }
  tree.SetEnabled(true);
  LastRunEndedMs = Services::Clock().NowMs();
  if (outcome) *outcome = result;
  return true;
}

}  // namespace mAppFunctions
