#pragma once
// What the subscribe dialog and the subscription list manager do, apart from any window: their
// checks with the messages they show, adding, editing and unsubscribing sources, and rebuilding
// the trees that show them. The windows only copy their text boxes in and the focus out.

#include "core/TreeControl.h"

#include <string>
#include <string_view>

class IDocumentHost;

namespace SubscriptionChecks {

// The two text boxes of either dialog, exactly as typed.
struct SourceFields {
  std::string title;
  std::string link;
  bool operator==(const SourceFields&) const = default;
};

// Where the dialog puts the focus after an attempt; LinkSelected also selects the whole link.
enum class Focus { None, Title, Link, LinkSelected };

struct Attempt {
  // The subscription file was changed.
  bool done = false;
  Focus focus = Focus::None;
  bool operator==(const Attempt&) const = default;
};

// Both dialogs store a new link in the form SourceLink::Normalized gives it, and a new link is
// already subscribed when a stored link has that form too (SourceLink::Compared): letter case
// in scheme and host, a default port or blanks around it never let one source in twice.

// Why a new source is refused, in the order the subscribe dialog tests.
enum class Refusal {
  None,
  BlankTitle,
  BlankLink,
  InvalidLink,  // no service host, or no link a check could fetch
  AlreadySubscribed,
};

// The subscribe dialog's link checks, without any box: blank, service host (letter case aside)
// and a link a check can fetch. With None, `link` holds the link as it is to be stored.
Refusal CheckLink(std::string_view typed, std::string& link);
// True when a source in the subscription file has the link (as stored) in the compared form.
// A file that cannot be opened shows its box and gives false.
bool LinkSubscribed(const std::string& link);

// The subscribe dialog's checks, without any box: blank title, then CheckLink, then already
// subscribed. With None, `link` holds the link as it is to be stored.
Refusal CheckNewSource(const SourceFields& fields, std::string& link);

// The subscribe dialog's attempt: CheckNewSource, then add. Each refusal shows its box. After a
// successful add the message tree is rebuilt from the file with every source's messages.
Attempt Subscribe(const SourceFields& fields, TreeControl& messageTree);

// The list manager's mode: adding a new source or editing the one double-clicked.
enum class ManagerMode { Add, Edit };

struct ManagerState {
  ManagerMode mode = ManagerMode::Add;
  // The edited node's text, tag and key as they were when editing began.
  std::string formerTitle;
  std::string formerLink;
  std::string id;
  bool operator==(const ManagerState&) const = default;
};

// "Add New" or "Save Changes!".
std::string AddButtonCaption(ManagerMode mode);

// Edits the selected node of tvSources (the root too: its text and an empty link). False, and
// nothing changed, when no node is selected.
bool EnterEditMode(const TreeControl& sources, ManagerState& state, SourceFields& fields);
// Empties both fields and returns to adding.
void ClearFields(ManagerState& state, SourceFields& fields);
// The add button: blank title, blank link, service host (as typed) and a link a check can fetch;
// then saves the edited source or adds a new one. A success shows its box, clears the fields and
// rebuilds tvSources. A save whose new link another source already has is refused: two sources
// with one link could no longer be told apart, and unsubscribing one would drop both. A link left
// as it was is saved as it is stored.
Attempt AddOrSave(ManagerState& state, SourceFields& fields, TreeControl& sources);
// The delete button: asks, removes the selected source from the file, deletes its folder and
// closes the documents showing its messages, then rebuilds tvSources. Nothing for the root or
// without a selection. True when the source was removed from the file.
bool Unsubscribe(TreeControl& sources, IDocumentHost* documents);
// The same for one source, removed by its identifier (the title is for the question; the link
// is not needed), without rebuilding a tree; confirmed, when given, tells whether the user said
// Yes.
bool UnsubscribeSource(const std::string& id, const std::string& text, const std::string& link,
                       IDocumentHost* documents, bool* confirmed = nullptr);

// Deletes a source's folder with everything in it, but only when the identifier has the form
// that NewGUID makes and the folder lies directly inside the data folder (symbolic links
// resolved): a hand-edited "" or "../x" never deletes anything. True when it was deleted.
bool DeleteSourceFolder(const std::string& id);

}  // namespace SubscriptionChecks
