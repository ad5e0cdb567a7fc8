// The default calendar, tasks and inbox folders, fetched afresh at the start
// of each pass. An empty answer keeps the folder held; a pass with no folder
// at all fails like any Outlook call, so the loop's handler reconnects.
#include <string>

#include "engine/processor.h"

namespace rn {
namespace {

void GetDefaultFolder(TOutlookProcessor& processor, std::shared_ptr<IMAPIFolder>& held, int folder,
                      const char* what, const char* getting, const char* got) {
  processor.DebugLog(getting);
  const std::shared_ptr<INameSpace> mapi = processor.Application().GetNamespace("MAPI");
  if (!mapi)
    throw EOleError("Outlook gave no MAPI namespace");
  if (std::shared_ptr<IMAPIFolder> found = mapi->GetDefaultFolder(folder))
    held = found;
  if (!held)
    throw EOleError(std::string("Outlook gave no ") + what);
  processor.DebugLog(got);
}

}  // namespace

void TOutlookProcessor::GetCalendarFolder() {
  GetDefaultFolder(*this, CalendarFolder, olFolderCalendar, "calendar folder", "Getting Calendar",
                   "Got Calendar");
}

void TOutlookProcessor::GetTaskFolder() {
  GetDefaultFolder(*this, TaskFolder, olFolderTasks, "tasks folder", "Getting Task Folder",
                   "Got Task Folder");
}

void TOutlookProcessor::GetInboxFolder() {
  GetDefaultFolder(*this, InboxFolder, olFolderInbox, "inbox folder", "Getting Inbox", "Got Inbox");
}

}  // namespace rn
