// What a merged state means for a data folder, and what the user's changes mean for the log: pure
// functions, tested without files or threads.
#include "sync/SyncDecisions.h"

#include <gtest/gtest.h>

using namespace Sync;
using mInbox::BatchChange;
using mSubscriptions::MessageSource;

namespace {

const std::string kA(32, 'a'), kB(32, 'b');
const std::string kLetters = "http://news.quillpost.test/letters";
const std::string kNotes = "http://news.quillpost.test/notes";
const std::string kGarden = "http://news.quillpost.test/garden";

std::vector<std::string> Kinds(const std::vector<Action>& actions) {
  std::vector<std::string> kinds;
  for (const Action& a : actions) kinds.push_back(static_cast<char>(a.kind) + (" " + a.text));
  return kinds;
}

}  // namespace

TEST(SyncDecisions, FileChangesAreRecordedAsTheOtherMachinesSeeThem) {
  const MessageSource letters{"Letters", kLetters, "I1"};
  const struct {
    const char* name;
    std::optional<MessageSource> before, after;
    std::vector<std::string> recorded;
  } rows[] = {
      {"added", std::nullopt, letters, {"A Letters"}},
      {"removed", letters, std::nullopt, {"X "}},
      {"renamed", letters, MessageSource{"Kitchen", kLetters, "I1"}, {"T Kitchen"}},
      {"relinked: another source",
       letters,
       MessageSource{"Letters", kNotes, "I1"},
       {"X ", "A Letters"}},
      {"a link the dialog refuses",
       std::nullopt,
       MessageSource{"Evil", "http://x.test/", "I2"},
       {}},
      {"a title with a control character", letters, MessageSource{"Tab\tbed", kLetters, "I1"}, {}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(Kinds(SubscriptionActions(row.before ? &*row.before : nullptr,
                                        row.after ? &*row.after : nullptr)),
              row.recorded)
        << row.name;
  const SearchDiff diff = DiffSearches({{"Garden", "kale", {}}, {"Old", "x", {}}},
                                       {{"garden", "kale", {}}, {"New", "y", {}}});
  EXPECT_EQ(diff.removed, std::vector<std::string>{"Old"});
  EXPECT_EQ(diff.kept,
            (std::vector<Archive::SavedSearch>{{"garden", "kale", {}}, {"New", "y", {}}}));
}

// Another machine subscribed Garden, unsubscribed Notes, renamed Letters and marked its messages
// after this one read every source up to now.
TEST(SyncDecisions, AMergeChangesWhatTheStateSaysAndNothingElse) {
  State state;
  Changes changes;
  const auto add = [&](Kind kind, std::int64_t ms, const std::string& link, std::string text) {
    state.Add({kind, {ms, 0}, kB, link, std::move(text), {}, {}}, &changes);
  };
  add(Kind::Subscribe, 1, kLetters, "Letters");
  add(Kind::Subscribe, 1, kNotes, "Notes");
  add(Kind::Subscribe, 2, kGarden, "Garden");
  add(Kind::Unsubscribe, 3, kNotes, {});
  add(Kind::Rename, 4, kLetters, "Kitchen Letters");
  state.Add({Kind::ReadAllUpTo, {4, 0}, kA, {}, {}, {}, {}}, &changes);
  add(Kind::Read, 5, kLetters, "G1");
  add(Kind::Unread, 5, kLetters, "g2");
  add(Kind::Delete, 5, kLetters, "g3");
  state.Arrived(kLetters, "g5", 100);  // after "read up to now"
  const std::vector<LocalSource> here = LocalSourcesOf(
      {{"Letters", kLetters, "I1"}, {"Notes", kNotes, "I2"}, {"Odd", "http://x.test/odd", "I3"}});
  EXPECT_EQ(here[2].key, "");  // a link the dialog refuses is not synced

  const MembershipPlan membership = PlanMembership(state, changes.membership, here);
  EXPECT_EQ(membership.added, (std::vector<MessageSource>{{"Garden", kGarden, ""}}));
  EXPECT_EQ(membership.removed, std::vector<LocalSource>{here[1]});
  const std::vector<RenamePlan> renames = PlanRenames(state, changes.titles, here);
  ASSERT_EQ(renames.size(), 1u);
  EXPECT_EQ(renames[0].source.id + " " + renames[0].title, "I1 Kitchen Letters");

  // Letters only (Notes is unsubscribed, Odd has no key), all of it: up to now covers it.
  const std::vector<InboxUpdate> inboxes = PlanInboxes(state, changes, here);
  ASSERT_EQ(inboxes.size(), 1u);
  EXPECT_EQ(inboxes[0].source->id, "I1");
  EXPECT_EQ(inboxes[0].guids, nullptr);
  EXPECT_EQ(
      InboxBatch(state, *inboxes[0].entry, std::vector<std::string>{"g1", "g2", "g3", "g4", "g5"}),
      (std::vector<mInbox::BatchItem>{{"g1", BatchChange::MarkRead},
                                      {"g2", BatchChange::MarkUnread},
                                      {"g3", BatchChange::Delete},
                                      {"g4", BatchChange::MarkRead}}));
  // A mark waits for its message for a month.
  std::vector<mInbox::InboxItem> arriving = {{"g1", "", "", "", "", "", 0},
                                             {"g3", "", "", "", "", "", 0}};
  std::vector<std::string> deleted;
  ApplyWaitingMarks(state, *inboxes[0].entry, arriving, deleted, kMarkWaitMs + 5);
  EXPECT_EQ(std::pair(arriving[0].read, deleted),
            std::pair(std::int16_t{1}, std::vector<std::string>{"g3"}));
  arriving[0].read = 0;
  ApplyWaitingMarks(state, *inboxes[0].entry, arriving, deleted, kMarkWaitMs + 6);
  EXPECT_EQ(std::pair(arriving[0].read, deleted.size()), std::pair(std::int16_t{0}, 1ul));
}

TEST(SyncDecisions, TheClockRunsOnAndFollowsOthersByAtMostADay) {
  EXPECT_EQ(NextStamp({10, 3}, 20), (Stamp{20, 0}));
  EXPECT_EQ(NextStamp({10, 3}, 5), (Stamp{10, 4}));  // the wall clock went back
  EXPECT_EQ(NextStamp({10, UINT32_MAX}, 10), (Stamp{11, 0}));
  EXPECT_EQ(ObservedStamp({10, 0}, {15, 2}, 0), (Stamp{15, 2}));
  EXPECT_EQ(ObservedStamp({10, 0}, {kClockLeadMs * 9, 0}, 0), (Stamp{kClockLeadMs, 0}));
}
