#pragma once
// "Preferences ...": whether the program starts with the user's session. Saving writes the
// choice to settings.cfg and registers or removes the start-up entry at once.

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

class frmSettings : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "Preferences ...";
  static constexpr const char* kStartupText = "Start Application on Windows Startup.";
  static constexpr const char* kInfoText =
      "If you select this option, Quillpost application will start on Windows Startup and it wll "
      "minimize itself to System notification area (bottom-right corner of screen where clock "
      "is shown). To avail the complete power and ease of use offered by Quillpost, we "
      "recommend using this option,";
  static constexpr const char* kSaveText = " Save Settings!";
  static constexpr const char* kCancelText = "No Changes!";

  // Loads the stored choice into the check box.
  explicit frmSettings(QWidget* parent = nullptr);

  QCheckBox* chkStartup = nullptr;
  QLabel* lblInfo = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void CreateConnections();
  void Form_Load();
  void btnSave_Click();
  void btnCancel_Click();
};
