#pragma once
// The search above the message tree: a field whose query, while it stands, lists the matching
// messages newest first in place of the tree, fetched a page at a time as the list scrolls. Each
// row shows the source's title, the date, the title (bold while unread) and a line of the text
// around the first match with the matched words marked. Return or a double-click opens a message
// as the tree does; the list follows new, read and deleted messages while it is shown. Escape
// clears the field and gives the tree back as it was. Queries and snippets are answered on the
// index's query thread; the window's thread only shows the answers.

#include "archive/SearchIndex.h"
#include "core/TreeControl.h"
#include "inbox/InboxEvents.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class IDocumentHost;
class QLabel;
class QLineEdit;
class QListView;
class QTimer;
class QToolButton;

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

// The hits of one query, a page at a time (canFetchMore/fetchMore), each page asked of the index
// on its query thread. Every new query or refresh has a ticket of its own: answers to an older
// one are dropped, so the list never shows what a superseded query found.
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
  explicit SearchResultModel(QObject* parent = nullptr);
  ~SearchResultModel() override;

  // An empty query or no index lists nothing at once; else the first page is asked for, and the
  // rows shown stay until it comes.
  void SetQuery(Archive::SearchIndex* index, const Archive::Query& query);
  // Asks again for at least as many rows as are shown (the list follows changes).
  void Refresh();
  // A first page or a refresh is asked for and not answered yet.
  bool Pending() const { return m_pending; }
  const Archive::Hit* HitAt(int row) const;
  int RowOf(const std::string& sourceId, const std::string& guid) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  static constexpr std::size_t kPageSize = 50;

 signals:
  // The rows now answer the query: its first page came (refreshed: again, for a change).
  void Answered(bool refreshed);

 private:
  void Ask(const std::string& from, std::size_t pageSize, bool refreshed, bool more);
  void Take(std::uint64_t ticket, Archive::Page page, bool refreshed, bool more);

  Archive::SearchIndex* m_index = nullptr;
  Archive::Query m_query;
  std::vector<Archive::Hit> m_hits;
  std::string m_next;
  std::uint64_t m_ticket = 0;  // the query's or refresh's whose answers count
  bool m_pending = false;
  bool m_fetching = false;
  std::shared_ptr<AnswerPost> m_post;
};

// Draws a hit on three lines: source and date, title, the marked snippet.
class SearchResultDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class SearchPane : public QWidget, public mInbox::IInboxListener {
  Q_OBJECT

 public:
  // The tree is updated when a message opens from the list.
  SearchPane(TreeControl& tree, IDocumentHost& host, QWidget* parent = nullptr);
  ~SearchPane() override;

  // The index to search; null: searching is not possible (the field says why).
  void SetIndex(Archive::SearchIndex* index, const QString& whyNot = {});
  // Puts the focus in the field, its text selected (Ctrl+F).
  void FocusField();
  // Empties the field: the tree comes back.
  void Clear();
  // Shows the query's list, as a saved search opens.
  void ShowQuery(const QString& text);
  bool QueryStands() const;
  // The index wrote changes: the list follows them.
  void IndexChanged();
  // The focus to the list (a saved search opened), else to the field.
  void FocusResults();
  QString QueryText() const;

  QLineEdit* txtSearch = nullptr;
  QToolButton* btnSaveSearch = nullptr;
  QLabel* lblSearchState = nullptr;
  QListView* lstResults = nullptr;

  // mInbox::IInboxListener: the list follows the inboxes while it is shown.
  void Stored(const std::string& sourceId, const std::vector<mInbox::InboxItem>& items) override;
  void ReadChanged(const std::string& sourceId, const std::string& guid, bool read) override;
  void Deleted(const std::string& sourceId, const std::string& guid) override;
  void SourceRemoved(const std::string& sourceId) override;

 signals:
  // A query began to stand (the list replaces the tree) or was cleared (the tree comes back).
  void QueryActiveChanged(bool active);
  // "Save Search" for the standing query.
  void SaveSearchRequested(const QString& query);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateConnections();
  void RunQuery();
  void OpenCurrent();
  void UpdateState();
  void ScheduleRefresh();
  void Answered(bool refreshed);

  TreeControl& m_tree;
  IDocumentHost& m_host;
  Archive::SearchIndex* m_index = nullptr;
  QString m_whyNot;
  SearchResultModel* m_model = nullptr;
  QTimer* m_typing = nullptr;
  QTimer* m_refresh = nullptr;
  QTimer* m_progress = nullptr;
  bool m_active = false;
  std::size_t m_lastPending = 0;
  // The row to select again once a refresh is answered.
  std::string m_keptSource, m_keptGuid;
  int m_keptRow = -1;
};
