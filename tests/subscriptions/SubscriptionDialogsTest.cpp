// The subscribe dialog and the list manager reach SubscriptionChecks (whose tests pin the boxes
// and the rules), put the focus where the checks say, and rebuild the main window's tree.
#include "core/TreeModel.h"
#include "presentation/frmDoc.h"
#include "shell/frmSysTray.h"
#include "subscriptions/frmDropBox.h"
#include "subscriptions/frmSubscrListManager.h"
#include "subscriptions/frmSubscribe.h"
#include "support/WindowSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace TestData;

namespace {

using SubscribeDialog = MainWindowTest;
using ListManager = MainWindowTest;

TEST_F(SubscribeDialog, MenuAndTrayOpenItModalRefusalsPlaceTheFocusAndItStaysOpen) {
  window->AddToSystemTray();
  WithModal<frmSubscribe>([&] { window->mnuMsgSourceNew->trigger(); },
                          [&](frmSubscribe* dialog) {
                            EXPECT_EQ(dialog->parentWidget(), window.get());
                            dialog->txtTitle->setText("Alpha");
                            dialog->txtLink->setText("http://example.test/alpha");
                            dialog->btnSubscribe->click();
                            EXPECT_EQ(dialog->focusWidget(), dialog->txtLink);
                            EXPECT_EQ(dialog->txtLink->selectedText(),
                                      QString("http://example.test/alpha"));
                            dialog->txtTitle->setText("  ");
                            dialog->btnSubscribe->click();
                            EXPECT_EQ(dialog->focusWidget(), dialog->txtTitle);
                            dialog->txtTitle->setText("Alpha");
                            dialog->txtLink->setText("http://news.quillpost.test/alpha");
                            dialog->btnSubscribe->click();
                            EXPECT_EQ(dialog->isVisible(), true);
                          });
  // The tree was rebuilt at once.
  EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
  EXPECT_EQ(platform.messageBox.shown.size(), 3u);
  WithModal<frmSubscribe>([&] { window->SysTray()->TriggerMenuItem(2); },
                          [&](frmSubscribe* dialog) {
                            EXPECT_EQ(dialog->parentWidget(), window.get());
                            EXPECT_EQ(dialog->txtTitle->text() + dialog->txtLink->text(),
                                      QString());
                          });
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

TEST_F(ListManager, MenuOpensItModalItEditsAddsAndClosingRebuildsTheMessageTree) {
  WithModal<frmSubscrListManager>(
      [&] { window->mnuMsgSourceManage->trigger(); },
      [&](frmSubscrListManager* dialog) {
        EXPECT_EQ(dialog->parentWidget(), nullptr);
        const QModelIndex notes = dialog->Model().IndexFromNode(dialog->Sources().Find(notesId));
        QTest::mouseDClick(dialog->tvSources->viewport(), Qt::LeftButton, {},
                           dialog->tvSources->visualRect(notes).center());
        Settle();
        EXPECT_EQ(dialog->btnAdd->text(), QString("Save Changes!"));
        dialog->txtTitle->setText("Daily notes");
        dialog->btnAdd->click();
        EXPECT_EQ(dialog->btnAdd->text(), QString("Add New"));
        dialog->txtTitle->setText("Alpha");
        dialog->txtLink->setText("http://NEWS.QUILLPOST.TEST/alpha");
        dialog->btnAdd->click();
        EXPECT_EQ(dialog->txtLink->selectedText(), QString("http://NEWS.QUILLPOST.TEST/alpha"));
        dialog->btnCancel->click();
        EXPECT_EQ(dialog->txtTitle->text() + dialog->txtLink->text(), QString());
        dialog->txtTitle->setText("Alpha");
        dialog->txtLink->setText("http://news.quillpost.test/alpha");
        dialog->btnAdd->click();
        EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Letters", "Notes"}));
      });
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Daily notes", "Alpha"}));
  EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Alpha", "Daily notes", "Letters"}));
  EXPECT_EQ(Tree().Find(lettersId)->ChildCount(), 2u);
}

TEST_F(ListManager, UnsubscribingClosesTheSourcesDocumentWindows) {
  const std::string page = platform.root + "/page.htm";
  TestSupport::WriteAll(page, "<p>page</p>");
  window->OpenDocument("g1", "First", page);
  window->OpenDocument("n1", "Note", page);
  frmSubscrListManager dialog(Tree(), window.get());
  dialog.show();
  dialog.Sources().SetSelectedItem(dialog.Sources().Find(lettersId));
  platform.messageBox.answers = {Services::vbYes};
  dialog.btnDel->click();
  Settle();
  EXPECT_EQ(DocumentCount(), 1);
  EXPECT_EQ(window->LastDocument()->ItemID(), "n1");
  dialog.close();
  EXPECT_EQ(TopLevelTexts(Tree()), std::vector<std::string>{"Notes"});
}

}  // namespace
