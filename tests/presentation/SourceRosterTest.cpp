#include "presentation/SourceRoster.h"

#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace mSubscriptions;

void PrintTo(const SourceRoster::Change& change, std::ostream* out) {
  const auto list = [out](const char* name, const std::vector<std::string>& ids) {
    *out << name;
    for (const std::string& id : ids) *out << " " << id.substr(0, 8);
  };
  list("{added", change.added);
  list(", removed", change.removed);
  *out << (change.retitled ? ", retitled}" : "}");
}

namespace {

class SourceRosterTest : public TestData::DataFolderTest {
 protected:
  SourceRosterTest() {
    roster.SetOnChange([this](const SourceRoster::Change& change) { told.push_back(change); });
  }
  ~SourceRosterTest() override { RemoveSubscriptionListener(&roster); }

  // The list as a fresh read of the file gives it.
  std::vector<Archive::SourceRef> FromFile() {
    SourceRoster fresh;
    EXPECT_TRUE(fresh.Load());
    return fresh.Sources();
  }

  SourceRoster roster;
  std::vector<SourceRoster::Change> told;
};

}  // namespace

// Catches a list that falls out of step with the file, or that tells those who follow it about
// every source when one changed (the index and the counts then redo all of them).
TEST_F(SourceRosterTest, FollowsTheFilesNewsAndTellsOnlyWhatChanged) {
  const std::string letters = AddSource("Letters", "http://feeds.test/letters");
  const std::string notes = AddSource("Notes", "http://feeds.test/notes");
  ASSERT_TRUE(roster.Load());
  EXPECT_EQ(told, (std::vector<SourceRoster::Change>{{{letters, notes}, {}, false}}));
  told.clear();
  AddSubscriptionListener(&roster);

  const std::string kitchen = AddSource("Kitchen", "http://feeds.test/kitchen");
  CurrentSource.Link = "http://feeds.test/letters";
  EditedSource = {"Weekly Letters", "http://feeds.test/letters", letters};
  ASSERT_TRUE(ManageSource(SourceAction::Update));
  EditedSource = {"Weekly Letters", "http://feeds.test/letters2", letters};
  ASSERT_TRUE(ManageSource(SourceAction::Update));  // a new link only
  CurrentSource.Link = "http://feeds.test/notes";
  ASSERT_TRUE(ManageSource(SourceAction::Delete));
  EXPECT_EQ(told, (std::vector<SourceRoster::Change>{
                      {{kitchen}, {}, false}, {{}, {}, true}, {{}, {notes}, false}}));
  EXPECT_EQ(roster.Sources(), FromFile());
  EXPECT_EQ(std::pair(roster.Title(letters), roster.Title(notes)),
            std::pair(std::string("Weekly Letters"), std::string()));
}

// Catches sources the tree leaves out (no identifier, a repeated one) reaching the index and the
// counts, and news the list cannot place being dropped instead of read from the file.
TEST_F(SourceRosterTest, ListsSourcesAsTheTreeDoesAndReadsTheFileWhenOutOfStep) {
  const std::string id = TestData::kSourceID;
  roster.Reset({{"No id", "http://a", ""}, {"First", "http://b", id}, {"Repeat", "http://c", id}});
  EXPECT_EQ(roster.Sources(), (std::vector<Archive::SourceRef>{{id, "First"}}));
  roster.SourceRemoved({"First", "http://b", id});
  EXPECT_EQ(roster.Sources(), (std::vector<Archive::SourceRef>{{id, "Repeat"}}));
  EXPECT_EQ(told.back(), (SourceRoster::Change{{}, {}, true}));

  // Written behind its back.
  const std::string letters = AddSource("Letters", "http://feeds.test/letters");
  roster.SourceRemoved({"Unknown", "http://x", "22222222-3333-4444-8555-666666666666"});
  EXPECT_EQ(roster.Sources(), FromFile());
  EXPECT_EQ(told.back(), (SourceRoster::Change{{letters}, {id}, false}));
}
