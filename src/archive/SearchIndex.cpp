#include "archive/SearchIndex.h"

#include "archive/InboxText.h"
#include "archive/IndexFile.h"
#include "archive/IndexWorker.h"
#include "archive/Matching.h"
#include "archive/QueryPlan.h"
#include "archive/QueryWorker.h"
#include "archive/Sqlite.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/InboxSections.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace Archive {

// The reading side: the caller's connection, the plans run on it, and the hits made of its rows.
class SearchIndex::Impl {
 public:
  Impl(const std::string& file, Sql::Database read, Sql::Database write)
      : m_file(file),
        m_dataFolder(mAppFunctions::DataFolder()),
        m_read(std::move(read)),
        m_tokenizer(std::make_unique<Sql::Tokenizer>(m_read)),
        m_worker(file, m_dataFolder, std::move(write)) {}

  // The question running is answered while everything it uses is still whole.
  ~Impl() { m_questions.reset(); }

  IndexWorker& Worker() { return m_worker; }
  QueryWorker& Questions() { return *m_questions; }

  // What a plan lists: `limit` rows from the `skip`th on, below the id `before`, from either end.
  struct Range {
    std::optional<std::int64_t> before;
    std::size_t skip = 0;
    std::size_t limit = 0;
    bool oldestFirst = false;
    bool snippets = true;
  };

  // The hits of the range, newest first; `next` is where the following page of a newest-first
  // range begins, when there is one.
  Page Search(const Query& query, const Range& range) {
    Page page;
    if (range.limit == 0) return page;
    std::lock_guard reading(m_readMutex);
    try {
      ReopenIfReplaced();
      const IndexWorker::View view = m_worker.Current();
      const QueryPlan::Plan plan =
          QueryPlan::Make(query, view.sources, range.before, *m_tokenizer, range.oldestFirst);
      if (plan.nothing) return page;
      Sql::Statement select(m_read, plan.sql + " LIMIT ?4 OFFSET ?5");
      plan.Bind(select)
          .Bind(4, std::int64_t(range.limit + 1))
          .Bind(5, static_cast<std::int64_t>(range.skip));
      std::vector<QueryPlan::Row> rows;
      while (select.Step()) rows.push_back(QueryPlan::RowOf(select));
      if (rows.size() > range.limit) {
        rows.resize(range.limit);
        if (!range.oldestFirst) page.next = QueryPlan::PageEnd(rows.back().id);
      }
      if (range.oldestFirst) std::reverse(rows.begin(), rows.end());
      std::unordered_map<std::int64_t, const QueryPlan::Source*> sources;
      for (const QueryPlan::Source& source : view.sources) sources.emplace(source.sid, &source);
      for (QueryPlan::Row& row : rows) {
        const auto source = sources.find(row.sid);
        if (source == sources.end()) continue;
        if (const auto told = view.told.find(IndexWorker::Key(source->second->id, row.guid));
            told != view.told.end()) {
          if (!told->second) continue;  // deleted
          row.read = *told->second;
          if (query.read && *query.read != row.read) continue;
        }
        page.hits.push_back(HitOf(row, *source->second, plan.phrases, range.snippets));
      }
    } catch (const Sql::Error& error) {
      Damaged(error);
      page = {};
    }
    return page;
  }

  std::size_t Count(const Query& query) {
    std::lock_guard reading(m_readMutex);
    try {
      ReopenIfReplaced();
      const QueryPlan::Plan plan =
          QueryPlan::Make(query, m_worker.Current().sources, std::nullopt, *m_tokenizer);
      if (plan.nothing) return 0;
      Sql::Statement count(m_read, "SELECT count(*) FROM (" + plan.sql + ")");
      plan.Bind(count);
      return count.Step() ? std::size_t(count.Int(0)) : 0;
    } catch (const Sql::Error& error) {
      Damaged(error);
      return 0;
    }
  }

 private:
  Hit HitOf(const QueryPlan::Row& row, const QueryPlan::Source& source,
            const std::vector<Matching::Phrase>& phrases, bool snippet) const {
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
    hit.markedTitle = Matching::Marked(row.title, phrases, *m_tokenizer);
    mInbox::InboxItem item;
    item.description = InboxSections::LoadDescription(InboxText::InboxFile(m_dataFolder, source.id),
                                                      row.guid, row.at, row.size);
    hit.snippet = Matching::Snippet(InboxText::IndexedText(item), phrases, *m_tokenizer);
    return hit;
  }

  // A damaged file found by a search: the worker starts it afresh.
  void Damaged(const Sql::Error& error) {
    if (error.Damaged()) m_worker.Damaged();
  }

  // After the worker started the file afresh, this side's connection still reads the old one.
  void ReopenIfReplaced() {
    if (!m_worker.TakeReplaced()) return;
    m_tokenizer.reset();
    m_read = IndexFile::OpenForReading(m_file);
    m_tokenizer = std::make_unique<Sql::Tokenizer>(m_read);
  }

  const std::string m_file;
  const std::string m_dataFolder;
  std::mutex m_readMutex;  // the caller's connection
  Sql::Database m_read;
  std::unique_ptr<Sql::Tokenizer> m_tokenizer;
  IndexWorker m_worker;
  std::unique_ptr<QueryWorker> m_questions = std::make_unique<QueryWorker>();
};

SearchIndex::SearchIndex(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
SearchIndex::~SearchIndex() = default;

std::unique_ptr<SearchIndex> SearchIndex::Open(const std::string& file, std::string& error) {
  try {
    if (file.empty()) throw Sql::Error(14, "no cache folder for the search index");
    Sql::Database write = IndexFile::Open(file);
    Sql::Database read = IndexFile::OpenForReading(file);
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
  m_impl->Worker().SetSources(sources, rebuildStale);
}
Progress SearchIndex::Indexing() const { return m_impl->Worker().Indexing(); }
bool SearchIndex::WaitUntilCurrent(std::chrono::milliseconds timeout,
                                   const std::function<void(const Progress&)>& progress) {
  return m_impl->Worker().WaitUntilCurrent(timeout, progress);
}
bool SearchIndex::Flush(std::chrono::milliseconds timeout) {
  return m_impl->Worker().Flush(timeout);
}
void SearchIndex::SetOnChange(std::function<void()> onChange) {
  m_impl->Worker().SetOnChange(std::move(onChange));
}
std::size_t SearchIndex::IndexedMessages() const { return m_impl->Worker().IndexedMessages(); }

Page SearchIndex::Search(const Query& query, const std::string& from, std::size_t pageSize,
                         bool snippets) {
  return m_impl->Search(query, {QueryPlan::PageStart(from), 0, pageSize, false, snippets});
}
std::vector<Hit> SearchIndex::SearchRange(const Query& query, std::size_t skip, std::size_t count,
                                          bool fromOldest) {
  return m_impl->Search(query, {std::nullopt, skip, count, fromOldest, true}).hits;
}
std::size_t SearchIndex::Count(const Query& query) { return m_impl->Count(query); }
std::size_t SearchIndex::CountUnread(const Query& query) {
  if (query.read == true) return 0;
  Query unread = query;
  unread.read = false;
  return m_impl->Count(unread);
}

void SearchIndex::Ask(Lane lane, std::function<void(SearchIndex&)> question) {
  m_impl->Questions().Ask(static_cast<int>(lane),
                          [this, question = std::move(question)] { question(*this); });
}
void SearchIndex::DrainQuestions() { m_impl->Questions().Drain(); }

void SearchIndex::Stored(const std::string& sourceId, const std::vector<mInbox::InboxItem>& items) {
  Change change;
  change.kind = Change::Kind::Stored;
  change.sourceId = sourceId;
  // Put in the stored form on the worker: the store's thread only copies them.
  change.items = items;
  m_impl->Worker().Tell(std::move(change));
}

void SearchIndex::ReadChanged(const std::string& sourceId, const std::string& guid, bool read) {
  Change change;
  change.kind = Change::Kind::Read;
  change.sourceId = sourceId;
  change.guid = mInbox::NormalizedGuid(guid);
  change.read = read;
  m_impl->Worker().Tell(std::move(change));
}

void SearchIndex::Deleted(const std::string& sourceId, const std::string& guid) {
  Change change;
  change.kind = Change::Kind::Deleted;
  change.sourceId = sourceId;
  change.guid = mInbox::NormalizedGuid(guid);
  m_impl->Worker().Tell(std::move(change));
}

void SearchIndex::SourceRemoved(const std::string& sourceId) {
  Change change;
  change.kind = Change::Kind::Removed;
  change.sourceId = sourceId;
  m_impl->Worker().Tell(std::move(change));
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
