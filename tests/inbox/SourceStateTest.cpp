#include "inbox/SourceState.h"

#include "inbox/mInbox.h"
#include "support/DataFolder.h"

#include <filesystem>
#include <ostream>

namespace SourceState {
void PrintTo(const Deletion& d, std::ostream* out) {
  *out << d.guid << "@" << (d.lastSeen ? std::to_string(*d.lastSeen) : "-");
}
void PrintTo(const Validators& v, std::ostream* out) { *out << v.etag << "|" << v.lastModified; }
}  // namespace SourceState

using namespace SourceState;

namespace {

constexpr std::int64_t kNowMs = 1'796'000'000'000;  // Mon, 30 Nov 2026 00:53:20 GMT
constexpr std::int64_t k1994 = 784'111'777;         // Sun, 06 Nov 1994 08:49:37 GMT
using Deletions = std::vector<Deletion>;

class SourceStateFile : public TestData::DataFolderTest {};

}  // namespace

TEST(HttpDate, ReadsTheThreeFormsAndRefusesAnythingElse) {
  const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", k1994},
      {"Sunday, 06-Nov-94 08:49:37 GMT", k1994},
      {"Sun Nov  6 08:49:37 1994", k1994},
      {"  sun, 06 nov 1994 08:49:37 utc ", k1994},
      {"Sun, 06 Nov 1994 10:49:37 +0200", k1994},
      // A two-digit year is the latest that is at most 50 years ahead of the clock (2026).
      {"Mon, 30-Nov-26 00:53:20 GMT", kNowMs / 1000},
      {"Wed, 01-Jan-76 00:00:00 GMT", 3'345'062'400},
      {"Sat, 01-Jan-77 00:00:00 GMT", 220'924'800},
      {"", std::nullopt},
      {"yesterday", std::nullopt},
      {"784111777", std::nullopt},
      {"1994-11-06T08:49:37Z", std::nullopt},
      {"Sun, 06 Nov 1994 08:49 GMT", std::nullopt},
      {"Sun, 31 Nov 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 CET", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 GMT, Sun", std::nullopt},
      {"Sun, 06 Nov 19945 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37", std::nullopt},
      {"Day, 06 Nov 1994 08:49:37 GMT", std::nullopt},
  };
  for (const auto& [text, seconds] : cases)
    EXPECT_EQ(HttpDateSeconds(text, kNowMs), seconds) << text;
}

// Regression: a feed rewritten within the second it was fetched was answered 304 ever after.
TEST(ValidatorsToRecord, KeepLastModifiedOnlyAWholeSecondBeforeTheAnswer) {
  const std::string lm = "Sun, 06 Nov 1994 08:49:37 GMT";
  struct Row {
    std::string name;
    Answer answer;
    std::int64_t arrivalMs;
    bool keptLastModified;
  };
  const std::vector<Row> rows = {
      {"a second before the Date", {"e", lm, "Sun, 06 Nov 1994 08:49:38 GMT"}, 0, true},
      {"in the Date's second", {"e", lm, lm}, kNowMs, false},
      {"after the Date", {"e", lm, "Sun, 06 Nov 1994 08:49:36 GMT"}, kNowMs, false},
      {"no Date, a second before arrival", {"e", lm, ""}, (k1994 + 1) * 1000, true},
      {"no Date, in the second of arrival", {"e", lm, " "}, (k1994 + 1) * 1000 - 1, false},
      {"a Date that cannot be read", {"e", lm, "soon"}, kNowMs, false},
      {"a Last-Modified that cannot be read", {"e", "Sun, 06 Nov 1994", ""}, kNowMs, false},
      {"obsolete forms",
       {"e", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:38 1994"},
       0,
       true},
  };
  for (const Row& row : rows) {
    const Validators expected{"e", row.keptLastModified ? row.answer.lastModified : ""};
    EXPECT_EQ(ValidatorsToRecord(row.answer, row.arrivalMs), expected) << row.name;
  }
}

TEST(UpdateDeletions, ForgetsOnlyAfterFullAnswersLackedAGuidFor30Days) {
  const std::int32_t today = 20'000;
  struct Row {
    std::string name;
    Deletions before;
    std::unordered_set<std::string> carried;
    Deletions after;
  };
  const std::vector<Row> rows = {
      {"carried: seen today; lacking: stamped",
       {{"A", {}}, {"b", {}}, {"c", today - 3}},
       {"a"},
       {{"A", {}}, {"b", today}, {"c", today - 3}}},
      {"an empty channel changes nothing",
       {{"a", {}}, {"b", today - 40}},
       {},
       {{"a", {}}, {"b", today - 40}}},
      {"lacking for 30 days: forgotten",
       {{"a", today - 29}, {"b", today - 30}},
       {"x"},
       {{"a", today - 29}}},
      {"carried again: seen", {{"a", today - 29}}, {"a"}, {{"a", {}}}},
      {"a day after today (the clock went back)", {{"a", today + 5}}, {"x"}, {{"a", today}}},
  };
  for (Row row : rows) {
    UpdateDeletions(row.before, row.carried, today);
    EXPECT_EQ(row.before, row.after) << row.name;
  }

  // Bounded: those last seen earliest go first; the carried ones always stay.
  Deletions many = {{"carried", {}}, {"oldest", today - 20}};
  for (std::size_t i = 0; i < kMaxGoneDeletions; ++i)
    many.push_back({"g" + std::to_string(i), today - 5});
  UpdateDeletions(many, {"carried"}, today);
  ASSERT_EQ(many.size(), kMaxGoneDeletions + 1);
  EXPECT_EQ(many[0].guid + " " + many[1].guid, "carried g0");
}

TEST_F(SourceStateFile, KeepsTheDaysApartFromTheGuidsAndReadsAnOlderFileAsSeenToday) {
  const std::string& id = TestData::kSourceID;
  std::filesystem::create_directories(mInbox::InboxFolder(id));
  const std::string path = mInbox::InboxFolder(id) + "/state.dat";
  // The form before days were kept.
  TestSupport::WriteAll(path, "[deleted]\r\n1=a\r\n2=b\r\n");
  EXPECT_EQ(Load(id).deleted, (Deletions{{"a", {}}, {"b", {}}}));
  State state;
  state.deleted = {{"a", {}}, {"b", DayOf(kNowMs)}};
  EXPECT_EQ(Save(id, state), true);
  // An older reader finds every guid where it always was.
  EXPECT_EQ(TestSupport::ReadAll(path),
            "[deleted]\r\n1=a\r\n2=b\r\n[lastseen]\r\n2=2026-11-30\r\n");
  EXPECT_EQ(Load(id), state);
  TestSupport::WriteAll(path, "[deleted]\r\n1=a\r\n[lastseen]\r\n1=2026-02-30\r\n");
  EXPECT_EQ(Load(id).deleted, (Deletions{{"a", {}}}));
}
