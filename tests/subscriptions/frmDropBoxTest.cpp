#include "subscriptions/frmDropBox.h"

#include "config/frmSettings.h"
#include "config/mSettings.h"
#include "core/mAppFunctions.h"
#include "presentation/frmOptions.h"
#include "shell/frmMain.h"
#include "shell/frmSysTray.h"
#include "subscriptions/frmSubscribe.h"
#include "support/FakeServices.h"

#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using TestSupport::FakePlatform;
using TestSupport::ShownBox;

namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

int Opacity(const QWidget* window) {
  return static_cast<int>(std::lround(window->windowOpacity() * 255));
}

// Drags the data onto the box and drops it there, as the window system would (a drop reaches
// only a widget that took the drag's entry), then lets the box answer.
bool Drop(QWidget* box, const QMimeData& data) {
  const auto actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(QPoint(10, 10), actions, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(box, &enter);
  QDropEvent drop(QPointF(10, 10), actions, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(box, &drop);
  Settle();
  return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

// The popup menu in one line, checked options marked with "*".
std::string Captions(const QMenu* menu) {
  std::string text;
  for (const QAction* action : menu->actions()) {
    text += action->isSeparator() ? "-" : action->text().toStdString();
    if (action->isChecked()) text += "*";
    if (const QMenu* sub = action->menu()) text += "(" + Captions(sub) + ")";
    text += " ";
  }
  return text;
}

class DropBoxWindowTest : public ::testing::Test {
 protected:
  // A box as the main window opens it: made, then shown.
  frmDropBox* Open() {
    auto* box = new frmDropBox;
    box->show();
    Settle();
    return box;
  }

  FakePlatform platform;
};

TEST_F(DropBoxWindowTest, WithoutSettingsItOpensLargeAndLowAtTheTopLeft) {
  QPointer<frmDropBox> box = Open();
  EXPECT_EQ(box->pos(), QPoint(0, 0));
  EXPECT_EQ(box->size(), QSize(66, 66));  // 985 twips
  EXPECT_EQ(Opacity(box), 230);
  EXPECT_EQ(Captions(box->mnuPopup),
            "Window Size(Small Normal Large* ) - Transperancy(None Low* Normal High ) - Close ");
  EXPECT_EQ(box->windowFlags().testFlags(Qt::Tool | Qt::FramelessWindowHint |
                                         Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
            true);
  // The offscreen platform activates every window it shows; a desktop honours this.
  EXPECT_EQ(box->testAttribute(Qt::WA_ShowWithoutActivating), true);
  EXPECT_EQ(box->grab().toImage().pixelColor(3, 3), QColor(Qt::white));
  EXPECT_EQ(std::filesystem::exists(mSettings::SettingsFile()), false);
  delete box.data();
}

TEST_F(DropBoxWindowTest, ChoicesAreStoredOnCloseAndComeBackOnOpen) {
  QPointer<frmDropBox> box = Open();
  box->move(150, 90);
  box->mnuPopupSizeOpt[0]->trigger();
  box->mnuPopupTransOpt[3]->trigger();
  EXPECT_EQ(box->size(), QSize(41, 41));  // 610 twips
  EXPECT_EQ(Opacity(box), 178);
  box->mnuPopupTransOpt[0]->trigger();
  EXPECT_EQ(Opacity(box), 255);
  box->mnuPopupClose->trigger();
  Settle();
  EXPECT_EQ(box.isNull(), true);
  EXPECT_EQ(TestSupport::ReadAll(mSettings::SettingsFile()),
            "[dropbox]\r\nleft=2250\r\ntop=1350\r\ntrans=0\r\nsize=0\r\n");

  std::unique_ptr<frmDropBox> again(Open());
  EXPECT_EQ(again->pos(), QPoint(150, 90));
  EXPECT_EQ(again->size(), QSize(41, 41));
  EXPECT_EQ(Captions(again->mnuPopup),
            "Window Size(Small* Normal Large ) - Transperancy(None* Low Normal High ) - Close ");
}

TEST_F(DropBoxWindowTest, DropsOfServiceLinksArePassedOnAndOthersRefused) {
  std::unique_ptr<frmDropBox> box(Open());
  QSignalSpy dropped(box.get(), &frmDropBox::LinkDropped);
  const QString link = QStringLiteral("HTTP://NEWS.QUILLPOST.TEST/Channel/AbC");
  QMimeData browserLink, otherLink, file, fileWithText;
  browserLink.setText(link);
  browserLink.setUrls({QUrl(link)});
  otherLink.setText(QStringLiteral("https://example.org/feed.xml"));
  const QUrl local = QUrl::fromLocalFile(QStringLiteral("/tmp/news.quillpost.test.txt"));
  file.setUrls({local});
  // File managers offer the path as text as well: still a file.
  fileWithText.setUrls({local});
  fileWithText.setText(local.toLocalFile());

  EXPECT_EQ(Drop(box.get(), browserLink), true);
  EXPECT_EQ(Drop(box.get(), otherLink), false);
  EXPECT_EQ(Drop(box.get(), file), false);
  EXPECT_EQ(Drop(box.get(), fileWithText), false);

  ASSERT_EQ(dropped.count(), 1);
  EXPECT_EQ(dropped.at(0).at(0).toString(), link);
  const ShownBox invalidLink{
      "Invalid Quillpost Message Source Link. Please specify a correct "
      "Quillpost Source Link in \"Source Link\" field.",
      "Invalid Quillpost Source Link.", 48};
  const ShownBox noLink{
      "Invalid link dropped! Please Drag any Quillpost URL to this DropBox and Subscribe!",
      "Drag-n-Drop Quillpost Link ...", 64};
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{invalidLink, noLink, noLink}));
}

// The main window's entries for the drop box and the Preferences dialog.
class MainWindowEntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mAppFunctions::InitializeDataFolder();
    window = std::make_unique<frmMain>();
    window->Form_Load("");
    window->AddToSystemTray();
    Settle();
  }
  void TearDown() override {
    window.reset();
    Settle();
  }

  FakePlatform platform;
  std::unique_ptr<frmMain> window;
};

TEST_F(MainWindowEntriesTest, EveryWayOfOpeningAndClosingTheBoxKeepsTheMarkInStep) {
  std::vector<bool> marks, open;
  auto step = [&](auto action) {
    action();
    Settle();
    marks.push_back(window->mnuToolsDropBox->isChecked());
    open.push_back(window->DropBox() != nullptr && window->DropBox()->isVisible());
  };
  step([&] { window->mnuToolsDropBox->trigger(); });
  step([&] { window->mnuSysDropBox->trigger(); });
  step([&] { window->mnuSysDropBox->trigger(); });
  step([&] { window->DropBox()->mnuPopupClose->trigger(); });
  step([&] { window->SysTray()->TriggerMenuItem(5); });  // "dropbox"
  step([&] { window->DropBox()->close(); });             // by the window manager
  EXPECT_EQ(marks, (std::vector<bool>{true, false, true, false, true, false}));
  EXPECT_EQ(open, marks);
}

TEST_F(MainWindowEntriesTest, DroppedLinkOpensTheSubscribeDialogWithIt) {
  window->mnuToolsDropBox->trigger();
  const QString link = QStringLiteral("https://News.Quillpost.Test/c/Letters");
  QMimeData data;
  data.setText(link);
  EXPECT_EQ(Drop(window->DropBox(), data), true);

  const auto dialogs = window->findChildren<frmSubscribe*>();
  ASSERT_EQ(dialogs.size(), 1);
  EXPECT_EQ(dialogs[0]->isVisible(), true);
  EXPECT_EQ(dialogs[0]->isModal(), false);
  EXPECT_EQ(dialogs[0]->txtLink->text(), link);
}

TEST_F(MainWindowEntriesTest, SettingsEntriesOpenOneModalPreferencesDialog) {
  window->mnuToolsSettings->trigger();
  window->SysTray()->TriggerMenuItem(8);  // "settings"
  emit window->Panel()->SettingsRequested();
  Settle();
  const auto dialogs = window->findChildren<frmSettings*>();
  ASSERT_EQ(dialogs.size(), 1);
  EXPECT_EQ(dialogs[0]->isVisible(), true);
  EXPECT_EQ(dialogs[0]->windowModality(), Qt::ApplicationModal);
  dialogs[0]->close();
  Settle();
  EXPECT_EQ(window->findChildren<frmSettings*>().size(), 0);
}

}  // namespace
