// Placeholder until this file is written.
#include "engine/processor.h"
namespace rn {
bool TOutlookProcessor::SendNewEmail(const std::string&, const std::string&, const std::string&) { return false; }
void TOutlookProcessor::SendPendingMessage() {}
}
