#include "shell/frmMain.h"

#include "config/frmSettings.h"
#include "core/AppInfo.h"
#include "core/Services.h"
#include "core/TrayAlert.h"
#include "core/WindowFunctions.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "presentation/MessageActions.h"
#include "presentation/PanelActions.h"
#include "presentation/frmDoc.h"
#include "presentation/frmOptions.h"
#include "retrieval/CheckRun.h"
#include "retrieval/frmBusy.h"
#include "shell/frmSysTray.h"
#include "subscriptions/frmDropBox.h"
#include "subscriptions/frmSubscrListManager.h"
#include "subscriptions/frmSubscribe.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTimer>
#include <QTreeView>

// The resources live in a static library: their registration must be pulled in by name.
static void InitQuillpostResources() { Q_INIT_RESOURCE(Quillpost); }

namespace {

struct TrayEntry {
  const char* caption;
  const char* key;
  bool isDefault;
};

constexpr TrayEntry kTrayEntries[] = {
    {"Show", "show", true},
    {"-", "", false},
    {"Subscribe to New Source", "newsource", false},
    {"Check for New Messages", "checkmsg", false},
    {"-", "", false},
    {"Quillpost Dropbox", "dropbox", false},
    {"-", "", false},
    {"Scheduler", "scheduler", false},
    {"Settings", "settings", false},
    {"-", "", false},
    {"Help File", "helpfile", false},
    {"Contact Us", "email", false},
    {"Visit our Website", "website", false},
    {"-", "", false},
    {"Exit", "exit", false},
};

const QString kShow = QStringLiteral("Show");
const QString kHide = QStringLiteral("Hide");
constexpr int kInformationIcon = 1;

QAction* AddEntry(QMenu* menu, const char* name, const QString& caption,
                  const QKeySequence& shortcut = {}) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(shortcut);
  return action;
}

QAction* AddLine(QMenu* menu, const char* name) {
  QAction* line = menu->addSeparator();
  line->setObjectName(QString::fromLatin1(name));
  return line;
}

QMenu* AddMenu(QMenuBar* bar, const char* name, const QString& caption) {
  QMenu* menu = bar->addMenu(caption);
  menu->setObjectName(QString::fromLatin1(name));
  return menu;
}

frmDoc* DocumentOf(QMdiSubWindow* window) {
  return window ? qobject_cast<frmDoc*>(window->widget()) : nullptr;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
  InitQuillpostResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/quillpost.svg")));
  resize(960, 680);
  BuildMenus();

  // A check run shows itself in the busy window over this one and ends in the tray alert.
  m_trayAlert = std::make_unique<ucTrayAlert>();
  m_progress = std::make_unique<BusyProgress>(this, *m_trayAlert);
  m_previousProgress = Services::Current().progress;
  Services::Current().progress = m_progress.get();
}

frmMain::~frmMain() {
  if (Services::Current().progress == m_progress.get())
    Services::Current().progress = m_previousProgress;
  delete oSysTray.data();
  // The drop box has no owner (it stays up while this window hides in the tray).
  delete m_dropBox.data();
}

TreeControl& frmMain::MessageTree() { return m_options->Tree(); }

frmDoc* frmMain::LastDocument() const { return oDoc; }

frmSysTray* frmMain::SysTray() const { return oSysTray; }

void frmMain::BuildMenus() {
  QMenuBar* bar = menuBar();

  mnuFile = AddMenu(bar, "mnuFile", QStringLiteral("&File"));
  mnuFileSystray = AddEntry(mnuFile, "mnuFileSystray", QStringLiteral("&Minimize to System Tray"),
                            QKeySequence(Qt::CTRL | Qt::Key_T));
  mnuFileLine1 = AddLine(mnuFile, "mnuFileLine1");
  mnuFileSaveAs = AddEntry(mnuFile, "mnuFileSaveAs", QStringLiteral("&Save As"),
                           QKeySequence(Qt::CTRL | Qt::Key_S));
  mnuFilePrint = AddEntry(mnuFile, "mnuFilePrint", QStringLiteral("&Print"),
                          QKeySequence(Qt::CTRL | Qt::Key_P));
  mnuFileLine3 = AddLine(mnuFile, "mnuFileLine3");
  mnuFileCloseCurrent = AddEntry(mnuFile, "mnuFileCloseCurrent", QStringLiteral("Close &Draft"));
  mnuFileCloseAll = AddEntry(mnuFile, "mnuFileCloseAll", QStringLiteral("Close &All"),
                             QKeySequence(Qt::SHIFT | Qt::Key_F4));
  mnuFileLine2 = AddLine(mnuFile, "mnuFileLine2");
  mnuFileExit =
      AddEntry(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

  mnuMsgSource = AddMenu(bar, "mnuMsgSource", QStringLiteral("Message Sources"));
  mnuMsgSourceNew =
      AddEntry(mnuMsgSource, "mnuMsgSourceNew", QStringLiteral("Subscribe to &New Source"),
               QKeySequence(Qt::CTRL | Qt::Key_N));
  mnuMsgSourceLine1 = AddLine(mnuMsgSource, "mnuMsgSourceLine1");
  mnuMsgSourceCheckCurrent =
      AddEntry(mnuMsgSource, "mnuMsgSourceCheckCurrent", QStringLiteral("Check for New &Messages"),
               QKeySequence(Qt::Key_F5));
  mnuMsgSourceCheckAll = AddEntry(mnuMsgSource, "mnuMsgSourceCheckAll",
                                  QStringLiteral("Check &All Sources for New Messages"),
                                  QKeySequence(Qt::CTRL | Qt::Key_F5));
  mnuMsgSourceLine2 = AddLine(mnuMsgSource, "mnuMsgSourceLine2");
  mnuMsgSourceManage =
      AddEntry(mnuMsgSource, "mnuMsgSourceManage", QStringLiteral("&Subscription List Manager"),
               QKeySequence(Qt::Key_F3));

  mnuTools = AddMenu(bar, "mnuTools", QStringLiteral("&Tools"));
  mnuToolsDropBox = AddEntry(mnuTools, "mnuToolsDropBox", QStringLiteral("Quillpost &DropBox"),
                             QKeySequence(Qt::Key_F9));
  mnuToolsDropBox->setCheckable(true);
  mnuToolsLine1 = AddLine(mnuTools, "mnuToolsLine1");
  mnuToolsScheduler = AddEntry(mnuTools, "mnuToolsScheduler", QStringLiteral("&Scheduler"),
                               QKeySequence(Qt::Key_F4));
  mnuToolsLine2 = AddLine(mnuTools, "mnuToolsLine2");
  mnuToolsSettings = AddEntry(mnuTools, "mnuToolsSettings", QStringLiteral("Se&ttings"),
                              QKeySequence(Qt::CTRL | Qt::Key_F4));
  mnuSysLine = AddLine(mnuTools, "mnuSysLine");
  mnuSysDropBox = AddEntry(mnuTools, "mnuSysDropBox", QStringLiteral("Quillpost DropBox"));

  mnuHelp = AddMenu(bar, "mnuHelp", QStringLiteral("&Help"));
  mnuHelpFile =
      AddEntry(mnuHelp, "mnuHelpFile", QStringLiteral("Help &File"), QKeySequence(Qt::Key_F1));
  mnuHelpLine1 = AddLine(mnuHelp, "mnuHelpLine1");
  mnuHelpEmail = AddEntry(mnuHelp, "mnuHelpEmail", QStringLiteral("Contact Us"),
                          QKeySequence(Qt::CTRL | Qt::Key_F1));
  mnuHelpWebsite = AddEntry(mnuHelp, "mnuHelpWebsite", QStringLiteral("Visit our Website"),
                            QKeySequence(Qt::SHIFT | Qt::Key_F1));
  mnuHelpLine2 = AddLine(mnuHelp, "mnuHelpLine2");
  mnuHelpLine2->setVisible(false);
  mnuHelpAbout = AddEntry(mnuHelp, "mnuHelpAbout", QStringLiteral("About"));
  mnuHelpAbout->setVisible(false);

  // The message popup is a menu of the bar that never shows there.
  mnuPopupSource = AddMenu(bar, "mnuPopupSource", QStringLiteral("PopupTreeview"));
  mnuPopupSource->menuAction()->setVisible(false);
  mnuPopupSourceShow = AddEntry(mnuPopupSource, "mnuPopupSourceShow", QStringLiteral("Show"));
  AddLine(mnuPopupSource, "mnuPopupSourceLine1");
  mnuPopupSourceDel = AddEntry(mnuPopupSource, "mnuPopupSourceDel", QStringLiteral("Delete"));
  AddLine(mnuPopupSource, "mnuPopupSourceLine2");
  mnuPopupSourceRead =
      AddEntry(mnuPopupSource, "mnuPopupSourceRead", QStringLiteral("Mark as Read"));
  mnuPopupSourceUnread =
      AddEntry(mnuPopupSource, "mnuPopupSourceUnread", QStringLiteral("Mark as Unread"));
  AddLine(mnuPopupSource, "mnuPopupSourceLine3");
  mnuPopupSourceExport = mnuPopupSource->addMenu(QStringLiteral("Export to File"));
  mnuPopupSourceExport->setObjectName(QStringLiteral("mnuPopupSourceExport"));
  const QString exportCaptions[] = {QStringLiteral("HTML File (*.html)"),
                                    QStringLiteral("Text File (*.txt)"),
                                    QStringLiteral("Email File (*.eml)")};
  for (int index = 0; index < 3; ++index) {
    QAction* entry =
        AddEntry(mnuPopupSourceExport, "mnuPopupSourceExportOpt", exportCaptions[index]);
    entry->setData(index);
    mnuPopupSourceExportOpt[static_cast<std::size_t>(index)] = entry;
  }
}

void frmMain::Form_Load(const std::string& arguments) {
  setWindowTitle(QString::fromStdString(AppInfo::kMainWindowTitle +
                                        mGeneralFunctions::ApplicationBuild(true, true)));

  // The panel fills its tree from the subscription file as it loads.
  m_options = new frmOptions(*this);
  ucFormDock = new QDockWidget(m_options->windowTitle(), this);
  ucFormDock->setObjectName(QStringLiteral("frmOptions"));
  // No close button: nothing would bring the panel back.
  ucFormDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  ucFormDock->setWidget(m_options);
  addDockWidget(Qt::LeftDockWidgetArea, ucFormDock);
  resizeDocks({ucFormDock}, {280}, Qt::Horizontal);
  m_options->SetPopupMenu(mnuPopupSource);

  oTabs = new QMdiArea(this);
  oTabs->setObjectName(QStringLiteral("oTabs"));
  oTabs->setViewMode(QMdiArea::TabbedView);
  oTabs->setTabsClosable(true);
  oTabs->setTabsMovable(false);
  oTabs->setDocumentMode(true);
  setCentralWidget(oTabs);

  CreateConnections();

  if (arguments == "-s") {
    AddToSystemTray();
    // Without a notification area the window must stay reachable: minimised, not hidden.
    if (!TrayAvailable()) showMinimized();
  } else {
    show();
  }
  // Keyboard users start in the message list.
  m_options->TreeView()->setFocus();

  mAppFunctions::InitializeDataFolder();
}

void frmMain::CreateConnections() {
  connect(mnuMsgSourceNew, &QAction::triggered, this, &frmMain::mnuMsgSourceNew_Click);
  connect(mnuMsgSourceCheckCurrent, &QAction::triggered, this,
          &frmMain::mnuMsgSourceCheckCurrent_Click);
  connect(mnuMsgSourceCheckAll, &QAction::triggered, this, &frmMain::mnuMsgSourceCheckAll_Click);
  connect(mnuMsgSourceManage, &QAction::triggered, this, &frmMain::mnuMsgSourceManage_Click);
  connect(mnuToolsDropBox, &QAction::triggered, this, &frmMain::mnuToolsDropBox_Click);
  connect(mnuSysDropBox, &QAction::triggered, this, &frmMain::ToggleDropBox);
  connect(mnuToolsScheduler, &QAction::triggered, this, &frmMain::mnuToolsScheduler_Click);
  connect(mnuToolsSettings, &QAction::triggered, this, &frmMain::mnuToolsSettings_Click);
  connect(mnuHelpFile, &QAction::triggered, this, &frmMain::mnuHelpFile_Click);
  connect(mnuHelpEmail, &QAction::triggered, this, &frmMain::mnuHelpEmail_Click);
  connect(mnuHelpWebsite, &QAction::triggered, this, &frmMain::mnuHelpWebsite_Click);

  connect(mnuPopupSourceShow, &QAction::triggered, this, &frmMain::mnuPopupSourceShow_Click);
  connect(mnuPopupSourceDel, &QAction::triggered, this, &frmMain::mnuPopupSourceDel_Click);
  connect(mnuPopupSourceRead, &QAction::triggered, this, &frmMain::mnuPopupSourceRead_Click);
  connect(mnuPopupSourceUnread, &QAction::triggered, this, &frmMain::mnuPopupSourceUnread_Click);
  for (QAction* entry : mnuPopupSourceExportOpt) {
    connect(entry, &QAction::triggered, this,
            [this, index = entry->data().toInt()] { mnuPopupSourceExportOpt_Click(index); });
  }

  connect(m_options, &frmOptions::SettingsRequested, this, &frmMain::mnuToolsSettings_Click);

  // The strip's own close handling would close the tab's window behind our back.
  if (auto* strip = oTabs->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly)) {
    disconnect(strip, &QTabBar::tabCloseRequested, oTabs, nullptr);
    connect(strip, &QTabBar::tabCloseRequested, this, &frmMain::oTabs_CloseWindow);
  }
}

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

void frmMain::ToggleDropBox() {
  // The drop box's presence is this check mark.
  if (mnuToolsDropBox->isChecked()) {
    if (m_dropBox) m_dropBox->close();
    mnuToolsDropBox->setChecked(false);
    return;
  }
  // No owner: the box stays up while this window hides in the tray.
  m_dropBox = new frmDropBox;
  connect(m_dropBox, &frmDropBox::LinkDropped, this, &frmMain::OpenSubscribeWithLink);
  connect(m_dropBox, &frmDropBox::Unloaded, this, &frmMain::oDropBox_Unloaded);
  m_dropBox->show();
  mnuToolsDropBox->setChecked(true);
}

frmDropBox* frmMain::DropBox() const { return m_dropBox; }

void frmMain::oDropBox_Unloaded() {
  // However the box closes (its own Close, the window manager), the mark follows.
  mnuToolsDropBox->setChecked(false);
}

void frmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized() || !oTabs || m_unloaded) return;
  // Hiding inside the state change itself confuses some window managers: do it right after.
  QTimer::singleShot(0, this, [this] {
    if (isMinimized() && !m_unloaded) AddToSystemTray();
  });
}

void frmMain::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void frmMain::Form_Unload() {
  if (m_unloaded) return;
  m_unloaded = true;
  // Deleting the tray object removes the icon.
  delete oSysTray.data();
  WindowFunctions::UnloadAllForms();
  emit Unloaded();
}

void frmMain::mnuMsgSourceNew_Click() {
  frmSubscribe dialog(MessageTree(), this);
  dialog.exec();
}

void frmMain::OpenSubscribeWithLink(const QString& link) {
  if (!m_subscribe) {
    m_subscribe = new frmSubscribe(MessageTree(), this);
    m_subscribe->setAttribute(Qt::WA_DeleteOnClose);
  }
  m_subscribe->SetLink(link);
  m_subscribe->show();
  m_subscribe->raise();
  m_subscribe->activateWindow();
}

void frmMain::mnuMsgSourceCheckCurrent_Click() {
  mAppFunctions::CheckTrigger(MessageTree(), false);
}

void frmMain::mnuMsgSourceCheckAll_Click() { mAppFunctions::CheckTrigger(MessageTree(), true); }

void frmMain::mnuMsgSourceManage_Click() {
  // Modal without an owner, but placed over this window.
  frmSubscrListManager dialog(MessageTree(), this);
  dialog.move(frameGeometry().center() - dialog.rect().center());
  dialog.exec();
}

void frmMain::mnuToolsDropBox_Click(bool checked) {
  // The action has already flipped its own mark; ToggleDropBox decides from the mark before.
  mnuToolsDropBox->setChecked(!checked);
  ToggleDropBox();
}

void frmMain::mnuToolsScheduler_Click() {
  Services::MessageBox().Show(kSchedulerText, AppInfo::kTitle, Services::vbOKOnly);
}

void frmMain::mnuToolsSettings_Click() {
  if (m_settings) {
    m_settings->raise();
    m_settings->activateWindow();
    return;
  }
  // Modal over this window; it saves and closes itself, so nothing here waits for it.
  m_settings = new frmSettings(this);
  m_settings->setAttribute(Qt::WA_DeleteOnClose);
  m_settings->setWindowModality(Qt::ApplicationModal);
  m_settings->show();
}

void frmMain::mnuHelpFile_Click() { PanelActions::OpenHelpFile(); }

void frmMain::mnuHelpEmail_Click() { PanelActions::ContactUs(); }

void frmMain::mnuHelpWebsite_Click() { PanelActions::VisitWebsite(); }

void frmMain::mnuPopupSourceShow_Click() { MessageActions::ShowSelected(MessageTree(), *this); }

void frmMain::mnuPopupSourceDel_Click() { MessageActions::DeleteSelected(MessageTree(), *this); }

void frmMain::mnuPopupSourceRead_Click() { MessageActions::MarkSelected(MessageTree(), true); }

void frmMain::mnuPopupSourceUnread_Click() { MessageActions::MarkSelected(MessageTree(), false); }

void frmMain::mnuPopupSourceExportOpt_Click(int index) {
  MessageActions::ExportSelected(MessageTree(), index);
}

QMdiSubWindow* frmMain::ActiveDocument() const {
  // The current tab's window, whether or not the application has the focus.
  return oTabs ? oTabs->currentSubWindow() : nullptr;
}

void frmMain::oTabs_CloseWindow(int tabIndex) {
  // A tab's close button acts on its own window: that window becomes the active one first, so
  // closing the active document never closes one the user did not point at.
  const auto windows = oTabs->subWindowList(QMdiArea::CreationOrder);
  if (tabIndex >= 0 && tabIndex < windows.size()) oTabs->setActiveSubWindow(windows[tabIndex]);
  if (QMdiSubWindow* active = ActiveDocument()) active->close();
}

bool frmMain::FocusDocument(const std::string& itemId) {
  if (!oTabs) return false;
  for (QMdiSubWindow* window : oTabs->subWindowList(QMdiArea::CreationOrder)) {
    frmDoc* doc = DocumentOf(window);
    if (doc && doc->ItemID() == itemId) {
      oTabs->setActiveSubWindow(window);
      doc->setFocus();
      return true;
    }
  }
  return false;
}

void frmMain::OpenDocument(const std::string& itemId, const std::string& caption,
                           const std::string& pagePath) {
  if (!oTabs) return;
  auto* doc = new frmDoc(nullptr, m_viewFactory);
  QMdiSubWindow* window = oTabs->addSubWindow(doc);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowIcon(QIcon(QStringLiteral(":/icons/read.svg")));
  // The window's own Close takes Ctrl+F4 too, which would leave Settings without its key.
  if (QMenu* systemMenu = window->systemMenu()) {
    const QKeySequence settingsKey = mnuToolsSettings->shortcut();
    for (QAction* action : systemMenu->actions()) {
      QList<QKeySequence> keys = action->shortcuts();
      if (keys.removeAll(settingsKey) > 0) action->setShortcuts(keys);
    }
  }
  oDoc = doc;
  // In tabbed mode a window that is not maximised stays a small frame inside its tab.
  window->showMaximized();
  doc->SetItemID(itemId);
  const QString title = QString::fromStdString(caption);
  doc->setWindowTitle(title);
  window->setWindowTitle(title);
  doc->Navigate(pagePath);
}

bool frmMain::CloseDocument(const std::string& itemId) {
  if (!oTabs) return false;
  for (QMdiSubWindow* window : oTabs->subWindowList(QMdiArea::CreationOrder)) {
    frmDoc* doc = DocumentOf(window);
    if (doc && doc->ItemID() == itemId) {
      window->close();
      return true;
    }
  }
  return false;
}

void frmMain::oSysTray_MenuClick(int /*index*/, const QString& key) {
  if (key == QLatin1String("show")) {
    if (oSysTray->MenuCaption(0) == kShow) {
      oSysTray->SetMenuCaption(0, kHide);
      showNormal();
      raise();
      activateWindow();
    } else {
      oSysTray->SetMenuCaption(0, kShow);
      HideIntoTray();
    }
  } else if (key == QLatin1String("newsource")) {
    mnuMsgSourceNew_Click();
  } else if (key == QLatin1String("checkmsg")) {
    mnuMsgSourceCheckAll_Click();
  } else if (key == QLatin1String("dropbox")) {
    ToggleDropBox();
  } else if (key == QLatin1String("scheduler")) {
    mnuToolsScheduler_Click();
  } else if (key == QLatin1String("settings")) {
    mnuToolsSettings_Click();
  } else if (key == QLatin1String("helpfile")) {
    mnuHelpFile_Click();
  } else if (key == QLatin1String("email")) {
    mnuHelpEmail_Click();
  } else if (key == QLatin1String("website")) {
    mnuHelpWebsite_Click();
  } else if (key == QLatin1String("exit")) {
    // A window that was never shown may have nothing for close() to send its event through.
    if (!close() || !m_unloaded) Form_Unload();
  }
}

void frmMain::oSysTray_SysTrayMouseDown(int button) {
  if (button == 2 && oSysTray) oSysTray->ShowMenu();
}

void frmMain::oSysTray_SysTrayDoubleClick(int /*button*/) {
  // What the balloon promises: the window comes up, as "Show" would bring it.
  if (!oSysTray) return;
  oSysTray->SetMenuCaption(0, kHide);
  showNormal();
  raise();
  activateWindow();
}
