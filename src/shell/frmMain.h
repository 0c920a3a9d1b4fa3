#pragma once
// The main window: a frame of tabbed document windows with the message panel docked at its side,
// the menus, the notification-area icon and its menu, and the services a check run shows itself
// through. The work behind each entry belongs to the modules it calls; the index, the counts and
// sync are the application's (AppServices), which the window is handed and follows. Its parts:
// frmMain.cpp (load, unload, the dialogs and commands, what the services tell), frmMainMenus.cpp
// (the menus and their wiring), frmMainTray.cpp (the notification-area side), frmMainReading.cpp
// (reading on from the keyboard and a source's entries), DocumentTabs (the open messages),
// WelcomePage and ScheduledChecks.

#include "core/TreeControl.h"
#include "presentation/ReadingFlow.h"
#include "shell/ForwardedCheck.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <memory>
#include <string>

class AppServices;
class BusyProgress;
class CheckServer;
class DocumentTabs;
class IDocumentHost;
class IMessageViewFactory;
class QAction;
class QDockWidget;
class QLabel;
class QMdiArea;
class QPushButton;
class QStackedWidget;
class QMenu;
class QMdiSubWindow;
class QTimer;
class ScheduledChecks;
class frmDoc;
class frmDropBox;
class frmOptions;
class frmSettings;
class frmSubscribe;
class frmScheduler;
class frmSysTray;
class ucTrayAlert;

namespace Services {
class IProgress;
}

class frmMain : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr const char* kBalloonText =
      "Double-click to launch Application interface or Right-click for more options.";
  static constexpr const char* kBalloonTitle = "Quillpost is available here!";
  static constexpr int kBalloonMs = 6000;

  // The services outlive the window.
  explicit frmMain(AppServices& services, QWidget* parent = nullptr);
  ~frmMain() override;

  // The load handler: title, panel, tabs, then either the window or (argument text "-s",
  // exactly) only the tray icon, then the data folder.
  void Form_Load(const std::string& arguments);
  // Creates the tray icon on first use; afterwards hides the window into it.
  void AddToSystemTray();
  // Opens or closes the drop box, kept by the check mark of mnuToolsDropBox.
  void ToggleDropBox();
  // The open drop box, or null.
  frmDropBox* DropBox() const;

  TreeControl& MessageTree();
  frmOptions* Panel() const { return m_options; }
  QDockWidget* PanelDock() const { return ucFormDock; }
  QMdiArea* Tabs() const { return oTabs; }
  // The open messages, where the message commands open and close them.
  IDocumentHost& Documents();
  // The document window opened last; null until then and after it closes.
  frmDoc* LastDocument() const;
  // The notification-area icon; null until AddToSystemTray first runs.
  frmSysTray* SysTray() const;
  ucTrayAlert* TrayAlert() const { return m_trayAlert.get(); }
  BusyProgress* Progress() const { return m_progress.get(); }

  // The view that document windows show their page in; null: the usual one (the web view).
  void SetViewFactory(IMessageViewFactory* factory);

  // The frame's active document window: the current tab's window, or null.
  QMdiSubWindow* ActiveDocument() const;

  // Answers "quillpost --check", "--import-opml" and a second start on the local socket at that
  // path (see CheckServer).
  bool ListenForChecks(const std::string& socketPath);

  // A second start asked for the window: it comes up as the tray icon's "Show" brings it.
  void ShowFromOutside();
  // Ends the program as the tray's Exit does: the icon goes, every window closes.
  void Exit();

 public slots:
  // A link dropped on the drop box: the subscribe dialog, modeless, with the link filled in. A
  // dialog already open this way takes the new link and keeps its title.
  void OpenSubscribeWithLink(const QString& link);

 public:
  QMenu* mnuFile = nullptr;
  QAction* mnuFileSystray = nullptr;
  QAction* mnuFileLine1 = nullptr;
  QAction* mnuFileSaveAs = nullptr;
  QAction* mnuFilePrint = nullptr;
  QAction* mnuFileLine3 = nullptr;
  QAction* mnuFileCloseCurrent = nullptr;
  QAction* mnuFileCloseAll = nullptr;
  QAction* mnuFileLine2 = nullptr;
  QAction* mnuFileExit = nullptr;
  QMenu* mnuMsgSource = nullptr;
  QAction* mnuMsgSourceNew = nullptr;
  QAction* mnuMsgSourceLine1 = nullptr;
  QAction* mnuMsgSourceCheckCurrent = nullptr;
  QAction* mnuMsgSourceCheckAll = nullptr;
  QAction* mnuMsgSourceLine4 = nullptr;
  QAction* mnuMsgSourceNextUnread = nullptr;
  QAction* mnuMsgSourceBack = nullptr;
  QAction* mnuMsgSourceMarkAllRead = nullptr;
  QAction* mnuMsgSourceLine2 = nullptr;
  QAction* mnuMsgSourceManage = nullptr;
  QAction* mnuMsgSourceLine3 = nullptr;
  QAction* mnuMsgSourceExportOpml = nullptr;
  QAction* mnuMsgSourceImportOpml = nullptr;
  QAction* mnuMsgSourceLine5 = nullptr;
  QAction* mnuMsgSourceSearch = nullptr;
  QMenu* mnuTools = nullptr;
  QAction* mnuToolsDropBox = nullptr;
  QAction* mnuToolsLine1 = nullptr;
  QAction* mnuToolsScheduler = nullptr;
  QAction* mnuToolsLine2 = nullptr;
  QAction* mnuToolsSettings = nullptr;
  QMenu* mnuHelp = nullptr;
  QAction* mnuHelpFile = nullptr;
  QAction* mnuHelpLine1 = nullptr;
  QAction* mnuHelpEmail = nullptr;
  QAction* mnuHelpWebsite = nullptr;
  QAction* mnuHelpLine2 = nullptr;
  QAction* mnuHelpAbout = nullptr;
  QMenu* mnuPopupSource = nullptr;
  QAction* mnuPopupSourceShow = nullptr;
  QAction* mnuPopupSourceDel = nullptr;
  QAction* mnuPopupSourceRead = nullptr;
  QAction* mnuPopupSourceUnread = nullptr;
  QMenu* mnuPopupSourceExport = nullptr;
  // A source's popup.
  QMenu* mnuSourcePopup = nullptr;
  QAction* mnuSourcePopupCheck = nullptr;
  QAction* mnuSourcePopupRead = nullptr;
  QAction* mnuSourcePopupRename = nullptr;
  QAction* mnuSourcePopupUnsubscribe = nullptr;
  QAction* mnuSourcePopupExport = nullptr;
  // Space: the page down, and at its end the next unread message.
  QAction* m_spaceKey = nullptr;
  // Escape in a page: back to the list the message came from.
  QAction* m_escapeKey = nullptr;
  QPushButton* btnWelcomeSubscribe = nullptr;
  QPushButton* btnWelcomeImport = nullptr;
  QPushButton* btnWelcomeHelp = nullptr;
  std::array<QAction*, 3> mnuPopupSourceExportOpt{};

 signals:
  // The unload handler has run: every window is closed and the program may end.
  void Unloaded();

 protected:
  // Whether the desktop shows a notification area; without one the window is never hidden.
  virtual bool TrayAvailable() const;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  struct TrayEntry;
  static const TrayEntry kTrayEntries[];

  void BuildMenus();
  void CreateConnections();
  // What the services tell: counts and searches reach the panel itself, a merge's changes here.
  void FollowSync();
  void Form_Unload();
  // Out of sight: hidden into the tray, or minimised where there is no tray to come back from.
  void HideIntoTray();
  // Back from the tray or from outside: shown in normal state, in front, the tray saying "Hide".
  void ShowFromTray();

  void mnuFileSystray_Click();
  void mnuFileSaveAs_Click();
  void mnuFilePrint_Click();
  // Save As, Print and the two Close entries need an open document.
  void UpdateDocumentEntries();
  // The welcome stands instead of the tabs without sources and open messages.
  void UpdateWelcome();
  // The outlines an "--import-opml" beside the reader read, subscribed to without a box.
  ForwardedCheck::Reply ImportOutlines(const std::vector<ForwardedCheck::Outline>& outlines);
  // Preferences shows and sets the sync folder.
  void OfferSyncFolder();
  void mnuMsgSourceNew_Click();
  void mnuMsgSourceCheckCurrent_Click();
  void mnuMsgSourceCheckAll_Click();
  void mnuMsgSourceManage_Click();
  // The desktop's open dialog, then the import and its one summary box.
  void mnuMsgSourceImportOpml_Click();
  void mnuToolsDropBox_Click(bool checked);
  void mnuToolsScheduler_Click();
  void mnuToolsSettings_Click();
  void oDropBox_Unloaded();
  void mnuHelpFile_Click();
  void mnuHelpEmail_Click();
  void mnuHelpWebsite_Click();
  void mnuHelpAbout_Click();
  void mnuPopupSourceShow_Click();
  void mnuPopupSourceDel_Click();
  void mnuPopupSourceRead_Click();
  void mnuPopupSourceUnread_Click();
  void mnuPopupSourceExportOpt_Click(int index);
  void mnuMsgSourceNextUnread_Click();
  void mnuMsgSourceBack_Click();
  void mnuMsgSourceMarkAllRead_Click();
  void SpaceKey();
  // Next Unread (forward) or Back, from whichever place the keys work in.
  void ReadOn(bool forward);
  // Escape in a page: the search's list while it shows the message, else the tree with the
  // message selected (its source when it is gone).
  void BackToList();
  void mnuSourcePopupRead_Click();
  void mnuSourcePopupRename_Click();
  void mnuSourcePopupUnsubscribe_Click();
  void mnuSourcePopupExport_Click();
  // The reading keys work in the tree, the search's list and the pages, never in a text field.
  void BindReadingKeys();
  ReadingFlow::UnreadLookup UnreadLookup();
  // The source the tree's selection stands in; null when it stands in none.
  TreeControl::Node* SelectedSource();
  // A line in the status bar, for a while.
  void ShowStatus(const QString& text);
  void oSysTray_MenuClick(int index, const QString& key);
  void oSysTray_SysTrayMouseDown(int button);
  void oSysTray_SysTrayDoubleClick(int button);

  AppServices& m_services;
  QDockWidget* ucFormDock = nullptr;
  frmOptions* m_options = nullptr;
  DocumentTabs* m_documents = nullptr;
  QMdiArea* oTabs = nullptr;
  QStackedWidget* m_central = nullptr;
  QPointer<frmSysTray> oSysTray;
  QPointer<frmSubscribe> m_subscribe;
  QPointer<frmDropBox> m_dropBox;
  QPointer<frmSettings> m_settings;
  QPointer<frmScheduler> m_scheduler;
  ScheduledChecks* m_checks = nullptr;
  CheckServer* m_checkServer = nullptr;
  // The tray alert (ucTrayAlert) is a window of its own, so it shows while this one is hidden.
  std::unique_ptr<ucTrayAlert> m_trayAlert;
  std::unique_ptr<BusyProgress> m_progress;
  Services::IProgress* m_previousProgress = nullptr;
  bool m_unloaded = false;
  QLabel* lblStatus = nullptr;
  QTimer* m_statusTimer = nullptr;
  ReadingFlow::Trail m_trail;
};
