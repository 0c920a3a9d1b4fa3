#pragma once
// The search index's writes, on the worker's connection: a source's inbox indexed anew keeping
// what is unchanged, the store's changes (messages stored, read flags, deletions, a source
// removed), the stamps that say which sources are current, and the whole file started afresh.
// Each call is one transaction. Not for several threads: the worker alone calls it.

#include "archive/IdAllocator.h"
#include "archive/InboxText.h"
#include "archive/Sqlite.h"
#include "inbox/mInbox.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Archive {

// What the store told: a change to one source's inbox, with the inbox's stamp right after it.
struct Change {
  enum class Kind { Stored, Read, Deleted, Removed };
  Kind kind = Kind::Stored;
  std::string sourceId;
  std::vector<mInbox::InboxItem> items;  // Stored: as the store was given them
  std::string guid;                      // Read, Deleted: normalised
  bool read = false;
  InboxText::Stamp stamp;
};

// Thrown out of a rebuild that was asked to stop; the transaction is rolled back.
struct Abandoned {};

class IndexWriter {
 public:
  IndexWriter(std::string file, std::string dataFolder, Sql::Database db);
  ~IndexWriter();

  // Every source the file holds: its number and the stamp of the inbox it was indexed from.
  struct Indexed {
    std::int64_t sid = 0;
    std::string stamp;
  };
  std::unordered_map<std::string, Indexed> Sources();

  // Indexes the inbox as read (InboxText::ReadStable) as the source's part of the index, keeping
  // messages that did not change; the inbox's stamp becomes the source's. Gives its number.
  // Throws Abandoned when `stopping` says so.
  std::int64_t Rebuild(const std::string& sourceId, InboxText::Inbox& inbox,
                       const std::function<bool()>& stopping);
  // Writes the store's changes; those to a source that is not current (`current` gives the
  // number of a current one) are left out: it is indexed anew, with them in it. The sources
  // removed are forgotten whatever their state.
  void Apply(const std::vector<Change>& changes,
             const std::function<std::optional<std::int64_t>(const std::string&)>& current);
  // Drops the sources' messages (no longer listed, their inboxes gone).
  void Forget(const std::vector<std::string>& sourceIds);

  // Once the words of deleted messages weigh too much, everything is dropped, to be indexed anew;
  // true then. Looked at every 64 calls.
  bool TidyIfNeeded();
  // A damaged file is replaced by a new one (the readers must open it anew); else the tables are
  // made anew in it.
  void StartAfresh(bool damaged);
  // False after the file could not be started afresh: nothing can be written.
  bool Usable() const { return m_writes != nullptr; }

  // Messages whose text went into the index since the file was opened.
  std::size_t IndexedMessages() const { return m_indexed.load(); }

 private:
  struct Writes;
  struct NewText {
    std::int64_t id;
    std::string title;
    std::string body;
    std::string source;
  };

  std::int64_t SidOf(const std::string& sourceId);
  void Insert(std::int64_t sid, const mInbox::InboxItem& item, std::int64_t digest, std::int64_t at,
              std::int64_t size, std::vector<NewText>& texts,
              std::optional<std::string> text = std::nullopt);
  void InsertTexts(std::vector<NewText>& texts);
  void ForgetMessage(std::int64_t id);
  void ForgetSource(const std::string& sourceId);
  void SetStamp(std::int64_t sid, const InboxText::Stamp& stamp);
  void StoreItems(std::int64_t sid, const Change& change, std::int64_t oldSize,
                  std::vector<NewText>& texts);
  void ChangeOne(std::int64_t sid, const Change& change, std::int64_t oldSize);

  const std::string m_file;
  const std::string m_dataFolder;
  Sql::Database m_db;
  std::unique_ptr<Writes> m_writes;
  int m_callsSinceTidy = 0;
  std::atomic<std::size_t> m_indexed{0};
};

}  // namespace Archive
