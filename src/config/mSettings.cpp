#include "config/mSettings.h"

#include "config/cINI.h"
#include "core/Services.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace mSettings {

namespace {

constexpr std::int16_t kMaxTrans = 3;
constexpr std::int16_t kMaxSize = 2;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::int16_t Clamp(std::int16_t value, std::int16_t low, std::int16_t high) {
  return std::clamp(value, low, high);
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

std::string SettingsFile() {
  return mGeneralFunctions::AddBackslash(Services::Environment().ProgramFolder()) + "settings.cfg";
}

std::int16_t ReadInt16(const std::string& text, std::int16_t fallback) {
  std::size_t pos = 0;
  std::size_t end = text.size();
  while (pos < end && IsSpace(text[pos])) ++pos;
  while (end > pos && IsSpace(text[end - 1])) --end;
  bool negative = false;
  if (pos < end && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';

  // The whole part saturates early: anything past 16 bits is clamped anyway.
  constexpr std::int64_t kSaturated = 1'000'000;
  std::int64_t whole = 0;
  bool anyDigit = false;
  for (; pos < end && IsDigit(text[pos]); ++pos) {
    anyDigit = true;
    whole = std::min(whole * 10 + (text[pos] - '0'), kSaturated);
  }
  // The fraction only decides the rounding: below, at or above one half.
  int half = -1;  // -1 below, 0 exactly one half, 1 above
  if (pos < end && text[pos] == '.') {
    ++pos;
    bool first = true;
    for (; pos < end && IsDigit(text[pos]); ++pos) {
      anyDigit = true;
      const int digit = text[pos] - '0';
      if (first) {
        half = digit > 5 ? 1 : (digit == 5 ? 0 : -1);
        first = false;
      } else if (half == 0 && digit != 0) {
        half = 1;
      }
    }
  }
  if (!anyDigit || pos != end) return fallback;
  if (half > 0 || (half == 0 && whole % 2 == 1)) ++whole;
  const std::int64_t value = negative ? -whole : whole;
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

void LoadDropBoxSettings() {
  cINI ini = Accessor(kDropBoxSection);
  DropBoxLeft = Read(ini, "left", 0);
  DropBoxTop = Read(ini, "top", 0);
  DropBoxTrans = Clamp(Read(ini, "trans", kDefaultTrans), 0, kMaxTrans);
  DropBoxSize = Clamp(Read(ini, "size", kDefaultSize), 0, kMaxSize);
}

void SaveDropBoxSettings() {
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

}  // namespace mSettings
