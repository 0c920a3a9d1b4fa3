// The web view for message pages, built as the module quillpost_webview and loaded by
// MessageView::LoadWebFactory. A feed controls the page's content, so the page runs no scripts,
// reads no local files, keeps nothing on disk and cannot navigate anywhere: links the user
// follows go to the program, which hands web and mail addresses to the desktop. Nothing is
// fetched from the network but pictures, and those only once the user asked: a newsletter's
// pictures tell its sender when, where and how often it was read.

#include "presentation/MessageView.h"
#include "presentation/RequestPolicy.h"

#include <QDir>
#include <QObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QTemporaryFile>
#include <QWebEngineCookieStore>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <atomic>
#include <memory>

namespace {

// Message pages are local files without scripts, so one renderer process can serve them all;
// Chromium's own rule gives each page a process of its own, some 80 MB each. A process model the
// user chose in the environment is left as it is.
void ShareRendererProcesses() {
  const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  for (const char* model : {"--process-per-", "--single-process", "--renderer-process-limit"})
    if (flags.contains(model)) return;
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --process-per-site");
}

// Whether OpenGL here is drawn by the processor (Mesa's llvmpipe, softpipe or swrast: the only
// OpenGL of Xvfb, of most virtual machines and remote sessions), or missing.
bool SoftwareOpenGL() {
  QOffscreenSurface surface;
  surface.create();
  QOpenGLContext context;
  if (!context.create() || !context.makeCurrent(&surface)) return true;
  const auto* renderer =
      reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
  const QByteArray name = QByteArray(renderer).toLower();
  context.doneCurrent();
  for (const char* software :
       {"llvmpipe", "softpipe", "swrast", "software rasterizer", "swiftshader"})
    if (name.contains(software)) return true;
  return name.isEmpty();
}

// The engine starts on the GPU, finds a software OpenGL, gives it up for software drawing and
// drops the GPU channel that a page's renderer may be opening just then: the renderer writes
// "ContextResult::kTransientFailure: Failed to send GpuControl.CreateCommandBuffer" on standard
// error in most runs and retries. Where OpenGL is software anyway, the view draws in software
// from the start (the engine then leaves the GPU alone); a real GPU keeps being used. A backend
// the user chose is left as it is.
void DrawInSoftwareWithoutGpu() {
  for (const char* chosen : {"QT_QUICK_BACKEND", "QSG_RHI_BACKEND", "QMLSCENE_DEVICE"})
    if (qEnvironmentVariableIsSet(chosen)) return;
  if (SoftwareOpenGL()) QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

QWebEngineProfile* MessageProfile() {
  // The default profile is off the record; cookies are refused as well, so a tracking image
  // cannot follow the reader from one message to the next.
  static QWebEngineProfile* profile = [] {
    // Read once, when the web engine starts with its first profile.
    DrawInSoftwareWithoutGpu();
    ShareRendererProcesses();
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
  // The page is a local file; its pictures come from the newsletter's servers, when the user
  // wants them (RemoteContentGuard decides).
  settings->setAttribute(S::LocalContentCanAccessRemoteUrls, true);
  settings->setAttribute(S::AutoLoadImages, true);
  settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

// Asks RequestPolicy of every request; tells the page when it asked for a remote picture.
class RemoteContentGuard : public QWebEngineUrlRequestInterceptor {
 public:
  using Report = std::function<void(bool shown)>;
  RemoteContentGuard(Report report, QObject* parent)
      : QWebEngineUrlRequestInterceptor(parent), m_report(std::move(report)) {}
  void SetPicturesAllowed(bool allowed) { m_pictures = allowed; }

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    using RequestPolicy::Verdict;
    const bool picture = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeImage;
    const Verdict verdict = RequestPolicy::ForRequest(
        info.requestUrl().scheme().toStdString(),
        picture ? RequestPolicy::Kind::Picture : RequestPolicy::Kind::Other, m_pictures);
    if (verdict == Verdict::Refused || verdict == Verdict::HiddenPicture) info.block(true);
    if (verdict != Verdict::ShownPicture && verdict != Verdict::HiddenPicture) return;
    // Reported on the page's own thread, and never after it is gone.
    QMetaObject::invokeMethod(
        parent(), [report = m_report, shown = verdict == Verdict::ShownPicture] { report(shown); },
        Qt::QueuedConnection);
  }

 private:
  Report m_report;
  std::atomic<bool> m_pictures = false;
};

class MessagePage : public QWebEnginePage {
 public:
  MessagePage(IMessageViewFactory::LinkHandler onLink,
              IMessageViewFactory::PicturesHandler onPictures, QObject* parent)
      : QWebEnginePage(MessageProfile(), parent),
        m_onLink(std::move(onLink)),
        m_onPictures(std::move(onPictures)),
        m_guard(new RemoteContentGuard([this](bool shown) { ReportPictures(shown); }, this)) {
    LockDown(settings());
    setUrlRequestInterceptor(m_guard);
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
              // Not opened in any page: a link meant for a new window goes to the desktop.
              if (request.isUserInitiated()) FollowLink(request.requestedUrl());
            });
    // The copy is only needed until the page is in; no message text stays behind in /tmp.
    // A page shown again goes back to where it was read; the page's own scripts stay off.
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
      if (!ok || url() != m_page) return;
      m_snapshot.reset();
      if (zoomFactor() != m_zoom) setZoomFactor(m_zoom);
      if (!m_scroll.isNull())
        runJavaScript(QStringLiteral("window.scrollTo(%1, %2)").arg(m_scroll.x()).arg(m_scroll.y()),
                      QWebEngineScript::ApplicationWorld);
    });
  }

  // Kept for the pages shown later: the engine may reset a page's zoom when it loads another.
  void SetZoom(double factor) {
    m_zoom = factor;
    setZoomFactor(factor);
  }

  // The page goes to a file of its own: a local page, like item.htm, that the renderer reads
  // when it is ready; the file goes once the page is in.
  void Show(const QByteArray& content, bool remotePictures, const QPoint& scroll) {
    m_guard->SetPicturesAllowed(remotePictures);
    m_picturesReported = false;
    m_scroll = scroll;
    auto snapshot = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                     QLatin1String("/quillpost-page-XXXXXX.htm"));
    if (!snapshot->open()) return;
    snapshot->write(content);
    snapshot->flush();
    m_page = QUrl::fromLocalFile(snapshot->fileName());
    m_snapshot = std::move(snapshot);
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

  void ReportPictures(bool shown) {
    if (m_picturesReported || !m_onPictures) return;
    m_picturesReported = true;
    m_onPictures(shown);
  }

  IMessageViewFactory::LinkHandler m_onLink;
  IMessageViewFactory::PicturesHandler m_onPictures;
  RemoteContentGuard* m_guard;
  bool m_picturesReported = false;
  QPoint m_scroll;
  std::unique_ptr<QTemporaryFile> m_snapshot;
  QUrl m_page;
  bool m_loadPending = false;
  double m_zoom = 1.0;
};

}  // namespace

class WebMessageViewFactory : public QObject, public IMessageViewFactory {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QP_MESSAGE_VIEW_FACTORY_IID)
  Q_INTERFACES(IMessageViewFactory)

 public:
  QWidget* CreateView(QWidget* parent, LinkHandler onLink, PicturesHandler onPictures) override {
    MessageProfile();  // the engine's settings come before its first view
    auto* view = new QWebEngineView(parent);
    view->setPage(new MessagePage(std::move(onLink), std::move(onPictures), view));
    view->setAcceptDrops(false);
    return view;
  }

  void Load(QWidget* view, const QByteArray& content, bool remotePictures,
            const QPoint& scroll) override {
    if (MessagePage* page = PageOf(view)) page->Show(content, remotePictures, scroll);
  }

  QPoint ScrollPosition(QWidget* view) override {
    MessagePage* page = PageOf(view);
    return page ? page->scrollPosition().toPoint() : QPoint();
  }

  bool AtEnd(QWidget* view) override {
    MessagePage* page = PageOf(view);
    return !page ||
           page->scrollPosition().y() + view->height() + 2 >= page->contentsSize().height();
  }

  void PageDown(QWidget* view) override {
    if (MessagePage* page = PageOf(view))
      page->runJavaScript(QStringLiteral("window.scrollBy(0, window.innerHeight * 0.9)"),
                          QWebEngineScript::ApplicationWorld);
  }

  void SetZoom(QWidget* view, double factor) override {
    if (MessagePage* page = PageOf(view)) page->SetZoom(factor);
  }

 private:
  static MessagePage* PageOf(QWidget* view) {
    auto* webView = qobject_cast<QWebEngineView*>(view);
    return webView ? dynamic_cast<MessagePage*>(webView->page()) : nullptr;
  }
};

#include "WebMessageView.moc"
