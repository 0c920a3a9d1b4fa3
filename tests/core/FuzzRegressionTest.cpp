// Replays the inputs the fuzz targets were seeded with and every finding they made
// (tests/fixtures/fuzz/<target>/) through the same entry functions the targets run.

#include "FuzzEntries.h"
#include "TestPaths.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Entry = std::string (*)(std::string_view);

// The target's findings, its hand-written seeds and any fixture folder it is seeded from.
std::size_t Replay(const std::string& target, Entry entry, const std::string& fixtures = {}) {
  std::size_t replayed = 0;
  std::vector<fs::path> folders = {fs::path(QP_FIXTURES_DIR) / "fuzz" / target,
                                   fs::path(QP_SOURCE_DIR) / "fuzz" / "seeds" / target};
  if (!fixtures.empty()) folders.push_back(fs::path(QP_FIXTURES_DIR) / fixtures);
  for (const fs::path& folder : folders) {
    if (!fs::is_directory(folder)) continue;
    for (const fs::directory_entry& file : fs::directory_iterator(folder)) {
      SCOPED_TRACE(file.path().string());
      TestSupport::FakePlatform platform;
      EXPECT_EQ(entry(TestSupport::ReadAll(file.path().string())), "");
      ++replayed;
    }
  }
  return replayed;
}

}  // namespace

TEST(FuzzRegression, IniReader) { EXPECT_GT(Replay("IniReader", FuzzEntries::IniReader), 0u); }
TEST(FuzzRegression, FeedParser) {
  EXPECT_GT(Replay("FeedParser", FuzzEntries::FeedParser, "feeds"), 0u);
}
TEST(FuzzRegression, MessageHeader) {
  EXPECT_GT(Replay("MessageHeader", FuzzEntries::MessageHeader, "messages"), 0u);
}
TEST(FuzzRegression, PubDate) { EXPECT_GT(Replay("PubDate", FuzzEntries::PubDate), 0u); }
TEST(FuzzRegression, Subscriptions) {
  EXPECT_GT(Replay("Subscriptions", FuzzEntries::Subscriptions), 0u);
}

// A folder of findings named after no target would never be replayed.
TEST(FuzzRegression, EveryFindingsFolderIsATarget) {
  const fs::path root = fs::path(QP_FIXTURES_DIR) / "fuzz";
  if (!fs::is_directory(root)) return;
  const std::vector<std::string> targets = {"IniReader", "FeedParser", "MessageHeader", "PubDate",
                                            "Subscriptions"};
  for (const fs::directory_entry& folder : fs::directory_iterator(root)) {
    EXPECT_NE(std::find(targets.begin(), targets.end(), folder.path().filename().string()),
              targets.end())
        << folder.path();
  }
}
