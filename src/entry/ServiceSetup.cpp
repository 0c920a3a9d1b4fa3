#include "entry/ServiceSetup.h"

#include "core/PosixServices.h"
#include "core/QtSaveDialog.h"
#include "core/QtServices.h"
#include "core/Timing.h"
#include "entry/MessageLogBox.h"
#include "retrieval/HttpService.h"

#include <cstdlib>
#include <memory>

namespace ServiceSetup {

namespace {

struct Installed {
  QtServices::DesktopMessageBox desktopBox;
  PosixServices::StderrMessageBox stderrBox;
  std::unique_ptr<MessageLogBox> logBox;
  QtServices::DesktopShell shell;
  PosixServices::Environment environment;
  QtServices::DesktopNetworkState network;
  QtServices::DesktopClock clock;
  PosixServices::InstanceLock lock;
  PosixServices::Random random;
  PosixServices::XdgStartup startup;
  PosixServices::DiskSync diskSync;
  PosixServices::FileStamps fileStamps;
  QtServices::DesktopWindowSystem windowSystem;
  QtSaveDialog saveDialog;
};

Installed& Instances() {
  static Installed installed;
  return installed;
}

void InstallCommon() {
  // Only the end-to-end tests shorten the program's minute.
  if (const char* minute = std::getenv(Timing::kTestMinuteVariable); minute && *minute) {
    const long ms = std::strtol(minute, nullptr, 10);
    if (ms >= 100 && ms <= 60'000) Timing::MinuteMs = static_cast<int>(ms);
  }
  auto& s = Instances();
  auto& r = Services::Current();
  r.shell = &s.shell;
  r.environment = &s.environment;
  r.network = &s.network;
  r.clock = &s.clock;
  r.instanceLock = &s.lock;
  r.random = &s.random;
  r.startup = &s.startup;
  r.diskSync = &s.diskSync;
  r.fileStamps = &s.fileStamps;
  r.windowSystem = &s.windowSystem;
  r.http = &HttpService::Shared();
}

}  // namespace

void InstallDesktop() {
  InstallCommon();
  auto& s = Instances();
  Services::Current().messageBox = &s.desktopBox;
  if (const char* log = std::getenv(MessageLogBox::kVariable); log && *log) {
    s.logBox = std::make_unique<MessageLogBox>(log);
    Services::Current().messageBox = s.logBox.get();
  }
  Services::Current().saveDialog = &s.saveDialog;
}

void InstallHeadless() {
  InstallCommon();
  Services::Current().messageBox = &Instances().stderrBox;
}

}  // namespace ServiceSetup
