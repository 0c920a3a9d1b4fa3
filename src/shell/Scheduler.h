#pragma once
// The automatic check: when it is due, driven by the clock service (never by real waiting, so
// tests jump the clock). The interval counts from the end of the last check, whoever started it,
// so a check by hand puts the next automatic one off. A check under way is never interrupted or
// doubled: a due check waits for it, and its end starts the interval again. After the machine
// wakes from sleep, or the clock jumps, at most one check catches up. A check that could not run
// (offline, nothing to check) is skipped: the interval starts again.

#include <cstdint>

class TreeControl;

namespace Scheduler {

inline constexpr int kPresetMinutes[] = {15, 30, 60, 120, 240};
inline constexpr int kMaxMinutes = 1440;
// The longest the reader's timer sleeps between two looks at the clock, so that a wake from
// sleep or a clock jump is seen soon.
inline constexpr int kLongestLookMs = 30'000;

class Schedule {
 public:
  // Every intervalMinutes (0: never). A changed interval counts from now.
  void Configure(int intervalMinutes, std::int64_t nowMs);
  // One check as soon as the reader looks (it was asked to check when it starts).
  void CheckAtStart() { m_atStart = true; }

  // Whether an automatic check should begin now, given when the last check ended (0: none yet).
  // One under way makes the trigger refuse, and its end starts the interval again.
  bool Due(std::int64_t nowMs, std::int64_t lastRunEndedMs);
  // The due check is starting: an at-start check is then done with.
  void Started() { m_atStart = false; }
  // The due check could not run; the interval starts again.
  void Skipped(std::int64_t nowMs);
  // How long the timer may sleep before the next look; -1: nothing is scheduled.
  int DelayMs(std::int64_t nowMs) const;

 private:
  std::int64_t m_intervalMs = 0;
  std::int64_t m_anchorMs = 0;  // the interval counts from here
  std::int64_t m_seenRunEndMs = 0;
  bool m_atStart = false;
};

enum class TickResult { NotDue, Ran, Skipped, Waiting };
// One look of the reader's timer: when the schedule says so, the automatic check of all sources.
// A due check that falls during a run is skipped; one due while a box or dialog is open waits
// for it to close (Waiting: look again soon), so that the box's answer is not held up by it.
TickResult Tick(Schedule& schedule, TreeControl& tree, bool boxOpen = false);

}  // namespace Scheduler
