#include "core/TrayAlert.h"

#include <QApplication>
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

// It stayed light yellow on a dark desktop, whose theme left the tooltip colours light.
TEST(TrayAlertTest, NoticeTakesTheDesktopsColoursLightOrDarkEachTimeItShows) {
  const QPalette light = QApplication::palette();
  QPalette dark = light;
  dark.setColor(QPalette::Window, QColor(0x20, 0x24, 0x2c));
  dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe9, 0xef));
  dark.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
  dark.setColor(QPalette::ToolTipText, Qt::black);
  ucTrayAlert alert;
  // The lightness of the notice's background and of its text, as painted.
  const auto look = [&] {
    alert.ShowAlert("You have 2 New Messages", 60000);
    return std::pair(alert.grab().toImage().pixelColor(8, alert.height() / 2).lightness() > 128,
                     alert.findChild<QLabel*>("lblAlertText")
                             ->palette()
                             .color(QPalette::WindowText)
                             .lightness() > 128);
  };
  EXPECT_EQ(look(), std::pair(true, false));
  QApplication::setPalette(dark);
  EXPECT_EQ(look(), std::pair(false, true));
  QApplication::setPalette(light);
  EXPECT_EQ(look(), std::pair(true, false));
}

}  // namespace
