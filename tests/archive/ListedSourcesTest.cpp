// The sources the index serves and their states, without threads or files.

#include "archive/ListedSources.h"

#include <gtest/gtest.h>

using namespace Archive;

namespace {

// Catches a list given again that costs work (the tree handing its list over on every row), and
// states lost when the list changes.
TEST(ListedSources, TheListHeldAgainChangesNothingAndSourcesKeepTheirStates) {
  ListedSources listed;
  EXPECT_TRUE(listed.Set({{"a", "Alpha"}, {"b", "Bravo"}, {"c", "Charlie"}, {"a", "Again"}}));
  EXPECT_EQ(listed.Unchecked(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(listed.Indexing(), (Progress{3, 3, 3}));
  listed.Checked("a", 7, true);
  listed.Checked("b", std::nullopt, true);
  listed.Checked("c", std::nullopt, false);
  EXPECT_FALSE(listed.AnyUnchecked());
  EXPECT_EQ(listed.Stale(), (std::vector<std::string>{"b", "c"}));
  EXPECT_FALSE(listed.Set({{"a", "Alpha"}, {"b", "Bravo"}, {"c", "Charlie"}, {"a", "Again"}}));

  // A renamed source keeps its state; a new one waits to be checked; a dropped one goes.
  EXPECT_TRUE(listed.Set({{"c", "Charlie"}, {"a", "Alpha 2"}, {"d", "Delta"}}));
  EXPECT_EQ(listed.CurrentSid("a"), 7);
  EXPECT_FALSE(listed.Listed("b"));
  EXPECT_EQ(listed.Unchecked(), std::vector<std::string>{"d"});
  EXPECT_EQ(listed.CurrentSources().at(0).title, "Alpha 2");
  EXPECT_EQ(listed.Indexing(), (Progress{2, 3, 1}));

  // A source that failed waits behind the others; indexing makes it current.
  listed.Checked("d", std::nullopt, false);
  listed.PutBack("c");
  EXPECT_EQ(listed.FirstStale(), "d");
  listed.MarkCurrent("d", 9);
  EXPECT_TRUE(listed.InIndex("d"));
  EXPECT_FALSE(listed.InIndex("c"));
  listed.MarkAllStale(true);
  EXPECT_EQ(listed.Stale(), (std::vector<std::string>{"a", "d", "c"}));
  EXPECT_FALSE(listed.InIndex("d"));
  EXPECT_EQ(listed.CurrentSid("a"), std::nullopt);
}

}  // namespace
