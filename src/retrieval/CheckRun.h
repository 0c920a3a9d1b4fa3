#pragma once
// A check run: the queue of sources to check, the run over it one source at a time, and the
// trigger that the menus, the tray and the message tree share.

#include <cstdint>
#include <deque>
#include <string>

class TreeControl;

namespace mAppFunctions {

// Entries are the source's title, the character 5 and its link; appended at the end, taken
// from the front. Lives for the whole run of the program.
inline std::deque<std::string> CheckQueue;
// True from the start of a run on its first source until the queue is empty.
inline bool CheckRunning = false;

inline constexpr char kQueueSeparator = '\x05';

// Who asked for a run. A run by hand shows the busy window and a box for each failure. An
// automatic run (the schedule) interrupts nobody: no busy window and no modal box; offline it
// does nothing (the schedule tries again later); a failing source is named in the summary
// notice, which appears only when something new arrived or something failed.
enum class CheckMode { ByHand, Automatic };

// When the last run ended (Services::Clock().NowMs()); 0 before the first.
inline std::int64_t LastRunEndedMs = 0;

// What a run did, for callers that report it (the headless check's exit status).
struct CheckOutcome {
  int checked = 0;  // sources downloaded and parsed
  int failed = 0;   // of these, the ones whose download or feed failed
  int skipped = 0;  // queued links that no source has any more
};

void QueueSource(const std::string& title, const std::string& link);

// Tests the connection and queues every source node (all) or the selected one. False, after the
// "Working Offline?" box, when the machine is offline; nothing is queued then.
bool BuildCheckQueue(TreeControl& tree, bool all);

// Works through the queue to its end: download, look the source up, store its new messages,
// reload its node. Shows progress through the progress service and the summary at the end.
CheckOutcome RunCheck(TreeControl& tree);

// The check trigger: nothing for an empty tree; refused while a run is under way; otherwise
// builds the queue, disables the tree for the run and enables it again. True when a run ran.
bool CheckTrigger(TreeControl& tree, bool all, CheckOutcome* outcome = nullptr,
                  CheckMode mode = CheckMode::ByHand);

}  // namespace mAppFunctions
