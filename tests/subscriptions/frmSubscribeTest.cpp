// The subscribe dialog reaches SubscriptionChecks (whose tests pin the boxes) and puts the focus
// where the checks say; the main window opens it modal from its entries, modeless for a drop.

#include "subscriptions/frmSubscribe.h"

#include "shell/frmSysTray.h"
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

TEST_F(SubscribeDialog, DroppedLinksReachOneModelessDialog) {
  window->OpenSubscribeWithLink("HTTP://NEWS.QUILLPOST.TEST/Alpha");
  Settle();
  auto dialogs = window->findChildren<frmSubscribe*>();
  ASSERT_EQ(dialogs.size(), 1);
  frmSubscribe* dialog = dialogs.front();
  EXPECT_EQ(dialog->isVisible(), true);
  EXPECT_EQ(dialog->isModal(), false);

  // A second drop reaches the same dialog and leaves its title alone.
  dialog->txtTitle->setText("Alpha");
  window->OpenSubscribeWithLink("HTTP://NEWS.QUILLPOST.TEST/Alpha2");
  Settle();
  EXPECT_EQ(window->findChildren<frmSubscribe*>().size(), 1);
  EXPECT_EQ(dialog->txtLink->text(), QString("HTTP://NEWS.QUILLPOST.TEST/Alpha2"));
  EXPECT_EQ(dialog->txtTitle->text(), QString("Alpha"));

  dialog->btnSubscribe->click();
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Notes", "Alpha"}));
  dialog->close();
  Settle();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window->findChildren<frmSubscribe*>().size(), 0);
}

}  // namespace
