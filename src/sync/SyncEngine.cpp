#include "sync/SyncEngine.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "config/mSettings.h"
#include "core/AsciiText.h"
#include "core/AtomicFile.h"
#include "core/Services.h"
#include "core/SourceId.h"
#include "core/XmlDocument.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/SourceState.h"
#include "inbox/mInbox.h"
#include "subscriptions/SubscriptionChecks.h"
#include "subscriptions/mSubscriptions.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_map>
#include <utility>

namespace fs = std::filesystem;

namespace Sync {

namespace {

constexpr const char* kSection = "sync";
constexpr const char* kReadSection = "read";
constexpr std::size_t kMaxSessions = 4096;
// Another machine's clock moves this one's on by at most a day: a clock set years ahead must
// not carry every later action with it.
constexpr std::int64_t kClockLeadMs = std::int64_t{24} * 60 * 60 * 1000;

std::string RandomHex(std::size_t bytes) {
  std::array<std::uint8_t, 16> buffer{};
  if (bytes > buffer.size() || !Services::Random().Fill(buffer.data(), bytes)) return {};
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < bytes; ++i) {
    text += kDigits[buffer[i] >> 4];
    text += kDigits[buffer[i] & 15];
  }
  return text;
}

bool AppendTo(const std::string& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  return static_cast<bool>(out);
}

bool ReadFlag(const std::optional<std::string>& text) {
  return text && cINI::CLngDefault(*text, 0) == 1;
}

// The commands of the inbox and the subscription file work on program-wide "current" values,
// which a merge must leave as it found them.
class KeepCurrent {
 public:
  KeepCurrent()
      : m_source(mInbox::SourceID),
        m_item(mInbox::CurrentItem),
        m_current(mSubscriptions::CurrentSource),
        m_edited(mSubscriptions::EditedSource) {}
  ~KeepCurrent() {
    mInbox::SourceID = m_source;
    mInbox::CurrentItem = m_item;
    mSubscriptions::CurrentSource = m_current;
    mSubscriptions::EditedSource = m_edited;
  }

 private:
  std::string m_source;
  mInbox::InboxItem m_item;
  mSubscriptions::MessageSource m_current, m_edited;
};

// While a merge applies what others did, the listeners hear it too: it is not this machine's.
class Applying {
 public:
  explicit Applying(int& count) : m_count(count) { ++m_count; }
  ~Applying() { --m_count; }

 private:
  int& m_count;
};

// A trailing part of a line is what a kill left of an append: the action never completed.
void CutTornLine(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size == 0) return;
  std::ifstream in(path, std::ios::binary);
  const std::uintmax_t tail = std::min<std::uintmax_t>(size, kMaxLineBytes + 2);
  std::string end(tail, '\0');
  in.seekg(static_cast<std::streamoff>(size - tail));
  in.read(end.data(), static_cast<std::streamsize>(tail));
  if (!in || end.back() == '\n') return;
  const std::size_t last = end.rfind('\n');
  in.close();
  fs::resize_file(path, last == std::string::npos ? 0 : size - tail + last + 1, ec);
}

void Note(Report& report, FileRead& read) {
  for (const std::string& line : read.lines) report.lines.push_back("Sync: " + line);
  report.refused += read.refused;
}

}  // namespace

void Report::Take(Report&& other) {
  lines.insert(lines.end(), std::make_move_iterator(other.lines.begin()),
               std::make_move_iterator(other.lines.end()));
  refused += other.refused;
  failed = failed || other.failed;
  subscriptionsChanged = subscriptionsChanged || other.subscriptionsChanged;
  inboxesChanged.merge(other.inboxesChanged);
  searchesChanged = searchesChanged || other.searchesChanged;
}

namespace {
Engine* g_current = nullptr;
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
  if (m_on && m_stateDirty) {
    Report ignored;
    SaveState(ignored);
  }
  mInbox::RemoveListener(this);
  mInbox::RemoveArrivalRules(this);
  mSubscriptions::RemoveSubscriptionListener(this);
  Archive::RemoveSavedSearchListener(this);
  if (g_current == this) g_current = nullptr;
}

std::string Engine::SyncDatPath() const {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + "sync.dat";
}
std::string Engine::StatePath() const {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + "sync.state";
}
std::string Engine::JournalPath() const {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + "sync.log";
}
std::string Engine::SharedPath(const std::string& name) const {
  return mGeneralFunctions::AddBackslash(m_folder) + name;
}

std::string Engine::FolderRefusal(const std::string& folder) {
  return Sync::FolderRefusal(folder, mAppFunctions::DataFolder());
}

// ---- this data folder's files ------------------------------------------------------------

void Engine::LoadLocal(Report& report) {
  if (m_loaded) return;
  m_loaded = true;
  // Without a data folder every path here would be relative to the working folder.
  if (mGeneralFunctions::IsBlank(mAppFunctions::DataPath)) mAppFunctions::InitializeDataFolder();
  std::error_code ec;
  const IniDocument doc = IniDocument::Load(SyncDatPath(), ec);
  m_machine = doc.GetValue(kSection, "machine").value_or("");
  m_boundFolder = doc.GetValue(kSection, "folder").value_or("");
  std::istringstream sessions(doc.GetValue(kSection, "sessions").value_or(""));
  for (std::string token; sessions >> token;)
    if (IsToken(token)) m_sessions.push_back(token);
  if (const auto clock = ParseStamp(doc.GetValue(kSection, "clock").value_or(""))) m_clock = *clock;
  for (const std::string& name : doc.KeyNames(kReadSection)) {
    if (const auto position = ParsePosition(doc.GetValue(kReadSection, name).value_or("")))
      m_positions[name] = *position;
  }
  if (!IsMachineId(m_machine)) {
    // A data folder's first sync, or a damaged sync.dat: a new replica.
    m_machine = RandomHex(16);
    m_sessions.clear();
    m_positions.clear();
    m_boundFolder.clear();
    if (m_machine.empty()) {
      report.failed = true;
      report.lines.push_back("Sync: no random bytes for this data folder's identity");
      return;
    }
    SaveSyncDat();
  }
  const auto fold = [this](Action&& action) { m_state.Add(action); };
  if (fs::exists(StatePath(), ec)) {
    FileRead r = ReadFile(StatePath(), "sync.state", std::nullopt, nullptr, fold);
    for (const auto& a : r.arrivals) m_state.Arrived(a.link, a.guid, a.ms);
    Note(report, r);
  }
  if (fs::exists(JournalPath(), ec)) {
    CutTornLine(JournalPath());
    FileRead r = ReadFile(JournalPath(), "sync.log", std::nullopt, nullptr, fold);
    // Every session in this data folder's own copy was this replica's.
    for (const std::string& token : r.sessions)
      if (std::find(m_sessions.begin(), m_sessions.end(), token) == m_sessions.end())
        m_sessions.push_back(token);
    m_journalSize = fs::file_size(JournalPath(), ec);
    Note(report, r);
  }
  m_clock = std::max(m_clock, m_state.Newest());
}

bool Engine::SaveSyncDat() {
  IniDocument doc;
  doc.SetValue(kSection, "machine", m_machine);
  doc.SetValue(kSection, "folder", m_boundFolder);
  std::string sessions;
  for (const std::string& token : m_sessions) sessions += (sessions.empty() ? "" : " ") + token;
  doc.SetValue(kSection, "sessions", sessions);
  doc.SetValue(kSection, "clock", StampText(m_clock));
  for (const auto& [name, position] : m_positions)
    doc.SetValue(kReadSection, name, PositionText(position));
  std::error_code ec;
  return doc.Save(SyncDatPath(), ec);
}

bool Engine::SaveState(Report& report) {
  m_state.ForgetArrivalsBefore(Services::Clock().NowMs() - kWaitMs);
  const std::string nonce = RandomHex(8);
  std::error_code ec;
  if (nonce.empty() ||
      !AtomicFile::Replace(
          StatePath(), m_state.Serialize({FileType::State, m_machine, nonce, nonce}, true), ec)) {
    report.failed = true;
    report.lines.push_back("Sync: " + StatePath() + " could not be written");
    return false;
  }
  m_stateDirty = false;
  return true;
}

bool Engine::NewToken(std::string& token) {
  token = RandomHex(8);
  if (token.empty()) return false;
  m_sessions.push_back(token);
  if (m_sessions.size() > kMaxSessions) m_sessions.erase(m_sessions.begin());
  // Saved before any file carries it: a token found in this replica's files and not here was
  // written by a copy of this data folder.
  return SaveSyncDat();
}

// ---- the clock -----------------------------------------------------------------------------

Stamp Engine::Tick() {
  const std::int64_t now = Services::Clock().NowMs();
  if (now > m_clock.ms) {
    m_clock = {now, 0};
  } else if (m_clock.counter == UINT32_MAX) {
    m_clock = {m_clock.ms + 1, 0};
  } else {
    ++m_clock.counter;
  }
  return m_clock;
}

void Engine::Observe(Stamp stamp) {
  const Stamp limit{Services::Clock().NowMs() + kClockLeadMs, 0};
  m_clock = std::max(m_clock, std::min(stamp, limit));
}

// ---- recording what the user does ---------------------------------------------------------

bool Engine::Append(const std::string& line) {
  std::string text;
  if (!m_sessionLogged) {
    if (m_session.empty() && !NewToken(m_session)) {
      m_session.clear();
      m_pending.push_back("Sync: no session could be started; an action was not logged");
      return false;
    }
    text = "S\t" + m_session + "\n";
  }
  text += line;
  std::error_code ec;
  // The data folder's copy first: the folder's copy can always be repaired from it.
  if (!fs::exists(JournalPath(), ec)) {
    const std::string nonce = RandomHex(8);
    text = HeaderLine({FileType::Log, m_machine, nonce, {}}) + text;
    if (nonce.empty() || !AtomicFile::Replace(JournalPath(), text, ec)) {
      m_pending.push_back("Sync: " + JournalPath() + " could not be written");
      return false;
    }
    m_journalSize = 0;
    m_republish = true;
  } else if (!AppendTo(JournalPath(), text)) {
    m_pending.push_back("Sync: " + JournalPath() + " could not be written");
    return false;
  }
  const std::uint64_t before = m_journalSize;
  m_journalSize += text.size();
  m_sessionLogged = true;
  // The folder's copy only while it is still what this replica wrote; else the next merge
  // writes it anew.
  if (m_republish || fs::file_size(SharedPath(LogName(m_machine)), ec) != before || ec ||
      !AppendTo(SharedPath(LogName(m_machine)), text))
    m_republish = true;
  return true;
}

void Engine::Record(Action action) {
  if (!m_on || m_applying > 0) return;
  action.stamp = Tick();
  action.machine = m_machine;
  m_state.Add(action);
  Append(LogLine(action));
  if (m_journalSize > kCompactBytes) {
    Report report;
    Publish(report);
    m_pending.insert(m_pending.end(), report.lines.begin(), report.lines.end());
  }
}

void Engine::RecordFor(const std::string& sourceId, Kind kind, const std::string& text) {
  if (!m_on || m_applying > 0) return;
  const LocalSource* local = ById(sourceId);
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
  const LocalSource* local = ById(sourceId);
  if (!local || local->key.empty()) return;
  const std::int64_t now = Services::Clock().NowMs();
  for (const mInbox::InboxItem& item : items) m_state.Arrived(local->key, item.guid, now);
  m_stateDirty = true;
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

void Engine::SourceRemoved(const std::string& /*sourceId*/) { m_sourcesKnown = false; }

void Engine::SourcesAdded(const std::vector<mSubscriptions::MessageSource>& sources) {
  m_sourcesKnown = false;
  for (const mSubscriptions::MessageSource& source : sources) {
    std::string link = source.Link;
    if (CheckLink(link).empty() && CheckTitle(source.Title).empty())
      Record({Kind::Subscribe, {}, {}, link, source.Title, {}, {}});
  }
}

void Engine::SourceChanged(const mSubscriptions::MessageSource& before,
                           const mSubscriptions::MessageSource& after) {
  m_sourcesKnown = false;
  std::string from = before.Link, to = after.Link;
  const bool fromOk = CheckLink(from).empty(), toOk = CheckLink(to).empty();
  if (fromOk && toOk && from == to) {
    if (before.Title != after.Title && CheckTitle(after.Title).empty())
      Record({Kind::Rename, {}, {}, to, after.Title, {}, {}});
    return;
  }
  // Another link is another source for the other machines.
  if (fromOk) Record({Kind::Unsubscribe, {}, {}, from, {}, {}, {}});
  if (toOk && CheckTitle(after.Title).empty())
    Record({Kind::Subscribe, {}, {}, to, after.Title, {}, {}});
}

void Engine::SourceRemoved(const mSubscriptions::MessageSource& source) {
  m_sourcesKnown = false;
  std::string link = source.Link;
  if (CheckLink(link).empty()) Record({Kind::Unsubscribe, {}, {}, link, {}, {}, {}});
}

void Engine::Arriving(const std::string& sourceId, std::vector<mInbox::InboxItem>& items,
                      std::vector<std::string>& deleted) {
  if (!m_on) return;
  const LocalSource* local = ById(sourceId);
  const SourceEntry* entry = local ? m_state.Source(local->key) : nullptr;
  if (!entry) return;
  const std::int64_t now = Services::Clock().NowMs();
  for (mInbox::InboxItem& item : items) {
    const std::optional<Winner> mark = m_state.Mark(*entry, AsciiText::Lower(item.guid));
    // A mark that waited a month for its message is dropped.
    if (!mark || now - mark->stamp.ms > kWaitMs) continue;
    if (mark->kind == Kind::Delete) {
      deleted.push_back(item.guid);
    } else if (mark->kind == Kind::Read) {
      item.read = 1;
    }
  }
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
  const auto find = [](const std::vector<Archive::SavedSearch>& in, const std::string& name) {
    return std::find_if(in.begin(), in.end(),
                        [&](const auto& s) { return AsciiText::EqualsNoCase(s.name, name); });
  };
  // Renamed is removed under the old name, then kept under the new.
  for (const Archive::SavedSearch& search : before)
    if (find(after, search.name) == after.end()) SearchRemoved(search.name);
  for (const Archive::SavedSearch& search : after) {
    const auto was = find(before, search.name);
    if (was == before.end() || *was != search) SearchSaved(search);
  }
}

// ---- turning on and off --------------------------------------------------------------------

Report Engine::Start() {
  Report report;
  mSettings::LoadSyncSettings();
  // A data folder that never synced stays as it was.
  if (mSettings::SyncFolder.empty()) {
    m_on = false;
    return report;
  }
  LoadLocal(report);
  // Temporaries a killed write of this replica left in the folder (only its own).
  std::error_code ec;
  for (fs::directory_iterator it(mSettings::SyncFolder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code statusError;
    if ((name.starts_with(LogName(m_machine)) || name.starts_with(SnapshotName(m_machine))) &&
        AtomicFile::IsTemporaryName(name) && fs::is_regular_file(it->symlink_status(statusError)))
      fs::remove(it->path(), statusError);
  }
  report.Take(TurnOn(mSettings::SyncFolder, m_boundFolder != mSettings::SyncFolder));
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
  LoadLocal(report);
  report.Take(TurnOn(folder, true));
  return {{}, std::move(report)};
}

Report Engine::TurnOn(const std::string& folder, bool fresh) {
  if (m_machine.empty()) {
    Report report;
    report.failed = true;
    report.lines.push_back("Sync: this data folder has no identity; not synced");
    return report;
  }
  if (folder != m_boundFolder) m_positions.clear();
  m_folder = folder;
  m_on = true;
  return Read(fresh);
}

void Engine::RecordBase() {
  KeepCurrent keep;
  const Stamp stamp = Tick();
  const auto add = [&](Kind kind, const std::string& link, const std::string& text) {
    m_state.Add({kind, stamp, m_machine, link, text, {}, {}});
  };
  for (const LocalSource& source : m_sources) {
    if (source.key.empty() || !CheckTitle(source.title).empty()) continue;
    add(Kind::Subscribe, source.key, source.title);
    mInbox::SourceID = source.id;
    for (const mInbox::MessageSummary& message :
         mInbox::ListMessages().value_or(std::vector<mInbox::MessageSummary>{})) {
      if (message.read != 0 && CheckGuid(message.guid).empty())
        add(Kind::Read, source.key, message.guid);
    }
  }
  if (!m_searches) return;
  for (const Archive::SavedSearch& search : m_searches->Load()) {
    if (CheckSearch(search.name, search.query).empty())
      m_state.Add(
          {Kind::SearchSaved, stamp, m_machine, {}, search.name, search.query, search.rule});
  }
}

// ---- merging -------------------------------------------------------------------------------

Report Engine::Merge() {
  if (m_on) return Read(false);
  Report report;
  report.failed = true;
  report.lines.push_back("Sync is off: no sync folder is set (Preferences, \"Sync folder\").");
  return report;
}

Report Engine::Read(bool base) {
  Report report;
  report.lines = std::exchange(m_pending, {});
  if (std::string why = FolderRefusal(m_folder); !why.empty()) {
    report.failed = true;
    report.lines.push_back("Sync: " + why);
    return report;
  }
  RefreshSources(&report);
  std::vector<std::pair<std::string, FileName>> files;
  std::error_code ec;
  for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    // A link could lead anywhere: only plain files of the folder itself are read.
    if (!fs::is_regular_file(it->symlink_status(statusError))) continue;
    std::string name = it->path().filename().string();
    if (std::optional<FileName> what = ClassifyName(name))
      files.emplace_back(std::move(name), *what);
  }
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  if (base) {
    // The snapshot of what this data folder holds is stamped after everything the other
    // machines did, even where their clocks run ahead.
    for (const auto& [name, what] : files)
      ReadFile(SharedPath(name), name, std::nullopt, &what,
               [this](Action&& a) { Observe(a.stamp); });
    RecordBase();
  }
  Changes changes = std::exchange(m_retry, {});
  bool fork = false;
  std::set<std::string> listed;
  for (const auto& [name, what] : files) {
    listed.insert(name);
    const auto known = m_positions.find(name);
    FileRead r = ReadFile(SharedPath(name), name,
                          known == m_positions.end() ? std::nullopt : std::optional(known->second),
                          &what, [&](Action&& a) {
                            Observe(a.stamp);
                            m_state.Add(a, &changes);
                          });
    Note(report, r);
    if (what.machine == m_machine) {
      for (const std::string& token : r.sessions)
        if (std::find(m_sessions.begin(), m_sessions.end(), token) == m_sessions.end()) fork = true;
    }
    if (!r.failed && r.complete) m_positions[name] = r.position;
  }
  std::erase_if(m_positions, [&](const auto& each) { return !listed.contains(each.first); });
  Apply(changes, report);

  // The folder's copies of this replica's files must be what it wrote.
  const std::uintmax_t logSize = fs::file_size(SharedPath(LogName(m_machine)), ec);
  if (ec || logSize != m_journalSize || !fs::exists(SharedPath(SnapshotName(m_machine)), ec))
    m_republish = true;
  if (fork) {
    NewIdentity(report);
  } else if (base || m_republish || m_journalSize > kCompactBytes) {
    Publish(report);
  }
  if (m_stateDirty || !changes.Empty()) SaveState(report);
  if (!SaveSyncDat()) {
    report.failed = true;
    report.lines.push_back("Sync: " + SyncDatPath() + " could not be written");
  }
  return report;
}

bool Engine::Publish(Report& report) {
  const auto fail = [&](const std::string& path) {
    report.failed = true;
    report.lines.push_back("Sync: " + path + " could not be written");
    return false;
  };
  if (m_session.empty() && !NewToken(m_session)) {
    m_session.clear();
    return fail(SyncDatPath());
  }
  m_state.Compact();
  if (!SaveState(report)) return false;
  const std::string snapshotNonce = RandomHex(8), logNonce = RandomHex(8);
  if (snapshotNonce.empty() || logNonce.empty()) return fail(m_folder);
  const std::string snapshot =
      m_state.Serialize({FileType::Snapshot, m_machine, snapshotNonce, m_session}, false);
  const std::string snapshotPath = SharedPath(SnapshotName(m_machine));
  std::error_code ec;
  if (!AtomicFile::Replace(snapshotPath, snapshot, ec)) return fail(snapshotPath);
  // This replica wrote it: no need to read it back.
  FilePosition written{snapshotNonce, snapshot.size(), 0, snapshot.size(), 0};
  written.time =
      static_cast<std::int64_t>(fs::last_write_time(snapshotPath, ec).time_since_epoch().count());
  if (!ec) m_positions[SnapshotName(m_machine)] = written;
  m_snapshotSize = snapshot.size();
  // The log starts again; what it held is in the snapshot.
  const std::string log =
      HeaderLine({FileType::Log, m_machine, logNonce, {}}) + "S\t" + m_session + "\n";
  if (!AtomicFile::Replace(SharedPath(LogName(m_machine)), log, ec))
    return fail(SharedPath(LogName(m_machine)));
  if (!AtomicFile::Replace(JournalPath(), log, ec)) return fail(JournalPath());
  m_journalSize = log.size();
  m_sessionLogged = true;
  m_republish = false;
  m_boundFolder = m_folder;
  return SaveSyncDat() || fail(SyncDatPath());
}

void Engine::NewIdentity(Report& report) {
  const std::string machine = RandomHex(16);
  if (machine.empty()) {
    report.failed = true;
    report.lines.push_back("Sync: no random bytes for a new identity");
    return;
  }
  report.lines.push_back("Sync: a copy of this data folder also syncs as " + m_machine +
                         "; this one goes on as " + machine + ", and neither loses an action");
  m_machine = machine;
  m_sessions.clear();
  m_session.clear();
  m_sessionLogged = false;
  Publish(report);
}

// ---- applying what the others did ----------------------------------------------------------

void Engine::RefreshSources(Report* report) {
  m_sources.clear();
  XmlDocument document;
  XmlNode list;
  const mSubscriptions::OpenFailure failure = mSubscriptions::OpenQuietly(document, list);
  m_sourcesKnown = failure == mSubscriptions::OpenFailure::None;
  if (!m_sourcesKnown) {
    if (report) {
      report->failed = true;
      report->lines.push_back("Sync: the subscription file cannot be opened (" +
                              mSubscriptions::Describe(failure) + "); sources are not synced");
    }
    return;
  }
  for (const XmlNode& child : list.ChildNodes()) {
    if (!child.IsElement()) continue;
    const std::vector<XmlAttribute> attributes = child.Attributes();
    if (attributes.size() < 2) continue;
    LocalSource source{attributes[0].value, attributes[1].value, child.Text(), child.Text()};
    // A link the subscribe dialog would refuse cannot be told apart across machines.
    if (!CheckLink(source.key).empty()) source.key.clear();
    m_sources.push_back(std::move(source));
  }
}

const Engine::LocalSource* Engine::ById(const std::string& id) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!m_sourcesKnown || attempt == 1) RefreshSources(nullptr);
    for (const LocalSource& source : m_sources)
      if (source.id == id) return &source;
  }
  return nullptr;
}

void Engine::Apply(const Changes& changes, Report& report) {
  if (changes.Empty()) return;
  Applying applying(m_applying);
  KeepCurrent keep;
  const auto local = [this](const std::string& key) -> const LocalSource* {
    for (const LocalSource& source : m_sources)
      if (!key.empty() && source.key == key) return &source;
    return nullptr;
  };
  if (!m_sourcesKnown) {
    // Kept for the next merge, once the subscription file can be read again.
    m_retry.membership.insert(changes.membership.begin(), changes.membership.end());
    m_retry.titles.insert(changes.titles.begin(), changes.titles.end());
    for (const auto& [link, guids] : changes.marks)
      m_retry.marks[link].insert(guids.begin(), guids.end());
    m_retry.readUpTo.insert(changes.readUpTo.begin(), changes.readUpTo.end());
    m_retry.readAllUpTo = m_retry.readAllUpTo || changes.readAllUpTo;
    ApplySearches(changes, report);
    return;
  }
  {
    std::vector<mSubscriptions::MessageSource> added;
    for (const std::string& link : changes.membership) {
      const std::optional<bool> subscribed = m_state.Subscribed(link);
      const LocalSource* here = local(link);
      if (subscribed == true && !here) {
        added.push_back({m_state.Title(*m_state.Source(link)), link, {}});
      } else if (subscribed == false && here) {
        mSubscriptions::CurrentSource = {here->title, here->link, here->id};
        if (mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete)) {
          SubscriptionChecks::DeleteSourceFolder(here->id);
          report.subscriptionsChanged = true;
        } else {
          report.failed = true;
          report.lines.push_back("Sync: " + here->title + " could not be unsubscribed");
        }
      }
    }
    if (!added.empty()) {
      if (const std::string why = mSubscriptions::AddSources(added); !why.empty()) {
        report.failed = true;
        report.lines.push_back("Sync: sources could not be added: " + why);
        m_retry.membership.insert(changes.membership.begin(), changes.membership.end());
      } else {
        report.subscriptionsChanged = true;
      }
    }
    if (report.subscriptionsChanged) RefreshSources(&report);
    for (const std::string& link : changes.titles) {
      const LocalSource* here = local(link);
      const std::optional<std::string> title = m_state.Renamed(*m_state.Source(link));
      if (!here || !title || *title == here->title) continue;
      mSubscriptions::CurrentSource = {here->title, here->link, here->id};
      mSubscriptions::EditedSource = {*title, here->link, here->id};
      if (mSubscriptions::ManageSource(mSubscriptions::SourceAction::Update))
        report.subscriptionsChanged = true;
    }
    if (report.subscriptionsChanged) RefreshSources(&report);
  }

  // Each inbox is read and rewritten once, whatever number of its messages changed.
  std::map<std::string, const std::unordered_set<std::string>*> inboxes;  // none: all of them
  for (const auto& [link, guids] : changes.marks) inboxes[link] = &guids;
  for (const std::string& link : changes.readUpTo) inboxes[link] = nullptr;
  if (changes.readAllUpTo)
    for (const LocalSource& source : m_sources) inboxes[source.key] = nullptr;
  static const SourceEntry kNone;
  Changes failed;
  for (const auto& [link, guids] : inboxes) {
    const LocalSource* here = local(link);
    const SourceEntry* entry = m_state.Source(link);
    if (!here || m_state.Subscribed(link) == false) continue;
    ApplyToInbox(*here, entry ? *entry : kNone, guids, failed, report);
  }
  for (auto& [link, guids] : failed.marks) m_retry.marks[link].merge(guids);
  m_retry.readUpTo.merge(failed.readUpTo);
  ApplySearches(changes, report);
}

void Engine::ApplyToInbox(const LocalSource& local, const SourceEntry& entry,
                          const std::unordered_set<std::string>* guids, Changes& failed,
                          Report& report) {
  mInbox::SourceID = local.id;
  const std::string path = mInbox::InboxPath();
  std::error_code ec;
  // Nothing stored yet: the marks wait for the messages.
  if (!SourceId::IsSourceID(local.id) || !fs::exists(path, ec)) return;
  const auto retry = [&] {
    if (guids) {
      failed.marks[local.key].insert(guids->begin(), guids->end());
    } else {
      failed.readUpTo.insert(local.key);
    }
    report.failed = true;
    report.lines.push_back("Sync: the messages of " + local.title + " could not be updated");
  };
  IniDocument doc = IniDocument::Load(path, ec);
  if (ec) return retry();
  std::vector<std::string> names = doc.SectionNames();
  std::vector<const std::string*> targets;
  if (guids) {
    std::unordered_map<std::string, const std::string*> byLower;
    byLower.reserve(names.size());
    for (const std::string& name : names) byLower.emplace(AsciiText::Lower(name), &name);
    for (const std::string& guid : *guids)
      if (const auto it = byLower.find(guid); it != byLower.end()) targets.push_back(it->second);
  } else {
    for (const std::string& name : names) targets.push_back(&name);
  }
  std::vector<std::pair<std::string, bool>> flipped;
  std::vector<std::string> deleted;
  for (const std::string* name : targets) {
    const std::string lower = AsciiText::Lower(*name);
    const Decision decision = m_state.Message(entry, lower, m_state.ArrivalMs(entry, lower));
    if (decision.verdict == Verdict::Delete) {
      deleted.push_back(*name);
    } else if (decision.verdict != Verdict::None) {
      const bool read = decision.verdict == Verdict::Read;
      if (ReadFlag(doc.GetValue(*name, "read")) == read) continue;
      doc.SetValue(*name, "read", read ? "1" : "0");
      flipped.emplace_back(*name, read);
    }
  }
  if (flipped.empty() && deleted.empty()) return;
  if (!deleted.empty()) {
    // Remembered first, as a deletion by hand is: a kill between the writes keeps the message
    // rather than letting the next check bring it back.
    SourceState::State state = SourceState::Load();
    for (const std::string& guid : deleted) {
      const bool known =
          std::any_of(state.deleted.begin(), state.deleted.end(),
                      [&](const auto& d) { return AsciiText::EqualsNoCase(d.guid, guid); });
      if (!known) state.deleted.push_back({guid, std::nullopt});
      if (state.holding && state.holding->count == 0) state.holding.reset();
      if (state.holding) state.holding->Remove(guid);
      doc.DeleteSection(guid);
    }
    if (!SourceState::Save(state)) return retry();
  }
  if (!doc.Save(path, ec)) return retry();
  report.inboxesChanged.insert(local.id);
  for (const auto& [guid, read] : flipped) mInbox::NotifyReadChanged(local.id, guid, read);
  for (const std::string& guid : deleted) mInbox::NotifyDeleted(local.id, guid);
}

void Engine::ApplySearches(const Changes& changes, Report& report) {
  if (changes.searches.empty() || !m_searches) return;
  std::vector<Archive::SavedSearch> searches = m_searches->Load();
  bool changed = false;
  for (const std::string& name : changes.searches) {
    const SearchEntry& entry = m_state.Searches().at(name);
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
  if (!changed) return;
  if (m_searches->Save(searches)) {
    report.searchesChanged = true;
  } else {
    report.failed = true;
    report.lines.push_back("Sync: the saved searches could not be written");
  }
}

bool Engine::Concerns(const std::string& path) const {
  if (!m_on) return false;
  const fs::path changed = fs::path(path).lexically_normal();
  const fs::path folder = (fs::path(m_folder) / "").lexically_normal();
  if (changed == folder || changed == folder.parent_path()) return true;
  if ((changed.parent_path() / "").lexically_normal() != folder) return false;
  const std::optional<FileName> what = ClassifyName(changed.filename().string());
  if (!what) return false;
  if (what->machine != m_machine || what->copy) return true;
  // This replica's own files: a change is ours unless the size says otherwise.
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(changed, ec);
  return ec || size != (what->snapshot ? m_snapshotSize : m_journalSize);
}

}  // namespace Sync
