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

}  // namespace mAppFunctions
