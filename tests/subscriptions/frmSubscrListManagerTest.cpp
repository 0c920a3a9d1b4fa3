// The list manager reaches SubscriptionChecks (whose tests pin the boxes and the rules): a double
// click edits, its buttons save, clear and unsubscribe, and closing it rebuilds the message tree.
#include "subscriptions/frmSubscrListManager.h"

#include "core/TreeModel.h"
#include "presentation/frmDoc.h"
#include "support/WindowSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace TestData;

namespace {

using ListManager = MainWindowTest;

TEST_F(ListManager, DoubleClickEditsAndTheButtonsSaveAndClear) {
  frmSubscrListManager dialog(Tree(), nullptr);
  dialog.show();
  Settle();
  const QModelIndex notes = dialog.Model().IndexFromNode(dialog.Sources().Find(notesId));
  QTest::mouseDClick(dialog.tvSources->viewport(), Qt::LeftButton, {},
                     dialog.tvSources->visualRect(notes).center());
  Settle();
  EXPECT_EQ(dialog.btnAdd->text(), QString("Save Changes!"));
  dialog.txtTitle->setText("Daily notes");
  dialog.btnAdd->click();
  EXPECT_EQ(dialog.btnAdd->text(), QString("Add New"));
  dialog.txtTitle->setText("Alpha");
  dialog.txtLink->setText("http://NEWS.QUILLPOST.TEST/alpha");
  dialog.btnAdd->click();
  EXPECT_EQ(dialog.txtLink->selectedText(), QString("http://NEWS.QUILLPOST.TEST/alpha"));
  dialog.btnCancel->click();
  EXPECT_EQ(dialog.txtTitle->text() + dialog.txtLink->text(), QString());
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Daily notes"}));
  EXPECT_EQ(dialog.Sources().Find(notesId)->Text(), "Daily notes");
}

TEST_F(ListManager, MenuOpensItModalAndClosingRebuildsTheMessageTree) {
  WithModal<frmSubscrListManager>([&] { window->mnuMsgSourceManage->trigger(); },
                                  [&](frmSubscrListManager* dialog) {
                                    EXPECT_EQ(dialog->parentWidget(), nullptr);
                                    dialog->txtTitle->setText("Alpha");
                                    dialog->txtLink->setText("http://news.quillpost.test/alpha");
                                    dialog->btnAdd->click();
                                    EXPECT_EQ(TopLevelTexts(Tree()).size(), 2u);
                                  });
  EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
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
