#include "retrieval/frmBusy.h"

#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "inbox/mInbox.h"
#include "retrieval/CheckRun.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"
#include "support/DataFolder.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TestSupport::FakePlatform;

namespace {

std::string Feed(const std::vector<std::string>& guids) {
  return TestData::FeedWithItems(guids);
}

Services::IHttp::Result Answer(const std::string& body) { return {true, 200, body, {}}; }

QStringList QueueLines(const frmBusy& window) {
  QStringList lines;
  for (int i = 0; i < window.lstQueue->count(); ++i) lines << window.lstQueue->item(i)->text();
  return lines;
}

void ReleaseQ(QWidget* window, Qt::KeyboardModifiers modifiers) {
  QTest::keyRelease(window, Qt::Key_Q, modifiers);
}

const Qt::KeyboardModifiers kCtrlAlt = Qt::ControlModifier | Qt::AltModifier;

// The busy window serves the progress service, over a visible main window.
class BusyWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mainWindow.setGeometry(40, 40, 620, 460);
    mainWindow.show();
    Services::Current().progress = &busy;
  }

  FakePlatform platform;
  QWidget mainWindow;
  ucTrayAlert alert;
  BusyProgress busy{&mainWindow, alert};
};

// What the busy window showed while one source was being fetched.
struct Seen {
  bool visible = false;
  QString source;
  QStringList queue;
  QString status;
};

}  // namespace

TEST_F(BusyWindowTest, ARunOfThreeSourcesShowsTheQueueShrinkingAndEndsWithTheAlert) {
  mAppFunctions::InitializeDataFolder();
  ASSERT_TRUE(mSubscriptions::AddSource("Zeta", "http://feeds.test/zeta"));
  ASSERT_TRUE(mSubscriptions::AddSource("Alpha", "http://feeds.test/alpha"));
  ASSERT_TRUE(mSubscriptions::AddSource("Mid", "http://feeds.test/mid"));
  TreeControl tree("tvMessages");
  ASSERT_TRUE(mSubscriptions::LoadSubscriptions(tree));
  platform.http.answers["http://feeds.test/zeta"] = Answer(Feed({"z1", "z2"}));
  platform.http.answers["http://feeds.test/alpha"] = Answer(Feed({}));
  platform.http.answers["http://feeds.test/mid"] = Answer(Feed({"m1"}));

  std::vector<Seen> seen;
  platform.http.duringFetch = [&](const std::string& url) {
    frmBusy* window = busy.Window();
    ASSERT_NE(window, nullptr);
    seen.push_back({window->isVisible(), window->lblSource->text(), QueueLines(*window),
                    window->lblStatus->text()});
    // The user closes the window while Alpha downloads; the run must not notice.
    if (url == "http://feeds.test/alpha") ReleaseQ(window, kCtrlAlt);
  };

  ASSERT_TRUE(mAppFunctions::CheckTrigger(tree, true));

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_TRUE(seen[0].visible);
  EXPECT_EQ(seen[0].source, "Zeta");
  EXPECT_EQ(seen[0].queue, (QStringList{"Zeta", "Alpha", "Mid"}));
  EXPECT_EQ(seen[0].status, "");
  EXPECT_EQ(seen[1].source, "Alpha");
  EXPECT_EQ(seen[1].queue, (QStringList{"Alpha", "Mid"}));
  EXPECT_EQ(seen[1].status, "Server Communication complete.");
  // Shown again for the next source, with what happened while it was closed.
  EXPECT_TRUE(seen[2].visible);
  EXPECT_EQ(seen[2].source, "Mid");
  EXPECT_EQ(seen[2].queue, (QStringList{"Mid"}));

  EXPECT_EQ(platform.http.fetched.size(), 3u);
  EXPECT_FALSE(mAppFunctions::CheckRunning);
  EXPECT_EQ(busy.Window(), nullptr);
  EXPECT_TRUE(alert.isVisible());
  EXPECT_EQ(alert.Text().toStdString(),
            "You have 2 New Messages \r\n in Zeta account.\r\n\r\n"
            "You have 1 New Messages \r\n in Mid account.\r\n\r\n");
  EXPECT_EQ(alert.DisplayMs(), 6000);
}

TEST_F(BusyWindowTest, WindowIsTranslucentTopMostFixedAndCentredOnTheMainWindow) {
  busy.SetQueue({"One"});
  busy.Show();
  frmBusy* window = busy.Window();
  ASSERT_NE(window, nullptr);

  EXPECT_EQ(qRound(window->windowOpacity() * 255), 230);
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_EQ(flags & Qt::WindowStaysOnTopHint, Qt::WindowStaysOnTopHint);
  EXPECT_EQ(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
            Qt::WindowFlags());
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(window->palette().color(QPalette::Window), QColor(245, 245, 245));
  EXPECT_EQ(window->lblChecking->text(), "Checking for New Messages ... ");
  const QString family =
      QFontDatabase::hasFamily("Verdana") ? QString("Verdana") : QGuiApplication::font().family();
  EXPECT_EQ(window->lblSource->font().family(), family);
  EXPECT_TRUE(window->imgQuillpost->Running());

  const QPoint offset = window->frameGeometry().center() - mainWindow.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();

  busy.Close();
  EXPECT_EQ(busy.Window(), nullptr);
}

TEST_F(BusyWindowTest, WithoutTranslucencyOrMainWindowItIsOpaqueOnTheScreenCentre) {
  platform.windowSystem.supported = false;
  BusyProgress alone(nullptr);
  alone.Show();
  ASSERT_NE(alone.Window(), nullptr);
  EXPECT_EQ(qRound(alone.Window()->windowOpacity() * 255), 255);
  const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  const QPoint offset = alone.Window()->frameGeometry().center() - screenCentre;
  EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();

  // Its own tray alert serves the summary.
  alone.Alert("You have 1 New Messages \r\n in Mid account.\r\n\r\n");
  ASSERT_NE(alone.TrayAlert(), nullptr);
  EXPECT_TRUE(alone.TrayAlert()->isVisible());
  EXPECT_EQ(alone.TrayAlert()->DisplayMs(), BusyProgress::kAlertMs);
}

TEST_F(BusyWindowTest, OnlyCtrlAltQClosesTheWindowAndALaterShowBringsItBack) {
  busy.SetQueue({"A", "B", "C"});
  busy.SetSource("A");
  busy.Show();
  frmBusy* window = busy.Window();
  ASSERT_TRUE(window->isVisible());

  ReleaseQ(window, Qt::NoModifier);
  ReleaseQ(window, Qt::ControlModifier);
  ReleaseQ(window, kCtrlAlt | Qt::ShiftModifier);
  QTest::keyRelease(window, Qt::Key_W, kCtrlAlt);
  EXPECT_TRUE(window->isVisible());

  ReleaseQ(window, kCtrlAlt);
  EXPECT_FALSE(window->isVisible());

  // The run keeps reporting into the closed window.
  busy.RemoveFirst();
  busy.SetSource("B");
  busy.SetStatus("Request Sent! Waiting for Server reply...");
  busy.Show();
  ASSERT_NE(busy.Window(), nullptr);
  EXPECT_TRUE(busy.Window()->isVisible());
  EXPECT_EQ(QueueLines(*busy.Window()), (QStringList{"B", "C"}));
  EXPECT_EQ(busy.Window()->lblSource->text(), "B");
  EXPECT_EQ(busy.Window()->lblStatus->text(), "Request Sent! Waiting for Server reply...");
}

TEST_F(BusyWindowTest, AWindowDestroyedUnderTheRunIsMadeAgainWithTheCurrentState) {
  busy.SetQueue({"A", "B"});
  busy.Show();
  delete busy.Window();  // as when every window is unloaded at shutdown
  EXPECT_EQ(busy.Window(), nullptr);

  busy.SetStatus("Done! Parsing Data ...");
  busy.RemoveFirst();
  busy.RemoveFirst();
  busy.RemoveFirst();  // more than there were: nothing left to drop
  busy.SetSource("B");
  busy.Show();
  ASSERT_NE(busy.Window(), nullptr);
  EXPECT_TRUE(busy.Window()->isVisible());
  EXPECT_EQ(QueueLines(*busy.Window()), QStringList());
  EXPECT_EQ(busy.Window()->lblStatus->text(), "Done! Parsing Data ...");
  busy.Close();
  busy.Close();
  EXPECT_EQ(busy.Window(), nullptr);
}
