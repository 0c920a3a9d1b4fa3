#pragma once
// The popup commands on the selected message of the message tree: show, delete, mark read or
// unread, export. Each names the message to the inbox store by its source node's key and its own
// tag (the guid), then updates the node. Without a selected message node they do nothing.

#include "inbox/mInbox.h"
#include "presentation/MessageRendering.h"

#include <optional>
#include <string>

class IDocumentHost;
class TreeControl;

namespace MessageActions {

// The export entries of the popup menu, by their menu index.
enum class ExportFormat : int { Html = 0, Text = 1, Email = 2 };
// No value for an index that is not an export entry.
std::optional<ExportFormat> ToExportFormat(int index);

// Shows the message in its document window; when one now shows it and the node was unread, the
// node turns read (image only, bold unchanged) and so does the message in the inbox.
// True when a window shows the message.
bool ShowSelected(TreeControl& tree, IDocumentHost& host);

// Asks first; then deletes the message from the inbox, says so, removes the node and closes the
// message's document window. True when the message was deleted.
bool DeleteSelected(TreeControl& tree, IDocumentHost& host);

// Marks the message read or unread in the inbox and, when it was found, sets the node's image
// (bold unchanged).
void MarkSelected(TreeControl& tree, bool read);

// Asks for a file and writes the message into it in the format of the menu index (0 HTML page,
// 1 plain text, 2 e-mail message); other indexes do nothing. A cancelled dialog writes nothing.
// kChosenInDialog (File → Save As) offers the three in one dialog: the chosen file's extension
// decides (".txt" text, ".eml" e-mail, any other an HTML page).
inline constexpr int kChosenInDialog = -1;
void ExportSelected(TreeControl& tree, int index);

// The file texts, without the CR LF that writing adds. The page declares UTF-8 before anything
// from the feed; the text file holds the header lines, their character references decoded, and
// the body as text (HtmlText::ToText).
std::string BuildHtmlExport(const mInbox::InboxItem& item);
std::string BuildTextExport(const MessageRendering::MessageHeader& header);
// The message text alone, so that a mail program reads the file as a message: headers, an
// empty line, the body as it is (8 bit, UTF-8). Header values have their character references
// decoded and line breaks turned into blanks, so a sender line cannot add headers of its own;
// From and Reply-To without an address, and an empty Date, are left out.
std::string BuildEmailExport(const MessageRendering::MessageHeader& header);

// A title as a proposed file name: "/" becomes "-", control characters go, and a name of dots
// alone is no name.
std::string ProposedFileName(const std::string& title);

// The document name for the print dialog: the title as a file name, without leading or trailing
// dots and blanks, followed by ".pdf"; empty for a title that gives no name. The dialog proposes
// the name with its last extension replaced by ".pdf": given one, no dot in the title is taken
// for the start of an extension.
std::string PrintDocumentName(const std::string& title);

}  // namespace MessageActions
