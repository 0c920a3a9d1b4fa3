#include "core/Services.h"

#include <chrono>
#include <stdexcept>

namespace Services {

namespace {
Registry g_registry;

template <typename T>
T& Need(T* service, const char* name) {
  if (!service) throw std::logic_error(std::string("platform service not installed: ") + name);
  return *service;
}
}  // namespace

Registry& Current() { return g_registry; }

std::int64_t IClock::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

IHttp::Result IHttp::FetchText(const std::string& url, const std::function<void(int)>& onState) {
  const TransferId id = Start({url, {}, {}}, onState);
  while (!Finished(id)) WaitForAny();
  return Take(id);
}

int DefaultAnswer(int style) {
  const int buttons = style & 7;
  const bool second = (style & vbDefaultButton2) != 0;
  switch (buttons) {
    case 1:
      return second ? vbCancel : vbOK;
    case 4:
      return second ? vbNo : vbYes;
    default:
      return vbOK;
  }
}

IMessageBox& MessageBox() { return Need(g_registry.messageBox, "message box"); }
IShell& Shell() { return Need(g_registry.shell, "shell"); }
IEnvironment& Environment() { return Need(g_registry.environment, "environment"); }
INetworkState& Network() { return Need(g_registry.network, "network state"); }
IClock& Clock() { return Need(g_registry.clock, "clock"); }
IInstanceLock& InstanceLock() { return Need(g_registry.instanceLock, "instance lock"); }
IRandom& Random() { return Need(g_registry.random, "random"); }
IStartup& Startup() { return Need(g_registry.startup, "startup"); }
IFileStamps& FileStamps() { return Need(g_registry.fileStamps, "file stamps"); }
IWindowSystem& WindowSystem() { return Need(g_registry.windowSystem, "window system"); }
IHttp& Http() { return Need(g_registry.http, "http"); }
IProgress& Progress() { return Need(g_registry.progress, "progress"); }
ISaveDialog& SaveDialog() { return Need(g_registry.saveDialog, "save dialog"); }
IDiskSync* DiskSync() { return g_registry.diskSync; }

}  // namespace Services
