#include "presentation/frmDoc.h"

#include "core/mGeneralFunctions.h"
#include "presentation/MessageView.h"

#include <QVBoxLayout>

namespace {

void OpenOnDesktop(const QUrl& url) {
  if (!MessageView::IsExternalLink(url)) return;
  mGeneralFunctions::ShellOpen(url.toString(QUrl::FullyEncoded).toStdString());
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
  m_viewFactory.Load(m_browser, QString::fromStdString(path));
}
