#pragma once
// A check run: the queue of sources to check, the run over it, and the trigger that the menus,
// the tray, the message tree and the schedule share. Transfers overlap (up to kMaxTransfers at
// once); everything else, from parsing and storing to boxes, busy-window rows and the summary,
// happens strictly in queue order, one source after the other.

#include "inbox/FeedParser.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TreeControl;

namespace mAppFunctions {

// Entries are the source's title, the character 5 and its link; appended at the end, taken
// from the front. Lives for the whole run of the program.
inline std::deque<std::string> CheckQueue;
// True from the start of a run on its first source until the queue is empty.
inline bool CheckRunning = false;

inline constexpr char kQueueSeparator = '\x05';

// Who asked for a run. A run by hand shows the busy window and a box for each failure. An
// automatic run (the schedule, a check asked for from outside) interrupts nobody: no busy window
// and no modal box; offline it does nothing (the schedule tries again later); a failing source is
// named in the summary notice, which appears only when something new arrived or something failed.
enum class CheckMode { ByHand, Automatic };

inline constexpr const char* kOfflineTitle = "Working Offline?";
extern const char* const kOfflineText;

// Called before a run's first source and after its last, with the tree: a sync merge there takes
// in what other machines did before the run stores, and passes on what it stored. Set for the
// program's run.
inline std::function<void(TreeControl&)> BeforeRun;
inline std::function<void(TreeControl&)> AfterRun;

// When the last run ended (Services::Clock().NowMs()); 0 before the first.
inline std::int64_t LastRunEndedMs = 0;

// Transfers under way at once (Qt's own limit per host).
inline constexpr int kMaxTransfers = 6;
// Answers that arrived ahead of their turn wait with their bytes; no further transfer starts
// while they hold this much, so a fast server cannot fill the memory.
inline constexpr std::size_t kMaxWaitingBytes = std::size_t{8} << 20;

// A source that could not be checked, with the reason in a few words.
struct SourceFailure {
  mInbox::FeedFailure failure = mInbox::FeedFailure::None;
  std::string title;
  std::string reason;
  bool transfer = false;  // the transfer failed (its box names the source and the reason)
  bool operator==(const SourceFailure&) const = default;
};

// The box a check by hand shows for the failure.
void ShowFailureBox(const SourceFailure& failed);

// What a run did, for callers that report it (the headless check's exit status).
struct CheckOutcome {
  int checked = 0;  // sources downloaded and parsed (or answered "not modified")
  int failed = 0;   // of these, the ones whose download or feed failed
  int skipped = 0;  // queued links that no source has any more
  int stopped = 0;  // queued sources left unchecked because the user stopped the run
  int queued = 0;   // the sources the run set out to check
  std::vector<SourceFailure> failures;  // in queue order
  // The new messages per source, and for a stopped run the line that says so: what a check
  // without windows prints.
  std::string summary;
};

// The line that ends the summary of a stopped run, so that the sources it did not reach do not
// look as if they had nothing new.
std::string StoppedText(int done, int of);

// A check asked for by hand while another run was under way, and not covered by it: it runs once
// that one is over (the window layer starts it when the reader is free). All sources, or the
// sources of these links.
struct PendingCheck {
  bool all = false;
  std::vector<std::string> links;
};
inline std::optional<PendingCheck> Pending;

void QueueSource(const std::string& title, const std::string& link);

// Tests the connection and queues every source node (all) or the selected one, in the order of
// the subscription file. False when the machine is offline, after the "Working Offline?" box for
// a run by hand; nothing is queued then.
bool BuildCheckQueue(TreeControl& tree, bool all, CheckMode mode = CheckMode::ByHand);

// Works through the queue to its end: download, look the source up, store its new messages,
// reload its node. By hand, progress shows in the busy window and failures in boxes; the summary
// comes at the end. A source whose stored validators the server confirms (304) is checked
// without any change.
CheckOutcome RunCheck(TreeControl& tree, CheckMode mode = CheckMode::ByHand);

// Ends the run under way at once: its transfers are aborted and the sources still queued are
// dropped; what was stored stays, and the summary covers what was checked. Nothing happens
// when no run is under way.
void StopCheck();

// Whether a run is shown in the busy window (by hand, or shown since).
bool RunShown();
// Shows the run under way in the busy window, with its queue and Stop; nothing without a run.
void ShowRunningCheck();

// The check trigger: nothing for an empty tree; otherwise builds the queue and runs it, by hand
// with the tree disabled meanwhile. True when a run ran. While a run is under way, an automatic
// trigger is refused; one by hand shows that run, and what it asks for that the run does not
// cover becomes Pending.
bool CheckTrigger(TreeControl& tree, bool all, CheckOutcome* outcome = nullptr,
                  CheckMode mode = CheckMode::ByHand);

// Runs the pending check, by hand, when there is one and no run is under way. True when it ran.
bool RunPending(TreeControl& tree);

}  // namespace mAppFunctions
