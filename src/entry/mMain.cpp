#include "entry/mMain.h"

#include "config/mSettings.h"
#include "core/Services.h"
#include "core/Timing.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

namespace mMain {

const std::string kRefusalText =
    "Previous instance of application is still running. Only one Instance can be executed at a "
    "time. \r\n\r\n"
    "If you don't see any visible instance of application on your screen nor the application "
    "icon in System Notification Area (bottom right corner of screen where clock is displayed) "
    "then it's likely that Previous instance of application is not closed properly. In that "
    "case, please use your Task Manager to \"End Process\" application from list of "
    "\"Processes\". ";

std::string BusyText() {
  return "Another Quillpost check has been working on the data folder " +
         mAppFunctions::DataFolder() + " for a minute and is not done yet. Please try again later.";
}

std::string LockFile() {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataFolder()) + kInstanceName + ".lock";
}

std::string SocketFile() {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataFolder()) + kInstanceName + ".socket";
}

bool IsInIDE() { return false; }

bool IsFirstInstance(const std::string& lockFile) {
  return Services::InstanceLock().TryAcquire(lockFile);
}

bool TakeDataFolder() {
  if (!mGeneralFunctions::FolderExists(mAppFunctions::DataFolder()))
    mAppFunctions::InitializeDataFolder();
  if (!IsFirstInstance(LockFile())) return false;
  // Only now: before the lock, another instance could be halfway through a write.
  mAppFunctions::RemoveStaleTemporaries(mSettings::SettingsFolder());
  return true;
}

Wait WaitForDataFolder(const std::function<bool()>& readerAnswers) {
  auto& clock = Services::Clock();
  const std::int64_t deadline = clock.NowMs() + Timing::MinuteMs;
  while (!TakeDataFolder()) {
    if (readerAnswers && readerAnswers()) return Wait::ReaderRuns;
    if (clock.NowMs() >= deadline) return Wait::StillHeld;
    clock.Sleep(kWaitStepMs);
  }
  return Wait::Taken;
}

Start Main(const std::function<void()>& loadMainWindow, const std::function<Reader()>& askReader) {
  Reader reader = Reader::None;
  const auto readerRuns = [&] {
    reader = askReader ? askReader() : Reader::None;
    return reader != Reader::None;
  };
  switch (IsInIDE() ? Wait::Taken : WaitForDataFolder(readerRuns)) {
    case Wait::Taken:
      loadMainWindow();
      return Start::Run;
    case Wait::ReaderRuns:
      if (reader == Reader::Answered) return Start::Done;
      Services::MessageBox().Show(kRefusalText, kRefusalTitle, Services::vbExclamation);
      return Start::Refused;
    case Wait::StillHeld:
      Services::MessageBox().Show(BusyText(), kBusyTitle, Services::vbExclamation);
      return Start::Refused;
  }
  return Start::Refused;
}

}  // namespace mMain
