#pragma once
#include <string>
#include <string_view>
#include <system_error>

namespace AtomicFile {

// Marker in the names of temporary files, so leftovers of a killed process can be found.
inline constexpr std::string_view kTempMarker = ".qptmp-";

// Replaces (or creates) the file with the given bytes. The bytes go to a temporary file in the
// same folder, which is flushed and renamed over the target: a crash or kill at any moment
// leaves either the old file or the new one, never a torn one. Returns false and sets ec on
// failure; the old file is then untouched and no temporary file is left.
bool Replace(const std::string& path, std::string_view content, std::error_code& ec);

// Removes temporary files that a killed process may have left in the folder.
void RemoveStaleTemporaries(const std::string& folder);

}  // namespace AtomicFile
