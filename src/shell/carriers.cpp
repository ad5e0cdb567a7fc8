// Placeholder until this file is written.
#include "shell/carriers.h"
namespace rn {
std::string DestinationAddress(const TSettingsData&) { return {}; }
}
