#include "inbox/InboxSections.h"

#include "config/IniDocument.h"
#include "core/AsciiText.h"

#include <fstream>
#include <unordered_set>

namespace InboxSections {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr char kEncodedLineFeed = '\x05';

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

std::optional<std::string> ReadStretch(const std::string& path, std::int64_t at,
                                       std::int64_t size) {
  std::ifstream in(path, std::ios::binary);
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!in.seekg(at) || !in.read(text.data(), size)) return std::nullopt;
  return text;
}

}  // namespace

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

std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = c == '\r' ? ' ' : AsciiText::Lower(c);
  return folded;
}

std::vector<Span> Spans(std::string_view text, std::int64_t base) {
  std::vector<Span> spans;
  std::unordered_set<std::string> seen;
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t open = kNone;  // the section being measured
  const auto close = [&](std::size_t end) {
    if (open != kNone) spans[open].size = base + static_cast<std::int64_t>(end) - spans[open].at;
    open = kNone;
  };
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find('\n', at);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const auto name = HeaderName(line, at == 0)) {
      close(at);
      std::string folded = FoldedName(*name);
      if (seen.insert(folded).second) {
        spans.push_back({std::move(folded), base + static_cast<std::int64_t>(at), 0});
        open = spans.size() - 1;
      }
    }
    at = lf == std::string_view::npos ? text.size() : lf + 1;
  }
  close(text.size());
  return spans;
}

std::vector<Span> SpansFrom(const std::string& path, std::int64_t from, std::int64_t to) {
  if (from < 0 || to <= from) return {};
  const std::optional<std::string> tail = ReadStretch(path, from, to - from);
  return tail ? Spans(*tail, from) : std::vector<Span>{};
}

std::string LoadDescription(const std::string& path, const std::string& guid, std::int64_t at,
                            std::int64_t size) {
  if (at >= 0 && size > 0) {
    if (const std::optional<std::string> section = ReadStretch(path, at, size)) {
      const std::vector<Span> spans = Spans(*section);
      if (!spans.empty() && spans.front().at == 0 && spans.front().name == FoldedName(guid)) {
        // The section's first "description" entry, as the INI reader takes it.
        const std::string_view text = *section;
        std::size_t line = text.find('\n');
        while (line != std::string_view::npos && line + 1 < text.size()) {
          const std::size_t begin = line + 1;
          line = text.find('\n', begin);
          const std::string_view entry =
              text.substr(begin, (line == std::string_view::npos ? text.size() : line) - begin);
          const std::size_t eq = entry.find('=');
          if (eq == std::string_view::npos) continue;
          if (AsciiText::EqualsNoCase(AsciiText::Trim(entry.substr(0, eq), " \t\r"), "description"))
            return Decoded(AsciiText::Trim(entry.substr(eq + 1), " \t\r"));
        }
        return {};
      }
    }
  }
  std::error_code ec;
  return Decoded(IniDocument::ReadValue(path, guid, "description", ec).value_or(""));
}

}  // namespace InboxSections
