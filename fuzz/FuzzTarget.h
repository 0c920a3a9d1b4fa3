#pragma once
// What every fuzz target does with one input: the fake services with one temporary folder for
// the whole process, fresh program state per input, and an abort (a finding) when the entry
// reports a broken guarantee.

#include "FuzzEntries.h"
#include "support/FakeServices.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace FuzzTarget {

inline int Run(const std::uint8_t* data, std::size_t size, std::string (*entry)(std::string_view)) {
  static TestSupport::FakePlatform platform;
  TestSupport::ResetProgramState();
  platform.messageBox.shown.clear();
  const std::string problem = entry({reinterpret_cast<const char*>(data), size});
  if (!problem.empty()) {
    std::fprintf(stderr, "broken guarantee: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace FuzzTarget
