#pragma once
// The open messages as tabs over the main window's document area (oTabs): a message opens in a
// window of its own, or in the one tab that reading on (Next Unread) reuses; a tab's close
// button closes its own window and its neighbour takes over. The message commands reach it as
// their document host.

#include "core/DocumentHost.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>

class IMessageViewFactory;
class QAction;
class QMdiArea;
class QMdiSubWindow;
class QWidget;
class frmDoc;

class DocumentTabs : public QObject, public IDocumentHost {
  Q_OBJECT

 public:
  explicit DocumentTabs(QWidget* window);

  // The area (oTabs), a child of the window that shows it; until it is made nothing opens.
  QMdiArea* CreateArea();
  QMdiArea* Area() const { return m_area; }
  // The current tab's window, whether or not the application has the focus; null without one.
  QMdiSubWindow* Active() const;
  // The document window opened last; null until then and after it closes.
  frmDoc* Last() const;
  static frmDoc* DocumentOf(QMdiSubWindow* window);

  // The view pages are shown in; null: the usual one (the web view).
  void SetViewFactory(IMessageViewFactory* factory) { m_viewFactory = factory; }
  // Entries every page takes (the reading keys), and a key no document window may take for its
  // own Close.
  void SetPageEntries(const QList<QAction*>& entries, const QKeySequence& keptKey);
  // While on, a message opens in the tab reading on opened last.
  void SetReuseReadingTab(bool reuse) { m_reuseReadingTab = reuse; }

  // Closes a document window; when it was the active one, its neighbour (right, else left)
  // becomes active.
  void Close(QMdiSubWindow* window);
  void CloseAll();

  bool FocusDocument(const std::string& itemId) override;
  void OpenDocument(const std::string& itemId, const std::string& caption,
                    const std::string& pagePath, const std::string& sourceId) override;
  bool CloseDocument(const std::string& itemId) override;
  bool PrefersDarkPages() const override;

 signals:
  // A window opened, closed or became the current one.
  void DocumentsChanged();

 private:
  // A tab's close button: its own window, never the active one.
  void oTabs_CloseWindow(int tabIndex);

  QWidget* m_window;
  QMdiArea* m_area = nullptr;
  QPointer<frmDoc> m_last;
  IMessageViewFactory* m_viewFactory = nullptr;
  QList<QAction*> m_pageEntries;
  QKeySequence m_keptKey;
  QPointer<QMdiSubWindow> m_readingTab;
  bool m_reuseReadingTab = false;
};
