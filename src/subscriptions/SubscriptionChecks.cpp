#include "subscriptions/SubscriptionChecks.h"

#include "core/AsciiText.h"
#include "core/DocumentHost.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/InboxEvents.h"
#include "inbox/mInbox.h"
#include "subscriptions/SourceLink.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace SubscriptionChecks {

namespace {

namespace fs = std::filesystem;
using mGeneralFunctions::IsBlank;
using mSubscriptions::CurrentSource;
using mSubscriptions::SourceAction;

constexpr const char* kRootKey = "main";
constexpr const char* kAlreadyTitle = "Already Subscribed!";
constexpr const char* kAlreadyText = "You have already subscribed to this Message channel!";
constexpr const char* kDoneTitle = "Done!";

void Inform(const std::string& text, const std::string& title) {
  Services::MessageBox().Show(text, title, Services::vbOKOnly + Services::vbInformation);
}

void Warn(const std::string& text, const std::string& title) {
  Services::MessageBox().Show(text, title, Services::vbOKOnly + Services::vbExclamation);
}

// The guids of the source's stored messages.
std::vector<std::string> StoredGuids(const std::string& id) {
  const auto messages = mInbox::ListMessages(id);
  std::vector<std::string> guids;
  if (messages)
    for (const mInbox::MessageSummary& message : *messages) guids.push_back(message.guid);
  return guids;
}

}  // namespace

Refusal CheckLink(std::string_view typed, std::string& link) {
  if (IsBlank(std::string(typed))) return Refusal::BlankLink;
  std::optional<std::string> normalized = SourceLink::Normalized(typed);
  if (!SourceLink::NamesServiceHost(typed) || !normalized) return Refusal::InvalidLink;
  link = std::move(*normalized);
  return Refusal::None;
}

bool LinkSubscribed(const std::string& link) {
  std::vector<std::string> stored;
  const mSubscriptions::OpenFailure failure = mSubscriptions::ReadLinks(stored);
  mSubscriptions::ShowOpenFailure(failure);
  const std::string compared = SourceLink::Compared(link);
  return std::any_of(stored.begin(), stored.end(), [&](const std::string& each) {
    return SourceLink::Compared(each) == compared;
  });
}

Refusal CheckNewSource(const SourceFields& fields, std::string& link) {
  if (IsBlank(fields.title)) return Refusal::BlankTitle;
  if (const Refusal refusal = CheckLink(fields.link, link); refusal != Refusal::None)
    return refusal;
  if (LinkSubscribed(link)) return Refusal::AlreadySubscribed;
  return Refusal::None;
}

Attempt Subscribe(const SourceFields& fields, TreeControl& messageTree) {
  std::string link;
  switch (CheckNewSource(fields, link)) {
    case Refusal::BlankTitle:
      Inform("Please specify a Title for Message Source.", "Title?");
      return {false, Focus::Title};
    case Refusal::BlankLink:
      Inform("Please specify the URL Link of Message Source.", "Link?");
      return {false, Focus::Link};
    case Refusal::InvalidLink:
      Warn(SourceLink::kInvalidLinkText, SourceLink::kInvalidLinkTitle);
      return {false, Focus::LinkSelected};
    case Refusal::AlreadySubscribed:
      Warn(kAlreadyText, kAlreadyTitle);
      return {};
    case Refusal::None:
      break;
  }
  if (!mSubscriptions::AddSource(fields.title, link)) return {};
  Inform("New Source successfully Added to Subscription List!", kDoneTitle);
  mSubscriptions::LoadSubscriptions(messageTree);
  return {true, Focus::None};
}

std::string AddButtonCaption(ManagerMode mode) {
  return mode == ManagerMode::Edit ? "Save Changes!" : "Add New";
}

bool EnterEditMode(const TreeControl& sources, ManagerState& state, SourceFields& fields) {
  const TreeControl::Node* node = sources.SelectedItem();
  if (!node) return false;
  fields.title = node->Text();
  state.formerTitle = node->Text();
  fields.link = node->Tag();
  state.formerLink = node->Tag();
  state.id = node->Key();
  state.mode = ManagerMode::Edit;
  return true;
}

void ClearFields(ManagerState& state, SourceFields& fields) {
  fields = {};
  state = {};
}

Attempt AddOrSave(ManagerState& state, SourceFields& fields, TreeControl& sources) {
  if (IsBlank(fields.title)) {
    Warn("Please specify Title for Message Source.", "Title?");
    return {false, Focus::Title};
  }
  if (IsBlank(fields.link)) {
    Warn("Please specify Message Source Link.", "Message Source Link?");
    return {false, Focus::Link};
  }
  const std::optional<std::string> normalized = SourceLink::Normalized(fields.link);
  if (!SourceLink::NamesServiceHostAsTyped(fields.link) || !normalized) {
    Warn(
        "You've specified invalid Message Source Link. Please specify correct Quillpost Message "
        "Source URL.",
        "Invalid Link!");
    return {false, Focus::LinkSelected};
  }

  if (state.mode == ManagerMode::Edit) {
    // A link the user left alone stays as it is stored, even from before these rules.
    const std::string link = fields.link == state.formerLink ? state.formerLink : *normalized;
    if (SourceLink::Compared(link) != SourceLink::Compared(state.formerLink) &&
        LinkSubscribed(link)) {
      Warn(kAlreadyText, kAlreadyTitle);
      return {false, Focus::LinkSelected};
    }
    CurrentSource = {state.formerTitle, state.formerLink, state.id};
    mSubscriptions::EditedSource = {fields.title, link, state.id};
    // A source that is no longer in the file: nothing is said and editing goes on.
    if (!mSubscriptions::ManageSource(SourceAction::Update)) return {};
    Inform("Message Source Details are successfully Saved!", kDoneTitle);
  } else {
    if (LinkSubscribed(*normalized)) {
      Warn(kAlreadyText, kAlreadyTitle);
      return {};
    }
    if (!mSubscriptions::AddSource(fields.title, *normalized)) return {};
    Inform("New Message Source is succcessfully Subscribed!", kDoneTitle);
  }
  ClearFields(state, fields);
  mSubscriptions::LoadSubscriptions(sources);
  return {true, Focus::None};
}

bool Unsubscribe(TreeControl& sources, IDocumentHost* documents) {
  const TreeControl::Node* node = sources.SelectedItem();
  if (sources.Count() == 0 || !node || node->Key() == kRootKey) return false;
  bool confirmed = false;
  const bool removed =
      UnsubscribeSource(node->Key(), node->Text(), node->Tag(), documents, &confirmed);
  // Declined, the list stays as it is, its selection with it.
  if (confirmed) mSubscriptions::LoadSubscriptions(sources);
  return removed;
}

bool UnsubscribeSource(const std::string& id, const std::string& text, const std::string& /*link*/,
                       IDocumentHost* documents, bool* confirmed) {
  const int answer = Services::MessageBox().Show(
      "Are you sure you want to Unsubscribe " + text +
          " message source? Please note that once you Unsubscribe, all offline Message content "
          "will also be lost.\r\n\r\nContinue??",
      "Unsubscribe " + text + "??", Services::vbYesNoQuestionDefaultNo);
  if (answer != Services::vbYes) return false;
  if (confirmed) *confirmed = true;

  const mSubscriptions::Outcome removed = mSubscriptions::RemoveSource(id);
  mSubscriptions::ShowFailure(removed);
  if (removed) {
    // Read before the folder goes: the open documents are known only by their guids.
    const std::vector<std::string> guids = documents ? StoredGuids(id) : std::vector<std::string>{};
    DeleteSourceFolder(id);
    // One window per message: opening a message that is open only focuses its window.
    for (const std::string& guid : guids) documents->CloseDocument(guid);
  }
  return removed.Done();
}

bool DeleteSourceFolder(const std::string& id) {
  const std::string& dataPath = mAppFunctions::DataPath;
  if (!mSubscriptions::IsSourceID(id) || IsBlank(dataPath)) return false;
  std::error_code ec;
  const fs::path data = fs::canonical(dataPath, ec);
  if (ec) return false;
  std::string folder = mGeneralFunctions::AddBackslash(dataPath) + id;
  const fs::path resolved = fs::weakly_canonical(folder, ec);
  if (ec || resolved == data || resolved.parent_path() != data) return false;
  if (!fs::exists(fs::symlink_status(folder, ec))) return false;
  std::string none;
  mGeneralFunctions::ShellFileOperation(
      folder, none, mGeneralFunctions::FO_DELETE,
      mGeneralFunctions::FOF_SILENT + mGeneralFunctions::FOF_NOCONFIRMATION);
  if (fs::exists(fs::symlink_status(resolved, ec))) return false;
  mInbox::NotifySourceRemoved(id);
  return true;
}

}  // namespace SubscriptionChecks
