// The subscribe dialog reaches SubscriptionChecks (whose tests pin the boxes) and puts the focus
// where the checks say; the main window opens it modal from its entries, modeless for a drop.
#include "subscriptions/frmSubscribe.h"

#include "shell/frmSysTray.h"
#include "subscriptions/frmDropBox.h"
#include "support/WindowSupport.h"

#include <QLineEdit>
#include <QPushButton>

using namespace TestData;

namespace {

using SubscribeDialog = MainWindowTest;

TEST_F(SubscribeDialog, RefusalsPutTheFocusWhereTheFaultIs) {
  frmSubscribe dialog(Tree());
  dialog.show();
  Settle();
  dialog.txtTitle->setText("Notes 2");
  dialog.txtLink->setText("http://example.test/notes");
  dialog.btnSubscribe->click();
  EXPECT_EQ(dialog.focusWidget(), dialog.txtLink);
  EXPECT_EQ(dialog.txtLink->selectedText(), QString("http://example.test/notes"));
  dialog.txtTitle->setText("  ");
  dialog.btnSubscribe->click();
  EXPECT_EQ(dialog.focusWidget(), dialog.txtTitle);
  EXPECT_EQ(platform.messageBox.shown.size(), 2u);
}

TEST_F(SubscribeDialog, MenuAndTrayOpenItModalAndItStaysOpenAfterSubscribing) {
  window->AddToSystemTray();
  const std::function<void()> entries[] = {[&] { window->mnuMsgSourceNew->trigger(); },
                                           [&] { window->SysTray()->TriggerMenuItem(2); }};
  for (const auto& entry : entries) {
    WithModal<frmSubscribe>(entry, [&](frmSubscribe* dialog) {
      EXPECT_EQ(dialog->parentWidget(), window.get());
      EXPECT_EQ(dialog->txtTitle->text(), QString());
      dialog->txtTitle->setText("Alpha");
      dialog->txtLink->setText("http://news.quillpost.test/alpha");
      dialog->btnSubscribe->click();
      EXPECT_EQ(dialog->isVisible(), true);
    });
  }
  // The second time it was already subscribed; the tree was rebuilt at once after the first.
  EXPECT_EQ(platform.messageBox.shown.size(), 2u);
  EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
}

TEST_F(SubscribeDialog, LinksDroppedOnTheMainWindowsBoxReachOneModelessDialog) {
  window->mnuToolsDropBox->trigger();
  std::vector<std::string> seen;
  for (const char* link : {"HTTP://NEWS.QUILLPOST.TEST/A", "HTTP://NEWS.QUILLPOST.TEST/A2"}) {
    emit window->DropBox()->LinkDropped(link);
    Settle();
    for (frmSubscribe* dialog : window->findChildren<frmSubscribe*>()) {
      seen.push_back((dialog->isModal() ? "modal " : "modeless ") +
                     (dialog->txtTitle->text() + " " + dialog->txtLink->text()).toStdString());
      dialog->txtTitle->setText("Alpha");  // a second drop leaves the title alone
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"modeless  HTTP://NEWS.QUILLPOST.TEST/A",
                                            "modeless Alpha HTTP://NEWS.QUILLPOST.TEST/A2"}));
  window->findChild<frmSubscribe*>()->btnSubscribe->click();
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Notes", "Alpha"}));
}

}  // namespace
