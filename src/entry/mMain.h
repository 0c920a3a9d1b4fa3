#pragma once
// Where a run begins: the single-instance guard, then the main window.
//
// The guard is a lock file in the data folder, so every process that works on one data folder
// finds the same lock whatever its environment (a cron job has no session variables). A running
// reader also answers on a socket beside it, through which "--check" asks it to check.

#include <functional>
#include <string>

namespace mMain {

inline constexpr const char* kInstanceName = "QUILLPOST2710INSTANCE";
inline constexpr const char* kRefusalTitle = "Previous Instance of application is still Running!";
extern const std::string kRefusalText;
inline constexpr const char* kBusyTitle = "Quillpost is busy";
// The data folder has been held too long by a process that is not a reader.
std::string BusyText();

// A process holding the data folder without a reader's socket (a headless check) is waited for
// a minute (Timing::MinuteMs): one transfer's time-out.
inline constexpr int kWaitStepMs = 100;

// The lock file and the reader's socket, in the data folder.
std::string LockFile();
std::string SocketFile();

// A built program never runs inside a development environment.
bool IsInIDE();
// True when this process now holds the lock in that file.
bool IsFirstInstance(const std::string& lockFile);
// Takes the program's lock (making the data folder first, as a fresh account has none) and,
// holding it, removes the temporaries that killed runs left in the data and settings folders.
// False, with nothing removed, when another process holds it.
bool TakeDataFolder();
enum class Wait { Taken, ReaderRuns, StillHeld };
// Takes the data folder, waiting while another process holds it: ReaderRuns at once when
// readerAnswers says a reader holds it (it is asked after each refused try), StillHeld after
// a minute.
Wait WaitForDataFolder(const std::function<bool()>& readerAnswers);

// What a start found of a reader holding the data folder: none (its socket does not answer: a
// check without windows, or nothing yet), one that answered the start's request (it shows its
// window), or one that accepts the connection but does not answer within kReaderAnswerMs.
enum class Reader { None, Answered, Silent };
inline constexpr int kReaderAnswerMs = 5'000;

// How a start ends: the main window loaded and runs; nothing to do (the running reader took the
// start over); refused with a box.
enum class Start { Run, Done, Refused };

// Takes the guard and loads the main window. When a reader runs on the data folder, it is asked
// to show its window instead (askReader); only a reader that does not answer gets the refusal
// box. A folder that stays held gets the busy box.
Start Main(const std::function<void()>& loadMainWindow,
           const std::function<Reader()>& askReader = {});

}  // namespace mMain
