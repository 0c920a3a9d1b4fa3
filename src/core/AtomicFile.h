#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>

namespace AtomicFile {

// Marker in the names of temporary files, so leftovers of a killed process can be found: a
// temporary is named <target name> + marker + kTempSuffixLength characters from 0-9 and a-z.
inline constexpr std::string_view kTempMarker = ".qptmp-";
inline constexpr std::size_t kTempSuffixLength = 10;

// Replaces (or creates) the file with the given bytes. The bytes go to a temporary file in the
// same folder, which is flushed and renamed over the target: a crash or kill at any moment
// leaves either the old file or the new one, never a torn one. Returns false and sets ec on
// failure; the old file is then untouched and no temporary file is left.
bool Replace(const std::string& path, std::string_view content, std::error_code& ec);

// Whether a file name has exactly the form of Replace's temporaries.
bool IsTemporaryName(std::string_view name);

// Removes temporary files that a killed process may have left directly in the folder: regular
// files whose names have the temporary form. Symbolic links (whatever they point to), folders
// and every other name are left alone. Only safe while no other process may be replacing a
// file there.
void RemoveStaleTemporaries(const std::string& folder);

}  // namespace AtomicFile
