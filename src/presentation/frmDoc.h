#pragma once
// The document window: one rendered message, shown by the view ucBrowser that fills it. The main
// window puts it into a sub-window of its document area; the caption (windowTitle) is the tab
// text. ItemID names the message it shows, SourceID its source.
//
// Remote pictures load only when the source is one whose pictures are always shown. When the
// page asks for pictures, the bar above it says whether they are shown and offers "Show
// Pictures" (this message, now) and "Always for This Source", or "Stop Showing".

#include <QWidget>

#include <string>

class IMessageViewFactory;
class QFrame;
class QLabel;
class QPushButton;

class frmDoc : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kPicturesHiddenText =
      "Remote pictures in this message are not shown.";
  static constexpr const char* kPicturesShownText = "Pictures from this source are shown.";

  // The view comes from viewFactory, or else from MessageView::DefaultFactory(): the first
  // document window loads the web view module.
  explicit frmDoc(QWidget* parent = nullptr, IMessageViewFactory* viewFactory = nullptr);

  // The guid of the message shown; empty until set.
  const std::string& ItemID() const { return m_itemId; }
  void SetItemID(const std::string& sItemID) { m_itemId = sItemID; }
  // The source of the message shown: whose pictures setting applies.
  const std::string& SourceID() const { return m_sourceId; }
  void SetSourceID(const std::string& sourceId) { m_sourceId = sourceId; }

  // Shows the page file; it is read now, so a later rendering does not reach this window.
  void Navigate(const std::string& path);

  // The view: a QWebEngineView, or a QTextBrowser when the web view is not available.
  QWidget* ucBrowser() const { return m_browser; }

  QFrame* picPictures = nullptr;
  QLabel* lblPictures = nullptr;
  QPushButton* btnShowPictures = nullptr;
  QPushButton* btnAlwaysPictures = nullptr;

 private:
  void BuildPicturesBar();
  void CreateConnections();
  // The page asked for remote pictures; shown tells whether they came.
  void PicturesRequested(bool shown);
  void btnShowPictures_Click();
  void btnAlwaysPictures_Click();

  IMessageViewFactory& m_viewFactory;
  QWidget* m_browser = nullptr;
  std::string m_itemId;
  std::string m_sourceId;
};
