#pragma once
// The platform services that need Qt: message boxes on screen, opening documents and addresses
// with the desktop, the online test, letting window events run, and window translucency. The
// save dialog is QtSaveDialog.h's; the entry installs them all.

#include "core/Services.h"

namespace QtServices {

class DesktopMessageBox : public Services::IMessageBox {
 public:
  int Show(const std::string& text, const std::string& title, int style) override;
};

// Hands targets to xdg-open, as Qt itself does on a Linux desktop, but runs it directly: its exit
// status is the only sign that no program took the target. Without xdg-open, Qt's own search.
class DesktopShell : public Services::IShell {
 public:
  void Open(const std::string& target, const FailureHandler& onFailure) override;
};

// Qt's reachability where a backend exists, else "an interface other than loopback is up".
class DesktopNetworkState : public Services::INetworkState {
 public:
  bool IsConnected() override;

 private:
  bool m_triedBackend = false;
};

class DesktopClock : public Services::IClock {
 public:
  void Sleep(int milliseconds) override;
  void ProcessEvents() override;
  // How many ProcessEvents calls are under way: events handled meanwhile interrupt some other
  // work, which must not be held up by what they start.
  static int Depth();
};

class DesktopWindowSystem : public Services::IWindowSystem {
 public:
  // Not on Wayland: compositors there take no opacity from a program.
  bool OpacitySupported() override;
};

}  // namespace QtServices
