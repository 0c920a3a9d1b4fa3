#include "subscriptions/frmSubscrListManager.h"

#include "core/TreeModel.h"
#include "presentation/frmDoc.h"
#include "subscriptions/SubscriptionWindowSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <filesystem>

using TestSupport::ShownBox;
using namespace SubscriptionWindowTests;
namespace fs = std::filesystem;

namespace {

class ListManager : public MainWindowFixture {
 protected:
  void DoubleClick(frmSubscrListManager& dialog, const std::string& key) {
    const QModelIndex index = dialog.Model().IndexFromNode(dialog.Sources().Find(key));
    const QPoint at = dialog.tvSources->visualRect(index).center();
    QTest::mouseDClick(dialog.tvSources->viewport(), Qt::LeftButton, {}, at);
    Settle();
  }

  std::vector<std::string> Listed(frmSubscrListManager& dialog) {
    std::vector<std::string> texts;
    const TreeControl::Node* root = dialog.Sources().Find("main");
    for (std::size_t row = 0; root && row < root->ChildCount(); ++row)
      texts.push_back(root->Child(row)->Text());
    return texts;
  }
};

}  // namespace

TEST_F(ListManager, ControlsAndTheSourcesUnderTheRoot) {
  frmSubscrListManager dialog(Tree(), nullptr);
  dialog.show();
  Settle();
  EXPECT_EQ(dialog.windowTitle(), QString("Subscription List Manager"));
  EXPECT_EQ(dialog.font().family(), QString("Verdana"));
  EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(dialog.windowFlags().testFlag(Qt::WindowMinimizeButtonHint), false);
  EXPECT_EQ(dialog.windowFlags().testFlag(Qt::WindowMaximizeButtonHint), false);
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_EQ(dialog.lblTitle->text(), QString("Title:"));
  EXPECT_EQ(dialog.lblSourceLink->text(), QString("Source Link:"));
  EXPECT_EQ(dialog.btnAdd->text(), QString("Add New"));
  EXPECT_EQ(dialog.btnDel->text(), QString("Delete"));
  EXPECT_EQ(dialog.btnCancel->text(), QString("Clear Fields"));
  EXPECT_EQ(dialog.lblInfo->text(), QString("Quick Help:"));
  EXPECT_EQ(dialog.lblQuickHelp->text().toStdString(),
            "Using Subscription List Manager, you can manage your Subscription Lists with ease! "
            "Simply specify the details in the fields and press \"Add New\" button to subscribe a "
            "New Source. Want to Edit details of existing Source? Just double click the source "
            "title in List, make changes and Save! To Delete a source, select it in List and hit "
            "\"Delete button.");
  // The tree fills the left edge, top to bottom.
  EXPECT_EQ(dialog.tvSources->geometry().topLeft(), QPoint(0, 0));
  EXPECT_EQ(dialog.tvSources->height(), dialog.height());
  const TreeControl::Node* root = dialog.Sources().Find("main");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Text(), "Sources");
  EXPECT_EQ(dialog.tvSources->isExpanded(dialog.Model().IndexFromNode(root)), true);
  EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"Letters", "Notes"}));
}

TEST_F(ListManager, DoubleClickEditsAndClearFieldsReturnsToAdding) {
  frmSubscrListManager dialog(Tree(), nullptr);
  dialog.show();
  Settle();

  DoubleClick(dialog, notesId);
  EXPECT_EQ(dialog.txtTitle->text(), QString("Notes"));
  EXPECT_EQ(dialog.txtLink->text(), QString::fromStdString(kNotes));
  EXPECT_EQ(dialog.btnAdd->text(), QString("Save Changes!"));

  dialog.btnCancel->click();
  EXPECT_EQ(dialog.txtTitle->text(), QString());
  EXPECT_EQ(dialog.txtLink->text(), QString());
  EXPECT_EQ(dialog.btnAdd->text(), QString("Add New"));

  // Capitals in the host pass the subscribe dialog but not this one.
  dialog.txtTitle->setText("Alpha");
  dialog.txtLink->setText("http://NEWS.QUILLPOST.TEST/alpha");
  dialog.btnAdd->click();
  EXPECT_EQ(dialog.focusWidget(), dialog.txtLink);
  EXPECT_EQ(dialog.txtLink->selectedText(), QString("http://NEWS.QUILLPOST.TEST/alpha"));

  dialog.txtLink->setText("http://news.quillpost.test/alpha");
  dialog.btnAdd->click();
  EXPECT_EQ(dialog.txtTitle->text(), QString());
  EXPECT_EQ(Listed(dialog), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
  EXPECT_EQ(PanelTests::StoredTitles(), (std::vector<std::string>{"Letters", "Notes", "Alpha"}));
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"You've specified invalid Message Source Link. Please specify correct Quillpost "
                 "Message Source URL.",
                 "Invalid Link!", 48},
                {"New Message Source is succcessfully Subscribed!", "Done!", 64}}));
}

TEST_F(ListManager, MenuOpensItModalWithoutOwnerAndClosingRebuildsTheMessageTree) {
  WithModal<frmSubscrListManager>(
      [&] { window->mnuMsgSourceManage->trigger(); },
      [&](frmSubscrListManager* dialog) {
        EXPECT_EQ(dialog->parentWidget(), nullptr);
        EXPECT_EQ(dialog->isModal(), true);
        dialog->txtTitle->setText("Alpha");
        dialog->txtLink->setText("http://news.quillpost.test/alpha");
        dialog->btnAdd->click();
        // The message tree sees the change only when the dialog closes.
        EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Letters", "Notes"}));
      });
  EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
  EXPECT_EQ(Tree().Find(lettersId)->ChildCount(), 2u);
}

TEST_F(ListManager, UnsubscribingClosesTheSourcesDocumentWindows) {
  const std::string page = platform.root + "/page.htm";
  TestSupport::WriteAll(page, "<p>page</p>");
  window->OpenDocument("g1", "First", page);
  window->OpenDocument("n1", "Note", page);
  Settle();
  ASSERT_EQ(DocumentCount(), 2);
  frmSubscrListManager dialog(Tree(), window.get());
  dialog.show();
  Settle();
  dialog.Sources().SetSelectedItem(dialog.Sources().Find(lettersId));

  platform.messageBox.answers = {Services::vbNo};
  dialog.btnDel->click();
  Settle();
  EXPECT_EQ(DocumentCount(), 2);
  EXPECT_NE(dialog.Sources().Find(lettersId), nullptr);

  platform.messageBox.answers = {Services::vbYes};
  dialog.btnDel->click();
  Settle();
  ASSERT_EQ(DocumentCount(), 1);
  EXPECT_EQ(window->LastDocument()->ItemID(), "n1");
  EXPECT_EQ(dialog.Sources().Find(lettersId), nullptr);
  EXPECT_EQ(fs::exists(mAppFunctions::DataPath + "/" + lettersId), false);

  dialog.close();
  EXPECT_EQ(TopLevelTexts(Tree()), std::vector<std::string>{"Notes"});
}
