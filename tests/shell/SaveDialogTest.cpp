#include "core/QtSaveDialog.h"

#include "support/FakeServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

Services::ISaveDialog::Request HtmlRequest() {
  return {"Save Article Description as ...", "htm", "News of 3/4: part one",
          "HTML Files|*.htm;*.html", 2};
}

}  // namespace

TEST(SaveDialog, FiltersBecomeQtNameFilters) {
  EXPECT_EQ(QtSaveDialog::NameFilters("HTML Files|*.htm;*.html"),
            QStringList{"HTML Files (*.htm *.html)"});
  EXPECT_EQ(QtSaveDialog::NameFilters("Email Draft Files (*.eml)|*.eml"),
            QStringList{"Email Draft Files (*.eml)"});
  EXPECT_EQ(QtSaveDialog::NameFilters("Text Files|*.txt|All Files|*.*"),
            (QStringList{"Text Files (*.txt)", "All Files (*.*)"}));
  EXPECT_EQ(QtSaveDialog::NameFilters(""), QStringList{});
  EXPECT_EQ(QtSaveDialog::NameFilters("No patterns"), QStringList{});
}

TEST(SaveDialog, RequestSetsUpTheDialog) {
  TestSupport::TempFolder folder;
  QFileDialog dialog;
  QtSaveDialog::Prepare(dialog, HtmlRequest(), QString::fromStdString(folder.path()));

  EXPECT_EQ(dialog.windowTitle(), QString("Save Article Description as ..."));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog.defaultSuffix(), QString("htm"));
  EXPECT_EQ(dialog.nameFilters(), QStringList{"HTML Files (*.htm *.html)"});
  EXPECT_EQ(dialog.testOption(QFileDialog::DontConfirmOverwrite), false);
  // A title is a proposed name, never a path into another folder.
  ASSERT_EQ(dialog.selectedFiles().size(), 1);
  EXPECT_EQ(dialog.selectedFiles().front().toStdString(),
            folder.path() + "/News of 3-4: part one.htm");

  auto request = HtmlRequest();
  request.flags = 0;
  QtSaveDialog::Prepare(dialog, request, QString::fromStdString(folder.path()));
  EXPECT_EQ(dialog.testOption(QFileDialog::DontConfirmOverwrite), true);
}

TEST(SaveDialog, ChosenNameGetsTheDefaultExtensionAndCancelGivesNothing) {
  QtSaveDialog service;
  const auto answer = [](bool accept) {
    QTimer::singleShot(0, [accept] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      if (!accept) return dialog->reject();
      dialog->selectFile(QStringLiteral("saved copy"));
      QMetaObject::invokeMethod(dialog, "accept");
    });
  };

  answer(true);
  const std::string chosen = service.AskSaveFile(HtmlRequest());
  EXPECT_EQ(chosen.substr(chosen.rfind('/')), "/saved copy.htm");

  answer(false);
  EXPECT_EQ(service.AskSaveFile(HtmlRequest()), "");
}
