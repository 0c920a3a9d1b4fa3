#pragma once
// The hits of one query as a list model, asked of the index on its query thread a page at a time.
// The list starts with the newest page and grows as it scrolls (canFetchMore/fetchMore). End asks
// how many hits there are and for the last page only: the list then holds every row, and a row
// between is asked for when it is shown. Every new query, refresh or End has a ticket of its own:
// answers to an older one are dropped, so the list never shows what a superseded query found.

#include "archive/SearchIndex.h"

#include <QAbstractListModel>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Brings answers from the index's query thread to an object on its own thread, or drops them once
// the object is gone (a question may still run then). Its owner closes it when it goes.
class AnswerPost {
 public:
  explicit AnswerPost(QObject* target) : m_target(target) {}
  // From any thread: `deliver` runs on the target's thread, unless the post was closed.
  void Post(std::function<void()> deliver);
  void Close();

 private:
  std::mutex m_mutex;
  QObject* m_target;
};

class SearchResultModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    SourceTitleRole = Qt::UserRole + 1,
    DateRole,
    ReadRole,
    SnippetRole,  // with Archive::kMarkOpen/kMarkClose around the matched words
    SourceIdRole,
    GuidRole,
  };
  // What an answer brought: a new query's first page, the rows again after a change, the end.
  enum class Answer { First, Refreshed, End };

  explicit SearchResultModel(QObject* parent = nullptr);
  ~SearchResultModel() override;

  // An empty query or no index lists nothing at once; else the first page is asked for, and the
  // rows shown stay until it comes.
  void SetQuery(Archive::SearchIndex* index, const Archive::Query& query);
  // Asks again for the rows shown (the list follows changes), keeping the row `around` in reach.
  void Refresh(int around);
  // Asks for the number of hits and the last page; answered with Answer::End.
  void FetchEnd();
  // Every hit has its row (the last one too), fetched or not.
  bool EndKnown() const { return m_endKnown; }
  // A first page, a refresh or the end is asked for and not answered yet.
  bool Pending() const { return m_pending; }
  // Null for a row whose page has not come.
  const Archive::Hit* HitAt(int row) const;
  int RowOf(const std::string& sourceId, const std::string& guid) const;
  // The hits held now: what scrolling and End have fetched and kept.
  std::size_t HeldRows() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  static constexpr std::size_t kPageSize = 50;

 signals:
  void Answered(SearchResultModel::Answer answer);

 private:
  // Rows known to be there, held in runs of consecutive rows by their first row.
  using Runs = std::map<int, std::vector<Archive::Hit>>;
  struct Reply {
    std::vector<Archive::Hit> hits;
    int first = 0;                     // the row of the first hit
    std::string next;                  // where the newest-first page that follows begins
    std::optional<std::size_t> total;  // when the hits were counted
  };
  // Asks on the query thread; the answer comes to Take with the ticket of now.
  void Ask(std::function<Reply(Archive::SearchIndex&)> question, std::function<void(Reply)> take);
  // The page that begins at the cursor `from` (empty: the newest), with at most `rows` hits.
  static std::function<Reply(Archive::SearchIndex&)> PageQuestion(const Archive::Query& query,
                                                                  const std::string& from,
                                                                  std::size_t rows);
  // `count` hits from row `first` on (first < 0: the last ones), asked from the nearer end of
  // `total` rows; counted first when the total is not known.
  static std::function<Reply(Archive::SearchIndex&)> RangeQuestion(const Archive::Query& query,
                                                                   int first, int count,
                                                                   std::optional<int> total);
  void Replace(int rows, Runs runs, bool endKnown, bool counted);
  void Put(int first, std::vector<Archive::Hit> hits);
  // A row not fetched was shown: its page is asked for once the model is free.
  void Want(int row) const;
  void FetchWanted();
  // Keeps the held rows few, giving up those farthest from the row just fetched.
  void Forget(int near);

  Archive::SearchIndex* m_index = nullptr;
  Archive::Query m_query;
  int m_rows = 0;
  Runs m_runs;
  std::string m_next;
  bool m_endKnown = true;
  bool m_counted = false;      // the rows come from a count, not all fetched
  std::uint64_t m_ticket = 0;  // the query's, refresh's or end's whose answers count
  bool m_pending = false;
  bool m_fetching = false;
  bool m_short = false;  // a page came shorter than asked: no more until the next refresh
  mutable int m_wantLow = -1, m_wantHigh = -1;
  mutable bool m_fillScheduled = false;
  std::shared_ptr<AnswerPost> m_post;
};
