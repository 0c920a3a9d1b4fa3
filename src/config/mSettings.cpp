#include "config/mSettings.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/Services.h"
#include "core/SourceId.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace mSettings {

namespace {

constexpr std::int16_t kMaxTrans = 3;
constexpr std::int16_t kMaxSize = 2;

std::int16_t Clamp(std::int16_t value, std::int16_t low, std::int16_t high) {
  return std::clamp(value, low, high);
}

// Writes may go to a configuration folder that does not exist yet. A configuration base made
// here is private to the user, as the base directory rules ask.
void PrepareFolder() {
  const std::string folder = SettingsFolder();
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return;
  const std::filesystem::path base = std::filesystem::path(folder).parent_path();
  if (!base.empty() && !std::filesystem::exists(base, ec)) {
    if (std::filesystem::create_directories(base, ec))
      std::filesystem::permissions(base, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, ec);
  }
  std::filesystem::create_directories(folder, ec);
}

cINI Accessor(const char* section) {
  cINI ini;
  ini.SetPath(SettingsFile());
  ini.SetSection(section);
  return ini;
}

std::int16_t Read(cINI& ini, const char* key, std::int16_t fallback) {
  ini.SetKey(key);
  return ReadInt16(ini.Value(), fallback);
}

// True when the value was written.
bool Write(cINI& ini, const char* key, std::int16_t value) {
  ini.SetKey(key);
  std::string text = std::to_string(value);
  ini.SetValue(text);
  return ini.Success();
}

}  // namespace

namespace {

// An installed copy lives in PREFIX/lib/quillpost. It keeps its settings with the user even where
// it could write beside itself (as root): a file there would outlive the package's removal.
bool IsInstalledCopy(const std::string& programFolder) {
  const std::filesystem::path folder = std::filesystem::path(programFolder).lexically_normal();
  const std::filesystem::path last = folder.has_filename() ? folder : folder.parent_path();
  return last.filename() == "quillpost" && last.parent_path().filename() == "lib";
}

}  // namespace

std::string SettingsFolder() {
  auto& environment = Services::Environment();
  const std::string program = environment.ProgramFolder();
  if (environment.IsWritableFolder(program) && !IsInstalledCopy(program)) return program;
  const std::string config = environment.ConfigFolder();
  // Nowhere else to go: the write then fails and says where.
  if (config.empty()) return program;
  return mGeneralFunctions::AddBackslash(config) + kConfigFolderName;
}

std::string SettingsFile() {
  return mGeneralFunctions::AddBackslash(SettingsFolder()) + "settings.cfg";
}

std::int16_t ReadInt16(const std::string& text, std::int16_t fallback) {
  // Numbers read as cINI reads them; ones outside 16 bits are clamped rather than dropped.
  const auto value = cINI::ParseWholeNumber(text);
  if (!value) return fallback;
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(
      *value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

void LoadDropBoxSettings() {
  cINI ini = Accessor(kDropBoxSection);
  DropBoxLeft = Read(ini, "left", 0);
  DropBoxTop = Read(ini, "top", 0);
  DropBoxTrans = Clamp(Read(ini, "trans", kDefaultTrans), 0, kMaxTrans);
  DropBoxSize = Clamp(Read(ini, "size", kDefaultSize), 0, kMaxSize);
}

void SaveDropBoxSettings() {
  PrepareFolder();
  cINI ini = Accessor(kDropBoxSection);
  Write(ini, "left", DropBoxLeft);
  Write(ini, "top", DropBoxTop);
  Write(ini, "trans", DropBoxTrans);
  Write(ini, "size", DropBoxSize);
}

void LoadAppSettings(bool& /*updateDialog*/) {
  cINI ini = Accessor(kAppSection);
  WinStartup = Clamp(Read(ini, "winstartup", 0), 0, 1);
}

void SaveAppSettings() {
  PrepareFolder();
  cINI ini = Accessor(kAppSection);
  const bool fileSaved = Write(ini, "winstartup", WinStartup);

  auto& environment = Services::Environment();
  const bool enable = WinStartup != 0;
  const bool registered = SetStartupOption(
      kStartupName, environment.ExecutableName(),
      mGeneralFunctions::AddBackslash(environment.ProgramFolder()), kStartupArguments, enable);

  if (fileSaved && registered) {
    Services::MessageBox().Show(kSavedText, kSavedTitle, Services::vbInformation);
    return;
  }
  // A confirmation here would tell the user something that did not happen.
  std::string text;
  if (!fileSaved) text = "Settings could not be saved to " + SettingsFile() + ".";
  if (!registered) {
    if (!text.empty()) text += "\r\n\r\n";
    text += enable ? "The program could not be registered to start with the session."
                   : "The program's start with the session could not be removed.";
  }
  Services::MessageBox().Show(text, "Settings not saved!", Services::vbExclamation);
}

std::string StartupCommand(const std::string& executableName, const std::string& folder,
                           const std::string& arguments) {
  std::string command = "\"";
  for (char c : mGeneralFunctions::AddBackslash(folder) + executableName) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') command += '\\';
    command += c;
  }
  command += '"';
  if (!mGeneralFunctions::IsBlank(arguments)) command += " " + arguments;
  return command;
}

bool SetStartupOption(const std::string& valueName, const std::string& executableName,
                      const std::string& folder, const std::string& arguments, bool enable) {
  try {
    auto& startup = Services::Startup();
    if (enable)
      return startup.SetCommand(valueName, StartupCommand(executableName, folder, arguments));
    return startup.Remove(valueName);
  } catch (const std::logic_error&) {
    throw;
  } catch (const std::exception& e) {
    Services::MessageBox().Show(e.what(), "Source: SetStartupOption Function",
                                Services::vbCritical);
    return false;
  }
}

bool PicturesAlwaysShown(const std::string& sourceId) {
  if (!SourceId::IsSourceID(sourceId)) return false;
  cINI ini = Accessor(kPicturesSection);
  return Read(ini, sourceId.c_str(), 0) == 1;
}

namespace {

// Stores a source's value in a section of one key per source, or removes the key (value empty)
// and then the section with its last key, so that no empty section is left behind. False when
// the ID is no source ID or settings.cfg could not be written (the user is told so).
bool StoreForSource(const char* section, const std::string& sourceId, std::string value) {
  if (!SourceId::IsSourceID(sourceId)) return false;
  PrepareFolder();
  cINI ini = Accessor(section);
  ini.SetKey(sourceId);
  if (!value.empty()) {
    ini.SetValue(value);
  } else {
    ini.DeleteKey();
    std::error_code error;
    if (ini.Success() && IniDocument::ReadKeyNames(ini.Path(), section, error).empty() && !error)
      ini.DeleteSection();
  }
  if (ini.Success()) return true;
  Services::MessageBox().Show("Settings could not be saved to " + SettingsFile() + ".",
                              "Settings not saved!", Services::vbExclamation);
  return false;
}

}  // namespace

bool SetPicturesAlwaysShown(const std::string& sourceId, bool shown) {
  return StoreForSource(kPicturesSection, sourceId, shown ? "1" : "");
}

int PageZoom(const std::string& sourceId) {
  if (!SourceId::IsSourceID(sourceId)) return kDefaultZoom;
  cINI ini = Accessor(kZoomSection);
  ini.SetKey(sourceId);
  const auto value = cINI::ParseWholeNumber(ini.Value());
  if (!value) return kDefaultZoom;
  return static_cast<int>(std::clamp<std::int64_t>(*value, kZoomSteps.front(), kZoomSteps.back()));
}

bool SetPageZoom(const std::string& sourceId, int percent) {
  percent = std::clamp(percent, kZoomSteps.front(), kZoomSteps.back());
  return StoreForSource(kZoomSection, sourceId,
                        percent == kDefaultZoom ? "" : std::to_string(percent));
}

int ZoomStep(int percent, int direction) {
  if (direction == 0) return kDefaultZoom;
  if (direction > 0) {
    for (const int step : kZoomSteps)
      if (step > percent) return step;
    return kZoomSteps.back();
  }
  for (auto step = kZoomSteps.rbegin(); step != kZoomSteps.rend(); ++step)
    if (*step < percent) return *step;
  return kZoomSteps.front();
}

void LoadSchedulerSettings() {
  cINI ini = Accessor(kSchedulerSection);
  SchedulerInterval = Clamp(Read(ini, "interval", 0), 0, kMaxSchedulerInterval);
  SchedulerAtStart = Clamp(Read(ini, "atstart", 0), 0, 1);
}

bool SaveSchedulerSettings() {
  PrepareFolder();
  cINI ini = Accessor(kSchedulerSection);
  const bool interval = Write(ini, "interval", SchedulerInterval);
  return Write(ini, "atstart", SchedulerAtStart) && interval;
}

void LoadSyncSettings() {
  cINI ini = Accessor(kSyncSection);
  ini.SetKey("folder");
  SyncFolder = ini.Value();
}

bool SaveSyncSettings() {
  cINI ini = Accessor(kSyncSection);
  ini.SetKey("folder");
  if (!SyncFolder.empty()) {
    PrepareFolder();
    std::string folder = SyncFolder;
    ini.SetValue(folder);
    return ini.Success();
  }
  std::error_code error;
  if (!IniDocument::ReadValue(ini.Path(), kSyncSection, "folder", error) && !error) return true;
  ini.DeleteKey();
  if (ini.Success() && IniDocument::ReadKeyNames(ini.Path(), kSyncSection, error).empty() && !error)
    ini.DeleteSection();
  return ini.Success();
}

}  // namespace mSettings
