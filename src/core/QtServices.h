#pragma once
// The desktop implementations of the platform services, on Qt and POSIX.

#include "core/Services.h"

namespace QtServices {

// Installs every service for a run with windows. A message box log file named by the
// environment variable QUILLPOST_MESSAGE_LOG makes message boxes go there instead of the
// screen (answered with their default button): the end-to-end tests read it.
void InstallDesktop();

// Installs the services for a run without windows: message boxes go to standard error.
void InstallHeadless();

}  // namespace QtServices
