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

#include <algorithm>
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
// queue, where the busy window (when shown) follows them in order, as if it had been fetched
// alone.
struct Slot {
  IHttp::TransferId id = 0;
  std::vector<int> states;
  bool front = false;
};

// The run under way: one slot per queue entry from the front, for the transfers started.
struct Run {
  std::deque<std::shared_ptr<Slot>> slots;
  bool stopped = false;
  // The busy window shows the run: by hand from its start, otherwise once asked for by hand.
  bool shown = false;
  // Every link the run set out to check, and its automatic failure lines for the notice.
  std::vector<std::string> links;
  std::string failureLines;
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
void StartTransfers(Run& run) {
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
      SourceState::Validators validators = SourceState::ValidatorsToSend(mInbox::SourceID);
      request.etag = std::move(validators.etag);
      request.lastModified = std::move(validators.lastModified);
    }
    auto slot = std::make_shared<Slot>();
    slot->id = http.Start(request, [slot, &run](int state) {
      if (slot->states.empty() || slot->states.back() != state) slot->states.push_back(state);
      if (slot->front && run.shown)
        Services::Progress().SetStatus(Download::TranslateINetState(state));
    });
    run.slots.push_back(std::move(slot));
  }
}

// The busy window takes the run as it stands: its queue, its source, the transfer's state.
void ShowInBusyWindow(Run& run) {
  auto& progress = Services::Progress();
  std::vector<std::string> titles;
  for (const auto& entry : CheckQueue) titles.push_back(TitleOf(entry));
  progress.SetQueue(titles);
  if (!CheckQueue.empty()) progress.SetSource(TitleOf(CheckQueue.front()));
  if (!run.slots.empty() && run.slots.front()->front && !run.slots.front()->states.empty())
    progress.SetStatus(Download::TranslateINetState(run.slots.front()->states.back()));
  progress.Show();
}

// Reports a source that could not be checked: by hand in a box that keeps the usual words and
// adds the source and the reason on a line of their own; in an automatic run in the notice.
void ReportFailure(const SourceFailure& failed, CheckMode mode, Run& run, CheckOutcome& outcome) {
  ++outcome.failed;
  outcome.failures.push_back(failed);
  if (mode == CheckMode::Automatic) {
    run.failureLines += "Could not check " + failed.title + ": " + failed.reason + "\r\n\r\n";
  } else {
    ShowFailureBox(failed);
  }
}

// Everything after the transfer: look the source up, store its new messages, reload its node.
void Process(const std::string& link, IHttp::Result answer, TreeControl& tree, CheckMode mode,
             Run& run, CheckOutcome& outcome) {
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
    // A transfer error counts as an empty answer.
    ReportFailure({mInbox::FeedFailure::Blank, title, answer.error, true}, mode, run, outcome);
  } else {
    const mInbox::FeedFailure failure = mInbox::StoreFeed(
        std::move(answer.text), title, {answer.etag, answer.lastModified, answer.date});
    if (failure != mInbox::FeedFailure::None)
      ReportFailure({failure, title, mInbox::FailureReason(failure)}, mode, run, outcome);
  }
  mInbox::LoadInbox(tree);
}

// The links a trigger asks for: every source node's, or the selected source node's.
std::vector<std::string> RequestedLinks(TreeControl& tree, bool all) {
  std::vector<std::string> links;
  for (TreeControl::Node* node : tree.TopLevelNodes()) {
    if (all || node->Selected()) links.push_back(node->Tag());
  }
  return links;
}

// Queues the source nodes whose links are asked for, in the order of the subscription file
// (the tree's own order changes as its nodes are reloaded); a node the file does not have
// (yet) comes last.
void QueueInFileOrder(TreeControl& tree, const std::vector<std::string>& links) {
  std::vector<TreeControl::Node*> nodes;
  for (TreeControl::Node* node : tree.TopLevelNodes()) {
    if (std::find(links.begin(), links.end(), node->Tag()) != links.end()) nodes.push_back(node);
  }
  std::vector<std::string> fileOrder;
  mSubscriptions::ReadLinks(fileOrder);
  auto place = [&fileOrder](const TreeControl::Node* node) {
    return std::find(fileOrder.begin(), fileOrder.end(), node->Tag()) - fileOrder.begin();
  };
  std::stable_sort(nodes.begin(), nodes.end(),
                   [&place](const auto* a, const auto* b) { return place(a) < place(b); });
  for (const TreeControl::Node* node : nodes) QueueSource(node->Text(), node->Tag());
}

bool Queue(TreeControl& tree, const std::vector<std::string>& links, CheckMode mode) {
  if (links.empty()) return true;
  if (!mGeneralFunctions::IsConnected()) {
    // The schedule tries again later; nobody asked for this run, so nobody is told.
    if (mode == CheckMode::Automatic) return false;
    Services::MessageBox().Show(kOfflineText, kOfflineTitle, Services::vbExclamation);
    return false;
  }
  QueueInFileOrder(tree, links);
  return true;
}

// Runs what Queue put in CheckQueue, by hand with the tree disabled meanwhile.
bool RunQueued(TreeControl& tree, CheckOutcome* outcome, CheckMode mode) {
  // An automatic run leaves the tree usable.
  const bool byHand = mode == CheckMode::ByHand;
  if (byHand) tree.SetEnabled(false);
  CheckOutcome result = RunCheck(tree, mode);
  // RunCheck returns only when the run is over; the loop is there for runs that end later.
  while (CheckRunning) {
    Services::Clock().ProcessEvents();
    mGeneralFunctions::Pause(5);
  }
  if (byHand) tree.SetEnabled(true);
  LastRunEndedMs = Services::Clock().NowMs();
  if (outcome) *outcome = std::move(result);
  return true;
}

}  // namespace

void ShowFailureBox(const SourceFailure& failed) {
  mInbox::ShowFeedFailure(failed.failure, failed.title,
                          failed.transfer ? failed.title + ": " + failed.reason : "");
}

const char* const kOfflineText =
    "Application failed to access Internet connection on this system. Please make sure you're "
    "working Online and Firewall is configured to allow Quillpost to access Internet connection "
    "Line.";

std::string StoppedText(int done, int of) {
  return "Check stopped after " + std::to_string(done) + " of " + std::to_string(of) +
         (of == 1 ? " source." : " sources.");
}

void QueueSource(const std::string& title, const std::string& link) {
  CheckQueue.push_back(title + kQueueSeparator + link);
}

bool BuildCheckQueue(TreeControl& tree, bool all, CheckMode mode) {
  return Queue(tree, RequestedLinks(tree, all), mode);
}

CheckOutcome RunCheck(TreeControl& tree, CheckMode mode) {
  CheckOutcome outcome;
  if (CheckQueue.empty()) return outcome;
  if (BeforeRun) BeforeRun(tree);
  auto& progress = Services::Progress();
  IHttp& http = Services::Http();
  mInbox::RunSummary.clear();

  Run run;
  run.shown = mode == CheckMode::ByHand;
  for (const auto& entry : CheckQueue) run.links.push_back(LinkOf(entry));
  outcome.queued = static_cast<int>(CheckQueue.size());
  if (run.shown) {
    std::vector<std::string> titles;
    for (const auto& entry : CheckQueue) titles.push_back(TitleOf(entry));
    progress.SetQueue(titles);
  }
  {
    RunningFlag running;
    g_run = &run;
    while (!CheckQueue.empty() && !run.stopped) {
      StartTransfers(run);
      Slot& slot = *run.slots.front();
      if (!slot.front) {
        slot.front = true;
        if (run.shown) {
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
      Process(LinkOf(CheckQueue.front()), std::move(answer), tree, mode, run, outcome);
      // The entry is taken only now, so a nested trigger cannot see a half-done queue.
      if (!CheckQueue.empty()) CheckQueue.pop_front();
      if (run.shown) progress.RemoveFirst();
      Services::Clock().ProcessEvents();
    }
    if (run.stopped) {
      for (const auto& slot : run.slots) http.Abort(slot->id);
      outcome.stopped = static_cast<int>(CheckQueue.size());
      CheckQueue.clear();
    }
    g_run = nullptr;
  }
  if (AfterRun) AfterRun(tree);

  outcome.summary = mInbox::RunSummary;
  if (run.stopped)
    outcome.summary += StoppedText(outcome.queued - outcome.stopped, outcome.queued) + "\r\n\r\n";
  if (run.shown) progress.Close();
  const std::string notice = outcome.summary + run.failureLines;
  if (!mGeneralFunctions::IsBlank(notice)) progress.Alert(notice);
  return outcome;
}

void StopCheck() {
  if (!g_run || g_run->stopped) return;
  g_run->stopped = true;
  // Aborting ends the wait for them at once.
  for (const auto& slot : g_run->slots) Services::Http().Abort(slot->id);
}

bool RunShown() { return g_run && g_run->shown; }

void ShowRunningCheck() {
  if (!g_run || g_run->stopped) return;
  g_run->shown = true;
  ShowInBusyWindow(*g_run);
}

bool CheckTrigger(TreeControl& tree, bool all, CheckOutcome* outcome, CheckMode mode) {
  if (tree.Count() == 0) return false;
  if (CheckRunning) {
    // The same queue twice would store everything twice: an automatic run waits for its next
    // turn, and a user who asked is shown the run, which takes their sources along when it has
    // them and is followed by a run of its own otherwise.
    if (mode == CheckMode::Automatic || !g_run) return false;
    const std::vector<std::string> links = RequestedLinks(tree, all);
    if (links.empty()) return false;
    const bool covered = std::all_of(links.begin(), links.end(), [](const std::string& link) {
      return std::find(g_run->links.begin(), g_run->links.end(), link) != g_run->links.end();
    });
    if (!covered) {
      PendingCheck& pending = Pending ? *Pending : Pending.emplace();
      pending.all = pending.all || all;
      for (const std::string& link : links) {
        if (std::find(pending.links.begin(), pending.links.end(), link) == pending.links.end())
          pending.links.push_back(link);
      }
    }
    ShowRunningCheck();
    return false;
  }
  if (!BuildCheckQueue(tree, all, mode)) return false;
  return RunQueued(tree, outcome, mode);
}

bool RunPending(TreeControl& tree) {
  if (CheckRunning || !Pending) return false;
  const PendingCheck pending = *Pending;
  Pending.reset();
  if (tree.Count() == 0) return false;
  if (!Queue(tree, pending.all ? RequestedLinks(tree, true) : pending.links, CheckMode::ByHand))
    return false;
  if (CheckQueue.empty()) return false;
  return RunQueued(tree, nullptr, CheckMode::ByHand);
}

}  // namespace mAppFunctions
