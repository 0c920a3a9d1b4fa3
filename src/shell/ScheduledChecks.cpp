#include "shell/ScheduledChecks.h"

#include "config/mSettings.h"
#include "core/Services.h"
#include "retrieval/CheckRun.h"
#include "shell/CheckServer.h"

#include <QTimer>

ScheduledChecks::ScheduledChecks(TreeControl& tree, QObject* parent)
    : QObject(parent),
      m_tree(tree),
      m_scheduleTimer(new QTimer(this)),
      m_pendingTimer(new QTimer(this)) {
  m_scheduleTimer->setSingleShot(true);
  connect(m_scheduleTimer, &QTimer::timeout, this, &ScheduledChecks::Look);
  connect(m_pendingTimer, &QTimer::timeout, this, [this] {
    if (mAppFunctions::Pending && ReaderIsFree()) mAppFunctions::RunPending(m_tree);
  });
  m_pendingTimer->start(CheckServer::kRetryMs);
}

void ScheduledChecks::Start() {
  mSettings::LoadSchedulerSettings();
  if (mSettings::SchedulerAtStart != 0) m_schedule.CheckAtStart();
  Apply();
}

void ScheduledChecks::Apply() {
  m_schedule.Configure(mSettings::SchedulerInterval, Services::Clock().NowMs());
  ScheduleNextLook();
}

void ScheduledChecks::Look() {
  // A run that falls due while a box is open, or while a handler lets events run, waits.
  const bool busy = !mAppFunctions::CheckRunning && !ReaderIsFree();
  if (Scheduler::Tick(m_schedule, m_tree, busy) == Scheduler::TickResult::Waiting) {
    m_scheduleTimer->start(CheckServer::kRetryMs);
    return;
  }
  ScheduleNextLook();
}

void ScheduledChecks::ScheduleNextLook() {
  const int delay = m_schedule.DelayMs(Services::Clock().NowMs());
  if (delay < 0) {
    m_scheduleTimer->stop();
  } else {
    m_scheduleTimer->start(delay);
  }
}
