#include "presentation/MessageActions.h"

#include "core/AsciiText.h"
#include "core/DocumentHost.h"
#include "core/HtmlText.h"
#include "core/Services.h"
#include "core/TreeControl.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <cstddef>

namespace MessageActions {

namespace {

using Node = TreeControl::Node;
using MessageRendering::MessageHeader;

constexpr const char* kCrLf = "\r\n";
// Room for the extension the dialog adds, within the usual 255-byte limit of a file name.
constexpr std::size_t kMaxFileNameBytes = 200;

// The selected message node, remembered by its texts: a modal box or dialog lets other events
// run, and the node may be gone when it closes.
struct Selection {
  std::string sourceKey;
  std::string guid;
  std::string title;
};

std::optional<Selection> SelectedMessage(const TreeControl& tree) {
  const Node* node = tree.SelectedItem();
  if (!node || node->IsTopLevel()) return std::nullopt;
  return Selection{node->Parent()->Key(), node->Tag(), node->Text()};
}

Node* FindNode(const TreeControl& tree, const Selection& selection) {
  Node* selected = tree.SelectedItem();
  if (selected && !selected->IsTopLevel() && selected->Tag() == selection.guid &&
      selected->Parent()->Key() == selection.sourceKey) {
    return selected;
  }
  const Node* source = tree.Find(selection.sourceKey);
  if (!source) return nullptr;
  for (std::size_t row = 0; row < source->ChildCount(); ++row) {
    if (source->Child(row)->Tag() == selection.guid) return source->Child(row);
  }
  return nullptr;
}

// Makes the message the inbox store's current one.
void NameMessage(const Selection& selection) {
  mInbox::SourceID = selection.sourceKey;
  mInbox::CurrentItem.guid = selection.guid;
}

bool Manage(mInbox::InboxAction action) {
  return mInbox::ManageInboxItem(static_cast<int>(action));
}

std::string TrimTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// A header value stays on its line.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

Services::ISaveDialog::Request SaveRequest(ExportFormat format, const std::string& title) {
  Services::ISaveDialog::Request request;
  request.title = "Save Article Description as ...";
  request.flags = 2;
  switch (format) {
    case ExportFormat::Html:
      request.defaultExtension = "htm";
      request.fileName = ProposedFileName(title);
      request.filter = "HTML Files|*.htm;*.html";
      break;
    case ExportFormat::Text:
      request.defaultExtension = "txt";
      request.fileName = ProposedFileName(title);
      request.filter = "Text Files|*.txt";
      break;
    case ExportFormat::Email:
      request.defaultExtension = "eml";
      request.filter = "Email Draft Files (*.eml)|*.eml";
      break;
  }
  return request;
}

}  // namespace

std::optional<ExportFormat> ToExportFormat(int index) {
  switch (index) {
    case 0:
      return ExportFormat::Html;
    case 1:
      return ExportFormat::Text;
    case 2:
      return ExportFormat::Email;
    default:
      return std::nullopt;
  }
}

bool ShowSelected(TreeControl& tree, IDocumentHost& host) {
  const auto selection = SelectedMessage(tree);
  if (!selection) return false;
  if (!MessageRendering::ShowMessage(selection->sourceKey, selection->guid, host)) return false;
  // The inbox's flag decides, whatever the node shows (a source folded meanwhile may have given
  // the node up); the node then shows the flag.
  NameMessage(*selection);
  if (!Manage(mInbox::InboxAction::MarkRead)) return true;
  if (Node* node = FindNode(tree, *selection)) node->SetImage(MessageTreeImage::Read);
  return true;
}

bool DeleteSelected(TreeControl& tree, IDocumentHost& host) {
  const auto selection = SelectedMessage(tree);
  if (!selection) return false;
  const std::string question = "Are you sure you want to delete \"" + selection->title +
                               "\"? Please note that once item is deleted, you won't be able "
                               "to recover it. Continue?";
  if (Services::MessageBox().Show(question, "Delete selected Item?",
                                  Services::vbYesNoQuestionDefaultNo) != Services::vbYes) {
    return false;
  }
  NameMessage(*selection);
  if (!Manage(mInbox::InboxAction::Delete)) return false;
  Services::MessageBox().Show("Message Successfully Deleted!", "Done!",
                              Services::vbInformation + Services::vbOKOnly);
  if (Node* node = FindNode(tree, *selection)) tree.Remove(node);
  host.CloseDocument(selection->guid);
  return true;
}

void MarkSelected(TreeControl& tree, bool read) {
  const auto selection = SelectedMessage(tree);
  if (!selection) return;
  NameMessage(*selection);
  if (!Manage(read ? mInbox::InboxAction::MarkRead : mInbox::InboxAction::MarkUnread)) return;
  if (Node* node = FindNode(tree, *selection)) {
    node->SetImage(read ? MessageTreeImage::Read : MessageTreeImage::Unread);
  }
}

void ExportSelected(TreeControl& tree, int index) {
  if (tree.Count() == 0) return;
  const auto selection = SelectedMessage(tree);
  if (!selection) return;
  NameMessage(*selection);
  if (!Manage(mInbox::InboxAction::Load)) return;
  const mInbox::InboxItem item = mInbox::CurrentItem;
  auto format =
      index == kChosenInDialog ? std::optional(ExportFormat::Html) : ToExportFormat(index);
  if (!format) return;

  Services::ISaveDialog::Request request = SaveRequest(*format, item.title);
  if (index == kChosenInDialog)
    request.filter += "|Text Files|*.txt|Email Draft Files (*.eml)|*.eml";
  const std::string path = Services::SaveDialog().AskSaveFile(request);
  if (mGeneralFunctions::IsBlank(path)) return;
  if (index == kChosenInDialog) {
    const std::string extension =
        AsciiText::Lower(path.substr(std::min(path.rfind('.'), path.size())));
    if (extension == ".txt") format = ExportFormat::Text;
    if (extension == ".eml") format = ExportFormat::Email;
  }

  std::string text;
  if (*format == ExportFormat::Html) {
    text = BuildHtmlExport(item);
  } else {
    const MessageHeader header = MessageRendering::HeaderOf(item);
    text = *format == ExportFormat::Text ? BuildTextExport(header) : BuildEmailExport(header);
  }
  mGeneralFunctions::WriteTextFile(path, text);
}

std::string BuildHtmlExport(const mInbox::InboxItem& item) {
  // Declared before the feed's first byte, so no browser guesses another charset for it.
  return "<html><head><meta charset=\"utf-8\"><title>" + item.title + "</title></head><body>" +
         item.description + "</body></html>";
}

std::string BuildTextExport(const MessageHeader& header) {
  // The header values are HTML text as the page shows them; the file holds what they say.
  const auto text = [](const std::string& value) { return HtmlText::DecodeReferences(value); };
  std::string out;
  out += "From       :   " + text(header.FromName) + " (" + text(header.FromEmail) + ")" + kCrLf;
  out +=
      "Reply-To   :   " + text(header.ReplyToName) + " (" + text(header.ReplyToEmail) + ")" + kCrLf;
  out += "Subject    :   " + text(header.Subject) + kCrLf;
  out += "Date & Time:   " + text(header.Date) + kCrLf;
  out += kCrLf;
  out += kCrLf;
  out += HtmlText::ToText(header.Body);
  return out;
}

std::string BuildEmailExport(const MessageHeader& header) {
  // Decoded before the line breaks go, so that no reference can bring one back.
  const auto value = [](const std::string& html) {
    return OneLine(HtmlText::DecodeReferences(html));
  };
  // A header without an address ("<>") is no valid header: it is left out.
  const auto address = [&](const char* field, const std::string& name, const std::string& email) {
    if (mGeneralFunctions::IsBlank(email)) return std::string();
    std::string quoted;
    for (const char c : TrimTrailingBlanks(value(name))) {
      if (c == '"' || c == '\\') quoted += '\\';
      quoted += c;
    }
    return field + ("\"" + quoted + "\"<" + value(email) + ">") + kCrLf;
  };
  std::string text;
  text += std::string("Envelope-to: ") + kCrLf;
  text += address("From: ", header.FromName, header.FromEmail);
  text += address("Reply-To: ", header.ReplyToName, header.ReplyToEmail);
  text += "Subject: " + value(header.Subject) + kCrLf;
  if (!mGeneralFunctions::IsBlank(header.Date)) text += "Date: " + value(header.Date) + kCrLf;
  text += std::string("MIME-Version: 1.0") + kCrLf;
  text += std::string("Content-Type: text/html;") + kCrLf;
  text += std::string("    charset = \"UTF-8\"") + kCrLf;
  // The body goes out as it is stored, so the file says 8 bit, and an empty line ends the
  // headers: without it a mail program takes the body's first line for a header.
  text += std::string("Content-Transfer-Encoding: 8bit") + kCrLf;
  text += kCrLf;
  text += header.Body;
  return text;
}

std::string ProposedFileName(const std::string& title) {
  std::string name;
  for (const char c : title) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) continue;
    name += c == '/' ? '-' : c;
  }
  if (name.find_first_not_of('.') == std::string::npos) return {};
  if (name.size() > kMaxFileNameBytes) {
    std::size_t cut = kMaxFileNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return name;
}

std::string PrintDocumentName(const std::string& title) {
  std::string name = ProposedFileName(title);
  // Leading dots would hide the file, trailing ones stand before ".pdf".
  const std::size_t first = name.find_first_not_of(" .");
  if (first == std::string::npos) return {};
  name = name.substr(first, name.find_last_not_of(" .") + 1 - first);
  return name + ".pdf";
}

}  // namespace MessageActions
