// Placeholder until this file is written.
#include "engine/processor.h"
namespace rn {
void TOutlookProcessor::LoadAll() {}
void TOutlookProcessor::SaveAll() {}
void TOutlookProcessor::LoadNotify() {}
void TOutlookProcessor::LoadTasks() {}
void TOutlookProcessor::LoadEmail() {}
void TOutlookProcessor::SaveNotify() {}
void TOutlookProcessor::SaveTasks() {}
void TOutlookProcessor::SaveEmail() {}
}
