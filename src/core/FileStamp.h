#pragma once
// What tells one state of a file from another without reading it: size, modification and change
// times (nanoseconds) and the file's identity. A copy put back from a backup with its size and
// modification time kept still differs: the system sets the change time of every write and
// rename, and a new file has a new inode. Derived data (counts, an index) is trusted only while
// the stamp it was made from is the file's stamp now.

#include <cstdint>

struct FileStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  std::uint64_t inode = 0;
  std::uint64_t device = 0;
  bool operator==(const FileStamp&) const = default;
};
