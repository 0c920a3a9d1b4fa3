// The web view for message pages, built as the module quillpost_webview and loaded by
// MessageView::LoadWebFactory. A feed controls the page's content, so the page runs no scripts,
// reads no local files, keeps nothing on disk and cannot navigate anywhere: links the user
// follows go to the program, which hands web and mail addresses to the desktop.

#include "presentation/MessageView.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QTemporaryFile>
#include <QWebEngineCookieStore>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <memory>

namespace {

QWebEngineProfile* MessageProfile() {
  // The default profile is off the record; cookies are refused as well, so a tracking image
  // cannot follow the reader from one message to the next.
  static QWebEngineProfile* profile = [] {
    QWebEngineProfile* p = QWebEngineProfile::defaultProfile();
    p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    p->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    p->cookieStore()->setCookieFilter(
        [](const QWebEngineCookieStore::FilterRequest&) { return false; });
    return p;
  }();
  return profile;
}

void LockDown(QWebEngineSettings* settings) {
  using S = QWebEngineSettings;
  for (const auto attribute : {S::JavascriptEnabled,
                               S::JavascriptCanOpenWindows,
                               S::JavascriptCanAccessClipboard,
                               S::JavascriptCanPaste,
                               S::LocalContentCanAccessFileUrls,
                               S::LocalStorageEnabled,
                               S::PluginsEnabled,
                               S::PdfViewerEnabled,
                               S::HyperlinkAuditingEnabled,
                               S::WebGLEnabled,
                               S::Accelerated2dCanvasEnabled,
                               S::ScreenCaptureEnabled,
                               S::FullScreenSupportEnabled,
                               S::AllowRunningInsecureContent,
                               S::AllowGeolocationOnInsecureOrigins,
                               S::AllowWindowActivationFromJavaScript,
                               S::DnsPrefetchEnabled,
                               S::NavigateOnDropEnabled,
                               S::AutoLoadIconsForPage,
                               S::TouchIconsEnabled}) {
    settings->setAttribute(attribute, false);
  }
  // The page is a local file; its pictures come from the newsletter's servers.
  settings->setAttribute(S::LocalContentCanAccessRemoteUrls, true);
  settings->setAttribute(S::AutoLoadImages, true);
  settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

class MessagePage : public QWebEnginePage {
 public:
  MessagePage(IMessageViewFactory::LinkHandler onLink, QObject* parent)
      : QWebEnginePage(MessageProfile(), parent), m_onLink(std::move(onLink)) {
    LockDown(settings());
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
              // Not opened in any page: a link meant for a new window goes to the desktop.
              if (request.isUserInitiated()) FollowLink(request.requestedUrl());
            });
    // The copy is only needed until the page is in; no message text stays behind in /tmp.
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
      if (ok && url() == m_page) m_snapshot.reset();
    });
  }

  // Shows a copy of the file: the renderer reads its page later, when the program may already
  // have replaced the file with the next message.
  void ShowFile(const QString& path) {
    auto snapshot = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                     QLatin1String("/quillpost-page-XXXXXX.htm"));
    QFile source(path);
    if (snapshot->open() && source.open(QIODevice::ReadOnly)) {
      snapshot->write(source.readAll());
      snapshot->flush();
      m_page = QUrl::fromLocalFile(snapshot->fileName());
      m_snapshot = std::move(snapshot);
    } else {
      m_page = QUrl::fromLocalFile(path);
      m_snapshot.reset();
    }
    m_loadPending = true;
    load(m_page);
  }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    if (!isMainFrame) return false;
    if (m_loadPending && url == m_page) {
      m_loadPending = false;
      return true;
    }
    if (type == NavigationTypeLinkClicked) {
      // A jump within the page stays in the page.
      if (url.hasFragment() && url.adjusted(QUrl::RemoveFragment) == m_page) return true;
      FollowLink(url);
    }
    // Refreshes, redirects, reloads and dropped files never replace the message.
    return false;
  }

 private:
  void FollowLink(const QUrl& url) {
    if (m_onLink) m_onLink(url);
  }

  IMessageViewFactory::LinkHandler m_onLink;
  std::unique_ptr<QTemporaryFile> m_snapshot;
  QUrl m_page;
  bool m_loadPending = false;
};

}  // namespace

class WebMessageViewFactory : public QObject, public IMessageViewFactory {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QP_MESSAGE_VIEW_FACTORY_IID)
  Q_INTERFACES(IMessageViewFactory)

 public:
  QWidget* CreateView(QWidget* parent, LinkHandler onLink) override {
    auto* view = new QWebEngineView(parent);
    view->setPage(new MessagePage(std::move(onLink), view));
    view->setAcceptDrops(false);
    return view;
  }

  void Load(QWidget* view, const QString& path) override {
    auto* webView = qobject_cast<QWebEngineView*>(view);
    if (!webView) return;
    if (auto* page = dynamic_cast<MessagePage*>(webView->page())) page->ShowFile(path);
  }
};

#include "WebMessageView.moc"
