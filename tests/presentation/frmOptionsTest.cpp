#include "presentation/frmOptions.h"

#include "archive/SavedSearches.h"
#include "archive/SearchIndex.h"
#include "core/Services.h"
#include "core/TreeModel.h"
#include "inbox/mInbox.h"
#include "presentation/ReaderServices.h"
#include "presentation/SavedSearchList.h"
#include "support/DataFolder.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using OptionsPanelTest = TestData::DataFolderTest;

// The application's services as the program makes them, once the sources are subscribed.
struct Started : ReaderServices {
  Started() { Start(); }
};

// The panel loads the sources and its items reach PanelActions, whose test pins what they do.
TEST_F(OptionsPanelTest, OpensWithTheSourcesLoadedAndItsItemsRunTheirCommands) {
  AddSource("Letters", "http://feeds.test/letters", {{"g1", "First"}});
  TestSupport::FakeDocumentHost host;
  Started services;
  frmOptions panel(host, services);
  EXPECT_EQ(TestData::Messages(panel.Tree(), panel.Tree().TopLevelAt(0)->Key()).size(), 1u);
  QSignalSpy settings(&panel, &frmOptions::SettingsRequested);
  QTest::mouseClick(panel.OptionItem("opt_settings"), Qt::LeftButton);
  QTest::mouseClick(panel.OptionItem("help_email"), Qt::LeftButton);
  EXPECT_EQ(settings.count(), 1);
  EXPECT_EQ(platform.shell.opened, std::vector<std::string>{"mailto:support@quillpost.example"});
}

// Catches a panel that reads every inbox at start to show the counts, shows none for sources it
// has not read, or lets them fall behind the store.
TEST_F(OptionsPanelTest, FoldedSourcesShowTheirCountsWithoutBeingRead) {
  const std::string id =
      AddSource("Letters", "http://feeds.test/letters", {{"g1", "A"}, {"g2", "B"}});
  TestSupport::FakeDocumentHost host;
  const auto shown = [](frmOptions& panel) {
    return panel.Model().index(0, 0).data().toString().toStdString();
  };
  {
    Started services;
    frmOptions panel(host, services);
    EXPECT_EQ(shown(panel), "Letters");  // counted on the worker, known a moment later
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(panel) == "Letters (2)"; }));
    mInbox::SourceID = id;
    mInbox::CurrentItem.guid = "g1";
    mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::MarkRead));
    EXPECT_EQ(std::pair(shown(panel), panel.Tree().Find(id)->ChildrenPending()),
              std::pair(std::string("Letters (1)"), true));
  }
  Started services;  // the first ones kept the counts for the next start
  frmOptions again(host, services);
  EXPECT_TRUE(QTest::qWaitFor([&] { return shown(again) == "Letters (1)"; }));
}

// Catches saved searches that do not reach their group, show no count from the index, or are
// removed without asking; and a dialog that lets two searches share a name.
TEST_F(OptionsPanelTest, SavedSearchesStandInTheirGroupWithCountsAndGoOnlyWhenConfirmed) {
  AddSource("Kitchen Notes", "http://feeds.test/kitchen", {{"g1", "Leek soup"}, {"g2", "Bread"}});
  ASSERT_TRUE(Archive::SaveSavedSearches({{"Soups", "soup", Archive::Rule::MarkRead}}));
  TestSupport::FakeDocumentHost host;
  Started services;
  frmOptions panel(host, services);
  SavedSearchList& list = *panel.SavedSearches();
  ASSERT_NE(panel.Index(), nullptr);
  ASSERT_TRUE(panel.Index()->WaitUntilCurrent(std::chrono::seconds(10)));
  const QModelIndex soups = list.model()->index(0, 0, list.model()->index(0, 0));
  EXPECT_TRUE(QTest::qWaitFor([&] { return soups.data().toString() == "Soups (1)"; }));
  EXPECT_TRUE(list.isVisibleTo(&panel));

  list.setCurrentIndex(soups);
  QTest::keyClick(&list, Qt::Key_Delete);  // answered No
  EXPECT_EQ(Archive::LoadSavedSearches().size(), 1u);
  platform.messageBox.answers = {Services::vbYes};
  QTest::keyClick(&list, Qt::Key_Delete);
  EXPECT_TRUE(Archive::LoadSavedSearches().empty());
  EXPECT_FALSE(list.isVisibleTo(&panel));

  // Catches two fields sharing Alt+N, a hint that stays after its cause went, and an edit titled
  // as a new search.
  frmSaveSearch dialog({"", "kale", Archive::Rule::None}, {{"Soups", "soup", Archive::Rule::None}},
                       frmSaveSearch::Purpose::New);
  dialog.accept();
  EXPECT_EQ(dialog.lblProblem->text(), "Give the search a name.");
  QTest::keyClicks(dialog.txtName, "SOUPS");
  EXPECT_TRUE(dialog.lblProblem->isHidden());
  dialog.accept();
  EXPECT_EQ(dialog.lblProblem->text(), "Another saved search has that name.");
  dialog.txtName->setText("Greens");
  EXPECT_TRUE(dialog.lblProblem->isHidden());
  QString keys;
  for (const QLabel* label : dialog.findChildren<QLabel*>())
    if (label->text().contains('&')) keys += label->text().at(label->text().indexOf('&') + 1);
  EXPECT_EQ(keys.toLower(), "nsm");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(frmSaveSearch({"Soups", "soup", Archive::Rule::None}, {}, frmSaveSearch::Purpose::Edit)
                .windowTitle(),
            "Edit Saved Search");
}

}  // namespace
