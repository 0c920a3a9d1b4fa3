#include "sync/SyncEngine.h"

#include "config/mSettings.h"
#include "core/AsciiText.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace Sync {

namespace {

Engine* g_current = nullptr;

// While a merge applies what others did, the listeners hear it too: it is not this machine's.
class Applying {
 public:
  explicit Applying(int& count) : m_count(count) { ++m_count; }
  ~Applying() { --m_count; }

 private:
  int& m_count;
};

bool Inside(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

}  // namespace

Engine* Engine::Current() { return g_current; }

Engine::ReadUpToScope ReadingUpToNow(const std::string& sourceId) {
  return g_current ? g_current->ReadingUpToNow(sourceId) : Engine::ReadUpToScope();
}

std::vector<Archive::SavedSearch> Engine::ArchiveStore::Load() {
  return Archive::LoadSavedSearches();
}

bool Engine::ArchiveStore::Save(const std::vector<Archive::SavedSearch>& searches) {
  return Archive::SaveSavedSearches(searches);
}

Engine::Engine(ISavedSearches* searches) : m_searches(searches ? searches : &m_store) {
  g_current = this;
  Archive::AddSavedSearchListener(this);
  mInbox::AddListener(this);
  mInbox::AddArrivalRules(this);
  mSubscriptions::AddSubscriptionListener(this);
}

Engine::~Engine() {
  // When messages arrived since the last merge: "read up to now" needs to know when.
  if (m_on && m_replica.StateDirty()) {
    Report ignored;
    m_replica.SaveState(ignored);
  }
  mInbox::RemoveListener(this);
  mInbox::RemoveArrivalRules(this);
  mSubscriptions::RemoveSubscriptionListener(this);
  Archive::RemoveSavedSearchListener(this);
  if (g_current == this) g_current = nullptr;
}

std::string Engine::FolderRefusal(const std::string& folder) {
  const fs::path path(folder);
  if (!path.is_absolute()) return "The sync folder must be given as a full path: " + folder;
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return folder + " is not a folder.";
  if (!Services::Environment().IsWritableFolder(folder))
    return "Quillpost cannot write in " + folder + ".";
  const fs::path sync = fs::weakly_canonical(path, ec);
  const fs::path data = fs::weakly_canonical(fs::path(mAppFunctions::DataFolder()), ec);
  if (ec || data.empty()) return "Quillpost's data folder cannot be found.";
  if (Inside(sync, data))
    return "The sync folder must not lie inside Quillpost's data folder (" + data.string() + ").";
  if (Inside(data, sync))
    return "The sync folder must not hold Quillpost's data folder (" + data.string() +
           "): choose a folder of its own for sync, never the data folder itself.";
  return {};
}

void Engine::Record(Action action) {
  if (!m_on || m_applying > 0) return;
  action.stamp = m_replica.Tick();
  action.machine = m_replica.Machine();
  m_replica.Merged().Add(action);
  m_replica.Append(LogLine(action), m_folder, m_pending);
  if (m_replica.JournalSize() > kCompactBytes) {
    Report report;
    m_replica.Publish(m_folder, report);
    m_pending.insert(m_pending.end(), report.lines.begin(), report.lines.end());
  }
}

void Engine::RecordFor(const std::string& sourceId, Kind kind, const std::string& text) {
  if (!m_on || m_applying > 0) return;
  const LocalSource* local = m_sources.ById(sourceId);
  if (!local || local->key.empty()) return;
  if (IsMessageKind(kind)) {
    if (const std::string why = CheckGuid(text); !why.empty()) {
      m_pending.push_back("Sync: a message of " + local->title + " is not synced: " + why);
      return;
    }
  }
  Record({kind, {}, {}, local->key, text, {}, {}});
}

void Engine::Stored(const std::string& sourceId, const std::vector<mInbox::InboxItem>& items) {
  if (!m_on) return;
  const LocalSource* local = m_sources.ById(sourceId);
  if (!local || local->key.empty()) return;
  const std::int64_t now = Services::Clock().NowMs();
  for (const mInbox::InboxItem& item : items) m_replica.Arrived(local->key, item.guid, now);
}

void Engine::ReadChanged(const std::string& sourceId, const std::string& guid, bool read) {
  const bool upToNow =
      std::any_of(m_readingUpTo.begin(), m_readingUpTo.end(),
                  [&](const std::string& id) { return id.empty() || id == sourceId; });
  if (read && upToNow) return;
  RecordFor(sourceId, read ? Kind::Read : Kind::Unread, guid);
}

void Engine::Deleted(const std::string& sourceId, const std::string& guid) {
  RecordFor(sourceId, Kind::Delete, guid);
}

void Engine::SourceRemoved(const std::string& /*sourceId*/) { m_sources.Forget(); }

void Engine::SourcesAdded(const std::vector<mSubscriptions::MessageSource>& sources) {
  m_sources.Forget();
  for (const mSubscriptions::MessageSource& source : sources)
    for (const Action& action : SubscriptionActions(nullptr, &source)) Record(action);
}

void Engine::SourceChanged(const mSubscriptions::MessageSource& before,
                           const mSubscriptions::MessageSource& after) {
  m_sources.Forget();
  for (const Action& action : SubscriptionActions(&before, &after)) Record(action);
}

void Engine::SourceRemoved(const mSubscriptions::MessageSource& source) {
  m_sources.Forget();
  for (const Action& action : SubscriptionActions(&source, nullptr)) Record(action);
}

void Engine::Arriving(const std::string& sourceId, std::vector<mInbox::InboxItem>& items,
                      std::vector<std::string>& deleted) {
  if (!m_on) return;
  const LocalSource* local = m_sources.ById(sourceId);
  const SourceEntry* entry = local ? m_replica.Merged().Source(local->key) : nullptr;
  if (entry)
    ApplyWaitingMarks(m_replica.Merged(), *entry, items, deleted, Services::Clock().NowMs());
}

Engine::ReadUpToScope::ReadUpToScope(Engine* engine, std::string sourceId)
    : m_engine(engine), m_sourceId(std::move(sourceId)) {}

Engine::ReadUpToScope::ReadUpToScope(ReadUpToScope&& other) noexcept
    : m_engine(std::exchange(other.m_engine, nullptr)), m_sourceId(std::move(other.m_sourceId)) {}

Engine::ReadUpToScope::~ReadUpToScope() {
  if (!m_engine) return;
  auto& list = m_engine->m_readingUpTo;
  if (const auto it = std::find(list.begin(), list.end(), m_sourceId); it != list.end())
    list.erase(it);
  if (m_sourceId.empty()) {
    m_engine->Record({Kind::ReadAllUpTo, {}, {}, {}, {}, {}, {}});
  } else {
    m_engine->RecordFor(m_sourceId, Kind::ReadUpTo, {});
  }
}

Engine::ReadUpToScope Engine::ReadingUpToNow(const std::string& sourceId) {
  m_readingUpTo.push_back(sourceId);
  return ReadUpToScope(this, sourceId);
}

void Engine::SearchSaved(const Archive::SavedSearch& search) {
  if (const std::string why = CheckSearch(search.name, search.query); !why.empty()) {
    m_pending.push_back("Sync: the saved search \"" + search.name + "\" is not synced: " + why);
    return;
  }
  Record({Kind::SearchSaved, {}, {}, {}, search.name, search.query, search.rule});
}

void Engine::SearchRemoved(const std::string& name) {
  if (CheckSearch(name, {}).empty()) Record({Kind::SearchRemoved, {}, {}, {}, name, {}, {}});
}

void Engine::SearchesSaved(const std::vector<Archive::SavedSearch>& before,
                           const std::vector<Archive::SavedSearch>& after) {
  if (!m_on || m_applying > 0) return;
  // Renamed is removed under the old name, then kept under the new.
  const SearchDiff diff = DiffSearches(before, after);
  for (const std::string& name : diff.removed) SearchRemoved(name);
  for (const Archive::SavedSearch& search : diff.kept) SearchSaved(search);
}

Report Engine::Start() {
  Report report;
  mSettings::LoadSyncSettings();
  // A data folder that never synced stays as it was.
  if (mSettings::SyncFolder.empty()) {
    m_on = false;
    return report;
  }
  m_replica.Load(report);
  m_replica.RemoveTemporaries(mSettings::SyncFolder);
  report.Take(TurnOn(mSettings::SyncFolder, m_replica.BoundFolder() != mSettings::SyncFolder));
  return report;
}

Engine::Setting Engine::SetFolder(const std::string& folder) {
  const auto saveSetting = [](const std::string& value) {
    mSettings::SyncFolder = value;
    return mSettings::SaveSyncSettings()
               ? std::string()
               : "Settings could not be saved to " + mSettings::SettingsFile() + ".";
  };
  if (AsciiText::IsBlank(folder)) {
    m_on = false;
    m_folder.clear();
    return {saveSetting({}), {}};
  }
  if (std::string why = FolderRefusal(folder); !why.empty()) return {why, {}};
  if (m_on && folder == m_folder) return {{}, Merge()};
  if (std::string why = saveSetting(folder); !why.empty()) return {why, {}};
  Report report;
  m_replica.Load(report);
  report.Take(TurnOn(folder, true));
  return {{}, std::move(report)};
}

Report Engine::TurnOn(const std::string& folder, bool fresh) {
  if (!m_replica.HasIdentity()) {
    Report report;
    report.Fail("Sync: this data folder has no identity; not synced");
    return report;
  }
  if (folder != m_replica.BoundFolder()) m_replica.Positions().clear();
  m_folder = folder;
  m_on = true;
  return Read(fresh);
}

Report Engine::Merge() {
  if (m_on) return Read(false);
  Report report;
  report.Fail("Sync is off: no sync folder is set (Preferences, \"Sync folder\").");
  return report;
}

Report Engine::Read(bool base) {
  Report report;
  report.lines = std::exchange(m_pending, {});
  if (std::string why = FolderRefusal(m_folder); !why.empty()) {
    report.Fail("Sync: " + why);
    return report;
  }
  m_sources.Refresh(&report);
  const auto shared = [this](const std::string& name) {
    return mGeneralFunctions::AddBackslash(m_folder) + name;
  };
  const std::vector<std::pair<std::string, FileName>> files = ListSyncFolder(m_folder);
  State& state = m_replica.Merged();
  if (base) {
    // The snapshot of what this data folder holds is stamped after everything the other
    // machines did, even where their clocks run ahead.
    for (const auto& [name, what] : files)
      ReadFile(shared(name), name, std::nullopt, &what,
               [this](Action&& a) { m_replica.Observe(a.stamp); });
    const Stamp stamp = m_replica.Tick();
    for (const Action& action :
         DataFolderActions(m_sources.All(), m_searches, stamp, m_replica.Machine()))
      state.Add(action);
  }
  Changes changes = std::exchange(m_retry, {});
  bool fork = false;
  std::set<std::string> listed;
  std::map<std::string, FilePosition>& positions = m_replica.Positions();
  for (const auto& [name, what] : files) {
    listed.insert(name);
    const auto known = positions.find(name);
    FileRead r = ReadFile(shared(name), name,
                          known == positions.end() ? std::nullopt : std::optional(known->second),
                          &what, [&](Action&& a) {
                            m_replica.Observe(a.stamp);
                            state.Add(a, &changes);
                          });
    for (const std::string& line : r.lines) report.lines.push_back("Sync: " + line);
    report.refused += r.refused;
    if (what.machine == m_replica.Machine()) {
      for (const std::string& token : r.sessions)
        if (!m_replica.OwnSession(token)) fork = true;
    }
    if (!r.failed && r.complete) positions[name] = r.position;
  }
  m_replica.KeepPositions(listed);
  Apply(changes, report);

  // The folder's copies of this replica's files must be what it wrote.
  const bool republish = m_replica.NeedsPublishing(m_folder);
  if (fork) {
    m_replica.NewIdentity(m_folder, report);
  } else if (base || republish || m_replica.JournalSize() > kCompactBytes) {
    m_replica.Publish(m_folder, report);
  }
  if (m_replica.StateDirty() || !changes.Empty()) m_replica.SaveState(report);
  if (!m_replica.SaveSyncDat())
    report.Fail("Sync: " + m_replica.SyncDatPath() + " could not be written");
  return report;
}

void Engine::Apply(const Changes& changes, Report& report) {
  if (changes.Empty()) return;
  const Applying applying(m_applying);
  ApplyChanges(m_replica.Merged(), changes, m_sources, m_searches, m_retry, report);
}

bool Engine::Concerns(const std::string& path) const {
  if (!m_on) return false;
  const fs::path changed = fs::path(path).lexically_normal();
  const fs::path folder = (fs::path(m_folder) / "").lexically_normal();
  if (changed == folder || changed == folder.parent_path()) return true;
  if ((changed.parent_path() / "").lexically_normal() != folder) return false;
  const std::optional<FileName> what = ClassifyName(changed.filename().string());
  if (!what) return false;
  if (what->machine != m_replica.Machine() || what->copy) return true;
  // This replica's own files: a change is ours unless the size says otherwise.
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(changed, ec);
  return ec || size != (what->snapshot ? m_replica.SnapshotSize() : m_replica.JournalSize());
}

}  // namespace Sync
