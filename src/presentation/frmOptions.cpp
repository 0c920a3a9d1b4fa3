#include "presentation/frmOptions.h"

#include "core/TreeModel.h"
#include "core/mAppFunctions.h"
#include "inbox/InboxEvents.h"
#include "inbox/UnreadCounts.h"
#include "archive/SavedSearches.h"
#include "archive/SearchIndex.h"
#include "presentation/PanelActions.h"
#include "presentation/SavedSearchList.h"
#include "presentation/SearchPane.h"
#include "subscriptions/SourceTree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFont>
#include <QIcon>
#include <QMenu>
#include <QPalette>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <QVBoxLayout>

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
    m_header->setCheckable(true);
    m_header->setChecked(true);
    m_header->setArrowType(Qt::DownArrow);
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

frmOptions::frmOptions(IDocumentHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("Messages Sources"));
  m_tree.SetSorted(true);
  m_model = std::make_unique<TreeModel>(m_tree);
  m_model->SetImageList({QIcon(), QIcon(QStringLiteral(":/icons/source.svg")),
                         QIcon(QStringLiteral(":/icons/unread.svg")),
                         QIcon(QStringLiteral(":/icons/read.svg"))});
  m_model->ShowUnreadCounts();
  StartCounts();
  StartSearch();
  BuildOptionBar();
  CreateConnections();
  mSubscriptions::LoadSubscriptions(m_tree);
}

frmOptions::~frmOptions() {
  mInbox::RemoveArrivalRules(m_rules.get());
  mInbox::RemoveListener(m_index.get());
  if (ucSearch) ucSearch->SetIndex(nullptr);
  m_index.reset();
  mInbox::RemoveListener(m_counts.get());
  m_counts->SetWake(nullptr);
  m_counts->Save();
  // The view goes before the model and the tree it shows.
  delete tvMessages;
  tvMessages = nullptr;
  m_counts.reset();
}

// Each source's count from the cache where it still holds; the others are counted on the
// counts' worker and fill in as they come.
void frmOptions::StartCounts() {
  const std::string cacheFile =
      mAppFunctions::PrepareCacheFolder() ? mInbox::CountsCacheFile() : std::string();
  m_counts = std::make_unique<mInbox::UnreadCounts>(mAppFunctions::DataFolder(), cacheFile);
  mInbox::AddListener(m_counts.get());
  m_saveCounts = new QTimer(this);
  m_saveCounts->setSingleShot(true);
  m_saveCounts->setInterval(2'000);
  connect(m_saveCounts, &QTimer::timeout, this, [this] { m_counts->Save(); });
  m_counts->SetWake([this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_counts->TakeCounted();
          // The last count came in: kept at once, as a restart may follow soon.
          if (m_counts->Pending() == 0) m_counts->Save();
        },
        Qt::QueuedConnection);
  });
  m_counts->SetOnChanged([this](const std::string& id) {
    m_model->CountChanged(id);
    m_saveCounts->start();
  });
  m_model->SetCountLookup(
      [this](const TreeControl::Node& node) -> std::optional<TreeModel::SourceCounts> {
        const std::optional<mInbox::SourceCount> count = m_counts->Find(node.Key());
        if (!count) return std::nullopt;
        return TreeModel::SourceCounts{static_cast<int>(count->unread),
                                       static_cast<int>(count->total)};
      });
  // The tree's sources change only with a reload, which resets the model.
  connect(m_model.get(), &QAbstractItemModel::modelReset, this, &frmOptions::TrackSources);
  connect(m_model.get(), &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex& parent) {
            if (!parent.isValid()) TrackSources();
          });
}

void frmOptions::TrackSources() {
  std::vector<std::string> ids;
  for (const TreeControl::Node* node : m_tree.TopLevelNodes()) ids.push_back(node->Key());
  m_counts->SetSources(ids);
  if (m_index) {
    std::vector<Archive::SourceRef> sources;
    for (const TreeControl::Node* node : m_tree.TopLevelNodes())
      sources.push_back({node->Key(), node->Text()});
    m_index->SetSources(sources);
  }
}

void frmOptions::StartSearch() {
  std::string error;
  if (mAppFunctions::PrepareCacheFolder())
    m_index = Archive::SearchIndex::Open(Archive::SearchIndex::DefaultFile(), error);
  else
    error = "the cache folder " + mAppFunctions::CacheFolder() + " cannot be made";
  if (m_index) {
    mInbox::AddListener(m_index.get());
  } else {
    m_indexTrouble = QStringLiteral("Searching is not possible: %1").arg(QString::fromStdString(error));
  }
  m_rules = std::make_unique<Archive::SearchRules>([this](const std::string& sourceId) {
    const TreeControl::Node* node = m_tree.Find(sourceId);
    return node ? node->Text() : std::string();
  });
  mInbox::AddArrivalRules(m_rules.get());
  // Several changes in a moment refresh the list and the counts once.
  m_indexChanged = new QTimer(this);
  m_indexChanged->setSingleShot(true);
  m_indexChanged->setInterval(150);
  connect(m_indexChanged, &QTimer::timeout, this, &frmOptions::IndexChanged);
  if (m_index) {
    m_index->SetOnChange([this] {
      QMetaObject::invokeMethod(m_indexChanged, qOverload<>(&QTimer::start), Qt::QueuedConnection);
    });
  }
  // A renamed source is found under its new title.
  connect(m_model.get(), &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& first) {
            if (!first.parent().isValid()) TrackSources();
          });
}

void frmOptions::IndexChanged() {
  if (ucSearch) ucSearch->IndexChanged();
  if (tvSearches) tvSearches->RefreshCounts(m_index.get());
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
  // The search stands above the tree; while a query stands its list takes the tree's place.
  ucSearch = new SearchPane(m_tree, m_host, picMsgContainer);
  ucSearch->SetIndex(m_index.get(), m_indexTrouble);
  container->addWidget(ucSearch);
  tvSearches = new SavedSearchList(picMsgContainer);
  container->addWidget(tvSearches);
  connect(tvSearches, &SavedSearchList::OpenRequested, this, [this](const QString& query) {
    ucSearch->ShowQuery(query);
    ucSearch->FocusResults();
  });
  connect(tvSearches, &SavedSearchList::EscapePressed, this, [this] {
    if (ucSearch->QueryStands()) ucSearch->Clear();
  });
  connect(tvSearches, &SavedSearchList::SearchesChanged, this, [this] {
    m_rules->Reload();
    tvSearches->RefreshCounts(m_index.get());
  });
  connect(ucSearch, &SearchPane::SaveSearchRequested, this, [this](const QString& query) {
    if (tvSearches->SaveNew(query)) tvSearches->setFocus();
  });
  tvSearches->RefreshCounts(m_index.get());
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
  // Takes the room that a collapsed "Messages" group gives up.
  bar->addStretch(0);

  for (OptionGroup* group : QList<OptionGroup*>{messages} + groups) {
    connect(group->Header(), &QToolButton::toggled, this, [bar, group](bool open) {
      group->Content()->setVisible(open);
      group->Header()->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
      if (group->Content()->objectName() == QLatin1String("picMsgContainer"))
        bar->setStretchFactor(group, open ? 1 : 0);
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
      key.toStdString(), [this] { emit SettingsRequested(); }, [this] { emit SchedulerRequested(); });
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
