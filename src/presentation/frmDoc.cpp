#include "presentation/frmDoc.h"

#include "config/mSettings.h"
#include "core/mGeneralFunctions.h"
#include "presentation/MessageView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
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
  BuildPicturesBar();
  m_browser = m_viewFactory.CreateView(this, OpenOnDesktop,
                                       [this](bool shown) { PicturesRequested(shown); });
  m_browser->setObjectName(QStringLiteral("ucBrowser"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(picPictures);
  layout->addWidget(m_browser, 1);
  CreateConnections();
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
  btnShowPictures = new QPushButton(QStringLiteral("&Show Pictures"), picPictures);
  btnShowPictures->setObjectName(QStringLiteral("btnShowPictures"));
  btnAlwaysPictures = new QPushButton(picPictures);
  btnAlwaysPictures->setObjectName(QStringLiteral("btnAlwaysPictures"));
  auto* row = new QHBoxLayout(picPictures);
  row->setContentsMargins(8, 4, 8, 4);
  row->addWidget(lblPictures, 1);
  row->addWidget(btnShowPictures);
  row->addWidget(btnAlwaysPictures);
  picPictures->hide();
}

void frmDoc::CreateConnections() {
  connect(btnShowPictures, &QPushButton::clicked, this, &frmDoc::btnShowPictures_Click);
  connect(btnAlwaysPictures, &QPushButton::clicked, this, &frmDoc::btnAlwaysPictures_Click);
}

void frmDoc::Navigate(const std::string& path) {
  picPictures->hide();
  m_viewFactory.Load(m_browser, QString::fromStdString(path),
                     mSettings::PicturesAlwaysShown(m_sourceId));
}

void frmDoc::PicturesRequested(bool shown) {
  const bool always = mSettings::PicturesAlwaysShown(m_sourceId);
  // Pictures shown for this message only need no bar any more.
  if (shown && !always) return;
  lblPictures->setText(QString::fromLatin1(shown ? kPicturesShownText : kPicturesHiddenText));
  btnShowPictures->setVisible(!shown);
  btnAlwaysPictures->setText(shown ? QStringLiteral("&Stop Showing")
                                   : QStringLiteral("&Always for This Source"));
  picPictures->show();
}

void frmDoc::btnShowPictures_Click() {
  picPictures->hide();
  m_viewFactory.Reload(m_browser, true);
}

void frmDoc::btnAlwaysPictures_Click() {
  const bool always = !mSettings::PicturesAlwaysShown(m_sourceId);
  if (!mSettings::SetPicturesAlwaysShown(m_sourceId, always)) return;
  picPictures->hide();
  m_viewFactory.Reload(m_browser, always);
}
