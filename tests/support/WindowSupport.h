#pragma once
// What the window tests share: letting queued events run, acting on a modal dialog while the
// call that opened it waits, a loaded main window over two sources, and a window's inventory
// compared with its checked-in text file.

#include "shell/AppServices.h"
#include "shell/frmMain.h"
#include "support/DataFolder.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace TestData {

inline const std::string kLettersLink = "http://news.quillpost.test/letters";
inline const std::string kNotesLink = "http://news.quillpost.test/notes";

void Settle();

// Runs `act` on the modal dialog that `open` shows, then closes the dialog if `act` left it open,
// so a failing check never leaves the test waiting.
template <typename Dialog>
void WithModal(const std::function<void()>& open, const std::function<void(Dialog*)>& act) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<Dialog*>(modal)) {
      act(dialog);
    } else {
      ADD_FAILURE() << "no modal dialog of the expected kind";
    }
    if (modal && modal->isVisible()) modal->close();
  });
  open();
  Settle();
  EXPECT_EQ(ran, true);
}

// Every named control, menu and menu entry of the window with its text, shortcut and the marks
// hidden, disabled and checkable, one per line in the window's own order; the tray menu too once
// the window has one.
std::string Inventory(const QWidget& window);
// Compares the inventory with tests/fixtures/ui/<name>.txt; with QP_UPDATE_UI_FIXTURES=1 in the
// environment the file is written instead.
void ExpectInventory(const QWidget& window, const std::string& name);

// A main window that decides itself whether there is a notification area.
class TestMainWindow : public frmMain {
 public:
  using frmMain::frmMain;
  bool trayAvailable = false;

 protected:
  bool TrayAvailable() const override { return trayAvailable; }
};

// "Letters" with two messages (g1 "First", g2 "Second") and "Notes" with one (n1 "Note"), shown
// by a loaded main window whose documents use the plain text view, over the application's
// services as the program makes them.
class MainWindowTest : public DataFolderTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  TreeControl& Tree() { return window->MessageTree(); }
  int DocumentCount() const;

  std::string lettersId, notesId;
  std::unique_ptr<AppServices> services;
  std::unique_ptr<TestMainWindow> window;
};

}  // namespace TestData
