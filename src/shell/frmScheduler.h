#pragma once
// The dialog "Scheduler": whether and how often every source is checked by itself, and whether
// once when the program starts. It edits the settings' scheduler section and says when it saved.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;

class frmScheduler : public QDialog {
  Q_OBJECT

 public:
  explicit frmScheduler(QWidget* parent = nullptr);

  QCheckBox* chkAutomatic = nullptr;
  QComboBox* cboInterval = nullptr;  // the usual intervals, then "Other" with txtMinutes
  QSpinBox* txtMinutes = nullptr;
  QCheckBox* chkAtStart = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnCancel = nullptr;

 signals:
  // The settings were saved (or, when settings.cfg could not be written, taken for this run).
  void Saved();

 private:
  void CreateConnections();
  void Form_Load();
  void UpdateControls();
  void btnSave_Click();
};
