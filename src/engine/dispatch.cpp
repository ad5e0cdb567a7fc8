// Placeholder until this file is written.
#include "engine/processor.h"
namespace rn {
void TOutlookProcessor::HandleNotify() {}
void TOutlookProcessor::HandleTaskNotify() {}
void TOutlookProcessor::MorningFirstMeeting() {}
void TOutlookProcessor::EveningFirstMeeting() {}
void TOutlookProcessor::NotifyEvent(const TEventItem&) {}
void TOutlookProcessor::NotifyEventWithPrefix(const TEventItem&, const std::string&) {}
void TOutlookProcessor::NotifyTask(const TTaskEvent&) {}
}
