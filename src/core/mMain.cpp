#include "core/mMain.h"

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

bool Main(const std::function<void()>& loadMainWindow) {
  if (!IsInIDE() && !IsFirstInstance(kInstanceName)) {
    Services::MessageBox().Show(kRefusalText, kRefusalTitle, Services::vbExclamation);
    return false;
  }
  // Only now: before the lock, another instance could be halfway through a write.
  mAppFunctions::RemoveStaleTemporaries();
  loadMainWindow();
  return true;
}

}  // namespace mMain
