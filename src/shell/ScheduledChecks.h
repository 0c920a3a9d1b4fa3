#pragma once
// The reader's automatic checks on its own timers: the settings' schedule (Scheduler), a check
// that falls due while a box or dialog is open waiting for it to close, and a check asked for by
// hand during another run following that run once the reader is free.

#include "shell/Scheduler.h"

#include <QObject>

class QTimer;
class TreeControl;

class ScheduledChecks : public QObject {
  Q_OBJECT

 public:
  ScheduledChecks(TreeControl& tree, QObject* parent);

  // At the reader's start: the settings' schedule, with its check at start.
  void Start();
  // The settings' schedule again (the Scheduler dialog saved it).
  void Apply();

 private:
  void Look();
  void ScheduleNextLook();

  TreeControl& m_tree;
  Scheduler::Schedule m_schedule;
  QTimer* m_scheduleTimer;
  QTimer* m_pendingTimer;
};
