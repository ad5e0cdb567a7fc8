// Placeholder until this file is written.
#include "engine/processor.h"
namespace rn {
void TOutlookProcessor::GetCalendarFolder() {}
void TOutlookProcessor::GetTaskFolder() {}
void TOutlookProcessor::GetInboxFolder() {}
}
