#include "core/DesktopNotifications.h"

#include "core/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

DesktopNotifications::DesktopNotifications(QObject* parent) : QObject(parent) {}

DesktopNotifications::~DesktopNotifications() = default;

bool DesktopNotifications::Available() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusConnectionInterface* names = bus.interface();
  if (!names) return false;
  if (names->isServiceRegistered(kService)) return true;
  const QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames"));
  const QDBusReply<QStringList> activatable = bus.call(call, QDBus::Block, kTimeoutMs);
  return activatable.isValid() && activatable.value().contains(kService);
}

bool DesktopNotifications::Show(const QString& text) {
  if (!Available()) return false;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!m_connected) {
    // Any sender: the signal only ever brings the window up.
    m_connected = bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                              SLOT(OnActionInvoked(uint, QString)));
  }
  const DesktopNotice::Notice notice = DesktopNotice::Compose(text.toStdString());
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                     QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quillpost"));
  call << QStringLiteral("Quillpost") << m_lastId << QStringLiteral("quillpost")
       << QString::fromStdString(notice.summary) << QString::fromStdString(notice.body)
       << QStringList{QStringLiteral("default"), QStringLiteral("Show Quillpost")} << hints
       << int(-1);
  const QDBusReply<uint> reply = bus.call(call, QDBus::Block, kTimeoutMs);
  if (!reply.isValid()) return false;
  m_lastId = reply.value();
  return true;
}

void DesktopNotifications::OnActionInvoked(uint id, const QString& action) {
  if (id == m_lastId && action == QLatin1String("default")) emit DefaultActionInvoked();
}
