// The main window's own behaviour and that each entry reaches its command once; captions are in
// tests/fixtures/ui/frmMain.txt, what the commands do in the tests of the folders below.
#include "TestPaths.h"
#include "config/frmSettings.h"
#include "core/TreeModel.h"
#include "presentation/MessageActions.h"
#include "presentation/SearchPane.h"
#include "presentation/frmDoc.h"
#include "presentation/frmOptions.h"
#include "retrieval/frmBusy.h"
#include "shell/DocumentTabs.h"
#include "shell/QuitSignals.h"
#include "shell/frmScheduler.h"
#include "shell/frmSysTray.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/frmDropBox.h"
#include "support/WindowSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <QTreeView>

#include <csignal>
#include <tuple>
#include <utility>

using namespace TestData;

namespace {

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
    Settle();
    std::string out;
    for (const auto& box : std::exchange(platform.messageBox.shown, {}))
      out += "box " + box.title + "; ";
    for (const auto& target : std::exchange(platform.shell.opened, {}))
      out += "open " + target + "; ";
    for (const auto& link : std::exchange(platform.http.fetched, {}))
      out += "fetch " + link.substr(link.rfind('/') + 1) + "; ";
    // The box's presence is its mark; the window manager closes it.
    const bool open = window->DropBox() && window->DropBox()->isVisible();
    if (open || window->mnuToolsDropBox->isChecked())
      out += open == window->mnuToolsDropBox->isChecked() ? "drop box; " : "mark out of step; ";
    if (open) window->DropBox()->close();
    for (QDialog* dialog : window->findChildren<QDialog*>()) {
      if (!qobject_cast<frmSettings*>(dialog) && !qobject_cast<frmScheduler*>(dialog)) continue;
      out += (dialog->isModal() ? "modal " : "") + dialog->objectName().toStdString() + "; ";
      dialog->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return out;
  }

  // Where a message of Letters shows in the tree view, Letters opened first.
  QPoint Spot(std::size_t row) {
    Tree().Find(lettersId)->SetExpanded(true);
    Settle();
    const QModelIndex index =
        window->Panel()->Model().IndexFromNode(Tree().Find(lettersId)->Child(row));
    return window->Panel()->TreeView()->visualRect(index).center();
  }
  QString OpenTitles() {
    QStringList titles;
    for (QMdiSubWindow* sub : window->Tabs()->subWindowList(QMdiArea::CreationOrder))
      titles << sub->windowTitle();
    return titles.join(", ");
  }
};

}  // namespace

TEST_F(MainWindow, EveryEntryReachesItsCommandOnce) {
  platform.http.answers[kLettersLink] = {true, 200, FeedWithItems({"l9"}), {}};
  platform.http.answers[kNotesLink] = {true, 200, FeedWithItems({"n9"}), {}};
  window->AddToSystemTray();
  // Without an open document these do nothing.
  for (QAction* entry : {window->mnuFileSaveAs, window->mnuFilePrint, window->mnuFileCloseCurrent,
                         window->mnuFileCloseAll})
    entry->trigger();
  EXPECT_EQ(Effect(), "");
  window->mnuHelpAbout->trigger();
  EXPECT_EQ(Effect(), "box About Quillpost; ");
  for (const auto& [entry, trayEntry, effect] : std::vector<std::tuple<QAction*, int, std::string>>{
           {window->mnuToolsScheduler, 7, "modal frmScheduler; "},
           {window->mnuHelpFile, 10, "box Help File not found!; "},
           {window->mnuHelpEmail, 11, "open mailto:support@quillpost.example; "},
           {window->mnuHelpWebsite, 12, "open https://quillpost.example/; "},
           {window->mnuToolsSettings, 8, "modal frmSettings; "},
           {window->mnuMsgSourceCheckAll, 3, "fetch letters; fetch notes; "},
           {window->mnuToolsDropBox, 5, "drop box; "}}) {
    entry->trigger();
    EXPECT_EQ(Effect(), effect) << entry->text().toStdString();
    window->SysTray()->TriggerMenuItem(trayEntry);
    EXPECT_EQ(Effect(), effect) << "tray entry " << trayEntry;
  }
  // The drop box's mark follows it however it closes: the entries again, its own Close.
  window->mnuToolsDropBox->trigger();
  window->mnuToolsDropBox->trigger();
  EXPECT_EQ(Effect(), "");
  window->mnuToolsDropBox->trigger();
  window->DropBox()->mnuPopupClose->trigger();
  EXPECT_EQ(Effect(), "");
  // One dialog, however often and from wherever it is asked for.
  window->mnuToolsSettings->trigger();
  emit window->Panel()->SettingsRequested();
  window->mnuToolsScheduler->trigger();
  emit window->Panel()->SchedulerRequested();
  EXPECT_EQ(Effect(), "modal frmSettings; modal frmScheduler; ");
  Tree().SetSelectedItem(Tree().Find(notesId));
  auto* status = window->findChild<QLabel*>("lblStatus");
  status->clear();
  window->mnuMsgSourceCheckCurrent->trigger();
  EXPECT_EQ(Effect(), "fetch notes; ");
  EXPECT_EQ(status->text(), "No new messages.");  // it said nothing
  // A right click on the icon opens its menu.
  emit window->SysTray()->TrayIcon()->activated(QSystemTrayIcon::Context);
  EXPECT_EQ(window->SysTray()->Menu()->isVisible(), true);
  window->SysTray()->Menu()->close();
  // The main window's check ends in its own tray alert.
  EXPECT_EQ(window->TrayAlert()->isVisible(), true);
  window->TrayAlert()->close();
}

TEST_F(MainWindow, SwitchMinimiseShowAndDoubleClickMoveBetweenWindowAndTray) {
  for (const bool area : {true, false}) {
    TestMainWindow other(*services);
    other.trayAvailable = area;
    other.Form_Load("-s");
    frmSysTray* tray = other.SysTray();
    std::vector<std::string> seen;
    for (const auto& act : std::vector<std::function<void()>>{
             [] {}, [&] { tray->TriggerMenuItem(0); }, [&] { tray->TriggerMenuItem(0); },
             [&] { emit tray->MenuClick(0, "Show"); },  // keys are exact
             [&] { emit tray->TrayIcon()->activated(QSystemTrayIcon::DoubleClick); },
             [&] { other.showMinimized(); }}) {
      act();
      Settle();
      seen.push_back(State(other));
    }
    // Without a notification area the window must stay reachable: minimised, never hidden.
    const std::string away = area ? "hidden, tray Show" : "minimised, tray Show";
    EXPECT_EQ(seen, (std::vector<std::string>{away, "shown, tray Hide", away, away,
                                              "shown, tray Hide", away}))
        << "notification area: " << area;
  }
  for (const char* arguments : {"", "-S", " -s"}) {
    TestMainWindow other(*services);
    other.trayAvailable = true;
    other.Form_Load(arguments);
    EXPECT_EQ(State(other), "shown") << arguments;
  }
  // The first minimise makes the icon and leaves the window on the task bar.
  window->trayAvailable = true;
  window->showMinimized();
  Settle();
  EXPECT_EQ(State(*window), "minimised, tray Show");
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

// Catches a tab's close button closing the active tab instead of its own, and a document's own
// Ctrl+F4 (close) taking the Settings key.
TEST_F(MainWindow, MessageListTabsAndPopupEntriesReachTheirMessage) {
  InstallTemplate();
  QWidget* list = window->Panel()->TreeView()->viewport();
  QTest::mouseDClick(list, Qt::LeftButton, {}, Spot(0));
  QTest::mouseDClick(list, Qt::LeftButton, {}, Spot(0));
  QTest::mouseClick(list, Qt::RightButton, {}, Spot(1));
  Settle();
  EXPECT_EQ(OpenTitles(), QString("First"));  // one window per message
  EXPECT_EQ(window->mnuPopupSource->isVisible(), true);
  window->mnuPopupSource->close();
  ASSERT_EQ(Tree().SelectedItem()->Tag(), "g2");
  window->mnuPopupSourceRead->trigger();
  EXPECT_EQ(StoredRead(lettersId, "g2"), 1);
  window->mnuPopupSourceUnread->trigger();
  EXPECT_EQ(StoredRead(lettersId, "g2"), 0);
  window->mnuPopupSourceExportOpt[1]->trigger();
  EXPECT_EQ(platform.saveDialog.requests.at(0).defaultExtension, "txt");
  window->mnuPopupSourceShow->trigger();
  Settle();
  EXPECT_EQ(OpenTitles(), QString("First, Second"));
  window->activateWindow();
  window->LastDocument()->setFocus();
  QTest::keyClick(window->LastDocument(), Qt::Key_F4);
  EXPECT_EQ(Effect(), "modal frmScheduler; ");
  QApplication::setActiveWindow(window.get());
  QTest::keyClick(window->LastDocument(), Qt::Key_F4, Qt::ControlModifier);
  EXPECT_EQ(Effect(), "modal frmSettings; ");
  emit window->Tabs()->findChild<QTabBar*>()->tabCloseRequested(0);
  Settle();
  EXPECT_EQ(OpenTitles(), QString("Second"));
  // Deleting a message closes its window, though another is in front.
  QTest::mouseDClick(list, Qt::LeftButton, {}, Spot(0));
  Settle();
  Tree().SetSelectedItem(Tree().Find(lettersId)->Child(1));
  platform.messageBox.answers = {Services::vbYes};
  window->mnuPopupSourceDel->trigger();
  Settle();
  EXPECT_EQ(OpenTitles(), QString("First"));
  EXPECT_EQ(StoredRead(lettersId, "g2"), -1);
}

// Catches document entries that act without a document, a close that activates the first tab
// instead of a neighbour, a caption taken for a mnemonic, and a save or print that misses the
// open message (a printed PDF must hold its title).
TEST_F(MainWindow, FileMenuActsOnTheOpenDocuments) {
  InstallTemplate();
  const std::string cartoons =
      AddSource("Cartoons", "http://news.quillpost.test/c", {{"c1", "Tom & Jerry [*]"}});
  ASSERT_EQ(mSubscriptions::LoadSubscriptions(Tree()), true);
  for (const auto& [source, row] : {std::pair(lettersId, 0), {lettersId, 1}, {cartoons, 0}}) {
    Tree().Find(source)->SetExpanded(true);
    Tree().SetSelectedItem(Tree().Find(source)->Child(row));
    window->mnuPopupSourceShow->trigger();
  }
  Settle();
  // The strip shows "&&" as "&"; the area has made "[*][*]" a literal "[*]".
  EXPECT_EQ(window->Tabs()->findChild<QTabBar*>()->tabText(2).toStdString(), "Tom && Jerry [*]");
  EXPECT_EQ(window->mnuFileSaveAs->isEnabled(), true);
  const std::string saved = platform.root + "/saved.eml", pdf = platform.root + "/printed.pdf";
  platform.saveDialog.answer = saved;
  window->mnuFileSaveAs->trigger();
  EXPECT_EQ(platform.saveDialog.requests.at(0).filter,
            "HTML Files|*.htm;*.html|Text Files|*.txt|Email Draft Files (*.eml)|*.eml");
  EXPECT_NE(TestSupport::ReadAll(saved).find("MIME-Version: 1.0"), std::string::npos);  // e-mail
  WithModal<QPrintDialog>([&] { window->mnuFilePrint->trigger(); },
                          [&](QPrintDialog* dialog) {
                            dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
                            dialog->printer()->setOutputFileName(QString::fromStdString(pdf));
                            dialog->done(QDialog::Accepted);
                          });
  QProcess text;
  text.start("pdftotext", {QString::fromStdString(pdf), "-"});
  ASSERT_EQ(text.waitForFinished(10'000), true);
  EXPECT_EQ(text.readAllStandardOutput().contains("Tom & Jerry [*]"), true);

  const auto active = [&] {
    return window->ActiveDocument()->widget()->windowTitle().toStdString();
  };
  // The area itself would go back to the tab active before (First), not to the neighbour.
  for (const int tab : {0, 1})
    window->Tabs()->setActiveSubWindow(window->Tabs()->subWindowList().at(tab));
  window->mnuFileCloseCurrent->trigger();
  Settle();
  EXPECT_EQ(OpenTitles().toStdString() + " | " + active(),
            "First, Tom && Jerry [*][*] | Tom & Jerry [*]");
  window->mnuFileCloseCurrent->trigger();
  Settle();
  EXPECT_EQ(OpenTitles().toStdString() + " | " + active(), "First | First");
  window->mnuFileCloseAll->trigger();
  Settle();
  EXPECT_EQ(std::pair(DocumentCount(), window->mnuFilePrint->isEnabled()), std::pair(0, false));
  window->trayAvailable = true;
  window->mnuFileSystray->trigger();
  Settle();
  EXPECT_EQ(State(*window), "hidden, tray Show");
}

// Catches a SIGTERM that ends the reader before it kept what the next start needs (the counts,
// the index's last writes): it ends the run as Exit does, on the program's own thread.
TEST(QuitSignals, ATerminationEndsTheRunAsExitDoes) {
  int quits = 0;
  const QuitSignals quit([&] { ++quits; });
  std::raise(SIGTERM);
  EXPECT_TRUE(QTest::qWaitFor([&] { return quits == 1; }));
}

TEST(SchedulerWindow, TheMinutesFieldSaysMinuteForOne) {
  TestSupport::FakePlatform platform;
  frmScheduler scheduler;
  QStringList texts;
  for (const int minutes : {1, 5, 1}) {
    scheduler.txtMinutes->setValue(minutes);
    texts << scheduler.txtMinutes->text();
  }
  EXPECT_EQ(texts.join(u'|'), QString("1 minute|5 minutes|1 minute"));
}

// Catches a welcome that stands over an open message, stays once a source exists, lacks its
// picture, or whose buttons the keyboard cannot reach or that reach nothing.
TEST_F(MainWindow, TheWelcomeStandsOnlyWithoutSourcesAndOpenMessages) {
  InstallTemplate();
  auto* welcome = window->findChild<QWidget*>("picWelcome");
  ASSERT_NE(welcome, nullptr);
  EXPECT_EQ(welcome->isVisible(), false);
  QTest::mouseDClick(window->Panel()->TreeView()->viewport(), Qt::LeftButton, {}, Spot(0));
  Settle();
  EXPECT_EQ(DocumentCount(), 1);
  Tree().Clear();
  Settle();
  EXPECT_EQ(welcome->isVisible(), false);  // a message is open
  window->mnuFileCloseAll->trigger();
  Settle();
  EXPECT_EQ(welcome->isVisible(), true);
  EXPECT_EQ(welcome->findChild<QLabel*>("imgWelcome")->pixmap().isNull(), false);
  for (QPushButton* button :
       {window->btnWelcomeSubscribe, window->btnWelcomeImport, window->btnWelcomeHelp})
    EXPECT_EQ(button->focusPolicy() & Qt::TabFocus, Qt::TabFocus) << button->text().toStdString();
  window->btnWelcomeHelp->click();
  EXPECT_EQ(Effect(), "box Help File not found!; ");
  mSubscriptions::LoadSubscriptions(Tree());
  Settle();
  EXPECT_EQ(welcome->isVisible(), false);
}

// Catches reading keys that act while typing in a field, Next Unread piling up tabs, and source
// entries that miss their source.
TEST_F(MainWindow, ReadingKeysActInTheTreeNotInAFieldAndSourceEntriesReachTheirSource) {
  InstallTemplate();
  QApplication::setActiveWindow(window.get());
  QTreeView* tree = window->Panel()->TreeView();
  const auto press = [](QWidget* where, int key, Qt::KeyboardModifiers modifiers = {}) {
    where->setFocus();
    QTest::keyClick(where, key, modifiers);
    Settle();
  };
  press(tree, Qt::Key_N);
  EXPECT_EQ(OpenTitles(), QString("First"));
  press(window->Panel()->Search()->txtSearch, Qt::Key_N);
  window->Panel()->Search()->Clear();
  press(tree, Qt::Key_N);
  EXPECT_EQ(OpenTitles(), QString("Second"));
  press(tree, Qt::Key_N, Qt::ShiftModifier);
  EXPECT_EQ(OpenTitles(), QString("First"));
  press(tree, Qt::Key_Space);  // the page fits: its end is reached
  press(tree, Qt::Key_N);
  EXPECT_EQ(OpenTitles(), QString("Note"));
  EXPECT_EQ(window->findChild<QLabel*>("lblStatus")->text(), QString("No unread messages."));
  EXPECT_EQ(StoredRead(notesId, "n1"), 1);

  QTest::mouseClick(
      tree->viewport(), Qt::RightButton, {},
      tree->visualRect(window->Panel()->Model().IndexFromNode(Tree().Find(lettersId))).center());
  Settle();
  EXPECT_EQ(window->mnuSourcePopup->isVisible(), true);
  window->mnuSourcePopup->close();
  MessageActions::MarkSelected(Tree(), true);  // nothing: a source is selected
  ASSERT_TRUE(mInbox::MarkMessage(lettersId, Tree().Find(lettersId)->Child(0)->Tag(), false));
  platform.messageBox.answers = {Services::vbYes};
  press(tree, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Effect(), "box Mark as Read?; ");
  window->mnuSourcePopupRename->trigger();
  EXPECT_EQ(Tree().EditingNode(), Tree().Find(lettersId));
}

// Catches a page that does not take the keyboard when it opens (N read on once, then the keys went
// nowhere), and Escape that does not lead back to the list the message came from.
TEST_F(MainWindow, APageOpenedTakesTheKeyboardAndEscapeGoesBackToItsList) {
  InstallTemplate();
  QApplication::setActiveWindow(window.get());
  QTreeView* tree = window->Panel()->TreeView();
  SearchPane* search = window->Panel()->Search();
  const auto key = [](Qt::Key code) {
    QTest::keyClick(QApplication::focusWidget(), code);
    Settle();
  };
  const auto where = [&] {
    QWidget* focus = QApplication::focusWidget();
    frmDoc* page = DocumentTabs::DocumentOf(window->ActiveDocument());
    // The page's view itself: a hidden button of the page would take no keys.
    QWidget* view = page && page->HasView() ? page->ucBrowser() : nullptr;
    if (focus == tree) return std::string("tree");
    if (focus == search->lstResults) return std::string("results");
    if (view && (view == focus || view->isAncestorOf(focus)))
      return page->windowTitle().toStdString();
    return std::string("elsewhere");
  };
  Tree().Find(lettersId)->SetExpanded(true);
  Tree().SetSelectedItem(Tree().Find(lettersId)->Child(1));
  tree->setFocus();
  std::vector<std::string> seen;
  for (const Qt::Key code : {Qt::Key_Return, Qt::Key_N, Qt::Key_N, Qt::Key_Escape}) {
    key(code);
    seen.push_back(where());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Second", "Note", "First", "tree"}));
  EXPECT_EQ(Tree().SelectedItem()->Tag(), "g1");

  ASSERT_TRUE(window->Panel()->Index()->WaitUntilCurrent(std::chrono::seconds(10)));
  search->ShowQuery("note");
  ASSERT_TRUE(QTest::qWaitFor([&] { return search->lstResults->model()->rowCount() == 1; }));
  search->lstResults->setFocus();
  key(Qt::Key_Return);
  EXPECT_EQ(where(), "Note");
  key(Qt::Key_Escape);
  EXPECT_EQ(where(), "results");
  // The list is gone once the query is: back to the tree.
  key(Qt::Key_Return);
  search->Clear();
  window->LastDocument()->FocusPage();
  key(Qt::Key_Escape);
  EXPECT_EQ(std::pair(where(), Tree().SelectedItem()->Tag()),
            std::pair(std::string("tree"), std::string("n1")));
}

// Catches a help page that falls behind the program: every key of the main window's entries and
// every switch of the command line is explained there.
TEST_F(MainWindow, TheHelpPageNamesEveryKeyAndSwitch) {
  const std::string help = TestSupport::ReadAll(QP_SOURCE_DIR "/src/resources/Help.html");
  for (const QAction* entry : window->findChildren<QAction*>()) {
    for (const QKeySequence& keys : entry->shortcuts()) {
      QString shown;
      for (const QString& key : keys.toString(QKeySequence::PortableText).split('+'))
        shown += (shown.isEmpty() ? "" : "+") +
                 QString("<kbd>%1</kbd>").arg(key == "Del" ? "Delete" : key);
      EXPECT_NE(help.find(shown.toStdString()), std::string::npos) << shown.toStdString();
    }
  }
  QProcess usage;
  usage.start(QP_PROGRAM_PATH, {"--help"});
  ASSERT_TRUE(usage.waitForFinished(10'000));
  const QString text = usage.readAllStandardOutput();
  const QString synopsis = text.left(text.indexOf("\n\n"));
  for (const QString& word : synopsis.split(QRegularExpression("[\\s\\[\\]|]+"))) {
    if (!word.startsWith('-')) continue;
    EXPECT_NE(help.find("quillpost " + word.toStdString()), std::string::npos)
        << word.toStdString();
  }
}
