#include "retrieval/frmBusy.h"

#include "core/TreeControl.h"
#include "inbox/FeedParser.h"
#include "retrieval/CheckRun.h"
#include "subscriptions/SourceTree.h"
#include "support/DataFolder.h"

#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const Qt::KeyboardModifiers kCtrlAlt = Qt::ControlModifier | Qt::AltModifier;

// What the busy window shows: visible, source, queue, status.
QStringList Shown(const frmBusy* window) {
  if (!window) return {"<none>"};
  QStringList lines{window->isVisible() ? "visible" : "hidden", window->lblSource->text()};
  for (int i = 0; i < window->lstQueue->count(); ++i) lines << window->lstQueue->item(i)->text();
  return lines << window->lblStatus->text();
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

TEST_F(BusyWindowTest, ARunShowsEachSourceAndClosingTheWindowDoesNotStopIt) {
  AddSource("Zeta", "http://feeds.test/zeta");
  AddSource("Alpha", "http://feeds.test/alpha");
  TreeControl tree("tvMessages");
  ASSERT_EQ(mSubscriptions::LoadSubscriptions(tree), true);
  platform.http.answers["http://feeds.test/zeta"] = {true, 200, TestData::FeedWithItems({"z"}), {}};
  std::vector<QStringList> seen;
  platform.http.duringFetch = [&](const std::string&) {
    seen.push_back(Shown(busy.Window()));
    QTest::keyRelease(busy.Window(), Qt::Key_Q, kCtrlAlt);
  };
  ASSERT_EQ(mAppFunctions::CheckTrigger(tree, true), true);
  // Closed during Zeta's download, shown again for Alpha.
  EXPECT_EQ(seen, (std::vector<QStringList>{{"visible", "Zeta", "Zeta", "Alpha", ""},
                                            {"visible", "Alpha", "Alpha",
                                             "Server Communication complete."}}));
  EXPECT_EQ(busy.Window(), nullptr);
  EXPECT_EQ(alert.isVisible(), true);
  EXPECT_EQ(alert.Text().toStdString(), mInbox::RunSummary);
  EXPECT_EQ(alert.DisplayMs(), BusyProgress::kAlertMs);
}

TEST_F(BusyWindowTest, OnlyCtrlAltQClosesItAndItComesBackWithTheCurrentState) {
  busy.SetQueue({"A", "B", "C"});
  busy.SetSource("A");
  busy.Show();
  for (const Qt::KeyboardModifiers modifiers :
       {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
        kCtrlAlt | Qt::ShiftModifier}) {
    QTest::keyRelease(busy.Window(), Qt::Key_Q, modifiers);
  }
  QTest::keyRelease(busy.Window(), Qt::Key_W, kCtrlAlt);
  EXPECT_EQ(Shown(busy.Window()), (QStringList{"visible", "A", "A", "B", "C", ""}));
  QTest::keyRelease(busy.Window(), Qt::Key_Q, kCtrlAlt);
  EXPECT_EQ(Shown(busy.Window()).front(), "hidden");

  // The run keeps reporting into the closed window, and also after it was destroyed (as when
  // every window is unloaded at shutdown).
  busy.RemoveFirst();
  busy.SetSource("B");
  delete busy.Window();
  busy.SetStatus("Request Sent! Waiting for Server reply...");
  busy.Show();
  EXPECT_EQ(Shown(busy.Window()),
            (QStringList{"visible", "B", "B", "C", "Request Sent! Waiting for Server reply..."}));
  for (int i = 0; i < 3; ++i) busy.RemoveFirst();  // more than there are: nothing left to drop
  EXPECT_EQ(Shown(busy.Window()),
            (QStringList{"visible", "B", "Request Sent! Waiting for Server reply..."}));
  busy.Close();
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
  EXPECT_LE(Distance(alone.Window()->frameGeometry().center(),
                     QGuiApplication::primaryScreen()->availableGeometry().center()),
            2);
  // Its own tray alert serves the summary.
  alone.Alert("You have 1 New Messages \r\n in Mid account.\r\n\r\n");
  EXPECT_EQ(alone.TrayAlert()->isVisible(), true);
}
