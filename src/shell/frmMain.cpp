#include "shell/frmMain.h"

#include "config/frmSettings.h"
#include "config/mSettings.h"
#include "core/AppInfo.h"
#include "core/DesktopNotifications.h"
#include "core/Services.h"
#include "core/TrayAlert.h"
#include "core/TreeModel.h"
#include "core/WindowFunctions.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"
#include "presentation/MessageActions.h"
#include "presentation/PanelActions.h"
#include "presentation/frmDoc.h"
#include "presentation/frmOptions.h"
#include "retrieval/CheckRun.h"
#include "retrieval/frmBusy.h"
#include "shell/CheckServer.h"
#include "shell/SyncKeeper.h"
#include "shell/frmScheduler.h"
#include "shell/frmSysTray.h"
#include "subscriptions/Opml.h"
#include "subscriptions/frmDropBox.h"
#include "subscriptions/frmSubscrListManager.h"
#include "subscriptions/frmSubscribe.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/SubscriptionChecks.h"
#include "inbox/UnreadCounts.h"
#include "presentation/SearchPane.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

// The resources live in a static library: their registration must be pulled in by name.
static void InitQuillpostResources() { Q_INIT_RESOURCE(Quillpost); }

namespace {

// The menu bar, one row per menu and entry in order: a row with a menu starts that menu, and the
// entries after it belong to it. A caption of "-" is a separator line.
struct MenuRow {
  QMenu* frmMain::*menu = nullptr;
  QAction* frmMain::*entry = nullptr;
  const char* name;
  const char* caption;
  const char* keys = "";
};

const MenuRow kMenuRows[] = {
    {&frmMain::mnuFile, nullptr, "mnuFile", "&File"},
    {nullptr, &frmMain::mnuFileSystray, "mnuFileSystray", "&Minimize to System Tray", "Ctrl+T"},
    {nullptr, &frmMain::mnuFileLine1, "mnuFileLine1", "-"},
    {nullptr, &frmMain::mnuFileSaveAs, "mnuFileSaveAs", "&Save As", "Ctrl+S"},
    {nullptr, &frmMain::mnuFilePrint, "mnuFilePrint", "&Print", "Ctrl+P"},
    {nullptr, &frmMain::mnuFileLine3, "mnuFileLine3", "-"},
    {nullptr, &frmMain::mnuFileCloseCurrent, "mnuFileCloseCurrent", "Close &Draft"},
    {nullptr, &frmMain::mnuFileCloseAll, "mnuFileCloseAll", "Close &All", "Shift+F4"},
    {nullptr, &frmMain::mnuFileLine2, "mnuFileLine2", "-"},
    {nullptr, &frmMain::mnuFileExit, "mnuFileExit", "E&xit", "Ctrl+Q"},
    {&frmMain::mnuMsgSource, nullptr, "mnuMsgSource", "Message Sources"},
    {nullptr, &frmMain::mnuMsgSourceNew, "mnuMsgSourceNew", "Subscribe to &New Source", "Ctrl+N"},
    {nullptr, &frmMain::mnuMsgSourceLine1, "mnuMsgSourceLine1", "-"},
    {nullptr, &frmMain::mnuMsgSourceCheckCurrent, "mnuMsgSourceCheckCurrent",
     "Check for New &Messages", "F5"},
    {nullptr, &frmMain::mnuMsgSourceCheckAll, "mnuMsgSourceCheckAll",
     "Check &All Sources for New Messages", "Ctrl+F5"},
    // Reading on from the keyboard.
    {nullptr, &frmMain::mnuMsgSourceLine4, "mnuMsgSourceLine4", "-"},
    {nullptr, &frmMain::mnuMsgSourceNextUnread, "mnuMsgSourceNextUnread", "Next &Unread", "N"},
    {nullptr, &frmMain::mnuMsgSourceBack, "mnuMsgSourceBack", "&Back to Previous", "Shift+N"},
    {nullptr, &frmMain::mnuMsgSourceMarkAllRead, "mnuMsgSourceMarkAllRead",
     "Mark All as &Read ..."},
    {nullptr, &frmMain::mnuMsgSourceLine2, "mnuMsgSourceLine2", "-"},
    {nullptr, &frmMain::mnuMsgSourceManage, "mnuMsgSourceManage", "&Subscription List Manager",
     "F3"},
    // Sources to and from other feed readers.
    {nullptr, &frmMain::mnuMsgSourceLine3, "mnuMsgSourceLine3", "-"},
    {nullptr, &frmMain::mnuMsgSourceExportOpml, "mnuMsgSourceExportOpml",
     "&Export Sources to OPML ..."},
    {nullptr, &frmMain::mnuMsgSourceImportOpml, "mnuMsgSourceImportOpml",
     "&Import Sources from OPML ..."},
    {nullptr, &frmMain::mnuMsgSourceLine5, "mnuMsgSourceLine5", "-"},
    {nullptr, &frmMain::mnuMsgSourceSearch, "mnuMsgSourceSearch", "Sea&rch Messages", "Ctrl+F"},
    {&frmMain::mnuTools, nullptr, "mnuTools", "&Tools"},
    {nullptr, &frmMain::mnuToolsDropBox, "mnuToolsDropBox", "Quillpost &DropBox", "F9"},
    {nullptr, &frmMain::mnuToolsLine1, "mnuToolsLine1", "-"},
    {nullptr, &frmMain::mnuToolsScheduler, "mnuToolsScheduler", "&Scheduler", "F4"},
    {nullptr, &frmMain::mnuToolsLine2, "mnuToolsLine2", "-"},
    {nullptr, &frmMain::mnuToolsSettings, "mnuToolsSettings", "Se&ttings", "Ctrl+F4"},
    {&frmMain::mnuHelp, nullptr, "mnuHelp", "&Help"},
    {nullptr, &frmMain::mnuHelpFile, "mnuHelpFile", "Help &File", "F1"},
    {nullptr, &frmMain::mnuHelpLine1, "mnuHelpLine1", "-"},
    {nullptr, &frmMain::mnuHelpEmail, "mnuHelpEmail", "Contact Us", "Ctrl+F1"},
    {nullptr, &frmMain::mnuHelpWebsite, "mnuHelpWebsite", "Visit our Website", "Shift+F1"},
    {nullptr, &frmMain::mnuHelpLine2, "mnuHelpLine2", "-"},
    {nullptr, &frmMain::mnuHelpAbout, "mnuHelpAbout", "About"},
    // The message popup is a menu of the bar that never shows there.
    {&frmMain::mnuPopupSource, nullptr, "mnuPopupSource", "PopupTreeview"},
    {nullptr, &frmMain::mnuPopupSourceShow, "mnuPopupSourceShow", "Show"},
    {nullptr, nullptr, "mnuPopupSourceLine1", "-"},
    {nullptr, &frmMain::mnuPopupSourceDel, "mnuPopupSourceDel", "Delete"},
    {nullptr, nullptr, "mnuPopupSourceLine2", "-"},
    {nullptr, &frmMain::mnuPopupSourceRead, "mnuPopupSourceRead", "Mark as Read"},
    {nullptr, &frmMain::mnuPopupSourceUnread, "mnuPopupSourceUnread", "Mark as Unread"},
    {nullptr, nullptr, "mnuPopupSourceLine3", "-"},
    // A source's popup, likewise. Check and Rename show the keys the tree already takes.
    {&frmMain::mnuSourcePopup, nullptr, "mnuSourcePopup", "PopupSource"},
    {nullptr, &frmMain::mnuSourcePopupCheck, "mnuSourcePopupCheck", "Check for New &Messages",
     "F5"},
    {nullptr, &frmMain::mnuSourcePopupRead, "mnuSourcePopupRead", "Mark as &Read ...",
     "Ctrl+Shift+R"},
    {nullptr, nullptr, "mnuSourcePopupLine1", "-"},
    {nullptr, &frmMain::mnuSourcePopupRename, "mnuSourcePopupRename", "Re&name", "F2"},
    {nullptr, &frmMain::mnuSourcePopupUnsubscribe, "mnuSourcePopupUnsubscribe",
     "&Unsubscribe ...", "Del"},
    {nullptr, nullptr, "mnuSourcePopupLine2", "-"},
    {nullptr, &frmMain::mnuSourcePopupExport, "mnuSourcePopupExport", "&Export Messages ...",
     "Ctrl+Shift+E"},
};

const char* const kExportCaptions[] = {"HTML File (*.html)", "Text File (*.txt)",
                                       "Email File (*.eml)"};

const QString kShow = QStringLiteral("Show");
const QString kHide = QStringLiteral("Hide");
constexpr int kInformationIcon = 1;

frmDoc* DocumentOf(QMdiSubWindow* window) {
  return window ? qobject_cast<frmDoc*>(window->widget()) : nullptr;
}

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

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
  InitQuillpostResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/quillpost.svg")));
  resize(960, 680);
  BuildMenus();

  // A check run shows itself in the busy window over this one and ends in the tray alert.
  m_trayAlert = std::make_unique<ucTrayAlert>();
  m_progress = std::make_unique<BusyProgress>(this, *m_trayAlert);
  // The desktop's notification service, where there is one; a click on a notice shows the window.
  auto* notifications = new DesktopNotifications(this);
  m_progress->SetNotifications(notifications);
  connect(notifications, &DesktopNotifications::DefaultActionInvoked, this,
          &frmMain::ShowFromOutside);
  m_previousProgress = Services::Current().progress;
  Services::Current().progress = m_progress.get();
}

frmMain::~frmMain() {
  // The children outlive this part of the object while QWidget closes them (the document area
  // then activates its tabs one after another): their signals must not reach it any more.
  for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
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
  QMenu* menu = nullptr;
  for (const MenuRow& row : kMenuRows) {
    const QString caption = QString::fromLatin1(row.caption);
    QAction* action = nullptr;
    if (row.menu) {
      menu = menuBar()->addMenu(caption);
      menu->setObjectName(QString::fromLatin1(row.name));
      this->*row.menu = menu;
      continue;
    }
    if (caption == QLatin1String("-")) {
      action = menu->addSeparator();
    } else {
      action = menu->addAction(caption);
      action->setShortcut(QKeySequence(QString::fromLatin1(row.keys), QKeySequence::PortableText));
    }
    action->setObjectName(QString::fromLatin1(row.name));
    if (row.entry) this->*row.entry = action;
  }
  mnuToolsDropBox->setCheckable(true);
  mnuPopupSource->menuAction()->setVisible(false);
  mnuSourcePopup->menuAction()->setVisible(false);
  // The reading keys and the source entries' keys act only where BindReadingKeys puts them.
  for (QAction* entry : {mnuMsgSourceNextUnread, mnuMsgSourceBack})
    entry->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  for (QAction* entry : mnuSourcePopup->actions()) entry->setShortcutContext(Qt::WidgetShortcut);
  m_spaceKey = new QAction(QStringLiteral("Page Down or Next Unread"), this);
  m_spaceKey->setObjectName(QStringLiteral("keySpace"));
  m_spaceKey->setShortcut(QKeySequence(Qt::Key_Space));
  m_spaceKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  UpdateDocumentEntries();

  mnuPopupSourceExport = mnuPopupSource->addMenu(QStringLiteral("Export to File"));
  mnuPopupSourceExport->setObjectName(QStringLiteral("mnuPopupSourceExport"));
  for (std::size_t index = 0; index < mnuPopupSourceExportOpt.size(); ++index) {
    QAction* entry = mnuPopupSourceExport->addAction(QString::fromLatin1(kExportCaptions[index]));
    entry->setObjectName(QStringLiteral("mnuPopupSourceExportOpt"));
    entry->setData(static_cast<int>(index));
    mnuPopupSourceExportOpt[index] = entry;
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
  m_options->SetSourcePopupMenu(mnuSourcePopup);

  lblStatus = new QLabel(this);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setAccessibleName(QStringLiteral("Status"));
  statusBar()->setObjectName(QStringLiteral("sbStatus"));
  statusBar()->addWidget(lblStatus, 1);
  m_statusTimer = new QTimer(this);
  m_statusTimer->setSingleShot(true);
  m_statusTimer->setInterval(15'000);
  connect(m_statusTimer, &QTimer::timeout, lblStatus, &QLabel::clear);

  oTabs = new QMdiArea(this);
  oTabs->setObjectName(QStringLiteral("oTabs"));
  oTabs->setViewMode(QMdiArea::TabbedView);
  oTabs->setTabsClosable(true);
  oTabs->setTabsMovable(false);
  oTabs->setDocumentMode(true);
  // Without any source, a welcome says what to do; it gives way to the tabs as soon as a source
  // exists, and never stands over an open message.
  m_central = new QStackedWidget(this);
  m_central->addWidget(BuildWelcome());
  m_central->addWidget(oTabs);
  setCentralWidget(m_central);

  m_scheduleTimer = new QTimer(this);
  m_scheduleTimer->setSingleShot(true);
  m_pendingTimer = new QTimer(this);
  m_pendingTimer->start(CheckServer::kRetryMs);
  CreateConnections();
  BindReadingKeys();

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
  StartSync();

  UpdateWelcome();
  mSettings::LoadSchedulerSettings();
  if (mSettings::SchedulerAtStart != 0) m_schedule.CheckAtStart();
  ApplySchedule();
}

bool frmMain::ListenForChecks(const std::string& socketPath) {
  if (!m_checkServer) {
    CheckServer::Handlers handlers;
    handlers.show = [this] { ShowFromOutside(); };
    handlers.import = [this](const std::vector<ForwardedCheck::Outline>& outlines) {
      return ImportOutlines(outlines);
    };
    handlers.sync = [this] { return m_sync ? m_sync->MergeForCommand() : ForwardedCheck::Reply{}; };
    m_checkServer = new CheckServer(MessageTree(), std::move(handlers), this);
  }
  return m_checkServer->Listen(QString::fromStdString(socketPath));
}

void frmMain::ShowFromOutside() {
  if (m_unloaded) return;
  // As the tray icon's "Show" brings it.
  if (oSysTray) oSysTray->SetMenuCaption(0, kHide);
  showNormal();
  raise();
  activateWindow();
}

QWidget* frmMain::BuildWelcome() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("picWelcome"));
  auto* heading = new QLabel(QStringLiteral("Welcome to Quillpost"), page);
  heading->setObjectName(QStringLiteral("lblWelcomeTitle"));
  QFont big = heading->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  heading->setFont(big);
  auto* text = new QLabel(
      QStringLiteral(
          "Quillpost keeps the newsletters of your message sources in one place: subscribe to a "
          "source, check it, and every new message lands in your inbox, to read, keep and find "
          "again.\n\nStart by subscribing to a source (its title and its link), or bring the "
          "sources another reader exported as OPML."),
      page);
  text->setObjectName(QStringLiteral("lblWelcomeText"));
  text->setWordWrap(true);
  text->setMaximumWidth(520);
  const auto button = [page](const QString& name, const QString& caption, QAction* entry) {
    auto* b = new QPushButton(caption, page);
    b->setObjectName(name);
    if (entry && !entry->shortcut().isEmpty())
      b->setToolTip(entry->shortcut().toString(QKeySequence::NativeText));
    return b;
  };
  btnWelcomeSubscribe =
      button(QStringLiteral("btnWelcomeSubscribe"), QStringLiteral("Subscribe to New Source"),
             mnuMsgSourceNew);
  btnWelcomeImport = button(QStringLiteral("btnWelcomeImport"),
                            QStringLiteral("Import Sources from OPML"), mnuMsgSourceImportOpml);
  btnWelcomeHelp = button(QStringLiteral("btnWelcomeHelp"), QStringLiteral("Help"), mnuHelpFile);
  connect(btnWelcomeSubscribe, &QPushButton::clicked, this, &frmMain::mnuMsgSourceNew_Click);
  connect(btnWelcomeImport, &QPushButton::clicked, this, &frmMain::mnuMsgSourceImportOpml_Click);
  connect(btnWelcomeHelp, &QPushButton::clicked, this, &frmMain::mnuHelpFile_Click);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnWelcomeSubscribe);
  buttons->addWidget(btnWelcomeImport);
  buttons->addWidget(btnWelcomeHelp);
  buttons->addStretch();
  auto* column = new QVBoxLayout;
  column->addStretch(1);
  column->addWidget(heading);
  column->addSpacing(8);
  column->addWidget(text);
  column->addSpacing(16);
  column->addLayout(buttons);
  column->addStretch(2);
  auto* layout = new QHBoxLayout(page);
  layout->addStretch();
  layout->addLayout(column);
  layout->addStretch();
  return page;
}

void frmMain::UpdateWelcome() {
  if (!m_central || !oTabs) return;
  const bool welcome = MessageTree().TopLevelCount() == 0 && oTabs->subWindowList().isEmpty();
  m_central->setCurrentIndex(welcome ? 0 : 1);
}

void frmMain::ApplySchedule() {
  m_schedule.Configure(mSettings::SchedulerInterval, Services::Clock().NowMs());
  ScheduleNextLook();
}

void frmMain::ScheduleNextLook() {
  const int delay = m_schedule.DelayMs(Services::Clock().NowMs());
  if (delay < 0) {
    m_scheduleTimer->stop();
  } else {
    m_scheduleTimer->start(delay);
  }
}

void frmMain::CreateConnections() {
  connect(mnuFileSystray, &QAction::triggered, this, &frmMain::mnuFileSystray_Click);
  connect(mnuFileSaveAs, &QAction::triggered, this, &frmMain::mnuFileSaveAs_Click);
  connect(mnuFilePrint, &QAction::triggered, this, &frmMain::mnuFilePrint_Click);
  connect(mnuFileCloseCurrent, &QAction::triggered, this,
          [this] { CloseSubWindow(ActiveDocument()); });
  connect(mnuFileCloseAll, &QAction::triggered, this, &frmMain::mnuFileCloseAll_Click);
  connect(mnuFileExit, &QAction::triggered, this, &frmMain::Exit);
  connect(mnuMsgSourceNew, &QAction::triggered, this, &frmMain::mnuMsgSourceNew_Click);
  connect(mnuMsgSourceCheckCurrent, &QAction::triggered, this,
          &frmMain::mnuMsgSourceCheckCurrent_Click);
  connect(mnuMsgSourceCheckAll, &QAction::triggered, this, &frmMain::mnuMsgSourceCheckAll_Click);
  connect(mnuMsgSourceManage, &QAction::triggered, this, &frmMain::mnuMsgSourceManage_Click);
  connect(mnuMsgSourceExportOpml, &QAction::triggered, this, [] { Opml::ExportWithDialog(); });
  connect(mnuMsgSourceImportOpml, &QAction::triggered, this,
          &frmMain::mnuMsgSourceImportOpml_Click);
  connect(mnuMsgSourceSearch, &QAction::triggered, this, [this] {
    ucFormDock->show();
    m_options->FocusSearch();
  });
  connect(mnuToolsDropBox, &QAction::triggered, this, &frmMain::mnuToolsDropBox_Click);
  connect(mnuToolsScheduler, &QAction::triggered, this, &frmMain::mnuToolsScheduler_Click);
  connect(mnuToolsSettings, &QAction::triggered, this, &frmMain::mnuToolsSettings_Click);
  connect(mnuHelpFile, &QAction::triggered, this, &frmMain::mnuHelpFile_Click);
  connect(mnuHelpEmail, &QAction::triggered, this, &frmMain::mnuHelpEmail_Click);
  connect(mnuHelpWebsite, &QAction::triggered, this, &frmMain::mnuHelpWebsite_Click);
  connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);

  connect(mnuPopupSourceShow, &QAction::triggered, this, &frmMain::mnuPopupSourceShow_Click);
  connect(mnuPopupSourceDel, &QAction::triggered, this, &frmMain::mnuPopupSourceDel_Click);
  connect(mnuPopupSourceRead, &QAction::triggered, this, &frmMain::mnuPopupSourceRead_Click);
  connect(mnuPopupSourceUnread, &QAction::triggered, this, &frmMain::mnuPopupSourceUnread_Click);
  for (QAction* entry : mnuPopupSourceExportOpt) {
    connect(entry, &QAction::triggered, this,
            [this, index = entry->data().toInt()] { mnuPopupSourceExportOpt_Click(index); });
  }

  connect(mnuMsgSourceNextUnread, &QAction::triggered, this,
          &frmMain::mnuMsgSourceNextUnread_Click);
  connect(mnuMsgSourceBack, &QAction::triggered, this, &frmMain::mnuMsgSourceBack_Click);
  connect(mnuMsgSourceMarkAllRead, &QAction::triggered, this,
          &frmMain::mnuMsgSourceMarkAllRead_Click);
  connect(m_spaceKey, &QAction::triggered, this, &frmMain::SpaceKey);
  connect(mnuSourcePopupCheck, &QAction::triggered, this,
          &frmMain::mnuMsgSourceCheckCurrent_Click);
  connect(mnuSourcePopupRead, &QAction::triggered, this, &frmMain::mnuSourcePopupRead_Click);
  connect(mnuSourcePopupRename, &QAction::triggered, this, &frmMain::mnuSourcePopupRename_Click);
  connect(mnuSourcePopupUnsubscribe, &QAction::triggered, this,
          &frmMain::mnuSourcePopupUnsubscribe_Click);
  connect(mnuSourcePopupExport, &QAction::triggered, this, &frmMain::mnuSourcePopupExport_Click);

  connect(m_options, &frmOptions::SettingsRequested, this, &frmMain::mnuToolsSettings_Click);
  connect(m_options, &frmOptions::SchedulerRequested, this, &frmMain::mnuToolsScheduler_Click);
  connect(oTabs, &QMdiArea::subWindowActivated, this, &frmMain::UpdateDocumentEntries);
  connect(oTabs, &QMdiArea::subWindowActivated, this, &frmMain::UpdateWelcome);
  for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(&m_options->Model(), signal, this, &frmMain::UpdateWelcome);
  connect(&m_options->Model(), &QAbstractItemModel::modelReset, this, &frmMain::UpdateWelcome);
  connect(m_scheduleTimer, &QTimer::timeout, this, [this] {
    // A run that falls due while a box is open, or while a handler lets events run, waits.
    const bool busy = !mAppFunctions::CheckRunning && !ReaderIsFree();
    if (Scheduler::Tick(m_schedule, MessageTree(), busy) == Scheduler::TickResult::Waiting) {
      m_scheduleTimer->start(CheckServer::kRetryMs);
      return;
    }
    ScheduleNextLook();
  });
  // A check asked for by hand during another run follows it once the reader is free.
  connect(m_pendingTimer, &QTimer::timeout, this, [this] {
    if (mAppFunctions::Pending && ReaderIsFree()) mAppFunctions::RunPending(MessageTree());
  });

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

void frmMain::Exit() {
  // A window that was never shown may have nothing for close() to send its event through.
  if (!close() || !m_unloaded) Form_Unload();
}

void frmMain::mnuFileSystray_Click() {
  // The first call only makes the icon; the second puts the window into it.
  if (!oSysTray) AddToSystemTray();
  AddToSystemTray();
}

void frmMain::mnuFileSaveAs_Click() {
  const frmDoc* doc = DocumentOf(ActiveDocument());
  if (!doc) return;
  // The export works on the selected message: the open one becomes it. Its source's messages
  // are read when they are not shown.
  TreeControl& tree = MessageTree();
  TreeControl::Node* source = tree.Find(doc->SourceID());
  tree.FetchChildren(source);
  for (std::size_t row = 0; source && row < source->ChildCount(); ++row) {
    if (source->Child(row)->Tag() != doc->ItemID()) continue;
    tree.SetSelectedItem(source->Child(row));
    MessageActions::ExportSelected(tree, MessageActions::kChosenInDialog);
    return;
  }
}

void frmMain::mnuFilePrint_Click() {
  const QPointer<frmDoc> doc = DocumentOf(ActiveDocument());
  if (!doc) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(QString::fromStdString(
      MessageActions::PrintDocumentName(doc->DocumentTitle().toStdString())));
  QPrintDialog dialog(&printer, this);
  // The dialog lets events run; the document may close meanwhile.
  if (dialog.exec() != QDialog::Accepted || !doc) return;
  doc->Print(printer);
}

void frmMain::mnuFileCloseAll_Click() {
  if (oTabs) oTabs->closeAllSubWindows();
}

void frmMain::UpdateDocumentEntries() {
  const bool open = ActiveDocument() != nullptr;
  for (QAction* entry : {mnuFileSaveAs, mnuFilePrint, mnuFileCloseCurrent, mnuFileCloseAll})
    entry->setEnabled(open);
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

void frmMain::mnuMsgSourceImportOpml_Click() {
  const QString path = QFileDialog::getOpenFileName(
      this, QStringLiteral("Import Sources from OPML"), QString(),
      QStringLiteral("OPML Files (*.opml *.xml);;All Files (*)"));
  if (!path.isEmpty()) Opml::ImportAndShow(path.toStdString(), MessageTree());
}

void frmMain::mnuToolsDropBox_Click(bool checked) {
  // The action has already flipped its own mark; ToggleDropBox decides from the mark before.
  mnuToolsDropBox->setChecked(!checked);
  ToggleDropBox();
}

void frmMain::mnuToolsScheduler_Click() {
  if (m_scheduler) {
    m_scheduler->raise();
    m_scheduler->activateWindow();
    return;
  }
  // Modal over this window, as Settings; a save puts the new schedule in force.
  m_scheduler = new frmScheduler(this);
  m_scheduler->setAttribute(Qt::WA_DeleteOnClose);
  m_scheduler->setWindowModality(Qt::ApplicationModal);
  connect(m_scheduler, &frmScheduler::Saved, this, &frmMain::ApplySchedule);
  m_scheduler->show();
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
  OfferSyncFolder();
  m_settings->show();
}

void frmMain::StartSync() {
  m_sync = new SyncKeeper(MessageTree(), this);
  m_sync->Start();
}

void frmMain::OfferSyncFolder() {
  if (!m_sync) return;
  m_settings->ShowSyncFolder(
      m_sync->Folder(), [this](const std::string& folder) { return m_sync->SetFolder(folder); });
}

void frmMain::mnuHelpFile_Click() { PanelActions::OpenHelpFile(); }

void frmMain::mnuHelpEmail_Click() { PanelActions::ContactUs(); }

void frmMain::mnuHelpWebsite_Click() { PanelActions::VisitWebsite(); }

void frmMain::mnuHelpAbout_Click() { PanelActions::ShowAbout(); }

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
  // A tab's close button acts on its own window, never on the active one.
  const auto windows = oTabs->subWindowList(QMdiArea::CreationOrder);
  if (tabIndex >= 0 && tabIndex < windows.size()) CloseSubWindow(windows[tabIndex]);
}

void frmMain::CloseSubWindow(QMdiSubWindow* window) {
  if (!window || !oTabs) return;
  // The area would activate the first tab and scroll the strip back to it: repeated clicks at
  // one spot would then close tabs the user never pointed at.
  const auto windows = oTabs->subWindowList(QMdiArea::CreationOrder);
  const qsizetype at = windows.indexOf(window);
  QMdiSubWindow* next = nullptr;
  if (window == ActiveDocument() && at >= 0)
    next = at + 1 < windows.size() ? windows[at + 1] : at > 0 ? windows[at - 1] : nullptr;
  window->close();
  if (next) oTabs->setActiveSubWindow(next);
  UpdateDocumentEntries();
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
  frmDoc* doc = m_reuseReadingTab ? DocumentOf(m_readingTab) : nullptr;
  QMdiSubWindow* window = doc ? m_readingTab.data() : nullptr;
  if (doc) {
    oTabs->setActiveSubWindow(window);
  } else {
    doc = new frmDoc(nullptr, m_viewFactory);
    window = oTabs->addSubWindow(doc);
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
    for (QAction* key : {mnuMsgSourceNextUnread, mnuMsgSourceBack, m_spaceKey})
      doc->AddPageAction(key);
    if (m_reuseReadingTab) m_readingTab = window;
    // In tabbed mode a window that is not maximised stays a small frame inside its tab.
    window->showMaximized();
  }
  oDoc = doc;
  doc->SetItemID(itemId);
  // Rendering leaves the message's source here; its pictures setting goes with the window.
  doc->SetSourceID(mInbox::SourceID);
  const QString title = QString::fromStdString(caption);
  doc->setWindowTitle(title);
  window->setWindowTitle(frmDoc::TabText(title));
  doc->Navigate(pagePath);
  UpdateDocumentEntries();
}

bool frmMain::PrefersDarkPages() const { return WindowFunctions::IsDark(palette()); }

bool frmMain::CloseDocument(const std::string& itemId) {
  if (!oTabs) return false;
  for (QMdiSubWindow* window : oTabs->subWindowList(QMdiArea::CreationOrder)) {
    frmDoc* doc = DocumentOf(window);
    if (doc && doc->ItemID() == itemId) {
      CloseSubWindow(window);
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
  if (!oSysTray) return;
  oSysTray->SetMenuCaption(0, kHide);
  showNormal();
  raise();
  activateWindow();
}

ForwardedCheck::Reply frmMain::ImportOutlines(
    const std::vector<ForwardedCheck::Outline>& outlines) {
  return ForwardedCheck::Import(MessageTree(), outlines);
}

void frmMain::BindReadingKeys() {
  QWidget* places[] = {m_options->TreeView(), m_options->Search()->lstResults};
  for (QWidget* place : places) place->addActions({mnuMsgSourceNextUnread, mnuMsgSourceBack, m_spaceKey});
  m_options->TreeView()->addActions(
      {mnuSourcePopupRead, mnuSourcePopupUnsubscribe, mnuSourcePopupExport});
}

ReadingFlow::UnreadLookup frmMain::UnreadLookup() {
  return [this](const std::string& id) -> std::optional<std::size_t> {
    const std::optional<mInbox::SourceCount> count = m_options->Counts().Find(id);
    return count ? std::optional(count->unread) : std::nullopt;
  };
}

TreeControl::Node* frmMain::SelectedSource() {
  return ReadingFlow::SourceOf(MessageTree().SelectedItem());
}

void frmMain::ShowStatus(const QString& text) {
  lblStatus->setText(text);
  m_statusTimer->start();
}

void frmMain::mnuMsgSourceNextUnread_Click() {
  // The tab that opens takes the focus; reading on from a list keeps it there.
  const QPointer<QWidget> focus = QApplication::focusWidget();
  m_reuseReadingTab = true;
  const bool opened = ReadingFlow::OpenNextUnread(MessageTree(), *this, UnreadLookup(), m_trail);
  m_reuseReadingTab = false;
  if (focus && (focus == m_options->TreeView() || focus == m_options->Search()->lstResults))
    focus->setFocus();
  ShowStatus(opened ? QString() : QStringLiteral("No unread messages."));
}

void frmMain::mnuMsgSourceBack_Click() {
  const QPointer<QWidget> focus = QApplication::focusWidget();
  m_reuseReadingTab = true;
  const bool opened = ReadingFlow::OpenPrevious(MessageTree(), *this, m_trail);
  m_reuseReadingTab = false;
  if (focus && (focus == m_options->TreeView() || focus == m_options->Search()->lstResults))
    focus->setFocus();
  ShowStatus(opened ? QString() : QStringLiteral("No message to go back to."));
}

void frmMain::SpaceKey() {
  frmDoc* doc = DocumentOf(ActiveDocument());
  if (doc && !doc->PageAtEnd()) {
    doc->PageDown();
  } else {
    mnuMsgSourceNextUnread_Click();
  }
}

void frmMain::mnuMsgSourceMarkAllRead_Click() {
  const std::size_t marked = ReadingFlow::MarkAllRead(MessageTree(), UnreadLookup());
  if (marked > 0)
    ShowStatus(QString::fromStdString(ReadingFlow::GroupedNumber(marked)) +
               QStringLiteral(" messages marked as read."));
}

void frmMain::mnuSourcePopupRead_Click() {
  const TreeControl::Node* source = SelectedSource();
  if (!source) return;
  const std::size_t unread = ReadingFlow::UnreadCount(*source, UnreadLookup());
  if (unread == 0) {
    ShowStatus(QString::fromStdString(source->Text()) + QStringLiteral(" has no unread messages."));
    return;
  }
  ReadingFlow::MarkSourceRead(MessageTree(), source->Key(), unread);
}

void frmMain::mnuSourcePopupRename_Click() {
  if (TreeControl::Node* source = SelectedSource()) MessageTree().StartLabelEdit(source);
}

void frmMain::mnuSourcePopupUnsubscribe_Click() {
  const TreeControl::Node* source = SelectedSource();
  if (!source || !source->IsTopLevel() || source != MessageTree().SelectedItem()) return;
  if (SubscriptionChecks::UnsubscribeSource(source->Key(), source->Text(), source->Tag(), this))
    mSubscriptions::LoadSubscriptions(MessageTree());
}

void frmMain::mnuSourcePopupExport_Click() {
  const TreeControl::Node* source = SelectedSource();
  if (!source) return;
  const std::string id = source->Key();
  const QString title = QString::fromStdString(source->Text());
  const QString folder = QFileDialog::getExistingDirectory(
      this, QStringLiteral("Export Messages of %1 to Folder").arg(title));
  if (folder.isEmpty()) return;
  const std::optional<std::size_t> written =
      ReadingFlow::ExportMessages(id, folder.toStdString());
  if (!written) {
    Services::MessageBox().Show("The messages of " + title.toStdString() + " could not be read.",
                                "Export Messages", Services::vbOKOnly + Services::vbExclamation);
    return;
  }
  ShowStatus(QStringLiteral("%1 messages of %2 exported to %3.")
                 .arg(QString::fromStdString(ReadingFlow::GroupedNumber(*written)), title, folder));
}
