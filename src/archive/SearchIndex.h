#pragma once
// The search index: every message of every inbox as text, in SQLite's FTS5, in the cache folder
// (mAppFunctions::CacheFolder). It is derived and disposable: the inbox files stay the only
// truth, a missing, damaged, foreign-version or stale index is rebuilt source by source in the
// background, and a source's hits are shown only once its part of the index is current, so that
// no result ever contradicts the inbox files.
//
// Threads: every public member may be called from any thread. Indexing runs on a worker of its
// own (IndexWorker); Search and CountUnread take the time of the query, so windows Ask them on
// the index's query thread instead and only show the answers.

#include "archive/ListedSources.h"
#include "archive/Query.h"
#include "inbox/InboxEvents.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Archive {

// The matched words in a snippet (and a title) stand between these two characters.
inline constexpr char kMarkOpen = '\x02';
inline constexpr char kMarkClose = '\x03';

struct Hit {
  std::string sourceId;
  std::string sourceTitle;  // as the index was last given it
  std::string guid;         // as the inbox names the message
  std::string title;
  std::string markedTitle;  // the title with the matched words marked
  std::string date;         // as stored: "Sat, 05 Dec 2026"
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
  // store told; a question running on the query thread is answered first.
  ~SearchIndex() override;

  // The subscribed sources, in the subscription file's order. The list held again costs nothing;
  // new sources are compared with their inbox files on the worker, and those not current (their
  // inbox changed while no Quillpost ran, a restored backup, even one copied with its size and
  // time kept) are indexed in the background, one after another. Sources no longer listed are not
  // searched; their part of the index goes once their inbox is gone. Titles serve the source:
  // filter and the hits.
  // rebuildStale false: only keeps current sources current (a check without windows, which must
  // not spend its time indexing); the others wait for a reader or a search.
  void SetSources(const std::vector<SourceRef>& sources, bool rebuildStale = true);
  Progress Indexing() const;
  // Waits until every source is current, telling progress as it goes (once the sources are
  // compared with their inbox files); false when the time ran
  // out (the command line's search uses it), or without rebuildStale as soon as the sources are
  // checked and told changes written while some are stale.
  bool WaitUntilCurrent(std::chrono::milliseconds timeout,
                        const std::function<void(const Progress&)>& progress = {});
  // Waits until the changes the store told are written to the index; false when the time ran out.
  bool Flush(std::chrono::milliseconds timeout);
  // Called on the indexing thread whenever what searches find may have changed (a source became
  // current, told changes were written): a window refreshes its list, counts and progress then.
  // Until then a search already leaves out messages told deleted and shows told read flags.
  void SetOnChange(std::function<void()> onChange);
  // Messages whose text this index put into its file since it was opened (0 for a start on an
  // archive that did not change).
  std::size_t IndexedMessages() const;

  // Matching messages of current sources, newest first (by date, time and zone, as the tree
  // orders them; undated last), a page at a time. An empty query, or one of words the index
  // cannot search for ("^"), finds nothing. Without snippets the inbox files are not read.
  Page Search(const Query& query, const std::string& from = {}, std::size_t pageSize = 50,
              bool snippets = true);
  // `count` matches from the `skip`th on, counted from the newest or (fromOldest) from the oldest
  // end, listed newest first either way. The matches skipped are stepped over, not read: a page
  // at either end of a long list comes at once (a list's End).
  std::vector<Hit> SearchRange(const Query& query, std::size_t skip, std::size_t count,
                               bool fromOldest);
  // How many messages of current sources match; how many of them are unread (a saved search's
  // count).
  std::size_t Count(const Query& query);
  std::size_t CountUnread(const Query& query);

  // A window's questions (Search, CountUnread inside `question`), answered on the index's query
  // thread (QueryWorker): a lane holds at most one question waiting, a newer one replaces it.
  // The question hands its answer to its window itself, and must not outlive what it captures.
  enum class Lane { Results, Counts };
  void Ask(Lane lane, std::function<void(SearchIndex&)> question);
  // Returns once the questions asked so far are answered.
  void DrainQuestions();

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

}  // namespace Archive
