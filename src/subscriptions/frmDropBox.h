#pragma once
// The drop box: a small picture window that stays above the others and takes source links
// dragged onto it from a web browser. It never takes the focus, so the window the user works in
// keeps it. Dragging moves it; its popup menu (right button) chooses size and transparency or
// closes it. Place, size and transparency are stored in settings.cfg whenever it closes.

#include <QPixmap>
#include <QWidget>

#include <array>

class QAction;
class QRect;
class QMenu;

class frmDropBox : public QWidget {
  Q_OBJECT

 public:
  explicit frmDropBox(QWidget* parent = nullptr);

  // Loads the settings and applies place, size, picture, menu checks and transparency.
  void ApplySettings();
  // Moves the box beside the main window when it would cover the window's menu bar (both in
  // screen coordinates).
  void KeepClearOf(const QRect& menus, const QRect& window);

  // The checked size and transparency options.
  int SizeIndex() const;
  int TransIndex() const;

  QMenu* mnuPopup = nullptr;
  QMenu* mnuPopupSize = nullptr;
  std::array<QAction*, 3> mnuPopupSizeOpt{};
  QAction* mnuPopupLine1 = nullptr;
  QMenu* mnuPopupTrans = nullptr;
  std::array<QAction*, 4> mnuPopupTransOpt{};
  QAction* mnuPopupLine2 = nullptr;
  QAction* mnuPopupClose = nullptr;

 signals:
  // A dropped link that names the service host, as it was dropped.
  void LinkDropped(const QString& link);
  // The box has stored its settings and is closing.
  void Unloaded();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void CreateConnections();
  void mnuPopupSizeOpt_Click(int index);
  void mnuPopupTransOpt_Click(int index);
  void mnuPopupClose_Click();
  void Form_Unload();

  std::array<QPixmap, 3> m_pictures;
  int m_pictureIndex = 0;
  bool m_unloaded = false;
};
