// One libFuzzer target per entry of FuzzEntries.h (QP_FUZZ_ENTRY names it): the fake services
// with one temporary folder for the whole process, fresh program state per input, and an abort
// (a finding) when the entry reports a broken promise.
#include "FuzzEntries.h"
#include "support/FakeServices.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TestSupport::FakePlatform platform;
  TestSupport::ResetProgramState();
  platform.messageBox.shown.clear();
  const std::string problem =
      FuzzEntries::QP_FUZZ_ENTRY({reinterpret_cast<const char*>(data), size});
  if (!problem.empty()) {
    std::fprintf(stderr, "broken guarantee: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
