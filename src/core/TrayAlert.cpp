#include "core/TrayAlert.h"

#include "core/WindowFunctions.h"

#include <QApplication>
#include <QBitmap>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 320;
constexpr int kScreenMargin = 12;
constexpr int kPadding = 12;
constexpr qreal kRadius = 8.0;

// Line ends as the summary has them (CR LF) become plain breaks; trailing blank lines go.
QString DisplayText(const QString& text) {
  QString display = text;
  display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  display.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  while (!display.isEmpty() && display.back().isSpace()) display.chop(1);
  return display;
}

QScreen* NotificationScreen() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) return screen;
  const auto screens = QGuiApplication::screens();
  return screens.isEmpty() ? nullptr : screens.front();
}

}  // namespace

ucTrayAlert::ucTrayAlert(QWidget* parent)
    // A plain window where the desktop does not let a program place one (Wayland).
    : QWidget(parent, WindowFunctions::CanPlaceWindows()
                          ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowDoesNotAcceptFocus
                          : Qt::Window) {
  setObjectName(QStringLiteral("ucTrayAlert"));
  // Its own name in window lists and for screen readers; frameless, so nobody sees it.
  setWindowTitle(QStringLiteral("Quillpost notice"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);

  m_title = new QLabel(QStringLiteral("Quillpost"), this);
  QFont titleFont = m_title->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 0.9);
  m_title->setFont(titleFont);
  m_closeMark = new QLabel(QString(QChar(0x00D7)), this);
  m_closeMark->setToolTip(QStringLiteral("Close"));

  m_body = new QLabel(this);
  m_body->setObjectName(QStringLiteral("lblAlertText"));
  m_body->setTextFormat(Qt::PlainText);
  m_body->setWordWrap(true);
  m_body->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  m_scroll = new QScrollArea(this);
  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setWidgetResizable(true);
  m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_scroll->setWidget(m_body);
  m_scroll->viewport()->setAutoFillBackground(false);
  m_body->setAutoFillBackground(false);

  auto* header = new QHBoxLayout;
  header->addWidget(m_title);
  header->addStretch();
  header->addWidget(m_closeMark);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kPadding, kPadding - 4, kPadding, kPadding);
  layout->setSpacing(6);
  layout->addLayout(header);
  layout->addWidget(m_scroll);

  // Clicks on the text close the notice like clicks on the frame.
  m_scroll->viewport()->installEventFilter(this);
  m_body->installEventFilter(this);

  m_timer = new QTimer(this);
  m_timer->setSingleShot(true);
  m_fade = new QPropertyAnimation(this, "windowOpacity", this);
  m_fade->setDuration(kFadeMs);
  m_fade->setStartValue(1.0);
  m_fade->setEndValue(0.0);
  CreateConnections();
}

ucTrayAlert::~ucTrayAlert() = default;

void ucTrayAlert::ApplyColours() {
  // The tooltip's colours where they go with the desktop's (a light yellow notice on a light
  // desktop); many dark themes leave those light, so a dark desktop may get its window colours.
  const QPalette desktop = QApplication::palette();
  const bool darkTips = desktop.color(QPalette::ToolTipBase).lightness() <
                        desktop.color(QPalette::ToolTipText).lightness();
  const bool tips = darkTips == WindowFunctions::IsDark(desktop);
  QPalette colours = desktop;
  colours.setColor(QPalette::Window,
                   desktop.color(tips ? QPalette::ToolTipBase : QPalette::Window));
  colours.setColor(QPalette::WindowText,
                   desktop.color(tips ? QPalette::ToolTipText : QPalette::WindowText));
  setPalette(colours);
}

void ucTrayAlert::CreateConnections() {
  connect(m_timer, &QTimer::timeout, this, &ucTrayAlert::StartFade);
  connect(m_fade, &QPropertyAnimation::finished, this, &ucTrayAlert::Dismiss);
}

void ucTrayAlert::ShowAlert(const QString& text, int displayMs) {
  m_text = text;
  m_displayMs = displayMs > 0 ? displayMs : kDefaultDisplayMs;
  m_timer->stop();
  m_fade->stop();
  const QString display = DisplayText(text);
  if (display.trimmed().isEmpty()) {
    Dismiss();
    return;
  }
  m_body->setText(display);
  // The desktop's colours as they are now: its theme may have changed since the last notice.
  ApplyColours();

  // The notice grows with its text up to half the screen, then scrolls.
  setFixedWidth(kWidth);
  const QScreen* screen = NotificationScreen();
  const int maxBody = screen ? screen->availableGeometry().height() / 2 : 400;
  const int bodyWidth = kWidth - 2 * kPadding;
  m_scroll->setFixedHeight(qMin(m_body->heightForWidth(bodyWidth), maxBody));
  adjustSize();
  setFixedHeight(sizeHint().height());

  PlaceNearNotificationArea();
  ResetOpacity();
  show();
  raise();
  m_timer->start(m_displayMs);
}

void ucTrayAlert::PlaceNearNotificationArea() {
  const QScreen* screen = NotificationScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  move(area.right() - width() - kScreenMargin + 1, area.bottom() - height() - kScreenMargin + 1);
}

void ucTrayAlert::StartFade() {
  if (!isVisible()) return;
  // A compositor that takes no opacity from programs (Wayland) gets no fade either.
  if (!WindowFunctions::CanPlaceWindows()) {
    Dismiss();
    return;
  }
  m_fade->start();
}

void ucTrayAlert::ResetOpacity() {
  if (WindowFunctions::CanPlaceWindows()) setWindowOpacity(1.0);
}

void ucTrayAlert::Dismiss() {
  m_timer->stop();
  m_fade->stop();
  const bool wasVisible = isVisible();
  hide();
  ResetOpacity();
  if (wasVisible) emit Closed();
}

void ucTrayAlert::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPen border(palette().color(QPalette::WindowText));
  border.setWidthF(1.0);
  QColor borderColour = border.color();
  borderColour.setAlpha(90);
  border.setColor(borderColour);
  painter.setPen(border);
  painter.setBrush(palette().color(QPalette::Window));
  painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
}

void ucTrayAlert::resizeEvent(QResizeEvent* event) {
  // Round corners by shape: a translucent background needs a compositor, which not every
  // desktop has.
  QBitmap shape(size());
  shape.fill(Qt::color0);
  QPainter painter(&shape);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::color1);
  painter.drawRoundedRect(QRectF(rect()), kRadius, kRadius);
  painter.end();
  setMask(shape);
  QWidget::resizeEvent(event);
}

void ucTrayAlert::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) Dismiss();
}

void ucTrayAlert::enterEvent(QEnterEvent* event) {
  // Held while the pointer rests on it, so that a long summary can be read.
  m_timer->stop();
  m_fade->stop();
  ResetOpacity();
  QWidget::enterEvent(event);
}

void ucTrayAlert::leaveEvent(QEvent* event) {
  if (isVisible()) m_timer->start(m_displayMs);
  QWidget::leaveEvent(event);
}

bool ucTrayAlert::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Dismiss();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}
