#include "support/FakeServices.h"

// Each module with program-wide state adds its reset here.
namespace TestSupport {

void ResetProgramState() {}

}  // namespace TestSupport
