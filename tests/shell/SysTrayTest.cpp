// The tray icon shows TrayMenu (whose rules TrayMenuTest pins) as a menu and reports choices.
#include "shell/frmSysTray.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

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

// Catches a crash when a click handler removes the entry being handled or the tray (exit).
TEST(SysTrayTest, MenuFollowsTheModelAndChoicesReachHandlersThatMayRemoveTheTray) {
  auto tray = std::make_unique<frmSysTray>();
  tray->AddMenuItem("Show", "show", true);
  for (const char* item : {"-", "Subscribe", "Exit"})
    tray->AddMenuItem(item, QString(item).toLower());
  std::vector<std::string> keys;
  QObject context;
  QObject::connect(tray.get(), &frmSysTray::MenuClick, &context,
                   [&](int index, const QString& key) {
                     keys.push_back(std::to_string(index) + " " + key.toStdString());
                     if (key == "subscribe") tray->RemoveMenuItem(index);
                     if (key == "exit") tray.reset();
                   });
  tray->SetMenuCaption(0, "Hide");
  tray->EnableMenuItem(2, false);
  EXPECT_EQ(Shown(*tray->Menu()),
            (std::vector<std::string>{"Hide*", "-", "Subscribe(off)", "Exit"}));
  for (int index : {0, 1, 2, 40}) tray->TriggerMenuItem(index);
  tray->EnableMenuItem(2, true);
  tray->TriggerMenuItem(2);
  EXPECT_EQ(Shown(*tray->Menu()), (std::vector<std::string>{"Hide*", "-", "Exit"}));
  // Texts are fitted to the notification area's fields.
  tray->SetToolTip(QString(200, QLatin1Char('t')));
  EXPECT_EQ(tray->TrayIcon()->toolTip(), QString(127, QLatin1Char('t')));
  tray->ShowBalloonTip(QString(300, QChar(0x00E9)), QString(70, QLatin1Char('x')), 9, 1000);
  EXPECT_EQ(tray->LastBalloon().message + tray->LastBalloon().title,
            QString(255, QChar(0x00E9)) + QString(63, QLatin1Char('x')));

  QPointer<QSystemTrayIcon> icon = tray->TrayIcon();
  QMenu* menu = tray->Menu();
  tray->ShowMenu();
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(2)).center());
  EXPECT_EQ(tray, nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(icon.isNull(), true);
  EXPECT_EQ(keys, (std::vector<std::string>{"0 show", "2 subscribe", "2 exit"}));
}

}  // namespace
