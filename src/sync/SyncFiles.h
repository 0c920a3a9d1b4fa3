#pragma once
// The sync folder's files as this program sees them. Each machine writes only its own two:
// quillpost-<machine>.log (appended, an action a line) and quillpost-<machine>.snapshot (replaced
// whole), and reads every other machine's. A file sync engine may add conflict copies
// (quillpost-<machine>.sync-conflict-<when>-<who>.log and the like): they are read as well,
// since what they hold is real actions, and reading an action twice changes nothing. Every other
// name (the engines' temporary files, ours, anything the user put there) is left alone. No path
// is ever taken from a file's content: only names listed in the folder itself are read.

#include "sync/SyncActions.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
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

// Why a folder cannot be the sync folder, for the user; empty when it can. The folder as chosen:
// a full path to a folder that can be written, neither inside the data folder nor holding it.
std::string FolderRefusal(const std::string& folder, const std::string& dataFolder);

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
