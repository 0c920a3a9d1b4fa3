// Replays every fuzz finding (tests/fixtures/fuzz/<target>/), the targets' hand-written seeds and
// the fixtures they are seeded from through the entry functions the targets run.

#include "FuzzEntries.h"
#include "TestPaths.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

TEST(FuzzRegression, EveryFindingSeedAndFixtureKeepsThePromisesOfItsTarget) {
  // clang-format off
  const struct { const char* target; std::string (*entry)(std::string_view); const char* fixtures; }
  targets[] = {{"IniReader", FuzzEntries::IniReader, ""}, {"PubDate", FuzzEntries::PubDate, ""},
               {"FeedParser", FuzzEntries::FeedParser, "feeds"},
               {"MessageHeader", FuzzEntries::MessageHeader, "messages"},
               {"Subscriptions", FuzzEntries::Subscriptions, ""},
               {"Query", FuzzEntries::Query, ""}};
  // clang-format on
  std::map<std::string, int> replayed;
  for (const auto& t : targets) {
    replayed[t.target] = 0;
    for (const fs::path& folder : {fs::path(QP_FIXTURES_DIR) / "fuzz" / t.target,
                                   fs::path(QP_SOURCE_DIR) / "fuzz" / "seeds" / t.target,
                                   *t.fixtures ? fs::path(QP_FIXTURES_DIR) / t.fixtures : ""}) {
      if (folder.empty() || !fs::is_directory(folder)) continue;
      for (const fs::directory_entry& file : fs::directory_iterator(folder)) {
        TestSupport::FakePlatform platform;
        EXPECT_EQ(t.entry(TestSupport::ReadAll(file.path())), "") << file.path();
        ++replayed[t.target];
      }
    }
    EXPECT_GT(replayed[t.target], 0) << t.target;
  }
  // A folder of findings named after no target would never be replayed.
  for (const auto& folder : fs::directory_iterator(fs::path(QP_FIXTURES_DIR) / "fuzz"))
    EXPECT_EQ(replayed.count(folder.path().filename()), 1u) << folder.path();
}
