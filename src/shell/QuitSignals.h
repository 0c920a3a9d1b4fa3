#pragma once
// SIGTERM, SIGINT and SIGHUP end the reader as its Exit entry does, on its own thread, so that
// what it keeps for the next start (the counts, the index's last writes) is saved on the way
// out. A second signal of these ends the process at once, as it would have without this.

#include <QObject>

#include <functional>

class QSocketNotifier;

class QuitSignals : public QObject {
  Q_OBJECT

 public:
  // One at a time; quit runs on this object's thread when a signal came.
  explicit QuitSignals(std::function<void()> quit, QObject* parent = nullptr);
  ~QuitSignals() override;

 private:
  std::function<void()> m_quit;
  QSocketNotifier* m_notifier = nullptr;
};
