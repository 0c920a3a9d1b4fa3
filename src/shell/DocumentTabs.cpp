#include "shell/DocumentTabs.h"

#include "core/WindowFunctions.h"
#include "inbox/mInbox.h"
#include "presentation/frmDoc.h"

#include <QAction>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTabBar>

DocumentTabs::DocumentTabs(QWidget* window) : QObject(window), m_window(window) {}

QMdiArea* DocumentTabs::CreateArea() {
  m_area = new QMdiArea(m_window);
  m_area->setObjectName(QStringLiteral("oTabs"));
  m_area->setViewMode(QMdiArea::TabbedView);
  m_area->setTabsClosable(true);
  m_area->setTabsMovable(false);
  m_area->setDocumentMode(true);
  connect(m_area, &QMdiArea::subWindowActivated, this, &DocumentTabs::DocumentsChanged);
  // The strip's own close handling would close the tab's window behind our back.
  if (auto* strip = m_area->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly)) {
    disconnect(strip, &QTabBar::tabCloseRequested, m_area, nullptr);
    connect(strip, &QTabBar::tabCloseRequested, this, &DocumentTabs::oTabs_CloseWindow);
  }
  return m_area;
}

frmDoc* DocumentTabs::DocumentOf(QMdiSubWindow* window) {
  return window ? qobject_cast<frmDoc*>(window->widget()) : nullptr;
}

frmDoc* DocumentTabs::Last() const { return m_last; }

QMdiSubWindow* DocumentTabs::Active() const {
  return m_area ? m_area->currentSubWindow() : nullptr;
}

void DocumentTabs::SetPageEntries(const QList<QAction*>& entries, const QKeySequence& keptKey) {
  m_pageEntries = entries;
  m_keptKey = keptKey;
}

void DocumentTabs::oTabs_CloseWindow(int tabIndex) {
  const auto windows = m_area->subWindowList(QMdiArea::CreationOrder);
  if (tabIndex >= 0 && tabIndex < windows.size()) Close(windows[tabIndex]);
}

void DocumentTabs::Close(QMdiSubWindow* window) {
  if (!window || !m_area) return;
  // The area would activate the first tab and scroll the strip back to it: repeated clicks at
  // one spot would then close tabs the user never pointed at.
  const auto windows = m_area->subWindowList(QMdiArea::CreationOrder);
  const qsizetype at = windows.indexOf(window);
  QMdiSubWindow* next = nullptr;
  if (window == Active() && at >= 0)
    next = at + 1 < windows.size() ? windows[at + 1] : at > 0 ? windows[at - 1] : nullptr;
  window->close();
  if (next) m_area->setActiveSubWindow(next);
  emit DocumentsChanged();
}

void DocumentTabs::CloseAll() {
  if (m_area) m_area->closeAllSubWindows();
}

bool DocumentTabs::FocusDocument(const std::string& itemId) {
  if (!m_area) return false;
  for (QMdiSubWindow* window : m_area->subWindowList(QMdiArea::CreationOrder)) {
    frmDoc* doc = DocumentOf(window);
    if (doc && doc->ItemID() == itemId) {
      m_area->setActiveSubWindow(window);
      doc->FocusPage();
      return true;
    }
  }
  return false;
}

void DocumentTabs::OpenDocument(const std::string& itemId, const std::string& caption,
                                const std::string& pagePath, const std::string& sourceId) {
  if (!m_area) return;
  frmDoc* doc = m_reuseReadingTab ? DocumentOf(m_readingTab) : nullptr;
  QMdiSubWindow* window = doc ? m_readingTab.data() : nullptr;
  if (doc) {
    m_area->setActiveSubWindow(window);
  } else {
    doc = new frmDoc(nullptr, m_viewFactory);
    window = m_area->addSubWindow(doc);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(QIcon(QStringLiteral(":/icons/read.svg")));
    // The window's own Close takes Ctrl+F4 too, which would leave Settings without its key.
    if (QMenu* systemMenu = window->systemMenu(); systemMenu && !m_keptKey.isEmpty()) {
      for (QAction* action : systemMenu->actions()) {
        QList<QKeySequence> keys = action->shortcuts();
        if (keys.removeAll(m_keptKey) > 0) action->setShortcuts(keys);
      }
    }
    for (QAction* entry : m_pageEntries) doc->AddPageAction(entry);
    if (m_reuseReadingTab) m_readingTab = window;
    // In tabbed mode a window that is not maximised stays a small frame inside its tab.
    window->showMaximized();
  }
  m_last = doc;
  doc->SetItemID(itemId);
  // The source's pictures setting goes with the window.
  doc->SetSourceID(sourceId);
  const QString title = QString::fromStdString(caption);
  doc->setWindowTitle(title);
  window->setWindowTitle(frmDoc::TabText(title));
  doc->Navigate(pagePath);
  // The message opened is what the user reads now; reading on from a list gives the focus back.
  doc->FocusPage();
  emit DocumentsChanged();
}

bool DocumentTabs::PrefersDarkPages() const { return WindowFunctions::IsDark(m_window->palette()); }

bool DocumentTabs::CloseDocument(const std::string& itemId) {
  if (!m_area) return false;
  for (QMdiSubWindow* window : m_area->subWindowList(QMdiArea::CreationOrder)) {
    frmDoc* doc = DocumentOf(window);
    if (doc && doc->ItemID() == itemId) {
      Close(window);
      return true;
    }
  }
  return false;
}
