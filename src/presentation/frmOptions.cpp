#include "presentation/frmOptions.h"

#include "core/TreeModel.h"
#include "inbox/InboxTree.h"
#include "inbox/UnreadCounts.h"
#include "inbox/mInbox.h"
#include "presentation/PanelActions.h"
#include "presentation/ReaderServices.h"
#include "presentation/SavedSearchList.h"
#include "presentation/SearchPane.h"
#include "subscriptions/SourceTree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QPalette>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace {

struct OptionItemRow {
  const char* group;
  const char* text;
  const char* key;
  const char* icon;
};

constexpr OptionItemRow kOptionItems[] = {
    {"Options", "Scheduler", "opt_scheduler", ":/icons/scheduler.svg"},
    {"Options", "Settings", "opt_settings", ":/icons/settings.svg"},
    {"Help", "Help File", "help_file", ":/icons/help.svg"},
    {"Help", "Contact Us", "help_email", ":/icons/email.svg"},
    {"Help", "Visit our Website", "help_website", ":/icons/website.svg"},
};

QFont ItemFont() {
  QFont font(QStringLiteral("Verdana"));
  font.setPointSizeF(8.25);
  return font;
}

// One collapsible group of the option bar: a title button over its content.
class OptionGroup : public QWidget {
 public:
  OptionGroup(const QString& title, bool special, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new QToolButton(this);
    m_header->setObjectName(QStringLiteral("group_") + title);
    m_header->setText(title);
    // The group of the messages never folds: folded, it would hide the tree and the search
    // while the keys meant for them still reached them.
    m_header->setCheckable(!special);
    m_header->setChecked(true);
    m_header->setArrowType(special ? Qt::NoArrow : Qt::DownArrow);
    if (special) m_header->setFocusPolicy(Qt::NoFocus);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QFont bold = ItemFont();
    bold.setBold(true);
    m_header->setFont(bold);
    if (special) {
      // The first group stands out, as the group holding the messages.
      QPalette palette = m_header->palette();
      palette.setColor(QPalette::Button, palette.color(QPalette::Highlight));
      palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
      m_header->setPalette(palette);
      m_header->setAutoFillBackground(true);
    }
    layout->addWidget(m_header);
  }

  void SetContent(QWidget* content, int stretch) {
    m_content = content;
    static_cast<QVBoxLayout*>(layout())->addWidget(content, stretch);
  }

  QToolButton* Header() const { return m_header; }
  QWidget* Content() const { return m_content; }

 private:
  QToolButton* m_header = nullptr;
  QWidget* m_content = nullptr;
};

}  // namespace

frmOptions::frmOptions(IDocumentHost& host, ReaderServices& services, QWidget* parent)
    : QWidget(parent), m_host(host), m_services(services) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("Messages Sources"));
  m_tree.SetSorted(true);
  m_model = std::make_unique<TreeModel>(m_tree);
  m_model->SetImageList({QIcon(), QIcon(QStringLiteral(":/icons/source.svg")),
                         QIcon(QStringLiteral(":/icons/unread.svg")),
                         QIcon(QStringLiteral(":/icons/read.svg"))});
  m_model->ShowUnreadCounts();
  BuildOptionBar();
  FollowServices();
  CreateConnections();
  mSubscriptions::LoadSubscriptions(m_tree);
}

frmOptions::~frmOptions() {
  if (ucSearch) ucSearch->SetIndex(nullptr);
  // The view goes before the model and the tree it shows.
  delete tvMessages;
  tvMessages = nullptr;
}

mInbox::UnreadCounts& frmOptions::Counts() { return m_services.Counts(); }

Archive::SearchIndex* frmOptions::Index() const { return m_services.Index(); }

void frmOptions::FollowServices() {
  m_model->SetCountLookup([this](const TreeControl::Node& node)
                              -> std::optional<TreeModel::SourceCounts> {
    const std::optional<mInbox::SourceCount> count = Counts().Find(node.Key());
    if (!count) return std::nullopt;
    return TreeModel::SourceCounts{static_cast<int>(count->unread), static_cast<int>(count->total)};
  });
  connect(&m_services, &ReaderServices::CountChanged, this,
          [this](const QString& id) { m_model->CountChanged(id.toStdString()); });
  connect(&m_services, &ReaderServices::IndexChanged, this, &frmOptions::IndexChanged);
}

void frmOptions::IndexChanged() {
  if (ucSearch) ucSearch->IndexChanged();
  if (tvSearches) tvSearches->RefreshCounts(Index());
}

void frmOptions::ReloadSources() { mSubscriptions::LoadSubscriptions(m_tree); }

void frmOptions::ReloadSource(const std::string& sourceId) { mInbox::LoadInbox(m_tree, sourceId); }

void frmOptions::ReloadSearches() {
  tvSearches->Reload();
  tvSearches->RefreshCounts(Index());
}

void frmOptions::FocusSearch() {
  if (ucSearch) ucSearch->FocusField();
}

QToolButton* frmOptions::OptionItem(const QString& key) const {
  for (QToolButton* item : m_items)
    if (item->objectName() == key) return item;
  return nullptr;
}

void frmOptions::BuildOptionBar() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  ucOptionbar = new QWidget(this);
  ucOptionbar->setObjectName(QStringLiteral("ucOptionbar"));
  outer->addWidget(ucOptionbar);

  auto* bar = new QVBoxLayout(ucOptionbar);
  bar->setContentsMargins(2, 2, 2, 2);
  bar->setSpacing(4);

  auto* messages = new OptionGroup(QStringLiteral("Messages"), true, ucOptionbar);
  picMsgContainer = new QWidget(messages);
  picMsgContainer->setObjectName(QStringLiteral("picMsgContainer"));
  auto* container = new QVBoxLayout(picMsgContainer);
  container->setContentsMargins(0, 0, 0, 0);
  // The saved searches stand first, where a search's list never moves them; the search stands
  // above the tree, and while a query stands its list takes the tree's place.
  tvSearches = new SavedSearchList(picMsgContainer);
  container->addWidget(tvSearches);
  ucSearch = new SearchPane(m_tree, m_host, picMsgContainer);
  ucSearch->SetIndex(Index(), m_services.IndexTrouble());
  container->addWidget(ucSearch);
  connect(tvSearches, &SavedSearchList::OpenRequested, this, [this](const QString& query) {
    ucSearch->ShowQuery(query);
    ucSearch->FocusResults();
  });
  connect(tvSearches, &SavedSearchList::EscapePressed, this, [this] {
    if (ucSearch->QueryStands()) ucSearch->Clear();
  });
  // The rules follow the saved searches' store themselves.
  connect(tvSearches, &SavedSearchList::SearchesChanged, this,
          [this] { tvSearches->RefreshCounts(Index()); });
  connect(ucSearch, &SearchPane::SaveSearchRequested, this, [this](const QString& query) {
    if (tvSearches->SaveNew(query)) tvSearches->setFocus();
  });
  tvSearches->RefreshCounts(Index());
  tvMessages = new QTreeView(picMsgContainer);
  tvMessages->setObjectName(QStringLiteral("tvMessages"));
  tvMessages->setAccessibleName(QStringLiteral("Message sources"));
  tvMessages->setAccessibleDescription(
      QStringLiteral("Each source with its messages. N opens the next unread message."));
  container->addWidget(tvMessages, 1);
  connect(ucSearch, &SearchPane::QueryActiveChanged, this, [this, container](bool active) {
    tvMessages->setVisible(!active);
    container->setStretchFactor(ucSearch, active ? 1 : 0);
    if (!active) tvMessages->setFocus();
  });
  messages->SetContent(picMsgContainer, 1);
  m_model->AttachView(tvMessages);
  // A check run disables the tree, and Qt then moves the keyboard focus to the next control of
  // the panel; give it back to the tree afterwards unless the user has gone elsewhere.
  connect(m_model.get(), &TreeModel::ControlEnabledChanged, tvMessages, [this](bool enabled) {
    QWidget* focus = QApplication::focusWidget();
    const bool inPanel = focus == nullptr || focus == tvMessages || isAncestorOf(focus);
    if (!enabled) {
      m_refocusAfterRun = inPanel;
    } else if (m_refocusAfterRun && inPanel) {
      tvMessages->setFocus();
    }
  });
  bar->addWidget(messages, 1);

  const QFont font = ItemFont();
  QList<OptionGroup*> groups;
  for (const OptionItemRow& row : kOptionItems) {
    const QString title = QString::fromLatin1(row.group);
    if (groups.isEmpty() || groups.last()->Header()->text() != title) {
      auto* group = new OptionGroup(title, false, ucOptionbar);
      auto* content = new QWidget(group);
      auto* items = new QVBoxLayout(content);
      items->setContentsMargins(8, 2, 2, 2);
      items->setSpacing(0);
      group->SetContent(content, 0);
      bar->addWidget(group);
      groups << group;
    }
    auto* item = new QToolButton(groups.last()->Content());
    item->setObjectName(QString::fromLatin1(row.key));
    item->setText(QString::fromLatin1(row.text));
    item->setIcon(QIcon(QString::fromLatin1(row.icon)));
    item->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    item->setAutoRaise(true);
    item->setCursor(Qt::PointingHandCursor);
    item->setFont(font);
    item->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    groups.last()->Content()->layout()->addWidget(item);
    m_items << item;
  }
  for (OptionGroup* group : groups) {
    connect(group->Header(), &QToolButton::toggled, this, [group](bool open) {
      group->Content()->setVisible(open);
      group->Header()->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    });
  }
}

void frmOptions::CreateConnections() {
  PanelActions::Attach(
      m_tree, m_host, [this](int x, int y) { tvMessages_OpenPopup(x, y); },
      [this](int x, int y) { OpenPopup(m_sourcePopup, x, y); });
  tvMessages->installEventFilter(this);
  for (QToolButton* item : m_items) {
    connect(item, &QToolButton::clicked, this,
            [this, key = item->objectName()] { ucOptionbar_ItemClick(key); });
  }
}

void frmOptions::ucOptionbar_ItemClick(const QString& key) {
  PanelActions::OptionBarItemClick(
      key.toStdString(), [this] { emit SettingsRequested(); },
      [this] { emit SchedulerRequested(); });
}

void frmOptions::tvMessages_OpenPopup(int x, int y) { OpenPopup(m_popup, x, y); }

void frmOptions::OpenPopup(QMenu* menu, int x, int y) {
  if (!menu || !tvMessages) return;
  menu->popup(tvMessages->viewport()->mapToGlobal(QPoint(x, y)));
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event) {
  if (watched != tvMessages || event->type() != QEvent::ContextMenu ||
      static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Keyboard) {
    return QWidget::eventFilter(watched, event);
  }
  // At the selected row, raised as a right click there.
  const QRect row = tvMessages->visualRect(tvMessages->currentIndex());
  const QPoint at = row.isValid() ? row.center() : QPoint(0, 0);
  TreeControl::Node* selected = m_tree.SelectedItem();
  if (selected && selected->IsTopLevel()) {
    if (PanelActions::SourceMouseUp(m_tree, TreeControl::ButtonRight, at.x(), at.y()))
      OpenPopup(m_sourcePopup, at.x(), at.y());
  } else if (PanelActions::MouseUp(m_tree, TreeControl::ButtonRight, 0, at.x(), at.y())) {
    OpenPopup(m_popup, at.x(), at.y());
  }
  return true;
}
