#pragma once
// A check of all sources without any window, for cron jobs and timers. It runs the same logic
// as the menu's "Check All Sources"; only the services differ: message boxes go to standard
// error and the summary to standard output. When a reader runs on the data folder it owns the
// inboxes: the check is then asked of it (ForwardedCheck), with the same output and status.

#include "shell/ForwardedCheck.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

namespace HeadlessCheck {

using ForwardedCheck::AllChecked;
using ForwardedCheck::NoRunPossible;
using ForwardedCheck::SomeFailed;

// Sends the request to the reader of the data folder and returns everything it answered until
// it closed the connection; no value when no reader takes the connection.
using AskReader = std::function<std::optional<std::string>(const std::string& request)>;

// Checks every source of the data folder in the subscription file's order; while a reader holds
// the data folder, asks it to. Another headless check holding it is waited for, up to
// a minute (Timing::MinuteMs). With sync on, it merges with the sync folder at its start and
// before and after the run; what a merge skipped goes to debug.
int Run(std::ostream& out, const AskReader& askReader = {},
        const std::function<void(const std::string&)>& debug = {});

// A reader took the request but its answer did not come whole.
extern const char* const kNoAnswerText;

}  // namespace HeadlessCheck
