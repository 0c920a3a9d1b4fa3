#include "entry/mMain.h"

#include "config/mSettings.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"

namespace mMain {

const std::string kRefusalText =
    "Previous instance of application is still running. Only one Instance can be executed at a "
    "time. \r\n\r\n"
    "If you don't see any visible instance of application on your screen nor the application "
    "icon in System Notification Area (bottom right corner of screen where clock is displayed) "
    "then it's likely that Previous instance of application is not closed properly. In that "
    "case, please use your Task Manager to \"End Process\" application from list of "
    "\"Processes\". ";

bool IsInIDE() { return false; }

bool IsFirstInstance(const std::string& name) { return Services::InstanceLock().TryAcquire(name); }

bool TakeDataFolder() {
  if (!IsFirstInstance(kInstanceName)) return false;
  // Only now: before the lock, another instance could be halfway through a write.
  mAppFunctions::RemoveStaleTemporaries(mSettings::SettingsFolder());
  return true;
}

bool Main(const std::function<void()>& loadMainWindow) {
  if (!IsInIDE() && !TakeDataFolder()) {
    Services::MessageBox().Show(kRefusalText, kRefusalTitle, Services::vbExclamation);
    return false;
  }
  loadMainWindow();
  return true;
}

}  // namespace mMain
