#include "config/IniDocument.h"

#include "core/AsciiText.h"
#include "core/AtomicFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unordered_set>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
// A single read should not pay for hashing every section name; a batch should not scan.
constexpr int kLookupsBeforeIndex = 4;

using AsciiText::Trim;

// A stray CR left inside a line by a hand edit is part of a name, but a lookup turns every line
// break into a space: names compare with that CR as a space, and it is trimmed like a blank.
constexpr std::string_view kNameBlanks = " \t\r";

char Fold(char c) { return c == '\r' ? ' ' : AsciiText::Lower(c); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsNameBlank(char c) { return kNameBlanks.find(c) != std::string_view::npos; }

std::string_view TrimName(std::string_view text) { return Trim(text, kNameBlanks); }

std::string Fold(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = Fold(c);
  return folded;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// A header is "[" after optional blanks; the name runs to the last "]" (or the line's end), so
// a name holding "]" survives. Gives the trimmed name's place within the line. A byte-order mark
// from a hand editor must not hide the file's first header.
bool ParseHeader(std::string_view line, bool firstLine, std::size_t& nameOffset,
                 std::size_t& nameLength) {
  std::size_t open = (firstLine && line.starts_with(kBom)) ? kBom.size() : 0;
  while (open < line.size() && IsBlank(line[open])) ++open;
  if (open == line.size() || line[open] != '[') return false;
  std::size_t begin = open + 1;
  std::size_t end = line.rfind(']');
  if (end == std::string_view::npos || end < begin) end = line.size();
  while (begin < end && IsNameBlank(line[begin])) ++begin;
  while (end > begin && IsNameBlank(line[end - 1])) --end;
  nameOffset = begin;
  nameLength = end - begin;
  return true;
}

struct Entry {
  std::string_view key;
  std::string_view value;
};

std::optional<Entry> ParseEntry(std::string_view line) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Entry{TrimName(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// Names are looked up in the form they are written in: without line breaks, trimmed.
std::string_view NormalizedName(std::string_view name, std::string& storage) {
  if (!HasLineBreak(name)) return Trim(name);
  storage = IniDocument::WithoutLineBreaks(name);
  return Trim(storage);
}

// Opens the file for reading. A missing file is no error and leaves the stream closed; any other
// failure sets ec.
void OpenForReading(const std::string& path, std::ifstream& in, std::error_code& ec) {
  ec.clear();
  if (path.empty()) {
    ec = std::make_error_code(std::errc::invalid_argument);
    return;
  }
  std::error_code statusError;
  const fs::file_status status = fs::status(path, statusError);
  if (status.type() == fs::file_type::not_found) return;
  if (statusError) {
    ec = statusError;
    return;
  }
  if (fs::is_directory(status)) {
    ec = std::make_error_code(std::errc::is_a_directory);
    return;
  }
  in.open(path, std::ios::binary);
  if (!in) ec = std::make_error_code(std::errc::permission_denied);
}

// Hands the file's lines (without their line ends, split as Parse splits them) to visit, which
// returns false to stop. Goes through a small buffer: a single lookup in a large file should not
// pay for holding all of it.
template <typename Visit>
void ForEachLine(const std::string& path, std::error_code& ec, Visit visit) {
  std::ifstream in;
  OpenForReading(path, in, ec);
  if (ec || !in.is_open()) return;
  constexpr std::size_t kBufferSize = std::size_t{1} << 16;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
  std::string carry;  // the start of a line that runs past the buffer
  bool firstLine = true;
  auto emit = [&](std::string_view line, bool ended) {
    if (ended && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool more = visit(line, firstLine);
    firstLine = false;
    return more;
  };
  while (in.read(buffer.get(), kBufferSize) || in.gcount() > 0) {
    const char* pos = buffer.get();
    const char* const end = pos + in.gcount();
    while (pos < end) {
      const auto* lf = static_cast<const char*>(std::memchr(pos, '\n', end - pos));
      if (!lf) {
        carry.append(pos, end);
        break;
      }
      bool more;
      if (carry.empty()) {
        more = emit(std::string_view(pos, lf - pos), true);
      } else {
        carry.append(pos, lf);
        more = emit(carry, true);
        carry.clear();
      }
      if (!more) return;
      pos = lf + 1;
    }
  }
  if (in.bad()) {
    ec = std::make_error_code(std::errc::io_error);
    return;
  }
  if (!carry.empty()) emit(carry, false);
}

}  // namespace

std::string IniDocument::WithoutLineBreaks(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  // Whole runs between breaks at a time, found with memchr; most texts have none. Each kind's
  // next place is kept until it is passed, so no part of the text is scanned twice.
  const auto next = [&text](char c, std::size_t from) {
    if (from >= text.size()) return text.size();
    const void* found = std::memchr(text.data() + from, c, text.size() - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data())
                 : text.size();
  };
  std::size_t cr = next('\r', 0), lf = next('\n', 0);
  for (std::size_t at = 0;;) {
    const std::size_t brk = std::min(cr, lf);
    result.append(text.substr(at, brk - at));
    if (brk == text.size()) break;
    result += ' ';
    // A CR at the very end has no LF after it (lf then stands at the end too).
    at = brk + (brk == cr && lf == brk + 1 && lf < text.size() ? 2 : 1);
    if (cr < at) cr = next('\r', at);
    if (lf < at) lf = next('\n', at);
  }
  return result;
}

IniDocument IniDocument::Parse(std::string text) {
  IniDocument doc;
  doc.m_chunks[0] = std::move(text);
  const std::string& source = doc.m_chunks[0];
  const char* data = source.data();
  const std::size_t size = source.size();
  std::size_t pos = 0;
  while (pos < size) {
    LineRef line;
    line.offset = pos;
    const void* found = std::memchr(data + pos, '\n', size - pos);
    if (found) {
      const std::size_t lf = static_cast<std::size_t>(static_cast<const char*>(found) - data);
      line.length = lf - pos;
      if (line.length > 0 && data[lf - 1] == '\r') {
        --line.length;
        line.end = LineEnd::CrLf;
      } else {
        line.end = LineEnd::Lf;
      }
      pos = lf + 1;
    } else {
      line.length = size - pos;
      pos = size;
    }
    const std::string_view text(data + line.offset, line.length);
    std::size_t nameOffset = 0, nameLength = 0;
    if (ParseHeader(text, line.offset == 0, nameOffset, nameLength)) {
      Section section;
      section.header = line;
      section.nameOffset = nameOffset;
      section.nameLength = nameLength;
      doc.m_sections.push_back(std::move(section));
    } else if (doc.m_sections.empty()) {
      doc.m_preamble.push_back(line);
    } else {
      doc.m_sections.back().body.push_back(line);
    }
  }
  return doc;
}

IniDocument IniDocument::Load(const std::string& path, std::error_code& ec) {
  std::ifstream in;
  OpenForReading(path, in, ec);
  if (ec || !in.is_open()) return {};
  std::string text;
  std::error_code sizeError;
  const auto expected = fs::file_size(path, sizeError);
  if (!sizeError) text.reserve(static_cast<std::size_t>(expected));
  std::vector<char> buffer(std::size_t{1} << 16);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    text.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    ec = std::make_error_code(std::errc::io_error);
    return {};
  }
  return Parse(std::move(text));
}

std::optional<std::string> IniDocument::ReadValue(const std::string& path, std::string_view section,
                                                  std::string_view key, std::error_code& ec) {
  std::string sectionStorage, keyStorage;
  const std::string_view name = NormalizedName(section, sectionStorage);
  const std::string_view keyName = NormalizedName(key, keyStorage);
  std::optional<std::string> value;
  bool inSection = false;
  ForEachLine(path, ec, [&](std::string_view line, bool firstLine) {
    std::size_t nameOffset = 0, nameLength = 0;
    if (ParseHeader(line, firstLine, nameOffset, nameLength)) {
      if (inSection) return false;  // only the first section of that name counts
      inSection = EqualsNoCase(line.substr(nameOffset, nameLength), name);
    } else if (inSection) {
      const auto entry = ParseEntry(line);
      if (entry && EqualsNoCase(entry->key, keyName)) {
        value.emplace(entry->value);
        return false;
      }
    }
    return true;
  });
  if (ec) return std::nullopt;
  return value;
}

std::vector<std::string> IniDocument::ReadSectionNames(const std::string& path,
                                                       std::error_code& ec) {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  ForEachLine(path, ec, [&](std::string_view line, bool firstLine) {
    std::size_t nameOffset = 0, nameLength = 0;
    if (ParseHeader(line, firstLine, nameOffset, nameLength)) {
      const std::string_view name = line.substr(nameOffset, nameLength);
      if (seen.insert(Fold(name)).second) names.emplace_back(name);
    }
    return true;
  });
  if (ec) names.clear();
  return names;
}

std::vector<std::string> IniDocument::ReadKeyNames(const std::string& path,
                                                   std::string_view section, std::error_code& ec) {
  std::string storage;
  const std::string_view name = NormalizedName(section, storage);
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  bool inSection = false;
  ForEachLine(path, ec, [&](std::string_view line, bool firstLine) {
    std::size_t nameOffset = 0, nameLength = 0;
    if (ParseHeader(line, firstLine, nameOffset, nameLength)) {
      if (inSection) return false;
      inSection = EqualsNoCase(line.substr(nameOffset, nameLength), name);
    } else if (inSection) {
      const auto entry = ParseEntry(line);
      if (entry && seen.insert(Fold(entry->key)).second) names.emplace_back(entry->key);
    }
    return true;
  });
  if (ec) names.clear();
  return names;
}

std::string IniDocument::Serialize() const {
  std::size_t estimate = 0;
  for (const std::string& chunk : m_chunks) estimate += chunk.size() + 2;
  std::string out;
  out.reserve(estimate);
  bool previousUnended = false;
  auto emit = [&](const LineRef& line) {
    // Only the file's last line can lack a line end; once something follows it, it needs one.
    if (previousUnended) out += "\r\n";
    out += Text(line);
    switch (line.end) {
      case LineEnd::CrLf:
        out += "\r\n";
        break;
      case LineEnd::Lf:
        out += '\n';
        break;
      case LineEnd::None:
        break;
    }
    previousUnended = line.end == LineEnd::None;
  };
  for (const LineRef& line : m_preamble) emit(line);
  for (const Section& section : m_sections) {
    if (section.removed) continue;
    emit(section.header);
    for (const LineRef& line : section.body) emit(line);
  }
  return out;
}

bool IniDocument::Save(const std::string& path, std::error_code& ec) const {
  ec.clear();
  if (path.empty()) {
    ec = std::make_error_code(std::errc::invalid_argument);
    return false;
  }
  // The replace goes through a new file, which would ignore a read-only mark on the old one.
  std::error_code statusError;
  const fs::file_status status = fs::status(path, statusError);
  constexpr fs::perms anyWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (!statusError && fs::exists(status) && (status.permissions() & anyWrite) == fs::perms::none) {
    ec = std::make_error_code(std::errc::permission_denied);
    return false;
  }
  return AtomicFile::Replace(path, Serialize(), ec);
}

bool IniDocument::Save(const std::string& path) const {
  std::error_code ec;
  return Save(path, ec);
}

std::string_view IniDocument::Text(const LineRef& line) const {
  return std::string_view(m_chunks[line.chunk]).substr(line.offset, line.length);
}

std::string_view IniDocument::Name(const Section& section) const {
  return Text(section.header).substr(section.nameOffset, section.nameLength);
}

IniDocument::LineRef IniDocument::AddLine(std::string text) {
  LineRef line;
  line.chunk = static_cast<std::uint32_t>(m_chunks.size());
  line.end = LineEnd::CrLf;
  line.length = text.size();
  m_chunks.push_back(std::move(text));
  return line;
}

void IniDocument::ReplaceLine(LineRef& line, std::string text) {
  if (line.chunk == 0) {
    line = AddLine(std::move(text));
    return;
  }
  // A written line owns its chunk, so it can be reused.
  line.offset = 0;
  line.length = text.size();
  line.end = LineEnd::CrLf;
  m_chunks[line.chunk] = std::move(text);
}

void IniDocument::DropLine(const LineRef& line) {
  if (line.chunk != 0) m_chunks[line.chunk] = std::string();
}

void IniDocument::EnsureIndex() const {
  if (m_indexBuilt) return;
  m_index.clear();
  m_index.reserve(m_sections.size());
  std::unordered_map<std::size_t, std::size_t> lastOfName;  // first -> last, duplicates only
  for (std::size_t i = 0; i < m_sections.size(); ++i) {
    const Section& section = m_sections[i];
    if (section.removed) continue;
    section.duplicate = false;
    section.nextSame = kNone;
    auto [it, inserted] = m_index.try_emplace(Fold(Name(section)), i);
    if (inserted) continue;
    section.duplicate = true;
    const auto last = lastOfName.try_emplace(it->second, it->second).first;
    m_sections[last->second].nextSame = i;
    last->second = i;
  }
  m_indexBuilt = true;
}

std::size_t IniDocument::FindSection(std::string_view normalizedName) const {
  if (!m_indexBuilt && m_lookupsWithoutIndex < kLookupsBeforeIndex) {
    ++m_lookupsWithoutIndex;
    for (std::size_t i = 0; i < m_sections.size(); ++i) {
      const Section& section = m_sections[i];
      if (!section.removed && EqualsNoCase(Name(section), normalizedName)) return i;
    }
    return kNone;
  }
  EnsureIndex();
  const auto it = m_index.find(Fold(normalizedName));
  return it == m_index.end() ? kNone : it->second;
}

const IniDocument::LineRef* IniDocument::FindEntry(const Section& section,
                                                   std::string_view normalizedKey) const {
  for (const LineRef& line : section.body) {
    const auto entry = ParseEntry(Text(line));
    if (entry && EqualsNoCase(entry->key, normalizedKey)) return &line;
  }
  return nullptr;
}

bool IniDocument::HasSection(std::string_view section) const {
  std::string storage;
  return FindSection(NormalizedName(section, storage)) != kNone;
}

bool IniDocument::HasKey(std::string_view section, std::string_view key) const {
  std::string sectionStorage, keyStorage;
  const std::size_t i = FindSection(NormalizedName(section, sectionStorage));
  return i != kNone && FindEntry(m_sections[i], NormalizedName(key, keyStorage)) != nullptr;
}

std::optional<std::string> IniDocument::GetValue(std::string_view section,
                                                 std::string_view key) const {
  std::string sectionStorage, keyStorage;
  const std::size_t i = FindSection(NormalizedName(section, sectionStorage));
  if (i == kNone) return std::nullopt;
  const LineRef* line = FindEntry(m_sections[i], NormalizedName(key, keyStorage));
  if (!line) return std::nullopt;
  return std::string(ParseEntry(Text(*line))->value);
}

bool IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  std::string sectionStorage, keyStorage;
  const std::string_view name = NormalizedName(section, sectionStorage);
  const std::string_view keyName = NormalizedName(key, keyStorage);
  // "=" would end the key early, and a leading "[" would read as a section header.
  if (keyName.find('=') != std::string_view::npos || keyName.starts_with('[')) return false;
  const std::string cleanValue = WithoutLineBreaks(value);
  std::string entryText;
  entryText.reserve(keyName.size() + 1 + cleanValue.size());
  entryText.append(keyName).append("=").append(cleanValue);

  const std::size_t i = FindSection(name);
  if (i == kNone) {
    Section added;
    added.header = AddLine("[" + std::string(name) + "]");
    added.nameOffset = 1;
    added.nameLength = name.size();
    added.body.push_back(AddLine(std::move(entryText)));
    m_sections.push_back(std::move(added));
    if (m_indexBuilt) m_index.emplace(Fold(name), m_sections.size() - 1);
    m_modified = true;
    return true;
  }

  Section& target = m_sections[i];
  if (const LineRef* found = FindEntry(target, keyName)) {
    LineRef& line = target.body[static_cast<std::size_t>(found - target.body.data())];
    const std::string_view old = Text(line);
    // The key keeps its spelling and spacing as it stands in the file.
    std::string replaced(old.substr(0, old.find('=') + 1));
    replaced += cleanValue;
    if (replaced != old || line.end != LineEnd::CrLf) {
      ReplaceLine(line, std::move(replaced));
      m_modified = true;
    }
    return true;
  }

  std::size_t insertAt = 0;
  for (std::size_t j = target.body.size(); j-- > 0;) {
    if (ParseEntry(Text(target.body[j]))) {
      insertAt = j + 1;
      break;
    }
  }
  const LineRef added = AddLine(std::move(entryText));
  target.body.insert(target.body.begin() + static_cast<std::ptrdiff_t>(insertAt), added);
  m_modified = true;
  return true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  std::string sectionStorage, keyStorage;
  const std::size_t i = FindSection(NormalizedName(section, sectionStorage));
  if (i == kNone) return false;
  const std::string_view keyName = NormalizedName(key, keyStorage);
  Section& target = m_sections[i];
  const std::size_t removed = std::erase_if(target.body, [&](const LineRef& line) {
    const auto entry = ParseEntry(Text(line));
    if (!entry || !EqualsNoCase(entry->key, keyName)) return false;
    DropLine(line);
    return true;
  });
  if (removed == 0) return false;
  m_modified = true;
  return true;
}

bool IniDocument::DeleteSection(std::string_view section) {
  std::string storage;
  const std::string_view name = NormalizedName(section, storage);
  const std::size_t first = FindSection(name);
  if (first == kNone) return false;
  auto remove = [this](Section& target) {
    target.removed = true;
    DropLine(target.header);
    for (const LineRef& line : target.body) DropLine(line);
    target.body.clear();
    target.body.shrink_to_fit();
  };
  if (m_indexBuilt) {
    for (std::size_t i = first; i != kNone;) {
      const std::size_t next = m_sections[i].nextSame;
      remove(m_sections[i]);
      i = next;
    }
    m_index.erase(Fold(name));
  } else {
    for (std::size_t i = first; i < m_sections.size(); ++i) {
      Section& candidate = m_sections[i];
      if (!candidate.removed && EqualsNoCase(Name(candidate), name)) remove(candidate);
    }
  }
  m_modified = true;
  return true;
}

std::vector<std::string> IniDocument::SectionNames() const {
  EnsureIndex();
  std::vector<std::string> names;
  names.reserve(m_index.size());
  for (const Section& section : m_sections) {
    if (!section.removed && !section.duplicate) names.emplace_back(Name(section));
  }
  return names;
}

std::vector<std::string> IniDocument::KeyNames(std::string_view section) const {
  std::string storage;
  const std::size_t i = FindSection(NormalizedName(section, storage));
  std::vector<std::string> names;
  if (i == kNone) return names;
  std::unordered_set<std::string> seen;
  for (const LineRef& line : m_sections[i].body) {
    const auto entry = ParseEntry(Text(line));
    if (entry && seen.insert(Fold(entry->key)).second) names.emplace_back(entry->key);
  }
  return names;
}
