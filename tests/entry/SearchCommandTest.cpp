// quillpost --search without windows: its lines, its exit status, and its silence once the
// index is current.
#include "entry/SearchCommand.h"

#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using SearchCommandTest = TestData::DataFolderTest;

// Catches progress printed by every search (the sources compared with their inboxes at each
// start are no indexing), and a status that does not tell found from not found.
TEST_F(SearchCommandTest, PrintsTheMatchesNewestFirstAndNoProgressOnceTheIndexIsCurrent) {
  AddSource("Kitchen Notes", "http://feeds.test/kitchen",
            {{"k1", "Leek soup", "Thu, 03 Dec 2026"}, {"k2", "Pea\tsoup", "Sat, 05 Dec 2026"}});
  AddSource("Garden Letter", "http://feeds.test/garden", {{"g1", "Mulch"}});
  std::ostringstream out, err;
  EXPECT_EQ(SearchCommand::Run("soup", out, err), SearchCommand::Matched);
  for (int again = 0; again < 2; ++again) {
    out.str("");
    err.str("");
    EXPECT_EQ(SearchCommand::Run("soup", out, err), SearchCommand::Matched);
    EXPECT_EQ(out.str(),
              "2026-12-05\tKitchen Notes\tPea soup\n2026-12-03\tKitchen Notes\tLeek soup\n");
    EXPECT_EQ(err.str(), "");
  }
  EXPECT_EQ(SearchCommand::Run("zebracorn", out, err), SearchCommand::NothingMatched);
  EXPECT_EQ(SearchCommand::Run("^", out, err), SearchCommand::Failed);
  err.str("");
  EXPECT_EQ(SearchCommand::Run("soup before:soon", out, err), SearchCommand::Failed);
  EXPECT_EQ(err.str(),
            "quillpost: the date in \"before:soon\" cannot be read: write it as 2026-01-31\n");
}

}  // namespace
