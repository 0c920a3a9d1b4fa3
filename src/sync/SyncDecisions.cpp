#include "sync/SyncDecisions.h"

#include "core/AsciiText.h"

#include <algorithm>
#include <map>

namespace Sync {

namespace {

using mSubscriptions::MessageSource;

// A source nothing is known of: only "every source read up to now" can speak for its messages.
const SourceEntry kNoEntry;

Action SourceAction(Kind kind, const std::string& link, const std::string& text = {}) {
  return {kind, {}, {}, link, text, {}, {}};
}

template <typename Guids>
std::vector<mInbox::BatchItem> BatchOf(const State& state, const SourceEntry& entry,
                                       const Guids& guids) {
  std::vector<mInbox::BatchItem> batch;
  for (const std::string& guid : guids) {
    const std::string lower = AsciiText::Lower(guid);
    switch (state.Message(entry, lower, state.ArrivalMs(entry, lower)).verdict) {
      case Verdict::None:
        break;
      case Verdict::Read:
        batch.push_back({guid, mInbox::BatchChange::MarkRead});
        break;
      case Verdict::Unread:
        batch.push_back({guid, mInbox::BatchChange::MarkUnread});
        break;
      case Verdict::Delete:
        batch.push_back({guid, mInbox::BatchChange::Delete});
        break;
    }
  }
  return batch;
}

}  // namespace

std::vector<LocalSource> LocalSourcesOf(const std::vector<MessageSource>& sources) {
  std::vector<LocalSource> local;
  local.reserve(sources.size());
  for (const MessageSource& source : sources) {
    LocalSource each{source.ID, source.Title, source.Link, source.Link};
    if (!CheckLink(each.key).empty()) each.key.clear();
    local.push_back(std::move(each));
  }
  return local;
}

const LocalSource* FindByKey(const std::vector<LocalSource>& sources, const std::string& key) {
  if (key.empty()) return nullptr;
  for (const LocalSource& source : sources)
    if (source.key == key) return &source;
  return nullptr;
}

MembershipPlan PlanMembership(const State& state, const std::set<std::string>& links,
                              const std::vector<LocalSource>& here) {
  MembershipPlan plan;
  for (const std::string& link : links) {
    const std::optional<bool> subscribed = state.Subscribed(link);
    const LocalSource* local = FindByKey(here, link);
    if (subscribed == true && !local) {
      plan.added.push_back({state.Title(*state.Source(link)), link, {}});
    } else if (subscribed == false && local) {
      plan.removed.push_back(*local);
    }
  }
  return plan;
}

std::vector<RenamePlan> PlanRenames(const State& state, const std::set<std::string>& links,
                                    const std::vector<LocalSource>& here) {
  std::vector<RenamePlan> plan;
  for (const std::string& link : links) {
    const LocalSource* local = FindByKey(here, link);
    const SourceEntry* entry = state.Source(link);
    const std::optional<std::string> title = entry ? state.Renamed(*entry) : std::nullopt;
    if (local && title && *title != local->title) plan.push_back({*local, *title});
  }
  return plan;
}

std::vector<InboxUpdate> PlanInboxes(const State& state, const Changes& changes,
                                     const std::vector<LocalSource>& here) {
  // Each inbox once, however many of its messages changed; "read up to now" covers all.
  std::map<std::string, const std::unordered_set<std::string>*> links;
  for (const auto& [link, guids] : changes.marks) links[link] = &guids;
  for (const std::string& link : changes.readUpTo) links[link] = nullptr;
  if (changes.readAllUpTo)
    for (const LocalSource& source : here) links[source.key] = nullptr;
  std::vector<InboxUpdate> updates;
  for (const auto& [link, guids] : links) {
    const LocalSource* local = FindByKey(here, link);
    if (!local || state.Subscribed(link) == false) continue;
    const SourceEntry* entry = state.Source(link);
    updates.push_back({local, entry ? entry : &kNoEntry, guids});
  }
  return updates;
}

std::vector<mInbox::BatchItem> InboxBatch(const State& state, const SourceEntry& entry,
                                          const std::vector<std::string>& guids) {
  return BatchOf(state, entry, guids);
}

std::vector<mInbox::BatchItem> InboxBatch(const State& state, const SourceEntry& entry,
                                          const std::unordered_set<std::string>& guids) {
  return BatchOf(state, entry, guids);
}

std::optional<std::vector<Archive::SavedSearch>> MergedSearches(
    const State& state, const std::set<std::string>& names,
    std::vector<Archive::SavedSearch> searches) {
  bool changed = false;
  for (const std::string& name : names) {
    const auto known = state.Searches().find(name);
    if (known == state.Searches().end()) continue;
    const SearchEntry& entry = known->second;
    const auto it = std::find_if(searches.begin(), searches.end(), [&](const auto& s) {
      return AsciiText::EqualsNoCase(s.name, name);
    });
    if (entry.winner.kind == Kind::SearchSaved) {
      const Archive::SavedSearch search{entry.name, entry.query, entry.rule};
      if (it == searches.end()) {
        searches.push_back(search);
      } else if (*it == search) {
        continue;
      } else {
        *it = search;
      }
      changed = true;
    } else if (it != searches.end()) {
      searches.erase(it);
      changed = true;
    }
  }
  if (!changed) return std::nullopt;
  return searches;
}

void ApplyWaitingMarks(const State& state, const SourceEntry& entry,
                       std::vector<mInbox::InboxItem>& items, std::vector<std::string>& deleted,
                       std::int64_t nowMs) {
  for (mInbox::InboxItem& item : items) {
    const std::optional<Winner> mark = state.Mark(entry, AsciiText::Lower(item.guid));
    // A mark that waited a month for its message is dropped.
    if (!mark || nowMs - mark->stamp.ms > kMarkWaitMs) continue;
    if (mark->kind == Kind::Delete) {
      deleted.push_back(item.guid);
    } else if (mark->kind == Kind::Read) {
      item.read = 1;
    }
  }
}

std::vector<Action> SubscriptionActions(const MessageSource* before, const MessageSource* after) {
  std::string from = before ? before->Link : std::string();
  std::string to = after ? after->Link : std::string();
  const bool fromOk = before && CheckLink(from).empty();
  const bool toOk = after && CheckLink(to).empty();
  std::vector<Action> actions;
  if (fromOk && toOk && from == to) {
    if (before->Title != after->Title && CheckTitle(after->Title).empty())
      actions.push_back(SourceAction(Kind::Rename, to, after->Title));
    return actions;
  }
  if (fromOk) actions.push_back(SourceAction(Kind::Unsubscribe, from));
  if (toOk && CheckTitle(after->Title).empty())
    actions.push_back(SourceAction(Kind::Subscribe, to, after->Title));
  return actions;
}

SearchDiff DiffSearches(const std::vector<Archive::SavedSearch>& before,
                        const std::vector<Archive::SavedSearch>& after) {
  const auto find = [](const std::vector<Archive::SavedSearch>& in, const std::string& name) {
    return std::find_if(in.begin(), in.end(),
                        [&](const auto& s) { return AsciiText::EqualsNoCase(s.name, name); });
  };
  SearchDiff diff;
  for (const Archive::SavedSearch& search : before)
    if (find(after, search.name) == after.end()) diff.removed.push_back(search.name);
  for (const Archive::SavedSearch& search : after) {
    const auto was = find(before, search.name);
    if (was == before.end() || *was != search) diff.kept.push_back(search);
  }
  return diff;
}

}  // namespace Sync
