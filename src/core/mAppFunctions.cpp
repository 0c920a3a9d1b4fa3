#include "core/mAppFunctions.h"

#include "core/AtomicFile.h"
#include "core/Services.h"
#include "core/mGeneralFunctions.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>

#include <filesystem>

namespace mAppFunctions {

namespace fs = std::filesystem;

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

std::string CacheFolder() {
  const std::string cache = Services::Environment().CacheFolder();
  if (cache.empty()) return {};
  // FNV-1a of the path: fixed, so every build finds the same folder.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : DataFolder()) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char name[17];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
  return mGeneralFunctions::AddBackslash(cache) + "Quillpost/" + name;
}

bool PrepareCacheFolder() {
  const std::string folder = CacheFolder();
  if (folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return false;
  // Rewritten at each use: its time is when this data folder was last used.
  return AtomicFile::Replace(mGeneralFunctions::AddBackslash(folder) + kCacheOwnerFile,
                             DataFolder() + "\n", ec);
}

void RemoveStaleCaches() {
  const std::string cache = Services::Environment().CacheFolder();
  if (cache.empty()) return;
  const auto now = fs::file_time_type::clock::now();
  std::error_code ec;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(mGeneralFunctions::AddBackslash(cache) + "Quillpost", ec)) {
    if (!entry.is_directory(ec) || entry.is_symlink(ec)) continue;
    const fs::path owner = entry.path() / kCacheOwnerFile;
    std::ifstream file(owner);
    std::string dataFolder;
    if (!file || !std::getline(file, dataFolder)) continue;
    const auto used = fs::last_write_time(owner, ec);
    if (ec || dataFolder.empty() || fs::exists(dataFolder, ec)) continue;
    if (now - used < std::chrono::hours(24 * kCacheKeepDays)) continue;
    fs::remove_all(entry.path(), ec);
  }
}

void RemoveStaleTemporaries(const std::string& settingsFolder) {
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
