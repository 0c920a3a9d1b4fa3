#include "sync/SyncDataFolder.h"

#include "core/SourceId.h"
#include "inbox/mInbox.h"
#include "subscriptions/SubscriptionChecks.h"
#include "subscriptions/mSubscriptions.h"

namespace Sync {

namespace {

// Brings one inbox up to date in one batch; what could not be written is tried again later.
void ApplyToInbox(const State& state, const InboxUpdate& update, Changes& failed, Report& report) {
  const LocalSource& local = *update.source;
  if (!SourceId::IsSourceID(local.id)) return;
  const auto retry = [&] {
    if (update.guids) {
      failed.marks[local.key].insert(update.guids->begin(), update.guids->end());
    } else {
      failed.readUpTo.insert(local.key);
    }
    report.Fail("Sync: the messages of " + local.title + " could not be updated");
  };
  // Marks for messages not stored yet wait for them (ApplyWaitingMarks).
  std::vector<mInbox::BatchItem> batch;
  if (update.guids) {
    batch = InboxBatch(state, *update.entry, *update.guids);
  } else if (const std::optional<std::vector<std::string>> all = mInbox::MessageGuids(local.id)) {
    batch = InboxBatch(state, *update.entry, *all);
  } else {
    return retry();
  }
  if (batch.empty()) return;
  const std::optional<std::size_t> changed = mInbox::ApplyBatch(local.id, batch);
  if (!changed) return retry();
  if (*changed > 0) report.inboxesChanged.insert(local.id);
}

void ApplySearches(const State& state, const Changes& changes, ISavedSearches* searches,
                   Report& report) {
  if (changes.searches.empty() || !searches) return;
  const std::optional<std::vector<Archive::SavedSearch>> merged =
      MergedSearches(state, changes.searches, searches->Load());
  if (!merged) return;
  if (searches->Save(*merged)) {
    report.searchesChanged = true;
  } else {
    report.Fail("Sync: the saved searches could not be written");
  }
}

void RetryAll(const Changes& changes, Changes& retry) {
  retry.membership.insert(changes.membership.begin(), changes.membership.end());
  retry.titles.insert(changes.titles.begin(), changes.titles.end());
  for (const auto& [link, guids] : changes.marks)
    retry.marks[link].insert(guids.begin(), guids.end());
  retry.readUpTo.insert(changes.readUpTo.begin(), changes.readUpTo.end());
  retry.readAllUpTo = retry.readAllUpTo || changes.readAllUpTo;
}

}  // namespace

void LocalSources::Refresh(Report* report) {
  mSubscriptions::OpenFailure failure = mSubscriptions::OpenFailure::None;
  const std::optional<std::vector<mSubscriptions::MessageSource>> sources =
      mSubscriptions::ReadAllSources(&failure);
  m_known = sources.has_value();
  m_sources = sources ? LocalSourcesOf(*sources) : std::vector<LocalSource>{};
  if (!m_known && report)
    report->Fail("Sync: the subscription file cannot be opened (" +
                 mSubscriptions::Describe(failure) + "); sources are not synced");
}

const LocalSource* LocalSources::ById(const std::string& id) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!m_known || attempt == 1) Refresh(nullptr);
    for (const LocalSource& source : m_sources)
      if (source.id == id) return &source;
  }
  return nullptr;
}

std::vector<Action> DataFolderActions(const std::vector<LocalSource>& sources,
                                      ISavedSearches* searches, Stamp stamp,
                                      const std::string& machine) {
  std::vector<Action> actions;
  const auto add = [&](Kind kind, const std::string& link, const std::string& text) {
    actions.push_back({kind, stamp, machine, link, text, {}, {}});
  };
  for (const LocalSource& source : sources) {
    if (source.key.empty() || !CheckTitle(source.title).empty()) continue;
    add(Kind::Subscribe, source.key, source.title);
    for (const mInbox::MessageSummary& message :
         mInbox::ListMessages(source.id).value_or(std::vector<mInbox::MessageSummary>{})) {
      if (message.read != 0 && CheckGuid(message.guid).empty())
        add(Kind::Read, source.key, message.guid);
    }
  }
  if (!searches) return actions;
  for (const Archive::SavedSearch& search : searches->Load()) {
    if (CheckSearch(search.name, search.query).empty())
      actions.push_back(
          {Kind::SearchSaved, stamp, machine, {}, search.name, search.query, search.rule});
  }
  return actions;
}

void ApplyChanges(const State& state, const Changes& changes, LocalSources& sources,
                  ISavedSearches* searches, Changes& retry, Report& report) {
  if (changes.Empty()) return;
  if (!sources.Known()) {
    // Kept for the next merge, once the subscription file can be read again.
    RetryAll(changes, retry);
    ApplySearches(state, changes, searches, report);
    return;
  }
  const MembershipPlan membership = PlanMembership(state, changes.membership, sources.All());
  for (const LocalSource& gone : membership.removed) {
    if (mSubscriptions::RemoveSource(gone.id)) {
      SubscriptionChecks::DeleteSourceFolder(gone.id);
      report.subscriptionsChanged = true;
    } else {
      report.Fail("Sync: " + gone.title + " could not be unsubscribed");
    }
  }
  if (!membership.added.empty()) {
    if (const std::string why = mSubscriptions::AddSources(membership.added); !why.empty()) {
      report.Fail("Sync: sources could not be added: " + why);
      retry.membership.insert(changes.membership.begin(), changes.membership.end());
    } else {
      report.subscriptionsChanged = true;
    }
  }
  if (report.subscriptionsChanged) sources.Refresh(&report);
  for (const RenamePlan& rename : PlanRenames(state, changes.titles, sources.All())) {
    if (mSubscriptions::RenameSource(rename.source.id, rename.title))
      report.subscriptionsChanged = true;
  }
  if (report.subscriptionsChanged) sources.Refresh(&report);

  Changes failed;
  for (const InboxUpdate& update : PlanInboxes(state, changes, sources.All()))
    ApplyToInbox(state, update, failed, report);
  for (auto& [link, guids] : failed.marks) retry.marks[link].merge(guids);
  retry.readUpTo.merge(failed.readUpTo);
  ApplySearches(state, changes, searches, report);
}

}  // namespace Sync
