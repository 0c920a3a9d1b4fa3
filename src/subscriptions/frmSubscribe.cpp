#include "subscriptions/frmSubscribe.h"

#include "subscriptions/FieldFocus.h"
#include "subscriptions/SubscriptionChecks.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QFont DialogFont() {
  QFont font(QStringLiteral("Verdana"));
  font.setPointSizeF(8.25);
  return font;
}

}  // namespace

frmSubscribe::frmSubscribe(TreeControl& messageTree, QWidget* parent)
    : QDialog(parent), m_messageTree(messageTree) {
  setObjectName(QStringLiteral("frmSubscribe"));
  setWindowTitle(QStringLiteral("Subscribe to New Message Source"));
  setFont(DialogFont());
  BuildControls();
  CreateConnections();
}

void frmSubscribe::BuildControls() {
  imgNew = new QLabel(this);
  imgNew->setObjectName(QStringLiteral("imgNew"));
  imgNew->setPixmap(QIcon(QStringLiteral(":/icons/source.svg")).pixmap(48, 48));
  imgNew->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  const char* captions[] = {"Title:", "Source Link:"};
  for (std::size_t index = 0; index < lblInfo.size(); ++index) {
    lblInfo[index] = new QLabel(QString::fromLatin1(captions[index]), this);
    lblInfo[index]->setObjectName(QStringLiteral("lblInfo"));
  }
  txtTitle = new QLineEdit(this);
  txtTitle->setObjectName(QStringLiteral("txtTitle"));
  txtLink = new QLineEdit(this);
  txtLink->setObjectName(QStringLiteral("txtLink"));
  txtLink->setMinimumWidth(320);
  lblInfo[0]->setBuddy(txtTitle);
  lblInfo[1]->setBuddy(txtLink);

  btnSubscribe = new QPushButton(QStringLiteral("   Subscribe Now!"), this);
  btnSubscribe->setObjectName(QStringLiteral("btnSubscribe"));
  btnSubscribe->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("No Thanks!"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->addWidget(imgNew, 0, 0, 3, 1);
  grid->addWidget(lblInfo[0], 0, 1);
  grid->addWidget(txtTitle, 0, 2);
  grid->addWidget(lblInfo[1], 1, 1);
  grid->addWidget(txtLink, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnSubscribe);
  buttons->addWidget(btnCancel);
  grid->addLayout(buttons, 2, 1, 1, 2);
  grid->setColumnStretch(2, 1);
}

void frmSubscribe::CreateConnections() {
  connect(btnSubscribe, &QPushButton::clicked, this, &frmSubscribe::btnSubscribe_Click);
  connect(btnCancel, &QPushButton::clicked, this, &frmSubscribe::btnCancel_Click);
}

void frmSubscribe::SetLink(const QString& link) { txtLink->setText(link); }

void frmSubscribe::btnSubscribe_Click() {
  const SubscriptionChecks::Attempt attempt = SubscriptionChecks::Subscribe(
      {txtTitle->text().toStdString(), txtLink->text().toStdString()}, m_messageTree);
  ApplyFieldFocus(attempt.focus, txtTitle, txtLink);
}

void frmSubscribe::btnCancel_Click() { close(); }
