#include "inbox/mInbox.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AtomicFile.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "presentation/TreeControl.h"
#include "subscriptions/mSubscriptions.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>
#include <unordered_set>

namespace mInbox {

namespace {

constexpr char kEncodedLineFeed = '\x05';

// Without a data folder the path would be relative to whatever the working folder is.
bool SourceUsable() {
  return !mGeneralFunctions::IsBlank(mAppFunctions::DataPath) &&
         mSubscriptions::IsSourceID(SourceID);
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

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !IsSpace(text[pos])) ++pos;
    if (pos > start) words.push_back(text.substr(start, pos - start));
  }
  return words;
}

std::optional<int> Number(std::string_view digits) {
  if (digits.empty() || digits.size() > 4) return std::nullopt;
  int value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Section names as the INI file matches them: ASCII letters without case.
std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = Lower(c);
  return folded;
}

// 1..12 for an English month name or its three-letter abbreviation, any letter case.
std::optional<unsigned> MonthNumber(std::string_view word) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "january", "february", "march",     "april",   "may",      "june",
      "july",    "august",   "september", "october", "november", "december"};
  if (word.size() < 3) return std::nullopt;
  const std::string lower = Folded(word);
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (lower == kMonths[i] || lower == kMonths[i].substr(0, 3)) return i + 1;
  }
  return std::nullopt;
}

// Puts back an empty top-level node in place of the one with that key.
void ResetNode(TreeControl& tree, const std::string& key) {
  TreeControl::Node* node = tree.Find(key);
  if (!node || !node->IsTopLevel()) return;
  const std::string text = node->Text();
  const std::string tag = node->Tag();
  tree.SetSorted(false);
  tree.Remove(node);
  if (TreeControl::Node* fresh =
          tree.Add(key, text, MessageTreeImage::Source, MessageTreeImage::Source)) {
    fresh->SetTag(tag);
  }
  tree.SetSorted(true);
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

struct Row {
  std::string title;
  std::string guid;
  std::int64_t order = 0;
  std::int16_t read = 0;
};

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
  std::string name = IniDocument::WithoutLineBreaks(guid);
  // The INI file does not keep blanks around a name either.
  const std::size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = name.find_last_not_of(" \t");
  return name.substr(first, last - first + 1);
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
    stored.insert(Folded(name));
  }
  if (ec) return std::nullopt;
  IniDocument added;
  std::size_t count = 0;
  for (const InboxItem& item : items) {
    const std::string guid = NormalizedGuid(item.guid);
    // A case variant of a stored guid names the same section in the file: it is not new.
    if (guid.empty() || stored.contains(Folded(guid)) || added.HasSection(guid)) continue;
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

std::optional<std::int32_t> DayNumber(std::string_view dateText) {
  const std::size_t comma = dateText.find(',');
  if (comma != std::string_view::npos) dateText.remove_prefix(comma + 1);
  const std::vector<std::string_view> words = Words(dateText);
  if (words.size() < 3) return std::nullopt;
  const std::optional<int> dayOfMonth = words[0].size() <= 2 ? Number(words[0]) : std::nullopt;
  const std::optional<unsigned> monthOfYear = MonthNumber(words[1]);
  std::optional<int> year = Number(words[2]);
  if (!dayOfMonth || !monthOfYear || !year) return std::nullopt;
  if (words[2].size() == 2) {
    *year += *year < 50 ? 2000 : 1900;  // two-digit years as mail dates read them
  } else if (words[2].size() != 4) {
    return std::nullopt;
  }
  namespace chrono = std::chrono;
  const chrono::year_month_day date{chrono::year{*year}, chrono::month{*monthOfYear},
                                    chrono::day{static_cast<unsigned>(*dayOfMonth)}};
  if (!date.ok()) return std::nullopt;
  constexpr chrono::sys_days kFirstDay{chrono::year{2000} / chrono::January / 1};
  return static_cast<std::int32_t>((chrono::sys_days{date} - kFirstDay).count());
}

void ResetSourceNode(TreeControl& tree) { ResetNode(tree, SourceID); }

void LoadInbox(TreeControl& tree) {
  if (!SourceUsable()) return;
  // Window events run below and may choose another source meanwhile.
  const std::string sourceID = SourceID;
  const TreeControl::Node* node = tree.Find(sourceID);
  if (!node || !node->IsTopLevel()) return;
  if (!EnsureFolder()) return;

  std::error_code ec;
  const IniDocument doc = IniDocument::Load(InboxPath(), ec);
  std::vector<Row> rows;
  for (std::string& guid : doc.SectionNames()) {
    Row row;
    row.title = doc.GetValue(guid, "title").value_or("");
    row.read = ReadFlag(doc.GetValue(guid, "read"));
    const std::optional<std::int32_t> day = DayNumber(doc.GetValue(guid, "date").value_or(""));
    // A date that cannot be read sorts after every real one.
    row.order = day ? *day : std::numeric_limits<std::int64_t>::min();
    row.guid = std::move(guid);
    rows.push_back(std::move(row));
  }
  // Newest day first, file order within a day.
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return a.order > b.order; });

  Services::Clock().ProcessEvents();
  // The events may have rebuilt the tree or loaded this source meanwhile: reset only now, and
  // only a node that is still there.
  TreeControl::UpdateGuard batch(tree);
  ResetNode(tree, sourceID);
  TreeControl::Node* source = tree.Find(sourceID);
  if (!source || !source->IsTopLevel()) return;
  for (Row& row : rows) {
    const int image = row.read + MessageTreeImage::Unread;
    TreeControl::Node* child = tree.AddChild(source, std::string(), std::move(row.title), image);
    if (!child) continue;
    child->SetTag(std::move(row.guid));
    child->SetBold(image == MessageTreeImage::Unread);
  }
}

}  // namespace mInbox
