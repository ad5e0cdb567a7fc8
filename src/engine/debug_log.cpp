// Placeholder until this file is written.
#include "engine/debug_log.h"
namespace rn {
TDebugLog::TDebugLog(std::filesystem::path folder, IClock& clock, std::function<bool()> stop) : folder_(std::move(folder)), clock_(clock), stopRequested_(std::move(stop)) {}
void TDebugLog::DebugLog(const std::string&) noexcept {}
void TDebugLog::Append(const std::string&) {}
void TDebugLog::Dump() {}
}
