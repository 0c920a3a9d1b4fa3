#include "retrieval/frmBusy.h"

#include "retrieval/CheckRun.h"
#include "subscriptions/SourceTree.h"
#include "support/DataFolder.h"

#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// What the busy window shows: visible or hidden, source, queue, status.
QStringList Shown(const frmBusy* window) {
  QStringList lines{window->isVisible() ? "visible" : "hidden", window->lblSource->text()};
  for (int i = 0; i < window->lstQueue->count(); ++i) lines << window->lstQueue->item(i)->text();
  return lines << window->lblStatus->text();
}

void CtrlAlt(QWidget* window, Qt::Key key, Qt::KeyboardModifiers more = Qt::NoModifier) {
  QTest::keyRelease(window, key, Qt::ControlModifier | Qt::AltModifier | more);
}

int Distance(const QPoint& a, const QPoint& b) { return (a - b).manhattanLength(); }

// The busy window serves the progress service, over a visible main window.
class BusyWindowTest : public TestData::DataFolderTest {
 protected:
  BusyWindowTest() {
    mainWindow.setGeometry(40, 40, 620, 460);
    mainWindow.show();
    Services::Current().progress = &busy;
  }
  QWidget mainWindow;
  ucTrayAlert alert;
  BusyProgress busy{&mainWindow, alert};
};

}  // namespace

TEST_F(BusyWindowTest, TheSummaryGoesToTheMainWindowsTrayAlert) {
  busy.Alert("You have 1 New Messages \r\n in Mid account.\r\n\r\n");
  EXPECT_EQ(alert.isVisible(), true);
  EXPECT_EQ(alert.Text().toStdString(), "You have 1 New Messages \r\n in Mid account.\r\n\r\n");
  EXPECT_EQ(alert.DisplayMs(), BusyProgress::kAlertMs);
}

// Regression: closing the busy window must not stop or break the run that reports into it.
TEST_F(BusyWindowTest, OnlyCtrlAltQClosesItAndItComesBackWithTheCurrentState) {
  busy.SetQueue({"A", "B", "C"});
  busy.SetSource("A");
  busy.Show();
  QTest::keyRelease(busy.Window(), Qt::Key_Q, Qt::ControlModifier);
  CtrlAlt(busy.Window(), Qt::Key_Q, Qt::ShiftModifier);
  CtrlAlt(busy.Window(), Qt::Key_W);
  EXPECT_EQ(Shown(busy.Window()), (QStringList{"visible", "A", "A", "B", "C", ""}));
  CtrlAlt(busy.Window(), Qt::Key_Q);
  EXPECT_EQ(Shown(busy.Window()).front(), "hidden");

  // The run reports on into the closed window, and after the window was destroyed (as when
  // every window is unloaded at shutdown).
  busy.RemoveFirst();
  delete busy.Window();
  busy.SetSource("B");
  busy.SetStatus("Done! Parsing Data ...");
  busy.Show();
  EXPECT_EQ(Shown(busy.Window()),
            (QStringList{"visible", "B", "B", "C", "Done! Parsing Data ..."}));
  busy.Close();
  EXPECT_EQ(busy.Window(), nullptr);
}

TEST_F(BusyWindowTest, TranslucentTopMostAndFixedOverTheMainWindowElseOpaqueOnTheScreen) {
  busy.Show();
  const frmBusy* window = busy.Window();
  EXPECT_EQ(qRound(window->windowOpacity() * 255), 230);
  EXPECT_EQ(window->windowFlags() & (Qt::WindowStaysOnTopHint | Qt::WindowMinimizeButtonHint |
                                     Qt::WindowMaximizeButtonHint),
            Qt::WindowStaysOnTopHint);
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_LE(Distance(window->frameGeometry().center(), mainWindow.frameGeometry().center()), 2);

  platform.windowSystem.supported = false;
  BusyProgress alone(nullptr);
  alone.Show();
  EXPECT_EQ(qRound(alone.Window()->windowOpacity() * 255), 255);
  const QPoint screen = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE(Distance(alone.Window()->frameGeometry().center(), screen), 2);
}

// Regression: Escape pressed anywhere in the program stopped the run, also where it belongs to
// the main window's own controls.
TEST_F(BusyWindowTest, StopAndEscapeInTheActiveBusyWindowEndTheRunEscapeElsewhereDoesNot) {
  AddSource("Hanging", "http://feeds.test/hang");
  TreeControl tree("tvMessages");
  mSubscriptions::LoadSubscriptions(tree);
  platform.http.hanging = {"http://feeds.test/hang"};
  std::vector<int> stopped;
  QWidget mainWindow;
  mainWindow.show();
  for (const int way : {0, 1, 2}) {
    platform.http.whileHanging = [&] {
      if (way == 0) {
        busy.Window()->btnStop->click();
        return;
      }
      QWidget* target = way == 1 ? &mainWindow : busy.Window();
      QApplication::setActiveWindow(target);
      QTest::keyClick(target, Qt::Key_Escape);
    };
    mAppFunctions::CheckOutcome outcome;
    mAppFunctions::CheckTrigger(tree, true, &outcome);
    stopped.push_back(outcome.stopped);
  }
  EXPECT_EQ(stopped, (std::vector<int>{1, 0, 1}));
}
