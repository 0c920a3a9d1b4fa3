#include "core/QtSaveDialog.h"

#include "support/FakeServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const Services::ISaveDialog::Request kHtml{"Save Article Description as ...", "htm",
                                           "News of 3/4: part one", "HTML Files|*.htm;*.html", 2};

TEST(SaveDialog, RequestSetsUpTheDialog) {
  EXPECT_EQ(QtSaveDialog::NameFilters("Text Files|*.txt|All Files|*.*"),
            (QStringList{"Text Files (*.txt)", "All Files (*.*)"}));
  TestSupport::TempFolder folder;
  QFileDialog dialog;
  QtSaveDialog::Prepare(dialog, kHtml, QString::fromStdString(folder.path()));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog.nameFilters(), QStringList{"HTML Files (*.htm *.html)"});
  EXPECT_EQ(dialog.testOption(QFileDialog::DontConfirmOverwrite), false);
  // A title is a proposed name, never a path into another folder.
  EXPECT_EQ(dialog.selectedFiles(),
            QStringList{QString::fromStdString(folder.path() + "/News of 3-4: part one.htm")});
  auto request = kHtml;
  request.flags = 0;
  QtSaveDialog::Prepare(dialog, request, QString::fromStdString(folder.path()));
  EXPECT_EQ(dialog.testOption(QFileDialog::DontConfirmOverwrite), true);
}

TEST(SaveDialog, ChosenNameGetsTheDefaultExtensionAndCancelGivesNothing) {
  QtSaveDialog service;
  std::vector<std::string> answers;
  for (const bool accept : {true, false}) {
    QTimer::singleShot(0, [accept] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      if (!accept) return dialog->reject();
      dialog->selectFile(QStringLiteral("saved copy"));
      QMetaObject::invokeMethod(dialog, "accept");
    });
    const std::string chosen = service.AskSaveFile(kHtml);
    answers.push_back(chosen.substr(chosen.rfind('/') + 1));
  }
  EXPECT_EQ(answers, (std::vector<std::string>{"saved copy.htm", ""}));
}

}  // namespace
