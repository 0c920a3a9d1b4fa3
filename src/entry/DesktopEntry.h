#pragma once

namespace DesktopEntry {

// The process entry: services, the single-instance guard, then the main window.
int Run(int argc, char** argv);

}  // namespace DesktopEntry
