#pragma once
// Where a run begins: the single-instance guard, then the main window.

#include <functional>
#include <string>

namespace mMain {

inline constexpr const char* kInstanceName = "QUILLPOST2710INSTANCE";
inline constexpr const char* kRefusalTitle = "Previous Instance of application is still Running!";
extern const std::string kRefusalText;

// A built program never runs inside a development environment.
bool IsInIDE();
// True when this process now holds the per-session lock of that name.
bool IsFirstInstance(const std::string& name);
// Takes the program's lock and, holding it, removes the temporaries that killed runs left in
// the data and settings folders. False, with nothing removed, when another process holds it.
bool TakeDataFolder();

// Takes the guard and loads the main window. When another instance runs, shows the refusal
// box once, loads nothing and returns false: the caller then ends the process.
bool Main(const std::function<void()>& loadMainWindow);

}  // namespace mMain
