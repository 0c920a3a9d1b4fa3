#pragma once
// The program's icon in the notification area: picture, tooltip, balloon notices and a context
// menu kept as a TrayMenu. It turns the icon's activations into mouse events and a chosen menu
// item into MenuClick; what the items do is the main window's business.
//
// The icon is shown while the object lives and removed when it is destroyed. Where the desktop
// has no notification area (QSystemTrayIcon::isSystemTrayAvailable() is false) everything still
// works on the model and the menu, nothing appears on screen.

#include "shell/TrayMenu.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <vector>

class QAction;
class QMenu;

class frmSysTray : public QObject {
  Q_OBJECT

 public:
  // What the last ShowBalloonTip asked for, already fitted to the fields' limits.
  struct Balloon {
    QString message;
    QString title;
    int icon = 0;
    int timeoutMs = 0;
  };

  explicit frmSysTray(QObject* parent = nullptr);
  ~frmSysTray() override;

  int AddMenuItem(const QString& caption, const QString& key = QString(), bool makeDefault = false);
  // Always 0; item 0 is never deleted, only cleared.
  int RemoveMenuItem(int index);
  void EnableMenuItem(int index, bool state);
  int DefaultMenuIndex() const { return m_model.DefaultMenuIndex(); }
  void SetDefaultMenuIndex(int index);
  void SetMenuCaption(int index, const QString& text);
  QString MenuCaption(int index) const;
  int MenuCount() const { return m_model.Count(); }

  // Kept to the first 127 characters (UTF-16 code units).
  QString ToolTip() const;
  void SetToolTip(const QString& text);
  QIcon Icon() const;
  void SetIcon(const QIcon& icon);

  // icon: 0 none, 1 information, 2 warning, 3 error (other numbers: none). Message and title
  // are kept to 255 and 63 characters.
  void ShowBalloonTip(const QString& message, const QString& title = QString(), int icon = 0,
                      int timeoutMs = 10000);
  const Balloon& LastBalloon() const { return m_lastBalloon; }
  // Whether the desktop shows the icon at all.
  static bool Available();

  // Pops the menu up at the mouse position, the default item in bold.
  void ShowMenu();
  // The menu as built from the model: one action per item, in index order.
  QMenu* Menu() const { return m_menu; }
  // Chooses the item as a click in the menu would (no MenuClick for separators, disabled or
  // hidden items).
  void TriggerMenuItem(int index);
  // The icon itself, for tests that check it is shown and goes away with this object.
  QSystemTrayIcon* TrayIcon() const { return m_icon; }

 signals:
  // A handler may delete this object (the "exit" entry does so through the main window).
  void MenuClick(int index, const QString& key);
  void SysTrayMouseDown(int button);
  void SysTrayMouseUp(int button);
  void SysTrayDoubleClick(int button);
  void BalloonClicked();

 private:
  void CreateConnections();
  void OnActivated(QSystemTrayIcon::ActivationReason reason);
  void OnActionTriggered(int index);
  // Brings the menu's actions in line with the model, changing them in place: an action may be
  // the one whose click is being handled.
  void SyncMenu();

  TrayMenu m_model;
  QSystemTrayIcon* m_icon = nullptr;
  QMenu* m_menu = nullptr;
  std::vector<QAction*> m_actions;
  QString m_toolTip;
  Balloon m_lastBalloon;
  // True while a MenuClick handler runs: the menu is then still on the call stack.
  bool m_dispatching = false;
};
