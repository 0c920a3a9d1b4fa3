#include "presentation/SearchPane.h"

#include "core/mAppFunctions.h"
#include "entry/SearchCommand.h"
#include "support/DataFolder.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using SearchPaneTest = TestData::DataFolderTest;

// Catches a list that shows what an older query found when its answer comes after a newer
// query was typed, and titles asked of the tree instead of the index.
TEST_F(SearchPaneTest, AnswersToASupersededQueryAreDroppedAndTheIndexNamesTheSources) {
  AddSource("Kitchen Notes", "http://feeds.test/kitchen", {{"k1", "Leek soup"}, {"k2", "Bread"}});
  ASSERT_TRUE(mAppFunctions::PrepareCacheFolder());
  std::string error;
  const auto index = Archive::SearchIndex::Open(Archive::SearchIndex::DefaultFile(), error);
  ASSERT_TRUE(index) << error;
  index->SetSources(*SearchCommand::Sources());
  ASSERT_TRUE(index->WaitUntilCurrent(std::chrono::seconds(10)));

  SearchResultModel model;
  QSignalSpy answered(&model, &SearchResultModel::Answered);
  model.SetQuery(index.get(), Archive::ParseQuery("soup"));
  index->DrainQuestions();  // answered on the query thread, not yet taken here
  model.SetQuery(index.get(), Archive::ParseQuery("bread"));
  EXPECT_TRUE(model.Pending());
  ASSERT_TRUE(answered.wait(5000));
  QTest::qWait(50);
  EXPECT_EQ(answered.count(), 1);
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.data(model.index(0), Qt::DisplayRole).toString(), "Bread");
  EXPECT_EQ(model.data(model.index(0), SearchResultModel::SourceTitleRole).toString(),
            "Kitchen Notes");
}

// Catches End that reaches only the rows loaded so far or fetches every row between, a "No
// messages match." left standing above the tree after the query went, and `after:garbage`
// silently finding nothing.
TEST_F(SearchPaneTest, EndFetchesOnlyTheLastPageAndTheStateGoesWithItsQuery) {
  std::vector<TestData::StoredMessage> soups;
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun"};
  for (int i = 0; i < 160; ++i)
    soups.push_back({"s" + std::to_string(i), "Soup " + std::to_string(i),
                     "Mon, " + std::to_string(1 + i % 28) + " " + months[i / 28] + " 2026"});
  AddSource("Kitchen Notes", "http://feeds.test/kitchen", soups);
  ASSERT_TRUE(mAppFunctions::PrepareCacheFolder());
  std::string error;
  const auto index = Archive::SearchIndex::Open(Archive::SearchIndex::DefaultFile(), error);
  ASSERT_TRUE(index) << error;
  index->SetSources(*SearchCommand::Sources());
  ASSERT_TRUE(index->WaitUntilCurrent(std::chrono::seconds(10)));
  TreeControl tree("tvMessages");
  TestSupport::FakeDocumentHost host;
  SearchPane pane(tree, host);
  pane.SetIndex(index.get());
  pane.show();
  auto& model = *static_cast<SearchResultModel*>(pane.lstResults->model());

  pane.ShowQuery("soup");
  ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 50; }));
  pane.lstResults->setFocus();
  QTest::keyClick(pane.lstResults, Qt::Key_End);
  ASSERT_TRUE(QTest::qWaitFor([&] { return pane.lstResults->currentIndex().row() == 159; }));
  QTest::qWait(100);
  EXPECT_EQ(pane.lstResults->currentIndex().data().toString(), "Soup 0");
  EXPECT_LE(model.HeldRows(), 100u);
  // Rows between come as they are shown.
  pane.lstResults->scrollTo(model.index(80));
  EXPECT_TRUE(QTest::qWaitFor([&] { return model.index(80).data().toString() == "Soup 79"; }));

  pane.ShowQuery("zebracorn");
  EXPECT_TRUE(QTest::qWaitFor([&] { return pane.lblSearchState->isVisible(); }));
  EXPECT_EQ(pane.lblSearchState->text(), "No messages match.");
  QTest::keyClick(pane.txtSearch, Qt::Key_Escape);
  EXPECT_EQ(std::pair(pane.lblSearchState->isVisible(), pane.QueryStands()),
            std::pair(false, false));
  pane.ShowQuery("soup after:soon");
  EXPECT_EQ(pane.lblSearchState->text(),
            "The date in \"after:soon\" cannot be read: write it as 2026-01-31.");
}

}  // namespace
