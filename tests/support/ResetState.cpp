#include "support/FakeServices.h"

#include "core/mAppFunctions.h"
#include "inbox/FeedParser.h"
#include "inbox/mInbox.h"
#include "retrieval/CheckRun.h"
#include "subscriptions/mSubscriptions.h"

// Each module with program-wide state adds its reset here.
namespace TestSupport {

void ResetProgramState() {
  mAppFunctions::DataPath.clear();
  mSubscriptions::CurrentSource = {};
  mSubscriptions::EditedSource = {};
  mInbox::SourceID.clear();
  mInbox::CurrentItem = {};
  mInbox::NewMessageCount = 0;
  mInbox::RunSummary.clear();
  mAppFunctions::CheckQueue.clear();
  mAppFunctions::CheckRunning = false;
}

}  // namespace TestSupport
