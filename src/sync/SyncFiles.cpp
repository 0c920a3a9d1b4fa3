#include "sync/SyncFiles.h"

#include "core/AsciiText.h"
#include "core/Utf8.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace Sync {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxHeaderBytes = 512;

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// Feeds a file's lines, a chunk at a time, to a handler; a line longer than the limit is
// skipped without being held.
class LineReader {
 public:
  // left: how much the file holds past offset, so that a small file gets a small buffer.
  LineReader(std::ifstream& in, std::uint64_t offset, std::uint64_t left)
      : m_in(in),
        m_offset(offset),
        m_chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, left + 1))) {}

  // handler(line) for each complete line, or overlong() for each one past the limit. Returns
  // false on a read error. Afterwards Offset() is where the next read starts.
  template <typename Line, typename Overlong>
  bool Run(Line&& handler, Overlong&& overlong) {
    std::vector<char> buffer(m_chunk);
    std::string pending;
    bool tooLong = false;
    std::uint64_t at = m_offset;  // the file offset of buffer[0]
    while (m_in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
           m_in.gcount() > 0) {
      const std::size_t got = static_cast<std::size_t>(m_in.gcount());
      std::size_t start = 0;
      for (;;) {
        const void* found = std::memchr(buffer.data() + start, '\n', got - start);
        const std::size_t end =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - buffer.data()) : got;
        if (!tooLong) {
          if (pending.size() + (end - start) > kMaxLineBytes) {
            tooLong = true;
            pending.clear();
          } else {
            pending.append(buffer.data() + start, end - start);
          }
        }
        if (!found) break;
        if (tooLong) {
          overlong();
        } else {
          handler(std::string_view(pending));
        }
        pending.clear();
        tooLong = false;
        start = end + 1;
        m_offset = at + start;
      }
      at += got;
    }
    if (m_in.bad()) return false;
    // A line still arriving stays for the next read, unless it is already too long to be one:
    // then the next read starts behind it and skips to the next line end.
    if (tooLong) {
      overlong();
      m_offset = at;
    }
    return true;
  }
  std::uint64_t Offset() const { return m_offset; }

 private:
  std::ifstream& m_in;
  std::uint64_t m_offset;
  std::size_t m_chunk;
};

std::optional<std::uint64_t> Number(std::string_view text, std::uint64_t max) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
}

// Control characters would let a title or name change how a window or a file shows it.
bool HasControl(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

// How many fields follow the stamp (and a snapshot's machine number), link included.
int FieldCount(Kind kind) {
  switch (kind) {
    case Kind::Subscribe:
    case Kind::Rename:
    case Kind::Read:
    case Kind::Unread:
    case Kind::Delete:
      return 2;
    case Kind::Unsubscribe:
    case Kind::ReadUpTo:
    case Kind::SearchRemoved:
      return 1;
    case Kind::ReadAllUpTo:
      return 0;
    case Kind::SearchSaved:
      return 3;
  }
  return -1;
}

std::optional<Kind> KindOf(std::string_view field) {
  if (field.size() != 1) return std::nullopt;
  switch (field[0]) {
    case 'A':
    case 'T':
    case 'X':
    case 'R':
    case 'U':
    case 'D':
    case 'P':
    case 'Q':
    case 'F':
    case 'G':
      return static_cast<Kind>(field[0]);
    default:
      return std::nullopt;
  }
}

ParsedLine Refused(std::string reason) {
  ParsedLine parsed;
  parsed.refusal = std::move(reason);
  return parsed;
}

// A machine's or source's number in a snapshot: one declared before.
std::optional<std::uint32_t> Declared(std::string_view text, std::size_t count) {
  const auto n = Number(text, 0xFFFFFFFFu);
  if (!n || *n >= count) return std::nullopt;
  return static_cast<std::uint32_t>(*n);
}

// Machines are numbered in the order of their identities, so that equal states give equal text.
void AppendWinner(std::string& line, char kind, const Winner& w,
                  const std::vector<std::uint32_t>& numbers) {
  line += kind;
  AppendField(line, StampText(w.stamp));
  AppendField(line, std::to_string(numbers[w.machine]));
}

}  // namespace

std::string LogName(const std::string& machine) { return kFilePrefix + machine + ".log"; }
std::string SnapshotName(const std::string& machine) { return kFilePrefix + machine + ".snapshot"; }

std::optional<FileName> ClassifyName(const std::string& name) {
  const std::string_view prefix = kFilePrefix;
  if (!name.starts_with(prefix) || name.size() < prefix.size() + 32) return std::nullopt;
  FileName result;
  result.machine = name.substr(prefix.size(), 32);
  if (!IsMachineId(result.machine)) return std::nullopt;
  std::string_view rest = std::string_view(name).substr(prefix.size() + 32);
  if (rest.ends_with(".log")) {
    rest.remove_suffix(4);
  } else if (rest.ends_with(".snapshot")) {
    rest.remove_suffix(9);
    result.snapshot = true;
  } else {
    return std::nullopt;
  }
  if (rest.empty()) return result;
  // Syncthing's ".sync-conflict-<date>-<time>-<device>", other engines' "(conflicted copy ...)".
  if (!AsciiText::ContainsNoCase(rest, "conflict")) return std::nullopt;
  result.copy = true;
  return result;
}

std::vector<std::pair<std::string, FileName>> ListSyncFolder(const std::string& folder) {
  std::vector<std::pair<std::string, FileName>> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    // A link could lead anywhere: only plain files of the folder itself are read.
    if (!fs::is_regular_file(it->symlink_status(statusError))) continue;
    std::string name = it->path().filename().string();
    if (std::optional<FileName> what = ClassifyName(name))
      files.emplace_back(std::move(name), *what);
  }
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return files;
}

std::string StampText(Stamp stamp) {
  std::string text = std::to_string(stamp.ms);
  if (stamp.counter) text += "." + std::to_string(stamp.counter);
  return text;
}

std::optional<Stamp> ParseStamp(std::string_view text) {
  const std::size_t dot = text.find('.');
  const auto ms = Number(text.substr(0, dot), kMaxStampMs);
  if (!ms) return std::nullopt;
  Stamp stamp{static_cast<std::int64_t>(*ms), 0};
  if (dot != std::string_view::npos) {
    const auto counter = Number(text.substr(dot + 1), 0xFFFFFFFFu);
    if (!counter || *counter == 0) return std::nullopt;
    stamp.counter = static_cast<std::uint32_t>(*counter);
  }
  return stamp;
}

void AppendField(std::string& line, std::string_view field) {
  line += '\t';
  if (field.find_first_of("\\\t\r\n") == std::string_view::npos) {
    line.append(field);
  } else {
    line.append(AsciiText::Escaped(field));
  }
}

std::optional<std::vector<std::string>> SplitFields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c != '\\') {
      fields.back() += c;
    } else {
      if (++i == line.size()) return std::nullopt;
      switch (line[i]) {
        case '\\':
          fields.back() += '\\';
          break;
        case 't':
          fields.back() += '\t';
          break;
        case 'r':
          fields.back() += '\r';
          break;
        case 'n':
          fields.back() += '\n';
          break;
        default:
          return std::nullopt;
      }
    }
  }
  return fields;
}

std::string LogLine(const Action& action) {
  std::string line(1, static_cast<char>(action.kind));
  AppendField(line, StampText(action.stamp));
  switch (action.kind) {
    case Kind::Subscribe:
    case Kind::Rename:
    case Kind::Read:
    case Kind::Unread:
    case Kind::Delete:
      AppendField(line, action.link);
      AppendField(line, action.text);
      break;
    case Kind::Unsubscribe:
    case Kind::ReadUpTo:
      AppendField(line, action.link);
      break;
    case Kind::ReadAllUpTo:
      break;
    case Kind::SearchSaved:
      AppendField(line, action.text);
      AppendField(line, RuleText(action.rule));
      AppendField(line, action.query);
      break;
    case Kind::SearchRemoved:
      AppendField(line, action.text);
      break;
  }
  line += '\n';
  return line;
}

ParsedLine ParseLine(std::string_view line, const LineContext& context) {
  if (line.size() > kMaxLineBytes)
    return Refused("a line longer than " + std::to_string(kMaxLineBytes) + " bytes");
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // Most lines hold no escape: their fields are views of the line.
  std::optional<std::vector<std::string>> owned;
  std::vector<std::string_view> f;
  if (line.find('\\') == std::string_view::npos) {
    for (std::size_t at = 0;;) {
      const std::size_t tab = line.find('\t', at);
      f.push_back(line.substr(at, tab == std::string_view::npos ? tab : tab - at));
      if (tab == std::string_view::npos) break;
      at = tab + 1;
    }
  } else {
    owned = SplitFields(line);
    if (!owned) return Refused("an unknown escape");
    f.assign(owned->begin(), owned->end());
  }

  // Declarations.
  if (f[0] == "S" && f.size() == 2 && !context.snapshot) {
    if (!IsToken(f[1])) return Refused("a session that is no token");
    ParsedLine parsed;
    parsed.declaration = 'S';
    parsed.value = f[1];
    return parsed;
  }
  if (context.snapshot && (f[0] == "m" || f[0] == "s" || f[0] == "E")) {
    ParsedLine parsed;
    parsed.declaration = f[0][0];
    const std::size_t count = f[0] == "m"   ? context.machines.size()
                              : f[0] == "s" ? context.links.size()
                                            : 0;
    const std::size_t fields = f[0] == "E" ? 2 : 3;
    const auto number = f.size() == fields ? Number(f[1], 0xFFFFFFFFu) : std::nullopt;
    // Numbers are declared in order, so a reader needs no map.
    if (!number || (f[0] != "E" && *number != count)) return Refused("a malformed declaration");
    parsed.number = static_cast<std::uint32_t>(*number);
    if (f[0] == "m") {
      if (!IsMachineId(f[2])) return Refused("a machine that is no identity");
      parsed.value = f[2];
    } else if (f[0] == "s") {
      parsed.value = f[2];
      if (std::string why = CheckLink(parsed.value); !why.empty()) return Refused(why);
    }
    return parsed;
  }

  const std::optional<Kind> kind = KindOf(f[0]);
  if (!kind) {
    std::string name(f[0].substr(0, 16));
    if (Utf8::FirstInvalid(name) != std::string::npos || HasControl(name)) name = "?";
    return Refused("an unknown action \"" + name + "\"");
  }
  const std::size_t before = context.snapshot ? 3 : 2;  // kind, stamp, [machine]
  if (f.size() != before + static_cast<std::size_t>(FieldCount(*kind)))
    return Refused("a " + std::string(f[0]) + " line with " + std::to_string(f.size()) + " fields");
  Action action;
  action.kind = *kind;
  const std::optional<Stamp> stamp = ParseStamp(f[1]);
  if (!stamp) return Refused("a stamp that is no clock reading");
  action.stamp = *stamp;
  if (context.snapshot) {
    const auto machine = Declared(f[2], context.machines.size());
    if (!machine) return Refused("an undeclared machine");
    action.machine = context.machines[*machine];
  } else {
    action.machine = context.machine;
  }
  std::size_t next = before;
  if (IsSourceKind(*kind) || IsMessageKind(*kind)) {
    if (context.snapshot) {
      const auto source = Declared(f[next], context.links.size());
      if (!source) return Refused("an undeclared source");
      action.link = context.links[*source];
    } else {
      action.link = f[next];
      if (std::string why = CheckLink(action.link); !why.empty()) return Refused(why);
    }
    ++next;
  }
  std::string why;
  switch (*kind) {
    case Kind::Subscribe:
    case Kind::Rename:
      action.text = f[next];
      why = CheckTitle(action.text);
      break;
    case Kind::Read:
    case Kind::Unread:
    case Kind::Delete:
      action.text = f[next];
      why = CheckGuid(action.text);
      break;
    case Kind::SearchSaved: {
      action.text = f[next];
      action.query = f[next + 2];
      const std::optional<Archive::Rule> rule = ParseRule(f[next + 1]);
      if (!rule) return Refused("an unknown rule");
      action.rule = *rule;
      why = CheckSearch(action.text, action.query);
      break;
    }
    case Kind::SearchRemoved:
      action.text = f[next];
      why = CheckSearch(action.text, {});
      break;
    case Kind::Unsubscribe:
    case Kind::ReadUpTo:
    case Kind::ReadAllUpTo:
      break;
  }
  if (!why.empty()) return Refused(why);
  ParsedLine parsed;
  parsed.action = std::move(action);
  return parsed;
}

HeaderResult ParseHeader(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const auto split = SplitFields(line.substr(0, 256));
  if (!split || split->size() < 5 || (*split)[0] != "QPSYNC")
    return {std::nullopt, "not a Quillpost sync file"};
  const std::vector<std::string>& f = *split;
  const auto format = Number(f[1], 1'000'000);
  if (!format) return {std::nullopt, "not a Quillpost sync file"};
  if (*format > static_cast<std::uint64_t>(kFormat))
    return {std::nullopt, "written by a newer version of Quillpost (format " + f[1] + ")"};
  Header header;
  if (f[2] == "log") {
    header.type = FileType::Log;
  } else if (f[2] == "snapshot") {
    header.type = FileType::Snapshot;
  } else if (f[2] == "state") {
    header.type = FileType::State;
  } else {
    return {std::nullopt, "not a Quillpost sync file"};
  }
  const std::size_t fields = header.type == FileType::Log ? 5 : 6;
  if (*format != static_cast<std::uint64_t>(kFormat) || f.size() != fields || !IsMachineId(f[3]) ||
      !IsToken(f[4]) || (fields == 6 && !IsToken(f[5])))
    return {std::nullopt, "a damaged header"};
  header.machine = f[3];
  header.nonce = f[4];
  if (fields == 6) header.token = f[5];
  return {std::move(header), {}};
}

std::string HeaderLine(const Header& header) {
  std::string line = "QPSYNC";
  AppendField(line, std::to_string(kFormat));
  AppendField(line, header.type == FileType::Log        ? "log"
                    : header.type == FileType::Snapshot ? "snapshot"
                                                        : "state");
  AppendField(line, header.machine);
  AppendField(line, header.nonce);
  if (header.type != FileType::Log) AppendField(line, header.token);
  line += '\n';
  return line;
}

std::string StateText(const State& state, const Header& header, bool withArrivals) {
  std::string text = HeaderLine(header);
  std::size_t count = 0;
  // Only the machines whose actions are written, numbered in the order of their identities, so
  // that equal states give equal text.
  std::vector<bool> used(state.MachineCount(), false);
  for (const auto& [link, source] : state.Sources()) {
    for (const auto* w : {&source.membership, &source.removal, &source.rename, &source.readUpTo})
      if (*w) used[(*w)->machine] = true;
    for (const auto& [guid, w] : source.marks) used[w.machine] = true;
  }
  if (state.ReadAllUpTo()) used[state.ReadAllUpTo()->machine] = true;
  for (const auto& [name, search] : state.Searches()) used[search.winner.machine] = true;
  std::vector<std::uint32_t> order, numbers(state.MachineCount());
  for (std::uint32_t n = 0; n < state.MachineCount(); ++n)
    if (used[n]) order.push_back(n);
  std::sort(order.begin(), order.end(), [&state](std::uint32_t a, std::uint32_t b) {
    return state.Machine(a) < state.Machine(b);
  });
  for (std::uint32_t n = 0; n < order.size(); ++n) {
    numbers[order[n]] = n;
    text += 'm';
    AppendField(text, std::to_string(n));
    AppendField(text, state.Machine(order[n]));
    text += '\n';
  }
  std::uint32_t number = 0;
  std::vector<std::pair<const std::string*, const Winner*>> marks;
  for (const auto& [link, source] : state.Sources()) {
    const bool hasArrivals = withArrivals && !source.arrivals.empty();
    if (!source.membership && !source.removal && !source.rename && !source.readUpTo &&
        source.marks.empty() && !hasArrivals)
      continue;
    const std::string s = std::to_string(number++);
    text += 's';
    AppendField(text, s);
    AppendField(text, link);
    text += '\n';
    const auto line = [&](char kind, const Winner& w, std::string_view last, bool withLast) {
      AppendWinner(text, kind, w, numbers);
      AppendField(text, s);
      if (withLast) AppendField(text, last);
      text += '\n';
      ++count;
    };
    // The latest unsubscribe first: a subscribe after it then wins when read back.
    if (source.removal) line('X', *source.removal, {}, false);
    if (source.membership && source.membership->kind == Kind::Subscribe)
      line('A', *source.membership, source.addTitle, true);
    if (source.rename) line('T', *source.rename, source.title, true);
    if (source.readUpTo) line('P', *source.readUpTo, {}, false);
    marks.clear();
    for (const auto& [guid, w] : source.marks) marks.emplace_back(&guid, &w);
    std::sort(marks.begin(), marks.end(),
              [](const auto& a, const auto& b) { return *a.first < *b.first; });
    for (const auto& [guid, w] : marks) line(static_cast<char>(w->kind), *w, *guid, true);
    if (hasArrivals) {
      std::vector<std::pair<std::string, std::int64_t>> arrived(source.arrivals.begin(),
                                                                source.arrivals.end());
      std::sort(arrived.begin(), arrived.end());
      for (const auto& [guid, ms] : arrived) {
        text += 'a';
        AppendField(text, std::to_string(ms));
        AppendField(text, s);
        AppendField(text, guid);
        text += '\n';
      }
    }
  }
  if (const std::optional<Winner>& readAll = state.ReadAllUpTo()) {
    AppendWinner(text, 'Q', *readAll, numbers);
    text += '\n';
    ++count;
  }
  for (const auto& [name, search] : state.Searches()) {
    AppendWinner(text, static_cast<char>(search.winner.kind), search.winner, numbers);
    AppendField(text, search.name);
    if (search.winner.kind == Kind::SearchSaved) {
      AppendField(text, RuleText(search.rule));
      AppendField(text, search.query);
    }
    text += '\n';
    ++count;
  }
  text += 'E';
  AppendField(text, std::to_string(count));
  text += '\n';
  return text;
}

std::string PositionText(const FilePosition& p) {
  return (p.nonce.empty() ? std::string("-") : p.nonce) + " " + std::to_string(p.offset) + " " +
         std::to_string(p.line) + " " + std::to_string(p.size) + " " + std::to_string(p.time);
}

std::optional<FilePosition> ParsePosition(const std::string& text) {
  std::istringstream in(text);
  std::string nonce, offset, line, size, time, extra;
  if (!(in >> nonce >> offset >> line >> size >> time) || (in >> extra)) return std::nullopt;
  FilePosition p;
  p.nonce = nonce == "-" ? "" : nonce;
  if (!ParseNumber(offset, p.offset) || !ParseNumber(line, p.line) || !ParseNumber(size, p.size) ||
      !ParseNumber(time, p.time) || (!p.nonce.empty() && !IsToken(p.nonce)))
    return std::nullopt;
  return p;
}

FileRead ReadFile(const std::string& path, const std::string& name,
                  const std::optional<FilePosition>& from, const FileName* expected,
                  const std::function<void(Action&&)>& onAction) {
  FileRead r;
  const auto say = [&](const std::string& text) {
    if (r.lines.size() < kMaxLinesPerFile) r.lines.push_back(name + ": " + text);
  };
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::is_regular_file(status)) {
    r.failed = true;
    say("vanished or not a file; skipped");
    return r;
  }
  r.position.size = fs::file_size(path, ec);
  const auto written = fs::last_write_time(path, ec);
  r.position.time = static_cast<std::int64_t>(written.time_since_epoch().count());
  if (ec) {
    r.failed = true;
    say("vanished while being read; skipped");
    return r;
  }
  if (from && from->size == r.position.size && from->time == r.position.time) {
    r.unchanged = true;
    r.position = *from;
    return r;
  }
  std::ifstream in(path, std::ios::binary);
  std::string first(kMaxHeaderBytes, '\0');
  in.read(first.data(), static_cast<std::streamsize>(first.size()));
  first.resize(static_cast<std::size_t>(in.gcount()));
  if (!in && !in.eof()) {
    r.failed = true;
    say("cannot be read; skipped");
    return r;
  }
  const std::size_t end = first.find('\n');
  if (end == std::string::npos) {
    // A header still arriving is read next time; a long line without end is no header.
    if (first.size() < kMaxHeaderBytes) {
      r.failed = true;
      return r;
    }
    say("skipped: not a Quillpost sync file");
    return r;
  }
  HeaderResult header = ParseHeader(std::string_view(first).substr(0, end));
  const bool wrongType = header.header && expected &&
                         (header.header->machine != expected->machine ||
                          (header.header->type == FileType::Snapshot) != expected->snapshot ||
                          header.header->type == FileType::State);
  if (!header.header || wrongType) {
    say("skipped: " +
        (wrongType ? std::string("its name and its header disagree") : header.refusal));
    return r;
  }
  r.header = *header.header;
  r.position.nonce = r.header->nonce;
  const bool log = r.header->type == FileType::Log;
  std::uint64_t offset = end + 1;
  r.position.line = 1;
  // An appended log is read on from where the last read stopped.
  const bool resume = log && from && from->nonce == r.header->nonce && from->offset >= offset &&
                      from->offset <= r.position.size;
  bool midLine = false;
  if (resume) {
    offset = from->offset;
    r.position.line = from->line;
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset - 1));
    midLine = in.get() != '\n';
  } else {
    if (!log) r.complete = false;
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
  }

  LineContext context;
  context.snapshot = !log;
  context.machine = r.header->machine;
  if (!log && !r.header->token.empty()) r.sessions.push_back(r.header->token);
  std::uint64_t line = r.position.line;
  std::size_t count = 0;
  const auto refuse = [&](const std::string& reason) {
    ++r.refused;
    say("line " + std::to_string(line) + " refused: " + reason);
  };
  LineReader reader(in, offset, r.position.size > offset ? r.position.size - offset : 0);
  const bool ok = reader.Run(
      [&](std::string_view text) {
        ++line;
        if (midLine) {  // the rest of a line refused last time
          midLine = false;
          return;
        }
        if (r.header->type == FileType::State && text.starts_with("a\t")) {
          const auto f = SplitFields(text);
          std::int64_t ms = 0;
          std::uint32_t s = 0;
          if (f && f->size() == 4 && ParseNumber((*f)[1], ms) && ParseNumber((*f)[2], s) &&
              s < context.links.size())
            r.arrivals.push_back({context.links[s], (*f)[3], ms});
          return;
        }
        ParsedLine parsed = ParseLine(text, context);
        if (parsed.action) {
          ++count;
          onAction(std::move(*parsed.action));
        } else if (!parsed.refusal.empty()) {
          ++count;
          refuse(parsed.refusal);
        } else if (parsed.declaration == 'S') {
          r.sessions.push_back(parsed.value);
        } else if (parsed.declaration == 'm') {
          context.machines.push_back(parsed.value);
        } else if (parsed.declaration == 's') {
          context.links.push_back(parsed.value);
        } else if (parsed.declaration == 'E') {
          r.complete = parsed.number == count;
        }
      },
      [&] {
        ++line;
        midLine = false;
        ++count;
        refuse("a line longer than " + std::to_string(kMaxLineBytes) + " bytes");
      });
  if (!ok) {
    r.failed = true;
    say("vanished while being read; read again later");
    return r;
  }
  r.position.offset = reader.Offset();
  r.position.line = line;
  if (!r.complete) say("incomplete (no end line); read again later");
  if (r.refused > r.lines.size())
    r.lines.push_back(name + ": " + std::to_string(r.refused) + " lines refused in all");
  return r;
}

}  // namespace Sync
