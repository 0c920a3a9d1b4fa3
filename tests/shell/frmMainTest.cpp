#include "shell/frmMain.h"

#include "core/TrayAlert.h"
#include "core/TreeModel.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "feedserver/FeedServer.h"
#include "inbox/FeedParser.h"
#include "presentation/MessageView.h"
#include "presentation/PanelTestSupport.h"
#include "presentation/frmDoc.h"
#include "presentation/frmOptions.h"
#include "retrieval/HttpService.h"
#include "retrieval/frmBusy.h"
#include "shell/frmSysTray.h"
#include "support/FakeServices.h"
#include "support/DataFolder.h"

#include <QApplication>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using TestSupport::FakePlatform;
using TestSupport::ShownBox;
using namespace PanelTests;

namespace {

using Node = TreeControl::Node;

class TestMainWindow : public frmMain {
 public:
  bool trayAvailable = false;

 protected:
  bool TrayAvailable() const override { return trayAvailable; }
};

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// The menu bar as lines: name, caption ("-" for a line) and shortcut; submenus indented.
void Describe(const QMenu* menu, const std::string& indent, std::vector<std::string>& lines) {
  for (const QAction* action : menu->actions()) {
    std::string line = indent;
    if (const QMenu* sub = action->menu()) {
      line += sub->objectName().toStdString() + "|" + sub->title().toStdString() + "|";
    } else {
      line += action->objectName().toStdString() + "|" +
              (action->isSeparator() ? std::string("-") : action->text().toStdString()) + "|" +
              action->shortcut().toString(QKeySequence::PortableText).toStdString();
    }
    if (!action->isVisible()) line += " (hidden)";
    lines.push_back(line);
    if (const QMenu* sub = action->menu()) Describe(sub, indent + "  ", lines);
  }
}

std::string Feed(const std::vector<std::string>& guids) {
  return TestData::FeedWithItems(guids);
}

// Two sources on the loopback feed server: "Letters" with an unread and a read message, "Notes"
// without messages.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Listen());
    lettersLink = server.Url("/letters");
    notesLink = server.Url("/notes");
    mAppFunctions::InitializeDataFolder();
    InstallTemplate(platform);
    lettersId =
        AddSource("Letters", lettersLink,
                  {{"g-new", "Unread letter"}, {"g-old", "Old letter", "Fri, 04 Dec 2026", true}});
    notesId = AddSource("Notes", notesLink);
    window = std::make_unique<TestMainWindow>();
    window->SetViewFactory(&MessageView::TextFactory());
  }

  void TearDown() override {
    window.reset();
    Settle();
  }

  void Load(const std::string& arguments = "") {
    window->Form_Load(arguments);
    Settle();
  }

  TreeControl& Tree() { return window->MessageTree(); }
  QTreeView* View() { return window->Panel()->TreeView(); }
  int DocumentCount() { return static_cast<int>(window->Tabs()->subWindowList().size()); }

  Node* MessageNode(const std::string& guid) {
    for (Node* node : Tree().NodeList())
      if (!node->IsTopLevel() && node->Tag() == guid) return node;
    return nullptr;
  }

  // Where a node shows in the tree view, its source opened first.
  QPoint Spot(Node* node) {
    if (node->Parent()) node->Parent()->SetExpanded(true);
    Settle();
    return View()->visualRect(window->Panel()->Model().IndexFromNode(node)).center();
  }

  void DoubleClick(Node* node) {
    const QPoint at = Spot(node);
    QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, at);
    Settle();
  }

  FakePlatform platform;
  TestSupport::FeedServer server;
  std::string lettersLink, notesLink;
  std::string lettersId, notesId;
  std::unique_ptr<TestMainWindow> window;
};

}  // namespace

TEST_F(MainWindowTest, MenusCarryTheirCaptionsAndShortcuts) {
  Load();
  std::vector<std::string> lines;
  for (const QAction* action : window->menuBar()->actions()) {
    const QMenu* menu = action->menu();
    ASSERT_NE(menu, nullptr);
    lines.push_back(menu->objectName().toStdString() + "|" + menu->title().toStdString() +
                    (action->isVisible() ? "" : " (hidden)"));
    Describe(menu, "  ", lines);
  }
  const std::vector<std::string> expected{
      "mnuFile|&File",
      "  mnuFileSystray|&Minimize to System Tray|Ctrl+T",
      "  mnuFileLine1|-|",
      "  mnuFileSaveAs|&Save As|Ctrl+S",
      "  mnuFilePrint|&Print|Ctrl+P",
      "  mnuFileLine3|-|",
      "  mnuFileCloseCurrent|Close &Draft|",
      "  mnuFileCloseAll|Close &All|Shift+F4",
      "  mnuFileLine2|-|",
      "  mnuFileExit|E&xit|Ctrl+Q",
      "mnuMsgSource|Message Sources",
      "  mnuMsgSourceNew|Subscribe to &New Source|Ctrl+N",
      "  mnuMsgSourceLine1|-|",
      "  mnuMsgSourceCheckCurrent|Check for New &Messages|F5",
      "  mnuMsgSourceCheckAll|Check &All Sources for New Messages|Ctrl+F5",
      "  mnuMsgSourceLine2|-|",
      "  mnuMsgSourceManage|&Subscription List Manager|F3",
      "mnuTools|&Tools",
      "  mnuToolsDropBox|Quillpost &DropBox|F9",
      "  mnuToolsLine1|-|",
      "  mnuToolsScheduler|&Scheduler|F4",
      "  mnuToolsLine2|-|",
      "  mnuToolsSettings|Se&ttings|Ctrl+F4",
      "  mnuSysLine|-|",
      "  mnuSysDropBox|Quillpost DropBox|",
      "mnuHelp|&Help",
      "  mnuHelpFile|Help &File|F1",
      "  mnuHelpLine1|-|",
      "  mnuHelpEmail|Contact Us|Ctrl+F1",
      "  mnuHelpWebsite|Visit our Website|Shift+F1",
      "  mnuHelpLine2|-| (hidden)",
      "  mnuHelpAbout|About| (hidden)",
      "mnuPopupSource|PopupTreeview (hidden)",
      "  mnuPopupSourceShow|Show|",
      "  mnuPopupSourceLine1|-|",
      "  mnuPopupSourceDel|Delete|",
      "  mnuPopupSourceLine2|-|",
      "  mnuPopupSourceRead|Mark as Read|",
      "  mnuPopupSourceUnread|Mark as Unread|",
      "  mnuPopupSourceLine3|-|",
      "  mnuPopupSourceExport|Export to File|",
      "    mnuPopupSourceExportOpt|HTML File (*.html)|",
      "    mnuPopupSourceExportOpt|Text File (*.txt)|",
      "    mnuPopupSourceExportOpt|Email File (*.eml)|",
  };
  EXPECT_EQ(lines, expected);
  for (int index = 0; index < 3; ++index)
    EXPECT_EQ(window->mnuPopupSourceExportOpt[static_cast<std::size_t>(index)]->data().toInt(),
              index);
}

TEST_F(MainWindowTest, LoadSetsTheTitleDocksThePanelAndShowsTheWindow) {
  Load();
  EXPECT_EQ(window->windowTitle().toStdString(),
            "Quillpost (Standard Version)" + mGeneralFunctions::ApplicationBuild(true, true));
  EXPECT_EQ(window->PanelDock()->objectName(), QString("frmOptions"));
  EXPECT_EQ(window->dockWidgetArea(window->PanelDock()), Qt::LeftDockWidgetArea);
  EXPECT_EQ(window->Panel()->windowTitle(), QString("Messages Sources"));
  EXPECT_EQ(window->Tabs()->viewMode(), QMdiArea::TabbedView);
  EXPECT_EQ(window->Tabs()->tabsClosable(), true);
  EXPECT_EQ(window->isVisible(), true);
  EXPECT_EQ(window->isMinimized(), false);
  EXPECT_EQ(window->SysTray(), nullptr);
  EXPECT_EQ(window->windowIcon().isNull(), false);
  // The panel's tree holds the sources, alphabetically, with their messages.
  ASSERT_EQ(Tree().TopLevelCount(), 2u);
  EXPECT_EQ(Tree().TopLevelAt(0)->Text(), "Letters");
  EXPECT_EQ(Tree().TopLevelAt(0)->ChildCount(), 2u);
}

TEST_F(MainWindowTest, EntriesWithoutHandlerDoNothing) {
  Load();
  for (QAction* entry : {window->mnuFileSystray, window->mnuFileSaveAs, window->mnuFilePrint,
                         window->mnuFileCloseCurrent, window->mnuFileCloseAll, window->mnuFileExit,
                         window->mnuHelpAbout, window->mnuToolsSettings}) {
    entry->trigger();
  }
  Settle();
  EXPECT_TRUE(platform.messageBox.shown.empty());
  EXPECT_TRUE(platform.shell.opened.empty());
  EXPECT_EQ(window->isVisible(), true);
  EXPECT_EQ(window->SysTray(), nullptr);
}

TEST_F(MainWindowTest, ToolsAndHelpEntries) {
  Load();
  window->mnuToolsScheduler->trigger();
  window->mnuHelpFile->trigger();
  window->mnuHelpEmail->trigger();

  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"Feature under test!", "Quillpost", 0},
                {"Application failed to find Help File. Either Help file is not installed or "
                 "missing.",
                 "Help File not found!", 48}}));
  EXPECT_EQ(platform.shell.opened, std::vector<std::string>{"mailto:support@quillpost.example"});
}

TEST_F(MainWindowTest, DropBoxEntriesShareOneCheckMark) {
  Load();
  EXPECT_EQ(window->mnuToolsDropBox->isChecked(), false);
  window->mnuToolsDropBox->trigger();
  EXPECT_EQ(window->mnuToolsDropBox->isChecked(), true);
  window->mnuSysDropBox->trigger();
  EXPECT_EQ(window->mnuToolsDropBox->isChecked(), false);
  window->mnuSysDropBox->trigger();
  window->mnuSysDropBox->trigger();
  EXPECT_EQ(window->mnuToolsDropBox->isChecked(), false);
  EXPECT_EQ(window->mnuSysDropBox->isCheckable(), false);
}

TEST_F(MainWindowTest, TrayMenuHasItsFifteenEntriesAndTheBalloon) {
  Load();
  window->AddToSystemTray();
  frmSysTray* tray = window->SysTray();
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(window->isVisible(), true);  // the first call keeps the window as it is

  std::vector<std::string> captions;
  for (int i = 0; i < tray->MenuCount(); ++i)
    captions.push_back(tray->MenuCaption(i).toStdString());
  EXPECT_EQ(captions, (std::vector<std::string>{"Show", "-", "Subscribe to New Source",
                                                "Check for New Messages", "-", "Quillpost Dropbox",
                                                "-", "Scheduler", "Settings", "-", "Help File",
                                                "Contact Us", "Visit our Website", "-", "Exit"}));
  EXPECT_EQ(tray->DefaultMenuIndex(), 0);

  // The keys, as a click on each entry reports them (separators report nothing).
  QObject::disconnect(tray, &frmSysTray::MenuClick, window.get(), nullptr);
  QSignalSpy clicks(tray, &frmSysTray::MenuClick);
  for (int i = 0; i < tray->MenuCount(); ++i) tray->TriggerMenuItem(i);
  std::vector<std::string> keys;
  for (const auto& click : clicks) keys.push_back(click.at(1).toString().toStdString());
  EXPECT_EQ(keys, (std::vector<std::string>{"show", "newsource", "checkmsg", "dropbox", "scheduler",
                                            "settings", "helpfile", "email", "website", "exit"}));

  EXPECT_EQ(tray->ToolTip(), window->windowTitle());
  EXPECT_EQ(tray->Icon().isNull(), false);
  EXPECT_EQ(
      tray->LastBalloon().message,
      QString("Double-click to launch Application interface or Right-click for more options."));
  EXPECT_EQ(tray->LastBalloon().title, QString("Quillpost is available here!"));
  EXPECT_EQ(tray->LastBalloon().icon, 1);
  EXPECT_EQ(tray->LastBalloon().timeoutMs, 6000);
}

TEST_F(MainWindowTest, ShowEntryTogglesBetweenShowingAndHiding) {
  window->trayAvailable = true;
  Load("-s");
  frmSysTray* tray = window->SysTray();
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(window->isVisible(), false);

  tray->TriggerMenuItem(0);
  Settle();
  EXPECT_EQ(tray->MenuCaption(0), QString("Hide"));
  EXPECT_EQ(window->isVisible(), true);
  EXPECT_EQ(window->isMinimized(), false);

  tray->TriggerMenuItem(0);
  Settle();
  EXPECT_EQ(tray->MenuCaption(0), QString("Show"));
  EXPECT_EQ(window->isVisible(), false);

  // Keys are exact: another letter case does nothing.
  emit tray->MenuClick(0, QStringLiteral("Show"));
  Settle();
  EXPECT_EQ(window->isVisible(), false);

  emit tray->SysTrayDoubleClick(1);
  Settle();
  EXPECT_EQ(window->isVisible(), true);
  EXPECT_EQ(tray->MenuCaption(0), QString("Hide"));
}

TEST_F(MainWindowTest, SwitchStartsAsTrayIconOnly) {
  window->trayAvailable = true;
  Load("-s");
  ASSERT_NE(window->SysTray(), nullptr);
  EXPECT_EQ(window->isVisible(), false);
  EXPECT_EQ(window->SysTray()->MenuCaption(0), QString("Show"));
  EXPECT_EQ(window->SysTray()->LastBalloon().title, QString("Quillpost is available here!"));
  EXPECT_EQ(mAppFunctions::DataPath, platform.environment.appData + "/Quillpost Data");
}

TEST_F(MainWindowTest, WithoutNotificationAreaTheWindowIsMinimisedNeverHidden) {
  Load("-s");  // offscreen: no notification area
  frmSysTray* tray = window->SysTray();
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(window->isVisible(), true);
  EXPECT_EQ(window->isMinimized(), true);

  window->showNormal();
  Settle();
  window->showMinimized();
  Settle();
  EXPECT_EQ(window->isVisible(), true);
  EXPECT_EQ(window->isMinimized(), true);

  tray->TriggerMenuItem(0);  // "Show"
  tray->TriggerMenuItem(0);  // "Hide"
  Settle();
  EXPECT_EQ(tray->MenuCaption(0), QString("Show"));
  EXPECT_EQ(window->isVisible(), true);
  EXPECT_EQ(window->isMinimized(), true);
}

TEST_F(MainWindowTest, OtherArgumentTextsShowTheWindow) {
  for (const std::string arguments : {"-S", "-s -s", " -s", "s"}) {
    auto other = std::make_unique<TestMainWindow>();
    other->trayAvailable = true;
    other->Form_Load(arguments);
    EXPECT_EQ(other->isVisible(), true) << arguments;
    EXPECT_EQ(other->SysTray(), nullptr) << arguments;
  }
}

TEST_F(MainWindowTest, FirstMinimiseMakesTheIconLaterOnesHideTheWindow) {
  window->trayAvailable = true;
  Load();
  window->showMinimized();
  Settle();
  ASSERT_NE(window->SysTray(), nullptr);
  EXPECT_EQ(window->isVisible(), true);
  EXPECT_EQ(window->isMinimized(), true);

  window->showNormal();
  Settle();
  window->showMinimized();
  Settle();
  EXPECT_EQ(window->isVisible(), false);
  EXPECT_EQ(window->SysTray()->MenuCaption(0), QString("Show"));
}

TEST_F(MainWindowTest, TrayEntriesRouteToTheirCommands) {
  platform.http.answers[lettersLink] = {true, 200, Feed({"n1"}), {}};
  platform.http.answers[notesLink] = {true, 200, Feed({"n2", "n3"}), {}};
  Load();
  window->AddToSystemTray();
  frmSysTray* tray = window->SysTray();
  Tree().SetSelectedItem(Tree().Find(notesId));

  tray->TriggerMenuItem(3);   // checkmsg: all sources, not the selected one
  tray->TriggerMenuItem(5);   // dropbox
  tray->TriggerMenuItem(7);   // scheduler
  tray->TriggerMenuItem(12);  // website
  Settle();

  EXPECT_EQ(platform.http.fetched, (std::vector<std::string>{lettersLink, notesLink}));
  EXPECT_EQ(window->mnuToolsDropBox->isChecked(), true);
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{{"Feature under test!", "Quillpost", 0}}));
  EXPECT_EQ(platform.shell.opened, std::vector<std::string>{"https://quillpost.example/"});

  emit tray->SysTrayMouseDown(2);
  Settle();
  EXPECT_EQ(tray->Menu()->isVisible(), true);
  tray->Menu()->close();
}

TEST_F(MainWindowTest, ExitRemovesTheIconAndUnloadsEveryWindow) {
  Load();
  window->AddToSystemTray();
  QSignalSpy unloaded(window.get(), &frmMain::Unloaded);
  QPointer<frmSysTray> tray = window->SysTray();

  tray->TriggerMenuItem(14);
  Settle();

  EXPECT_EQ(unloaded.count(), 1);
  EXPECT_EQ(tray.isNull(), true);
  EXPECT_EQ(window->isVisible(), false);
  EXPECT_EQ(window->Progress()->Window() == nullptr || !window->Progress()->Window()->isVisible(),
            true);
}

TEST_F(MainWindowTest, CheckOfAllSourcesRunsAgainstTheServerAndEndsWithTheSummary) {
  server.Serve("/letters", QByteArray::fromStdString(Feed({"g-new", "l2", "l3"})));
  server.Serve("/notes", QByteArray::fromStdString(Feed({"n1"})));
  Services::Current().http = &HttpService::Shared();
  Load();

  // What the busy window's queue shows while the run goes.
  std::vector<QStringList> seen;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    frmBusy* busy = window->Progress()->Window();
    if (!busy || !busy->isVisible()) return;
    QStringList queue;
    for (int row = 0; row < busy->lstQueue->count(); ++row)
      queue << busy->lstQueue->item(row)->text();
    if (seen.empty() || seen.back() != queue) seen.push_back(queue);
  });
  watch.start(0);
  window->mnuMsgSourceCheckAll->trigger();
  watch.stop();
  Settle();

  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), (QStringList{"Letters", "Notes"}));
  EXPECT_EQ(seen.back(), QStringList{"Notes"});
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(window->Progress()->Window() == nullptr || !window->Progress()->Window()->isVisible(),
            true);
  EXPECT_EQ(Tree().Find(lettersId)->ChildCount(), 4u);
  EXPECT_EQ(Tree().Find(notesId)->ChildCount(), 1u);
  EXPECT_EQ(Tree().Enabled(), true);
  EXPECT_TRUE(platform.messageBox.shown.empty());
  ASSERT_NE(window->TrayAlert(), nullptr);
  EXPECT_EQ(window->TrayAlert()->Text().toStdString(),
            "You have 2 New Messages \r\n in Letters account.\r\n\r\n"
            "You have 1 New Messages \r\n in Notes account.\r\n\r\n");
  EXPECT_EQ(window->TrayAlert()->isVisible(), true);
  window->TrayAlert()->close();
}

TEST_F(MainWindowTest, DoubleClickOpensOneTabAndMarksTheMessageRead) {
  Load();
  Node* node = MessageNode("g-new");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Bold(), true);

  DoubleClick(node);
  DoubleClick(MessageNode("g-new"));

  EXPECT_EQ(DocumentCount(), 1);
  ASSERT_NE(window->LastDocument(), nullptr);
  EXPECT_EQ(window->LastDocument()->ItemID(), "g-new");
  EXPECT_EQ(window->Tabs()->findChild<QTabBar*>()->tabText(0), QString("Unread letter"));
  EXPECT_EQ(MessageNode("g-new")->Bold(), false);
  EXPECT_EQ(MessageNode("g-new")->Image(), MessageTreeImage::Read);
  EXPECT_EQ(StoredRead(lettersId, "g-new"), 1);
  EXPECT_TRUE(platform.messageBox.shown.empty());
}

TEST_F(MainWindowTest, DeletingAnOpenMessageClosesItsTab) {
  Load();
  DoubleClick(MessageNode("g-old"));
  DoubleClick(MessageNode("g-new"));
  ASSERT_EQ(DocumentCount(), 2);
  Tree().SetSelectedItem(MessageNode("g-old"));
  platform.messageBox.answers = {Services::vbYes};

  window->mnuPopupSourceDel->trigger();
  Settle();

  EXPECT_EQ(DocumentCount(), 1);
  EXPECT_EQ(window->LastDocument()->ItemID(), "g-new");
  EXPECT_EQ(MessageNode("g-old"), nullptr);
  EXPECT_EQ(StoredRead(lettersId, "g-old"), -1);
}

TEST_F(MainWindowTest, TabCloseButtonClosesTheWindowOfItsTab) {
  Load();
  QTabBar* strip = window->Tabs()->findChild<QTabBar*>();
  ASSERT_NE(strip, nullptr);
  emit strip->tabCloseRequested(0);  // nothing open: nothing happens
  Settle();

  DoubleClick(MessageNode("g-old"));
  DoubleClick(MessageNode("g-new"));
  ASSERT_EQ(DocumentCount(), 2);
  EXPECT_EQ(window->ActiveDocument()->windowTitle(), QString("Unread letter"));

  emit strip->tabCloseRequested(0);
  Settle();

  ASSERT_EQ(DocumentCount(), 1);
  EXPECT_EQ(window->Tabs()->subWindowList().front()->windowTitle(), QString("Unread letter"));
  EXPECT_EQ(window->isVisible(), true);
}

TEST_F(MainWindowTest, F2RenamesASourceAfterYesAndKeepsItAfterNo) {
  Load();
  Tree().SetSelectedItem(Tree().Find(notesId));
  View()->setFocus();
  const auto rename = [&](const QString& text) {
    QTest::keyClick(View(), Qt::Key_F2);
    Settle();
    auto* editor = qobject_cast<QLineEdit*>(
        View()->indexWidget(window->Panel()->Model().IndexFromNode(Tree().Find(notesId))));
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    Settle();
  };

  platform.messageBox.answers = {Services::vbNo};
  rename("Daily notes");
  EXPECT_EQ(Tree().Find(notesId)->Text(), "Notes");
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Notes"}));

  platform.messageBox.answers = {Services::vbYes};
  rename("Daily notes");
  EXPECT_EQ(Tree().Find(notesId)->Text(), "Daily notes");
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Daily notes"}));
  ASSERT_EQ(platform.messageBox.shown.size(), 2u);
  EXPECT_EQ(platform.messageBox.shown[1].text,
            "Do you want to change the title \"Notes\" to \"Daily notes\"?");
}

TEST_F(MainWindowTest, RightClickOnAMessageOpensThePopup) {
  Load();
  const QPoint onSource = Spot(Tree().Find(lettersId));
  QTest::mouseClick(View()->viewport(), Qt::RightButton, {}, onSource);
  Settle();
  EXPECT_EQ(window->mnuPopupSource->isVisible(), false);

  const QPoint onMessage = Spot(MessageNode("g-old"));
  QTest::mouseClick(View()->viewport(), Qt::RightButton, {}, onMessage);
  Settle();
  EXPECT_EQ(window->mnuPopupSource->isVisible(), true);
  EXPECT_EQ(Tree().SelectedItem(), MessageNode("g-old"));
  window->mnuPopupSource->close();
}

TEST_F(MainWindowTest, ShortcutsReachTheirEntriesWhileADocumentHasTheFocus) {
  Load();
  DoubleClick(MessageNode("g-old"));
  int settingsChosen = 0;
  QObject::connect(window->mnuToolsSettings, &QAction::triggered, [&] { ++settingsChosen; });
  window->activateWindow();
  window->LastDocument()->setFocus();

  QTest::keyClick(window->LastDocument(), Qt::Key_F4);
  QTest::keyClick(window->LastDocument(), Qt::Key_F1, Qt::ShiftModifier);
  QTest::keyClick(window->LastDocument(), Qt::Key_F9);
  // Last: the modal Preferences dialog takes the keys from here on.
  QTest::keyClick(window->LastDocument(), Qt::Key_F4, Qt::ControlModifier);
  Settle();

  EXPECT_EQ(settingsChosen, 1);
  EXPECT_EQ(DocumentCount(), 1);
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{{"Feature under test!", "Quillpost", 0}}));
  EXPECT_EQ(platform.shell.opened, std::vector<std::string>{"https://quillpost.example/"});
  EXPECT_EQ(window->mnuToolsDropBox->isChecked(), true);
}
