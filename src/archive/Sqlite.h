#pragma once
// A thin layer over SQLite's C interface for the search index: connections and statements that
// clean up after themselves, failures as exceptions (caught where the index answers its callers),
// and the text index's own tokenizer for words outside a table.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct Fts5Tokenizer;
struct fts5_tokenizer;

namespace Archive::Sql {

class Error : public std::runtime_error {
 public:
  Error(int code, const std::string& what) : std::runtime_error(what), m_code(code) {}
  int Code() const { return m_code; }
  // The file is no database, or a damaged one: only starting afresh helps.
  bool Damaged() const;

 private:
  int m_code;
};

class Database {
 public:
  Database() = default;
  // Opens (creating) the file; ":memory:" gives a private in-memory database.
  explicit Database(const std::string& path);
  ~Database();
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* Handle() const { return m_db; }
  explicit operator bool() const { return m_db != nullptr; }
  void Exec(const std::string& sql);
  std::int64_t Changes() const;
  // Makes a running statement of this connection give up (from any thread).
  void Interrupt();

 private:
  sqlite3* m_db = nullptr;
};

class Statement {
 public:
  Statement(const Database& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, std::string_view text);
  // True while it gives a row.
  bool Step();
  // Runs it to its end and makes it ready for new values.
  void Run();
  void Reset();
  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;

 private:
  sqlite3* m_db;
  sqlite3_stmt* m_stmt = nullptr;
};

// A transaction that is rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(Database& db, bool immediate = true);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& m_db;
  bool m_open = true;
};

// The words of a text as the text index reads them (unicode61, accents removed, lower case):
// each with its place in the text, in bytes. One per thread: the tokenizer keeps a buffer.
class Tokenizer {
 public:
  explicit Tokenizer(const Database& db);
  ~Tokenizer();
  Tokenizer(const Tokenizer&) = delete;
  Tokenizer& operator=(const Tokenizer&) = delete;

  using Visit = std::function<void(std::string_view token, std::size_t start, std::size_t end)>;
  void Tokenize(std::string_view text, const Visit& visit) const;
  std::vector<std::string> Tokens(std::string_view text) const;

 private:
  Fts5Tokenizer* m_tokenizer = nullptr;
  std::unique_ptr<fts5_tokenizer> m_table;
};

// The tokenizer's arguments, as the index table is created with them.
inline constexpr const char* kTokenizerSpec = "unicode61 remove_diacritics 2";

}  // namespace Archive::Sql
