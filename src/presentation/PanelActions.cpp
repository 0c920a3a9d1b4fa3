#include "presentation/PanelActions.h"

#include "core/AppInfo.h"
#include "core/DocumentHost.h"
#include "core/Services.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"
#include "presentation/MessageRendering.h"
#include "retrieval/CheckRun.h"
#include "subscriptions/mSubscriptions.h"

#include <algorithm>

namespace PanelActions {

namespace {

using Node = TreeControl::Node;

// A modal box or a check run lets events run, and a reload may remove the node meanwhile.
bool StillInTree(const TreeControl& tree, const Node* node) {
  const auto nodes = tree.NodeList();
  return std::find(nodes.begin(), nodes.end(), node) != nodes.end();
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

bool CanEditLabel(const Node& node) { return node.IsTopLevel(); }

void Attach(TreeControl& tree, IDocumentHost& host, std::function<void(int x, int y)> openPopup) {
  tree.SetLabelEditFilter(&CanEditLabel);
  tree.SetOnDblClick([&tree, &host] { DblClick(tree, host); });
  tree.SetOnKeyUp([&tree, &host](int keyCode, int shift) {
    // Enter opens the selected message, as a double click does: keyboard users read too.
    if (keyCode == kKeyReturn) {
      OpenSelectedMessage(tree, host);
      return;
    }
    KeyUp(tree, keyCode, shift);
  });
  tree.SetOnAfterLabelEdit([](TreeControl::LabelEditEvent& event) { AfterLabelEdit(event); });
  tree.SetOnMouseUp([&tree, openPopup = std::move(openPopup)](int button, int shift, int x, int y) {
    if (MouseUp(tree, button, shift, x, y) && openPopup) openPopup(x, y);
  });
}

void DblClick(TreeControl& tree, IDocumentHost& host) {
  Node* node = tree.SelectedItem();
  if (tree.Count() == 0 || !node) return;
  if (node->IsTopLevel()) {
    mAppFunctions::CheckTrigger(tree, false);
    return;
  }
  OpenSelectedMessage(tree, host);
}

void OpenSelectedMessage(TreeControl& tree, IDocumentHost& host) {
  Node* node = tree.SelectedItem();
  if (!node || node->IsTopLevel()) return;
  const std::string sourceId = node->Parent()->Key();
  const std::string guid = node->Tag();
  // A message that could not be shown is not marked read.
  if (!MessageRendering::ShowMessage(sourceId, guid, host)) return;
  if (!StillInTree(tree, node) || node->Image() != MessageTreeImage::Unread) return;
  node->SetImage(MessageTreeImage::Read);
  node->SetBold(false);
  // Named again rather than trusting what the rendering left behind.
  mInbox::SourceID = sourceId;
  mInbox::CurrentItem.guid = guid;
  mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::MarkRead));
}

void KeyUp(TreeControl& tree, int keyCode, int /*shift*/) {
  const Node* node = tree.SelectedItem();
  if (tree.Count() == 0 || !node || !node->IsTopLevel()) return;
  if (keyCode == TreeControl::KeyF2) tree.StartLabelEdit();
}

void AfterLabelEdit(TreeControl::LabelEditEvent& event) {
  const Node* node = event.node;
  if (!node || mGeneralFunctions::IsBlank(event.newText)) {
    event.cancel = true;
    return;
  }
  const std::string question = "Do you want to change the title " + Quoted(node->Text()) + " to " +
                               Quoted(event.newText) + "?";
  if (Services::MessageBox().Show(question, kChangeTitleTitle,
                                  Services::vbYesNoQuestionDefaultNo) != Services::vbYes) {
    event.cancel = true;
    return;
  }
  mSubscriptions::CurrentSource = {node->Text(), node->Tag(), node->Key()};
  mSubscriptions::EditedSource = {event.newText, node->Tag(), node->Key()};
  if (!mSubscriptions::ManageSource(mSubscriptions::SourceAction::Update)) {
    // The edit stands: the tree shows the new title until it is next loaded from the file.
    Services::MessageBox().Show(kRenameFailedText, kRenameFailedTitle,
                                Services::vbOKOnly + Services::vbExclamation);
  }
}

bool MouseUp(TreeControl& tree, int button, int /*shift*/, int x, int y) {
  if (button != TreeControl::ButtonRight || tree.Count() == 0) return false;
  Node* target = tree.HitTest(x, y);
  if (!target) target = tree.SelectedItem();
  // The popup's commands act on a message; a source node gets none.
  if (!target || target->IsTopLevel()) return false;
  tree.SetSelectedItem(target);
  return true;
}

void OptionBarItemClick(const std::string& key, const std::function<void()>& showSettings) {
  if (key == "opt_settings") {
    if (showSettings) showSettings();
  } else if (key == "opt_scheduler") {
    Services::MessageBox().Show(kSchedulerText, AppInfo::kTitle, Services::vbOKOnly);
  } else if (key == "help_file") {
    OpenHelpFile();
  } else if (key == "help_email") {
    ContactUs();
  } else if (key == "help_website") {
    VisitWebsite();
  }
}

std::string HelpFilePath() {
  return mGeneralFunctions::AddBackslash(Services::Environment().ProgramFolder()) +
         AppInfo::kHelpFileName;
}

void OpenHelpFile() {
  const std::string path = HelpFilePath();
  if (mGeneralFunctions::FileExists(path)) {
    mGeneralFunctions::ShellOpen(path);
  } else {
    Services::MessageBox().Show(kHelpMissingText, kHelpMissingTitle,
                                Services::vbOKOnly + Services::vbExclamation);
  }
}

void ContactUs() { mGeneralFunctions::ShellOpen(std::string("mailto:") + AppInfo::kSupportEmail); }

void VisitWebsite() { mGeneralFunctions::ShellOpen(AppInfo::kWebsite); }

}  // namespace PanelActions
