#include "config/frmSettings.h"

#include "config/mSettings.h"
#include "core/Services.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

frmSettings::frmSettings(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmSettings"));
  setWindowTitle(QString::fromLatin1(kCaption));
  QFont font(QStringLiteral("Verdana"));
  font.setPointSizeF(8.25);
  setFont(font);

  chkStartup = new QCheckBox(QString::fromLatin1(kStartupText), this);
  chkStartup->setObjectName(QStringLiteral("chkStartup"));
  lblInfo = new QLabel(QString::fromLatin1(kInfoText), this);
  lblInfo->setObjectName(QStringLiteral("lblInfo"));
  lblInfo->setWordWrap(true);
  lblInfo->setMinimumWidth(360);
  btnSave = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                            QString::fromLatin1(kSaveText), this);
  btnSave->setObjectName(QStringLiteral("btnSave"));
  btnSave->setDefault(true);
  btnCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                              QString::fromLatin1(kCancelText), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));

  fraSync = new QWidget(this);
  fraSync->setObjectName(QStringLiteral("fraSync"));
  auto* syncLabel = new QLabel(QString::fromLatin1(kSyncLabel), fraSync);
  txtSyncFolder = new QLineEdit(fraSync);
  txtSyncFolder->setObjectName(QStringLiteral("txtSyncFolder"));
  txtSyncFolder->setClearButtonEnabled(true);
  txtSyncFolder->setPlaceholderText(QStringLiteral("(off)"));
  txtSyncFolder->setMinimumWidth(300);
  syncLabel->setBuddy(txtSyncFolder);
  btnSyncBrowse = new QPushButton(QString::fromLatin1(kBrowseText), fraSync);
  btnSyncBrowse->setObjectName(QStringLiteral("btnSyncBrowse"));
  auto* syncInfo = new QLabel(QString::fromLatin1(kSyncInfoText), fraSync);
  syncInfo->setWordWrap(true);
  auto* syncRow = new QHBoxLayout;
  syncRow->addWidget(syncLabel);
  syncRow->addWidget(txtSyncFolder, 1);
  syncRow->addWidget(btnSyncBrowse);
  auto* syncLayout = new QVBoxLayout(fraSync);
  syncLayout->setContentsMargins(0, 8, 0, 0);
  syncLayout->addLayout(syncRow);
  syncLayout->addWidget(syncInfo);
  fraSync->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnSave);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chkStartup);
  layout->addWidget(lblInfo);
  layout->addWidget(fraSync);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  CreateConnections();
  Form_Load();
}

void frmSettings::CreateConnections() {
  connect(btnSave, &QPushButton::clicked, this, &frmSettings::btnSave_Click);
  connect(btnCancel, &QPushButton::clicked, this, &frmSettings::btnCancel_Click);
  connect(btnSyncBrowse, &QPushButton::clicked, this, &frmSettings::btnSyncBrowse_Click);
}

void frmSettings::ShowSyncFolder(const std::string& current, SyncFolderHandler handler) {
  m_syncFolder = current;
  m_syncHandler = std::move(handler);
  txtSyncFolder->setText(QString::fromStdString(current));
  fraSync->show();
}

void frmSettings::btnSyncBrowse_Click() {
  const QString chosen = QFileDialog::getExistingDirectory(
      this, QString::fromLatin1(kSyncRefusalTitle), txtSyncFolder->text());
  if (!chosen.isEmpty()) txtSyncFolder->setText(chosen);
}

void frmSettings::Form_Load() {
  bool updateDialog = true;
  mSettings::LoadAppSettings(updateDialog);
  if (updateDialog) chkStartup->setChecked(mSettings::WinStartup != 0);
}

void frmSettings::btnSave_Click() {
  const std::string folder = txtSyncFolder->text().trimmed().toStdString();
  if (m_syncHandler && folder != m_syncFolder) {
    if (const std::string refusal = m_syncHandler(folder); !refusal.empty()) {
      Services::MessageBox().Show(refusal, kSyncRefusalTitle, Services::vbExclamation);
      txtSyncFolder->setFocus();
      return;
    }
    m_syncFolder = folder;
  }
  mSettings::WinStartup = chkStartup->isChecked() ? 1 : 0;
  mSettings::SaveAppSettings();
  close();
}

void frmSettings::btnCancel_Click() { close(); }
