#include "inbox/mInbox.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AsciiText.h"
#include "core/AtomicFile.h"
#include "core/SourceId.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unordered_set>

namespace mInbox {

namespace {

constexpr char kEncodedLineFeed = '\x05';

// Without a data folder the path would be relative to whatever the working folder is.
bool SourceUsable() {
  return !mGeneralFunctions::IsBlank(mAppFunctions::DataPath) && SourceId::IsSourceID(SourceID);
}

// Creates the source folder when it is missing; false when it was missing.
bool EnsureFolder() {
  const std::string folder = InboxFolder();
  if (mGeneralFunctions::FolderExists(folder)) return true;
  std::error_code ec;
  std::filesystem::create_directory(folder, ec);
  return false;
}

std::string WithoutNul(std::string text) {
  std::erase(text, '\0');
  return text;
}

// The six keys of a message, in the order they are written. Values lose their NULs as cINI's
// writes do, so that a batch leaves the same bytes as single writes.
void WriteItem(IniDocument& doc, const std::string& section, const InboxItem& item) {
  doc.SetValue(section, "title", WithoutNul(item.title));
  doc.SetValue(section, "description", WithoutNul(item.description));
  doc.SetValue(section, "date", WithoutNul(item.date));
  doc.SetValue(section, "time", WithoutNul(item.time));
  doc.SetValue(section, "offset", WithoutNul(item.offset));
  doc.SetValue(section, "read", "0");
}

// Anything but a clean 1 reads as unread, so a damaged flag never hides a message as read.
std::int16_t ReadFlag(const std::optional<std::string>& text) {
  return text && cINI::CLngDefault(*text, 0) == 1 ? 1 : 0;
}

std::string Decoded(std::string_view description) {
  std::string plain;
  plain.reserve(description.size());
  for (const char c : description) {
    if (c == kEncodedLineFeed) {
      plain += "\r\n";
    } else {
      plain += c;
    }
  }
  return plain;
}

// The whole file, with room for `extra` more bytes; a missing file reads as empty. Read through a
// small buffer: sizing the string first would also have to clear it.
bool ReadBytes(const std::string& path, std::size_t extra, std::string& content) {
  content.clear();
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return true;
  if (ec || !std::filesystem::is_regular_file(status)) return false;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content.reserve(static_cast<std::size_t>(size) + extra);
  std::vector<char> buffer(std::size_t{1} << 16);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    content.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  return !in.bad();
}

// The replace goes through a new file, which would ignore a read-only mark on the old one; the
// single-message path refuses such a file too.
bool Writable(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return true;
  constexpr fs::perms anyWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  return (status.permissions() & anyWrite) != fs::perms::none;
}

}  // namespace

std::optional<InboxAction> ToInboxAction(int code) {
  switch (code) {
    case static_cast<int>(InboxAction::Delete):
      return InboxAction::Delete;
    case static_cast<int>(InboxAction::Exists):
      return InboxAction::Exists;
    case static_cast<int>(InboxAction::MarkRead):
      return InboxAction::MarkRead;
    case static_cast<int>(InboxAction::MarkUnread):
      return InboxAction::MarkUnread;
    case static_cast<int>(InboxAction::Load):
      return InboxAction::Load;
    default:
      return std::nullopt;
  }
}

std::string NormalizedGuid(std::string_view guid) {
  guid = guid.substr(0, guid.find('\0'));
  // The INI file does not keep blanks around a name either.
  return std::string(AsciiText::Trim(IniDocument::WithoutLineBreaks(guid)));
}

std::string InboxFolder() {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + SourceID;
}

std::string InboxPath() { return mGeneralFunctions::AddBackslash(InboxFolder()) + "inbox.dat"; }

bool AddInboxItem() {
  if (!SourceUsable()) return false;
  const std::string guid = NormalizedGuid(CurrentItem.guid);
  if (guid.empty()) return false;
  const std::string path = InboxPath();
  std::error_code ec;
  IniDocument doc = IniDocument::Load(path, ec);
  if (ec) return false;
  if (doc.HasSection(guid)) {
    const std::vector<std::string> names = doc.SectionNames();
    if (std::find(names.begin(), names.end(), guid) == names.end()) return false;
  }
  WriteItem(doc, guid, CurrentItem);
  return doc.Save(path, ec);
}

std::optional<std::size_t> AddNewInboxItems(const std::vector<InboxItem>& items) {
  if (!SourceUsable()) return std::nullopt;
  EnsureFolder();
  const std::string path = InboxPath();
  // Most checks bring nothing new: a streamed look at the section headers settles that without
  // holding the whole file.
  std::error_code ec;
  std::unordered_set<std::string> stored;
  for (const std::string& name : IniDocument::ReadSectionNames(path, ec)) {
    stored.insert(AsciiText::Lower(name));
  }
  if (ec) return std::nullopt;
  IniDocument added;
  std::size_t count = 0;
  for (const InboxItem& item : items) {
    const std::string guid = NormalizedGuid(item.guid);
    // A case variant of a stored guid names the same section in the file: it is not new.
    if (guid.empty() || stored.contains(AsciiText::Lower(guid)) || added.HasSection(guid)) continue;
    WriteItem(added, guid, item);
    ++count;
  }
  if (count == 0) return 0;
  // New sections go at the end of the file, so the old bytes stay as they are and the new ones
  // follow, just as a document of the whole file would write them.
  const std::string tail = added.Serialize();
  std::string content;
  if (!ReadBytes(path, tail.size() + 2, content)) return std::nullopt;
  if (!content.empty() && content.back() != '\n') content += "\r\n";
  content += tail;
  if (!Writable(path) || !AtomicFile::Replace(path, content, ec)) return std::nullopt;
  return count;
}

bool ManageInboxItem(int action) {
  if (!SourceUsable()) return false;
  if (!EnsureFolder()) return false;
  const std::optional<InboxAction> command = ToInboxAction(action);
  if (!command) return false;
  const std::string guid = NormalizedGuid(CurrentItem.guid);
  const std::string path = InboxPath();
  auto holds = [&guid](const std::vector<std::string>& names) {
    return std::find(names.begin(), names.end(), guid) != names.end();
  };
  std::error_code ec;
  if (*command == InboxAction::Exists) {
    return holds(IniDocument::ReadSectionNames(path, ec)) && !ec;
  }

  IniDocument doc = IniDocument::Load(path, ec);
  if (ec || !holds(doc.SectionNames())) return false;
  switch (*command) {
    case InboxAction::Delete:
      doc.DeleteSection(guid);
      break;
    case InboxAction::MarkRead:
      doc.SetValue(guid, "read", "1");
      break;
    case InboxAction::MarkUnread:
      doc.SetValue(guid, "read", "0");
      break;
    case InboxAction::Load:
      CurrentItem.title = doc.GetValue(guid, "title").value_or("");
      CurrentItem.description = Decoded(doc.GetValue(guid, "description").value_or(""));
      CurrentItem.date = doc.GetValue(guid, "date").value_or("");
      CurrentItem.time = doc.GetValue(guid, "time").value_or("");
      CurrentItem.offset = doc.GetValue(guid, "offset").value_or("");
      CurrentItem.read = ReadFlag(doc.GetValue(guid, "read"));
      return true;
    case InboxAction::Exists:
      break;
  }
  return !doc.IsModified() || doc.Save(path, ec);
}

std::optional<std::vector<MessageSummary>> ListMessages() {
  if (!SourceUsable() || !EnsureFolder()) return std::nullopt;
  std::error_code ec;
  const IniDocument doc = IniDocument::Load(InboxPath(), ec);
  std::vector<MessageSummary> messages;
  for (std::string& guid : doc.SectionNames()) {
    MessageSummary message;
    message.title = doc.GetValue(guid, "title").value_or("");
    message.date = doc.GetValue(guid, "date").value_or("");
    message.time = doc.GetValue(guid, "time").value_or("");
    message.offset = doc.GetValue(guid, "offset").value_or("");
    message.read = ReadFlag(doc.GetValue(guid, "read"));
    message.guid = std::move(guid);
    messages.push_back(std::move(message));
  }
  return messages;
}

}  // namespace mInbox
