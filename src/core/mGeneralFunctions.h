#pragma once
// Small operations the whole program shares: paths, files, text files, the version text and
// thin wrappers over desktop services. The reporting ones show the common error report and
// return their default result; the others let errors pass.

#include <cstdint>
#include <string>
#include <system_error>

namespace mGeneralFunctions {

// A run-time error as the common error report shows it.
struct RunError {
  int number = 0;
  std::string description;
};

// Maps a system error onto a report number and a readable description.
RunError ErrorFrom(const std::error_code& ec);

// The common error report: number, " : ", two line breaks, description; information icon.
void ReportError(const RunError& error, const std::string& title = "Error !");
std::string ErrorReportText(const RunError& error);

std::string GetAppDataFolder();
// Appends the path separator unless the path already ends with one; empty stays empty.
std::string AddBackslash(const std::string& path);
bool FileExists(const std::string& path);
// True for a folder, and also for an ordinary file of that name.
bool FolderExists(const std::string& path);
std::string ReadTextFile(const std::string& path);
// Writes the text followed by CR LF, replacing the file atomically.
bool WriteTextFile(const std::string& path, const std::string& text);
// True when the text is empty after removing leading and trailing spaces (spaces only).
bool IsBlank(const std::string& text);

std::string ApplicationBuild(bool withRevision, bool longForm);
// The same for any version numbers; ApplicationBuild uses the program's own.
std::string FormatBuild(int major, int minor, int revision, bool withRevision, bool longForm);

// Hands the target to the desktop; when the desktop cannot open it, a box names it and says why.
void ShellOpen(const std::string& target, std::int32_t ownerWindow = 0);
inline constexpr const char* kCannotOpenTitle = "Cannot open";

inline constexpr std::int32_t FO_DELETE = 3;
inline constexpr std::int32_t FOF_SILENT = 4;
inline constexpr std::int32_t FOF_NOCONFIRMATION = 16;
// Only FO_DELETE is carried out: the source is removed with everything in it. The caller's
// source text gets two NUL characters appended, as the system's callers expect.
void ShellFileOperation(std::string& source, std::string& destination, std::int32_t operation,
                        std::int32_t flags);

void Pause(std::int32_t milliseconds);
bool IsConnected();

}  // namespace mGeneralFunctions
