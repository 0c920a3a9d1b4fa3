#include "presentation/SavedSearchList.h"

#include "archive/SearchIndex.h"
#include "core/AppInfo.h"
#include "core/Services.h"
#include "presentation/SearchPane.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>

namespace {

constexpr int kMostRowsShown = 8;
constexpr const char* kRemoveTitle = "Remove Saved Search";

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

frmSaveSearch::frmSaveSearch(const Archive::SavedSearch& search,
                             std::vector<Archive::SavedSearch> others, Purpose purpose,
                             QWidget* parent)
    : QDialog(parent), m_others(std::move(others)) {
  setObjectName(QStringLiteral("frmSaveSearch"));
  setWindowTitle(purpose == Purpose::Edit ? tr("Edit Saved Search") : tr("Save Search"));
  txtName = new QLineEdit(Text(search.name), this);
  txtName->setObjectName(QStringLiteral("txtName"));
  txtQuery = new QLineEdit(Text(search.query), this);
  txtQuery->setObjectName(QStringLiteral("txtQuery"));
  cboRule = new QComboBox(this);
  cboRule->setObjectName(QStringLiteral("cboRule"));
  cboRule->addItems({tr("None"), tr("Mark as Read"), tr("Delete")});
  cboRule->setCurrentIndex(static_cast<int>(search.rule));
  lblProblem = new QLabel(this);
  lblProblem->setObjectName(QStringLiteral("lblProblem"));
  lblProblem->setVisible(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* form = new QFormLayout(this);
  form->addRow(tr("&Name:"), txtName);
  form->addRow(tr("&Search for:"), txtQuery);
  form->addRow(tr("New &messages:"), cboRule);
  form->addRow(lblProblem);
  form->addRow(buttons);
  cboRule->setToolTip(tr("What happens to a new message this search finds"));
  // A hint shown stays only while its cause does.
  for (QLineEdit* field : {txtName, txtQuery}) {
    connect(field, &QLineEdit::textChanged, this, [this] {
      if (!lblProblem->isHidden()) ShowProblem(Problem());
    });
  }
  txtName->selectAll();
  resize(420, sizeHint().height());
}

Archive::SavedSearch frmSaveSearch::Search() const {
  return {txtName->text().simplified().toStdString(), txtQuery->text().trimmed().toStdString(),
          static_cast<Archive::Rule>(cboRule->currentIndex())};
}

QString frmSaveSearch::Problem() const {
  const Archive::SavedSearch search = Search();
  if (search.name.empty()) return tr("Give the search a name.");
  if (!Archive::NameIsFree(m_others, search.name)) return tr("Another saved search has that name.");
  if (search.query.empty()) return tr("Give the words to search for.");
  const std::string date = Archive::ParseQuery(search.query).unreadableDate;
  if (!date.empty())
    return tr("The date in \"%1\" cannot be read: write it as 2026-01-31.").arg(Text(date));
  return {};
}

void frmSaveSearch::ShowProblem(const QString& problem) {
  lblProblem->setText(problem);
  lblProblem->setVisible(!problem.isEmpty());
}

void frmSaveSearch::accept() {
  const QString problem = Problem();
  ShowProblem(problem);
  if (problem.isEmpty()) QDialog::accept();
}

SavedSearchList::SavedSearchList(QWidget* parent)
    : QTreeView(parent), m_post(std::make_shared<AnswerPost>(this)) {
  setObjectName(QStringLiteral("tvSearches"));
  setAccessibleName(QStringLiteral("Saved searches"));
  setHeaderHidden(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setFrameShape(QFrame::NoFrame);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_model = new QStandardItemModel(this);
  setModel(m_model);
  mnuPopupSearch = new QMenu(this);
  mnuPopupSearch->setObjectName(QStringLiteral("mnuPopupSearch"));
  mnuPopupSearch->addAction(QStringLiteral("&Open"), this, &SavedSearchList::OpenCurrent);
  mnuPopupSearch->addAction(QStringLiteral("&Rename ..."), this, &SavedSearchList::RenameCurrent);
  mnuPopupSearch->addAction(QStringLiteral("&Edit ..."), this, &SavedSearchList::EditCurrent);
  mnuPopupSearch->addAction(QStringLiteral("Re&move"), this, &SavedSearchList::RemoveCurrent);
  connect(this, &QTreeView::doubleClicked, this, [this] { OpenCurrent(); });
  connect(this, &QTreeView::expanded, this, &SavedSearchList::FitHeight);
  connect(this, &QTreeView::collapsed, this, &SavedSearchList::FitHeight);
  Reload();
}

SavedSearchList::~SavedSearchList() { m_post->Close(); }

void SavedSearchList::Reload() {
  ++m_countsTicket;
  const QString current = currentIndex().data(Qt::UserRole).toString();
  const bool wasFolded = m_model->rowCount() > 0 && !isExpanded(m_model->index(0, 0));
  m_searches = Archive::LoadSavedSearches();
  m_counts.assign(m_searches.size(), 0);
  m_model->clear();
  auto* group =
      new QStandardItem(QIcon(QStringLiteral(":/icons/search.svg")), QStringLiteral("Searches"));
  for (const Archive::SavedSearch& search : m_searches) {
    auto* item = new QStandardItem(Text(search.name));
    item->setData(Text(search.name), Qt::UserRole);
    item->setToolTip(Text(search.query));
    group->appendRow(item);
  }
  m_model->appendRow(group);
  if (!wasFolded) expand(m_model->index(0, 0));
  for (int row = 0; row < group->rowCount(); ++row)
    if (group->child(row)->data(Qt::UserRole).toString() == current)
      setCurrentIndex(group->child(row)->index());
  setVisible(!m_searches.empty());
  FitHeight();
}

void SavedSearchList::RefreshCounts(Archive::SearchIndex* index) {
  const std::uint64_t ticket = ++m_countsTicket;
  if (!index) {
    ShowCounts(ticket, std::vector<std::size_t>(m_searches.size(), 0));
    return;
  }
  std::vector<Archive::Query> queries;
  for (const Archive::SavedSearch& search : m_searches)
    queries.push_back(Archive::ParseQuery(search.query));
  index->Ask(Archive::SearchIndex::Lane::Counts,
             [post = m_post, queries = std::move(queries), ticket,
              list = this](Archive::SearchIndex& index) {
               std::vector<std::size_t> counts;
               for (const Archive::Query& query : queries)
                 counts.push_back(index.CountUnread(query));
               post->Post([list, ticket, counts] { list->ShowCounts(ticket, counts); });
             });
}

void SavedSearchList::ShowCounts(std::uint64_t ticket, const std::vector<std::size_t>& counts) {
  QStandardItem* group = m_model->item(0);
  if (!group || ticket != m_countsTicket) return;
  for (std::size_t i = 0;
       i < m_searches.size() && i < std::size_t(group->rowCount()) && i < counts.size(); ++i) {
    const std::size_t unread = counts[i];
    m_counts[i] = unread;
    QStandardItem* item = group->child(static_cast<int>(i));
    const QString name = Text(m_searches[i].name);
    item->setText(unread > 0 ? QStringLiteral("%1 (%2)").arg(name).arg(unread) : name);
    QFont font = item->font();
    font.setBold(unread > 0);
    item->setFont(font);
    item->setData(unread > 0 ? QStringLiteral("%1, %2 unread").arg(name).arg(unread) : name,
                  Qt::AccessibleTextRole);
  }
}

bool SavedSearchList::SaveNew(const QString& query) {
  frmSaveSearch dialog({{}, query.toStdString(), Archive::Rule::None}, m_searches,
                       frmSaveSearch::Purpose::New, window());
  if (dialog.exec() != QDialog::Accepted) return false;
  std::vector<Archive::SavedSearch> searches = m_searches;
  searches.push_back(dialog.Search());
  return Store(std::move(searches));
}

void SavedSearchList::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && CurrentSearch() >= 0) {
    OpenCurrent();
    return;
  }
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    emit EscapePressed();
    return;
  }
  if (event->key() == Qt::Key_Delete && CurrentSearch() >= 0) {
    RemoveCurrent();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void SavedSearchList::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() == QContextMenuEvent::Mouse) {
    const QModelIndex at = indexAt(event->pos());
    if (at.isValid()) setCurrentIndex(at);
  }
  if (CurrentSearch() < 0) return;
  const QPoint where = event->reason() == QContextMenuEvent::Mouse
                           ? event->globalPos()
                           : viewport()->mapToGlobal(visualRect(currentIndex()).center());
  mnuPopupSearch->popup(where);
}

int SavedSearchList::CurrentSearch() const {
  const QModelIndex current = currentIndex();
  if (!current.isValid() || !current.parent().isValid()) return -1;
  return current.row() < static_cast<int>(m_searches.size()) ? current.row() : -1;
}

void SavedSearchList::OpenCurrent() {
  const int row = CurrentSearch();
  if (row >= 0) emit OpenRequested(Text(m_searches[std::size_t(row)].query));
}

void SavedSearchList::RenameCurrent() {
  const int row = CurrentSearch();
  if (row < 0) return;
  std::vector<Archive::SavedSearch> searches = m_searches;
  Archive::SavedSearch& search = searches[std::size_t(row)];
  bool ok = false;
  const QString name =
      QInputDialog::getText(window(), QStringLiteral("Rename Saved Search"),
                            QStringLiteral("&Name:"), QLineEdit::Normal, Text(search.name), &ok)
          .simplified();
  if (!ok || name.toStdString() == search.name) return;
  std::vector<Archive::SavedSearch> others = searches;
  others.erase(others.begin() + row);
  if (!Archive::NameIsFree(others, name.toStdString())) {
    Services::MessageBox().Show("Another saved search has that name, or the name is empty.",
                                AppInfo::kTitle, Services::vbExclamation);
    return;
  }
  search.name = name.toStdString();
  Store(std::move(searches));
}

void SavedSearchList::EditCurrent() {
  const int row = CurrentSearch();
  if (row < 0) return;
  std::vector<Archive::SavedSearch> others = m_searches;
  others.erase(others.begin() + row);
  frmSaveSearch dialog(m_searches[std::size_t(row)], others, frmSaveSearch::Purpose::Edit,
                       window());
  if (dialog.exec() != QDialog::Accepted) return;
  std::vector<Archive::SavedSearch> searches = m_searches;
  searches[std::size_t(row)] = dialog.Search();
  Store(std::move(searches));
}

void SavedSearchList::RemoveCurrent() {
  const int row = CurrentSearch();
  if (row < 0) return;
  const std::string question = "Remove the saved search \"" + m_searches[std::size_t(row)].name +
                               "\"? The messages it finds stay where they are.";
  if (Services::MessageBox().Show(question, kRemoveTitle, Services::vbYesNoQuestionDefaultNo) !=
      Services::vbYes)
    return;
  std::vector<Archive::SavedSearch> searches = m_searches;
  searches.erase(searches.begin() + row);
  Store(std::move(searches));
}

bool SavedSearchList::Store(std::vector<Archive::SavedSearch> searches) {
  if (!Archive::SaveSavedSearches(searches)) {
    Services::MessageBox().Show(
        "The saved searches could not be written to " + Archive::SavedSearchesPath() + ".",
        AppInfo::kTitle, Services::vbExclamation);
    return false;
  }
  Reload();
  emit SearchesChanged();
  return true;
}

void SavedSearchList::FitHeight() {
  int rows = 1;
  if (m_model->rowCount() > 0 && isExpanded(m_model->index(0, 0)))
    rows += m_model->item(0)->rowCount();
  const int row = std::max(sizeHintForRow(0), fontMetrics().height() + 4);
  setFixedHeight(std::min(rows, kMostRowsShown) * row + 2 * frameWidth() + 2);
}
