#include "archive/SearchIndex.h"

#include "archive/InboxText.h"
#include "archive/Matching.h"
#include "archive/Sqlite.h"
#include "core/SourceId.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace Archive {

namespace {

using InboxText::Stamp;

// The layout's version, in the file's user_version beside a mark of its own, so that another
// program's database or an older layout is recognised and replaced.
constexpr std::int64_t kUserVersion = 0x51500000 + 1;

// Messages: one row each, its id ordering it by date (InboxText::BandOf). The text index holds
// their words under the same ids; what it holds of messages deleted since stays there (a
// contentless table forgets nothing) and their ids are kept in garbage, never handed out again.
// A source's rows are current when its stamp is its inbox file's.
constexpr const char* kSchema[] = {
    "CREATE TABLE sources(sid INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE, "
    "stamp TEXT NOT NULL, size INTEGER NOT NULL)",
    "CREATE TABLE messages(id INTEGER PRIMARY KEY, sid INTEGER NOT NULL, guid TEXT NOT NULL, "
    "title TEXT NOT NULL, date TEXT NOT NULL, time TEXT NOT NULL, zone TEXT NOT NULL, "
    "read INTEGER NOT NULL, digest INTEGER NOT NULL, at INTEGER NOT NULL, size INTEGER NOT NULL)",
    "CREATE UNIQUE INDEX messages_guid ON messages(sid, guid)",
    "CREATE INDEX messages_unread ON messages(sid) WHERE read = 0",
    "CREATE TABLE garbage(id INTEGER PRIMARY KEY)",
    Matching::kTextTableSql,
};
constexpr const char* kTables[] = {"sources", "messages", "garbage", "text"};
// Words of deleted messages are dropped by indexing everything anew once they are this many,
// and a quarter of what is indexed.
constexpr std::int64_t kMostGarbage = 50'000;

struct Abandoned {};

void Configure(Sql::Database& db, int busyMs) {
  db.Exec("PRAGMA busy_timeout=" + std::to_string(busyMs));
  // Larger pages than the default: fewer writes while indexing (no effect on an existing file).
  db.Exec("PRAGMA page_size=16384");
  db.Exec("PRAGMA journal_mode=WAL");
  db.Exec("PRAGMA synchronous=NORMAL");
  db.Exec("PRAGMA secure_delete=OFF");
  db.Exec("PRAGMA journal_size_limit=67108864");
  db.Exec("PRAGMA cache_size=-32768");
  // Pages written again and again while indexing are copied from the log to the file once.
  db.Exec("PRAGMA wal_autocheckpoint=10000");
}

std::int64_t UserVersion(const Sql::Database& db) {
  Sql::Statement version(db, "PRAGMA user_version");
  return version.Step() ? version.Int(0) : 0;
}

std::int64_t TableCount(const Sql::Database& db) {
  Sql::Statement count(db, "SELECT count(*) FROM sqlite_schema");
  return count.Step() ? count.Int(0) : 0;
}

// A file cut short (a full disk, a copy broken off) holds fewer pages than its header counts;
// with a log beside it the log may hold the rest, so only a file on its own is judged.
bool CutShort(const Sql::Database& db, const std::string& file) {
  std::error_code ec;
  if (std::filesystem::exists(file + "-wal", ec)) return false;
  Sql::Statement pages(db, "SELECT page_count * page_size FROM pragma_page_count, pragma_page_size");
  return pages.Step() && std::int64_t(std::filesystem::file_size(file, ec)) < pages.Int(0) && !ec;
}

bool HasOurTables(const Sql::Database& db) {
  Sql::Statement count(db,
                       "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
                       "('sources', 'messages', 'garbage', 'text')");
  return count.Step() && count.Int(0) == std::int64_t(std::size(kTables));
}

void CreateSchema(Sql::Database& db) {
  for (const char* sql : kSchema) db.Exec(sql);
  // Fewer merges of the text index's parts while a first index is built; a query reads a few
  // more parts.
  db.Exec("INSERT INTO text(text, rank) VALUES('automerge', 16)");
  db.Exec("PRAGMA user_version=" + std::to_string(kUserVersion));
}

void RemoveFiles(const std::string& file) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(file + suffix, ec);
}

// The index file ready for use: ours and of this layout, or else started afresh.
Sql::Database OpenIndexFile(const std::string& file) {
  for (int attempt = 0;; ++attempt) {
    bool foreign = false;
    try {
      Sql::Database db(file);
      if (CutShort(db, file)) throw Sql::Error(11, file + " is cut short");
      Configure(db, 10'000);
      if (UserVersion(db) == kUserVersion && HasOurTables(db)) return db;
      if (UserVersion(db) == 0 && TableCount(db) == 0) {
        Sql::Transaction creating(db);
        // Another process may have made it meanwhile.
        if (UserVersion(db) == 0 && TableCount(db) == 0) CreateSchema(db);
        creating.Commit();
        if (UserVersion(db) == kUserVersion && HasOurTables(db)) return db;
      }
      foreign = true;
    } catch (const Sql::Error& error) {
      if (attempt > 0 || !error.Damaged()) throw;
    }
    if (attempt > 0) throw Sql::Error(26, file + " is no search index and cannot be replaced");
    (void)foreign;
    RemoveFiles(file);
  }
}

struct Job {
  enum class Kind { Sources, Stored, Read, Deleted, Removed };
  Kind kind = Kind::Stored;
  std::string sourceId;
  std::vector<mInbox::InboxItem> items;  // Stored: as the store was given them
  std::string guid;
  bool read = false;
  Stamp stamp;                     // the inbox right after the change
  std::vector<std::string> listed;  // Sources
};

struct Listed {
  std::string id;
  std::string title;
  bool current = false;
};

struct Row {
  std::int64_t id = 0;
  std::int64_t sid = 0;
  std::string guid, title, date, time, zone;
  bool read = false;
  std::int64_t at = -1, size = 0;
};

std::string OverlayKey(const std::string& sourceId, const std::string& guid) {
  return sourceId + '\n' + guid;
}

// The worker's statements, made once for a connection.
struct Writes {
  explicit Writes(const Sql::Database& db)
      : insertMessage(db,
                      "INSERT INTO messages(id, sid, guid, title, date, time, zone, read, digest, "
                      "at, size) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"),
        insertText(db, "INSERT INTO text(rowid, title, body, source) VALUES(?1, ?2, ?3, ?4)"),
        lowest(db,
               "SELECT min(id) FROM (SELECT min(id) AS id FROM messages WHERE id BETWEEN ?1 AND "
               "?2 UNION ALL SELECT min(id) FROM garbage WHERE id BETWEEN ?1 AND ?2)"),
        used(db,
             "SELECT EXISTS(SELECT 1 FROM messages WHERE id = ?1) OR "
             "EXISTS(SELECT 1 FROM garbage WHERE id = ?1)"),
        remove(db, "DELETE FROM messages WHERE id = ?1"),
        garbage(db, "INSERT OR IGNORE INTO garbage(id) VALUES(?1)"),
        find(db, "SELECT id, at FROM messages WHERE sid = ?1 AND guid = ?2"),
        keep(db, "UPDATE messages SET read = ?2, at = ?3, size = ?4 WHERE id = ?1"),
        flag(db, "UPDATE messages SET read = ?2, size = size + ?3 WHERE id = ?1"),
        shift(db, "UPDATE messages SET at = at + ?3 WHERE sid = ?1 AND at > ?2"),
        stamp(db, "UPDATE sources SET stamp = ?2, size = ?3 WHERE sid = ?1"),
        size(db, "SELECT size FROM sources WHERE sid = ?1") {}
  Sql::Statement insertMessage, insertText, lowest, used, remove, garbage, find, keep, flag, shift,
      stamp, size;
};

}  // namespace

class SearchIndex::Impl {
 public:
  Impl(std::string file, Sql::Database read, Sql::Database write)
      : m_file(std::move(file)),
        m_dataFolder(mAppFunctions::DataFolder()),
        m_read(std::move(read)),
        m_readTokens(std::make_unique<Sql::Tokenizer>(m_read)),
        m_write(std::move(write)) {
    m_worker = std::thread([this] { Work(); });
    m_reader = std::thread([this] { ReadAhead(); });
  }

  ~Impl() {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_all();
    m_readAhead.notify_all();
    m_worker.join();
    m_reader.join();
  }

  // The caller's side.

  void SetSources(const std::vector<SourceRef>& sources, bool rebuildStale) {
    std::unordered_map<std::string, std::string> stamps;  // id -> stamp, as indexed
    {
      std::lock_guard reading(m_readMutex);
      try {
        ReopenIfReplaced();
        Sql::Statement rows(m_read, "SELECT sid, id, stamp FROM sources");
        std::lock_guard lock(m_mutex);
        while (rows.Step()) {
          m_sids[rows.Text(1)] = rows.Int(0);
          stamps[rows.Text(1)] = rows.Text(2);
        }
      } catch (const Sql::Error&) {
        // Nothing can be read: every source is indexed anew.
      }
    }
    std::vector<Listed> listed;
    std::vector<std::string> ids;
    for (const SourceRef& source : sources) {
      const auto indexed = stamps.find(source.id);
      const bool current =
          indexed != stamps.end() && indexed->second == InboxText::StampOf(InboxFile(source.id)).text;
      listed.push_back({source.id, source.title, current});
      ids.push_back(source.id);
    }
    {
      std::lock_guard lock(m_mutex);
      m_listed = std::move(listed);
      m_rebuildStale = rebuildStale;
      Job job;
      job.kind = Job::Kind::Sources;
      job.listed = std::move(ids);
      m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
  }

  Progress Indexing() const {
    std::lock_guard lock(m_mutex);
    return ProgressLocked();
  }

  bool WaitUntilCurrent(std::chrono::milliseconds timeout,
                        const std::function<void(const Progress&)>& progress) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    const Waiting waiting(*this);
    std::optional<Progress> told;
    for (;;) {
      const Progress now = ProgressLocked();
      if (progress && told != now) {
        told = now;
        lock.unlock();
        progress(now);
        lock.lock();
        continue;
      }
      if (now.pending == 0 && m_jobs.empty() && m_busyJobs == 0) return true;
      if (m_settled.wait_until(lock, deadline) == std::cv_status::timeout &&
          std::chrono::steady_clock::now() >= deadline)
        return false;
    }
  }

  bool Flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const Waiting waiting(*this);
    return m_settled.wait_for(lock, timeout, [this] { return m_jobs.empty() && m_busyJobs == 0; });
  }

  // Someone waits for the index: changes are written without waiting for more (under the lock).
  struct Waiting {
    explicit Waiting(Impl& impl) : m_impl(impl) {
      ++m_impl.m_waiting;
      m_impl.m_wake.notify_all();
    }
    ~Waiting() { --m_impl.m_waiting; }
    Impl& m_impl;
  };

  void SetOnChange(std::function<void()> onChange) {
    std::lock_guard lock(m_mutex);
    m_onChange = std::move(onChange);
  }

  Page Search(const Query& query, const std::string& from, std::size_t pageSize, bool snippets) {
    Page page;
    if (pageSize == 0) return page;
    std::lock_guard reading(m_readMutex);
    try {
      ReopenIfReplaced();
      std::optional<std::int64_t> before;
      if (!from.empty()) {
        try {
          before = std::stoll(from);
        } catch (const std::exception&) {
        }
      }
      Prepared prepared = Prepare(query, before);
      if (prepared.nothing) return page;
      Sql::Statement select(m_read, prepared.sql + " LIMIT ?5");
      prepared.Bind(select).Bind(5, std::int64_t(pageSize + 1));
      std::vector<Row> rows;
      while (select.Step()) rows.push_back(RowOf(select));
      std::map<std::string, std::optional<bool>> overlay;
      {
        std::lock_guard lock(m_mutex);
        for (const auto& [key, change] : m_overlay) overlay.emplace(key, change.state);
      }
      if (rows.size() > pageSize) {
        rows.resize(pageSize);
        page.next = std::to_string(rows.back().id);
      }
      for (Row& row : rows) {
        const auto source = prepared.sources.find(row.sid);
        if (source == prepared.sources.end()) continue;
        if (const auto told = overlay.find(OverlayKey(source->second.id, row.guid));
            told != overlay.end()) {
          if (!told->second) continue;  // deleted
          row.read = *told->second;
          if (query.read && *query.read != row.read) continue;
        }
        page.hits.push_back(HitOf(row, source->second, prepared.phrases, snippets));
      }
    } catch (const Sql::Error& error) {
      Damaged(error);
      page = {};
    }
    return page;
  }

  std::size_t CountUnread(const Query& query) {
    if (query.read == true) return 0;
    Query unread = query;
    unread.read = false;
    std::lock_guard reading(m_readMutex);
    try {
      ReopenIfReplaced();
      Prepared prepared = Prepare(unread, std::nullopt);
      if (prepared.nothing) return 0;
      Sql::Statement count(m_read, "SELECT count(*) FROM (" + prepared.sql + ")");
      prepared.Bind(count);
      return count.Step() ? std::size_t(count.Int(0)) : 0;
    } catch (const Sql::Error& error) {
      Damaged(error);
      return 0;
    }
  }

  void Tell(Job job) {
    job.stamp = InboxText::StampOf(InboxFile(job.sourceId));
    {
      std::lock_guard lock(m_mutex);
      if (job.kind == Job::Kind::Read || job.kind == Job::Kind::Deleted) {
        Overlay& told = m_overlay[OverlayKey(job.sourceId, job.guid)];
        told.state = job.kind == Job::Kind::Read ? std::optional<bool>(job.read) : std::nullopt;
        ++told.waiting;
      }
      m_jobs.push_back(std::move(job));
    }
    m_wake.notify_all();
  }

 private:
  struct Overlay {
    std::optional<bool> state;  // none: deleted
    int waiting = 0;
  };

  // A query as SQL over current sources: the statement's text up to its LIMIT, with its values.
  struct Prepared {
    bool nothing = false;
    std::string sql;
    std::string match;
    std::int64_t low = 1;
    std::int64_t high = std::numeric_limits<std::int64_t>::max();
    std::vector<Matching::Phrase> phrases;
    std::unordered_map<std::int64_t, Listed> sources;  // current ones, by sid

    Sql::Statement& Bind(Sql::Statement& statement) const {
      statement.Bind(1, match).Bind(2, low).Bind(3, high);
      return statement;
    }
  };

  Prepared Prepare(const Query& query, std::optional<std::int64_t> before) {
    Prepared prepared;
    prepared.nothing = true;
    if (query.Empty()) return prepared;
    const Sql::Tokenizer& tokens = *m_readTokens;
    {
      std::lock_guard lock(m_mutex);
      for (const Listed& source : m_listed) {
        const auto sid = m_sids.find(source.id);
        if (source.current && sid != m_sids.end()) prepared.sources.emplace(sid->second, source);
      }
    }
    std::vector<std::int64_t> wanted;
    if (!query.sources.empty()) {
      for (const auto& [sid, source] : prepared.sources) {
        for (const std::string& value : query.sources) {
          if (Matching::SourceMatches(source.title, value, tokens)) {
            wanted.push_back(sid);
            break;
          }
        }
      }
      // Sources that are not current yet might have matched: none of them is searched.
      if (wanted.empty()) return prepared;
      std::sort(wanted.begin(), wanted.end());
    }
    prepared.match = Matching::Expression(query, tokens, query.sources.empty() ? nullptr : &wanted);
    if (Matching::AsksNothing(query, prepared.match) || prepared.sources.empty()) return prepared;
    if (query.after || query.before) prepared.low = InboxText::FirstDatedId();
    if (query.after) prepared.low = std::max(prepared.low, InboxText::FirstIdOfDay(*query.after));
    if (query.before) prepared.high = InboxText::FirstIdOfDay(*query.before) - 1;
    if (before) prepared.high = std::min(prepared.high, *before - 1);
    if (prepared.low > prepared.high) return prepared;
    prepared.phrases = Matching::IncludedPhrases(query, tokens);

    std::string in = "m.sid IN (";
    bool first = true;
    for (const auto& [sid, source] : prepared.sources) {
      in += first ? "" : ",";
      in += std::to_string(sid);
      first = false;
    }
    in += ")";
    const std::string read = !query.read ? "" : *query.read ? " AND m.read = 1" : " AND m.read = 0";
    constexpr const char* kColumns =
        "SELECT m.id, m.sid, m.guid, m.title, m.date, m.time, m.zone, m.read, m.at, m.size ";
    if (prepared.match.empty()) {
      // Filters only: the messages in id order, the text index not asked (?1 stays unused).
      prepared.sql = std::string(kColumns) +
                     "FROM messages AS m WHERE ?1 IS NOT NULL AND m.id BETWEEN ?2 AND ?3 AND " +
                     in + read + " ORDER BY m.id DESC";
    } else {
      // The text index leads, newest id first, so a page stops early.
      prepared.sql = std::string(kColumns) +
                     "FROM text CROSS JOIN messages AS m ON m.id = text.rowid "
                     "WHERE text MATCH ?1 AND text.rowid BETWEEN ?2 AND ?3 AND " +
                     in + read + " ORDER BY text.rowid DESC";
    }
    prepared.nothing = false;
    return prepared;
  }

  static Row RowOf(const Sql::Statement& s) {
    Row row;
    row.id = s.Int(0);
    row.sid = s.Int(1);
    row.guid = s.Text(2);
    row.title = s.Text(3);
    row.date = s.Text(4);
    row.time = s.Text(5);
    row.zone = s.Text(6);
    row.read = s.Int(7) != 0;
    row.at = s.Int(8);
    row.size = s.Int(9);
    return row;
  }

  Hit HitOf(const Row& row, const Listed& source, const std::vector<Matching::Phrase>& phrases,
            bool snippet) {
    Hit hit;
    hit.sourceId = source.id;
    hit.sourceTitle = source.title;
    hit.guid = row.guid;
    hit.title = row.title;
    hit.date = row.date;
    hit.time = row.time;
    hit.offset = row.zone;
    hit.read = row.read;
    if (!snippet) return hit;
    hit.markedTitle = Matching::Marked(row.title, phrases, *m_readTokens);
    mInbox::InboxItem item;
    item.description = InboxText::LoadDescription(InboxFile(source.id), row.guid, row.at, row.size);
    hit.snippet = Matching::Snippet(IndexedText(item), phrases, *m_readTokens);
    return hit;
  }

  Progress ProgressLocked() const {
    Progress progress;
    progress.total = m_listed.size();
    for (const Listed& source : m_listed) progress.pending += source.current ? 0 : 1;
    return progress;
  }

  std::string InboxFile(const std::string& id) const {
    if (!SourceId::IsSourceID(id) || m_dataFolder.empty()) return {};
    return mInbox::InboxFile(m_dataFolder, id);
  }

  // A damaged file found by a search: the worker starts it afresh.
  void Damaged(const Sql::Error& error) {
    if (!error.Damaged()) return;
    {
      std::lock_guard lock(m_mutex);
      m_damaged = true;
      for (Listed& source : m_listed) source.current = false;
    }
    m_wake.notify_all();
  }

  // After the worker started the file afresh, this side's connection still reads the old one.
  void ReopenIfReplaced() {
    if (!m_replaced.exchange(false)) return;
    Sql::Database read(m_file);
    Configure(read, 2'000);
    m_read = std::move(read);
    m_readTokens = std::make_unique<Sql::Tokenizer>(m_read);
  }

  // The worker's side.

  void Work() {
    try {
      m_writes = std::make_unique<Writes>(m_write);
    } catch (const Sql::Error&) {
      return;
    }
    std::unique_lock lock(m_mutex);
    for (;;) {
      m_wake.wait(lock, [this] { return m_stop || m_damaged || !m_jobs.empty() || NextStale(); });
      if (m_damaged && !m_stop) {
        m_damaged = false;
        lock.unlock();
        StartAfresh(true);
        lock.lock();
        continue;
      }
      if (!m_jobs.empty()) {
        // Changes come in bursts (a check stores one source after another): each transaction
        // costs a part of the text index of its own, so what comes within a moment goes in one.
        m_wake.wait_for(lock, std::chrono::milliseconds(150),
                        [this] { return m_stop || m_waiting > 0; });
        std::deque<Job> jobs;
        jobs.swap(m_jobs);
        m_busyJobs = jobs.size();
        lock.unlock();
        const bool done = Attempt([&] { ApplyJobs(jobs); });
        if (done) Attempt([&] { TidyIfNeeded(); });
        lock.lock();
        if (!done) {
          // What was told is lost with the transaction: those sources are indexed anew.
          for (const Job& job : jobs) MarkStaleLocked(job.sourceId);
        }
        for (const Job& job : jobs) {
          if (job.kind != Job::Kind::Read && job.kind != Job::Kind::Deleted) continue;
          const auto told = m_overlay.find(OverlayKey(job.sourceId, job.guid));
          if (told != m_overlay.end() && --told->second.waiting <= 0) m_overlay.erase(told);
        }
        m_busyJobs = 0;
        Changed(lock);
        continue;
      }
      if (m_stop) return;
      const std::optional<std::string> next = NextStale();
      if (!next) continue;
      m_rebuilding = *next;
      m_readAhead.notify_all();
      lock.unlock();
      std::optional<Stamp> indexed;
      const bool done = Attempt([&] { indexed = Rebuild(*next); });
      // Current only while the file is still the one indexed; a later change was told, or is
      // found next time.
      const bool settled = done && indexed && InboxText::StampOf(InboxFile(*next)) == *indexed;
      bool afresh = false;
      if (settled) Attempt([&] { afresh = TidyIfNeeded(); });
      lock.lock();
      if (settled && !afresh) {
        for (Listed& source : m_listed)
          if (source.id == *next) source.current = true;
      } else if (!m_stop) {
        // A file that keeps changing, or a failure: try again a little later, others first.
        const auto at = std::find_if(m_listed.begin(), m_listed.end(),
                                     [&](const Listed& s) { return s.id == *next; });
        if (at != m_listed.end()) std::rotate(at, at + 1, m_listed.end());
        m_wake.wait_for(lock, std::chrono::milliseconds(done ? 20 : 500));
      }
      m_rebuilding.clear();
      Changed(lock);
    }
  }

  // Runs a piece of work in the worker, starting the index afresh when the file is damaged;
  // false when it failed.
  template <typename F>
  bool Attempt(F&& work) {
    if (!m_writes) StartAfresh(true);
    if (!m_writes) return false;
    try {
      work();
      return true;
    } catch (const Abandoned&) {
      return false;
    } catch (const Sql::Error& error) {
      if (error.Damaged()) StartAfresh(true);
      return false;
    }
  }

  void StartAfresh(bool damaged) {
    m_writes.reset();
    m_spill.clear();
    try {
      if (damaged) {
        m_write = Sql::Database();
        RemoveFiles(m_file);
        m_write = OpenIndexFile(m_file);
      } else {
        Sql::Transaction dropping(m_write);
        for (const char* table : kTables) m_write.Exec(std::string("DROP TABLE ") + table);
        CreateSchema(m_write);
        dropping.Commit();
      }
      m_writes = std::make_unique<Writes>(m_write);
    } catch (const Sql::Error&) {
    }
    m_replaced = damaged;
    std::lock_guard lock(m_mutex);
    m_sids.clear();
    for (Listed& source : m_listed) source.current = false;
  }

  std::optional<std::string> NextStale() const {
    if (!m_rebuildStale || m_stop) return std::nullopt;
    for (const Listed& source : m_listed)
      if (!source.current) return source.id;
    return std::nullopt;
  }

  void MarkStaleLocked(const std::string& id) {
    for (Listed& source : m_listed)
      if (source.id == id) source.current = false;
  }

  bool StaleLocked(const std::string& id) const {
    return std::any_of(m_listed.begin(), m_listed.end(),
                       [&](const Listed& s) { return s.id == id && !s.current; });
  }

  bool CurrentLocked(const std::string& id) const {
    return std::any_of(m_listed.begin(), m_listed.end(),
                       [&](const Listed& s) { return s.id == id && s.current; });
  }

  void Changed(std::unique_lock<std::mutex>& lock) {
    const std::function<void()> onChange = m_onChange;
    lock.unlock();
    m_settled.notify_all();
    if (onChange) onChange();
    lock.lock();
  }

  std::int64_t SidOf(const std::string& id) {
    Sql::Statement insert(m_write,
                          "INSERT OR IGNORE INTO sources(id, stamp, size) VALUES(?1, '', 0)");
    insert.Bind(1, id).Run();
    Sql::Statement select(m_write, "SELECT sid FROM sources WHERE id = ?1");
    select.Bind(1, id);
    const std::int64_t sid = select.Step() ? select.Int(0) : 0;
    std::lock_guard lock(m_mutex);
    m_sids[id] = sid;
    return sid;
  }

  // The highest id of the band no message has, nor ever had; below the band when it is full
  // (the messages of one second beyond 64), searched downwards from where the last one went.
  std::int64_t Allocate(const InboxText::Band& band) {
    Writes& w = *m_writes;
    w.lowest.Bind(1, band.low).Bind(2, band.high);
    std::int64_t candidate = band.high;
    if (w.lowest.Step() && !w.lowest.IsNull(0)) candidate = w.lowest.Int(0) - 1;
    w.lowest.Reset();
    if (candidate >= band.low) return candidate;
    const auto spill = m_spill.find(band.low);
    candidate = spill != m_spill.end() ? std::min(spill->second, band.low - 1) : band.low - 1;
    for (; candidate >= 1; --candidate) {
      w.used.Bind(1, candidate);
      const bool taken = w.used.Step() && w.used.Int(0) != 0;
      w.used.Reset();
      if (taken) continue;
      if (m_spill.size() > 4096) m_spill.clear();
      m_spill[band.low] = candidate - 1;
      return candidate;
    }
    throw Sql::Error(13, "no message id left");
  }

  struct NewText {
    std::int64_t id;
    std::string title;
    std::string body;
    std::string source;
  };

  std::int64_t Insert(std::int64_t sid, const mInbox::InboxItem& item, std::int64_t digest,
                      std::int64_t at, std::int64_t size, std::vector<NewText>& texts,
                      std::optional<std::string> text = std::nullopt) {
    const std::int64_t id = Allocate(InboxText::BandOf(item.date, item.time, item.offset));
    Sql::Statement& insert = m_writes->insertMessage;
    insert.Bind(1, id).Bind(2, sid).Bind(3, item.guid).Bind(4, item.title).Bind(5, item.date);
    insert.Bind(6, item.time).Bind(7, item.offset).Bind(8, std::int64_t(item.read != 0));
    insert.Bind(9, digest).Bind(10, at).Bind(11, size).Run();
    texts.push_back(
        {id, item.title, text ? std::move(*text) : IndexedText(item), Matching::SourceTokens(sid)});
    return id;
  }

  // The text index takes ids in rising order within a transaction without starting a new part
  // for each one.
  void InsertTexts(std::vector<NewText>& texts) {
    std::sort(texts.begin(), texts.end(),
              [](const NewText& a, const NewText& b) { return a.id < b.id; });
    Sql::Statement& insert = m_writes->insertText;
    for (const NewText& text : texts) {
      insert.Bind(1, text.id).Bind(2, text.title).Bind(3, text.body).Bind(4, text.source).Run();
    }
    texts.clear();
  }

  void Forget(std::int64_t id) {
    m_writes->remove.Bind(1, id).Run();
    m_writes->garbage.Bind(1, id).Run();
  }

  void ForgetSource(std::int64_t sid) {
    m_write.Exec("INSERT OR IGNORE INTO garbage(id) SELECT id FROM messages WHERE sid = " +
                 std::to_string(sid));
    m_write.Exec("DELETE FROM messages WHERE sid = " + std::to_string(sid));
    m_write.Exec("DELETE FROM sources WHERE sid = " + std::to_string(sid));
  }

  void SetStamp(std::int64_t sid, const Stamp& stamp) {
    m_writes->stamp.Bind(1, sid).Bind(2, stamp.text).Bind(3, stamp.size).Run();
  }

  // Indexes the source's inbox as it is now, keeping what is unchanged; gives the version of the
  // file indexed. Nothing when the file changed while it was read.
  std::optional<Stamp> Rebuild(const std::string& id) {
    const std::string path = InboxFile(id);
    std::optional<Inbox> inbox;
    {
      std::lock_guard lock(m_mutex);
      if (const auto ready = m_ready.find(id); ready != m_ready.end()) {
        inbox = std::move(ready->second);
        m_ready.erase(ready);
      }
    }
    m_readAhead.notify_all();
    if (!inbox || InboxText::StampOf(path) != inbox->stamp) inbox = ReadInbox(id, false);
    if (!inbox) return std::nullopt;
    const Stamp before = inbox->stamp;
    std::vector<InboxText::FileMessage>& messages = inbox->messages;
    Sql::Transaction transaction(m_write);
    const std::int64_t sid = SidOf(id);
    struct Old {
      std::int64_t id, digest, at, size;
      bool read;
    };
    std::unordered_map<std::string, Old> old;
    {
      Sql::Statement rows(m_write,
                          "SELECT id, guid, digest, read, at, size FROM messages WHERE sid = ?1");
      rows.Bind(1, sid);
      while (rows.Step())
        old[rows.Text(1)] = {rows.Int(0), rows.Int(2), rows.Int(4), rows.Int(5), rows.Int(3) != 0};
    }
    Sql::Statement& update = m_writes->keep;
    std::vector<NewText> texts;
    std::size_t done = 0;
    for (InboxText::FileMessage& message : messages) {
      if ((++done & 63) == 0 && Stopping()) throw Abandoned();
      const auto known = old.find(message.item.guid);
      if (known != old.end() && known->second.digest == message.digest) {
        const Old& o = known->second;
        if (o.read != (message.item.read != 0) || o.at != message.at || o.size != message.size) {
          update.Bind(1, o.id).Bind(2, std::int64_t(message.item.read != 0));
          update.Bind(3, message.at).Bind(4, message.size).Run();
        }
        old.erase(known);
        continue;
      }
      if (known != old.end()) {
        Forget(known->second.id);
        old.erase(known);
      }
      Insert(sid, message.item, message.digest, message.at, message.size, texts,
             std::move(message.text));
    }
    for (const auto& [guid, o] : old) Forget(o.id);
    if (Stopping()) throw Abandoned();
    InsertTexts(texts);
    SetStamp(sid, before);
    transaction.Commit();
    return before;
  }

  struct Inbox {
    Stamp stamp;
    std::vector<InboxText::FileMessage> messages;
  };

  // The source's inbox as it is now, with the text to index made ahead when asked; nothing when
  // the file changed while it was read.
  std::optional<Inbox> ReadInbox(const std::string& id, bool withTexts) {
    const std::string path = InboxFile(id);
    Inbox inbox;
    inbox.stamp = InboxText::StampOf(path);
    if (!path.empty()) {
      // An inbox that cannot be read lists nothing, in the tree as here.
      inbox.messages = InboxText::ReadInbox(path).value_or(std::vector<InboxText::FileMessage>{});
    }
    if (InboxText::StampOf(path) != inbox.stamp) return std::nullopt;
    if (withTexts)
      for (InboxText::FileMessage& message : inbox.messages) message.text = IndexedText(message.item);
    return inbox;
  }

  // On a thread of its own: reads the next stale sources while the worker writes, and for a
  // source never indexed makes its texts too, so that a first index keeps both cores busy.
  void ReadAhead() {
    constexpr std::size_t kAhead = 2;
    constexpr std::int64_t kLargest = std::int64_t{64} << 20;
    std::unique_lock lock(m_mutex);
    for (;;) {
      std::optional<std::string> next;
      bool fresh = false;
      m_readAhead.wait(lock, [&] {
        if (m_stop) return true;
        next.reset();
        std::erase_if(m_ready, [this](const auto& ready) { return !StaleLocked(ready.first); });
        if (!m_rebuildStale || m_ready.size() >= kAhead) return false;
        for (const Listed& source : m_listed) {
          if (source.current || source.id == m_rebuilding || m_ready.contains(source.id)) continue;
          next = source.id;
          fresh = !m_sids.contains(source.id);
          break;
        }
        return next.has_value();
      });
      if (m_stop) return;
      lock.unlock();
      std::optional<Inbox> inbox;
      if (InboxText::StampOf(InboxFile(*next)).size <= kLargest) inbox = ReadInbox(*next, fresh);
      lock.lock();
      if (inbox) {
        m_ready[*next] = std::move(*inbox);
      } else {
        // Left to the worker.
        m_ready[*next] = std::nullopt;
      }
      m_wake.notify_all();
    }
  }

  bool Stopping() {
    std::lock_guard lock(m_mutex);
    return m_stop;
  }

  void ApplyJobs(std::deque<Job>& jobs) {
    Sql::Transaction transaction(m_write);
    std::vector<NewText> texts;
    for (const Job& job : jobs) {
      if (job.kind == Job::Kind::Sources) {
        DropUnlisted(job.listed);
        continue;
      }
      if (job.kind == Job::Kind::Removed) {
        std::optional<std::int64_t> sid;
        {
          std::lock_guard lock(m_mutex);
          if (const auto found = m_sids.find(job.sourceId); found != m_sids.end()) sid = found->second;
          m_sids.erase(job.sourceId);
          MarkStaleLocked(job.sourceId);
        }
        if (sid) ForgetSource(*sid);
        continue;
      }
      std::int64_t sid = 0;
      {
        std::lock_guard lock(m_mutex);
        // A source that is not current is indexed anew, with this change in it.
        if (!CurrentLocked(job.sourceId) || !m_sids.contains(job.sourceId)) continue;
        sid = m_sids[job.sourceId];
      }
      std::int64_t oldSize = 0;
      m_writes->size.Bind(1, sid);
      if (m_writes->size.Step()) oldSize = m_writes->size.Int(0);
      m_writes->size.Reset();
      switch (job.kind) {
        case Job::Kind::Stored:
          StoreItems(sid, job, oldSize, texts);
          break;
        case Job::Kind::Read:
        case Job::Kind::Deleted:
          ChangeOne(sid, job, oldSize);
          break;
        default:
          break;
      }
      SetStamp(sid, job.stamp);
    }
    InsertTexts(texts);
    transaction.Commit();
  }

  void DropUnlisted(const std::vector<std::string>& listed) {
    std::vector<std::pair<std::int64_t, std::string>> gone;
    {
      Sql::Statement rows(m_write, "SELECT sid, id FROM sources");
      while (rows.Step()) {
        std::string id = rows.Text(1);
        if (std::find(listed.begin(), listed.end(), id) == listed.end())
          gone.emplace_back(rows.Int(0), std::move(id));
      }
    }
    for (const auto& [sid, id] : gone) {
      ForgetSource(sid);
      std::lock_guard lock(m_mutex);
      m_sids.erase(id);
    }
  }

  void StoreItems(std::int64_t sid, const Job& job, std::int64_t oldSize,
                  std::vector<NewText>& texts) {
    // The new sections follow the old end of the file; found there while the file is still the
    // one they were stored into.
    std::unordered_map<std::string, InboxText::Span> spans;
    const std::string path = InboxFile(job.sourceId);
    if (InboxText::StampOf(path) == job.stamp && job.stamp.size > oldSize) {
      std::ifstream in(path, std::ios::binary);
      std::string tail(std::size_t(job.stamp.size - oldSize), '\0');
      if (in.seekg(oldSize) && in.read(tail.data(), std::streamsize(tail.size()))) {
        for (InboxText::Span& span : InboxText::Sections(tail, oldSize))
          spans.emplace(span.name, std::move(span));
      }
    }
    Sql::Statement& exists = m_writes->find;
    for (const mInbox::InboxItem& told : job.items) {
      const mInbox::InboxItem item = InboxText::FileForm(told);
      exists.Bind(1, sid).Bind(2, item.guid);
      const bool known = exists.Step();
      exists.Reset();
      if (known) continue;
      const auto span = spans.find(AsciiLower(item.guid));
      Insert(sid, item, InboxText::Digest(item), span == spans.end() ? -1 : span->second.at,
             span == spans.end() ? 0 : span->second.size, texts);
    }
  }

  static std::string AsciiLower(std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c == '\r' ? ' ' : c;
    return text;
  }

  // A read flag set or a message deleted: the sections after it moved by the change in size.
  void ChangeOne(std::int64_t sid, const Job& job, std::int64_t oldSize) {
    Sql::Statement& find = m_writes->find;
    find.Bind(1, sid).Bind(2, job.guid);
    if (!find.Step()) {
      find.Reset();
      return;
    }
    const std::int64_t id = find.Int(0), at = find.Int(1);
    find.Reset();
    const std::int64_t moved = job.stamp.size - oldSize;
    if (job.kind == Job::Kind::Deleted) {
      Forget(id);
    } else {
      m_writes->flag.Bind(1, id).Bind(2, std::int64_t(job.read)).Bind(3, moved).Run();
    }
    if (moved != 0 && at >= 0) {
      m_writes->shift.Bind(1, sid).Bind(2, at).Bind(3, moved).Run();
    }
  }

  // Once the words of deleted messages weigh too much, everything is indexed anew.
  bool TidyIfNeeded() {
    if (++m_commitsSinceTidy < 64) return false;
    m_commitsSinceTidy = 0;
    std::int64_t garbage = 0, messages = 0;
    {
      Sql::Statement count(m_write,
                           "SELECT (SELECT count(*) FROM garbage), (SELECT count(*) FROM messages)");
      if (!count.Step()) return false;
      garbage = count.Int(0);
      messages = count.Int(1);
    }
    if (garbage <= kMostGarbage || garbage * 4 <= messages) return false;
    StartAfresh(false);
    return true;
  }

  const std::string m_file;
  const std::string m_dataFolder;

  std::mutex m_readMutex;  // the caller's connection
  Sql::Database m_read;
  std::unique_ptr<Sql::Tokenizer> m_readTokens;
  std::atomic<bool> m_replaced{false};

  Sql::Database m_write;  // the worker's connection
  std::unique_ptr<Writes> m_writes;
  std::unordered_map<std::int64_t, std::int64_t> m_spill;  // full band -> where to look next
  int m_commitsSinceTidy = 0;

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_settled;
  std::condition_variable m_readAhead;
  std::string m_rebuilding;
  std::unordered_map<std::string, std::optional<Inbox>> m_ready;
  std::thread m_reader;
  std::vector<Listed> m_listed;
  std::unordered_map<std::string, std::int64_t> m_sids;
  std::deque<Job> m_jobs;
  std::size_t m_busyJobs = 0;
  bool m_rebuildStale = true;
  bool m_stop = false;
  bool m_damaged = false;
  int m_waiting = 0;
  std::unordered_map<std::string, Overlay> m_overlay;
  std::function<void()> m_onChange;
  std::thread m_worker;
};

SearchIndex::SearchIndex(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
SearchIndex::~SearchIndex() = default;

std::unique_ptr<SearchIndex> SearchIndex::Open(const std::string& file, std::string& error) {
  try {
    if (file.empty()) throw Sql::Error(14, "no cache folder for the search index");
    Sql::Database write = OpenIndexFile(file);
    Sql::Database read(file);
    Configure(read, 2'000);
    return std::unique_ptr<SearchIndex>(
        new SearchIndex(std::make_unique<Impl>(file, std::move(read), std::move(write))));
  } catch (const std::exception& e) {
    error = e.what();
    return nullptr;
  }
}

std::string SearchIndex::DefaultFile() {
  const std::string folder = mAppFunctions::CacheFolder();
  return folder.empty() ? std::string() : mGeneralFunctions::AddBackslash(folder) + "search.db";
}

void SearchIndex::SetSources(const std::vector<SourceRef>& sources, bool rebuildStale) {
  m_impl->SetSources(sources, rebuildStale);
}
Progress SearchIndex::Indexing() const { return m_impl->Indexing(); }
bool SearchIndex::WaitUntilCurrent(std::chrono::milliseconds timeout,
                                   const std::function<void(const Progress&)>& progress) {
  return m_impl->WaitUntilCurrent(timeout, progress);
}
bool SearchIndex::Flush(std::chrono::milliseconds timeout) { return m_impl->Flush(timeout); }
void SearchIndex::SetOnChange(std::function<void()> onChange) {
  m_impl->SetOnChange(std::move(onChange));
}
Page SearchIndex::Search(const Query& query, const std::string& from, std::size_t pageSize,
                         bool snippets) {
  return m_impl->Search(query, from, pageSize, snippets);
}
std::size_t SearchIndex::CountUnread(const Query& query) { return m_impl->CountUnread(query); }

void SearchIndex::Stored(const std::string& sourceId, const std::vector<mInbox::InboxItem>& items) {
  Job job;
  job.kind = Job::Kind::Stored;
  job.sourceId = sourceId;
  // Put in the stored form on the worker: the store's thread only copies them.
  job.items = items;
  m_impl->Tell(std::move(job));
}

void SearchIndex::ReadChanged(const std::string& sourceId, const std::string& guid, bool read) {
  Job job;
  job.kind = Job::Kind::Read;
  job.sourceId = sourceId;
  job.guid = mInbox::NormalizedGuid(guid);
  job.read = read;
  m_impl->Tell(std::move(job));
}

void SearchIndex::Deleted(const std::string& sourceId, const std::string& guid) {
  Job job;
  job.kind = Job::Kind::Deleted;
  job.sourceId = sourceId;
  job.guid = mInbox::NormalizedGuid(guid);
  m_impl->Tell(std::move(job));
}

void SearchIndex::SourceRemoved(const std::string& sourceId) {
  Job job;
  job.kind = Job::Kind::Removed;
  job.sourceId = sourceId;
  m_impl->Tell(std::move(job));
}

std::vector<bool> MatchArriving(const Query& query, const std::string& sourceTitle,
                                const std::vector<mInbox::InboxItem>& items) {
  try {
    return Matching::ArrivingMatcher(sourceTitle, items).Matches(query);
  } catch (const Sql::Error&) {
    return std::vector<bool>(items.size(), false);
  }
}

}  // namespace Archive
