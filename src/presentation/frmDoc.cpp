#include "presentation/frmDoc.h"

#include "core/Services.h"
#include "presentation/MessageView.h"

#include <QFile>
#include <QPrinter>
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
  Services::Shell().Open(url.toString(QUrl::FullyEncoded).toStdString());
}

}  // namespace

frmDoc::frmDoc(QWidget* parent, IMessageViewFactory* viewFactory)
    : QWidget(parent), m_viewFactory(viewFactory ? *viewFactory : MessageView::DefaultFactory()) {
  setObjectName(QStringLiteral("frmDoc"));
  m_browser = m_viewFactory.CreateView(this, OpenOnDesktop);
  m_browser->setObjectName(QStringLiteral("ucBrowser"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_browser);
}

void frmDoc::Navigate(const std::string& path) {
  QFile page(QString::fromStdString(path));
  m_page = page.open(QIODevice::ReadOnly) ? QString::fromUtf8(page.readAll()) : QString();
  m_viewFactory.Load(m_browser, QString::fromStdString(path));
}

void frmDoc::Print(QPrinter& printer) const {
  PageDocument page;
  page.setHtml(m_page);
  page.print(&printer);
}

QString frmDoc::TabText(QString caption) {
  caption.replace(QLatin1String("&"), QLatin1String("&&"));
  caption.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
  return caption;
}
