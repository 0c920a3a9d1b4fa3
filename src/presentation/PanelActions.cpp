#include "presentation/PanelActions.h"

#include "core/AppInfo.h"
#include "core/DocumentHost.h"
#include "core/Services.h"
#include "core/SourceId.h"
#include "core/mGeneralFunctions.h"
#include "inbox/InboxTree.h"
#include "inbox/mInbox.h"
#include "presentation/MessageRendering.h"
#include "retrieval/CheckRun.h"
#include "subscriptions/mSubscriptions.h"

namespace PanelActions {

namespace {

using Node = TreeControl::Node;

// A modal box or a check run lets events run, and a reload may replace the node meanwhile: a
// message is found again by its source's key and its guid. A source folded meanwhile may have
// given its message nodes up.
Node* FindMessage(const TreeControl& tree, const std::string& sourceKey, const std::string& guid) {
  const Node* source = tree.Find(sourceKey);
  for (std::size_t row = 0; source && row < source->ChildCount(); ++row)
    if (source->Child(row)->Tag() == guid) return source->Child(row);
  return nullptr;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

bool CanEditLabel(const Node& node) { return node.IsTopLevel(); }

void Attach(TreeControl& tree, IDocumentHost& host, std::function<void(int x, int y)> openPopup,
            std::function<void(int x, int y)> openSourcePopup) {
  mInbox::ReadSourcesOnDemand(tree);
  tree.SetLabelEditFilter(&CanEditLabel);
  tree.SetOnDblClick([&tree, &host] { DblClick(tree, host); });
  tree.SetOnKeyDown(
      [&tree, &host](int keyCode, int shift) { KeyDown(tree, host, keyCode, shift); });
  tree.SetOnKeyUp([&tree](int keyCode, int shift) { KeyUp(tree, keyCode, shift); });
  tree.SetOnAfterLabelEdit([](TreeControl::LabelEditEvent& event) { AfterLabelEdit(event); });
  tree.SetOnMouseUp(
      [&tree, openPopup = std::move(openPopup), openSourcePopup = std::move(openSourcePopup)](
          int button, int shift, int x, int y) {
        if (MouseUp(tree, button, shift, x, y)) {
          if (openPopup) openPopup(x, y);
        } else if (SourceMouseUp(tree, button, x, y) && openSourcePopup) {
          openSourcePopup(x, y);
        }
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
  const Node* selected = tree.SelectedItem();
  if (!selected || selected->IsTopLevel()) return;
  OpenMessage(tree, host, selected->Parent()->Key(), selected->Tag());
}

bool OpenMessage(TreeControl& tree, IDocumentHost& host, const std::string& sourceId,
                 const std::string& guid) {
  // A message that could not be shown is not marked read.
  if (!MessageRendering::ShowMessage(sourceId, guid, host)) return false;
  // The inbox's flag decides, whatever the node shows; a node shown read stays as it is.
  if (!mInbox::MarkMessage(sourceId, guid, true)) return true;
  Node* node = FindMessage(tree, sourceId, guid);
  if (node && node->Image() != MessageTreeImage::Read) {
    node->SetImage(MessageTreeImage::Read);
    node->SetBold(false);
  }
  return true;
}

void KeyDown(TreeControl& tree, IDocumentHost& host, int keyCode, int /*shift*/) {
  // Keyboard users read too.
  if (keyCode == kKeyReturn) OpenSelectedMessage(tree, host);
}

void KeyUp(TreeControl& tree, int keyCode, int /*shift*/) {
  const Node* node = tree.SelectedItem();
  if (tree.Count() == 0 || !node || !node->IsTopLevel()) return;
  if (keyCode == TreeControl::KeyF2) tree.StartLabelEdit();
}

void AfterLabelEdit(TreeControl::LabelEditEvent& event) {
  if (!event.node || mGeneralFunctions::IsBlank(event.newText)) {
    event.cancel = true;
    return;
  }
  TreeControl& tree = event.node->Tree();
  const std::string key = event.node->Key();
  const std::string question = "Do you want to change the title " + Quoted(event.node->Text()) +
                               " to " + Quoted(event.newText) + "?";
  const int answer =
      Services::MessageBox().Show(question, kChangeTitleTitle, Services::vbYesNoQuestionDefaultNo);
  // The box let events run: the source may be gone, or a reload may have replaced its node.
  Node* node = tree.Find(key);
  if (answer != Services::vbYes || !node) {
    event.cancel = true;
    return;
  }
  mSubscriptions::CurrentSource = {node->Text(), node->Tag(), key};
  mSubscriptions::EditedSource = {event.newText, node->Tag(), key};
  if (mSubscriptions::ManageSource(mSubscriptions::SourceAction::Update)) {
    // A node that replaced the edited one takes the title too.
    node->SetText(event.newText);
  } else {
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

bool SourceMouseUp(TreeControl& tree, int button, int x, int y) {
  if (button != TreeControl::ButtonRight) return false;
  Node* target = tree.HitTest(x, y);
  if (!target || !target->IsTopLevel() || !SourceId::IsSourceID(target->Key())) return false;
  tree.SetSelectedItem(target);
  return true;
}

void OptionBarItemClick(const std::string& key, const std::function<void()>& showSettings,
                        const std::function<void()>& showScheduler) {
  if (key == "opt_settings") {
    if (showSettings) showSettings();
  } else if (key == "opt_scheduler") {
    if (showScheduler) showScheduler();
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

std::string AboutText() {
  return std::string(AppInfo::kTitle) + " " + mGeneralFunctions::ApplicationBuild(true, true) +
         "\r\n\r\nA desktop reader for newsletter channels published as RSS 2.0 feeds.\r\n" +
         AppInfo::kWebsite + "\r\n\r\n" + AppInfo::kLicence;
}

void ShowAbout() {
  Services::MessageBox().Show(AboutText(), std::string("About ") + AppInfo::kTitle,
                              Services::vbOKOnly + Services::vbInformation);
}

}  // namespace PanelActions
