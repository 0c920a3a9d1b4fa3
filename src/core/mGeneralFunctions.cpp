#include "core/mGeneralFunctions.h"

#include "core/AsciiText.h"
#include "core/AtomicFile.h"
#include "core/Services.h"

#include <cerrno>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace mGeneralFunctions {

RunError ErrorFrom(const std::error_code& ec) {
  // Numbers as the system's run-time reports them, so a report reads the same everywhere.
  const int code = ec.value();
  if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
    switch (code) {
      case ENOENT:
        return {53, "File not found"};
      case ENOTDIR:
        return {76, "Path not found"};
      case EACCES:
      case EPERM:
      case EROFS:
        return {70, "Permission denied"};
      case ENOSPC:
      case EDQUOT:
        return {61, "Disk full"};
      case EEXIST:
        return {58, "File already exists"};
      case EISDIR:
        return {75, "Path/File access error"};
      case ENAMETOOLONG:
        return {52, "Bad file name or number"};
      default:
        break;
    }
  }
  return {75, "Path/File access error (" + ec.message() + ")"};
}

std::string ErrorReportText(const RunError& error) {
  return std::to_string(error.number) + " : \r\n\r\n" + error.description;
}

void ReportError(const RunError& error, const std::string& title) {
  Services::MessageBox().Show(ErrorReportText(error), title, Services::vbInformation);
}

std::string GetAppDataFolder() {
  std::string folder = Services::Environment().AppDataFolder();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string AddBackslash(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + '/';
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
    ReportError(ErrorFrom(ec), "Error ! (Source : FileExists)");
    return false;
  }
  return fs::exists(status) && !fs::is_directory(status);
}

bool FolderExists(const std::string& path) {
  std::error_code ec;
  const auto status = fs::status(path, ec);
  if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
    ReportError(ErrorFrom(ec));
    return false;
  }
  return fs::exists(status);
}

std::string ReadTextFile(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    ReportError(ErrorFrom(std::make_error_code(std::errc::is_a_directory)));
    return {};
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const bool missing = !fs::exists(path, ec);
    ReportError(ErrorFrom(std::make_error_code(missing ? std::errc::no_such_file_or_directory
                                                       : std::errc::permission_denied)));
    return {};
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return std::move(buffer).str();
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::error_code ec;
  if (!AtomicFile::Replace(path, text + "\r\n", ec)) {
    ReportError(ErrorFrom(ec));
    return false;
  }
  return true;
}

bool IsBlank(const std::string& text) { return AsciiText::IsBlank(text, " "); }

std::string FormatBuild(int major, int minor, int revision, bool withRevision, bool longForm) {
  const auto padded = [](int number, std::size_t width) {
    std::string digits = std::to_string(number);
    return digits.size() < width ? std::string(width - digits.size(), '0') + digits : digits;
  };
  std::string text = std::to_string(major) + "." + padded(minor, 2);
  if (withRevision) text += (longForm ? "; build: " : ".") + padded(revision, 3);
  return text;
}

std::string ApplicationBuild(bool withRevision, bool longForm) {
  try {
    return FormatBuild(QP_VERSION_MAJOR, QP_VERSION_MINOR, QP_VERSION_REVISION, withRevision,
                       longForm);
  } catch (const std::exception& e) {
    ReportError({7, e.what()}, "Error ! (Source : ApplicationBuild)");
    return {};
  }
}

void ShellOpen(const std::string& target, std::int32_t /*ownerWindow*/) {
  // Without this box a desktop with no program for the address did nothing visible.
  Services::Shell().Open(target, [target](const std::string& reason) {
    Services::MessageBox().Show("The desktop could not open " + target + ":\r\n\r\n" + reason,
                                kCannotOpenTitle, Services::vbOKOnly + Services::vbExclamation);
  });
}

void ShellFileOperation(std::string& source, std::string& destination, std::int32_t operation,
                        std::int32_t /*flags*/) {
  source.append(2, '\0');
  (void)destination;
  if (operation != FO_DELETE) return;
  const std::string path = source.substr(0, source.find('\0'));
  // Never the root or an empty path, whatever a caller hands in.
  if (path.empty() || fs::path(path).relative_path().empty()) return;
  std::error_code ec;
  fs::remove_all(path, ec);
}

void Pause(std::int32_t milliseconds) { Services::Clock().Sleep(milliseconds); }

bool IsConnected() {
  try {
    return Services::Network().IsConnected();
  } catch (const std::logic_error&) {
    throw;
  } catch (const std::exception& e) {
    ReportError({51, e.what()});
    return false;
  }
}

}  // namespace mGeneralFunctions
