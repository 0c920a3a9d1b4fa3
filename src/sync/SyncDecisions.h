#pragma once
// What the merged state means for this data folder, and what the user's changes mean for the log:
// pure functions of the state and of what this data folder holds, without files or threads.

#include "archive/SavedSearches.h"
#include "inbox/mInbox.h"
#include "subscriptions/mSubscriptions.h"
#include "sync/SyncActions.h"
#include "sync/SyncState.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace Sync {

// A source of this data folder as sync names it: by its link in the form the subscription file
// stores (the key). A link the subscribe dialog would refuse cannot be told apart across
// machines: such a source has no key and is not synced.
struct LocalSource {
  std::string id, title, link, key;
  bool operator==(const LocalSource&) const = default;
};
std::vector<LocalSource> LocalSourcesOf(const std::vector<mSubscriptions::MessageSource>& sources);
const LocalSource* FindByKey(const std::vector<LocalSource>& sources, const std::string& key);

// For the links whose membership changed: the sources to add here (title and link; the ID is
// made when they are added) and the ones to remove.
struct MembershipPlan {
  std::vector<mSubscriptions::MessageSource> added;
  std::vector<LocalSource> removed;
};
MembershipPlan PlanMembership(const State& state, const std::set<std::string>& links,
                              const std::vector<LocalSource>& here);

// For the links whose title changed: the sources here to rename, and their new titles.
struct RenamePlan {
  LocalSource source;
  std::string title;
};
std::vector<RenamePlan> PlanRenames(const State& state, const std::set<std::string>& links,
                                    const std::vector<LocalSource>& here);

// An inbox to bring up to date: the guids (lower case) whose marks changed, or none for all of
// its messages ("read up to now").
struct InboxUpdate {
  const LocalSource* source = nullptr;
  const SourceEntry* entry = nullptr;
  const std::unordered_set<std::string>* guids = nullptr;
};
// One per subscribed source here that the changes concern, in the order of their links.
std::vector<InboxUpdate> PlanInboxes(const State& state, const Changes& changes,
                                     const std::vector<LocalSource>& here);
// What each of these messages' actions say now, for the inbox store's batch; messages the state
// says nothing about are left out.
std::vector<mInbox::BatchItem> InboxBatch(const State& state, const SourceEntry& entry,
                                          const std::vector<std::string>& guids);
std::vector<mInbox::BatchItem> InboxBatch(const State& state, const SourceEntry& entry,
                                          const std::unordered_set<std::string>& guids);

// The saved searches after the named ones (lower case) took the merged state's word; nothing
// when that changes none of them.
std::optional<std::vector<Archive::SavedSearch>> MergedSearches(
    const State& state, const std::set<std::string>& names,
    std::vector<Archive::SavedSearch> searches);

// Arriving messages of a source with a mark that waits for them (at most kMarkWaitMs): a read one
// arrives read, a deleted one goes to `deleted` and is not stored.
void ApplyWaitingMarks(const State& state, const SourceEntry& entry,
                       std::vector<mInbox::InboxItem>& items, std::vector<std::string>& deleted,
                       std::int64_t nowMs);

// The actions (without stamp and machine) that record a change of the subscription file: a
// source added (no before), removed (no after), renamed or given another link, which another
// machine sees as another source.
std::vector<Action> SubscriptionActions(const mSubscriptions::MessageSource* before,
                                        const mSubscriptions::MessageSource* after);

// How the saved searches changed, by name without letter case: the names removed (a rename
// removes the old name) and the searches kept, new or changed.
struct SearchDiff {
  std::vector<std::string> removed;
  std::vector<Archive::SavedSearch> kept;
};
SearchDiff DiffSearches(const std::vector<Archive::SavedSearch>& before,
                        const std::vector<Archive::SavedSearch>& after);

}  // namespace Sync
