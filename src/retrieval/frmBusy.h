#pragma once
// The busy window of a check run: which source is being checked, which are still queued and the
// transfer's state text, with a small animation. It never blocks: the run updates it between
// its steps. Ctrl+Alt+Q (on release of Q) closes it; the run goes on without it. "Stop", or
// Escape while it is the active window and no menu or box is open, ends the run: what was stored
// stays.
//
// BusyProgress is the progress service over it. It keeps what the window should show, so the
// window may be closed at any time (by the user, or with the main window) and comes back with
// the current state at the next Show.

#include "core/DesktopNotifications.h"
#include "core/Services.h"
#include "core/TrayAlert.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

// A turning ring of dots, drawn on a timer that runs only while it is shown.
class BusyAnimation : public QWidget {
  Q_OBJECT

 public:
  explicit BusyAnimation(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {32, 32}; }
  int Frame() const { return m_frame; }
  bool Running() const;

  static constexpr int kSpokes = 12;
  static constexpr int kFrameMs = 80;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTimer* m_timer = nullptr;
  int m_frame = 0;
};

class frmBusy : public QWidget {
  Q_OBJECT

 public:
  // anchor: the window to centre on (the main window); none or hidden: the screen's centre.
  explicit frmBusy(QWidget* anchor = nullptr);

  void SetQueue(const QStringList& titles);
  void RemoveFirst();
  void SetSource(const QString& title);
  void SetStatus(const QString& text);
  // Centres the window on the anchor when it is shown, otherwise on the screen.
  void PlaceOverAnchor();

  // The window's background, light grey.
  static constexpr int kBackgroundGrey = 245;
  // Translucency in percent where the desktop offers it.
  static constexpr int kTransparencyLevel = 10;

  QLabel* lblChecking = nullptr;
  BusyAnimation* imgQuillpost = nullptr;
  QLabel* lblSource = nullptr;
  QListWidget* lstQueue = nullptr;
  QLabel* lblStatus = nullptr;
  QPushButton* btnStop = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  QPointer<QWidget> m_anchor;
};

class BusyProgress : public Services::IProgress {
 public:
  // mainWindow may be null; the alert is the main window's tray alert.
  BusyProgress(QWidget* mainWindow, ucTrayAlert& alert);
  // With a tray alert of its own.
  explicit BusyProgress(QWidget* mainWindow = nullptr);
  ~BusyProgress() override;
  BusyProgress(const BusyProgress&) = delete;
  BusyProgress& operator=(const BusyProgress&) = delete;

  void SetQueue(const std::vector<std::string>& titles) override;
  void RemoveFirst() override;
  void SetSource(const std::string& title) override;
  void SetStatus(const std::string& text) override;
  void Show() override;
  void Close() override;
  void Alert(const std::string& summary) override;

  // The busy window while it exists (prepared or shown), otherwise null.
  frmBusy* Window() const { return m_window; }
  // Null when the alert it was given has gone.
  ucTrayAlert* TrayAlert() const { return m_alert; }
  // Notices go to the desktop's notification service while it is there, else to the alert.
  void SetNotifications(DesktopNotifications* notifications) { m_notifications = notifications; }

  static constexpr int kAlertMs = 6000;

 private:
  frmBusy* EnsureWindow();

  QPointer<QWidget> m_mainWindow;
  std::unique_ptr<ucTrayAlert> m_ownAlert;
  QPointer<ucTrayAlert> m_alert;
  QPointer<DesktopNotifications> m_notifications;
  QPointer<frmBusy> m_window;
  // What the window shows, kept while it is closed.
  QStringList m_queue;
  QString m_source;
  QString m_status;
};
