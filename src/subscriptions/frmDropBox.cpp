#include "subscriptions/frmDropBox.h"

#include "core/WindowFunctions.h"
#include "subscriptions/DropBoxLogic.h"
#include "subscriptions/SourceLink.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <string>
#include <vector>

// The resources live in a static library: their registration must be pulled in by name.
static void InitDropBoxResources() { Q_INIT_RESOURCE(Quillpost); }

namespace {

const QColor kBorder(0xc3, 0xcf, 0xdc);

std::vector<DropBoxLogic::Rect> Screens() {
  std::vector<DropBoxLogic::Rect> screens;
  QList<QScreen*> all = QGuiApplication::screens();
  // The primary screen first: a box that lost its screen comes back there.
  if (QScreen* primary = QGuiApplication::primaryScreen()) {
    all.removeAll(primary);
    all.prepend(primary);
  }
  for (const QScreen* screen : all) {
    const QRect area = screen->geometry();
    screens.push_back({area.x(), area.y(), area.width(), area.height()});
  }
  return screens;
}

// A file manager offers local files as links, sometimes with their paths as text too: that is
// a dropped file, not a source link.
bool OffersLinkText(const QMimeData* data) {
  if (!data || !data->hasText()) return false;
  if (!data->hasUrls()) return true;
  const QList<QUrl> urls = data->urls();
  return !std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

// Never a move: a refused or accepted drop must not take anything away from where it came from.
void AcceptAsCopy(QDropEvent* event) {
  if (event->possibleActions() & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else if (event->possibleActions() & Qt::LinkAction) {
    event->setDropAction(Qt::LinkAction);
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace

frmDropBox::frmDropBox(QWidget* parent)
    // Where the desktop lets no program place a window or keep it on top (Wayland), a normal
    // window the user moves and closes as any other; it still takes dropped links.
    : QWidget(parent, WindowFunctions::CanPlaceWindows()
                          ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowDoesNotAcceptFocus
                          : Qt::Window) {
  InitDropBoxResources();
  setObjectName(QStringLiteral("frmDropBox"));
  setWindowTitle(QStringLiteral("Quillpost DropBox"));
  setAttribute(Qt::WA_DeleteOnClose);
  // Opening it leaves the user's window in front.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAcceptDrops(true);
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::white);
  setPalette(colours);

  const QIcon artwork(QStringLiteral(":/icons/dropbox.svg"));
  for (std::size_t index = 0; index < m_pictures.size(); ++index) {
    const int side = DropBoxLogic::kSizes[index].picturePixels;
    m_pictures[index] = artwork.pixmap(QSize(side, side));
  }

  BuildMenu();
  CreateConnections();
  ApplySettings();
}

void frmDropBox::BuildMenu() {
  mnuPopup = new QMenu(this);
  mnuPopup->setObjectName(QStringLiteral("mnuPopup"));

  mnuPopupSize = mnuPopup->addMenu(QString::fromLatin1(DropBoxLogic::kSizeMenuCaption));
  mnuPopupSize->setObjectName(QStringLiteral("mnuPopupSize"));
  auto* sizes = new QActionGroup(this);
  for (std::size_t index = 0; index < mnuPopupSizeOpt.size(); ++index) {
    QAction* option =
        mnuPopupSize->addAction(QString::fromLatin1(DropBoxLogic::kSizes[index].caption));
    option->setObjectName(QStringLiteral("mnuPopupSizeOpt"));
    option->setCheckable(true);
    option->setData(static_cast<int>(index));
    sizes->addAction(option);
    mnuPopupSizeOpt[index] = option;
  }

  mnuPopupLine1 = mnuPopup->addSeparator();
  mnuPopupLine1->setObjectName(QStringLiteral("mnuPopupLine1"));

  mnuPopupTrans = mnuPopup->addMenu(QString::fromLatin1(DropBoxLogic::kTransMenuCaption));
  mnuPopupTrans->setObjectName(QStringLiteral("mnuPopupTrans"));
  auto* levels = new QActionGroup(this);
  for (std::size_t index = 0; index < mnuPopupTransOpt.size(); ++index) {
    QAction* option =
        mnuPopupTrans->addAction(QString::fromLatin1(DropBoxLogic::kTransparencies[index]));
    option->setObjectName(QStringLiteral("mnuPopupTransOpt"));
    option->setCheckable(true);
    option->setData(static_cast<int>(index));
    levels->addAction(option);
    mnuPopupTransOpt[index] = option;
  }

  mnuPopupLine2 = mnuPopup->addSeparator();
  mnuPopupLine2->setObjectName(QStringLiteral("mnuPopupLine2"));

  mnuPopupClose = mnuPopup->addAction(QString::fromLatin1(DropBoxLogic::kCloseCaption));
  mnuPopupClose->setObjectName(QStringLiteral("mnuPopupClose"));
}

void frmDropBox::CreateConnections() {
  for (QAction* option : mnuPopupSizeOpt) {
    connect(option, &QAction::triggered, this,
            [this, index = option->data().toInt()] { mnuPopupSizeOpt_Click(index); });
  }
  for (QAction* option : mnuPopupTransOpt) {
    connect(option, &QAction::triggered, this,
            [this, index = option->data().toInt()] { mnuPopupTransOpt_Click(index); });
  }
  connect(mnuPopupClose, &QAction::triggered, this, &frmDropBox::mnuPopupClose_Click);
}

void frmDropBox::ApplySettings() {
  const DropBoxLogic::Placement placement = DropBoxLogic::LoadPlacement(Screens());
  move(placement.left, placement.top);
  mnuPopupSizeOpt_Click(placement.size);
  mnuPopupTransOpt_Click(placement.trans);
}

void frmDropBox::KeepClearOf(const QRect& menus, const QRect& window) {
  // Where the desktop places windows itself, it decides.
  if (!WindowFunctions::CanPlaceWindows()) return;
  const QScreen* screen = QGuiApplication::screenAt(window.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const auto rect = [](const QRect& r) -> DropBoxLogic::Rect {
    return {r.x(), r.y(), r.width(), r.height()};
  };
  const DropBoxLogic::Placement place =
      DropBoxLogic::ClearOfMenus({x(), y(), SizeIndex(), TransIndex()}, width(), rect(menus),
                                 rect(window), rect(screen->availableGeometry()));
  move(place.left, place.top);
}

int frmDropBox::SizeIndex() const {
  for (std::size_t index = 0; index < mnuPopupSizeOpt.size(); ++index)
    if (mnuPopupSizeOpt[index]->isChecked()) return static_cast<int>(index);
  return m_pictureIndex;
}

int frmDropBox::TransIndex() const {
  for (std::size_t index = 0; index < mnuPopupTransOpt.size(); ++index)
    if (mnuPopupTransOpt[index]->isChecked()) return static_cast<int>(index);
  return 0;
}

void frmDropBox::mnuPopupSizeOpt_Click(int index) {
  index = DropBoxLogic::SizeIndex(index);
  mnuPopupSizeOpt[static_cast<std::size_t>(index)]->setChecked(true);
  m_pictureIndex = index;
  const int side = DropBoxLogic::PixelsFromTwips(DropBoxLogic::WindowTwips(index));
  // The place stays; only the size follows the choice.
  setFixedSize(side, side);
  update();
}

void frmDropBox::mnuPopupTransOpt_Click(int index) {
  index = DropBoxLogic::TransIndex(index);
  mnuPopupTransOpt[static_cast<std::size_t>(index)]->setChecked(true);
  WindowFunctions::ApplyTransparency(this, DropBoxLogic::TransparencyLevel(index));
}

void frmDropBox::mnuPopupClose_Click() { close(); }

void frmDropBox::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  // Without a window frame the picture sits in the middle, with a thin line as the box's edge.
  const QPixmap& picture = m_pictures[static_cast<std::size_t>(m_pictureIndex)];
  const QSize pictureSize = picture.deviceIndependentSize().toSize();
  painter.drawPixmap((width() - pictureSize.width()) / 2, (height() - pictureSize.height()) / 2,
                     picture);
  painter.setPen(kBorder);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void frmDropBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    WindowFunctions::DragForm(this);
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

void frmDropBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    mnuPopup->popup(event->globalPosition().toPoint());
    event->accept();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void frmDropBox::dragEnterEvent(QDragEnterEvent* event) {
  // Anything may come in: what is refused is explained when it is dropped.
  AcceptAsCopy(event);
}

void frmDropBox::dragMoveEvent(QDragMoveEvent* event) { AcceptAsCopy(event); }

void frmDropBox::dropEvent(QDropEvent* event) {
  const bool offersText = OffersLinkText(event->mimeData());
  const QString text = offersText ? event->mimeData()->text() : QString();
  if (offersText && SourceLink::NamesServiceHost(text.toStdString()) &&
      SourceLink::Normalized(text.toStdString())) {
    AcceptAsCopy(event);
  } else {
    event->ignore();
  }
  // The drag source waits for the drop's answer: messages and the dialog come after it.
  QTimer::singleShot(0, this, [this, offersText, text] {
    if (DropBoxLogic::AcceptDrop(offersText, text.toStdString())) emit LinkDropped(text);
  });
}

void frmDropBox::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void frmDropBox::Form_Unload() {
  if (m_unloaded) return;
  m_unloaded = true;
  DropBoxLogic::StorePlacement({pos().x(), pos().y(), SizeIndex(), TransIndex()});
  emit Unloaded();
}
