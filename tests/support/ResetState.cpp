#include "support/FakeServices.h"

#include "core/mAppFunctions.h"
#include "subscriptions/mSubscriptions.h"

// Each module with program-wide state adds its reset here.
namespace TestSupport {

void ResetProgramState() {
  mAppFunctions::DataPath.clear();
  mSubscriptions::CurrentSource = {};
  mSubscriptions::EditedSource = {};
}

}  // namespace TestSupport
