#pragma once
// Installs the platform services of a run, all in this one place.

namespace ServiceSetup {

// A run with windows: boxes on screen (or in the QUILLPOST_MESSAGE_LOG file when that variable
// names one), the save dialog, the feed download over Qt.
void InstallDesktop();

// A run without windows: message boxes go to standard error; there is no save dialog.
void InstallHeadless();
// Only the services of the files (no network, desktop or Qt application): a command that reads
// and indexes the data folder, started many times in a row, starts at once.
void InstallFilesOnly();

}  // namespace ServiceSetup
