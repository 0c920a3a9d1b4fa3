#pragma once
// The program's few settings: the drop box's placement, size and transparency, and whether the
// program starts with the user's session. They live in settings.cfg (see SettingsFolder) and in
// these values while the program runs.

#include <array>
#include <cstdint>
#include <string>

namespace mSettings {

// Drop-box left and top edges, in twips (15 to a pixel).
inline std::int16_t DropBoxLeft = 0;
inline std::int16_t DropBoxTop = 0;
// Drop-box transparency index: 0 None, 1 Low, 2 Normal, 3 High.
inline std::int16_t DropBoxTrans = 0;
// Drop-box size index: 0 Small, 1 Normal, 2 Large.
inline std::int16_t DropBoxSize = 0;
// The Preferences check box: 1 when the program starts with the session.
inline std::int16_t WinStartup = 0;

// Section, keys and defaults of settings.cfg.
inline constexpr const char* kDropBoxSection = "dropbox";
inline constexpr const char* kAppSection = "app";
inline constexpr std::int16_t kDefaultTrans = 1;
inline constexpr std::int16_t kDefaultSize = 2;

// The name the start-up entry is registered under, and the switch it starts the program with.
inline constexpr const char* kStartupName = "Quillpost";
inline constexpr const char* kStartupArguments = "-s";

inline constexpr const char* kSavedText = "Settings are successfully saved!";
inline constexpr const char* kSavedTitle = "Done!";

// The folder of settings.cfg: the program folder when it can be written (a build folder), else,
// and always for an installed copy (a program folder PREFIX/lib/quillpost), "Quillpost" in the
// user's configuration folder, so that saving is not refused and nothing is left in PREFIX.
std::string SettingsFolder();
// SettingsFolder() + "settings.cfg".
std::string SettingsFile();
inline constexpr const char* kConfigFolderName = "Quillpost";

// A stored number as a 16-bit value: blanks around, an optional sign, digits and an optional
// fraction (rounded half to even); beyond 16 bits it is clamped. Blank or anything else: the
// fallback.
std::int16_t ReadInt16(const std::string& text, std::int16_t fallback);

// Reads left, top, trans and size; missing or blank keys give 0, 0, 1 (Low), 2 (Large). Trans
// and size are indexes of the drop box's menus, so hand-edited values are clamped to them.
void LoadDropBoxSettings();
// Writes left, top, trans and size, in that order. A failed write is not reported.
void SaveDropBoxSettings();

// Reads "winstartup" (0 or 1; missing or blank: 0). The dialog that passes true sets its check
// box from WinStartup afterwards; the flag itself is left as it is.
void LoadAppSettings(bool& updateDialog);
// Writes "winstartup", registers or removes the start-up entry to match it, and confirms. When
// the file or the entry could not be changed the user is told so instead of the confirmation.
void SaveAppSettings();

// The command the session starts: the executable's full path in double quotes, then a blank and
// the arguments unless they are blank. Inside the quotes '"', '`', '$' and '\' get a backslash,
// so the path reads back unchanged from a desktop entry or a shell. No ".exe" is added here.
std::string StartupCommand(const std::string& executableName, const std::string& folder,
                           const std::string& arguments);

// Registers the start-up command under the name (enable) or removes that registration. True
// when that was done; an unexpected error shows "Source: SetStartupOption Function".
bool SetStartupOption(const std::string& valueName, const std::string& executableName,
                      const std::string& folder, const std::string& arguments, bool enable);

// Sources whose remote pictures show without asking: section "pictures", one key per source ID
// holding 1. Any other source's messages load no remote content until the user asks.
inline constexpr const char* kPicturesSection = "pictures";
bool PicturesAlwaysShown(const std::string& sourceId);
// Stores the choice, or removes it. False when the ID is no source ID or settings.cfg could not
// be written (the user is told so).
bool SetPicturesAlwaysShown(const std::string& sourceId, bool shown);

// The zoom of a source's message pages in percent: section "zoom", one key per source ID. It
// belongs to this machine's screen and is never synced. Missing, blank or unreadable: 100;
// anything else is clamped to the steps' range.
inline constexpr const char* kZoomSection = "zoom";
inline constexpr int kDefaultZoom = 100;
inline constexpr std::array kZoomSteps = {25,  33,  50,  67,  75,  80,  90,  100, 110,
                                          125, 150, 175, 200, 250, 300, 400, 500};
int PageZoom(const std::string& sourceId);
// Stores it (100 removes the source's key, and the section with its last key). False when the ID
// is no source ID or settings.cfg could not be written (the user is told so).
bool SetPageZoom(const std::string& sourceId, int percent);
// The next step above (direction > 0) or below (direction < 0) percent, within the steps; 100
// for direction 0.
int ZoomStep(int percent, int direction);

// The automatic check (section "scheduler"): minutes between checks ("interval", 0 = off,
// clamped to 0..1440) and whether to check when the program starts ("atstart", 0 or 1). Missing
// or blank keys read as 0.
inline constexpr const char* kSchedulerSection = "scheduler";
inline constexpr std::int16_t kMaxSchedulerInterval = 1440;
inline std::int16_t SchedulerInterval = 0;
inline std::int16_t SchedulerAtStart = 0;
void LoadSchedulerSettings();
// Writes interval and atstart; false when settings.cfg could not be written.
bool SaveSchedulerSettings();

// The sync folder (section "sync", key "folder"): the path as chosen; empty, the default, is off.
inline constexpr const char* kSyncSection = "sync";
inline std::string SyncFolder;
void LoadSyncSettings();
// Writes the folder; an empty one removes the key, and the section with its last key, so that a
// file that never had sync on stays as it was. False when settings.cfg could not be written.
bool SaveSyncSettings();

}  // namespace mSettings
