#include "presentation/frmDoc.h"

#include "config/mSettings.h"
#include "core/mGeneralFunctions.h"
#include "presentation/MessageView.h"

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

// A printout holds only the page: no picture from the network or from another local file.
class PageDocument : public QTextDocument {
 protected:
  QVariant loadResource(int /*type*/, const QUrl& /*name*/) override { return {}; }
};

void OpenOnDesktop(const QUrl& url) {
  if (!MessageView::IsExternalLink(url)) return;
  mGeneralFunctions::ShellOpen(url.toString(QUrl::FullyEncoded).toStdString());
}

}  // namespace

frmDoc::frmDoc(QWidget* parent, IMessageViewFactory* viewFactory)
    : QWidget(parent), m_viewFactory(viewFactory ? *viewFactory : MessageView::DefaultFactory()) {
  setObjectName(QStringLiteral("frmDoc"));
  // The window takes the focus for its page (its proxy), never for a button of the hidden bar.
  setFocusPolicy(Qt::StrongFocus);
  BuildPicturesBar();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(picPictures);
  BuildZoomKeys();
  ucBrowser();
  CreateConnections();
}

void frmDoc::BuildZoomKeys() {
  const auto key = [this](const QString& name, const QString& text, QList<QKeySequence> keys) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    action->setShortcuts(keys);
    // The page has the focus; the keys work in this window only.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    return action;
  };
  const auto ctrl = [](Qt::Key k, Qt::KeyboardModifiers more = {}) {
    return QKeySequence(QKeyCombination(Qt::ControlModifier | more, k));
  };
  // Plus needs Shift on many keyboards: Ctrl+= is the same key without it.
  mnuZoomIn =
      key(QStringLiteral("mnuZoomIn"), tr("Zoom &In"),
          {ctrl(Qt::Key_Plus), ctrl(Qt::Key_Equal), ctrl(Qt::Key_Plus, Qt::KeypadModifier)});
  mnuZoomOut = key(QStringLiteral("mnuZoomOut"), tr("Zoom &Out"),
                   {ctrl(Qt::Key_Minus), ctrl(Qt::Key_Minus, Qt::KeypadModifier)});
  mnuZoomReset = key(QStringLiteral("mnuZoomReset"), tr("&Actual Size"),
                     {ctrl(Qt::Key_0), ctrl(Qt::Key_0, Qt::KeypadModifier)});
}

void frmDoc::BuildPicturesBar() {
  picPictures = new QFrame(this);
  picPictures->setObjectName(QStringLiteral("picPictures"));
  picPictures->setFrameShape(QFrame::StyledPanel);
  picPictures->setAutoFillBackground(true);
  picPictures->setBackgroundRole(QPalette::ToolTipBase);
  lblPictures = new QLabel(picPictures);
  lblPictures->setObjectName(QStringLiteral("lblPictures"));
  lblPictures->setForegroundRole(QPalette::ToolTipText);
  // The bar never holds a narrow reading column wider than it is.
  lblPictures->setWordWrap(true);
  btnShowPictures = new QPushButton(QStringLiteral("&Show Pictures"), picPictures);
  btnShowPictures->setObjectName(QStringLiteral("btnShowPictures"));
  btnAlwaysPictures = new QPushButton(picPictures);
  btnAlwaysPictures->setObjectName(QStringLiteral("btnAlwaysPictures"));
  auto* row = new QHBoxLayout(picPictures);
  row->setContentsMargins(8, 4, 8, 4);
  row->addWidget(lblPictures, 1);
  row->addWidget(btnShowPictures);
  row->addWidget(btnAlwaysPictures);
  ShowPicturesBar(false);
}

void frmDoc::ShowPicturesBar(bool show) {
  // Hidden buttons must not take the focus a tab gives its window.
  for (QPushButton* button : {btnShowPictures, btnAlwaysPictures})
    button->setFocusPolicy(show ? Qt::StrongFocus : Qt::NoFocus);
  picPictures->setVisible(show);
}

void frmDoc::CreateConnections() {
  connect(btnShowPictures, &QPushButton::clicked, this, &frmDoc::btnShowPictures_Click);
  connect(btnAlwaysPictures, &QPushButton::clicked, this, &frmDoc::btnAlwaysPictures_Click);
  connect(mnuZoomIn, &QAction::triggered, this, [this] { StepZoom(1); });
  connect(mnuZoomOut, &QAction::triggered, this, [this] { StepZoom(-1); });
  connect(mnuZoomReset, &QAction::triggered, this, [this] { StepZoom(0); });
}

void frmDoc::StepZoom(int direction) {
  m_zoom = mSettings::ZoomStep(m_zoom, direction);
  // A window without a source (none stored) still zooms, for as long as it is open.
  if (!m_sourceId.empty()) mSettings::SetPageZoom(m_sourceId, m_zoom);
  m_viewFactory.SetZoom(ucBrowser(), m_zoom / 100.0);
}

QWidget* frmDoc::ucBrowser() {
  if (m_browser) return m_browser;
  m_browser = m_viewFactory.CreateView(this, OpenOnDesktop,
                                       [this](bool shown) { PicturesRequested(shown); });
  m_browser->setObjectName(QStringLiteral("ucBrowser"));
  m_browser->setAccessibleName(QStringLiteral("Message"));
  m_browser->addActions(m_pageActions);
  static_cast<QVBoxLayout*>(layout())->addWidget(m_browser, 1);
  setFocusProxy(m_browser);
  if (m_loaded) ShowPage(m_picturesNow || mSettings::PicturesAlwaysShown(m_sourceId));
  return m_browser;
}

void frmDoc::AddPageAction(QAction* action) {
  m_pageActions << action;
  if (m_browser) m_browser->addAction(action);
}

bool frmDoc::PageAtEnd() { return m_viewFactory.AtEnd(ucBrowser()); }

void frmDoc::PageDown() { m_viewFactory.PageDown(ucBrowser()); }

void frmDoc::FocusPage() { ucBrowser()->setFocus(Qt::OtherFocusReason); }

void frmDoc::ReleaseView() {
  if (!m_browser) return;
  m_scroll = m_viewFactory.ScrollPosition(m_browser);
  setFocusProxy(nullptr);
  // Later: the view may be inside one of its own signals right now.
  m_browser->deleteLater();
  m_browser = nullptr;
}

void frmDoc::ShowPage(bool remotePictures) {
  // The source's zoom may have changed in another window since.
  if (!m_sourceId.empty()) m_zoom = mSettings::PageZoom(m_sourceId);
  m_viewFactory.SetZoom(ucBrowser(), m_zoom / 100.0);
  m_viewFactory.Load(ucBrowser(), m_page, remotePictures, m_scroll);
}

void frmDoc::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  auto* window = qobject_cast<QMdiSubWindow*>(parentWidget());
  if (m_tabWatched || !window) return;
  m_tabWatched = true;
  connect(window, &QMdiSubWindow::windowStateChanged, this,
          [this](Qt::WindowStates, Qt::WindowStates now) {
            if (now & Qt::WindowActive) {
              ucBrowser();
            } else {
              ReleaseView();
            }
          });
}

void frmDoc::Navigate(const std::string& path) {
  QFile file(QString::fromStdString(path));
  m_page = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  m_loaded = true;
  m_picturesNow = false;
  m_scroll = {};
  ShowPicturesBar(false);
  ShowPage(mSettings::PicturesAlwaysShown(m_sourceId));
}

void frmDoc::PicturesRequested(bool shown) {
  const bool always = mSettings::PicturesAlwaysShown(m_sourceId);
  // Pictures shown for this message only need no bar any more.
  if (shown && !always) return;
  lblPictures->setText(QString::fromLatin1(shown ? kPicturesShownText : kPicturesHiddenText));
  btnShowPictures->setVisible(!shown);
  btnAlwaysPictures->setText(shown ? QStringLiteral("&Stop Showing")
                                   : QStringLiteral("&Always for This Source"));
  ShowPicturesBar(true);
}

void frmDoc::btnShowPictures_Click() {
  ShowPicturesBar(false);
  FocusPage();
  m_picturesNow = true;
  m_scroll = m_viewFactory.ScrollPosition(ucBrowser());
  ShowPage(true);
}

void frmDoc::btnAlwaysPictures_Click() {
  const bool always = !mSettings::PicturesAlwaysShown(m_sourceId);
  if (!mSettings::SetPicturesAlwaysShown(m_sourceId, always)) return;
  ShowPicturesBar(false);
  FocusPage();
  m_picturesNow = false;
  m_scroll = m_viewFactory.ScrollPosition(ucBrowser());
  ShowPage(always);
}

void frmDoc::Print(QPrinter& printer) const {
  PageDocument page;
  page.setHtml(QString::fromUtf8(m_page));
  page.print(&printer);
}

QString frmDoc::DocumentTitle() const {
  PageDocument page;
  page.setHtml(QString::fromUtf8(m_page));
  const QString title = page.metaInformation(QTextDocument::DocumentTitle).simplified();
  return title.isEmpty() ? windowTitle() : title;
}

QString frmDoc::TabText(QString caption) {
  caption.replace(QLatin1String("&"), QLatin1String("&&"));
  caption.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
  return caption;
}
