#include "presentation/MessageView.h"

#include "core/Services.h"
#include "core/mGeneralFunctions.h"

#include <QAccessible>
#include <QHash>
#include <QPluginLoader>
#include <QScrollBar>
#include <QTextBrowser>
#include <QVariant>

#include <memory>

namespace MessageView {

namespace {

// A text browser that loads nothing beyond the page: no images from the network and no files.
class TextMessageView : public QTextBrowser {
 public:
  explicit TextMessageView(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
  }

 protected:
  QVariant loadResource(int /*type*/, const QUrl& /*name*/) override { return {}; }
};

class TextViewFactory : public IMessageViewFactory {
 public:
  // It never loads anything remote, so it never has pictures to tell of.
  QWidget* CreateView(QWidget* parent, LinkHandler onLink, PicturesHandler) override {
    auto* view = new TextMessageView(parent);
    QObject::connect(view, &QTextBrowser::anchorClicked, view,
                     [view, onLink = std::move(onLink)](const QUrl& url) {
                       if (url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment()) {
                         view->scrollToAnchor(url.fragment());
                       } else if (onLink) {
                         onLink(url);
                       }
                     });
    return view;
  }

  void Load(QWidget* view, const QByteArray& page, bool, const QPoint& scroll) override {
    auto* text = static_cast<TextMessageView*>(view);
    text->setHtml(QString::fromUtf8(page));
    text->horizontalScrollBar()->setValue(scroll.x());
    text->verticalScrollBar()->setValue(scroll.y());
  }
  QPoint ScrollPosition(QWidget* view) override {
    auto* text = static_cast<TextMessageView*>(view);
    return {text->horizontalScrollBar()->value(), text->verticalScrollBar()->value()};
  }
  bool AtEnd(QWidget* view) override {
    const QScrollBar* bar = static_cast<TextMessageView*>(view)->verticalScrollBar();
    return bar->value() >= bar->maximum();
  }
  void PageDown(QWidget* view) override {
    static_cast<TextMessageView*>(view)->verticalScrollBar()->triggerAction(
        QAbstractSlider::SliderPageStepAdd);
  }
  void SetZoom(QWidget* view, double factor) override {
    auto* text = static_cast<TextMessageView*>(view);
    QFont font = text->font();
    font.setPointSizeF(QFont().pointSizeF() * factor);
    text->document()->setDefaultFont(font);
  }
};

}  // namespace

IMessageViewFactory* LoadWebFactory(const std::string& folder) {
  // A screen reader reads the page only when the web engine builds its accessibility tree, which
  // it does not by itself; the flags are read when the engine starts, after this.
  if (QAccessible::isActive()) {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--force-renderer-accessibility"))
      qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.append(" --force-renderer-accessibility").trimmed());
  }
  // Loaded modules are kept, never unloaded: the web engine cannot be torn down and started
  // again within one run.
  static QHash<QString, QPluginLoader*> loaded;
  const QString path = QString::fromStdString(mGeneralFunctions::AddBackslash(folder)) +
                       QLatin1String(kWebViewModule);
  if (QPluginLoader* loader = loaded.value(path)) {
    return qobject_cast<IMessageViewFactory*>(loader->instance());
  }
  auto loader = std::make_unique<QPluginLoader>(path);
  auto* factory = qobject_cast<IMessageViewFactory*>(loader->instance());
  if (!factory) {
    static bool warned = false;
    if (!warned) {
      warned = true;
      qWarning("Quillpost: messages show as plain text; the web view could not be loaded: %s",
               qPrintable(loader->errorString()));
    }
    return nullptr;
  }
  loaded.insert(path, loader.release());
  return factory;
}

IMessageViewFactory& TextFactory() {
  static TextViewFactory factory;
  return factory;
}

IMessageViewFactory& DefaultFactory() {
  static IMessageViewFactory* web = nullptr;
  if (!web) web = LoadWebFactory(Services::Environment().ProgramFolder());
  return web ? *web : TextFactory();
}

bool IsExternalLink(const QUrl& url) {
  if (!url.isValid()) return false;
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("mailto")) return !url.path().isEmpty();
  return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
         !url.host().isEmpty();
}

}  // namespace MessageView
