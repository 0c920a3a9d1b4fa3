#include "shell/frmScheduler.h"

#include "config/mSettings.h"
#include "core/Services.h"
#include "shell/Scheduler.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

constexpr int kOther = static_cast<int>(std::size(Scheduler::kPresetMinutes));
constexpr int kProposedMinutes = 60;

QString IntervalText(int minutes) {
  if (minutes < 60) return QStringLiteral("Every %1 minutes").arg(minutes);
  return minutes == 60 ? QStringLiteral("Every hour") : QStringLiteral("Every %1 hours").arg(minutes / 60);
}

}  // namespace

frmScheduler::frmScheduler(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmScheduler"));
  setWindowTitle(QStringLiteral("Scheduler"));

  chkAutomatic = new QCheckBox(QStringLiteral("Check all sources &automatically"), this);
  chkAutomatic->setObjectName(QStringLiteral("chkAutomatic"));
  cboInterval = new QComboBox(this);
  cboInterval->setObjectName(QStringLiteral("cboInterval"));
  for (const int minutes : Scheduler::kPresetMinutes) cboInterval->addItem(IntervalText(minutes));
  cboInterval->addItem(QStringLiteral("Every ... minutes:"));
  txtMinutes = new QSpinBox(this);
  txtMinutes->setObjectName(QStringLiteral("txtMinutes"));
  txtMinutes->setRange(1, Scheduler::kMaxMinutes);
  txtMinutes->setSuffix(QStringLiteral(" minutes"));
  // "1 minute", "5 minutes".
  connect(txtMinutes, &QSpinBox::valueChanged, this, [this](int minutes) {
    txtMinutes->setSuffix(minutes == 1 ? QStringLiteral(" minute") : QStringLiteral(" minutes"));
  });
  chkAtStart = new QCheckBox(QStringLiteral("Check when Quillpost &starts"), this);
  chkAtStart->setObjectName(QStringLiteral("chkAtStart"));
  btnSave = new QPushButton(QStringLiteral("Save"), this);
  btnSave->setObjectName(QStringLiteral("btnSave"));
  btnSave->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));

  auto* interval = new QHBoxLayout;
  interval->addSpacing(20);
  interval->addWidget(cboInterval);
  interval->addWidget(txtMinutes);
  interval->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnSave);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chkAutomatic);
  layout->addLayout(interval);
  layout->addWidget(chkAtStart);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  CreateConnections();
  Form_Load();
}

void frmScheduler::CreateConnections() {
  connect(chkAutomatic, &QCheckBox::toggled, this, &frmScheduler::UpdateControls);
  connect(cboInterval, &QComboBox::currentIndexChanged, this, &frmScheduler::UpdateControls);
  connect(btnSave, &QPushButton::clicked, this, &frmScheduler::btnSave_Click);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmScheduler::Form_Load() {
  mSettings::LoadSchedulerSettings();
  const int minutes = mSettings::SchedulerInterval;
  const auto* preset = std::find(std::begin(Scheduler::kPresetMinutes),
                                 std::end(Scheduler::kPresetMinutes), minutes == 0 ? kProposedMinutes : minutes);
  chkAutomatic->setChecked(minutes > 0);
  cboInterval->setCurrentIndex(static_cast<int>(preset - std::begin(Scheduler::kPresetMinutes)));
  txtMinutes->setValue(minutes > 0 ? minutes : kProposedMinutes);
  chkAtStart->setChecked(mSettings::SchedulerAtStart != 0);
  UpdateControls();
}

void frmScheduler::UpdateControls() {
  cboInterval->setEnabled(chkAutomatic->isChecked());
  txtMinutes->setVisible(cboInterval->currentIndex() == kOther);
  txtMinutes->setEnabled(chkAutomatic->isChecked());
}

void frmScheduler::btnSave_Click() {
  const int index = cboInterval->currentIndex();
  int minutes = index == kOther ? txtMinutes->value() : Scheduler::kPresetMinutes[index];
  if (!chkAutomatic->isChecked()) minutes = 0;
  mSettings::SchedulerInterval = static_cast<std::int16_t>(minutes);
  mSettings::SchedulerAtStart = chkAtStart->isChecked() ? 1 : 0;
  if (!mSettings::SaveSchedulerSettings()) {
    Services::MessageBox().Show("Settings could not be saved to " + mSettings::SettingsFile() +
                                    ". The schedule holds until Quillpost ends.",
                                "Settings not saved!", Services::vbExclamation);
  }
  emit Saved();
  accept();
}
