// The subscription windows reach their logic, whose tests pin the boxes and the rules.
#include "core/TreeModel.h"
#include "presentation/frmDoc.h"
#include "shell/frmSysTray.h"
#include "subscriptions/frmDropBox.h"
#include "subscriptions/frmSubscrListManager.h"
#include "subscriptions/frmSubscribe.h"
#include "support/WindowSupport.h"

#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <cmath>

using namespace TestData;

namespace {

using SubscribeDialog = MainWindowTest;
using ListManager = MainWindowTest;
using DropBoxWindow = MainWindowTest;

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

// Catches a drop taken as a move, a dropped file taken for a link, or a link that misses the one
// modeless subscribe dialog.
TEST_F(SubscribeDialog, DropsOnTheMainWindowsBoxReachOneModelessDialog) {
  window->mnuToolsDropBox->trigger();
  const auto drop = [&](const QString& text, const QList<QUrl>& urls) {
    QMimeData data;
    data.setText(text);
    if (!urls.isEmpty()) data.setUrls(urls);
    const auto possible = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(QPoint(10, 10), possible, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->DropBox(), &enter);
    QDropEvent event(QPointF(10, 10), possible, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->DropBox(), &event);
    Settle();
    return event.isAccepted() ? static_cast<int>(event.dropAction()) : 0;
  };
  const QString file = "/tmp/news.quillpost.test.txt";
  EXPECT_EQ(drop("https://example.org/feed.xml", {}), 0);
  EXPECT_EQ(drop(file, {QUrl::fromLocalFile(file)}), 0);  // a file manager's path as text as well
  EXPECT_EQ(platform.messageBox.shown.size(), 2u);        // the judge explained both refusals
  std::vector<std::string> seen;
  for (const QString link : {"HTTP://NEWS.QUILLPOST.TEST/A", "HTTP://NEWS.QUILLPOST.TEST/A2"}) {
    EXPECT_EQ(drop(link, {QUrl(link)}), Qt::CopyAction);
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

TEST_F(ListManager, MenuOpensItModalItEditsAddsUnsubscribesAndClosingRebuildsTheTree) {
  const std::string page = platform.root + "/page.htm";
  TestSupport::WriteAll(page, "<p>page</p>");
  window->Documents().OpenDocument("g1", "First", page, {});
  window->Documents().OpenDocument("n1", "Note", page, {});
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
        dialog->txtTitle->setText("Alpha");
        dialog->txtLink->setText("http://NEWS.QUILLPOST.TEST/alpha");
        dialog->btnAdd->click();
        EXPECT_EQ(dialog->txtLink->selectedText(), QString("http://NEWS.QUILLPOST.TEST/alpha"));
        dialog->btnCancel->click();
        EXPECT_EQ(dialog->txtTitle->text() + dialog->txtLink->text(), QString());
        dialog->txtTitle->setText("Alpha");
        dialog->txtLink->setText("http://news.quillpost.test/alpha");
        dialog->btnAdd->click();
        dialog->Sources().SetSelectedItem(dialog->Sources().Find(lettersId));
        platform.messageBox.answers = {Services::vbYes};
        dialog->btnDel->click();
        Settle();
        EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Letters", "Notes"}));
      });
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Daily notes", "Alpha"}));
  EXPECT_EQ(TopLevelTexts(Tree()), (std::vector<std::string>{"Alpha", "Daily notes"}));
  EXPECT_EQ(Messages(Tree(), notesId).size(), 1u);
  // The unsubscribed source's document went with it.
  EXPECT_EQ(DocumentCount(), 1);
  EXPECT_EQ(window->LastDocument()->ItemID(), "n1");
}

// Where the box is, its side and its opacity (0-255).
std::vector<int> Looks(const frmDropBox* box) {
  return {box->x(), box->y(), box->width(),
          static_cast<int>(std::lround(box->windowOpacity() * 255))};
}

TEST_F(DropBoxWindow, OpensWhereItWasClosedWithItsChoices) {
  window->mnuToolsDropBox->trigger();
  frmDropBox* box = window->DropBox();
  // Large, Low: nothing stored yet. The screen's corner holds the main window's menus: beside them.
  const std::vector<int> first = Looks(box);
  EXPECT_EQ(std::vector(first.begin() + 2, first.end()), (std::vector<int>{66, 230}));
  const QRect menus(window->menuBar()->mapToGlobal(QPoint()), window->menuBar()->size());
  EXPECT_FALSE(box->geometry().intersects(menus)) << box->x() << "," << box->y();
  // It floats over the user's windows without taking the focus from them.
  EXPECT_EQ(box->windowFlags() & (Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
            Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
  EXPECT_EQ(box->testAttribute(Qt::WA_ShowWithoutActivating), true);
  box->move(150, 90);
  box->mnuPopupSizeOpt[0]->trigger();
  box->mnuPopupTransOpt[3]->trigger();
  EXPECT_EQ(Looks(box), (std::vector<int>{150, 90, 41, 178}));
  box->mnuPopupClose->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  window->mnuToolsDropBox->trigger();
  EXPECT_EQ(Looks(window->DropBox()), (std::vector<int>{150, 90, 41, 178}));
}

}  // namespace
