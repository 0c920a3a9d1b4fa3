#include "presentation/SearchResultModel.h"

#include <algorithm>
#include <iterator>

namespace {

// Enough rows to scroll about without asking again, few enough to cost nothing: a list of a
// million hits is never held whole.
constexpr std::size_t kMostHeld = 40 * SearchResultModel::kPageSize;

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString Unmarked(QString text) {
  text.remove(QChar(Archive::kMarkOpen));
  text.remove(QChar(Archive::kMarkClose));
  return text;
}

}  // namespace

void AnswerPost::Post(std::function<void()> deliver) {
  std::lock_guard lock(m_mutex);
  if (m_target) QMetaObject::invokeMethod(m_target, std::move(deliver), Qt::QueuedConnection);
}

void AnswerPost::Close() {
  std::lock_guard lock(m_mutex);
  m_target = nullptr;
}

SearchResultModel::SearchResultModel(QObject* parent)
    : QAbstractListModel(parent), m_post(std::make_shared<AnswerPost>(this)) {}

SearchResultModel::~SearchResultModel() { m_post->Close(); }

std::function<SearchResultModel::Reply(Archive::SearchIndex&)> SearchResultModel::PageQuestion(
    const Archive::Query& query, const std::string& from, std::size_t rows) {
  return [query, from, rows](Archive::SearchIndex& index) {
    Archive::Page page = index.Search(query, from, rows);
    return Reply{std::move(page.hits), 0, std::move(page.next), std::nullopt};
  };
}

std::function<SearchResultModel::Reply(Archive::SearchIndex&)> SearchResultModel::RangeQuestion(
    const Archive::Query& query, int first, int count, std::optional<int> total) {
  return [query, first, count, total](Archive::SearchIndex& index) {
    Reply reply;
    const std::size_t rows = total ? std::size_t(*total) : index.Count(query);
    if (!total) reply.total = rows;
    const std::size_t wanted = std::size_t(count);
    const std::size_t from = first >= 0      ? std::size_t(first)
                             : rows > wanted ? rows - wanted
                                             : std::size_t(0);
    reply.first = static_cast<int>(from);
    if (from >= rows) return reply;
    const std::size_t n = std::min(wanted, rows - from);
    const std::size_t fromOldest = rows - from - n;
    // Rows skipped are stepped over from the nearer end.
    reply.hits = from <= fromOldest ? index.SearchRange(query, from, n, false)
                                    : index.SearchRange(query, fromOldest, n, true);
    return reply;
  };
}

void SearchResultModel::Ask(std::function<Reply(Archive::SearchIndex&)> question,
                            std::function<void(Reply)> take) {
  const std::uint64_t ticket = m_ticket;
  m_index->Ask(Archive::SearchIndex::Lane::Results,
               [post = m_post, question = std::move(question), take = std::move(take), ticket,
                model = this](Archive::SearchIndex& index) {
                 auto reply = std::make_shared<Reply>(question(index));
                 post->Post([model, ticket, reply, take] {
                   // A newer query, refresh or end was asked meanwhile.
                   if (ticket == model->m_ticket) take(std::move(*reply));
                 });
               });
}

void SearchResultModel::SetQuery(Archive::SearchIndex* index, const Archive::Query& query) {
  m_index = index;
  m_query = query;
  ++m_ticket;
  m_fetching = false;
  m_short = false;
  m_pending = m_index && !m_query.Empty();
  if (!m_pending) {
    m_next.clear();
    Replace(0, {}, true, false);
    return;
  }
  Ask(PageQuestion(m_query, {}, kPageSize), [this](Reply reply) {
    m_pending = false;
    const int rows = static_cast<int>(reply.hits.size());
    Runs runs;
    if (rows > 0) runs.emplace(0, std::move(reply.hits));
    m_next = std::move(reply.next);
    Replace(rows, std::move(runs), m_next.empty(), false);
    emit Answered(Answer::First);
  });
}

void SearchResultModel::Refresh(int around) {
  if (!m_index || m_query.Empty()) return;
  ++m_ticket;
  m_fetching = false;
  m_short = false;
  m_pending = true;
  if (!m_counted) {
    // Everything shown comes again, from the top.
    Ask(PageQuestion(m_query, {}, std::max(kPageSize, std::size_t(m_rows))), [this](Reply reply) {
      m_pending = false;
      const int rows = static_cast<int>(reply.hits.size());
      Runs runs;
      if (rows > 0) runs.emplace(0, std::move(reply.hits));
      m_next = std::move(reply.next);
      Replace(rows, std::move(runs), m_next.empty(), false);
      emit Answered(Answer::Refreshed);
    });
    return;
  }
  // Counted again, with the page around the row kept; the rest comes as it is shown.
  const int first = std::max(0, around - static_cast<int>(kPageSize) / 2);
  Ask(RangeQuestion(m_query, first, kPageSize, std::nullopt), [this](Reply reply) {
    m_pending = false;
    Replace(static_cast<int>(reply.total.value_or(0)), {}, true, true);
    Put(reply.first, std::move(reply.hits));
    emit Answered(Answer::Refreshed);
  });
}

void SearchResultModel::FetchEnd() {
  if (!m_index || m_query.Empty() || m_endKnown) return;
  ++m_ticket;
  m_fetching = false;
  m_pending = true;
  Ask(RangeQuestion(m_query, -1, kPageSize, std::nullopt), [this](Reply reply) {
    m_pending = false;
    const int total = static_cast<int>(reply.total.value_or(0));
    // The rows fetched from the top stay, as far as they still reach.
    Runs head;
    if (auto run = m_runs.find(0); run != m_runs.end()) {
      std::vector<Archive::Hit> hits = std::move(run->second);
      if (hits.size() > std::size_t(total)) hits.resize(std::size_t(total));
      if (!hits.empty()) head.emplace(0, std::move(hits));
    }
    m_next.clear();
    Replace(total, std::move(head), true, true);
    Put(reply.first, std::move(reply.hits));
    emit Answered(Answer::End);
  });
}

void SearchResultModel::Replace(int rows, Runs runs, bool endKnown, bool counted) {
  beginResetModel();
  m_rows = rows;
  m_runs = std::move(runs);
  m_endKnown = endKnown;
  m_counted = counted;
  m_wantLow = m_wantHigh = -1;
  endResetModel();
}

void SearchResultModel::Put(int first, std::vector<Archive::Hit> hits) {
  if (first < 0 || first >= m_rows || hits.empty()) return;
  if (first + static_cast<int>(hits.size()) > m_rows) hits.resize(std::size_t(m_rows - first));
  const int last = first + static_cast<int>(hits.size());
  // Rows held before give way to the new ones.
  Runs kept;
  for (auto& [start, run] : m_runs) {
    const int end = start + static_cast<int>(run.size());
    if (end <= first || start >= last) {
      kept.emplace(start, std::move(run));
      continue;
    }
    if (start < first) kept.emplace(start, std::vector(run.begin(), run.begin() + (first - start)));
    if (end > last) kept.emplace(last, std::vector(run.begin() + (last - start), run.end()));
  }
  kept.emplace(first, std::move(hits));
  m_runs = std::move(kept);
  emit dataChanged(index(first), index(last - 1));
}

void SearchResultModel::Want(int row) const {
  m_wantLow = m_wantLow < 0 ? row : std::min(m_wantLow, row);
  m_wantHigh = std::max(m_wantHigh, row);
  if (m_fillScheduled) return;
  m_fillScheduled = true;
  // Not from inside data(): the view is painting.
  auto* self = const_cast<SearchResultModel*>(this);
  QMetaObject::invokeMethod(
      self,
      [self] {
        self->m_fillScheduled = false;
        self->FetchWanted();
      },
      Qt::QueuedConnection);
}

void SearchResultModel::FetchWanted() {
  if (m_wantLow < 0 || !m_index || !m_counted || m_pending || m_fetching || m_short) return;
  const int high = std::min(m_wantHigh, m_rows - 1);
  int row = m_wantLow;
  m_wantLow = m_wantHigh = -1;
  while (row <= high && HitAt(row)) ++row;
  if (row > high) return;
  // A page within the gap the row lies in, reaching back when the gap ends close below it.
  const auto after = m_runs.upper_bound(row);
  const int gapEnd = after == m_runs.end() ? m_rows : after->first;
  int gapStart = 0;
  if (after != m_runs.begin()) {
    const auto before = std::prev(after);
    gapStart = before->first + static_cast<int>(before->second.size());
  }
  const int count = std::min(static_cast<int>(kPageSize), gapEnd - gapStart);
  const int first = std::clamp(row, gapStart, gapEnd - count);
  m_fetching = true;
  Ask(RangeQuestion(m_query, first, count, m_rows), [this, count](Reply reply) {
    m_fetching = false;
    // The index changed since the count: the refresh that follows the change counts again.
    m_short = static_cast<int>(reply.hits.size()) < count;
    const int at = reply.first;
    Put(at, std::move(reply.hits));
    Forget(at);
    FetchWanted();
  });
}

void SearchResultModel::Forget(int near) {
  while (HeldRows() > kMostHeld && m_runs.size() > 1) {
    const auto distance = [near](const Runs::value_type& run) {
      return std::abs(run.first + static_cast<int>(run.second.size()) / 2 - near);
    };
    m_runs.erase(std::max_element(m_runs.begin(), m_runs.end(), [&](const auto& a, const auto& b) {
      return distance(a) < distance(b);
    }));
  }
}

std::size_t SearchResultModel::HeldRows() const {
  std::size_t held = 0;
  for (const auto& [start, run] : m_runs) held += run.size();
  return held;
}

const Archive::Hit* SearchResultModel::HitAt(int row) const {
  auto run = m_runs.upper_bound(row);
  if (row < 0 || run == m_runs.begin()) return nullptr;
  --run;
  const std::size_t offset = std::size_t(row - run->first);
  return offset < run->second.size() ? &run->second[offset] : nullptr;
}

int SearchResultModel::RowOf(const std::string& sourceId, const std::string& guid) const {
  for (const auto& [start, run] : m_runs)
    for (std::size_t i = 0; i < run.size(); ++i)
      if (run[i].sourceId == sourceId && run[i].guid == guid) return start + static_cast<int>(i);
  return -1;
}

int SearchResultModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rows;
}

QVariant SearchResultModel::data(const QModelIndex& index, int role) const {
  const Archive::Hit* hit = HitAt(index.row());
  if (!hit) {
    if (index.isValid() && index.row() < m_rows) Want(index.row());
    return {};
  }
  switch (role) {
    case Qt::DisplayRole:
      return Unmarked(FromUtf8(hit->title));
    case Qt::AccessibleTextRole:
      // What a screen reader says: the title with its state, then where and when.
      return Unmarked(FromUtf8(hit->title)) + (hit->read ? QString() : tr(", unread")) +
             QStringLiteral(", ") + FromUtf8(hit->date) + QStringLiteral(", ") +
             FromUtf8(hit->sourceTitle);
    case Qt::ToolTipRole:
      return Unmarked(FromUtf8(hit->snippet));
    case SourceTitleRole:
      return FromUtf8(hit->sourceTitle);
    case DateRole:
      return FromUtf8(hit->date);
    case ReadRole:
      return hit->read;
    case SnippetRole:
      return FromUtf8(hit->snippet);
    case SourceIdRole:
      return FromUtf8(hit->sourceId);
    case GuidRole:
      return FromUtf8(hit->guid);
    default:
      return {};
  }
}

bool SearchResultModel::canFetchMore(const QModelIndex& parent) const {
  // While a first page, refresh or end is awaited, the rows shown are about to go.
  return !parent.isValid() && m_index && !m_endKnown && !m_next.empty() && !m_pending;
}

void SearchResultModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent) || m_fetching) return;
  m_fetching = true;
  Ask(PageQuestion(m_query, m_next, kPageSize), [this](Reply reply) {
    m_fetching = false;
    m_next = std::move(reply.next);
    m_endKnown = m_next.empty();
    if (reply.hits.empty()) return;
    const int first = m_rows;
    beginInsertRows({}, first, first + static_cast<int>(reply.hits.size()) - 1);
    std::vector<Archive::Hit>& head = m_runs[0];
    m_rows += static_cast<int>(reply.hits.size());
    for (Archive::Hit& hit : reply.hits) head.push_back(std::move(hit));
    endInsertRows();
  });
}
