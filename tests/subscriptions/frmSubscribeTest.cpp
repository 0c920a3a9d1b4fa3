#include "subscriptions/frmSubscribe.h"

#include "shell/frmSysTray.h"
#include "subscriptions/SubscriptionWindowSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using TestSupport::ShownBox;
using namespace SubscriptionWindowTests;

namespace {

const ShownBox kDone{"New Source successfully Added to Subscription List!", "Done!", 64};
const ShownBox kAlready{"You have already subscribed to this Message channel!",
                        "Already Subscribed!", 48};

using SubscribeDialog = MainWindowFixture;

}  // namespace

TEST_F(SubscribeDialog, ControlsCarryTheirCaptions) {
  frmSubscribe dialog(Tree());
  EXPECT_EQ(dialog.windowTitle(), QString("Subscribe to New Message Source"));
  EXPECT_EQ(dialog.font().family(), QString("Verdana"));
  EXPECT_EQ(dialog.lblInfo[0]->text(), QString("Title:"));
  EXPECT_EQ(dialog.lblInfo[1]->text(), QString("Source Link:"));
  EXPECT_EQ(dialog.btnSubscribe->text(), QString("   Subscribe Now!"));
  EXPECT_EQ(dialog.btnCancel->text(), QString("No Thanks!"));
  EXPECT_EQ(dialog.txtTitle->text(), QString());
  EXPECT_EQ(dialog.txtLink->text(), QString());
  EXPECT_EQ(dialog.imgNew->pixmap().isNull(), false);
}

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

  ASSERT_EQ(platform.messageBox.shown.size(), 2u);
  EXPECT_EQ(platform.messageBox.shown[0].title, "Invalid Quillpost Source Link.");
  EXPECT_EQ(platform.messageBox.shown[1].title, "Title?");
  EXPECT_EQ(PanelTests::StoredTitles(), (std::vector<std::string>{"Letters", "Notes"}));
}

TEST_F(SubscribeDialog, MenuAndTrayOpenItModalAndItStaysOpenAfterSubscribing) {
  const std::string alpha = "http://news.quillpost.test/alpha";
  WithModal<frmSubscribe>(
      [&] { window->mnuMsgSourceNew->trigger(); },
      [&](frmSubscribe* dialog) {
        EXPECT_EQ(dialog->parentWidget(), window.get());
        EXPECT_EQ(dialog->isModal(), true);
        dialog->txtTitle->setText("Alpha");
        dialog->txtLink->setText(QString::fromStdString(alpha));
        dialog->btnSubscribe->click();
        // The message tree is rebuilt at once, messages and all.
        EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
        EXPECT_EQ(Tree().Find(lettersId)->ChildCount(), 2u);
        EXPECT_EQ(dialog->isVisible(), true);
        EXPECT_EQ(dialog->txtTitle->text(), QString("Alpha"));
        dialog->btnSubscribe->click();
        dialog->btnCancel->click();
        EXPECT_EQ(dialog->isVisible(), false);
      });
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{kDone, kAlready}));

  window->AddToSystemTray();
  WithModal<frmSubscribe>([&] { window->SysTray()->TriggerMenuItem(2); },
                          [&](frmSubscribe* dialog) {
                            EXPECT_EQ(dialog->parentWidget(), window.get());
                            EXPECT_EQ(dialog->txtTitle->text(), QString());
                            EXPECT_EQ(dialog->txtLink->text(), QString());
                          });
}

TEST_F(SubscribeDialog, DroppedLinkOpensItModelessWithTheLinkAsDropped) {
  window->OpenSubscribeWithLink("HTTP://NEWS.QUILLPOST.TEST/Alpha");
  Settle();
  auto dialogs = window->findChildren<frmSubscribe*>();
  ASSERT_EQ(dialogs.size(), 1);
  frmSubscribe* dialog = dialogs.front();
  EXPECT_EQ(dialog->isVisible(), true);
  EXPECT_EQ(dialog->isModal(), false);
  EXPECT_EQ(dialog->txtLink->text(), QString("HTTP://NEWS.QUILLPOST.TEST/Alpha"));
  EXPECT_EQ(dialog->txtTitle->text(), QString());

  // A second drop reaches the same dialog and leaves its title alone.
  dialog->txtTitle->setText("Alpha");
  window->OpenSubscribeWithLink("HTTP://NEWS.QUILLPOST.TEST/Alpha2");
  Settle();
  EXPECT_EQ(window->findChildren<frmSubscribe*>().size(), 1);
  EXPECT_EQ(dialog->txtLink->text(), QString("HTTP://NEWS.QUILLPOST.TEST/Alpha2"));
  EXPECT_EQ(dialog->txtTitle->text(), QString("Alpha"));

  dialog->btnSubscribe->click();
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{kDone});
  EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
  EXPECT_EQ(Tree().TopLevelAt(0)->Tag(), "HTTP://NEWS.QUILLPOST.TEST/Alpha2");

  dialog->close();
  Settle();
  EXPECT_EQ(window->findChildren<frmSubscribe*>().size(), 0);
}
