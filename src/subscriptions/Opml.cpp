#include "subscriptions/Opml.h"

#include "core/AsciiText.h"
#include "core/AtomicFile.h"
#include "core/Services.h"
#include "core/Utf8.h"
#include "core/XmlDocument.h"
#include "core/mGeneralFunctions.h"
#include "subscriptions/SourceLink.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/SubscriptionChecks.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace Opml {

namespace {

using mSubscriptions::MessageSource;
using SubscriptionChecks::Refusal;

constexpr const char* kSkeleton =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<opml version=\"2.0\"><head><title>Quillpost subscriptions</title></head><body/></opml>";
constexpr std::size_t kListedInBox = 20;

std::string Attribute(const XmlNode& element, std::string_view name, bool* present = nullptr) {
  for (XmlAttribute& attribute : element.Attributes()) {
    if (AsciiText::EqualsNoCase(attribute.name, name)) {
      if (present) *present = true;
      return std::move(attribute.value);
    }
  }
  return {};
}

std::string Reason(Refusal refusal) {
  switch (refusal) {
    case Refusal::BlankTitle:
      return "it has no title";
    case Refusal::BlankLink:
      return "it has no source link";
    case Refusal::InvalidLink:
      return "its link is no Quillpost source link (http or https, naming " +
             std::string(SourceLink::kServiceHost) + ")";
    case Refusal::AlreadySubscribed:
      return "already subscribed";
    case Refusal::None:
      break;
  }
  return {};
}

// Checks one outline; empty when it may be added, with `link` as it is to be stored.
std::string Check(const MessageSource& outline, const std::set<std::string>& adding,
                  std::string& link) {
  if (outline.Title.size() > kMaxTitleBytes)
    return "its title is longer than " + std::to_string(kMaxTitleBytes) + " bytes";
  if (outline.Link.size() > kMaxLinkBytes)
    return "its link is longer than " + std::to_string(kMaxLinkBytes) + " bytes";
  Refusal refusal = SubscriptionChecks::CheckNewSource({outline.Title, outline.Link}, link);
  if (refusal == Refusal::None && adding.contains(link)) refusal = Refusal::AlreadySubscribed;
  return Reason(refusal);
}

bool ReadFile(const std::string& path, std::string& text, std::string& error) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || !std::filesystem::is_regular_file(path, ec)) {
    error = path + " cannot be read: " + (ec ? ec.message() : "it is no file");
    return false;
  }
  if (size > kMaxFileBytes) {
    error = path + " is larger than " + std::to_string(kMaxFileBytes / (1024 * 1024)) +
            " MB; no OPML file of sources is that large";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  if (!in || !(content << in.rdbuf())) {
    error = path + " cannot be read";
    return false;
  }
  text = std::move(content).str();
  return true;
}

// A title as a line shows it: one line, at most 60 characters.
std::string Shown(std::string title) {
  for (char& c : title)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  if (title.size() <= 60) return title;
  std::size_t cut = 57;
  while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
  return title.substr(0, cut) + "...";
}

}  // namespace

std::string Write(const std::vector<MessageSource>& sources) {
  XmlDocument document;
  document.LoadText(kSkeleton);
  XmlNode body = document.FindFirstElement("body");
  for (const MessageSource& source : sources) {
    XmlNode outline = body.AppendElement("outline");
    outline.SetAttribute("type", "rss");
    outline.SetAttribute("text", source.Title);
    outline.SetAttribute("title", source.Title);
    outline.SetAttribute("xmlUrl", source.Link);
  }
  return document.ToText();
}

Outlines Read(std::string_view text) {
  Outlines result;
  if (const std::size_t bad = Utf8::FirstInvalid(text); bad != std::string_view::npos) {
    result.error = "is not UTF-8 text (byte " + std::to_string(bad) + ")";
    return result;
  }
  XmlDocument document;
  if (!document.LoadText(text)) {
    result.error = "is not well-formed XML (" + document.LoadError() + ")";
    return result;
  }
  XmlNode root;
  for (const XmlNode& node : document.DocumentNode().ChildNodes()) {
    // Entities are never expanded here; a file that needs them cannot be read as meant.
    if (node.Kind() == XmlNodeKind::Doctype) {
      result.error = "declares a document type (DTD or entities), which OPML files have none of";
      return result;
    }
    if (node.IsElement() && !root) root = node;
  }
  if (!root || root.Name() != "opml") {
    result.error = "is not an OPML file (its root element is not <opml>)";
    return result;
  }
  // Iterative: a file nested 100,000 folders deep must not exhaust the stack.
  std::vector<XmlNode> pending;
  for (XmlNode node = root.FindFirstElement("body").FirstChild(); node || !pending.empty();) {
    if (!node) {
      node = pending.back().NextSibling();
      pending.pop_back();
      continue;
    }
    if (node.IsElement() && node.Name() == "outline") {
      bool hasAddress = false;
      std::string link = Attribute(node, "xmlUrl", &hasAddress);
      if (hasAddress) {
        if (result.sources.size() == kMaxOutlines) {
          result.sources.clear();
          result.error = "holds more than " + std::to_string(kMaxOutlines) + " sources";
          return result;
        }
        std::string title = Attribute(node, "text");
        if (mGeneralFunctions::IsBlank(title)) title = Attribute(node, "title");
        result.sources.push_back({std::move(title), std::move(link), {}});
      }
      if (XmlNode child = node.FirstChild()) {
        pending.push_back(node);
        node = child;
        continue;
      }
    }
    node = node.NextSibling();
  }
  return result;
}

ImportResult ImportFile(const std::string& path) {
  ImportResult result;
  std::string text;
  Outlines outlines;
  if (!ReadFile(path, text, result.error)) {
    result.status = FileFailed;
    return result;
  }
  outlines = Read(text);
  std::vector<MessageSource> existing;
  if (!outlines.error.empty()) {
    result.error = path + " " + outlines.error + "; nothing was imported";
  } else if (!mSubscriptions::ReadSources(existing)) {
    // Its box has been shown; every check below would show it again.
    result.error = "The subscription file cannot be opened; nothing was imported";
  }
  if (!result.error.empty()) {
    result.status = FileFailed;
    return result;
  }

  std::set<std::string> adding;
  for (MessageSource& outline : outlines.sources) {
    std::string link;
    std::string reason = Check(outline, adding, link);
    if (!reason.empty()) {
      result.skipped.push_back({std::move(outline.Title), std::move(outline.Link), reason});
      continue;
    }
    adding.insert(link);
    result.added.push_back({std::move(outline.Title), std::move(link), {}});
  }
  if (!result.added.empty() && !mSubscriptions::AddSources(result.added)) {
    result.added.clear();
    result.error = "The subscription file could not be written; nothing was imported";
    result.status = FileFailed;
    return result;
  }
  result.status = result.skipped.empty() ? AllDone : SomeSkipped;
  return result;
}

int ExportFile(const std::string& path, std::string& error) {
  std::vector<MessageSource> sources;
  if (!mSubscriptions::ReadSources(sources)) {
    error = "The subscription file cannot be opened; nothing was exported";
    return -1;
  }
  std::error_code ec;
  if (!AtomicFile::Replace(path, Write(sources), ec)) {
    error = path + " could not be written: " + ec.message();
    return -1;
  }
  return static_cast<int>(sources.size());
}

std::string SkippedLine(const Skipped& skipped) {
  return "\"" + Shown(skipped.title) + "\" <" + Shown(skipped.link) + ">: " + skipped.reason;
}

std::string SummaryText(const ImportResult& result, const std::string& path) {
  if (result.status == FileFailed) return result.error + ".";
  std::string text = std::to_string(result.added.size()) +
                     (result.added.size() == 1 ? " source was" : " sources were") +
                     " added from " + path + ".";
  if (result.skipped.empty()) return text;
  text += "\r\n\r\n" + std::to_string(result.skipped.size()) +
          (result.skipped.size() == 1 ? " outline was" : " outlines were") + " not added:";
  for (std::size_t i = 0; i < result.skipped.size() && i < kListedInBox; ++i)
    text += "\r\n" + SkippedLine(result.skipped[i]);
  if (result.skipped.size() > kListedInBox)
    text += "\r\n... and " + std::to_string(result.skipped.size() - kListedInBox) + " more.";
  return text;
}

void ExportWithDialog() {
  Services::ISaveDialog::Request request;
  request.title = "Export Sources to OPML";
  request.defaultExtension = "opml";
  request.fileName = "Quillpost sources.opml";
  request.filter = "OPML Files|*.opml";
  request.flags = 2;
  const std::string path = Services::SaveDialog().AskSaveFile(request);
  if (mGeneralFunctions::IsBlank(path)) return;
  std::string error;
  const int count = ExportFile(path, error);
  if (count < 0) {
    Services::MessageBox().Show(error + ".", "Export failed", Services::vbExclamation);
    return;
  }
  Services::MessageBox().Show(std::to_string(count) + (count == 1 ? " source was" : " sources were") +
                                  " exported to " + path + ".",
                              "Done!", Services::vbInformation);
}

void ImportAndShow(const std::string& path, TreeControl& messageTree) {
  const ImportResult result = ImportFile(path);
  if (!result.added.empty()) mSubscriptions::LoadSubscriptions(messageTree);
  const int icon = result.status == AllDone ? Services::vbInformation : Services::vbExclamation;
  Services::MessageBox().Show(SummaryText(result, path), "Import Sources from OPML", icon);
}

}  // namespace Opml
