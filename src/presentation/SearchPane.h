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
#include "presentation/SearchResultModel.h"

#include <QStyledItemDelegate>
#include <QWidget>

#include <string>
#include <vector>

class IDocumentHost;
class QLabel;
class QLineEdit;
class QListView;
class QTimer;
class QToolButton;

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
  // Makes the message the list's current row; false when the list does not show it.
  bool SelectMessage(const std::string& sourceId, const std::string& guid);
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
  void Answered(SearchResultModel::Answer answer);

  TreeControl& m_tree;
  IDocumentHost& m_host;
  Archive::SearchIndex* m_index = nullptr;
  QString m_whyNot;
  QString m_unreadableDate;
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
