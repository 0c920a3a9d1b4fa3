#include "presentation/SearchPane.h"

#include "presentation/PanelActions.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Keys typed in one go ask one query; the index's query thread drops a query still waiting
// when a newer one comes, so there is no need to wait for a pause in typing.
constexpr int kTypingMs = 0;
// Changes to the inboxes come in bursts: the list follows them once.
constexpr int kRefreshMs = 300;
constexpr int kProgressMs = 500;

// The snippet as rich text: escaped, its marked words bold.
QString MarkedHtml(const QString& snippet) {
  QString html;
  for (const QChar c : snippet) {
    if (c == QChar(Archive::kMarkOpen)) {
      html += QStringLiteral("<b>");
    } else if (c == QChar(Archive::kMarkClose)) {
      html += QStringLiteral("</b>");
    } else {
      html += QString(c).toHtmlEscaped();
    }
  }
  return html;
}

}  // namespace

void SearchResultDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QString title = opt.text;
  opt.text.clear();
  QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

  const bool selected = opt.state & QStyle::State_Selected;
  const QPalette::ColorGroup group =
      opt.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
  const QColor text =
      opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
  const QRect area = opt.rect.adjusted(6, 3, -6, -3);
  const int line = opt.fontMetrics.height();
  painter->save();
  painter->setPen(text);
  // Source and date, small and quiet.
  QFont small = opt.font;
  small.setPointSizeF(small.pointSizeF() * 0.9);
  painter->setFont(small);
  const QString date = index.data(SearchResultModel::DateRole).toString();
  const QFontMetrics smallMetrics(small);
  const int dateWidth = smallMetrics.horizontalAdvance(date);
  painter->drawText(
      QRect(area.left(), area.top(), area.width() - dateWidth - 8, line),
      Qt::AlignLeft | Qt::AlignVCenter,
      smallMetrics.elidedText(index.data(SearchResultModel::SourceTitleRole).toString(),
                              Qt::ElideRight, area.width() - dateWidth - 8));
  painter->drawText(QRect(area.left(), area.top(), area.width(), line),
                    Qt::AlignRight | Qt::AlignVCenter, date);
  // The title, bold while unread.
  QFont titleFont = opt.font;
  titleFont.setBold(!index.data(SearchResultModel::ReadRole).toBool());
  painter->setFont(titleFont);
  const QFontMetrics titleMetrics(titleFont);
  painter->drawText(QRect(area.left(), area.top() + line, area.width(), line),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    titleMetrics.elidedText(title, Qt::ElideRight, area.width()));
  // The snippet, its matched words bold, on one line.
  QTextDocument snippet;
  snippet.setDefaultFont(small);
  snippet.setDocumentMargin(0);
  snippet.setTextWidth(-1);
  snippet.setHtml(QStringLiteral("<span style=\"white-space:pre\">") +
                  MarkedHtml(index.data(SearchResultModel::SnippetRole).toString()) +
                  QStringLiteral("</span>"));
  painter->translate(area.left(), area.top() + 2 * line);
  painter->setClipRect(QRect(0, 0, area.width(), line));
  QAbstractTextDocumentLayout::PaintContext context;
  context.palette.setColor(QPalette::Text, text);
  snippet.documentLayout()->draw(painter, context);
  painter->restore();
}

QSize SearchResultDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return {option.rect.width(), 3 * option.fontMetrics.height() + 8};
}

SearchPane::SearchPane(TreeControl& tree, IDocumentHost& host, QWidget* parent)
    : QWidget(parent), m_tree(tree), m_host(host) {
  setObjectName(QStringLiteral("SearchPane"));
  txtSearch = new QLineEdit(this);
  txtSearch->setObjectName(QStringLiteral("txtSearch"));
  txtSearch->setPlaceholderText(QStringLiteral("Search messages (Ctrl+F)"));
  txtSearch->setClearButtonEnabled(true);
  txtSearch->setAccessibleName(QStringLiteral("Search messages"));
  txtSearch->setAccessibleDescription(
      QStringLiteral("Words to find; \"a phrase\", word*, -word, source:title, is:unread, is:read, "
                     "after:YYYY-MM-DD, before:YYYY-MM-DD"));
  btnSaveSearch = new QToolButton(this);
  btnSaveSearch->setObjectName(QStringLiteral("btnSaveSearch"));
  btnSaveSearch->setText(QStringLiteral("Save Search"));
  btnSaveSearch->setToolTip(QStringLiteral("Keep this search under a name"));
  btnSaveSearch->setEnabled(false);
  lblSearchState = new QLabel(this);
  lblSearchState->setObjectName(QStringLiteral("lblSearchState"));
  lblSearchState->setWordWrap(true);
  lblSearchState->hide();
  lstResults = new QListView(this);
  lstResults->setObjectName(QStringLiteral("lstResults"));
  lstResults->setAccessibleName(QStringLiteral("Matching messages"));
  lstResults->setUniformItemSizes(true);
  lstResults->setSelectionMode(QAbstractItemView::SingleSelection);
  lstResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lstResults->hide();
  m_model = new SearchResultModel(this);
  lstResults->setModel(m_model);
  lstResults->setItemDelegate(new SearchResultDelegate(lstResults));

  auto* field = new QHBoxLayout;
  field->setContentsMargins(0, 0, 0, 0);
  field->addWidget(txtSearch, 1);
  field->addWidget(btnSaveSearch);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(field);
  // Below the list, so that it never pushes rows down; while the list has no row it stands
  // right under the field.
  layout->addWidget(lstResults, 1);
  layout->addWidget(lblSearchState);
  layout->addStretch(0);

  m_typing = new QTimer(this);
  m_typing->setSingleShot(true);
  m_refresh = new QTimer(this);
  m_refresh->setSingleShot(true);
  m_progress = new QTimer(this);
  CreateConnections();
  mInbox::AddListener(this);
}

SearchPane::~SearchPane() { mInbox::RemoveListener(this); }

void SearchPane::CreateConnections() {
  connect(txtSearch, &QLineEdit::textChanged, this, [this] { m_typing->start(kTypingMs); });
  connect(m_typing, &QTimer::timeout, this, &SearchPane::RunQuery);
  connect(m_refresh, &QTimer::timeout, this, [this] {
    if (!m_active) return;
    const QModelIndex current = lstResults->currentIndex();
    m_keptSource = current.data(SearchResultModel::SourceIdRole).toString().toStdString();
    m_keptGuid = current.data(SearchResultModel::GuidRole).toString().toStdString();
    m_keptRow = current.isValid() ? current.row() : -1;
    m_model->Refresh(std::max(m_keptRow, 0));
  });
  connect(m_model, &SearchResultModel::Answered, this, &SearchPane::Answered);
  connect(m_progress, &QTimer::timeout, this, [this] {
    // Sources that became current bring their hits.
    const std::size_t pending = m_index ? m_index->Indexing().pending : 0;
    if (pending != m_lastPending) ScheduleRefresh();
    m_lastPending = pending;
    if (pending == 0) m_progress->stop();
    UpdateState();
  });
  connect(lstResults, &QListView::doubleClicked, this, &SearchPane::OpenCurrent);
  connect(btnSaveSearch, &QToolButton::clicked, this,
          [this] { emit SaveSearchRequested(txtSearch->text().trimmed()); });
  txtSearch->installEventFilter(this);
  lstResults->installEventFilter(this);
}

void SearchPane::SetIndex(Archive::SearchIndex* index, const QString& whyNot) {
  m_index = index;
  m_whyNot = whyNot;
  txtSearch->setEnabled(index != nullptr);
  txtSearch->setToolTip(index ? QString() : whyNot);
  if (m_active) RunQuery();
}

void SearchPane::FocusField() {
  txtSearch->setFocus(Qt::ShortcutFocusReason);
  txtSearch->selectAll();
}

void SearchPane::Clear() {
  m_typing->stop();
  txtSearch->clear();
  RunQuery();
}

void SearchPane::ShowQuery(const QString& text) {
  txtSearch->setText(text);
  RunQuery();
}

bool SearchPane::QueryStands() const { return m_active; }

void SearchPane::IndexChanged() { ScheduleRefresh(); }

void SearchPane::FocusResults() {
  if (m_active && m_model->rowCount() > 0)
    lstResults->setFocus(Qt::OtherFocusReason);
  else
    txtSearch->setFocus(Qt::OtherFocusReason);
}

bool SearchPane::SelectMessage(const std::string& sourceId, const std::string& guid) {
  const int row = m_active ? m_model->RowOf(sourceId, guid) : -1;
  if (row < 0) return false;
  lstResults->setCurrentIndex(m_model->index(row));
  lstResults->scrollTo(m_model->index(row));
  return true;
}

QString SearchPane::QueryText() const { return txtSearch->text().trimmed(); }

void SearchPane::RunQuery() {
  m_typing->stop();
  const QString text = txtSearch->text().trimmed();
  const Archive::Query query = Archive::ParseQuery(text.toStdString());
  const bool active = !text.isEmpty();
  m_keptRow = -1;
  m_unreadableDate = QString::fromStdString(query.unreadableDate);
  m_model->SetQuery(active ? m_index : nullptr, query);
  btnSaveSearch->setEnabled(active && !query.Empty());
  m_lastPending = m_index ? m_index->Indexing().pending : 0;
  if (active && m_lastPending > 0) m_progress->start(kProgressMs);
  // Before the state: a query just cleared leaves no state behind.
  const bool changed = active != m_active;
  m_active = active;
  UpdateState();
  if (changed) emit QueryActiveChanged(active);
}

void SearchPane::UpdateState() {
  QString state;
  if (m_active && !m_unreadableDate.isEmpty()) {
    state = tr("The date in \"%1\" cannot be read: write it as 2026-01-31.").arg(m_unreadableDate);
  } else if (m_active && !m_index) {
    state = m_whyNot;
  } else if (m_active) {
    const Archive::Progress progress = m_index->Indexing();
    if (progress.pending > progress.checking) {
      state = QStringLiteral("Indexing %1 of %2 sources ...")
                  .arg(progress.total - progress.pending + 1)
                  .arg(progress.total);
    } else if (progress.pending == 0 && m_model->rowCount() == 0 && !m_model->Pending()) {
      state = QStringLiteral("No messages match.");
    }
  }
  lblSearchState->setText(state);
  lblSearchState->setVisible(!state.isEmpty());
  // An empty list says nothing: the state stands under the field instead.
  const bool rows = m_active && (m_model->rowCount() > 0 || state.isEmpty());
  if (!rows && lstResults->hasFocus()) txtSearch->setFocus(Qt::OtherFocusReason);
  lstResults->setVisible(rows);
}

void SearchPane::Answered(SearchResultModel::Answer answer) {
  using Answer = SearchResultModel::Answer;
  const int rows = m_model->rowCount();
  if (answer == Answer::First) {
    // A new query starts at its newest match.
    if (rows > 0) lstResults->setCurrentIndex(m_model->index(0));
  } else if (answer == Answer::End) {
    if (rows > 0) {
      lstResults->setCurrentIndex(m_model->index(rows - 1));
      lstResults->scrollToBottom();
    }
  } else if (m_keptRow >= 0 && rows > 0) {
    // The message selected before, or the row where it stood when it went.
    const int row = m_model->RowOf(m_keptSource, m_keptGuid);
    lstResults->setCurrentIndex(m_model->index(row >= 0 ? row : std::min(m_keptRow, rows - 1)));
  }
  m_keptRow = -1;
  UpdateState();
}

void SearchPane::OpenCurrent() {
  const Archive::Hit* hit = m_model->HitAt(lstResults->currentIndex().row());
  if (!hit) return;
  const Archive::Hit opened = *hit;
  PanelActions::OpenMessage(m_tree, m_host, opened.sourceId, opened.guid);
}

void SearchPane::ScheduleRefresh() {
  if (m_active) m_refresh->start(kRefreshMs);
}

void SearchPane::Stored(const std::string&, const std::vector<mInbox::InboxItem>&) {
  ScheduleRefresh();
}

void SearchPane::ReadChanged(const std::string&, const std::string&, bool) { ScheduleRefresh(); }

void SearchPane::Deleted(const std::string&, const std::string&) { ScheduleRefresh(); }

void SearchPane::SourceRemoved(const std::string&) { ScheduleRefresh(); }

bool SearchPane::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && m_active) {
    Clear();
    return true;
  }
  if (watched == txtSearch && m_active && m_model->rowCount() > 0 &&
      (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    m_typing->stop();
    lstResults->setFocus(Qt::TabFocusReason);
    if (!lstResults->currentIndex().isValid()) lstResults->setCurrentIndex(m_model->index(0));
    return true;
  }
  if (watched == lstResults && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    OpenCurrent();
    return true;
  }
  // End reaches the last match without fetching the rows between.
  if (watched == lstResults && key->key() == Qt::Key_End && !m_model->EndKnown()) {
    m_model->FetchEnd();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}
