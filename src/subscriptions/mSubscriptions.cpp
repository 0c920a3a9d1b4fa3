#include "subscriptions/mSubscriptions.h"

#include "subscriptions/SubscriptionEvents.h"

#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

namespace mSubscriptions {

namespace {

bool SaveSubscriptions(XmlDocument& document) {
  std::error_code ec;
  if (document.Save(SubscriptionFilePath(), ec)) return true;
  mGeneralFunctions::ReportError(mGeneralFunctions::ErrorFrom(ec));
  return false;
}

// Appends the sources with fresh identifiers and saves; false, with nothing saved, on failure.
bool AppendAndSave(XmlDocument& document, XmlNode& sources, const std::vector<MessageSource>& added,
                   mGeneralFunctions::RunError& error) {
  std::vector<MessageSource> stored;
  for (const MessageSource& each : added) {
    const std::string id = NewGUID();
    // An empty identifier would name the data folder itself as the source's inbox folder.
    if (id.empty()) {
      error = {51, "No random bytes for a new source identifier"};
      return false;
    }
    XmlNode source = sources.AppendElement("source");
    source.SetAttribute("id", id);
    source.SetAttribute("title", each.Title);
    source.SetText(each.Link);
    stored.push_back({each.Title, each.Link, id});
  }
  std::error_code ec;
  if (document.Save(SubscriptionFilePath(), ec)) {
    NotifySourcesAdded(stored);
    return true;
  }
  error = mGeneralFunctions::ErrorFrom(ec);
  return false;
}

void ShowCritical(const std::string& text, const std::string& title) {
  Services::MessageBox().Show(text, title, Services::vbCritical);
}

// A source element as the record; its ID and Title by attribute position.
MessageSource RecordOf(const XmlNode& node) {
  const std::vector<XmlAttribute> attributes = node.Attributes();
  return MessageSource{attributes.size() > 1 ? attributes[1].value : std::string(), node.Text(),
                       attributes.empty() ? std::string() : attributes[0].value};
}

enum class Edit { Rename, Relink, Remove };

// The commands by ID: every source whose first attribute is the ID is changed, the file saved
// once, and the listeners told.
Outcome EditSource(const std::string& id, Edit edit, const std::string& value) {
  Outcome outcome;
  XmlDocument document;
  XmlNode sources;
  outcome.failure = OpenQuietly(document, sources);
  if (outcome.failure != OpenFailure::None || id.empty()) return outcome;
  std::vector<std::pair<MessageSource, MessageSource>> updated;
  std::vector<MessageSource> removed;
  for (XmlNode child = sources.FirstChild(); child;) {
    const XmlNode next = child.NextSibling();
    if (child.IsElement() && RecordOf(child).ID == id) {
      const MessageSource before = RecordOf(child);
      outcome.found = true;
      switch (edit) {
        case Edit::Rename:
          child.SetAttribute("title", value);
          updated.emplace_back(before, RecordOf(child));
          break;
        case Edit::Relink:
          child.SetText(value);
          updated.emplace_back(before, RecordOf(child));
          break;
        case Edit::Remove:
          removed.push_back(before);
          sources.RemoveChild(child);
          break;
      }
    }
    child = next;
  }
  if (!outcome.found) return outcome;
  std::error_code ec;
  if (!document.Save(SubscriptionFilePath(), ec)) {
    outcome.saveError = mGeneralFunctions::ErrorFrom(ec);
    return outcome;
  }
  for (const auto& [before, after] : updated) NotifySourceChanged(before, after);
  for (const MessageSource& source : removed) NotifySourceRemoved(source);
  return outcome;
}

}  // namespace

std::optional<SourceAction> ToSourceAction(int code) {
  switch (code) {
    case static_cast<int>(SourceAction::Update):
      return SourceAction::Update;
    case static_cast<int>(SourceAction::Delete):
      return SourceAction::Delete;
    case static_cast<int>(SourceAction::Exists):
      return SourceAction::Exists;
    case static_cast<int>(SourceAction::Load):
      return SourceAction::Load;
    default:
      return std::nullopt;
  }
}

std::string FormatSourceID(const Guid& guid) {
  std::array<std::uint8_t, 16> bytes{};
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(guid.Data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) {
    bytes[4 + i] = static_cast<std::uint8_t>(guid.Data2 >> (8 * i));
    bytes[6 + i] = static_cast<std::uint8_t>(guid.Data3 >> (8 * i));
  }
  for (int i = 0; i < 8; ++i) bytes[8 + i] = guid.Data4[i];

  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::string NewGUID() {
  std::array<std::uint8_t, 16> bytes{};
  if (!Services::Random().Fill(bytes.data(), bytes.size())) return {};
  // The random bytes are the GUID as it lies in memory.
  Guid guid;
  for (int i = 0; i < 4; ++i) guid.Data1 |= std::uint32_t{bytes[i]} << (8 * i);
  guid.Data2 = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
  guid.Data3 = static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8));
  for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
  // Version 4 (random), variant 1.
  guid.Data3 = static_cast<std::uint16_t>((guid.Data3 & 0x0FFF) | 0x4000);
  guid.Data4[0] = static_cast<std::uint8_t>((guid.Data4[0] & 0x3F) | 0x80);
  return FormatSourceID(guid);
}

std::string SubscriptionFilePath() {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + "subscriptions.dat";
}

OpenFailure OpenQuietly(XmlDocument& document, XmlNode& sources) {
  sources = {};
  if (mGeneralFunctions::IsBlank(mAppFunctions::DataPath)) mAppFunctions::InitializeDataFolder();
  if (!mGeneralFunctions::FileExists(SubscriptionFilePath())) return OpenFailure::Missing;
  if (!document.LoadFile(SubscriptionFilePath())) return OpenFailure::Damaged;
  sources = document.FindFirstElement("sources");
  return sources ? OpenFailure::None : OpenFailure::NoList;
}

void ShowOpenFailure(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::Missing:
      ShowCritical(
          "Failed to load Subscription List. Required Data File is missing or hidden. Please "
          "reinstall the application to resolve this issue.",
          "Subscription Data File not found!");
      break;
    case OpenFailure::Damaged:
      ShowCritical(
          "Failed to load Subscription List. Invalid File format or file is damaged. Please "
          "reinstall the application to resolve this issue.",
          "Failed to load Subscription List.");
      break;
    case OpenFailure::NoList:
      ShowCritical("Failed to load Subscription List. Invalid File Format.", "Error!");
      break;
    case OpenFailure::None:
      break;
  }
}

std::string Describe(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::Missing:
      return "it is missing";
    case OpenFailure::Damaged:
      return "it is damaged";
    case OpenFailure::NoList:
      return "it holds no list of sources";
    case OpenFailure::None:
      break;
  }
  return {};
}

bool OpenSubscriptionFile(XmlDocument& document, XmlNode& sources) {
  const OpenFailure failure = OpenQuietly(document, sources);
  ShowOpenFailure(failure);
  return failure == OpenFailure::None;
}

std::optional<std::vector<MessageSource>> ReadAllSources(OpenFailure* failure) {
  XmlDocument document;
  XmlNode list;
  const OpenFailure opened = OpenQuietly(document, list);
  if (failure) *failure = opened;
  if (opened != OpenFailure::None) return std::nullopt;
  std::vector<MessageSource> sources;
  for (const XmlNode& child : list.ChildNodes()) {
    if (!child.IsElement()) continue;
    const std::vector<XmlAttribute> attributes = child.Attributes();
    if (attributes.size() < 2) continue;
    sources.push_back({attributes[1].value, child.Text(), attributes[0].value});
  }
  return sources;
}

bool ReadSources(std::vector<MessageSource>& sources) {
  OpenFailure failure = OpenFailure::None;
  std::optional<std::vector<MessageSource>> all = ReadAllSources(&failure);
  ShowOpenFailure(failure);
  sources = std::move(all).value_or(std::vector<MessageSource>{});
  return failure == OpenFailure::None;
}

std::optional<MessageSource> FindSource(const std::string& id) {
  const std::optional<std::vector<MessageSource>> sources = ReadAllSources();
  if (!sources || id.empty()) return std::nullopt;
  for (const MessageSource& source : *sources)
    if (source.ID == id) return source;
  return std::nullopt;
}

void ShowFailure(const Outcome& outcome) {
  ShowOpenFailure(outcome.failure);
  if (outcome.saveError) mGeneralFunctions::ReportError(*outcome.saveError);
}

Outcome RenameSource(const std::string& id, const std::string& title) {
  return EditSource(id, Edit::Rename, title);
}

Outcome ChangeSourceLink(const std::string& id, const std::string& link) {
  return EditSource(id, Edit::Relink, link);
}

Outcome RemoveSource(const std::string& id) { return EditSource(id, Edit::Remove, {}); }

OpenFailure ReadLinks(std::vector<std::string>& links) {
  links.clear();
  XmlDocument document;
  XmlNode list;
  const OpenFailure failure = OpenQuietly(document, list);
  if (failure != OpenFailure::None) return failure;
  for (const XmlNode& child : list.ChildNodes())
    if (child.IsElement()) links.push_back(child.Text());
  return OpenFailure::None;
}

bool ManageSource(SourceAction action) {
  XmlDocument document;
  XmlNode sources;
  if (!OpenSubscriptionFile(document, sources)) return false;

  bool found = false;
  bool changed = false;
  // Told once the file is written.
  std::vector<std::pair<MessageSource, MessageSource>> updated;
  std::vector<MessageSource> removed;
  // Every matching source is acted on; a removed one's follower is taken before it goes.
  for (XmlNode child = sources.FirstChild(); child;) {
    const XmlNode next = child.NextSibling();
    if (child.IsElement() && child.Text() == CurrentSource.Link) {
      switch (action) {
        case SourceAction::Update: {
          const MessageSource before = RecordOf(child);
          child.SetAttribute("title", EditedSource.Title);
          child.SetText(EditedSource.Link);
          updated.emplace_back(before, RecordOf(child));
          found = changed = true;
          break;
        }
        case SourceAction::Delete:
          removed.push_back(RecordOf(child));
          sources.RemoveChild(child);
          found = changed = true;
          break;
        case SourceAction::Exists:
          found = true;
          break;
        case SourceAction::Load: {
          // A source that cannot be read whole never fills a half record.
          const std::vector<XmlAttribute> attributes = child.Attributes();
          if (attributes.size() < 2) break;
          CurrentSource.ID = attributes[0].value;
          CurrentSource.Title = attributes[1].value;
          CurrentSource.Link = child.Text();
          found = true;
          break;
        }
      }
    }
    child = next;
  }
  if (changed && !SaveSubscriptions(document)) return false;
  for (const auto& [before, after] : updated) NotifySourceChanged(before, after);
  for (const MessageSource& source : removed) NotifySourceRemoved(source);
  return found;
}

bool AddSource(const std::string& title, const std::string& link) {
  XmlDocument document;
  XmlNode sources;
  if (!OpenSubscriptionFile(document, sources)) return false;
  mGeneralFunctions::RunError error;
  if (AppendAndSave(document, sources, {{title, link, {}}}, error)) return true;
  mGeneralFunctions::ReportError(error);
  return false;
}

std::string AddSources(const std::vector<MessageSource>& added) {
  XmlDocument document;
  XmlNode sources;
  if (const OpenFailure failure = OpenQuietly(document, sources); failure != OpenFailure::None)
    return Describe(failure);
  mGeneralFunctions::RunError error;
  if (AppendAndSave(document, sources, added, error)) return {};
  return error.description;
}

}  // namespace mSubscriptions
