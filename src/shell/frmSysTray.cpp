#include "shell/frmSysTray.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPointer>

namespace {

constexpr const char* kInitialToolTip = "Quillpost";

// The program's window icon, or a drawn one while the program has none.
QIcon InitialIcon() {
  const QIcon windowIcon = QApplication::windowIcon();
  if (!windowIcon.isNull()) return windowIcon;
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(38, 104, 196));
  painter.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(22);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("Q"));
  painter.end();
  return QIcon(pixmap);
}

QString Fit(const QString& text, std::string (*fit)(const std::string&)) {
  return QString::fromStdString(fit(text.toStdString()));
}

QSystemTrayIcon::MessageIcon MessageIconFor(int icon) {
  switch (BalloonIconFromInt(icon).value_or(BalloonIcon::None)) {
    case BalloonIcon::Information:
      return QSystemTrayIcon::Information;
    case BalloonIcon::Warning:
      return QSystemTrayIcon::Warning;
    case BalloonIcon::Error:
      return QSystemTrayIcon::Critical;
    case BalloonIcon::None:
      break;
  }
  return QSystemTrayIcon::NoIcon;
}

// Mouse buttons by the numbers the events carry.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;
constexpr int kMiddleButton = 4;

}  // namespace

frmSysTray::frmSysTray(QObject* parent) : QObject(parent) {
  setObjectName(QStringLiteral("frmSysTray"));
  m_icon = new QSystemTrayIcon(this);
  m_menu = new QMenu();
  m_menu->setObjectName(QStringLiteral("mnuSysTray"));
  CreateConnections();
  SyncMenu();
  m_icon->setIcon(InitialIcon());
  SetToolTip(QString::fromLatin1(kInitialToolTip));
  m_icon->show();
}

frmSysTray::~frmSysTray() {
  m_icon->hide();
  if (m_dispatching) {
    // Destroyed from one of our own signals: the menu or the icon is still up the call stack.
    m_icon->disconnect(this);
    m_icon->setParent(nullptr);
    m_icon->deleteLater();
    m_menu->deleteLater();
  } else {
    delete m_menu;
  }
}

void frmSysTray::CreateConnections() {
  connect(m_icon, &QSystemTrayIcon::activated, this, &frmSysTray::OnActivated);
  connect(m_icon, &QSystemTrayIcon::messageClicked, this, &frmSysTray::BalloonClicked);
}

int frmSysTray::AddMenuItem(const QString& caption, const QString& key, bool makeDefault) {
  const int index = m_model.AddMenuItem(caption.toStdString(), key.toStdString(), makeDefault);
  SyncMenu();
  return index;
}

int frmSysTray::RemoveMenuItem(int index) {
  const int result = m_model.RemoveMenuItem(index);
  SyncMenu();
  return result;
}

void frmSysTray::EnableMenuItem(int index, bool state) {
  m_model.EnableMenuItem(index, state);
  SyncMenu();
}

void frmSysTray::SetDefaultMenuIndex(int index) {
  m_model.SetDefaultMenuIndex(index);
  SyncMenu();
}

void frmSysTray::SetMenuCaption(int index, const QString& text) {
  m_model.SetCaption(index, text.toStdString());
  SyncMenu();
}

QString frmSysTray::MenuCaption(int index) const {
  return QString::fromStdString(m_model.Caption(index));
}

QString frmSysTray::ToolTip() const { return m_toolTip; }

void frmSysTray::SetToolTip(const QString& text) {
  m_toolTip = Fit(text, &TrayText::FitToolTip);
  m_icon->setToolTip(m_toolTip);
}

QIcon frmSysTray::Icon() const { return m_icon->icon(); }

void frmSysTray::SetIcon(const QIcon& icon) {
  if (icon.cacheKey() != m_icon->icon().cacheKey()) m_icon->setIcon(icon);
}

void frmSysTray::ShowBalloonTip(const QString& message, const QString& title, int icon,
                                int timeoutMs) {
  m_lastBalloon.message = Fit(message, &TrayText::FitBalloonMessage);
  m_lastBalloon.title = Fit(title, &TrayText::FitBalloonTitle);
  m_lastBalloon.icon = static_cast<int>(BalloonIconFromInt(icon).value_or(BalloonIcon::None));
  m_lastBalloon.timeoutMs = timeoutMs < 0 ? 0 : timeoutMs;
  if (!Available() || !QSystemTrayIcon::supportsMessages()) return;
  m_icon->showMessage(m_lastBalloon.title, m_lastBalloon.message, MessageIconFor(icon),
                      m_lastBalloon.timeoutMs);
}

bool frmSysTray::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void frmSysTray::ShowMenu() {
  SyncMenu();
  m_menu->popup(QCursor::pos());
  // Take the keyboard, so that the menu closes when the user clicks elsewhere.
  m_menu->activateWindow();
}

void frmSysTray::TriggerMenuItem(int index) {
  if (index < 0 || index >= static_cast<int>(m_actions.size())) return;
  m_actions[static_cast<std::size_t>(index)]->trigger();
}

void frmSysTray::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  QPointer<frmSysTray> self(this);
  m_dispatching = true;
  switch (reason) {
    case QSystemTrayIcon::Context:
      // The main window opens the menu on the press; the release follows it.
      emit SysTrayMouseDown(kRightButton);
      if (self) emit SysTrayMouseUp(kRightButton);
      break;
    case QSystemTrayIcon::DoubleClick:
      emit SysTrayDoubleClick(kLeftButton);
      break;
    case QSystemTrayIcon::Trigger:
      emit SysTrayMouseDown(kLeftButton);
      if (self) emit SysTrayMouseUp(kLeftButton);
      break;
    case QSystemTrayIcon::MiddleClick:
      emit SysTrayMouseDown(kMiddleButton);
      if (self) emit SysTrayMouseUp(kMiddleButton);
      break;
    case QSystemTrayIcon::Unknown:
      break;
  }
  if (self) m_dispatching = false;
}

void frmSysTray::OnActionTriggered(int index) {
  if (!m_model.CanChoose(index)) return;
  const QString key = QString::fromStdString(m_model.Key(index));
  QPointer<frmSysTray> self(this);
  m_dispatching = true;
  emit MenuClick(index, key);
  if (self) m_dispatching = false;
}

void frmSysTray::SyncMenu() {
  const auto count = static_cast<std::size_t>(m_model.Count());
  while (m_actions.size() < count) {
    const int index = static_cast<int>(m_actions.size());
    QAction* action = m_menu->addAction(QString());
    connect(action, &QAction::triggered, this, [this, index] { OnActionTriggered(index); });
    m_actions.push_back(action);
  }
  while (m_actions.size() > count) {
    QAction* action = m_actions.back();
    m_actions.pop_back();
    m_menu->removeAction(action);
    action->disconnect(this);
    if (m_dispatching) {
      action->deleteLater();  // it may be the action being handled
    } else {
      delete action;
    }
  }
  const int defaultIndex = m_model.DefaultMenuIndex();
  for (std::size_t i = 0; i < count; ++i) {
    const int index = static_cast<int>(i);
    const TrayMenu::Item& item = m_model.At(index);
    QAction* action = m_actions[i];
    const bool separator = m_model.IsSeparator(index);
    action->setSeparator(separator);
    action->setText(separator ? QString() : QString::fromStdString(item.caption));
    action->setEnabled(item.enabled);
    action->setVisible(item.visible);
    QFont font = m_menu->font();
    font.setBold(index == defaultIndex);
    action->setFont(font);
  }
  m_menu->setDefaultAction(
      m_model.InRange(defaultIndex) ? m_actions[static_cast<std::size_t>(defaultIndex)] : nullptr);
}
