#include "sync/SyncReplica.h"

#include "config/IniDocument.h"
#include "core/AtomicFile.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace Sync {

namespace {

constexpr const char* kSection = "sync";
constexpr const char* kReadSection = "read";
constexpr std::size_t kMaxSessions = 4096;

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

std::string InFolder(const std::string& folder, const std::string& name) {
  return mGeneralFunctions::AddBackslash(folder) + name;
}

}  // namespace

std::string Replica::SyncDatPath() const { return InFolder(mAppFunctions::DataPath, "sync.dat"); }
std::string Replica::StatePath() const { return InFolder(mAppFunctions::DataPath, "sync.state"); }
std::string Replica::JournalPath() const { return InFolder(mAppFunctions::DataPath, "sync.log"); }

void Replica::Load(Report& report) {
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
    m_machine = RandomHex(16);
    m_sessions.clear();
    m_positions.clear();
    m_boundFolder.clear();
    if (m_machine.empty()) {
      report.Fail("Sync: no random bytes for this data folder's identity");
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
      if (!OwnSession(token)) m_sessions.push_back(token);
    m_journalSize = fs::file_size(JournalPath(), ec);
    Note(report, r);
  }
  m_clock = std::max(m_clock, m_state.Newest());
}

bool Replica::SaveSyncDat() {
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

bool Replica::SaveState(Report& report) {
  m_state.ForgetArrivalsBefore(Services::Clock().NowMs() - kMarkWaitMs);
  const std::string nonce = RandomHex(8);
  std::error_code ec;
  if (nonce.empty() ||
      !AtomicFile::Replace(
          StatePath(), StateText(m_state, {FileType::State, m_machine, nonce, nonce}, true), ec)) {
    report.Fail("Sync: " + StatePath() + " could not be written");
    return false;
  }
  m_stateDirty = false;
  return true;
}

void Replica::Arrived(const std::string& key, const std::string& guid, std::int64_t ms) {
  m_state.Arrived(key, guid, ms);
  m_stateDirty = true;
}

bool Replica::NewToken(std::string& token) {
  token = RandomHex(8);
  if (token.empty()) return false;
  m_sessions.push_back(token);
  if (m_sessions.size() > kMaxSessions) m_sessions.erase(m_sessions.begin());
  // Saved before any file carries it: a token found in this replica's files and not here was
  // written by a copy of this data folder.
  return SaveSyncDat();
}

bool Replica::OwnSession(const std::string& token) const {
  return std::find(m_sessions.begin(), m_sessions.end(), token) != m_sessions.end();
}

void Replica::KeepPositions(const std::set<std::string>& names) {
  std::erase_if(m_positions, [&](const auto& each) { return !names.contains(each.first); });
}

Stamp Replica::Tick() {
  m_clock = NextStamp(m_clock, Services::Clock().NowMs());
  return m_clock;
}

void Replica::Observe(Stamp stamp) {
  m_clock = ObservedStamp(m_clock, stamp, Services::Clock().NowMs());
}

bool Replica::Append(const std::string& line, const std::string& folder,
                     std::vector<std::string>& problems) {
  std::string text;
  if (!m_sessionLogged) {
    if (m_session.empty() && !NewToken(m_session)) {
      m_session.clear();
      problems.push_back("Sync: no session could be started; an action was not logged");
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
      problems.push_back("Sync: " + JournalPath() + " could not be written");
      return false;
    }
    m_journalSize = 0;
    m_republish = true;
  } else if (!AppendTo(JournalPath(), text)) {
    problems.push_back("Sync: " + JournalPath() + " could not be written");
    return false;
  }
  const std::uint64_t before = m_journalSize;
  m_journalSize += text.size();
  m_sessionLogged = true;
  // The folder's copy only while it is still what this replica wrote; else the next merge
  // writes it anew.
  const std::string shared = InFolder(folder, LogName(m_machine));
  if (m_republish || fs::file_size(shared, ec) != before || ec || !AppendTo(shared, text))
    m_republish = true;
  return true;
}

bool Replica::NeedsPublishing(const std::string& folder) {
  std::error_code ec;
  const std::uintmax_t logSize = fs::file_size(InFolder(folder, LogName(m_machine)), ec);
  if (ec || logSize != m_journalSize || !fs::exists(InFolder(folder, SnapshotName(m_machine)), ec))
    m_republish = true;
  return m_republish;
}

bool Replica::Publish(const std::string& folder, Report& report) {
  const auto fail = [&](const std::string& path) {
    report.Fail("Sync: " + path + " could not be written");
    return false;
  };
  if (m_session.empty() && !NewToken(m_session)) {
    m_session.clear();
    return fail(SyncDatPath());
  }
  m_state.Compact();
  if (!SaveState(report)) return false;
  const std::string snapshotNonce = RandomHex(8), logNonce = RandomHex(8);
  if (snapshotNonce.empty() || logNonce.empty()) return fail(folder);
  const std::string snapshot =
      StateText(m_state, {FileType::Snapshot, m_machine, snapshotNonce, m_session}, false);
  const std::string snapshotPath = InFolder(folder, SnapshotName(m_machine));
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
  const std::string logPath = InFolder(folder, LogName(m_machine));
  if (!AtomicFile::Replace(logPath, log, ec)) return fail(logPath);
  if (!AtomicFile::Replace(JournalPath(), log, ec)) return fail(JournalPath());
  m_journalSize = log.size();
  m_sessionLogged = true;
  m_republish = false;
  m_boundFolder = folder;
  return SaveSyncDat() || fail(SyncDatPath());
}

void Replica::NewIdentity(const std::string& folder, Report& report) {
  const std::string machine = RandomHex(16);
  if (machine.empty()) {
    report.Fail("Sync: no random bytes for a new identity");
    return;
  }
  report.lines.push_back("Sync: a copy of this data folder also syncs as " + m_machine +
                         "; this one goes on as " + machine + ", and neither loses an action");
  m_machine = machine;
  m_sessions.clear();
  m_session.clear();
  m_sessionLogged = false;
  Publish(folder, report);
}

void Replica::RemoveTemporaries(const std::string& folder) const {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code statusError;
    if ((name.starts_with(LogName(m_machine)) || name.starts_with(SnapshotName(m_machine))) &&
        AtomicFile::IsTemporaryName(name) && fs::is_regular_file(it->symlink_status(statusError)))
      fs::remove(it->path(), statusError);
  }
}

}  // namespace Sync
