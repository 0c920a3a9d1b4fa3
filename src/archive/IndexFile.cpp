#include "archive/IndexFile.h"

#include "archive/Matching.h"

#include <filesystem>

namespace Archive::IndexFile {

namespace {

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
  Sql::Statement pages(db,
                       "SELECT page_count * page_size FROM pragma_page_count, pragma_page_size");
  return pages.Step() && std::int64_t(std::filesystem::file_size(file, ec)) < pages.Int(0) && !ec;
}

bool HasOurTables(const Sql::Database& db) {
  Sql::Statement count(db,
                       "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
                       "('sources', 'messages', 'garbage', 'text')");
  return count.Step() && count.Int(0) == std::int64_t(std::size(kTables));
}

bool Ours(const Sql::Database& db) { return UserVersion(db) == kVersion && HasOurTables(db); }

void CreateSchema(Sql::Database& db) {
  for (const char* sql : kSchema) db.Exec(sql);
  // Fewer merges of the text index's parts while a first index is built; a query reads a few
  // more parts.
  db.Exec("INSERT INTO text(text, rank) VALUES('automerge', 16)");
  db.Exec("PRAGMA user_version=" + std::to_string(kVersion));
}

}  // namespace

Sql::Database Open(const std::string& file) {
  for (int attempt = 0;; ++attempt) {
    try {
      Sql::Database db(file);
      if (CutShort(db, file)) throw Sql::Error(11, file + " is cut short");
      Configure(db, 10'000);
      if (Ours(db)) return db;
      if (UserVersion(db) == 0 && TableCount(db) == 0) {
        Sql::Transaction creating(db);
        // Another process may have made it meanwhile.
        if (UserVersion(db) == 0 && TableCount(db) == 0) CreateSchema(db);
        creating.Commit();
        if (Ours(db)) return db;
      }
    } catch (const Sql::Error& error) {
      if (attempt > 0 || !error.Damaged()) throw;
    }
    if (attempt > 0) throw Sql::Error(26, file + " is no search index and cannot be replaced");
    Remove(file);
  }
}

Sql::Database OpenForReading(const std::string& file) {
  Sql::Database db(file);
  Configure(db, 2'000);
  return db;
}

void Recreate(Sql::Database& db) {
  Sql::Transaction dropping(db);
  for (const char* table : kTables) db.Exec(std::string("DROP TABLE ") + table);
  CreateSchema(db);
  dropping.Commit();
}

void Remove(const std::string& file) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(file + suffix, ec);
}

}  // namespace Archive::IndexFile
