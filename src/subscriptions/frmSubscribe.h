#pragma once
// The dialog "Subscribe to New Message Source": a title and a source link, checked and added to
// the subscription file by SubscriptionChecks::Subscribe; after a success the message tree is
// rebuilt and the dialog stays open for the next one.

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class TreeControl;

class frmSubscribe : public QDialog {
  Q_OBJECT

 public:
  // messageTree: the main window's message tree, rebuilt after each subscription.
  explicit frmSubscribe(TreeControl& messageTree, QWidget* parent = nullptr);

  // Puts a link into txtLink, as the drop box does; the title is left as it is.
  void SetLink(const QString& link);

  QLineEdit* txtTitle = nullptr;
  QLineEdit* txtLink = nullptr;
  // "Title:" and "Source Link:".
  std::array<QLabel*, 2> lblInfo{};
  QPushButton* btnSubscribe = nullptr;
  QPushButton* btnCancel = nullptr;
  QLabel* imgNew = nullptr;

 private:
  void BuildControls();
  void CreateConnections();
  void btnSubscribe_Click();
  void btnCancel_Click();

  TreeControl& m_messageTree;
};
