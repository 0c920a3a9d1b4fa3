// The main window's own behaviour (tray, tabs, the drop box mark, exit) and that each of its
// entries reaches its command once. Captions and shortcuts live in tests/fixtures/ui/frmMain.txt;
// what the commands do is pinned in the tests of the folders below.

#include "config/frmSettings.h"
#include "core/TreeModel.h"
#include "presentation/frmDoc.h"
#include "presentation/frmOptions.h"
#include "retrieval/frmBusy.h"
#include "shell/frmSysTray.h"
#include "subscriptions/frmDropBox.h"
#include "subscriptions/frmSubscribe.h"
#include "support/WindowSupport.h"

#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTreeView>

using namespace TestData;

namespace {

void SettleDeletes() {
  Settle();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// "shown", "hidden" or "minimised", and the tray's first entry once there is a tray.
std::string State(const frmMain& window) {
  std::string state = !window.isVisible() ? "hidden" : window.isMinimized() ? "minimised" : "shown";
  if (window.SysTray()) state += ", tray " + window.SysTray()->MenuCaption(0).toStdString();
  return state;
}

class MainWindow : public MainWindowTest {
 protected:
  // What the commands run since the last call did, in one line; closes the dialogs they opened.
  std::string Effect() {
    SettleDeletes();
    std::string out;
    for (const auto& box : platform.messageBox.shown) out += "box " + box.title + "; ";
    for (const auto& target : platform.shell.opened) out += "open " + target + "; ";
    for (const auto& link : platform.http.fetched)
      out += "fetch " + link.substr(link.rfind('/') + 1) + "; ";
    for (frmSettings* dialog : window->findChildren<frmSettings*>()) {
      out += dialog->isModal() ? "modal settings; " : "settings; ";
      dialog->close();
    }
    platform.messageBox.shown.clear();
    platform.shell.opened.clear();
    platform.http.fetched.clear();
    SettleDeletes();
    return out;
  }

  QTreeView* View() { return window->Panel()->TreeView(); }
  TreeControl::Node* Find(const std::string& guid) {
    for (TreeControl::Node* node : Tree().NodeList())
      if (!node->IsTopLevel() && node->Tag() == guid) return node;
    return nullptr;
  }
  QPoint Spot(TreeControl::Node* node) {
    node->Parent()->SetExpanded(true);
    Settle();
    return View()->visualRect(window->Panel()->Model().IndexFromNode(node)).center();
  }
  QString OpenTitles() {
    QStringList titles;
    for (QMdiSubWindow* sub : window->Tabs()->subWindowList(QMdiArea::CreationOrder))
      titles << sub->windowTitle();
    return titles.join(", ");
  }
  void Open(const std::string& guid, const std::string& caption) {
    const std::string page = platform.root + "/page.htm";
    TestSupport::WriteAll(page, "<p>page</p>");
    window->OpenDocument(guid, caption, page);
    Settle();
  }
};

}  // namespace

TEST_F(MainWindow, EveryEntryReachesItsCommandOnce) {
  platform.http.answers[kLettersLink] = {true, 200, FeedWithItems({"l9"}), {}};
  platform.http.answers[kNotesLink] = {true, 200, FeedWithItems({"n9"}), {}};
  window->AddToSystemTray();
  const std::string mail = "open mailto:support@quillpost.example; ";
  const std::string site = "open https://quillpost.example/; ";
  struct Row {
    const char* name;
    std::function<void()> act;
    std::string effect;
  };
  const auto tray = [&](int index) {
    return [this, index] { window->SysTray()->TriggerMenuItem(index); };
  };
  const std::vector<Row> rows{
      {"entries without a command",
       [&] {
         for (QAction* entry : {window->mnuFileSystray, window->mnuFileSaveAs, window->mnuFilePrint,
                                window->mnuFileCloseCurrent, window->mnuFileCloseAll,
                                window->mnuFileExit, window->mnuHelpAbout})
           entry->trigger();
       },
       ""},
      {"scheduler", [&] { window->mnuToolsScheduler->trigger(); }, "box Quillpost; "},
      {"help file", [&] { window->mnuHelpFile->trigger(); }, "box Help File not found!; "},
      {"contact", [&] { window->mnuHelpEmail->trigger(); }, mail},
      {"website", [&] { window->mnuHelpWebsite->trigger(); }, site},
      {"settings twice: one dialog",
       [&] {
         window->mnuToolsSettings->trigger();
         window->mnuToolsSettings->trigger();
       },
       "modal settings; "},
      {"panel's settings", [&] { emit window->Panel()->SettingsRequested(); }, "modal settings; "},
      {"check the selected source",
       [&] {
         Tree().SetSelectedItem(Tree().Find(notesId));
         window->mnuMsgSourceCheckCurrent->trigger();
       },
       "fetch notes; "},
      {"check all", [&] { window->mnuMsgSourceCheckAll->trigger(); },
       "fetch letters; fetch notes; "},
      {"tray 3 checkmsg: all sources", tray(3), "fetch letters; fetch notes; "},
      {"tray 7 scheduler", tray(7), "box Quillpost; "},
      {"tray 8 settings", tray(8), "modal settings; "},
      {"tray 10 helpfile", tray(10), "box Help File not found!; "},
      {"tray 11 email", tray(11), mail},
      {"tray 12 website", tray(12), site},
  };
  for (const Row& row : rows) {
    row.act();
    EXPECT_EQ(Effect(), row.effect) << row.name;
  }
  EXPECT_EQ(State(*window), "shown, tray Show");
  // The main window's check ends in its own tray alert.
  EXPECT_EQ(window->TrayAlert()->isVisible(), true);
  window->TrayAlert()->close();
}

TEST_F(MainWindow, DropBoxMarkFollowsEveryWayOfOpeningAndClosingTheBox) {
  window->AddToSystemTray();
  std::vector<std::string> seen;
  const auto step = [&](const std::function<void()>& act) {
    act();
    SettleDeletes();
    const bool open = window->DropBox() && window->DropBox()->isVisible();
    seen.push_back(std::string(window->mnuToolsDropBox->isChecked() ? "marked" : "unmarked") +
                   (open ? " open" : " closed"));
  };
  step([&] { window->mnuToolsDropBox->trigger(); });
  step([&] { window->mnuSysDropBox->trigger(); });
  step([&] { window->mnuSysDropBox->trigger(); });
  step([&] { window->DropBox()->mnuPopupClose->trigger(); });
  step([&] { window->SysTray()->TriggerMenuItem(5); });  // "dropbox"
  step([&] { window->DropBox()->close(); });             // by the window manager
  EXPECT_EQ(seen, (std::vector<std::string>{"marked open", "unmarked closed", "marked open",
                                            "unmarked closed", "marked open", "unmarked closed"}));

  // A link taken by the box goes to a modeless subscribe dialog.
  window->mnuToolsDropBox->trigger();
  emit window->DropBox()->LinkDropped("https://News.Quillpost.Test/c/Letters");
  Settle();
  const auto dialogs = window->findChildren<frmSubscribe*>();
  ASSERT_EQ(dialogs.size(), 1);
  EXPECT_EQ(dialogs[0]->isModal(), false);
  EXPECT_EQ(dialogs[0]->txtLink->text(), QString("https://News.Quillpost.Test/c/Letters"));
}

TEST_F(MainWindow, ArgumentsDecideBetweenWindowAndTrayIcon) {
  struct Row {
    std::string arguments;
    bool notificationArea;
    std::string state;
  };
  const std::vector<Row> rows{
      {"", true, "shown"},
      {"-s", true, "hidden, tray Show"},
      // Without a notification area the window must stay reachable.
      {"-s", false, "minimised, tray Show"},
      {"-S", true, "shown"},
      {"-s -s", true, "shown"},
      {" -s", true, "shown"},
  };
  for (const Row& row : rows) {
    TestMainWindow other;
    other.trayAvailable = row.notificationArea;
    other.Form_Load(row.arguments);
    Settle();
    EXPECT_EQ(State(other), row.state) << "\"" << row.arguments << "\"";
  }
}

TEST_F(MainWindow, TrayShowEntryAndDoubleClickToggleTheWindow) {
  for (const bool area : {true, false}) {
    TestMainWindow other;
    other.trayAvailable = area;
    other.Form_Load("-s");
    Settle();
    frmSysTray* tray = other.SysTray();
    ASSERT_NE(tray, nullptr);
    std::vector<std::string> seen;
    const auto step = [&](const std::function<void()>& act) {
      act();
      Settle();
      seen.push_back(State(other));
    };
    step([&] { tray->TriggerMenuItem(0); });
    step([&] { tray->TriggerMenuItem(0); });
    step([&] { emit tray->MenuClick(0, QStringLiteral("Show")); });  // keys are exact
    step([&] { emit tray->SysTrayDoubleClick(1); });
    const std::string away = area ? "hidden" : "minimised";
    EXPECT_EQ(seen, (std::vector<std::string>{"shown, tray Hide", away + ", tray Show",
                                              away + ", tray Show", "shown, tray Hide"}))
        << "notification area: " << area;
  }
}

TEST_F(MainWindow, FirstMinimiseMakesTheIconLaterOnesHideTheWindow) {
  window->trayAvailable = true;
  window->showMinimized();
  Settle();
  EXPECT_EQ(State(*window), "minimised, tray Show");
  window->showNormal();
  Settle();
  window->showMinimized();
  Settle();
  EXPECT_EQ(State(*window), "hidden, tray Show");
}

// Catches an exit that leaves the tray icon behind, or any window open after it.
TEST_F(MainWindow, TrayExitRemovesTheIconAndClosesEveryWindow) {
  window->AddToSystemTray();
  window->mnuToolsDropBox->trigger();
  window->Progress()->Show();  // a check under way
  Settle();
  ASSERT_EQ(window->Progress()->Window()->isVisible(), true);
  QPointer<frmSysTray> tray = window->SysTray();
  QSignalSpy unloaded(window.get(), &frmMain::Unloaded);

  tray->TriggerMenuItem(14);
  Settle();

  EXPECT_EQ(tray.isNull(), true);
  EXPECT_EQ(unloaded.count(), 1);
  std::vector<std::string> shown;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible()) shown.push_back(widget->objectName().toStdString());
  EXPECT_EQ(shown, std::vector<std::string>{});
}

TEST_F(MainWindow, DoubleClickOpensOneTabPerMessage) {
  InstallTemplate();
  for (int i = 0; i < 2; ++i) {
    QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, Spot(Find("g1")));
    Settle();
  }
  EXPECT_EQ(OpenTitles(), QString("First"));
  EXPECT_EQ(window->Tabs()->findChild<QTabBar*>()->tabText(0), QString("First"));
}

// Catches a tab's close button closing the active tab instead of its own.
TEST_F(MainWindow, TabCloseButtonClosesTheWindowOfItsTab) {
  QTabBar* strip = window->Tabs()->findChild<QTabBar*>();
  emit strip->tabCloseRequested(0);  // nothing open: nothing happens
  Open("g1", "First");
  Open("g2", "Second");
  ASSERT_EQ(window->ActiveDocument()->windowTitle(), QString("Second"));

  emit strip->tabCloseRequested(0);
  Settle();
  EXPECT_EQ(OpenTitles(), QString("Second"));
}

TEST_F(MainWindow, PopupEntriesActOnTheSelectedMessage) {
  InstallTemplate();
  Open("g2", "Second");
  const QPoint spot = Spot(Find("g1"));
  QTest::mouseClick(View()->viewport(), Qt::RightButton, {}, spot);
  Settle();
  EXPECT_EQ(window->mnuPopupSource->isVisible(), true);
  window->mnuPopupSource->close();
  ASSERT_EQ(Tree().SelectedItem(), Find("g1"));

  window->mnuPopupSourceRead->trigger();
  EXPECT_EQ(StoredRead(lettersId, "g1"), 1);
  window->mnuPopupSourceUnread->trigger();
  EXPECT_EQ(StoredRead(lettersId, "g1"), 0);
  window->mnuPopupSourceExportOpt[1]->trigger();
  ASSERT_EQ(platform.saveDialog.requests.size(), 1u);
  EXPECT_EQ(platform.saveDialog.requests[0].defaultExtension, "txt");
  window->mnuPopupSourceShow->trigger();
  Settle();
  EXPECT_EQ(OpenTitles(), QString("Second, First"));

  // Deleting the message closes its tab and leaves the other.
  platform.messageBox.answers = {Services::vbYes};
  window->mnuPopupSourceDel->trigger();
  Settle();
  EXPECT_EQ(OpenTitles(), QString("Second"));
  EXPECT_EQ(StoredRead(lettersId, "g1"), -1);
}

// Catches a document window's own Ctrl+F4 (close) taking the Settings key.
TEST_F(MainWindow, ShortcutsReachTheirEntriesWhileADocumentHasTheFocus) {
  Open("g1", "First");
  int settingsChosen = 0;
  QObject::connect(window->mnuToolsSettings, &QAction::triggered, [&] { ++settingsChosen; });
  window->activateWindow();
  window->LastDocument()->setFocus();
  QTest::keyClick(window->LastDocument(), Qt::Key_F4);
  QTest::keyClick(window->LastDocument(), Qt::Key_F4, Qt::ControlModifier);
  Settle();
  EXPECT_EQ(settingsChosen, 1);
  EXPECT_EQ(OpenTitles(), QString("First"));
  EXPECT_EQ(Effect(), "box Quillpost; modal settings; ");
}
