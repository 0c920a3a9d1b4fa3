#include "core/mAppFunctions.h"

#include "core/AtomicFile.h"
#include "core/mGeneralFunctions.h"

#include <filesystem>

namespace mAppFunctions {

namespace {
constexpr const char* kInitialSubscriptionLines[] = {
    R"(<?xml version="1.0" encoding="UTF-8"?>)",
    "<!--",
    "Document   : subscriptions.dat",
    "Author     : Quillpost developers",
    "Description:",
    "    This file saves a complete list of all Messages Sources subscribed",
    "    under Quillpost application.",
    "-->",
    "<sources>",
    "</sources>",
};
}  // namespace

std::string DataFolder() {
  using namespace mGeneralFunctions;
  if (!IsBlank(DataPath)) return DataPath;
  return AddBackslash(GetAppDataFolder()) + "Quillpost Data";
}

void InitializeDataFolder() {
  using namespace mGeneralFunctions;
  DataPath = AddBackslash(GetAppDataFolder()) + "Quillpost Data";
  if (FolderExists(DataPath)) return;

  // A fresh account may not have the application-data folder itself yet.
  std::error_code ec;
  std::filesystem::create_directories(DataPath, ec);
  if (ec) {
    ReportError(ErrorFrom(ec));
    return;
  }
  std::string text;
  for (const char* line : kInitialSubscriptionLines) text += std::string(line) + "\r\n";
  WriteTextFile(AddBackslash(DataPath) + "subscriptions.dat", text);
}

void RemoveStaleTemporaries(const std::string& settingsFolder) {
  namespace fs = std::filesystem;
  const std::string data = DataFolder();
  AtomicFile::RemoveStaleTemporaries(data);
  std::error_code ec;
  for (fs::directory_iterator it(data, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    if (fs::is_directory(it->symlink_status(statusError)) && !statusError)
      AtomicFile::RemoveStaleTemporaries(it->path().string());
  }
  AtomicFile::RemoveStaleTemporaries(settingsFolder.empty() ? "." : settingsFolder);
}

}  // namespace mAppFunctions
