// Placeholder until this file is written.
#include "engine/processor.h"
namespace rn {
void TOutlookProcessor::CheckNewTasks() {}
}
