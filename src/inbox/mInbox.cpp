#include "inbox/mInbox.h"

#include "inbox/InboxEvents.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AsciiText.h"
#include "core/AtomicFile.h"
#include "core/SourceId.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

namespace mInbox {

namespace {

constexpr char kEncodedLineFeed = '\x05';

// Without a data folder the path would be relative to whatever the working folder is.
bool SourceUsable(std::string_view sourceId) {
  return !mGeneralFunctions::IsBlank(mAppFunctions::DataPath) && SourceId::IsSourceID(sourceId);
}

// Creates the source folder when it is missing; false when it was missing.
bool EnsureFolder(std::string_view sourceId) {
  const std::string folder = InboxFolder(sourceId);
  if (mGeneralFunctions::FolderExists(folder)) return true;
  std::error_code ec;
  std::filesystem::create_directory(folder, ec);
  return false;
}

// Usable, and its folder there (made when missing: then false).
bool Prepared(std::string_view sourceId) {
  return SourceUsable(sourceId) && EnsureFolder(sourceId);
}

bool Holds(const std::vector<std::string>& names, const std::string& guid) {
  return std::find(names.begin(), names.end(), guid) != names.end();
}

// The inbox of a prepared source, when it holds the guid (exact comparison).
std::optional<IniDocument> LoadHolding(const std::string& sourceId, const std::string& guid) {
  std::error_code ec;
  IniDocument doc = IniDocument::Load(InboxPath(sourceId), ec);
  if (ec || !Holds(doc.SectionNames(), guid)) return std::nullopt;
  return doc;
}

// One "key=value" line as the INI document writes it: NULs dropped, line breaks as spaces
// (IniDocument::SetValue's rule), so that a batch leaves the same bytes as single writes. Most
// values hold neither, and are copied whole.
void AppendEntry(std::string& out, std::string_view key, std::string_view value) {
  out.append(key);
  out += '=';
  const auto holds = [value](char c) { return std::memchr(value.data(), c, value.size()); };
  if (value.empty() || (!holds('\0') && !holds('\r') && !holds('\n'))) {
    out.append(value);
  } else {
    std::string clean(value);
    std::erase(clean, '\0');
    out.append(IniDocument::WithoutLineBreaks(clean));
  }
  out.append("\r\n");
}

// The six keys of a message, in the order they are written, under its section header.
void AppendItem(std::string& out, std::string_view section, const InboxItem& item) {
  out += '[';
  out.append(section);
  out.append("]\r\n");
  AppendEntry(out, "title", item.title);
  AppendEntry(out, "description", item.description);
  AppendEntry(out, "date", item.date);
  AppendEntry(out, "time", item.time);
  AppendEntry(out, "offset", item.offset);
  AppendEntry(out, "read", item.read != 0 ? "1" : "0");
}

void WriteItem(IniDocument& doc, const std::string& section, const InboxItem& item) {
  const auto clean = [](std::string text) {
    std::erase(text, '\0');
    return text;
  };
  doc.SetValue(section, "title", clean(item.title));
  doc.SetValue(section, "description", clean(item.description));
  doc.SetValue(section, "date", clean(item.date));
  doc.SetValue(section, "time", clean(item.time));
  doc.SetValue(section, "offset", clean(item.offset));
  doc.SetValue(section, "read", "0");
}

// Anything but a clean 1 reads as unread, so a damaged flag never hides a message as read.
std::int16_t ReadFlag(const std::optional<std::string>& text) {
  return text && cINI::CLngDefault(*text, 0) == 1 ? 1 : 0;
}

std::string Decoded(std::string_view description) {
  std::string plain;
  plain.reserve(description.size() + description.size() / 16);
  for (std::size_t at = 0;;) {
    const std::size_t mark = std::min(description.find(kEncodedLineFeed, at), description.size());
    plain.append(description.substr(at, mark - at));
    if (mark == description.size()) break;
    plain += "\r\n";
    at = mark + 1;
  }
  return plain;
}

// The whole file, with room for `extra` more bytes; a missing file reads as empty. Read through a
// small buffer: sizing the string first would also have to clear it.
bool ReadBytes(const std::string& path, std::size_t extra, std::string& content) {
  content.clear();
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    content.reserve(extra);
    return true;
  }
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

// A section of the inbox as the store hands a message out: the description in its plain form.
InboxItem ItemOf(const IniDocument& doc, std::string guid) {
  InboxItem item;
  item.title = doc.GetValue(guid, "title").value_or("");
  item.description = Decoded(doc.GetValue(guid, "description").value_or(""));
  item.date = doc.GetValue(guid, "date").value_or("");
  item.time = doc.GetValue(guid, "time").value_or("");
  item.offset = doc.GetValue(guid, "offset").value_or("");
  item.read = ReadFlag(doc.GetValue(guid, "read"));
  item.guid = std::move(guid);
  return item;
}

// The guid as a section name in lower case; most guids are that form already.
std::string LowerName(std::string_view guid) {
  const bool plain = guid.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos &&
                     AsciiText::Trim(guid) == guid;
  if (plain) return AsciiText::Lower(guid);
  return AsciiText::Lower(NormalizedGuid(guid));
}

// One lock per source, made on first use and kept for the run: a few thousand at most.
std::recursive_mutex& MutexOf(const std::string& sourceId) {
  static std::mutex guard;
  static std::unordered_map<std::string, std::unique_ptr<std::recursive_mutex>> mutexes;
  const std::lock_guard lock(guard);
  std::unique_ptr<std::recursive_mutex>& mutex = mutexes[sourceId];
  if (!mutex) mutex = std::make_unique<std::recursive_mutex>();
  return *mutex;
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

std::string InboxFolder(std::string_view sourceId) {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + std::string(sourceId);
}

std::string InboxPath(std::string_view sourceId) {
  return InboxFile(mAppFunctions::DataPath, sourceId);
}

std::string InboxFile(std::string_view dataFolder, std::string_view sourceId) {
  return mGeneralFunctions::AddBackslash(std::string(dataFolder)) + std::string(sourceId) +
         "/inbox.dat";
}

SourceLock LockSource(const std::string& sourceId) { return SourceLock(MutexOf(sourceId)); }

bool StoreMessage(const std::string& sourceId, const InboxItem& item) {
  if (!SourceUsable(sourceId)) return false;
  const std::string guid = NormalizedGuid(item.guid);
  if (guid.empty()) return false;
  const SourceLock lock = LockSource(sourceId);
  const std::string path = InboxPath(sourceId);
  std::error_code ec;
  IniDocument doc = IniDocument::Load(path, ec);
  if (ec) return false;
  if (doc.HasSection(guid) && !Holds(doc.SectionNames(), guid)) return false;
  WriteItem(doc, guid, item);
  return doc.Save(path, ec);
}

std::optional<std::size_t> AddNewInboxItems(const std::string& sourceId,
                                            const std::vector<InboxItem>& items,
                                            SourceState::Holding* holding,
                                            std::vector<std::string>* deletedByRules) {
  if (!SourceUsable(sourceId)) return std::nullopt;
  const SourceLock lock = LockSource(sourceId);
  EnsureFolder(sourceId);
  const std::string path = InboxPath(sourceId);
  // Most checks bring nothing new: a streamed look at the section headers settles that without
  // holding the whole file.
  std::error_code ec;
  std::unordered_set<std::string> stored;
  for (const std::string& name : IniDocument::ReadSectionNames(path, ec)) {
    stored.insert(AsciiText::Lower(name));
  }
  if (ec) return std::nullopt;
  std::vector<InboxItem> fresh;
  for (const InboxItem& item : items) {
    std::string guid = NormalizedGuid(item.guid);
    // A case variant of a stored guid names the same section in the file: it is not new.
    if (guid.empty() || !stored.insert(AsciiText::Lower(guid)).second) continue;
    fresh.push_back(item);
    fresh.back().guid = std::move(guid);
    // New messages arrive unread, unless a rule says otherwise.
    fresh.back().read = 0;
  }
  // Rules may mark arriving messages read, or keep them out as if the user had deleted them.
  std::vector<std::string> refused;
  if (!fresh.empty()) ApplyArrivalRules(sourceId, fresh, refused);
  if (!refused.empty()) {
    std::unordered_set<std::string> out;
    for (const std::string& guid : refused) out.insert(AsciiText::Lower(NormalizedGuid(guid)));
    std::erase_if(fresh, [&out, &stored](const InboxItem& item) {
      if (!out.contains(AsciiText::Lower(item.guid))) return false;
      stored.erase(AsciiText::Lower(item.guid));
      return true;
    });
    if (deletedByRules)
      deletedByRules->insert(deletedByRules->end(), refused.begin(), refused.end());
  }
  if (holding) {
    *holding = {};
    for (const std::string& guid : stored) holding->Add(guid);
  }
  if (fresh.empty()) return 0;
  std::size_t bytes = 0;
  for (const InboxItem& item : fresh) {
    // What AppendItem writes at most: a short guess would move the whole file's bytes again.
    bytes += item.guid.size() + item.title.size() + item.description.size() + item.date.size() +
             item.time.size() + item.offset.size() + 64;
  }
  // New sections go at the end of the file, so the old bytes stay as they are and the new ones
  // follow, just as a document of the whole file would write them.
  std::string content;
  if (!ReadBytes(path, bytes + 2, content)) return std::nullopt;
  if (!content.empty() && content.back() != '\n') content += "\r\n";
  for (const InboxItem& item : fresh) AppendItem(content, item.guid, item);
  if (!Writable(path) || !AtomicFile::Replace(path, content, ec)) return std::nullopt;
  NotifyStored(sourceId, fresh);
  return fresh.size();
}

std::optional<SourceState::Holding> InboxHolding(const std::string& sourceId) {
  if (!SourceUsable(sourceId)) return std::nullopt;
  const SourceLock lock = LockSource(sourceId);
  std::error_code ec;
  SourceState::Holding holding;
  for (const std::string& name : IniDocument::ReadSectionNames(InboxPath(sourceId), ec))
    holding.Add(name);
  if (ec) return std::nullopt;
  return holding;
}

bool MessageExists(const std::string& sourceId, std::string_view guid) {
  if (!Prepared(sourceId)) return false;
  const SourceLock lock = LockSource(sourceId);
  std::error_code ec;
  const std::vector<std::string> names = IniDocument::ReadSectionNames(InboxPath(sourceId), ec);
  return !ec && Holds(names, NormalizedGuid(guid));
}

std::optional<InboxItem> LoadMessage(const std::string& sourceId, std::string_view guid) {
  if (!Prepared(sourceId)) return std::nullopt;
  const std::string name = NormalizedGuid(guid);
  const SourceLock lock = LockSource(sourceId);
  const std::optional<IniDocument> doc = LoadHolding(sourceId, name);
  if (!doc) return std::nullopt;
  return ItemOf(*doc, name);
}

bool MarkMessage(const std::string& sourceId, std::string_view guid, bool read) {
  if (!Prepared(sourceId)) return false;
  const std::string name = NormalizedGuid(guid);
  const SourceLock lock = LockSource(sourceId);
  std::optional<IniDocument> doc = LoadHolding(sourceId, name);
  if (!doc) return false;
  if (ReadFlag(doc->GetValue(name, "read")) == (read ? 1 : 0)) return true;
  doc->SetValue(name, "read", read ? "1" : "0");
  std::error_code ec;
  if (!doc->Save(InboxPath(sourceId), ec)) return false;
  NotifyReadChanged(sourceId, name, read);
  return true;
}

bool DeleteMessage(const std::string& sourceId, std::string_view guid) {
  if (!Prepared(sourceId)) return false;
  const std::string name = NormalizedGuid(guid);
  const SourceLock lock = LockSource(sourceId);
  std::optional<IniDocument> doc = LoadHolding(sourceId, name);
  if (!doc) return false;
  // Remembered first: a kill between the two writes then keeps the message rather than letting
  // the next check bring it back.
  SourceState::RecordDeletion(sourceId, name);
  doc->DeleteSection(name);
  std::error_code ec;
  if (!doc->Save(InboxPath(sourceId), ec)) return false;
  NotifyDeleted(sourceId, name);
  return true;
}

std::optional<std::vector<MessageSummary>> ListMessages(const std::string& sourceId) {
  if (!Prepared(sourceId)) return std::nullopt;
  const SourceLock lock = LockSource(sourceId);
  std::error_code ec;
  const IniDocument doc = IniDocument::Load(InboxPath(sourceId), ec);
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

std::optional<std::vector<std::string>> MessageGuids(const std::string& sourceId) {
  if (!SourceUsable(sourceId)) return std::nullopt;
  const SourceLock lock = LockSource(sourceId);
  std::error_code ec;
  std::vector<std::string> guids = IniDocument::ReadSectionNames(InboxPath(sourceId), ec);
  if (ec) return std::nullopt;
  return guids;
}

std::optional<std::vector<InboxItem>> LoadAll(const std::string& sourceId) {
  if (!Prepared(sourceId)) return std::nullopt;
  const SourceLock lock = LockSource(sourceId);
  std::error_code ec;
  const IniDocument doc = IniDocument::Load(InboxPath(sourceId), ec);
  std::vector<InboxItem> items;
  for (std::string& guid : doc.SectionNames()) items.push_back(ItemOf(doc, std::move(guid)));
  return items;
}

std::optional<std::size_t> MarkAllRead(const std::string& sourceId) {
  if (!Prepared(sourceId)) return std::nullopt;
  const SourceLock lock = LockSource(sourceId);
  const std::string path = InboxPath(sourceId);
  std::error_code ec;
  IniDocument doc = IniDocument::Load(path, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> marked;
  for (std::string& guid : doc.SectionNames()) {
    if (ReadFlag(doc.GetValue(guid, "read")) == 1) continue;
    doc.SetValue(guid, "read", "1");
    marked.push_back(std::move(guid));
  }
  if (marked.empty()) return 0;
  if (!doc.Save(path, ec)) return std::nullopt;
  for (const std::string& guid : marked) NotifyReadChanged(sourceId, guid, true);
  return marked.size();
}

std::optional<std::size_t> ApplyBatch(const std::string& sourceId,
                                      const std::vector<BatchItem>& batch) {
  if (!SourceUsable(sourceId) || batch.empty()) return 0;
  const SourceLock lock = LockSource(sourceId);
  const std::string path = InboxPath(sourceId);
  std::error_code ec;
  // Nothing stored yet: nothing to change.
  if (!std::filesystem::exists(path, ec)) return 0;
  IniDocument doc = IniDocument::Load(path, ec);
  if (ec) return std::nullopt;
  const std::vector<std::string> names = doc.SectionNames();
  std::unordered_map<std::string, const std::string*> byLower;
  byLower.reserve(names.size());
  for (const std::string& name : names) byLower.emplace(AsciiText::Lower(name), &name);
  // A message named twice takes the first change: one deleted twice would leave the holding
  // twice.
  std::unordered_set<const std::string*> done;
  std::vector<std::pair<std::string, bool>> flipped;
  std::vector<std::string> deleted;
  for (const BatchItem& item : batch) {
    const auto it = byLower.find(LowerName(item.guid));
    if (it == byLower.end() || !done.insert(it->second).second) continue;
    const std::string& name = *it->second;
    if (item.change == BatchChange::Delete) {
      deleted.push_back(name);
      continue;
    }
    const bool read = item.change == BatchChange::MarkRead;
    if (ReadFlag(doc.GetValue(name, "read")) == (read ? 1 : 0)) continue;
    doc.SetValue(name, "read", read ? "1" : "0");
    flipped.emplace_back(name, read);
  }
  if (flipped.empty() && deleted.empty()) return 0;
  if (!deleted.empty()) {
    // Remembered first, as a deletion by hand is.
    if (!SourceState::RecordDeletions(sourceId, deleted)) return std::nullopt;
    for (const std::string& guid : deleted) doc.DeleteSection(guid);
  }
  if (!doc.Save(path, ec)) return std::nullopt;
  for (const auto& [guid, read] : flipped) NotifyReadChanged(sourceId, guid, read);
  for (const std::string& guid : deleted) NotifyDeleted(sourceId, guid);
  return flipped.size() + deleted.size();
}

std::string InboxFolder() { return InboxFolder(SourceID); }

std::string InboxPath() { return InboxPath(SourceID); }

bool AddInboxItem() { return StoreMessage(SourceID, CurrentItem); }

bool ManageInboxItem(int action) {
  const std::optional<InboxAction> command = ToInboxAction(action);
  if (!command) {
    Prepared(SourceID);
    return false;
  }
  switch (*command) {
    case InboxAction::Exists:
      return MessageExists(SourceID, CurrentItem.guid);
    case InboxAction::MarkRead:
    case InboxAction::MarkUnread:
      return MarkMessage(SourceID, CurrentItem.guid, *command == InboxAction::MarkRead);
    case InboxAction::Delete:
      return DeleteMessage(SourceID, CurrentItem.guid);
    case InboxAction::Load:
      break;
  }
  std::optional<InboxItem> item = LoadMessage(SourceID, CurrentItem.guid);
  if (!item) return false;
  // The caller's guid stays as it named the message.
  item->guid = std::move(CurrentItem.guid);
  CurrentItem = std::move(*item);
  return true;
}

std::optional<std::size_t> AddNewInboxItems(const std::vector<InboxItem>& items,
                                            SourceState::Holding* holding,
                                            std::vector<std::string>* deletedByRules) {
  return AddNewInboxItems(SourceID, items, holding, deletedByRules);
}

std::optional<SourceState::Holding> InboxHolding() { return InboxHolding(SourceID); }

std::optional<std::vector<MessageSummary>> ListMessages() { return ListMessages(SourceID); }

std::optional<std::size_t> MarkAllRead() { return MarkAllRead(SourceID); }

std::optional<std::vector<InboxItem>> LoadAll() { return LoadAll(SourceID); }

}  // namespace mInbox
