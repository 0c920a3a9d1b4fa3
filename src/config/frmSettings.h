#pragma once
// "Preferences ...": whether the program starts with the user's session. Saving writes the
// choice to settings.cfg and registers or removes the start-up entry at once. With a sync folder
// handler it also shows the sync folder (typed, chosen with Browse, or emptied to turn sync off),
// handed to the handler on Save; a refusal is shown and the window stays open.

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

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
  static constexpr const char* kSyncLabel = "Sync folder:";
  static constexpr const char* kSyncInfoText =
      "A folder that a file sync program (Syncthing, for one) keeps the same on your other "
      "machines: read marks, deletions, subscriptions and saved searches follow you through it. "
      "Leave it empty to keep this machine to itself.";
  static constexpr const char* kBrowseText = "Browse ...";
  static constexpr const char* kSyncRefusalTitle = "Sync folder";

  // Takes the folder when Save is clicked; answers with the reason it is refused, or empty.
  using SyncFolderHandler = std::function<std::string(const std::string& folder)>;

  // Loads the stored choice into the check box.
  explicit frmSettings(QWidget* parent = nullptr);

  QCheckBox* chkStartup = nullptr;
  QLabel* lblInfo = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnCancel = nullptr;
  QWidget* fraSync = nullptr;
  QLineEdit* txtSyncFolder = nullptr;
  QPushButton* btnSyncBrowse = nullptr;

  // Shows the sync folder row with the folder in use.
  void ShowSyncFolder(const std::string& current, SyncFolderHandler handler);

 private:
  void CreateConnections();
  void Form_Load();
  void btnSave_Click();
  void btnCancel_Click();
  void btnSyncBrowse_Click();

  std::string m_syncFolder;
  SyncFolderHandler m_syncHandler;
};
