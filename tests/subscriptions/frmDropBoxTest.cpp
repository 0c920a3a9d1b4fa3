// The drop box window: placement and choices go through DropBoxLogic, drops reach its judge.
#include "subscriptions/frmDropBox.h"

#include "support/FakeServices.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

frmDropBox* Open() {
  auto* box = new frmDropBox;
  box->show();
  return box;
}
// Where the box is, its side and its opacity (0-255).
std::vector<int> Looks(const frmDropBox& box) {
  return {box.x(), box.y(), box.width(), static_cast<int>(std::lround(box.windowOpacity() * 255))};
}

TEST(DropBoxWindowTest, OpensWhereItWasClosedWithItsChoices) {
  TestSupport::FakePlatform platform;
  QPointer<frmDropBox> box = Open();
  EXPECT_EQ(Looks(*box), (std::vector<int>{0, 0, 66, 230}));  // Large, Low: nothing stored yet
  // It floats over the user's windows without taking the focus from them.
  EXPECT_EQ(box->windowFlags() & (Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
            Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
  EXPECT_EQ(box->testAttribute(Qt::WA_ShowWithoutActivating), true);
  box->move(150, 90);
  box->mnuPopupSizeOpt[0]->trigger();
  box->mnuPopupTransOpt[3]->trigger();
  EXPECT_EQ(Looks(*box), (std::vector<int>{150, 90, 41, 178}));
  box->mnuPopupClose->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(box.isNull(), true);
  std::unique_ptr<frmDropBox> again(Open());
  EXPECT_EQ(Looks(*again), (std::vector<int>{150, 90, 41, 178}));
  EXPECT_EQ(again->mnuPopupTransOpt[3]->isChecked(), true);
}

TEST(DropBoxWindowTest, DroppedTextReachesTheJudgeButADroppedFileNever) {
  TestSupport::FakePlatform platform;
  std::unique_ptr<frmDropBox> box(Open());
  QSignalSpy dropped(box.get(), &frmDropBox::LinkDropped);
  const QString link = "HTTP://NEWS.QUILLPOST.TEST/Channel/AbC";
  const QString file = "/tmp/news.quillpost.test.txt";
  QMimeData browserLink, otherLink, fileWithText;
  browserLink.setText(link);
  browserLink.setUrls({QUrl(link)});
  otherLink.setText("https://example.org/feed.xml");
  fileWithText.setUrls({QUrl::fromLocalFile(file)});
  fileWithText.setText(file);  // file managers offer the path as text as well: still a file
  std::vector<int> actions;
  for (const QMimeData* data : {&browserLink, &otherLink, &fileWithText}) {
    const auto possible = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(QPoint(10, 10), possible, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box.get(), &enter);
    QDropEvent drop(QPointF(10, 10), possible, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(box.get(), &drop);
    QCoreApplication::processEvents();
    // Never a move: the drop must not take anything away from where it came from.
    actions.push_back(drop.isAccepted() ? static_cast<int>(drop.dropAction()) : 0);
  }
  EXPECT_EQ(actions, (std::vector<int>{Qt::CopyAction, 0, 0}));
  ASSERT_EQ(dropped.count(), 1);
  EXPECT_EQ(dropped.at(0).at(0).toString(), link);
  EXPECT_EQ(platform.messageBox.shown.size(), 2u);  // the judge explained both refusals
}

}  // namespace
