#include "core/TrayAlert.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kSummary =
    "You have 2 New Messages \r\n in Zeta account.\r\n\r\nYou have 1 New Messages \r\n in Mid "
    "account.\r\n\r\n";

QString ShownText(const ucTrayAlert& alert) {
  return alert.findChild<QLabel*>("lblAlertText")->text();
}

}  // namespace

TEST(TrayAlertTest, SummaryShowsWithLineBreaksInTheScreensBottomRightCorner) {
  ucTrayAlert alert;
  alert.ShowAlert(kSummary, 6000);

  EXPECT_TRUE(alert.isVisible());
  EXPECT_EQ(alert.Text(), kSummary);
  EXPECT_EQ(alert.DisplayMs(), 6000);
  EXPECT_EQ(ShownText(alert),
            "You have 2 New Messages \n in Zeta account.\n\nYou have 1 New Messages \n in Mid "
            "account.");

  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect placed = alert.frameGeometry();
  EXPECT_TRUE(area.contains(placed)) << placed.x() << "," << placed.y();
  EXPECT_LE(area.right() - placed.right(), 24);
  EXPECT_LE(area.bottom() - placed.bottom(), 24);

  const Qt::WindowFlags flags = alert.windowFlags();
  EXPECT_EQ(flags & Qt::WindowStaysOnTopHint, Qt::WindowStaysOnTopHint);
  EXPECT_EQ(flags & Qt::WindowDoesNotAcceptFocus, Qt::WindowDoesNotAcceptFocus);
  EXPECT_EQ(flags & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
}

TEST(TrayAlertTest, NoticeGoesAwayAfterItsTimeOrWhenClicked) {
  ucTrayAlert alert;
  QSignalSpy closed(&alert, &ucTrayAlert::Closed);
  alert.ShowAlert("one", 30);
  EXPECT_TRUE(closed.wait(3000));
  EXPECT_FALSE(alert.isVisible());
  // Faded out, then ready to show at full strength again.
  EXPECT_EQ(qRound(alert.windowOpacity() * 255), 255);

  alert.ShowAlert("two", 60000);
  ASSERT_TRUE(alert.isVisible());
  QTest::mouseClick(&alert, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_FALSE(alert.isVisible());
  EXPECT_EQ(closed.count(), 2);

  alert.ShowAlert("three", 60000);
  QTest::mouseClick(alert.findChild<QLabel*>("lblAlertText"), Qt::LeftButton);
  EXPECT_FALSE(alert.isVisible());
}

TEST(TrayAlertTest, OddInputGetsSafeDefaults) {
  ucTrayAlert alert;
  alert.ShowAlert("text", 0);
  EXPECT_EQ(alert.DisplayMs(), ucTrayAlert::kDefaultDisplayMs);
  alert.ShowAlert("text", -5);
  EXPECT_EQ(alert.DisplayMs(), ucTrayAlert::kDefaultDisplayMs);

  // Nothing to say: no empty notice; one already shown goes.
  alert.ShowAlert(" \r\n\r\n", 6000);
  EXPECT_FALSE(alert.isVisible());

  // A very long summary stays on the screen.
  QString longText;
  for (int i = 0; i < 400; ++i)
    longText += "You have 1 New Messages \r\n in Source account.\r\n\r\n";
  alert.ShowAlert(longText, 6000);
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(area.contains(alert.frameGeometry()));
}
