#include "shell/Scheduler.h"

#include "core/Services.h"
#include "core/Timing.h"
#include "retrieval/CheckRun.h"

#include <algorithm>

namespace Scheduler {

void Schedule::Configure(int intervalMinutes, std::int64_t nowMs) {
  const std::int64_t intervalMs = std::int64_t{std::clamp(intervalMinutes, 0, kMaxMinutes)} * Timing::MinuteMs;
  if (intervalMs == m_intervalMs) return;
  m_intervalMs = intervalMs;
  m_anchorMs = nowMs;
}

bool Schedule::Due(std::int64_t nowMs, std::int64_t lastRunEndedMs) {
  if (lastRunEndedMs != m_seenRunEndMs) {
    // A check ended (by hand, by the schedule, or asked for from outside): count from its end.
    m_seenRunEndMs = lastRunEndedMs;
    m_anchorMs = lastRunEndedMs;
    m_atStart = false;
  }
  // The clock went back: count from now rather than wait for the old time to come again.
  m_anchorMs = std::min(m_anchorMs, nowMs);
  return m_atStart || (m_intervalMs > 0 && nowMs - m_anchorMs >= m_intervalMs);
}

void Schedule::Skipped(std::int64_t nowMs) {
  m_atStart = false;
  m_anchorMs = nowMs;
}

int Schedule::DelayMs(std::int64_t nowMs) const {
  if (m_atStart) return 0;
  if (m_intervalMs == 0) return -1;
  const std::int64_t left = m_anchorMs + m_intervalMs - nowMs;
  return static_cast<int>(std::clamp<std::int64_t>(left, 1'000, kLongestLookMs));
}

TickResult Tick(Schedule& schedule, TreeControl& tree, bool boxOpen) {
  using namespace mAppFunctions;
  if (!schedule.Due(Services::Clock().NowMs(), LastRunEndedMs)) return TickResult::NotDue;
  if (boxOpen && !CheckRunning) return TickResult::Waiting;
  schedule.Started();
  if (CheckTrigger(tree, true, nullptr, CheckMode::Automatic)) return TickResult::Ran;
  schedule.Skipped(Services::Clock().NowMs());
  return TickResult::Skipped;
}

}  // namespace Scheduler
