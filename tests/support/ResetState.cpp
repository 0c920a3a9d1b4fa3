#include "support/FakeServices.h"

#include "config/mSettings.h"
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
  mAppFunctions::LastRunEndedMs = 0;
  mSettings::DropBoxLeft = mSettings::DropBoxTop = 0;
  mSettings::DropBoxTrans = mSettings::DropBoxSize = 0;
  mSettings::WinStartup = 0;
  mSettings::SchedulerInterval = mSettings::SchedulerAtStart = 0;
  mSettings::SyncFolder.clear();
}

}  // namespace TestSupport
