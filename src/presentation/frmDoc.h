#pragma once
// The document window: one rendered message, shown by the view ucBrowser that fills it. The main
// window puts it into a sub-window of its document area; the caption (windowTitle) is the tab
// text. ItemID names the message it shows, SourceID its source.
//
// Remote pictures load only when the source is one whose pictures are always shown. When the
// page asks for pictures, the bar above it says whether they are shown and offers "Show
// Pictures" (this message, now) and "Always for This Source", or "Stop Showing".
//
// Ctrl+Plus, Ctrl+Minus and Ctrl+0 zoom the page; the zoom is kept for the message's source.
//
// In the main window's tabs only the current tab keeps its view: a web view costs several
// megabytes whether it is seen or not, and thirty open messages would cost hundreds. A tab that
// becomes current again makes a new view and shows its page where it was left.

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <string>

class IMessageViewFactory;
class QAction;
class QFrame;
class QLabel;
class QPushButton;
class QPrinter;

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
  // Prints the page shown, as text and layout without anything from outside the page.
  void Print(QPrinter& printer) const;
  // What a printout is named after: the page's title, else the caption.
  QString DocumentTitle() const;

  // A caption as a tab shows it literally: the tab strip takes "&" for a mnemonic and the
  // document area "[*]" for a modified mark.
  static QString TabText(QString caption);

  // The view: a QWebEngineView, or a QTextBrowser when the web view is not available. Asked
  // for while the tab is not current, it is made again.
  QWidget* ucBrowser();
  // Whether the view is there now (false while another tab is current).
  bool HasView() const { return m_browser != nullptr; }
  // Actions whose keys work while the page has the focus (reading on from the keyboard); every
  // view the window makes takes them.
  void AddPageAction(QAction* action);
  // Whether the page is scrolled to its end; scrolling it down by about a screen.
  bool PageAtEnd();
  void PageDown();
  // Gives the page the keyboard focus: its keys scroll it, the reading keys read on.
  void FocusPage();
  // The page's zoom in percent; one step in (direction > 0), out (< 0) or back to 100 (0), kept
  // for the source.
  int Zoom() const { return m_zoom; }
  void StepZoom(int direction);

  QFrame* picPictures = nullptr;
  QLabel* lblPictures = nullptr;
  QPushButton* btnShowPictures = nullptr;
  QPushButton* btnAlwaysPictures = nullptr;
  QAction* mnuZoomIn = nullptr;
  QAction* mnuZoomOut = nullptr;
  QAction* mnuZoomReset = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildPicturesBar();
  void ShowPicturesBar(bool show);
  void BuildZoomKeys();
  void CreateConnections();
  // Gives up the view: the tab is no longer current.
  void ReleaseView();
  void ShowPage(bool remotePictures);
  // The page asked for remote pictures; shown tells whether they came.
  void PicturesRequested(bool shown);
  void btnShowPictures_Click();
  void btnAlwaysPictures_Click();

  IMessageViewFactory& m_viewFactory;
  QWidget* m_browser = nullptr;
  QList<QAction*> m_pageActions;
  std::string m_itemId;
  std::string m_sourceId;
  QByteArray m_page;
  bool m_loaded = false;
  bool m_picturesNow = false;  // "Show Pictures" for this message
  QPoint m_scroll;             // where the page was left
  int m_zoom = 100;
  bool m_tabWatched = false;
};
