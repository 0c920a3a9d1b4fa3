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

}  // namespace mAppFunctions
