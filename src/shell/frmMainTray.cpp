// The main window's notification-area side: the tray icon and its menu, hiding into it and
// coming back from it (or from outside), and what minimising does.
#include "shell/frmMain.h"

#include "shell/frmSysTray.h"

#include <QEvent>
#include <QMdiArea>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

const QString kShow = QStringLiteral("Show");
const QString kHide = QStringLiteral("Hide");
constexpr int kInformationIcon = 1;

}  // namespace

// The tray icon's menu; its "show" and "exit" entries have handlers of their own.
struct frmMain::TrayEntry {
  const char* caption;
  const char* key;
  bool isDefault;
  void (frmMain::*command)();
};

const frmMain::TrayEntry frmMain::kTrayEntries[] = {
    {"Show", "show", true, nullptr},
    {"-", "", false, nullptr},
    {"Subscribe to New Source", "newsource", false, &frmMain::mnuMsgSourceNew_Click},
    {"Check for New Messages", "checkmsg", false, &frmMain::mnuMsgSourceCheckAll_Click},
    {"-", "", false, nullptr},
    {"Quillpost Dropbox", "dropbox", false, &frmMain::ToggleDropBox},
    {"-", "", false, nullptr},
    {"Scheduler", "scheduler", false, &frmMain::mnuToolsScheduler_Click},
    {"Settings", "settings", false, &frmMain::mnuToolsSettings_Click},
    {"-", "", false, nullptr},
    {"Help File", "helpfile", false, &frmMain::mnuHelpFile_Click},
    {"Contact Us", "email", false, &frmMain::mnuHelpEmail_Click},
    {"Visit our Website", "website", false, &frmMain::mnuHelpWebsite_Click},
    {"-", "", false, nullptr},
    {"Exit", "exit", false, nullptr},
};

frmSysTray* frmMain::SysTray() const { return oSysTray; }

bool frmMain::TrayAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void frmMain::AddToSystemTray() {
  if (!oSysTray) {
    oSysTray = new frmSysTray(this);
    for (const TrayEntry& entry : kTrayEntries) {
      oSysTray->AddMenuItem(QString::fromLatin1(entry.caption), QString::fromLatin1(entry.key),
                            entry.isDefault);
    }
    oSysTray->SetIcon(windowIcon());
    oSysTray->SetToolTip(windowTitle());
    oSysTray->ShowBalloonTip(QString::fromLatin1(kBalloonText), QString::fromLatin1(kBalloonTitle),
                             kInformationIcon, kBalloonMs);
    // The icon exists only from here on, so its events are wired here.
    connect(oSysTray, &frmSysTray::MenuClick, this, &frmMain::oSysTray_MenuClick);
    connect(oSysTray, &frmSysTray::SysTrayMouseDown, this, &frmMain::oSysTray_SysTrayMouseDown);
    connect(oSysTray, &frmSysTray::SysTrayDoubleClick, this, &frmMain::oSysTray_SysTrayDoubleClick);
    return;
  }
  oSysTray->SetMenuCaption(0, kShow);
  HideIntoTray();
}

void frmMain::HideIntoTray() {
  if (TrayAvailable()) {
    hide();
  } else if (!isMinimized()) {
    showMinimized();
  }
}

void frmMain::ShowFromTray() {
  if (oSysTray) oSysTray->SetMenuCaption(0, kHide);
  showNormal();
  raise();
  activateWindow();
}

void frmMain::ShowFromOutside() {
  if (!m_unloaded) ShowFromTray();
}

void frmMain::mnuFileSystray_Click() {
  // The first call only makes the icon; the second puts the window into it.
  if (!oSysTray) AddToSystemTray();
  AddToSystemTray();
}

void frmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized() || !oTabs || m_unloaded) return;
  // Hiding inside the state change itself confuses some window managers: do it right after.
  QTimer::singleShot(0, this, [this] {
    if (isMinimized() && !m_unloaded) AddToSystemTray();
  });
}

void frmMain::oSysTray_MenuClick(int /*index*/, const QString& key) {
  if (key == QLatin1String("show")) {
    if (oSysTray->MenuCaption(0) == kShow) {
      ShowFromTray();
    } else {
      oSysTray->SetMenuCaption(0, kShow);
      HideIntoTray();
    }
    return;
  }
  if (key == QLatin1String("exit")) {
    Exit();
    return;
  }
  for (const TrayEntry& entry : kTrayEntries) {
    if (entry.command && key == QLatin1String(entry.key)) {
      (this->*entry.command)();
      return;
    }
  }
}

void frmMain::oSysTray_SysTrayMouseDown(int button) {
  if (button == 2 && oSysTray) oSysTray->ShowMenu();
}

void frmMain::oSysTray_SysTrayDoubleClick(int /*button*/) {
  // What the balloon promises: the window comes up, as "Show" would bring it.
  if (oSysTray) ShowFromTray();
}
