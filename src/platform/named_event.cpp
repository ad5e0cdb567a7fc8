// Placeholder until this file is written.
#include "platform/named_event.h"
namespace rn {
TNamedEvent::TNamedEvent(const std::string& name) : shmName_(name) {}
TNamedEvent::~TNamedEvent() = default;
void TNamedEvent::Set() {}
void TNamedEvent::Reset() {}
bool TNamedEvent::Wait(unsigned) { return false; }
}
