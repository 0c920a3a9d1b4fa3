#include "sync/SyncFiles.h"

#include "core/AsciiText.h"
#include "core/Services.h"

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

bool Inside(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

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

std::string FolderRefusal(const std::string& folder, const std::string& dataFolder) {
  const fs::path path(folder);
  if (!path.is_absolute()) return "The sync folder must be given as a full path: " + folder;
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return folder + " is not a folder.";
  if (!Services::Environment().IsWritableFolder(folder))
    return "Quillpost cannot write in " + folder + ".";
  const fs::path sync = fs::weakly_canonical(path, ec);
  const fs::path data = fs::weakly_canonical(fs::path(dataFolder), ec);
  if (ec || data.empty()) return "Quillpost's data folder cannot be found.";
  if (Inside(sync, data))
    return "The sync folder must not lie inside Quillpost's data folder (" + data.string() + ").";
  if (Inside(data, sync))
    return "The sync folder must not hold Quillpost's data folder (" + data.string() +
           "): choose a folder of its own for sync, never the data folder itself.";
  return {};
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
