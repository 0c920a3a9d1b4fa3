#include "core/TrayAlert.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kSummary = "You have 2 \r\n in Zeta.\r\n\r\nYou have 1 \r\n in Mid.\r\n\r\n";

TEST(TrayAlertTest, SummaryShowsWithLineBreaksInTheScreensBottomRightCorner) {
  ucTrayAlert alert;
  alert.ShowAlert(kSummary, 6000);
  EXPECT_EQ(alert.findChild<QLabel*>("lblAlertText")->text(),
            "You have 2 \n in Zeta.\n\nYou have 1 \n in Mid.");
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect placed = alert.frameGeometry();
  EXPECT_EQ(area.intersected(placed), placed);
  EXPECT_LE(area.right() - placed.right(), 24);
  EXPECT_LE(area.bottom() - placed.bottom(), 24);
  // Over every window, without taking the focus from the one the user works in.
  const auto flags = Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
  EXPECT_EQ(alert.windowFlags() & flags, flags);
  // A very long summary stays on the screen too.
  alert.ShowAlert(kSummary.repeated(200), 6000);
  EXPECT_EQ(area.intersected(alert.frameGeometry()), alert.frameGeometry());
}

TEST(TrayAlertTest, NoticeGoesAwayAfterItsTimeWhenClickedOrWithNothingToSay) {
  ucTrayAlert alert;
  QSignalSpy closed(&alert, &ucTrayAlert::Closed);
  alert.ShowAlert("one", 30);
  EXPECT_EQ(closed.wait(3000), true);
  // Faded out, then ready to show at full strength again.
  EXPECT_EQ(qRound(alert.windowOpacity() * 255), 255);
  alert.ShowAlert("two", 60000);
  QTest::mouseClick(alert.findChild<QLabel*>("lblAlertText"), Qt::LeftButton);
  EXPECT_EQ(alert.isVisible(), false);
  EXPECT_EQ(closed.count(), 2);
  alert.ShowAlert("text", 0);
  EXPECT_EQ(alert.DisplayMs(), ucTrayAlert::kDefaultDisplayMs);  // a safe default for odd times
  alert.ShowAlert(" \r\n\r\n", 6000);                            // nothing to say: no notice
  EXPECT_EQ(alert.isVisible(), false);
}

}  // namespace
