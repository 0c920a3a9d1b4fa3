// The tray icon shows TrayMenu (whose rules TrayMenuTest pins) as a menu and turns the icon's
// activations and the menu's choices into the events the main window handles.

#include "shell/frmSysTray.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

void Fill(frmSysTray& tray) {
  tray.AddMenuItem("Show", "show", true);
  tray.AddMenuItem("-", "");
  tray.AddMenuItem("Subscribe to New Source", "newsource");
  tray.AddMenuItem("Exit", "exit");
}

// The shown entries: text, "-" for a line, "*" for the default, "(off)" when disabled.
std::vector<std::string> Shown(const QMenu& menu) {
  std::vector<std::string> shown;
  for (const QAction* action : menu.actions()) {
    if (!action->isVisible()) continue;
    shown.push_back((action->isSeparator() ? std::string("-") : action->text().toStdString()) +
                    (action->font().bold() ? "*" : "") + (action->isEnabled() ? "" : "(off)"));
  }
  return shown;
}

TEST(SysTrayTest, MenuFollowsTheModelAndOnlyChoosableEntriesReportTheirKey) {
  frmSysTray tray;
  Fill(tray);
  QSignalSpy clicks(&tray, &frmSysTray::MenuClick);
  tray.SetMenuCaption(0, "Hide");
  tray.EnableMenuItem(2, false);
  EXPECT_EQ(Shown(*tray.Menu()),
            (std::vector<std::string>{"Hide*", "-", "Subscribe to New Source(off)", "Exit"}));
  for (int index : {0, 1, 2, 3, 40}) tray.TriggerMenuItem(index);
  std::vector<std::string> keys;
  for (const auto& click : clicks)
    keys.push_back(std::to_string(click[0].toInt()) + " " + click[1].toString().toStdString());
  EXPECT_EQ(keys, (std::vector<std::string>{"0 show", "3 exit"}));

  tray.RemoveMenuItem(2);
  EXPECT_EQ(Shown(*tray.Menu()), (std::vector<std::string>{"Hide*", "-", "Exit"}));
}

// Catches a crash when a click handler removes the tray (exit) or the entry being handled.
TEST(SysTrayTest, ClickHandlersMayRemoveTheirEntryOrDestroyTheTray) {
  auto tray = std::make_unique<frmSysTray>();
  Fill(*tray);
  QObject context;
  QObject::connect(tray.get(), &frmSysTray::MenuClick, &context,
                   [&tray](int index, const QString& key) {
                     if (key == "newsource") tray->RemoveMenuItem(index);
                     if (key == "exit") tray.reset();
                   });
  tray->TriggerMenuItem(2);
  EXPECT_EQ(tray->MenuCount(), 3);

  QPointer<QSystemTrayIcon> icon = tray->TrayIcon();
  QMenu* menu = tray->Menu();
  tray->ShowMenu();
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(2)).center());
  EXPECT_EQ(tray, nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(icon.isNull(), true);
}

TEST(SysTrayTest, ActivationsBecomeMouseEventsWithTheButtonNumbers) {
  frmSysTray tray;
  std::vector<std::string> events;
  QObject::connect(&tray, &frmSysTray::SysTrayMouseDown,
                   [&](int b) { events.push_back("down " + std::to_string(b)); });
  QObject::connect(&tray, &frmSysTray::SysTrayMouseUp,
                   [&](int b) { events.push_back("up " + std::to_string(b)); });
  QObject::connect(&tray, &frmSysTray::SysTrayDoubleClick,
                   [&](int b) { events.push_back("double " + std::to_string(b)); });
  for (auto reason :
       {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Unknown})
    emit tray.TrayIcon()->activated(reason);
  EXPECT_EQ(events, (std::vector<std::string>{"down 2", "up 2", "double 1"}));
}

TEST(SysTrayTest, TextsAreFittedToTheirFields) {
  frmSysTray tray;
  tray.SetToolTip(QString(200, QLatin1Char('t')));
  EXPECT_EQ(tray.TrayIcon()->toolTip(), QString(127, QLatin1Char('t')));
  tray.ShowBalloonTip(QString(300, QChar(0x00E9)), QString(70, QLatin1Char('x')), 9, 1000);
  EXPECT_EQ(tray.LastBalloon().message, QString(255, QChar(0x00E9)));
  EXPECT_EQ(tray.LastBalloon().title, QString(63, QLatin1Char('x')));
  EXPECT_EQ(tray.LastBalloon().icon, 0);
}

}  // namespace
