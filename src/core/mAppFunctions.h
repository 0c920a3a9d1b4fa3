#pragma once
// The program's data folder.

#include <string>

namespace mAppFunctions {

// The data folder, without a trailing separator; empty until InitializeDataFolder has run.
inline std::string DataPath;

// Sets DataPath and, when the folder is missing, creates it (with any missing parents) and writes
// the initial subscriptions.dat. A folder that cannot be created gives the common error report.
// A folder that exists is left as it is, even without subscriptions.dat.
void InitializeDataFolder();

// DataPath, or while it is still empty the folder InitializeDataFolder would set; creates nothing.
std::string DataFolder();

// Removes the temporary files a killed run may have left: in the data folder, in each folder
// directly inside it (the source folders; linked folders are not followed) and in the given
// folder of the settings file. Only for a process that holds the single-instance lock, since
// another instance may be writing its temporaries right now.
void RemoveStaleTemporaries(const std::string& settingsFolder);

// What Quillpost derives from a data folder (the search index, the unread counts) lives in the
// user's cache folder, apart from the data: $XDG_CACHE_HOME/Quillpost/ and a folder named by a
// digest of the data folder's path. It can always be rebuilt from the data folder. Empty when
// the cache folder is unknown; creates nothing.
std::string CacheFolder();
// The name of the file in it that names its data folder; its time says when it was last used.
inline constexpr const char* kCacheOwnerFile = "datafolder.txt";
// Creates the cache folder with its owner file (or marks it used now). False when it cannot.
bool PrepareCacheFolder();
// Removes the cache folders of data folders that no longer exist and that no program has used
// for kCacheKeepDays. Folders without an owner file are not Quillpost's and stay.
inline constexpr int kCacheKeepDays = 30;
void RemoveStaleCaches();

}  // namespace mAppFunctions
