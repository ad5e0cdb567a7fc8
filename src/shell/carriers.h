// The carriers whose e-mail-to-SMS gateways the program can address, and the
// composition of every message's destination address.
#pragma once

#include <array>
#include <string>

#include "shell/settings.h"

namespace rn {

struct TCarrier {
  const char* Caption;        // with the toolkit's & accelerator marks
  const char* GatewayDomain;  // empty where the row takes its domain elsewhere
};

struct TCingularRegion {
  const char* Description;
  const char* GatewayDomain;
};

inline constexpr int kCingularService = 1;  // "Cingular Wireless": its regions follow
inline constexpr int kCustomService = 8;    // "Other (including Text Pagers)"

extern const std::array<TCarrier, 9> CarrierTable;
extern const std::array<TCingularRegion, 6> CingularRegions;

// The destination address for these settings; empty when they select none.
std::string DestinationAddress(const TSettingsData& settings);

}  // namespace rn
