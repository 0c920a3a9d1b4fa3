// The main window's load and unload, the dialogs and commands its entries open, and what the
// application's services tell it.
#include "shell/frmMain.h"

#include "config/frmSettings.h"
#include "core/AppInfo.h"
#include "core/DesktopNotifications.h"
#include "core/Services.h"
#include "core/TrayAlert.h"
#include "core/TreeModel.h"
#include "core/WindowFunctions.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/FeedParser.h"
#include "presentation/MessageActions.h"
#include "presentation/PanelActions.h"
#include "presentation/frmDoc.h"
#include "presentation/frmOptions.h"
#include "retrieval/CheckRun.h"
#include "retrieval/frmBusy.h"
#include "shell/AppServices.h"
#include "shell/CheckServer.h"
#include "shell/DocumentTabs.h"
#include "shell/ScheduledChecks.h"
#include "shell/WelcomePage.h"
#include "shell/frmScheduler.h"
#include "shell/frmSysTray.h"
#include "subscriptions/Opml.h"
#include "subscriptions/frmDropBox.h"
#include "subscriptions/frmSubscrListManager.h"
#include "subscriptions/frmSubscribe.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

// The resources live in a static library: their registration must be pulled in by name.
static void InitQuillpostResources() { Q_INIT_RESOURCE(Quillpost); }

frmMain::frmMain(AppServices& services, QWidget* parent)
    : QMainWindow(parent), m_services(services) {
  InitQuillpostResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/quillpost.svg")));
  resize(960, 680);
  m_documents = new DocumentTabs(this);
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

IDocumentHost& frmMain::Documents() { return *m_documents; }

frmDoc* frmMain::LastDocument() const { return m_documents ? m_documents->Last() : nullptr; }

void frmMain::SetViewFactory(IMessageViewFactory* factory) { m_documents->SetViewFactory(factory); }

QMdiSubWindow* frmMain::ActiveDocument() const {
  return m_documents ? m_documents->Active() : nullptr;
}

void frmMain::Form_Load(const std::string& arguments) {
  setWindowTitle(QString::fromStdString(AppInfo::kMainWindowTitle +
                                        mGeneralFunctions::ApplicationBuild(true, true)));

  // The panel fills its tree from the subscription file as it loads.
  m_options = new frmOptions(*m_documents, m_services.Reader());
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

  // Without any source, a welcome says what to do; it gives way to the tabs as soon as a source
  // exists, and never stands over an open message.
  WelcomePage::Buttons welcome;
  QWidget* page = WelcomePage::Build(mnuMsgSourceNew, mnuMsgSourceImportOpml, mnuHelpFile, welcome);
  btnWelcomeSubscribe = welcome.subscribe;
  btnWelcomeImport = welcome.import;
  btnWelcomeHelp = welcome.help;
  oTabs = m_documents->CreateArea();
  m_documents->SetPageEntries({mnuMsgSourceNextUnread, mnuMsgSourceBack, m_spaceKey, m_escapeKey},
                              mnuToolsSettings->shortcut());
  m_central = new QStackedWidget(this);
  m_central->addWidget(page);
  m_central->addWidget(oTabs);
  setCentralWidget(m_central);

  m_checks = new ScheduledChecks(MessageTree(), this);
  CreateConnections();
  // A check by hand disables the tree while it runs; one that found nothing says so.
  connect(&m_options->Model(), &TreeModel::ControlEnabledChanged, this, [this](bool enabled) {
    if (enabled && mGeneralFunctions::IsBlank(mInbox::RunSummary))
      ShowStatus(tr("No new messages."));
  });
  FollowSync();
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
  UpdateWelcome();
  m_checks->Start();
}

void frmMain::FollowSync() {
  SyncKeeper& sync = m_services.Sync();
  connect(&sync, &SyncKeeper::SourcesChanged, m_options, &frmOptions::ReloadSources);
  connect(&sync, &SyncKeeper::InboxChanged, m_options,
          [this](const QString& id) { m_options->ReloadSource(id.toStdString()); });
  connect(&sync, &SyncKeeper::SearchesChanged, m_options, &frmOptions::ReloadSearches);
}

bool frmMain::ListenForChecks(const std::string& socketPath) {
  if (!m_checkServer) {
    CheckServer::Handlers handlers;
    handlers.show = [this] { ShowFromOutside(); };
    handlers.import = [this](const std::vector<ForwardedCheck::Outline>& outlines) {
      return ImportOutlines(outlines);
    };
    handlers.sync = [this] { return m_services.Sync().MergeForCommand(); };
    m_checkServer = new CheckServer(MessageTree(), std::move(handlers), this);
  }
  return m_checkServer->Listen(QString::fromStdString(socketPath));
}

ForwardedCheck::Reply frmMain::ImportOutlines(
    const std::vector<ForwardedCheck::Outline>& outlines) {
  return ForwardedCheck::Import(MessageTree(), outlines);
}

void frmMain::UpdateWelcome() {
  if (!m_central || !oTabs) return;
  const bool welcome = MessageTree().TopLevelCount() == 0 && oTabs->subWindowList().isEmpty();
  m_central->setCurrentIndex(welcome ? 0 : 1);
}

void frmMain::UpdateDocumentEntries() {
  const bool open = ActiveDocument() != nullptr;
  for (QAction* entry : {mnuFileSaveAs, mnuFilePrint, mnuFileCloseCurrent, mnuFileCloseAll})
    entry->setEnabled(open);
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

void frmMain::mnuFileSaveAs_Click() {
  const frmDoc* doc = DocumentTabs::DocumentOf(ActiveDocument());
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
  const QPointer<frmDoc> doc = DocumentTabs::DocumentOf(ActiveDocument());
  if (!doc) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(QString::fromStdString(
      MessageActions::PrintDocumentName(doc->DocumentTitle().toStdString())));
  QPrintDialog dialog(&printer, this);
  // The dialog lets events run; the document may close meanwhile.
  if (dialog.exec() != QDialog::Accepted || !doc) return;
  doc->Print(printer);
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
  frmSubscrListManager dialog(MessageTree(), m_documents);
  dialog.move(frameGeometry().center() - dialog.rect().center());
  dialog.exec();
}

void frmMain::mnuMsgSourceImportOpml_Click() {
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("Import Sources from OPML"), QString(),
                                   QStringLiteral("OPML Files (*.opml *.xml);;All Files (*)"));
  if (!path.isEmpty()) Opml::ImportAndShow(path.toStdString(), MessageTree());
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
  if (isVisible() && !isMinimized())
    m_dropBox->KeepClearOf(QRect(menuBar()->mapToGlobal(QPoint(0, 0)), menuBar()->size()),
                           frameGeometry());
  m_dropBox->show();
  mnuToolsDropBox->setChecked(true);
}

void frmMain::mnuToolsDropBox_Click(bool checked) {
  // The action has already flipped its own mark; ToggleDropBox decides from the mark before.
  mnuToolsDropBox->setChecked(!checked);
  ToggleDropBox();
}

frmDropBox* frmMain::DropBox() const { return m_dropBox; }

void frmMain::oDropBox_Unloaded() {
  // However the box closes (its own Close, the window manager), the mark follows.
  mnuToolsDropBox->setChecked(false);
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
  connect(m_scheduler, &frmScheduler::Saved, m_checks, &ScheduledChecks::Apply);
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

void frmMain::OfferSyncFolder() {
  SyncKeeper& sync = m_services.Sync();
  m_settings->ShowSyncFolder(sync.Folder(),
                             [&sync](const std::string& folder) { return sync.SetFolder(folder); });
}

void frmMain::mnuHelpFile_Click() { PanelActions::OpenHelpFile(); }

void frmMain::mnuHelpEmail_Click() { PanelActions::ContactUs(); }

void frmMain::mnuHelpWebsite_Click() { PanelActions::VisitWebsite(); }

void frmMain::mnuHelpAbout_Click() { PanelActions::ShowAbout(); }

void frmMain::mnuPopupSourceShow_Click() {
  MessageActions::ShowSelected(MessageTree(), *m_documents);
}

void frmMain::mnuPopupSourceDel_Click() {
  MessageActions::DeleteSelected(MessageTree(), *m_documents);
}

void frmMain::mnuPopupSourceRead_Click() { MessageActions::MarkSelected(MessageTree(), true); }

void frmMain::mnuPopupSourceUnread_Click() { MessageActions::MarkSelected(MessageTree(), false); }

void frmMain::mnuPopupSourceExportOpt_Click(int index) {
  MessageActions::ExportSelected(MessageTree(), index);
}
