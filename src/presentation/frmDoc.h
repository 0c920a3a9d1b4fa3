#pragma once
// The document window: one rendered message, shown by the view ucBrowser that fills it. The main
// window puts it into a sub-window of its document area; the caption (windowTitle) is the tab
// text. ItemID names the message it shows.

#include <QString>
#include <QWidget>

#include <string>

class IMessageViewFactory;
class QPrinter;

class frmDoc : public QWidget {
  Q_OBJECT

 public:
  // The view comes from viewFactory, or else from MessageView::DefaultFactory(): the first
  // document window loads the web view module.
  explicit frmDoc(QWidget* parent = nullptr, IMessageViewFactory* viewFactory = nullptr);

  // The guid of the message shown; empty until set.
  const std::string& ItemID() const { return m_itemId; }
  void SetItemID(const std::string& sItemID) { m_itemId = sItemID; }

  // Shows the page file; it is read now, so a later rendering does not reach this window.
  void Navigate(const std::string& path);
  // Prints the page shown, as text and layout without anything from outside the page.
  void Print(QPrinter& printer) const;

  // A caption as a tab shows it literally: the tab strip takes "&" for a mnemonic and the
  // document area "[*]" for a modified mark.
  static QString TabText(QString caption);

  // The view: a QWebEngineView, or a QTextBrowser when the web view is not available.
  QWidget* ucBrowser() const { return m_browser; }

 private:
  IMessageViewFactory& m_viewFactory;
  QWidget* m_browser = nullptr;
  std::string m_itemId;
  QString m_page;
};
