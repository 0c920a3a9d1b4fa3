#include "archive/Sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace Archive::Sql {

namespace {

[[noreturn]] void Fail(sqlite3* db, int code, std::string_view doing) {
  std::string what(doing);
  what += ": ";
  what += db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  throw Error(code, what);
}

}  // namespace

bool Error::Damaged() const {
  const int primary = m_code & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

Database::Database(const std::string& path) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string what =
        "cannot open " + path + ": " + (m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
    sqlite3_close(m_db);
    m_db = nullptr;
    throw Error(rc, what);
  }
  sqlite3_extended_result_codes(m_db, 1);
}

Database::~Database() { sqlite3_close_v2(m_db); }

Database::Database(Database&& other) noexcept : m_db(std::exchange(other.m_db, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    sqlite3_close_v2(m_db);
    m_db = std::exchange(other.m_db, nullptr);
  }
  return *this;
}

void Database::Exec(const std::string& sql) {
  const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(m_db, rc, sql.substr(0, 60));
}

std::int64_t Database::Changes() const { return sqlite3_changes64(m_db); }

void Database::Interrupt() {
  if (m_db) sqlite3_interrupt(m_db);
}

Statement::Statement(const Database& db, std::string_view sql) : m_db(db.Handle()) {
  const int rc = sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
  if (rc != SQLITE_OK) Fail(m_db, rc, sql.substr(0, 60));
}

Statement::~Statement() { sqlite3_finalize(m_stmt); }

Statement& Statement::Bind(int index, std::int64_t value) {
  const int rc = sqlite3_bind_int64(m_stmt, index, value);
  if (rc != SQLITE_OK) Fail(m_db, rc, "bind");
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  const int rc =
      sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) Fail(m_db, rc, "bind");
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(m_stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(m_stmt);
  Fail(m_db, rc, sqlite3_sql(m_stmt) ? std::string_view(sqlite3_sql(m_stmt)).substr(0, 60) : "");
}

void Statement::Run() {
  while (Step()) {
  }
  Reset();
}

void Statement::Reset() {
  sqlite3_reset(m_stmt);
  sqlite3_clear_bindings(m_stmt);
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::string Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(m_stmt, column);
  const int size = sqlite3_column_bytes(m_stmt, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size))
              : std::string();
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db, bool immediate) : m_db(db) {
  m_db.Exec(immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (m_open) sqlite3_exec(m_db.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  m_db.Exec("COMMIT");
  m_open = false;
}

Tokenizer::Tokenizer(const Database& db) : m_table(std::make_unique<fts5_tokenizer>()) {
  fts5_api* api = nullptr;
  {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.Handle(), "SELECT fts5(?1)", -1, &stmt, nullptr) == SQLITE_OK) {
      sqlite3_bind_pointer(stmt, 1, &api, "fts5_api_ptr", nullptr);
      sqlite3_step(stmt);
    }
    sqlite3_finalize(stmt);
  }
  void* context = nullptr;
  if (!api || api->xFindTokenizer(api, "unicode61", &context, m_table.get()) != SQLITE_OK)
    throw Error(SQLITE_ERROR, "the text index's tokenizer is missing");
  const char* arguments[] = {"remove_diacritics", "2"};
  if (m_table->xCreate(context, arguments, 2, &m_tokenizer) != SQLITE_OK)
    throw Error(SQLITE_ERROR, "the text index's tokenizer cannot start");
}

Tokenizer::~Tokenizer() {
  if (m_tokenizer) m_table->xDelete(m_tokenizer);
}

void Tokenizer::Tokenize(std::string_view text, const Visit& visit) const {
  if (text.empty()) return;
  const auto token = [](void* context, int, const char* token, int size, int start, int end) {
    (*static_cast<const Visit*>(context))(std::string_view(token, static_cast<std::size_t>(size)),
                                          static_cast<std::size_t>(start),
                                          static_cast<std::size_t>(end));
    return SQLITE_OK;
  };
  // The tokenizer takes an int for the size; longer texts go in parts cut at a blank.
  constexpr std::size_t kMostAtOnce = std::size_t{1} << 30;
  std::size_t base = 0;
  while (base < text.size()) {
    std::size_t size = std::min(text.size() - base, kMostAtOnce);
    if (base + size < text.size()) {
      const std::size_t blank = text.substr(base, size).rfind(' ');
      if (blank != std::string_view::npos && blank > 0) size = blank;
    }
    const Visit shifted = [&](std::string_view word, std::size_t start, std::size_t end) {
      visit(word, base + start, base + end);
    };
    m_table->xTokenize(m_tokenizer, const_cast<Visit*>(&shifted), FTS5_TOKENIZE_DOCUMENT,
                       text.data() + base, static_cast<int>(size), token);
    base += size;
  }
}

std::vector<std::string> Tokenizer::Tokens(std::string_view text) const {
  std::vector<std::string> tokens;
  Tokenize(text, [&tokens](std::string_view token, std::size_t, std::size_t) {
    tokens.emplace_back(token);
  });
  return tokens;
}

}  // namespace Archive::Sql
