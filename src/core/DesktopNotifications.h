#pragma once
// The desktop's own notification service (org.freedesktop.Notifications on the session bus),
// used for the program's notices when the service runs or can be started by the bus. Each notice
// replaces the one before it, carries the program's icon, and its default action (a click on it)
// asks for the main window. Without a session bus, or without the service, Show answers false and
// the program shows its own notice; nothing is printed either way.

#include <QObject>
#include <QString>

class QDBusInterface;

class DesktopNotifications : public QObject {
  Q_OBJECT

 public:
  explicit DesktopNotifications(QObject* parent = nullptr);
  ~DesktopNotifications() override;

  // The service is on the bus now, or the bus can start it.
  bool Available();
  // Sends the notice (the text as the own notice shows it); false when it could not be sent.
  bool Show(const QString& text);

  static constexpr int kTimeoutMs = 3000;  // the longest a call to the bus may take

 signals:
  // The user clicked the notice (its default action).
  void DefaultActionInvoked();

 private slots:
  void OnActionInvoked(uint id, const QString& action);

 private:
  bool m_connected = false;
  uint m_lastId = 0;
};
