#include "core/QtServices.h"

#include "core/WindowFunctions.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkInformation>
#include <QNetworkInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

namespace QtServices {

int DesktopMessageBox::Show(const std::string& text, const std::string& title, int style) {
  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(title));
  box.setText(QString::fromStdString(text));
  switch (style & 0x70) {
    case Services::vbCritical:
      box.setIcon(QMessageBox::Critical);
      break;
    case Services::vbQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case Services::vbExclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case Services::vbInformation:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  const int buttons = style & 7;
  const bool second = (style & Services::vbDefaultButton2) != 0;
  if (buttons == 4) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  } else if (buttons == 1) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(second ? QMessageBox::Cancel : QMessageBox::Ok);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Services::vbYes;
    case QMessageBox::No:
      return Services::vbNo;
    case QMessageBox::Cancel:
      return Services::vbCancel;
    default:
      return Services::vbOK;
  }
}

void DesktopShell::Open(const std::string& target, const FailureHandler& onFailure) {
  const QString text = QString::fromStdString(target);
  const QUrl url = QFileInfo::exists(text) ? QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath())
                                           : QUrl::fromUserInput(text);
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) {
    if (!QDesktopServices::openUrl(url))
      onFailure("no program for it was found on this desktop (xdg-open is not installed).");
    return;
  }
  // Kept until xdg-open ends, which for some desktops is when the program it started ends.
  auto* process = new QProcess(QCoreApplication::instance());
  process->setStandardOutputFile(QProcess::nullDevice());
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [process, onFailure](QProcess::ProcessError error) {
                     if (error != QProcess::FailedToStart) return;
                     onFailure("xdg-open could not be started: " +
                               process->errorString().toStdString() + ".");
                     process->deleteLater();
                   });
  QObject::connect(
      process, &QProcess::finished, process,
      [process, onFailure](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        if (status == QProcess::NormalExit && code == 0) return;
        // What xdg-open's exit status means; else its last words.
        std::string reason = process->readAllStandardError().trimmed().split('\n').last().toStdString();
        if (status == QProcess::NormalExit && code == 2) reason = "the file does not exist";
        if (status == QProcess::NormalExit && code == 3)
          reason = "no program for it was found on this desktop";
        if (reason.empty() || (status == QProcess::NormalExit && code == 4))
          reason = "the program meant to open it failed";
        onFailure(reason + ".");
      });
  process->start(opener, {url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
}

bool DesktopNetworkState::IsConnected() {
  if (!m_triedBackend) {
    m_triedBackend = true;
    QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
  }
  if (auto* info = QNetworkInformation::instance()) {
    const auto reach = info->reachability();
    if (reach == QNetworkInformation::Reachability::Disconnected) return false;
    if (reach != QNetworkInformation::Reachability::Unknown) return true;
  }
  // No backend: online when any interface other than loopback is up and running.
  for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
    const auto flags = iface.flags();
    if ((flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning) &&
        !(flags & QNetworkInterface::IsLoopBack))
      return true;
  }
  return false;
}

bool DesktopWindowSystem::OpacitySupported() { return WindowFunctions::CanPlaceWindows(); }

void DesktopClock::Sleep(int milliseconds) {
  if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

namespace {
int g_processEventsDepth = 0;
}

void DesktopClock::ProcessEvents() {
  if (!QCoreApplication::instance()) return;
  ++g_processEventsDepth;
  QCoreApplication::processEvents();
  --g_processEventsDepth;
}

int DesktopClock::Depth() { return g_processEventsDepth; }

}  // namespace QtServices
