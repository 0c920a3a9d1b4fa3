#pragma once
// A small notice near the notification area that shows a text (a check run's summary) for a
// few seconds, then fades out. It never takes the focus, stays above other windows and closes
// when clicked. Keep it without a parent widget, so that it shows while the main window is
// hidden in the tray. It takes the desktop's colours, light or dark, as they are when it shows.

#include <QString>
#include <QWidget>

class QLabel;
class QPropertyAnimation;
class QScrollArea;
class QTimer;

class ucTrayAlert : public QWidget {
  Q_OBJECT

 public:
  explicit ucTrayAlert(QWidget* parent = nullptr);
  ~ucTrayAlert() override;

  // Shows the text (CR LF or LF line ends) for displayMs milliseconds; a time of 0 or less
  // takes the usual 6 seconds. A notice already shown takes the new text and starts again.
  void ShowAlert(const QString& text, int displayMs);
  // The text of the last ShowAlert, as given.
  QString Text() const { return m_text; }
  // The time the last ShowAlert keeps the notice up, in milliseconds.
  int DisplayMs() const { return m_displayMs; }

  static constexpr int kDefaultDisplayMs = 6000;
  static constexpr int kFadeMs = 400;

 signals:
  // The notice went away: timed out, faded or clicked.
  void Closed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyColours();
  void CreateConnections();
  void PlaceNearNotificationArea();
  void StartFade();
  void ResetOpacity();
  void Dismiss();

  QLabel* m_title = nullptr;
  QLabel* m_closeMark = nullptr;
  QLabel* m_body = nullptr;
  QScrollArea* m_scroll = nullptr;
  QTimer* m_timer = nullptr;
  QPropertyAnimation* m_fade = nullptr;
  QString m_text;
  int m_displayMs = kDefaultDisplayMs;
};
