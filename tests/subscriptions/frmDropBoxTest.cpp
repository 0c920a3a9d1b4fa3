#include "subscriptions/frmDropBox.h"

#include "config/frmSettings.h"
#include "config/mSettings.h"
#include "core/mAppFunctions.h"
#include "presentation/frmOptions.h"
#include "shell/frmMain.h"
#include "shell/frmSysTray.h"
#include "subscriptions/frmSubscribe.h"
#include "support/FakeServices.h"

#include <QApplication>
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
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
  QCoreApplication::sendEvent(box, &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                  Qt::NoModifier);
  QCoreApplication::sendEvent(box, &drop);
  const bool accepted = drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
  Settle();
  return accepted;
}

std::vector<std::string> Captions(const QMenu* menu) {
  std::vector<std::string> lines;
  for (const QAction* action : menu->actions()) {
    std::string line = action->isSeparator() ? "-" : action->text().toStdString();
    if (action->isChecked()) line += " (checked)";
    lines.push_back(line);
    if (const QMenu* sub = action->menu()) {
      for (const std::string& subLine : Captions(sub)) lines.push_back("  " + subLine);
    }
  }
  return lines;
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
  std::string File() { return mSettings::SettingsFile(); }

  FakePlatform platform;
};

TEST_F(DropBoxWindowTest, OpensLargeAndLowAtTheTopLeftWithoutSettings) {
  QPointer<frmDropBox> box = Open();
  EXPECT_EQ(box->pos(), QPoint(0, 0));
  EXPECT_EQ(box->size(), QSize(66, 66));  // 985 twips
  EXPECT_EQ(box->SizeIndex(), 2);
  EXPECT_EQ(box->TransIndex(), 1);
  EXPECT_EQ(Opacity(box), 230);
  const Qt::WindowFlags flags = box->windowFlags();
  EXPECT_EQ(flags.testFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                            Qt::WindowDoesNotAcceptFocus),
            true);
  // The offscreen platform activates every window it shows; a desktop honours this.
  EXPECT_EQ(box->testAttribute(Qt::WA_ShowWithoutActivating), true);
  EXPECT_EQ(box->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(box->grab().toImage().pixelColor(3, 3), QColor(Qt::white));
  EXPECT_EQ(std::filesystem::exists(File()), false);

  EXPECT_EQ(Captions(box->mnuPopup), (std::vector<std::string>{
                                         "Window Size",
                                         "  Small",
                                         "  Normal",
                                         "  Large (checked)",
                                         "-",
                                         "Transperancy",
                                         "  None",
                                         "  Low (checked)",
                                         "  Normal",
                                         "  High",
                                         "-",
                                         "Close",
                                     }));
  box->mnuPopupClose->trigger();
  Settle();
  EXPECT_EQ(box.isNull(), true);
  EXPECT_EQ(TestSupport::ReadAll(File()), "[dropbox]\r\nleft=0\r\ntop=0\r\ntrans=1\r\nsize=2\r\n");
}

TEST_F(DropBoxWindowTest, ChoicesAreStoredOnCloseAndComeBackOnOpen) {
  frmDropBox* box = Open();
  box->move(150, 90);
  box->mnuPopupSizeOpt[0]->trigger();
  EXPECT_EQ(box->size(), QSize(41, 41));  // 610 twips
  EXPECT_EQ(box->pos(), QPoint(150, 90));
  box->mnuPopupTransOpt[3]->trigger();
  EXPECT_EQ(Opacity(box), 178);
  box->mnuPopupTransOpt[0]->trigger();
  EXPECT_EQ(Opacity(box), 255);
  box->close();
  Settle();
  EXPECT_EQ(TestSupport::ReadAll(File()),
            "[dropbox]\r\nleft=2250\r\ntop=1350\r\ntrans=0\r\nsize=0\r\n");

  QPointer<frmDropBox> again = Open();
  EXPECT_EQ(again->pos(), QPoint(150, 90));
  EXPECT_EQ(again->size(), QSize(41, 41));
  EXPECT_EQ(again->SizeIndex(), 0);
  EXPECT_EQ(again->TransIndex(), 0);
  EXPECT_EQ(Opacity(again), 255);
  delete again.data();
}

TEST_F(DropBoxWindowTest, WithoutOpacityTheChoiceOnlyMovesTheCheck) {
  platform.windowSystem.supported = false;
  std::unique_ptr<frmDropBox> box(Open());
  box->mnuPopupTransOpt[3]->trigger();
  EXPECT_EQ(box->TransIndex(), 3);
  EXPECT_EQ(Opacity(box.get()), 255);
}

TEST_F(DropBoxWindowTest, DroppedLinkWithCapitalsIsPassedOnUnchanged) {
  std::unique_ptr<frmDropBox> box(Open());
  QSignalSpy dropped(box.get(), &frmDropBox::LinkDropped);
  const QString link = QStringLiteral("HTTP://NEWS.QUILLPOST.TEST/Channel/AbC?x=1");
  QMimeData data;
  data.setText(link);
  data.setUrls({QUrl(link)});

  EXPECT_EQ(Drop(box.get(), data), true);
  ASSERT_EQ(dropped.count(), 1);
  EXPECT_EQ(dropped.at(0).at(0).toString(), link);
  EXPECT_EQ(platform.messageBox.shown.empty(), true);
}

TEST_F(DropBoxWindowTest, RefusedDropsSayWhy) {
  std::unique_ptr<frmDropBox> box(Open());
  QSignalSpy dropped(box.get(), &frmDropBox::LinkDropped);
  QMimeData otherLink;
  otherLink.setText(QStringLiteral("https://example.org/feed.xml"));
  QMimeData file;
  file.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/news.quillpost.test.txt"))});
  // File managers offer the path as text as well: still a file.
  QMimeData fileWithText;
  fileWithText.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/news.quillpost.test.txt"))});
  fileWithText.setText(QStringLiteral("/tmp/news.quillpost.test.txt"));

  EXPECT_EQ(Drop(box.get(), otherLink), false);
  EXPECT_EQ(Drop(box.get(), file), false);
  EXPECT_EQ(Drop(box.get(), fileWithText), false);

  const ShownBox invalidLink{
      "Invalid Quillpost Message Source Link. Please specify a correct "
      "Quillpost Source Link in \"Source Link\" field.",
      "Invalid Quillpost Source Link.", 48};
  const ShownBox noLink{
      "Invalid link dropped! Please Drag any Quillpost URL to this DropBox and Subscribe!",
      "Drag-n-Drop Quillpost Link ...", 64};
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{invalidLink, noLink, noLink}));
  EXPECT_EQ(dropped.count(), 0);
  EXPECT_EQ(box->isVisible(), true);
}

// The main window's entries for the drop box and the Preferences dialog.
class MainWindowEntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mAppFunctions::InitializeDataFolder();
    window = std::make_unique<frmMain>();
    window->Form_Load("");
    window->activateWindow();
    Settle();
  }
  void TearDown() override {
    window.reset();
    Settle();
  }

  FakePlatform platform;
  std::unique_ptr<frmMain> window;
};

TEST_F(MainWindowEntriesTest, EveryWayOfClosingTheBoxKeepsTheMarkInStep) {
  QAction* tools = window->mnuToolsDropBox;
  tools->trigger();
  Settle();
  ASSERT_NE(window->DropBox(), nullptr);
  EXPECT_EQ(window->DropBox()->isVisible(), true);
  EXPECT_EQ(tools->isChecked(), true);

  window->mnuSysDropBox->trigger();
  Settle();
  EXPECT_EQ(window->DropBox(), nullptr);
  EXPECT_EQ(tools->isChecked(), false);
  EXPECT_EQ(std::filesystem::exists(mSettings::SettingsFile()), true);

  window->mnuSysDropBox->trigger();
  Settle();
  EXPECT_EQ(tools->isChecked(), true);
  window->DropBox()->mnuPopupClose->trigger();
  Settle();
  EXPECT_EQ(window->DropBox(), nullptr);
  EXPECT_EQ(tools->isChecked(), false);

  // Closed from outside, by the window manager.
  tools->trigger();
  Settle();
  window->DropBox()->close();
  Settle();
  EXPECT_EQ(tools->isChecked(), false);

  // The tray key does the same.
  window->AddToSystemTray();
  window->SysTray()->TriggerMenuItem(5);
  Settle();
  EXPECT_EQ(tools->isChecked(), true);
  EXPECT_NE(window->DropBox(), nullptr);
  window->SysTray()->TriggerMenuItem(5);
  Settle();
  EXPECT_EQ(tools->isChecked(), false);
  EXPECT_EQ(window->DropBox(), nullptr);
}

TEST_F(MainWindowEntriesTest, DroppedLinkOpensTheSubscribeDialogWithIt) {
  window->mnuToolsDropBox->trigger();
  Settle();
  const QString link = QStringLiteral("https://News.Quillpost.Test/c/Letters");
  QMimeData data;
  data.setText(link);
  EXPECT_EQ(Drop(window->DropBox(), data), true);

  const auto dialogs = window->findChildren<frmSubscribe*>();
  ASSERT_EQ(dialogs.size(), 1);
  EXPECT_EQ(dialogs[0]->isVisible(), true);
  EXPECT_EQ(dialogs[0]->isModal(), false);
  EXPECT_EQ(dialogs[0]->txtLink->text(), link);
  EXPECT_EQ(dialogs[0]->txtTitle->text(), QString());
}

TEST_F(MainWindowEntriesTest, SettingsEntriesOpenOneModalPreferencesDialog) {
  window->mnuToolsSettings->trigger();
  Settle();
  auto dialogs = window->findChildren<frmSettings*>();
  ASSERT_EQ(dialogs.size(), 1);
  EXPECT_EQ(dialogs[0]->isVisible(), true);
  EXPECT_EQ(dialogs[0]->windowModality(), Qt::ApplicationModal);

  // Again from the menu, the tray and the option bar: the open dialog comes to the front.
  window->mnuToolsSettings->trigger();
  window->AddToSystemTray();
  window->SysTray()->TriggerMenuItem(8);
  emit window->Panel()->SettingsRequested();
  Settle();
  EXPECT_EQ(window->findChildren<frmSettings*>().size(), 1);

  dialogs[0]->close();
  Settle();
  EXPECT_EQ(window->findChildren<frmSettings*>().size(), 0);
  window->SysTray()->TriggerMenuItem(8);
  Settle();
  EXPECT_EQ(window->findChildren<frmSettings*>().size(), 1);
}

}  // namespace
