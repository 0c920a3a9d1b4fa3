#pragma once
// A main window over two subscribed sources for the tests of the subscription dialogs, and a way
// to act on a modal dialog while the call that opened it waits.

#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "presentation/MessageView.h"
#include "presentation/PanelTestSupport.h"
#include "shell/frmMain.h"
#include "support/FakeServices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace SubscriptionWindowTests {

inline const std::string kLetters = "http://news.quillpost.test/letters";
inline const std::string kNotes = "http://news.quillpost.test/notes";

inline void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

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

inline std::vector<std::string> TopLevelTexts(const TreeControl& tree) {
  std::vector<std::string> texts;
  for (const TreeControl::Node* node : tree.TopLevelNodes()) texts.push_back(node->Text());
  return texts;
}

// "Letters" with two messages and "Notes" with one, shown by a loaded main window.
class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    mAppFunctions::InitializeDataFolder();
    lettersId = PanelTests::AddSource("Letters", kLetters, {{"g1", "First"}, {"g2", "Second"}});
    notesId = PanelTests::AddSource("Notes", kNotes, {{"n1", "Note"}});
    window = std::make_unique<frmMain>();
    window->SetViewFactory(&MessageView::TextFactory());
    window->Form_Load("");
    Settle();
  }

  void TearDown() override {
    window.reset();
    Settle();
  }

  TreeControl& Tree() { return window->MessageTree(); }
  int DocumentCount() { return static_cast<int>(window->Tabs()->subWindowList().size()); }

  TestSupport::FakePlatform platform;
  std::string lettersId, notesId;
  std::unique_ptr<frmMain> window;
};

}  // namespace SubscriptionWindowTests
