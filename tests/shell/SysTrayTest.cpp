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

// The start of the main window's tray menu.
void FillLikeTheMainWindow(frmSysTray& tray) {
  tray.AddMenuItem("Show", "show", true);
  tray.AddMenuItem("-", "");
  tray.AddMenuItem("Subscribe to New Source", "newsource");
  tray.AddMenuItem("Check for New Messages", "checkmsg");
  tray.AddMenuItem("-", "");
  tray.AddMenuItem("Exit", "exit");
}

struct ShownAction {
  std::string text;
  bool separator = false;
  bool enabled = true;
  bool bold = false;
  bool operator==(const ShownAction&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ShownAction& a) {
  return out << "{" << a.text << (a.separator ? " sep" : "") << (a.enabled ? "" : " disabled")
             << (a.bold ? " bold" : "") << "}";
}

std::vector<ShownAction> Shown(const QMenu& menu) {
  std::vector<ShownAction> shown;
  for (const QAction* action : menu.actions()) {
    if (!action->isVisible()) continue;
    shown.push_back({action->text().toStdString(), action->isSeparator(), action->isEnabled(),
                     action->font().bold()});
  }
  return shown;
}

std::vector<std::pair<int, std::string>> Clicks(const QSignalSpy& spy) {
  std::vector<std::pair<int, std::string>> clicks;
  for (const auto& args : spy)
    clicks.emplace_back(args[0].toInt(), args[1].toString().toStdString());
  return clicks;
}

}  // namespace

TEST(SysTrayTest, MenuShowsTheItemsInOrderWithSeparatorsAndTheDefaultInBold) {
  frmSysTray tray;
  FillLikeTheMainWindow(tray);
  const std::vector<ShownAction> expected{{"Show", false, true, true}, {"", true, true, false},
                                          {"Subscribe to New Source"}, {"Check for New Messages"},
                                          {"", true, true, false},     {"Exit"}};
  EXPECT_EQ(Shown(*tray.Menu()), expected);
  EXPECT_EQ(tray.Menu()->defaultAction(), tray.Menu()->actions().at(0));

  tray.SetMenuCaption(0, "Hide");
  tray.SetDefaultMenuIndex(5);
  tray.EnableMenuItem(3, false);
  tray.RemoveMenuItem(2);
  const std::vector<ShownAction> changed{{"Hide"},
                                         {"", true, true, false},
                                         {"Check for New Messages", false, false, false},
                                         {"", true, true, false},
                                         {"Exit", false, true, true}};
  // Removing item 2 moved "Exit" to index 4; the default stayed at the old index 5, which is
  // now outside the list, so it fell back to item 0.
  EXPECT_EQ(tray.DefaultMenuIndex(), 0);
  tray.SetDefaultMenuIndex(4);
  EXPECT_EQ(Shown(*tray.Menu()), changed);
  EXPECT_EQ(tray.MenuCaption(0), "Hide");
  EXPECT_EQ(tray.MenuCount(), 5);
}

TEST(SysTrayTest, ChoosingAnItemReportsItsIndexAndKeyButSeparatorsAndDisabledItemsReportNothing) {
  frmSysTray tray;
  FillLikeTheMainWindow(tray);
  tray.EnableMenuItem(3, false);
  QSignalSpy clicks(&tray, &frmSysTray::MenuClick);

  tray.TriggerMenuItem(2);
  tray.TriggerMenuItem(1);  // separator
  tray.TriggerMenuItem(3);  // disabled
  tray.TriggerMenuItem(40);
  tray.TriggerMenuItem(5);

  EXPECT_EQ(Clicks(clicks),
            (std::vector<std::pair<int, std::string>>{{2, "newsource"}, {5, "exit"}}));
}

TEST(SysTrayTest, ClickHandlersMayRenameRemoveOrDestroyTheTray) {
  auto tray = std::make_unique<frmSysTray>();
  FillLikeTheMainWindow(*tray);
  // The "show" entry renames itself, as the main window's routing does.
  QObject::connect(tray.get(), &frmSysTray::MenuClick, tray.get(),
                   [&tray](int index, const QString& key) {
                     if (key == "show") tray->SetMenuCaption(0, "Hide");
                     if (key == "newsource") tray->RemoveMenuItem(index);
                   });
  tray->TriggerMenuItem(0);
  EXPECT_EQ(tray->MenuCaption(0), "Hide");
  EXPECT_EQ(tray->Menu()->actions().at(0)->text(), "Hide");

  // The action being handled is removed by its own handler.
  tray->TriggerMenuItem(2);
  EXPECT_EQ(tray->MenuCount(), 5);
  EXPECT_EQ(tray->MenuCaption(2), "Check for New Messages");

  // "exit" ends with the tray destroyed from inside its own click.
  QObject context;
  QObject::connect(tray.get(), &frmSysTray::MenuClick, &context, [&tray](int, const QString& key) {
    if (key == "exit") tray.reset();
  });
  QMenu* menu = tray->Menu();
  tray->ShowMenu();
  QAction* exitAction = menu->actions().at(4);
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(exitAction).center());
  EXPECT_EQ(tray, nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(SysTrayTest, ActivationsBecomeMouseEventsWithTheButtonNumbers) {
  frmSysTray tray;
  std::vector<std::string> events;
  QObject::connect(&tray, &frmSysTray::SysTrayMouseDown, &tray,
                   [&](int b) { events.push_back("down " + std::to_string(b)); });
  QObject::connect(&tray, &frmSysTray::SysTrayMouseUp, &tray,
                   [&](int b) { events.push_back("up " + std::to_string(b)); });
  QObject::connect(&tray, &frmSysTray::SysTrayDoubleClick, &tray,
                   [&](int b) { events.push_back("double " + std::to_string(b)); });

  emit tray.TrayIcon()->activated(QSystemTrayIcon::Context);
  emit tray.TrayIcon()->activated(QSystemTrayIcon::DoubleClick);
  emit tray.TrayIcon()->activated(QSystemTrayIcon::Unknown);

  EXPECT_EQ(events, (std::vector<std::string>{"down 2", "up 2", "double 1"}));
}

TEST(SysTrayTest, TextsAreKeptToTheFieldLimitsAndTheLastBalloonIsRecorded) {
  frmSysTray tray;
  EXPECT_EQ(tray.ToolTip(), "Quillpost");
  EXPECT_FALSE(tray.Icon().isNull());

  tray.SetToolTip(QString(200, QLatin1Char('t')));
  EXPECT_EQ(tray.ToolTip(), QString(127, QLatin1Char('t')));
  EXPECT_EQ(tray.TrayIcon()->toolTip(), tray.ToolTip());

  tray.ShowBalloonTip(
      "Double-click to launch Application interface or Right-click for more options.",
      "Quillpost is available here!", 1, 6000);
  EXPECT_EQ(tray.LastBalloon().message,
            "Double-click to launch Application interface or Right-click for more options.");
  EXPECT_EQ(tray.LastBalloon().title, "Quillpost is available here!");
  EXPECT_EQ(tray.LastBalloon().icon, 1);
  EXPECT_EQ(tray.LastBalloon().timeoutMs, 6000);

  tray.ShowBalloonTip(QString(300, QChar(0x00E9)), QString(70, QLatin1Char('x')), 9, 1000);
  EXPECT_EQ(tray.LastBalloon().message, QString(255, QChar(0x00E9)));
  EXPECT_EQ(tray.LastBalloon().title, QString(63, QLatin1Char('x')));
  EXPECT_EQ(tray.LastBalloon().icon, 0);
}

TEST(SysTrayTest, DestroyingTheTrayRemovesTheIcon) {
  auto tray = std::make_unique<frmSysTray>();
  QPointer<QSystemTrayIcon> icon = tray->TrayIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_TRUE(icon->isVisible());
  QPointer<QMenu> menu = tray->Menu();
  tray.reset();
  EXPECT_TRUE(icon.isNull());
  EXPECT_TRUE(menu.isNull());
}
