#pragma once
// The view that shows a rendered message page in a document window. The web view lives in a
// module beside the program (quillpost_webview), loaded when the first document window opens:
// the web engine costs tens of megabytes before it shows anything, and a reader that only sits
// in the notification area should not pay that. Without the module messages show in a plain
// text browser.
//
// Either view never runs scripts, never reads local files other than the page and never
// navigates away from the page: links the user follows go to the handler given at creation.
// Nothing comes from the network (pictures, fonts, styles, frames) except remote pictures, and
// those only when the load allows them.

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QUrl>
#include <QtPlugin>

#include <functional>
#include <string>

class QWidget;

class IMessageViewFactory {
 public:
  using LinkHandler = std::function<void(const QUrl&)>;
  // The page asked for a remote picture: shown (allowed) or not. Once per load at most.
  using PicturesHandler = std::function<void(bool shown)>;
  virtual ~IMessageViewFactory() = default;
  // A new view, a child of parent.
  virtual QWidget* CreateView(QWidget* parent, LinkHandler onLink, PicturesHandler onPictures) = 0;
  // Shows the page (its HTML text) in a view made by this factory, scrolled to that position.
  virtual void Load(QWidget* view, const QByteArray& page, bool remotePictures,
                    const QPoint& scroll) = 0;
  // Where the page shown is scrolled to.
  virtual QPoint ScrollPosition(QWidget* view) = 0;
  // Whether the page shown is scrolled to its end (a page that fits is).
  virtual bool AtEnd(QWidget* view) = 0;
  // Scrolls the page down by about a screen.
  virtual void PageDown(QWidget* view) = 0;
  // Scales the page shown and the pages the view shows later (1.0: as written).
  virtual void SetZoom(QWidget* view, double factor) = 0;
};

#define QP_MESSAGE_VIEW_FACTORY_IID "org.quillpost.MessageViewFactory/5"
Q_DECLARE_INTERFACE(IMessageViewFactory, QP_MESSAGE_VIEW_FACTORY_IID)

namespace MessageView {

// The module's file name in the program folder.
inline constexpr const char* kWebViewModule = "quillpost_webview.so";

// The web view's factory from the module in that folder; nullptr when it cannot be loaded.
// A loaded module stays loaded for the rest of the run.
IMessageViewFactory* LoadWebFactory(const std::string& folder);

// The plain text browser: no remote or local resources, links go to the handler.
IMessageViewFactory& TextFactory();

// The web view from the program folder, else the plain view.
IMessageViewFactory& DefaultFactory();

// Links that may leave the program for the desktop's programs: web and mail addresses only,
// never a local file or another scheme a hostile page could use to start something.
bool IsExternalLink(const QUrl& url);

}  // namespace MessageView
