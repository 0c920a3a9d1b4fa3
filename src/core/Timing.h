#pragma once
// What the program counts as a minute: a transfer's time-out, how long a busy data folder or a
// busy reader is waited for, the Scheduler's unit. Only the end-to-end tests shorten it, through
// the environment variable kTestMinuteVariable, so that their waits stay short.

namespace Timing {

inline constexpr const char* kTestMinuteVariable = "QUILLPOST_TEST_MINUTE_MS";
inline int MinuteMs = 60'000;

}  // namespace Timing
