#include "config/frmSettings.h"

#include "config/mSettings.h"

#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
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

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnSave);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chkStartup);
  layout->addWidget(lblInfo);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  CreateConnections();
  Form_Load();
}

void frmSettings::CreateConnections() {
  connect(btnSave, &QPushButton::clicked, this, &frmSettings::btnSave_Click);
  connect(btnCancel, &QPushButton::clicked, this, &frmSettings::btnCancel_Click);
}

void frmSettings::Form_Load() {
  bool updateDialog = true;
  mSettings::LoadAppSettings(updateDialog);
  if (updateDialog) chkStartup->setChecked(mSettings::WinStartup != 0);
}

void frmSettings::btnSave_Click() {
  mSettings::WinStartup = chkStartup->isChecked() ? 1 : 0;
  mSettings::SaveAppSettings();
  close();
}

void frmSettings::btnCancel_Click() { close(); }
