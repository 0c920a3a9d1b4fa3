// Every window's controls, menus and captions against its checked-in inventory under
// tests/fixtures/ui/: a caption, shortcut or entry that changes shows up here, once.

#include "config/frmSettings.h"
#include "retrieval/frmBusy.h"
#include "shell/frmScheduler.h"
#include "subscriptions/frmDropBox.h"
#include "subscriptions/frmSubscrListManager.h"
#include "subscriptions/frmSubscribe.h"
#include "support/WindowSupport.h"

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

}  // namespace
