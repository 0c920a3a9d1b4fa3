#pragma once
// Installs the platform services of a run, all in this one place.

namespace ServiceSetup {

// A run with windows: boxes on screen (or in the QUILLPOST_MESSAGE_LOG file when that variable
// names one), the save dialog, the feed download over Qt.
void InstallDesktop();

// A run without windows: message boxes go to standard error; there is no save dialog.
void InstallHeadless();

}  // namespace ServiceSetup
