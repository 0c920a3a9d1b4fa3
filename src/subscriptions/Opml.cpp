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

std::string Attribute(const XmlNode& element, std::string_view name) {
  for (XmlAttribute& attribute : element.Attributes())
    if (AsciiText::EqualsNoCase(attribute.name, name)) return std::move(attribute.value);
  return {};
}

constexpr const char* kNoLink = "it has no source link";

std::string Reason(Refusal refusal) {
  switch (refusal) {
    case Refusal::BlankTitle:
      return "it has no title";
    case Refusal::BlankLink:
      return kNoLink;
    case Refusal::InvalidLink:
      return "its link is no Quillpost source link (http:// or https://, naming " +
             std::string(SourceLink::kServiceHost) + ")";
    case Refusal::AlreadySubscribed:
      return "already subscribed";
    case Refusal::None:
      break;
  }
  return {};
}

// Checks one outline against the links known so far (in the compared form); empty when it may
// be added, with `link` as it is to be stored.
std::string Check(const Outline& outline, const std::set<std::string>& known, std::string& link) {
  if (outline.title.size() > kMaxTitleBytes)
    return "its title is longer than " + std::to_string(kMaxTitleBytes) + " bytes";
  if (outline.link.size() > kMaxLinkBytes)
    return "its link is longer than " + std::to_string(kMaxLinkBytes) + " bytes";
  Refusal refusal = SubscriptionChecks::CheckLink(outline.link, link);
  if (refusal == Refusal::None && known.contains(link)) refusal = Refusal::AlreadySubscribed;
  return Reason(refusal);
}

bool ReadText(const std::string& path, std::string& text, std::string& error) {
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

// A text as a line shows it: one line, at most `most` characters.
std::string Shown(std::string text, std::size_t most) {
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  if (text.size() <= most) return text;
  std::size_t cut = most - 3;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
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

FileOutlines Read(std::string_view text) {
  FileOutlines result;
  const auto refuse = [&result](std::string error) {
    result = {FileFailed, std::move(error), {}, {}};
    return result;
  };
  if (const std::size_t bad = Utf8::FirstInvalid(text); bad != std::string_view::npos)
    return refuse("is not UTF-8 text (byte " + std::to_string(bad) + ")");
  XmlDocument document;
  if (!document.LoadText(text))
    return refuse("is not well-formed XML (" + document.LoadError() + ")");
  XmlNode root;
  for (const XmlNode& node : document.DocumentNode().ChildNodes()) {
    // Entities are never expanded here; a file that needs them cannot be read as meant.
    if (node.Kind() == XmlNodeKind::Doctype)
      return refuse("declares a document type (DTD or entities), which OPML files have none of");
    if (node.IsElement() && !root) root = node;
  }
  if (!root || root.Name() != "opml")
    return refuse("is not an OPML file (its root element is not <opml>)");
  const auto isOutline = [](const XmlNode& node) {
    return node.IsElement() && node.Name() == "outline";
  };
  // Iterative: a file nested 100,000 folders deep must not exhaust the stack.
  std::vector<XmlNode> pending;
  for (XmlNode node = root.FindFirstElement("body").FirstChild(); node || !pending.empty();) {
    if (!node) {
      node = pending.back().NextSibling();
      pending.pop_back();
      continue;
    }
    if (!isOutline(node)) {
      node = node.NextSibling();
      continue;
    }
    XmlNode child = node.FirstChild();
    while (child && !isOutline(child)) child = child.NextSibling();
    const auto blank = [](std::string_view text) {
      return AsciiText::IsBlank(text, AsciiText::kWhitespace);
    };
    std::string link = Attribute(node, "xmlUrl");
    if (blank(link)) link = Attribute(node, "url");
    if (child && blank(link)) {
      // A folder.
    } else if (result.outlines.size() + result.skipped.size() == kMaxOutlines) {
      return refuse("holds more than " + std::to_string(kMaxOutlines) + " sources");
    } else {
      std::string title = Attribute(node, "text");
      if (blank(title)) title = Attribute(node, "title");
      if (blank(link))
        result.skipped.push_back({std::move(title), {}, kNoLink});
      else
        result.outlines.push_back({std::move(title), std::move(link)});
    }
    if (child) {
      pending.push_back(node);
      node = child;
    } else {
      node = node.NextSibling();
    }
  }
  if (!result.skipped.empty()) result.status = SomeSkipped;
  return result;
}

FileOutlines ReadFile(const std::string& path) {
  std::string text;
  std::string error;
  if (!ReadText(path, text, error)) return {FileFailed, std::move(error), {}, {}};
  FileOutlines result = Read(text);
  if (result.status == FileFailed)
    result.error = path + " " + result.error + "; nothing was imported";
  return result;
}

ImportResult Import(const std::vector<Outline>& outlines) {
  ImportResult result;
  std::vector<std::string> stored;
  if (const mSubscriptions::OpenFailure failure = mSubscriptions::ReadLinks(stored);
      failure != mSubscriptions::OpenFailure::None) {
    result.status = FileFailed;
    result.error = "The subscription file cannot be opened (" + mSubscriptions::Describe(failure) +
                   "); nothing was imported";
    return result;
  }
  std::set<std::string> known;
  for (const std::string& link : stored) known.insert(SourceLink::Compared(link));

  for (const Outline& outline : outlines) {
    std::string link;
    std::string reason = Check(outline, known, link);
    if (!reason.empty()) {
      result.skipped.push_back({outline.title, outline.link, std::move(reason)});
      continue;
    }
    known.insert(link);
    const bool untitled = AsciiText::IsBlank(outline.title, AsciiText::kWhitespace);
    result.added.push_back({untitled ? link : outline.title, std::move(link)});
  }
  if (!result.added.empty()) {
    std::vector<MessageSource> sources;
    for (const Outline& each : result.added) sources.push_back({each.title, each.link, {}});
    if (const std::string failure = mSubscriptions::AddSources(sources); !failure.empty()) {
      result.added.clear();
      result.skipped.clear();
      result.status = FileFailed;
      result.error =
          "The subscription file could not be written (" + failure + "); nothing was imported";
      return result;
    }
  }
  result.status = result.skipped.empty() ? AllDone : SomeSkipped;
  return result;
}

ImportResult WithReadSkips(ImportResult imported, std::vector<Skipped> readSkipped) {
  if (imported.status == FileFailed) return imported;
  imported.skipped.insert(imported.skipped.begin(), std::make_move_iterator(readSkipped.begin()),
                          std::make_move_iterator(readSkipped.end()));
  if (imported.status == AllDone && !imported.skipped.empty()) imported.status = SomeSkipped;
  return imported;
}

ImportResult ImportFile(const std::string& path) {
  FileOutlines read = ReadFile(path);
  if (read.status == FileFailed) return {FileFailed, std::move(read.error), {}, {}};
  return WithReadSkips(Import(read.outlines), std::move(read.skipped));
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
  std::string line = "\"" + Shown(skipped.title, 60) + "\"";
  // The whole link, so that it can be found and put right; only one refused for its length is
  // cut short, as it would fill a box.
  const std::size_t most = skipped.link.size() > kMaxLinkBytes ? 100 : skipped.link.size();
  if (!skipped.link.empty()) line += " <" + Shown(skipped.link, most) + ">";
  return line + ": " + skipped.reason;
}

std::string SummaryText(const ImportResult& result, const std::string& path) {
  if (result.status == FileFailed) return result.error + ".";
  std::string text = std::to_string(result.added.size()) +
                     (result.added.size() == 1 ? " source was" : " sources were") + " added from " +
                     path + ".";
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
  Services::MessageBox().Show(std::to_string(count) +
                                  (count == 1 ? " source was" : " sources were") + " exported to " +
                                  path + ".",
                              "Done!", Services::vbInformation);
}

void ImportAndShow(const std::string& path, TreeControl& messageTree) {
  const ImportResult result = ImportFile(path);
  if (!result.added.empty()) mSubscriptions::LoadSubscriptions(messageTree);
  const int icon = result.status == AllDone ? Services::vbInformation : Services::vbExclamation;
  Services::MessageBox().Show(SummaryText(result, path), "Import Sources from OPML", icon);
}

}  // namespace Opml
