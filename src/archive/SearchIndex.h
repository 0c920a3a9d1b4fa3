#pragma once
// The search index: every message of every inbox as text, in SQLite's FTS5, in the cache folder
// (mAppFunctions::CacheFolder). It is derived and disposable: the inbox files stay the only
// truth, a missing, damaged, foreign-version or stale index is rebuilt source by source in the
// background, and a source's hits are shown only once its part of the index is current, so that
// no result ever contradicts the inbox files.
//
// Threads: every public member may be called from the program's (UI) thread; none blocks it for
// long (indexing runs on a worker thread of its own; a query takes the time of the query).

#include "archive/Query.h"
#include "inbox/InboxEvents.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Archive {

// The matched words in a snippet (and a title) stand between these two characters.
inline constexpr char kMarkOpen = '\x02';
inline constexpr char kMarkClose = '\x03';

struct SourceRef {
  std::string id;
  std::string title;
  bool operator==(const SourceRef&) const = default;
};

struct Hit {
  std::string sourceId;
  std::string sourceTitle;
  std::string guid;  // as the inbox names the message
  std::string title;
  std::string markedTitle;  // the title with the matched words marked
  std::string date;  // as stored: "Sat, 05 Dec 2026"
  std::string time;
  std::string offset;
  bool read = false;
  // A line of the message text around the first match, the matched words marked.
  std::string snippet;
};

struct Page {
  std::vector<Hit> hits;
  // Where the next page begins (give it to Search); empty after the last page.
  std::string next;
};

struct Progress {
  std::size_t pending = 0;  // sources not current yet ("Indexing 120 of 500 sources ...")
  std::size_t total = 0;
  bool operator==(const Progress&) const = default;
};

class SearchIndex : public mInbox::IInboxListener {
 public:
  // Opens the index file of the current data folder (creating it, or starting a new one when it
  // is damaged or of another version). Null, with the reason, when SQLite cannot open it at all
  // (its folder missing, say: mAppFunctions::PrepareCacheFolder makes it).
  static std::unique_ptr<SearchIndex> Open(const std::string& file, std::string& error);
  // The index file of the current data folder, in mAppFunctions::CacheFolder(); empty when the
  // cache folder is unknown.
  static std::string DefaultFile();
  // Ends indexing at once (a source half done is left as it was) after writing the changes the
  // store told.
  ~SearchIndex() override;

  // The subscribed sources, in the subscription file's order. Sources whose part of the index is
  // not current (their inbox changed while no Quillpost ran, a restored backup, even one copied
  // with its size and time kept) are indexed in the background, one after another; sources no
  // longer listed are dropped. Titles serve the source: filter and the hits.
  // rebuildStale false: only keeps current sources current (a check without windows, which must
  // not spend its time indexing); the others wait for a reader or a search.
  void SetSources(const std::vector<SourceRef>& sources, bool rebuildStale = true);
  Progress Indexing() const;
  // Waits until every source is current, telling progress as it goes; false when the time ran
  // out (the command line's search uses it).
  bool WaitUntilCurrent(std::chrono::milliseconds timeout,
                        const std::function<void(const Progress&)>& progress = {});
  // Waits until the changes the store told are written to the index; false when the time ran out.
  bool Flush(std::chrono::milliseconds timeout);
  // Called on the indexing thread whenever what searches find may have changed (a source became
  // current, told changes were written): a window refreshes its list, counts and progress then.
  // Until then a search already leaves out messages told deleted and shows told read flags.
  void SetOnChange(std::function<void()> onChange);

  // Matching messages of current sources, newest first (by date, time and zone, as the tree
  // orders them; undated last), a page at a time. An empty query, or one of words the index
  // cannot search for ("^"), finds nothing. Without snippets the inbox files are not read.
  Page Search(const Query& query, const std::string& from = {}, std::size_t pageSize = 50,
              bool snippets = true);
  // How many unread messages of current sources match (a saved search's count).
  std::size_t CountUnread(const Query& query);

  // The store's changes (mInbox::IInboxListener); register with mInbox::AddListener.
  void Stored(const std::string& sourceId, const std::vector<mInbox::InboxItem>& items) override;
  void ReadChanged(const std::string& sourceId, const std::string& guid, bool read) override;
  void Deleted(const std::string& sourceId, const std::string& guid) override;
  void SourceRemoved(const std::string& sourceId) override;

 private:
  class Impl;
  explicit SearchIndex(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_impl;
};

// Which of the messages about to be stored in a source match the query (terms, read state and
// dates; a source: filter against the given title): the rules of saved searches decide with it
// before the messages are stored, without the index.
std::vector<bool> MatchArriving(const Query& query, const std::string& sourceTitle,
                                const std::vector<mInbox::InboxItem>& items);

// What is indexed of a stored message (its description in the stored form): the text a reader
// sees, tags dropped and entities decoded, after the header block's From and Subject.
std::string IndexedText(const mInbox::InboxItem& item);

}  // namespace Archive
