#include "archive/InboxText.h"

#include "archive/SearchIndex.h"
#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AsciiText.h"
#include "core/HtmlText.h"
#include "inbox/InboxTree.h"
#include "inbox/MessageHeader.h"
#include "inbox/MessageOrder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <unordered_map>

namespace Archive::InboxText {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr char kEncodedLineFeed = '\x05';

// Ids: 22 bits of day, 20 of time within the day, 4 for messages of the very same time.
constexpr int kSeqBits = 4;
constexpr int kWithinBits = 20;
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

// As the INI reader folds names: ASCII lower case, a stray CR as a blank.
std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = c == '\r' ? ' ' : AsciiText::Lower(c);
  return folded;
}

// The section name of a header line, as the INI reader takes it; none for other lines.
std::optional<std::string_view> HeaderName(std::string_view line, bool firstLine) {
  std::size_t open = firstLine && line.starts_with(kBom) ? kBom.size() : 0;
  while (open < line.size() && (line[open] == ' ' || line[open] == '\t')) ++open;
  if (open == line.size() || line[open] != '[') return std::nullopt;
  std::size_t begin = open + 1;
  std::size_t end = line.rfind(']');
  if (end == std::string_view::npos || end < begin) end = line.size();
  constexpr std::string_view kNameBlanks = " \t\r";
  while (begin < end && kNameBlanks.find(line[begin]) != std::string_view::npos) ++begin;
  while (end > begin && kNameBlanks.find(line[end - 1]) != std::string_view::npos) --end;
  return line.substr(begin, end - begin);
}

void Hash(std::uint64_t& hash, std::string_view text) {
  const std::uint64_t size = text.size();
  for (int i = 0; i < 8; ++i) {
    hash ^= (size >> (8 * i)) & 0xff;
    hash *= 1099511628211ull;
  }
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
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
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

std::vector<Span> Sections(std::string_view text, std::int64_t base) {
  std::vector<Span> spans;
  std::unordered_map<std::string, bool> seen;
  std::size_t at = 0;
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t open = kNone;  // the section being measured
  const auto close = [&](std::size_t end) {
    if (open != kNone) spans[open].size = base + static_cast<std::int64_t>(end) - spans[open].at;
    open = kNone;
  };
  while (at < text.size()) {
    const std::size_t lf = text.find('\n', at);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const auto name = HeaderName(line, at == 0)) {
      close(at);
      std::string folded = FoldedName(*name);
      if (seen.emplace(folded, true).second) {
        spans.push_back({std::move(folded), base + static_cast<std::int64_t>(at), 0});
        open = spans.size() - 1;
      }
    }
    at = lf == std::string_view::npos ? text.size() : lf + 1;
  }
  close(text.size());
  return spans;
}

std::optional<std::vector<FileMessage>> ReadInbox(const std::string& path) {
  std::string text;
  std::error_code ec;
  if (!ReadFile(path, text, ec)) return std::nullopt;
  std::unordered_map<std::string, Span> spans;
  for (Span& span : Sections(text)) spans.emplace(span.name, std::move(span));
  const IniDocument doc = IniDocument::Parse(std::move(text));
  std::vector<FileMessage> messages;
  for (std::string& guid : doc.SectionNames()) {
    FileMessage message;
    mInbox::InboxItem& item = message.item;
    item.title = doc.GetValue(guid, "title").value_or("");
    item.description = doc.GetValue(guid, "description").value_or("");
    item.date = doc.GetValue(guid, "date").value_or("");
    item.time = doc.GetValue(guid, "time").value_or("");
    item.offset = doc.GetValue(guid, "offset").value_or("");
    // Anything but a clean 1 reads as unread, as the store reads it.
    const std::optional<std::string> read = doc.GetValue(guid, "read");
    item.read = read && cINI::CLngDefault(*read, 0) == 1 ? 1 : 0;
    message.digest = Digest(item);
    if (const auto span = spans.find(FoldedName(guid)); span != spans.end()) {
      message.at = span->second.at;
      message.size = span->second.size;
    }
    item.guid = std::move(guid);
    messages.push_back(std::move(message));
  }
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
  for (const std::string* field : {&item.title, &item.description, &item.date, &item.time,
                                   &item.offset})
    Hash(hash, *field);
  return static_cast<std::int64_t>(hash);
}

std::string LoadDescription(const std::string& path, const std::string& guid, std::int64_t at,
                            std::int64_t size) {
  if (at >= 0 && size > 0) {
    std::ifstream in(path, std::ios::binary);
    std::string section(static_cast<std::size_t>(size), '\0');
    if (in.seekg(at) && in.read(section.data(), size)) {
      const std::vector<Span> spans = Sections(section);
      if (!spans.empty() && spans.front().at == 0 && spans.front().name == FoldedName(guid)) {
        // The section's first "description" entry, as the INI reader takes it.
        std::size_t line = section.find('\n');
        while (line != std::string::npos && line + 1 < section.size()) {
          const std::size_t begin = line + 1;
          line = section.find('\n', begin);
          std::string_view text = std::string_view(section).substr(
              begin, (line == std::string::npos ? section.size() : line) - begin);
          const std::size_t eq = text.find('=');
          if (eq == std::string_view::npos) continue;
          if (AsciiText::EqualsNoCase(AsciiText::Trim(text.substr(0, eq), " \t\r"), "description"))
            return Decoded(AsciiText::Trim(text.substr(eq + 1), " \t\r"));
        }
        return {};
      }
    }
  }
  std::error_code ec;
  return Decoded(IniDocument::ReadValue(path, guid, "description", ec).value_or(""));
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
  const std::int64_t within =
      when.seconds ? std::clamp<std::int64_t>(*when.seconds + kUtcBias + 1, 1,
                                              (std::int64_t{1} << kWithinBits) - 1)
                   : 0;
  const std::int64_t low = BandStart(DayField(*when.day), within);
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

}  // namespace Archive::InboxText

namespace Archive {

std::string IndexedText(const mInbox::InboxItem& item) {
  std::string description = item.description;
  std::replace(description.begin(), description.end(), '\x05', '\n');
  const mInbox::MessageHeader header = mInbox::ParseMessageHeader(description);
  std::string text;
  for (const std::string* field : {&header.FromName, &header.FromEmail, &header.Subject}) {
    const std::string_view value = AsciiText::Trim(*field, " \t\r\n");
    if (value.empty()) continue;
    text += HtmlText::DecodeReferences(value);
    text += '\n';
  }
  text += HtmlText::ToText(header.Body);
  // One line end, and no control character: the marks of a snippet are control characters.
  std::string clean;
  clean.reserve(text.size());
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\r') continue;
    clean += (u < 0x20 && c != '\n') || u == 0x7f ? ' ' : c;
  }
  return clean;
}

}  // namespace Archive
