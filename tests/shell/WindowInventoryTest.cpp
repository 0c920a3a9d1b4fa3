// Every window's controls, menus and captions against its checked-in inventory under
// tests/fixtures/ui/: a caption, shortcut or entry that changes shows up here, once.

#include "config/frmSettings.h"
#include "retrieval/frmBusy.h"
#include "shell/frmScheduler.h"
#include "subscriptions/frmDropBox.h"
#include "subscriptions/frmSubscrListManager.h"
#include "subscriptions/frmSubscribe.h"
#include "support/WindowSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace TestData;

namespace {

TEST_F(MainWindowTest, EveryWindowMatchesItsInventory) {
  window->AddToSystemTray();
  ExpectInventory(*window, "frmMain");
  ExpectInventory(frmSubscribe(Tree()), "frmSubscribe");
  ExpectInventory(frmSubscrListManager(Tree(), nullptr), "frmSubscrListManager");
  ExpectInventory(frmSettings(), "frmSettings");
  frmDropBox dropBox;
  ExpectInventory(dropBox, "frmDropBox");
  ExpectInventory(frmBusy(), "frmBusy");
  ExpectInventory(frmScheduler(), "frmScheduler");
}

// What a screen reader user meets in each window: every control that takes the focus has a name,
// and Tab reaches each of them in turn, none left out and none holding the focus.
std::string Unreachable(QWidget& window) {
  window.show();
  QApplication::setActiveWindow(&window);
  Settle();
  std::vector<QWidget*> controls;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() &&
        w->window() == &window)
      controls.push_back(w);
  }
  std::string out;
  const auto name = [](QWidget* w) {
    return w->objectName().isEmpty() ? std::string(w->metaObject()->className())
                                     : w->objectName().toStdString();
  };
  for (QWidget* w : controls) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
    if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
      out += name(w) + " has no name; ";
  }
  if (controls.empty()) return out;
  controls.front()->setFocus(Qt::TabFocusReason);
  std::set<QWidget*> reached;
  for (std::size_t i = 0; i < controls.size() * 2 + 2; ++i) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) break;
    reached.insert(focus->focusProxy() ? focus->focusProxy() : focus);
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  // A frame such as a tab's window passes the focus on to what it holds.
  for (QWidget* w : controls) {
    if (std::none_of(reached.begin(), reached.end(),
                     [w](QWidget* r) { return r == w || w->isAncestorOf(r); }))
      out += name(w) + " not reached by Tab; ";
  }
  window.hide();
  return out;
}

TEST_F(MainWindowTest, EveryControlHasANameAndTabReachesIt) {
  InstallTemplate();
  Tree().SetSelectedItem(Tree().Find(lettersId));
  Tree().Find(lettersId)->SetExpanded(true);
  Tree().SetSelectedItem(Tree().Find(lettersId)->Child(0));
  Tree().RaiseDblClick();
  EXPECT_EQ(Unreachable(*window), "");
  frmSubscribe subscribe(Tree());
  EXPECT_EQ(Unreachable(subscribe), "");
  frmSubscrListManager manager(Tree(), nullptr);
  EXPECT_EQ(Unreachable(manager), "");
  frmSettings settings;
  EXPECT_EQ(Unreachable(settings), "");
  frmBusy busy;
  EXPECT_EQ(Unreachable(busy), "");
  frmScheduler scheduler;
  EXPECT_EQ(Unreachable(scheduler), "");
}

}  // namespace
