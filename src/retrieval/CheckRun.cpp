#include "retrieval/CheckRun.h"

#include "core/Services.h"
#include "core/TreeControl.h"
#include "core/mGeneralFunctions.h"
#include "inbox/FeedParser.h"
#include "inbox/InboxTree.h"
#include "inbox/SourceState.h"
#include "inbox/mInbox.h"
#include "retrieval/Download.h"
#include "subscriptions/mSubscriptions.h"

#include <memory>
#include <vector>

namespace mAppFunctions {

namespace {

using Services::IHttp;

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

// The transfer of one queue entry. Its states are kept until the entry reaches the front of the
// queue, where the busy window shows them in order, as if it had been fetched alone.
struct Slot {
  IHttp::TransferId id = 0;
  std::vector<int> states;
  bool front = false;
};

// The run under way: one slot per queue entry from the front, for the transfers started.
struct Run {
  std::deque<std::shared_ptr<Slot>> slots;
  bool stopped = false;
};
Run* g_run = nullptr;

// Looks the source of a queued link up: true, with CurrentSource and SourceID set to it, while
// it is subscribed.
bool FindSource(const std::string& link) {
  mSubscriptions::CurrentSource = {};
  mSubscriptions::CurrentSource.Link = link;
  mSubscriptions::ManageSource(mSubscriptions::SourceAction::Load);
  if (mSubscriptions::CurrentSource.ID.empty()) return false;
  mInbox::SourceID = mSubscriptions::CurrentSource.ID;
  return true;
}

// Starts the transfers of the next queue entries while fewer than kMaxTransfers are under way
// and the answers waiting hold less than kMaxWaitingBytes; the front's always starts.
void StartTransfers(Run& run, bool byHand) {
  IHttp& http = Services::Http();
  while (run.slots.size() < CheckQueue.size()) {
    int underWay = 0;
    std::size_t held = 0;
    for (const auto& slot : run.slots) {
      underWay += http.Finished(slot->id) ? 0 : 1;
      held += http.HeldBytes(slot->id);
    }
    if (!run.slots.empty() && (underWay >= kMaxTransfers || held >= kMaxWaitingBytes)) return;
    const std::string link = LinkOf(CheckQueue[run.slots.size()]);
    IHttp::Request request{link, {}, {}};
    if (FindSource(link)) {
      SourceState::Validators validators = SourceState::ValidatorsToSend();
      request.etag = std::move(validators.etag);
      request.lastModified = std::move(validators.lastModified);
    }
    auto slot = std::make_shared<Slot>();
    slot->id = http.Start(request, [slot, byHand](int state) {
      if (slot->front) {
        if (byHand) Services::Progress().SetStatus(Download::TranslateINetState(state));
      } else if (slot->states.empty() || slot->states.back() != state) {
        slot->states.push_back(state);
      }
    });
    run.slots.push_back(std::move(slot));
  }
}

// Reports a source that could not be checked: by hand in a box that keeps the usual words and
// adds the source and the reason on a line of their own; in an automatic run in the summary.
void ReportFailure(mInbox::FeedFailure failure, const std::string& title, const std::string& reason,
                   CheckMode mode) {
  if (mode == CheckMode::Automatic) {
    mInbox::RunSummary += "Could not check " + title + ": " + reason + "\r\n\r\n";
  } else {
    mInbox::ShowFeedFailure(failure, title,
                            failure == mInbox::FeedFailure::Blank ? title + ": " + reason : "");
  }
}

// Everything after the transfer: look the source up, store its new messages, reload its node.
void Process(const std::string& link, IHttp::Result answer, TreeControl& tree, CheckMode mode,
             CheckOutcome& outcome) {
  // The subscription may have gone while the run waited: then there is nothing to store.
  if (!FindSource(link)) {
    ++outcome.skipped;
    return;
  }
  ++outcome.checked;
  const std::string title = mSubscriptions::CurrentSource.Title;
  mInbox::NewMessageCount = 0;
  if (answer.notModified) {
    // Nothing new, and the inbox is as the tree shows it.
    return;
  }
  if (!answer.ok) {
    ++outcome.failed;
    // A transfer error counts as an empty answer.
    ReportFailure(mInbox::FeedFailure::Blank, title, answer.error, mode);
  } else {
    const mInbox::FeedFailure failure = mInbox::StoreFeed(
        std::move(answer.text), title, {answer.etag, answer.lastModified, answer.date});
    if (failure != mInbox::FeedFailure::None) {
      ++outcome.failed;
      if (mode == CheckMode::Automatic) {
        ReportFailure(failure, title, mInbox::FailureReason(failure), mode);
      } else {
        mInbox::ShowFeedFailure(failure, title);
      }
    }
  }
  mInbox::LoadInbox(tree);
}

}  // namespace

void QueueSource(const std::string& title, const std::string& link) {
  CheckQueue.push_back(title + kQueueSeparator + link);
}

bool BuildCheckQueue(TreeControl& tree, bool all, CheckMode mode) {
  if (!mGeneralFunctions::IsConnected()) {
    // The schedule tries again later; nobody asked for this run, so nobody is told.
    if (mode == CheckMode::Automatic) return false;
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

CheckOutcome RunCheck(TreeControl& tree, CheckMode mode) {
  CheckOutcome outcome;
  if (CheckQueue.empty()) return outcome;
  const bool byHand = mode == CheckMode::ByHand;
  auto& progress = Services::Progress();
  IHttp& http = Services::Http();
  if (byHand) {
    std::vector<std::string> titles;
    for (const auto& entry : CheckQueue) titles.push_back(TitleOf(entry));
    progress.SetQueue(titles);
  }
  mInbox::RunSummary.clear();

  Run run;
  {
    RunningFlag running;
    g_run = &run;
    while (!CheckQueue.empty() && !run.stopped) {
      StartTransfers(run, byHand);
      Slot& slot = *run.slots.front();
      if (!slot.front) {
        slot.front = true;
        if (byHand) {
          progress.SetSource(TitleOf(CheckQueue.front()));
          progress.Show();
          for (const int state : slot.states)
            progress.SetStatus(Download::TranslateINetState(state));
        }
      }
      if (!http.Finished(slot.id)) {
        http.WaitForAny();
        continue;
      }
      IHttp::Result answer = http.Take(slot.id);
      run.slots.pop_front();
      Process(LinkOf(CheckQueue.front()), std::move(answer), tree, mode, outcome);
      // The entry is taken only now, so a refused nested trigger cannot see a half-done queue.
      if (!CheckQueue.empty()) CheckQueue.pop_front();
      if (byHand) progress.RemoveFirst();
      Services::Clock().ProcessEvents();
    }
    if (run.stopped) {
      for (const auto& slot : run.slots) http.Abort(slot->id);
      outcome.stopped = static_cast<int>(CheckQueue.size());
      CheckQueue.clear();
    }
    g_run = nullptr;
  }

  if (byHand) progress.Close();
  if (!mGeneralFunctions::IsBlank(mInbox::RunSummary)) progress.Alert(mInbox::RunSummary);
  return outcome;
}

void StopCheck() {
  if (!g_run || g_run->stopped) return;
  g_run->stopped = true;
  // Aborting ends the wait for them at once.
  for (const auto& slot : g_run->slots) Services::Http().Abort(slot->id);
}

bool CheckTrigger(TreeControl& tree, bool all, CheckOutcome* outcome, CheckMode mode) {
  if (tree.Count() == 0) return false;
  // A second trigger while a run is under way would run the same queue twice.
  if (CheckRunning) return false;
  if (!BuildCheckQueue(tree, all, mode)) return false;
  // An automatic run leaves the tree usable.
  const bool byHand = mode == CheckMode::ByHand;
  if (byHand) tree.SetEnabled(false);
  const CheckOutcome result = RunCheck(tree, mode);
  // RunCheck returns only when the run is over; the loop is there for runs that end later.
  while (CheckRunning) {
    Services::Clock().ProcessEvents();
    mGeneralFunctions::Pause(5);
  }
  if (byHand) tree.SetEnabled(true);
  LastRunEndedMs = Services::Clock().NowMs();
  if (outcome) *outcome = result;
  return true;
}

}  // namespace mAppFunctions
