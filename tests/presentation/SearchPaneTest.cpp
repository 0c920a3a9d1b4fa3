#include "presentation/SearchPane.h"

#include "core/mAppFunctions.h"
#include "entry/SearchCommand.h"
#include "support/DataFolder.h"

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

}  // namespace
