#pragma once
// The search above the message tree: a field whose query, while it stands, lists the matching
// messages newest first in place of the tree, fetched a page at a time as the list scrolls. Each
// row shows the source's title, the date, the title (bold while unread) and a line of the text
// around the first match with the matched words marked. Return or a double-click opens a message
// as the tree does; the list follows new, read and deleted messages while it is shown. Escape
// clears the field and gives the tree back as it was.

#include "archive/SearchIndex.h"
#include "core/TreeControl.h"
#include "inbox/InboxEvents.h"

#include <QAbstractListModel>
#include <QStyledItemDelegate>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class IDocumentHost;
class QLabel;
class QLineEdit;
class QListView;
class QTimer;
class QToolButton;

// The hits of one query, a page at a time (canFetchMore/fetchMore).
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
  // sourceTitle: a source's title by its ID (the tree knows it).
  SearchResultModel(std::function<std::string(const std::string&)> sourceTitle,
                    QObject* parent = nullptr);

  // Runs the query on the index from its first page; an empty query or no index lists nothing.
  void SetQuery(Archive::SearchIndex* index, const Archive::Query& query);
  // Runs it again, keeping at least as many rows as were fetched (the list follows changes).
  void Refresh();
  const Archive::Hit* HitAt(int row) const;
  int RowOf(const std::string& sourceId, const std::string& guid) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  static constexpr std::size_t kPageSize = 50;

 private:
  std::function<std::string(const std::string&)> m_sourceTitle;
  Archive::SearchIndex* m_index = nullptr;
  Archive::Query m_query;
  std::vector<Archive::Hit> m_hits;
  std::string m_next;
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
  // The tree gives the sources' titles and is updated when a message opens from the list.
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
};
