#pragma once
// What the message panel does, apart from any window: the handlers of the message tree's double
// click, key release, end of label edit and mouse release, and the option bar's items. The main
// window's Help menu shares the help, contact and web-site commands.

#include "core/TreeControl.h"

#include <functional>
#include <string>

class IDocumentHost;

namespace PanelActions {

inline constexpr const char* kChangeTitleTitle = "Change Title?";
inline constexpr const char* kRenameFailedTitle = "Failed to change Title!";
inline constexpr const char* kRenameFailedText =
    "Failed to change Source Title. Please close application & restart it and try again. If "
    "still you face the same error then please contact us, our customer care executive will get "
    "in touch with you with further details to resolve this issue.";
inline constexpr const char* kHelpMissingTitle = "Help File not found!";
inline constexpr const char* kHelpMissingText =
    "Application failed to find Help File. Either Help file is not installed or missing.";

// Only source labels may be edited: the end-of-edit handler renames a source by the node's tag.
bool CanEditLabel(const TreeControl::Node& node);
// Installs the handlers below on the tree, the label-edit filter, and the reading of a source's
// messages when it is unfolded. openPopup opens the message popup, openSourcePopup a source's.
void Attach(TreeControl& tree, IDocumentHost& host, std::function<void(int x, int y)> openPopup,
            std::function<void(int x, int y)> openSourcePopup = {});

// A source node is checked for new messages; a message node is opened and marked read.
void DblClick(TreeControl& tree, IDocumentHost& host);
// Return (on its press) opens the selected message, as a double click does.
void KeyDown(TreeControl& tree, IDocumentHost& host, int keyCode, int shift);
// F2 on a selected source node starts editing its title.
void KeyUp(TreeControl& tree, int keyCode, int shift);
// Shows the selected message node's message and marks it read; nothing for a source node.
void OpenSelectedMessage(TreeControl& tree, IDocumentHost& host);
// Shows a message as the tree opens one (a search's hit) and marks it read, in the inbox and in
// its node when the tree shows it. False when it could not be shown (then it stays unread).
bool OpenMessage(TreeControl& tree, IDocumentHost& host, const std::string& sourceId,
                 const std::string& guid);
inline constexpr int kKeyReturn = 13;
// Asks before renaming, then renames the source in the subscription file. The source is found
// again by its key after the box: a check meanwhile may have replaced the node, or an
// unsubscription removed it (then nothing is renamed).
void AfterLabelEdit(TreeControl::LabelEditEvent& event);
// A right-button release over a message node (or, off any node, with a message node selected)
// selects that node and answers true: the message popup should open. Never for a source node.
bool MouseUp(TreeControl& tree, int button, int shift, int x, int y);
// A right-button release over a source node selects it and answers true: the source's popup
// should open. Never for a message or a node that is no source (a saved search).
bool SourceMouseUp(TreeControl& tree, int button, int x, int y);

// The option bar's items by key; "opt_settings" and "opt_scheduler" call their dialog's opener.
// Unknown keys do nothing.
void OptionBarItemClick(const std::string& key, const std::function<void()>& showSettings,
                        const std::function<void()>& showScheduler);

// The help page beside the program.
std::string HelpFilePath();
// Opens the help page, or says that it is missing.
void OpenHelpFile();
void ContactUs();
void VisitWebsite();
// Help → About: the program's name, version and build, and its licence.
std::string AboutText();
void ShowAbout();

}  // namespace PanelActions
