#pragma once
// The search index's worker thread and what it shares with the callers: the listed sources and
// which of them are current, the store's changes waiting to be written (and until then how they
// change what a search finds), progress, and the count of messages indexed. In order of need it
// compares newly listed sources with their inbox files, writes the store's changes, and indexes
// stale sources one after another (the read-ahead reading the next ones meanwhile).

#include "archive/IndexWriter.h"
#include "archive/ListedSources.h"
#include "archive/ReadAhead.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Archive {

class IndexWorker {
 public:
  // write: the worker's connection (IndexFile::Open).
  IndexWorker(std::string file, std::string dataFolder, Sql::Database write);
  // Ends indexing at once (a source half done is left as it was) after writing the changes told.
  ~IndexWorker();

  // Does nothing for the list held; else sources listed before keep their state and new ones are
  // compared with their inbox files on the worker. Rows of sources no longer listed stay (not
  // searched) until their inboxes are gone, so a list given for a moment costs no indexing.
  void SetSources(const std::vector<SourceRef>& sources, bool rebuildStale);
  // A change the store made; the inbox's stamp is taken here, right after it.
  void Tell(Change change);

  Progress Indexing() const;
  bool WaitUntilCurrent(std::chrono::milliseconds timeout,
                        const std::function<void(const Progress&)>& progress);
  bool Flush(std::chrono::milliseconds timeout);
  void SetOnChange(std::function<void()> onChange);
  std::size_t IndexedMessages() const { return m_writer.IndexedMessages(); }

  // What a search needs: the current sources, and the read flags (none: deleted) told but not yet
  // written, by SearchIndex's key of source and guid.
  struct View {
    std::vector<QueryPlan::Source> sources;
    std::unordered_map<std::string, std::optional<bool>> told;
  };
  View Current() const;
  static std::string Key(const std::string& sourceId, const std::string& guid);
  // A search found the file damaged: the worker starts it afresh.
  void Damaged();
  // Whether the worker replaced the file since the last call (the reader opens it anew).
  bool TakeReplaced();

 private:
  struct Told {
    std::optional<bool> read;  // none: deleted
    int waiting = 0;
  };

  void Work();
  void CheckListed(std::unique_lock<std::mutex>& lock);
  void ApplyChanges(std::unique_lock<std::mutex>& lock);
  void IndexNext(std::unique_lock<std::mutex>& lock, const std::string& id);
  // Runs writes, starting the file afresh when it is damaged; false when they failed.
  template <typename F>
  bool Attempt(F&& work);
  void Restart(bool damaged);
  void Changed(std::unique_lock<std::mutex>& lock);
  std::optional<std::string> NextStale() const;
  bool Settled() const;

  const std::string m_dataFolder;
  IndexWriter m_writer;  // the worker's alone
  ReadAhead m_readAhead;

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_settled;
  ListedSources m_listed;
  std::deque<Change> m_changes;
  std::size_t m_busyChanges = 0;
  std::unordered_map<std::string, Told> m_told;
  bool m_rebuildStale = true;
  bool m_stop = false;
  bool m_damaged = false;
  bool m_replaced = false;
  int m_waiting = 0;
  std::function<void()> m_onChange;
  std::thread m_thread;
};

}  // namespace Archive
