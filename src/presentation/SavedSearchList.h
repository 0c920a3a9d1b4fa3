#pragma once
// The saved searches, in a group of their own above the sources: a "Searches" node whose children
// they are, each with its unread count. Return or a double-click opens one's list in the search
// pane; its popup menu (right click or the menu key) renames, edits and removes it. Nothing
// written for sources (checks, sorting, renaming with F2) ever meets these nodes, as they stand in
// a view of their own; the group is hidden while there is no saved search.

#include "archive/SavedSearches.h"

#include <QDialog>
#include <QTreeView>

#include <cstdint>
#include <memory>
#include <vector>

class AnswerPost;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QStandardItemModel;

// Keeps a search under a name with an optional rule for arriving messages ("Save Search", and
// "Edit" in a saved search's popup).
class frmSaveSearch : public QDialog {
  Q_OBJECT

 public:
  enum class Purpose { New, Edit };
  // others: the saved searches besides the one edited, whose names are taken.
  frmSaveSearch(const Archive::SavedSearch& search, std::vector<Archive::SavedSearch> others,
                Purpose purpose, QWidget* parent = nullptr);
  Archive::SavedSearch Search() const;

  QLineEdit* txtName = nullptr;
  QLineEdit* txtQuery = nullptr;
  QComboBox* cboRule = nullptr;
  QLabel* lblProblem = nullptr;

  void accept() override;

 private:
  // What keeps the search from being saved; empty when nothing does.
  QString Problem() const;
  void ShowProblem(const QString& problem);

  std::vector<Archive::SavedSearch> m_others;
};

class SavedSearchList : public QTreeView {
  Q_OBJECT

 public:
  explicit SavedSearchList(QWidget* parent = nullptr);
  ~SavedSearchList() override;

  // Reads searches.dat again.
  void Reload();
  const std::vector<Archive::SavedSearch>& Searches() const { return m_searches; }
  // Each search's unread count from the index, counted on its query thread and shown when it
  // comes; none without an index.
  void RefreshCounts(Archive::SearchIndex* index);
  // The dialog for a new search of that query; true when it was saved.
  bool SaveNew(const QString& query);

  QMenu* mnuPopupSearch = nullptr;

 signals:
  void OpenRequested(const QString& query);
  // searches.dat was written: rules and counts follow.
  void SearchesChanged();
  // Escape here too clears a standing search.
  void EscapePressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  int CurrentSearch() const;
  void OpenCurrent();
  void RenameCurrent();
  void EditCurrent();
  void RemoveCurrent();
  bool Store(std::vector<Archive::SavedSearch> searches);
  void FitHeight();
  void ShowCounts(std::uint64_t ticket, const std::vector<std::size_t>& counts);

  QStandardItemModel* m_model = nullptr;
  std::vector<Archive::SavedSearch> m_searches;
  std::vector<std::size_t> m_counts;
  // Counts asked for an older list of searches, or before a newer count, are dropped.
  std::uint64_t m_countsTicket = 0;
  std::shared_ptr<AnswerPost> m_post;
};
