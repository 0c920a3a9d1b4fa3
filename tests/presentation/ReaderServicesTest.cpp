#include "presentation/ReaderServices.h"

#include "archive/Query.h"
#include "archive/SearchIndex.h"
#include "inbox/UnreadCounts.h"
#include "presentation/frmOptions.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

constexpr std::chrono::seconds kWait{10};

using ReaderServicesTest = TestData::DataFolderTest;

std::size_t Found(ReaderServices& services, const std::string& query) {
  return services.Index()->Search(Archive::ParseQuery(query)).hits.size();
}

}  // namespace

// Catches a start that throws the index away or counts the inboxes again (the tree's first reset
// once handed the index an empty list), and sources subscribed, renamed or removed that the index
// and the counts miss unless a window hands them on.
TEST_F(ReaderServicesTest, AnUnchangedStartCostsNothingAndTheSubscriptionsNewsIsFollowed) {
  const std::string letters =
      AddSource("Letters", "http://feeds.test/letters", {{"g1", "Leek soup"}, {"g2", "Bread"}});
  {
    ReaderServices first;
    first.Start();
    ASSERT_NE(first.Index(), nullptr);
    ASSERT_TRUE(first.Index()->WaitUntilCurrent(kWait));
    ASSERT_TRUE(first.Counts().WaitUntilCounted(kWait));
  }
  ReaderServices services;
  services.Start();
  TestSupport::FakeDocumentHost host;
  frmOptions panel(host, services);
  QCoreApplication::processEvents();
  EXPECT_EQ(services.Index()->Indexing(), (Archive::Progress{0, 1}));
  EXPECT_EQ(Found(services, "soup"), 1u);
  ASSERT_TRUE(services.Counts().WaitUntilCounted(kWait));
  EXPECT_EQ(services.Counts().FilesCounted(), 0u);

  const std::string notes = AddSource("Notes", "http://feeds.test/notes");
  mSubscriptions::CurrentSource.Link = "http://feeds.test/letters";
  mSubscriptions::EditedSource = {"Kitchen Letters", "http://feeds.test/letters", letters};
  ASSERT_TRUE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Update));
  ASSERT_TRUE(services.Counts().WaitUntilCounted(kWait));
  EXPECT_EQ(services.Counts().Find(notes), (mInbox::SourceCount{0, 0}));
  ASSERT_TRUE(services.Index()->WaitUntilCurrent(kWait));
  EXPECT_EQ(Found(services, "source:kitchen bread"), 1u);
  mSubscriptions::CurrentSource.Link = "http://feeds.test/notes";
  ASSERT_TRUE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete));
  EXPECT_EQ(std::pair(services.Counts().Find(notes), services.Index()->Indexing().total),
            std::pair(std::optional<mInbox::SourceCount>(), std::size_t{1}));
}
