#include "archive/InboxText.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AsciiText.h"
#include "core/HtmlText.h"
#include "core/SourceId.h"
#include "core/mGeneralFunctions.h"
#include "inbox/InboxSections.h"
#include "inbox/InboxTree.h"
#include "inbox/MessageHeader.h"
#include "inbox/MessageOrder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_map>

namespace Archive::InboxText {

namespace {

// Ids: 22 bits of day, 20 of time within the day, 6 for messages of the very same time. The
// messages of a day without a time share the lowest 2^16 times of the day, 4 million ids.
constexpr int kSeqBits = 6;
constexpr int kWithinBits = 20;
constexpr std::int64_t kUntimed = std::int64_t{1} << 16;
constexpr int kDayBits = 22;
constexpr std::int64_t kDayBias = std::int64_t{1} << 20;  // day 1 is about the year 1130
// The time of day minus the zone lies within ±(99:99 + 24 h).
constexpr std::int64_t kUtcBias = 99 * 3600 + 99 * 60;
// Days from 1970-01-01 to 2000-01-01, where the tree's day numbers begin.
constexpr std::int32_t kDays1970To2000 = 10957;

std::int64_t DayField(std::int64_t dayNumber) {
  return std::clamp<std::int64_t>(dayNumber + kDayBias, 1, (std::int64_t{1} << kDayBits) - 1);
}

std::int64_t BandStart(std::int64_t dayField, std::int64_t within) {
  return ((dayField << kWithinBits) | within) << kSeqBits;
}

// Eight bytes at a time: the digest of a million messages must not cost seconds.
void Hash(std::uint64_t& hash, std::string_view text) {
  const auto mix = [&hash](std::uint64_t word) {
    hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
    hash ^= hash >> 29;
  };
  mix(text.size());
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    mix(word);
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, text.data() + at, text.size() - at);
  mix(tail);
}

bool ReadFile(const std::string& path, std::string& text, std::error_code& ec) {
  namespace fs = std::filesystem;
  text.clear();
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    ec.clear();
    return true;
  }
  if (ec || !fs::is_regular_file(status)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  // Read in large blocks: the file may grow or shrink meanwhile (the caller compares stamps).
  std::vector<char> buffer(std::size_t{1} << 20);
  while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0)
    text.append(buffer.data(), std::size_t(in.gcount()));
  return !in.bad();
}

}  // namespace

// The file in one pass, by the INI reader's rules (config/IniDocument.h): lines end at LF (a CR
// before it dropped), "[name]" opens a section, "key=value" lines inside one are entries with
// blanks around key and value trimmed, names compare without ASCII case (a stray CR as a blank);
// of sections of one name and of keys of one name within a section the first counts.
std::optional<std::vector<FileMessage>> ReadInbox(const std::string& path) {
  std::string text;
  std::error_code ec;
  if (!ReadFile(path, text, ec)) return std::nullopt;
  constexpr std::string_view kKeys[] = {"title", "description", "date", "time", "offset", "read"};
  std::vector<FileMessage> messages;
  std::unordered_map<std::string, bool> seen;
  FileMessage* current = nullptr;  // null outside a section and in a later one of a used name
  bool found[std::size(kKeys)] = {};
  std::string read;
  const auto finish = [&](std::size_t end) {
    if (!current) return;
    current->size = static_cast<std::int64_t>(end) - current->at;
    current->item.read = found[5] && cINI::CLngDefault(read, 0) == 1 ? 1 : 0;
    current->digest = Digest(current->item);
    current = nullptr;
  };
  std::optional<std::size_t> lastHeader;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find('\n', at);
    const std::size_t next = lf == std::string::npos ? text.size() : lf + 1;
    std::string_view line(text.data() + at, (lf == std::string::npos ? text.size() : lf) - at);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const auto name = InboxSections::HeaderName(line, at == 0)) {
      if (lastHeader) finish(at);
      lastHeader = at;
      if (seen.emplace(InboxSections::FoldedName(*name), true).second) {
        messages.emplace_back();
        current = &messages.back();
        current->item.guid = std::string(*name);
        current->at = static_cast<std::int64_t>(at);
        std::fill(std::begin(found), std::end(found), false);
      }
    } else if (current) {
      const std::size_t eq = line.find('=');
      if (eq != std::string_view::npos) {
        const std::string key =
            InboxSections::FoldedName(AsciiText::Trim(line.substr(0, eq), " \t\r"));
        for (std::size_t k = 0; k < std::size(kKeys); ++k) {
          if (found[k] || key != kKeys[k]) continue;
          found[k] = true;
          const std::string_view value = AsciiText::Trim(line.substr(eq + 1));
          mInbox::InboxItem& item = current->item;
          std::string* fields[] = {&item.title, &item.description, &item.date,
                                   &item.time,  &item.offset,      &read};
          fields[k]->assign(value);
          break;
        }
      }
    }
    at = next;
  }
  finish(text.size());
  return messages;
}

mInbox::InboxItem FileForm(const mInbox::InboxItem& item) {
  const auto form = [](std::string text) {
    std::erase(text, '\0');
    return std::string(AsciiText::Trim(IniDocument::WithoutLineBreaks(text)));
  };
  mInbox::InboxItem out;
  out.guid = mInbox::NormalizedGuid(item.guid);
  out.title = form(item.title);
  out.description = form(item.description);
  out.date = form(item.date);
  out.time = form(item.time);
  out.offset = form(item.offset);
  out.read = item.read != 0 ? 1 : 0;
  return out;
}

std::int64_t Digest(const mInbox::InboxItem& item) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const std::string* field :
       {&item.title, &item.description, &item.date, &item.time, &item.offset})
    Hash(hash, *field);
  return static_cast<std::int64_t>(hash);
}

Stamp StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return {errno == ENOENT ? "none" : "unreadable " + std::to_string(errno), 0};
  }
  const auto ns = [](const timespec& t) {
    return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec);
  };
  return {std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
              std::to_string(info.st_size) + ":" + ns(info.st_mtim) + ":" + ns(info.st_ctim),
          static_cast<std::int64_t>(info.st_size)};
}

Band BandOf(const std::string& date, const std::string& time, const std::string& zone) {
  const mInbox::MessageTime when = mInbox::TimeOf(date, time, zone);
  if (!when.day) return {1, FirstDatedId() - 1};
  const std::int64_t day = DayField(*when.day);
  if (!when.seconds) return {BandStart(day, 0), BandStart(day, kUntimed) - 1};
  const std::int64_t within = std::clamp<std::int64_t>(*when.seconds + kUtcBias + kUntimed, 0,
                                                       (std::int64_t{1} << kWithinBits) - 1);
  const std::int64_t low = BandStart(day, within);
  return {low, low + (std::int64_t{1} << kSeqBits) - 1};
}

std::int64_t FirstIdOfDay(std::int32_t daysSince1970) {
  return BandStart(DayField(std::int64_t{daysSince1970} - kDays1970To2000), 0);
}

std::int64_t FirstDatedId() { return BandStart(1, 0); }

std::optional<std::int32_t> DayOf(const std::string& date) {
  const std::optional<std::int32_t> day = mInbox::DayNumber(date);
  if (!day) return std::nullopt;
  return *day + kDays1970To2000;
}

std::optional<Inbox> ReadStable(const std::string& path, bool withTexts) {
  Inbox inbox;
  inbox.stamp = StampOf(path);
  if (!path.empty()) inbox.messages = ReadInbox(path).value_or(std::vector<FileMessage>{});
  if (StampOf(path) != inbox.stamp) return std::nullopt;
  if (withTexts)
    for (FileMessage& message : inbox.messages) message.text = IndexedText(message.item);
  return inbox;
}

std::string InboxFile(const std::string& dataFolder, const std::string& sourceId) {
  if (!SourceId::IsSourceID(sourceId) || dataFolder.empty()) return {};
  return mInbox::InboxFile(dataFolder, sourceId);
}

std::string IndexedText(const mInbox::InboxItem& item) {
  std::string description = item.description;
  std::replace(description.begin(), description.end(), '\x05', '\n');
  const mInbox::MessageHeader header = mInbox::ParseMessageHeader(description);
  std::string text;
  // The page shows these fields as HTML too.
  for (const std::string* field : {&header.FromName, &header.FromEmail, &header.Subject}) {
    const std::string value = HtmlText::ToText(*field, HtmlText::Purpose::Search);
    if (value.empty()) continue;
    text += value;
    text += '\n';
  }
  text += HtmlText::ToText(header.Body, HtmlText::Purpose::Search);
  // One line end, and no control character: the marks of a snippet are control characters.
  std::size_t kept = 0;
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\r') continue;
    text[kept++] = (u < 0x20 && c != '\n') || u == 0x7f ? ' ' : c;
  }
  text.resize(kept);
  return text;
}

}  // namespace Archive::InboxText
