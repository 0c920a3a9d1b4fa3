#pragma once
// The Subscription List Manager: every source under the root "Sources" in tvSources, with fields
// to add a source or, after a double click on it, to edit one; a delete button that unsubscribes
// the selected source. The work is SubscriptionChecks'; the message tree is rebuilt when the
// dialog closes, and the document windows of an unsubscribed source close at once.

#include "core/TreeControl.h"
#include "subscriptions/SubscriptionChecks.h"

#include <QDialog>

#include <memory>

class IDocumentHost;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class TreeModel;

class frmSubscrListManager : public QDialog {
  Q_OBJECT

 public:
  // messageTree: rebuilt when the dialog closes. documents: where the messages are open; null
  // when none can be.
  frmSubscrListManager(TreeControl& messageTree, IDocumentHost* documents,
                       QWidget* parent = nullptr);
  ~frmSubscrListManager() override;

  TreeControl& Sources() { return m_sources; }
  TreeModel& Model() { return *m_model; }
  const SubscriptionChecks::ManagerState& State() const { return m_state; }

  // Closing in any way (close box, Escape) ends here.
  void done(int result) override;

  static constexpr const char* kQuickHelp =
      "Using Subscription List Manager, you can manage your Subscription Lists with ease! Simply "
      "specify the details in the fields and press \"Add New\" button to subscribe a New Source. "
      "Want to Edit details of existing Source? Just double click the source title in List, make "
      "changes and Save! To Delete a source, select it in List and hit \"Delete button.";

  QTreeView* tvSources = nullptr;
  QLabel* lblTitle = nullptr;
  QLineEdit* txtTitle = nullptr;
  QLabel* lblSourceLink = nullptr;
  QLineEdit* txtLink = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnDel = nullptr;
  QPushButton* btnCancel = nullptr;
  QLabel* lblInfo = nullptr;
  QLabel* lblQuickHelp = nullptr;
  QLabel* imgTip = nullptr;

 private:
  void BuildControls();
  void CreateConnections();
  void tvSources_DblClick();
  void btnAdd_Click();
  void btnDel_Click();
  void btnCancel_Click();
  // Copies the fields and the mode out to the controls.
  void ShowState(const SubscriptionChecks::SourceFields& fields);

  TreeControl& m_messageTree;
  IDocumentHost* m_documents;
  TreeControl m_sources{"tvSources"};
  std::unique_ptr<TreeModel> m_model;
  SubscriptionChecks::ManagerState m_state;
};
