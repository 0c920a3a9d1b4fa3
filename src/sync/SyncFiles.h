#pragma once
// The sync files as text: their names in the sync folder, their header, the line each action
// takes, the snapshot of a merged state, and reading a file back from where the last read
// stopped.
//
// Each machine writes only its own two files in the folder: quillpost-<machine>.log (appended, an
// action a line) and quillpost-<machine>.snapshot (replaced whole), and reads every other
// machine's. A file sync engine may add conflict copies
// (quillpost-<machine>.sync-conflict-<when>-<who>.log and the like): they are read as well, since
// what they hold is real actions, and reading an action twice changes nothing. Every other name
// (the engines' temporary files, ours, anything the user put there) is left alone. No path is
// ever taken from a file's content: only names listed in the folder itself are read.
//
// A line is fields separated by TAB and ends with LF; inside a field backslash, TAB, CR and LF are
// written \\, \t, \r and \n. The first field names the kind:
//   A stamp link title    subscribed        R stamp link guid    marked read
//   T stamp link title    renamed           U stamp link guid    marked unread
//   X stamp link          unsubscribed      D stamp link guid    deleted
//   P stamp link          source read up to now
//   Q stamp               every source read up to now
//   F stamp name rule query   saved search kept (rule: none, read or delete)
//   G stamp name              saved search removed
// That is a log's form. A snapshot puts a machine number after the stamp and a source number in
// place of the link, both declared before use ("m n id", "s n link"), and ends with "E count".
// A state file (this machine's sync.state) is a snapshot that also lists when messages arrived
// here ("a ms source guid"). Reading a line applies the checks of SyncActions.h; a line that fails
// them is refused on its own, with its reason, and the lines around it still count.

#include "sync/SyncActions.h"
#include "sync/SyncState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Sync {

inline constexpr const char* kFilePrefix = "quillpost-";
std::string LogName(const std::string& machine);
std::string SnapshotName(const std::string& machine);

struct FileName {
  std::string machine;
  bool snapshot = false;
  bool copy = false;  // a conflict copy (or any other copy a sync engine made)
};
// What a name in the sync folder is; nothing for a name that is none of ours.
std::optional<FileName> ClassifyName(const std::string& name);
// Our files among the plain files of the folder (never a link), by name.
std::vector<std::pair<std::string, FileName>> ListSyncFolder(const std::string& folder);

// Every file starts with "QPSYNC <format> <log|snapshot|state> <machine> <nonce> [<token>]": the
// nonce is new for every file written, so a reader can tell an appended file from a replaced one.
inline constexpr int kFormat = 1;
enum class FileType { Log, Snapshot, State };
struct Header {
  FileType type = FileType::Log;
  std::string machine;
  std::string nonce;
  std::string token;  // a snapshot's writer session
};
struct HeaderResult {
  std::optional<Header> header;
  std::string refusal;  // why the file is not read
};
HeaderResult ParseHeader(std::string_view line);
std::string HeaderLine(const Header& header);

// The longest line read.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;

// Field escapes.
void AppendField(std::string& line, std::string_view field);
// Splits a line (without its LF) into its fields; nothing when an escape is not one of the four.
std::optional<std::vector<std::string>> SplitFields(std::string_view line);

// "1796000000000", or "1796000000000.3" with a counter.
std::string StampText(Stamp stamp);
std::optional<Stamp> ParseStamp(std::string_view text);

// The log line of an action, LF included.
std::string LogLine(const Action& action);

// One line of a log or snapshot as read. Exactly one of the members is set.
struct ParsedLine {
  std::optional<Action> action;
  std::string refusal;  // why the line was refused
  // Declarations and markers: a session ("S token"), a snapshot's machine or source number
  // ("m n id", "s n link"), its end ("E count").
  char declaration = 0;
  std::string value;
  std::uint32_t number = 0;
};

// What a file's lines refer to: the machine of a log, or a snapshot's numbered machines and
// sources.
struct LineContext {
  bool snapshot = false;
  std::string machine;  // a log's
  std::vector<std::string> machines;
  std::vector<std::string> links;
};
ParsedLine ParseLine(std::string_view line, const LineContext& context);

// The text of a snapshot (or, with arrivals, of this machine's state file) under the header, in a
// fixed order: the same state always gives the same text.
std::string StateText(const State& state, const Header& header, bool withArrivals);

// How far a file was read: its nonce (a new file has a new one), the bytes and lines read, and
// its size and time then (unchanged: nothing to read).
struct FilePosition {
  std::string nonce;
  std::uint64_t offset = 0;
  std::uint64_t line = 0;
  std::uint64_t size = 0;
  std::int64_t time = 0;
  bool operator==(const FilePosition&) const = default;
};
std::string PositionText(const FilePosition& position);
std::optional<FilePosition> ParsePosition(const std::string& text);

struct FileRead {
  bool unchanged = false;  // size and time as last time: nothing was read
  std::optional<Header> header;
  std::vector<std::string> sessions;  // tokens of a log's "S" lines; a snapshot's writer
  // A state file's arrivals: link, guid, ms.
  struct Arrival {
    std::string link, guid;
    std::int64_t ms = 0;
  };
  std::vector<Arrival> arrivals;
  std::vector<std::string> lines;  // what was refused or skipped, for the report
  std::size_t refused = 0;
  bool complete = true;   // a snapshot without its end line is not: read it again later
  bool failed = false;    // it could not be read (vanished, no permission): read it again later
  FilePosition position;  // where to go on from
};

// Reads the file from where `from` left off (a log that was appended to), else whole, and hands
// each action that passes the checks to onAction. name is how the report names it; expected,
// when given, is what its name says it is, and a header that says otherwise skips it. Lines whose
// end has not arrived yet are left for the next read.
FileRead ReadFile(const std::string& path, const std::string& name,
                  const std::optional<FilePosition>& from, const FileName* expected,
                  const std::function<void(Action&&)>& onAction);

// At most this many report lines per file and read; the rest are counted.
inline constexpr std::size_t kMaxLinesPerFile = 20;

}  // namespace Sync
