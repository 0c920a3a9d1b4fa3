#include "subscriptions/frmSubscrListManager.h"

#include "core/TreeModel.h"
#include "subscriptions/FieldFocus.h"
#include "subscriptions/SourceTree.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QFont DialogFont() {
  QFont font(QStringLiteral("Verdana"));
  font.setPointSizeF(8.25);
  return font;
}

QLabel* MakeLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

frmSubscrListManager::frmSubscrListManager(TreeControl& messageTree, IDocumentHost* documents,
                                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_messageTree(messageTree),
      m_documents(documents) {
  setObjectName(QStringLiteral("frmSubscrListManager"));
  setWindowTitle(QStringLiteral("Subscription List Manager"));
  setFont(DialogFont());
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);

  m_model = std::make_unique<TreeModel>(m_sources);
  // Image 1 is the root, image 4 a source.
  m_model->SetImageList({QIcon(), QIcon(QStringLiteral(":/icons/quillpost.svg")), QIcon(), QIcon(),
                         QIcon(QStringLiteral(":/icons/source.svg"))});
  BuildControls();
  CreateConnections();
  mSubscriptions::LoadSubscriptions(m_sources);
  ShowState({});
  setFixedSize(sizeHint());
}

frmSubscrListManager::~frmSubscrListManager() {
  // The view goes before the model and the tree it shows.
  delete tvSources;
  tvSources = nullptr;
}

void frmSubscrListManager::BuildControls() {
  tvSources = new QTreeView(this);
  tvSources->setObjectName(QStringLiteral("tvSources"));
  tvSources->setAccessibleName(QStringLiteral("Subscribed sources"));
  tvSources->setHeaderHidden(true);
  tvSources->setMinimumSize(220, 300);
  m_model->AttachView(tvSources);

  lblTitle = MakeLabel("lblTitle", QStringLiteral("Title:"), this);
  txtTitle = new QLineEdit(this);
  txtTitle->setObjectName(QStringLiteral("txtTitle"));
  lblTitle->setBuddy(txtTitle);
  lblSourceLink = MakeLabel("lblSourceLink", QStringLiteral("Source Link:"), this);
  txtLink = new QLineEdit(this);
  txtLink->setObjectName(QStringLiteral("txtLink"));
  txtLink->setMinimumWidth(300);
  lblSourceLink->setBuddy(txtLink);

  btnAdd = MakeButton("btnAdd", QStringLiteral("Add New"), this);
  btnDel = MakeButton("btnDel", QStringLiteral("Delete"), this);
  btnCancel = MakeButton("btnCancel", QStringLiteral("Clear Fields"), this);

  imgTip = new QLabel(this);
  imgTip->setObjectName(QStringLiteral("imgTip"));
  imgTip->setPixmap(QIcon(QStringLiteral(":/icons/help.svg")).pixmap(24, 24));
  imgTip->setAlignment(Qt::AlignTop);
  lblInfo = MakeLabel("lblInfo", QStringLiteral("Quick Help:"), this);
  QFont bold = font();
  bold.setBold(true);
  lblInfo->setFont(bold);
  lblQuickHelp = MakeLabel("lblQuickHelp", QString::fromLatin1(kQuickHelp), this);
  lblQuickHelp->setWordWrap(true);
  lblQuickHelp->setAlignment(Qt::AlignTop | Qt::AlignLeft);

  auto* fields = new QGridLayout;
  fields->setContentsMargins(10, 10, 10, 10);
  fields->addWidget(lblTitle, 0, 0);
  fields->addWidget(txtTitle, 0, 1);
  fields->addWidget(lblSourceLink, 1, 0);
  fields->addWidget(txtLink, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnAdd);
  buttons->addWidget(btnDel);
  buttons->addWidget(btnCancel);
  fields->addLayout(buttons, 2, 0, 1, 2);
  auto* help = new QGridLayout;
  help->addWidget(imgTip, 0, 0, 2, 1);
  help->addWidget(lblInfo, 0, 1);
  help->addWidget(lblQuickHelp, 1, 1);
  help->setColumnStretch(1, 1);
  fields->addLayout(help, 3, 0, 1, 2);
  fields->setRowStretch(4, 1);
  fields->setColumnStretch(1, 1);

  // The tree stands at the top left corner, as tall as the dialog.
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->addWidget(tvSources);
  outer->addLayout(fields, 1);
}

void frmSubscrListManager::CreateConnections() {
  m_sources.SetOnDblClick([this] { tvSources_DblClick(); });
  connect(btnAdd, &QPushButton::clicked, this, &frmSubscrListManager::btnAdd_Click);
  connect(btnDel, &QPushButton::clicked, this, &frmSubscrListManager::btnDel_Click);
  connect(btnCancel, &QPushButton::clicked, this, &frmSubscrListManager::btnCancel_Click);
}

void frmSubscrListManager::ShowState(const SubscriptionChecks::SourceFields& fields) {
  txtTitle->setText(QString::fromStdString(fields.title));
  txtLink->setText(QString::fromStdString(fields.link));
  btnAdd->setText(QString::fromStdString(SubscriptionChecks::AddButtonCaption(m_state.mode)));
}

void frmSubscrListManager::tvSources_DblClick() {
  if (m_sources.Count() == 0) return;
  SubscriptionChecks::SourceFields fields;
  if (SubscriptionChecks::EnterEditMode(m_sources, m_state, fields)) ShowState(fields);
}

void frmSubscrListManager::btnAdd_Click() {
  SubscriptionChecks::SourceFields fields{txtTitle->text().toStdString(),
                                          txtLink->text().toStdString()};
  const SubscriptionChecks::Attempt attempt =
      SubscriptionChecks::AddOrSave(m_state, fields, m_sources);
  if (attempt.done) ShowState(fields);
  ApplyFieldFocus(attempt.focus, txtTitle, txtLink);
}

void frmSubscrListManager::btnDel_Click() {
  SubscriptionChecks::Unsubscribe(m_sources, m_documents);
}

void frmSubscrListManager::btnCancel_Click() {
  SubscriptionChecks::SourceFields fields;
  SubscriptionChecks::ClearFields(m_state, fields);
  ShowState(fields);
}

void frmSubscrListManager::done(int result) {
  mSubscriptions::LoadSubscriptions(m_messageTree);
  QDialog::done(result);
}
