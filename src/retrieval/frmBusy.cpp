#include "retrieval/frmBusy.h"

#include "core/WindowFunctions.h"
#include "retrieval/CheckRun.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kWindowWidth = 400;
constexpr int kQueueRows = 5;
const QColor kAccent(38, 104, 196);

// Shows as much of its text as fits, with an ellipsis, so a long title cannot widen the
// fixed window; text() keeps the whole text.
class ElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override { return {1, QLabel::minimumSizeHint().height()}; }
  QSize sizeHint() const override { return {1, QLabel::sizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
  }
};

// The labels' face where installed, otherwise the desktop's own.
QFont LabelFont() {
  QFont font = QApplication::font();
  if (QFontDatabase::hasFamily(QStringLiteral("Verdana")))
    font.setFamily(QStringLiteral("Verdana"));
  return font;
}

QLabel* Caption(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QStringList ToQt(const std::vector<std::string>& texts) {
  QStringList list;
  list.reserve(static_cast<qsizetype>(texts.size()));
  for (const auto& text : texts) list.push_back(QString::fromStdString(text));
  return list;
}

}  // namespace

BusyAnimation::BusyAnimation(QWidget* parent) : QWidget(parent) {
  setFixedSize(sizeHint());
  m_timer = new QTimer(this);
  m_timer->setInterval(kFrameMs);
  connect(m_timer, &QTimer::timeout, this, [this] {
    m_frame = (m_frame + 1) % kSpokes;
    update();
  });
}

bool BusyAnimation::Running() const { return m_timer->isActive(); }

void BusyAnimation::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  const QPointF centre = QRectF(rect()).center();
  const qreal radius = qMin(width(), height()) / 2.0 - 4.0;
  for (int spoke = 0; spoke < kSpokes; ++spoke) {
    // The dot at the current frame is the head; the ones behind it fade out.
    const int age = (m_frame - spoke + kSpokes) % kSpokes;
    QColor colour = kAccent;
    colour.setAlphaF(1.0 - 0.8 * age / (kSpokes - 1));
    painter.setBrush(colour);
    painter.save();
    painter.translate(centre);
    painter.rotate(360.0 * spoke / kSpokes);
    painter.drawEllipse(QPointF(0, -radius), 2.6 - 0.1 * age, 2.6 - 0.1 * age);
    painter.restore();
  }
}

void BusyAnimation::showEvent(QShowEvent* event) {
  m_timer->start();
  QWidget::showEvent(event);
}

void BusyAnimation::hideEvent(QHideEvent* event) {
  m_timer->stop();
  QWidget::hideEvent(event);
}

frmBusy::frmBusy(QWidget* anchor)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      m_anchor(anchor) {
  setObjectName(QStringLiteral("frmBusy"));
  setWindowTitle(QStringLiteral("Quillpost"));
  setFocusPolicy(Qt::StrongFocus);

  // Its own light grey on a light desktop; a dark desktop's colours otherwise, whole (a light
  // grey must never meet a dark theme's light text).
  if (!WindowFunctions::IsDark(palette())) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey));
    colours.setColor(QPalette::WindowText, Qt::black);
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    setPalette(colours);
  }
  setAutoFillBackground(true);
  setFont(LabelFont());

  imgQuillpost = new BusyAnimation(this);
  imgQuillpost->setObjectName(QStringLiteral("imgQuillpost"));
  lblChecking = new QLabel(QStringLiteral("Checking for New Messages ... "), this);
  lblChecking->setObjectName(QStringLiteral("lblChecking"));
  QFont headingFont = font();
  headingFont.setBold(true);
  lblChecking->setFont(headingFont);

  lblSource = new ElidedLabel(this);
  lblSource->setObjectName(QStringLiteral("lblSource"));
  lblStatus = new ElidedLabel(this);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lstQueue = new QListWidget(this);
  lstQueue->setObjectName(QStringLiteral("lstQueue"));
  lstQueue->setSelectionMode(QAbstractItemView::NoSelection);
  // The keys belong to the window, so Ctrl+Alt+Q reaches it.
  lstQueue->setFocusPolicy(Qt::NoFocus);
  lstQueue->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lstQueue->setTextElideMode(Qt::ElideRight);
  lstQueue->setFixedHeight(lstQueue->fontMetrics().height() * kQueueRows +
                           2 * lstQueue->frameWidth() + 6);

  auto* heading = new QHBoxLayout;
  heading->setSpacing(10);
  heading->addWidget(imgQuillpost);
  heading->addWidget(lblChecking, 1);

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(10);
  fields->setVerticalSpacing(8);
  fields->addWidget(Caption(QStringLiteral("Source:"), this), 0, 0);
  fields->addWidget(lblSource, 0, 1);
  fields->addWidget(Caption(QStringLiteral("Sources in Queue:"), this), 1, 0);
  fields->addWidget(lstQueue, 1, 1);
  fields->addWidget(Caption(QStringLiteral("Status:"), this), 2, 0);
  fields->addWidget(lblStatus, 2, 1);
  fields->setColumnStretch(1, 1);

  btnStop = new QPushButton(QStringLiteral("Stop"), this);
  btnStop->setObjectName(QStringLiteral("btnStop"));
  // The keys stay with the window, so Escape and Ctrl+Alt+Q reach it.
  btnStop->setFocusPolicy(Qt::NoFocus);
  connect(btnStop, &QPushButton::clicked, this, [] { mAppFunctions::StopCheck(); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnStop);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 12, 14, 14);
  layout->setSpacing(12);
  layout->addLayout(heading);
  layout->addLayout(fields);
  layout->addLayout(buttons);

  // A fixed single border: the size is set once and cannot be changed.
  setFixedSize(kWindowWidth, layout->sizeHint().height());

  WindowFunctions::ApplyTransparency(this, kTransparencyLevel);
}

void frmBusy::SetQueue(const QStringList& titles) {
  lstQueue->clear();
  lstQueue->addItems(titles);
}

void frmBusy::RemoveFirst() {
  if (lstQueue->count() > 0) delete lstQueue->takeItem(0);
}

void frmBusy::SetSource(const QString& title) {
  lblSource->setText(title);
  lblSource->setToolTip(title);
}

void frmBusy::SetStatus(const QString& text) { lblStatus->setText(text); }

void frmBusy::PlaceOverAnchor() {
  QScreen* screen = nullptr;
  QPoint centre;
  if (m_anchor && m_anchor->isVisible() && !m_anchor->isMinimized()) {
    screen = m_anchor->screen();
    centre = m_anchor->frameGeometry().center();
  } else {
    screen = QGuiApplication::primaryScreen();
    if (screen) centre = screen->availableGeometry().center();
  }
  // The frame's size once the desktop has framed the window; before that, the client's.
  QRect placed(QPoint(0, 0), frameGeometry().size());
  placed.moveCenter(centre);
  if (screen) {
    // Keep it whole on the screen when the anchor sits near an edge.
    const QRect area = screen->availableGeometry();
    if (placed.right() > area.right()) placed.moveRight(area.right());
    if (placed.bottom() > area.bottom()) placed.moveBottom(area.bottom());
    if (placed.left() < area.left()) placed.moveLeft(area.left());
    if (placed.top() < area.top()) placed.moveTop(area.top());
  }
  move(placed.topLeft());
}

// Escape stops the run only here, in the active busy window with no menu, box or dialog over
// it: in the main window Escape belongs to its own controls (the tree's label editor, the tabs).
void frmBusy::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
      isActiveWindow() && !QApplication::activeModalWidget() &&
      !QApplication::activePopupWidget()) {
    mAppFunctions::StopCheck();
    return;
  }
  QWidget::keyPressEvent(event);
}

void frmBusy::keyReleaseEvent(QKeyEvent* event) {
  const auto chord = Qt::ControlModifier | Qt::AltModifier;
  if (event->key() == Qt::Key_Q && event->modifiers() == chord && !event->isAutoRepeat()) {
    close();
    return;
  }
  QWidget::keyReleaseEvent(event);
}

BusyProgress::BusyProgress(QWidget* mainWindow, ucTrayAlert& alert)
    : m_mainWindow(mainWindow), m_alert(&alert) {}

BusyProgress::BusyProgress(QWidget* mainWindow)
    : m_mainWindow(mainWindow),
      m_ownAlert(std::make_unique<ucTrayAlert>()),
      m_alert(m_ownAlert.get()) {}

BusyProgress::~BusyProgress() { delete m_window.data(); }

frmBusy* BusyProgress::EnsureWindow() {
  if (!m_window) {
    m_window = new frmBusy(m_mainWindow);
    m_window->SetQueue(m_queue);
    m_window->SetSource(m_source);
    m_window->SetStatus(m_status);
  }
  return m_window;
}

void BusyProgress::SetQueue(const std::vector<std::string>& titles) {
  m_queue = ToQt(titles);
  // Prepared now, shown with the first source.
  EnsureWindow()->SetQueue(m_queue);
}

void BusyProgress::RemoveFirst() {
  if (!m_queue.isEmpty()) m_queue.removeFirst();
  if (m_window) m_window->RemoveFirst();
}

void BusyProgress::SetSource(const std::string& title) {
  m_source = QString::fromStdString(title);
  if (m_window) m_window->SetSource(m_source);
}

void BusyProgress::SetStatus(const std::string& text) {
  m_status = QString::fromStdString(text);
  if (m_window) m_window->SetStatus(m_status);
}

void BusyProgress::Show() {
  frmBusy* window = EnsureWindow();
  if (window->isVisible()) return;
  window->PlaceOverAnchor();
  window->show();
  // Again with the frame the window now has.
  window->PlaceOverAnchor();
  window->raise();
}

void BusyProgress::Close() {
  // Unloaded with the run's end; the next run prepares a fresh one.
  delete m_window.data();
  m_source.clear();
  m_status.clear();
  m_queue.clear();
}

void BusyProgress::Alert(const std::string& summary) {
  const QString text = QString::fromStdString(summary);
  if (m_notifications && m_notifications->Show(text)) return;
  if (m_alert) m_alert->ShowAlert(text, kAlertMs);
}
