#include "core/AtomicFile.h"

#include "core/Services.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace AtomicFile {

namespace {
constexpr std::string_view kSuffixCharacters = "0123456789abcdefghijklmnopqrstuvwxyz";

std::string TempNameFor(const fs::path& target) {
  // One per thread: stores and caches replace their files from several.
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::string suffix;
  for (std::size_t i = 0; i < kTempSuffixLength; ++i)
    suffix += kSuffixCharacters[generator() % kSuffixCharacters.size()];
  // Cut long names so that the temporary name still fits the file system's name limit.
  const std::string name = target.filename().string().substr(0, 200);
  return (target.parent_path() / (name + std::string(kTempMarker) + suffix)).string();
}
}  // namespace

bool Replace(const std::string& path, std::string_view content, std::error_code& ec) {
  ec.clear();
  const fs::path target(path);
  std::string temp;
  for (int attempt = 0; attempt < 8; ++attempt) {
    temp = TempNameFor(target);
    if (!fs::exists(temp, ec)) break;
  }
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      ec = std::make_error_code(std::errc::permission_denied);
      if (!fs::exists(target.parent_path().empty() ? fs::path(".") : target.parent_path()))
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
      return false;
    }
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      fs::remove(temp, ignored);
      ec = std::make_error_code(std::errc::no_space_on_device);
      return false;
    }
  }
  if (auto* sync = Services::DiskSync()) sync->Flush(temp);
  // A file that exists keeps its permissions through the replace.
  std::error_code statusError;
  const auto status = fs::status(target, statusError);
  if (!statusError && fs::exists(status)) {
    fs::permissions(temp, status.permissions(), fs::perm_options::replace, statusError);
  }
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  return true;
}

bool IsTemporaryName(std::string_view name) {
  const std::size_t tail = kTempMarker.size() + kTempSuffixLength;
  if (name.size() <= tail) return false;  // the target's own name is never empty
  if (name.substr(name.size() - tail, kTempMarker.size()) != kTempMarker) return false;
  const std::string_view suffix = name.substr(name.size() - kTempSuffixLength);
  return suffix.find_first_not_of(kSuffixCharacters) == std::string_view::npos;
}

void RemoveStaleTemporaries(const std::string& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!IsTemporaryName(it->path().filename().string())) continue;
    // The entry itself, not what a link points to: only our own files go.
    std::error_code statusError;
    if (!fs::is_regular_file(it->symlink_status(statusError)) || statusError) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

}  // namespace AtomicFile
