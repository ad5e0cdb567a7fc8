// The carrier tables and the composition of the destination address.
#include "shell/carriers.h"

namespace rn {

namespace {
// Every region of Cingular took mail for its phones at one gateway domain.
constexpr const char* kCingularDomain = "mobile.mycingular.com";
}  // namespace

const std::array<TCarrier, 9> CarrierTable = {{
    {"&AT&&T Wireless", "mobile.att.net"},
    {"&Cingular Wireless", ""},
    {"&Nextel", "messaging.nextel.com"},
    {"&PrimeCo", "primeco.textmsg.com"},
    {"&Sprint PCS", "messaging.sprintpcs.com"},
    {"&Verizon Wireless", "vtext.com"},
    {"VoiceS&tream", "voicestream.net"},
    {"&Qwest", "qwestmp.com"},
    {"&Other (including Text Pagers)", ""},
}};

const std::array<TCingularRegion, 6> CingularRegions = {{
    {"Alabama, Florida, Georgia, Indiana, Kentucky and Louisiana", kCingularDomain},
    {"Mississippi, North Carolina, South Carolina and Tennesse", kCingularDomain},
    {"Houston, Texas", kCingularDomain},
    {"Michigan, Ohio and Wisconsin", kCingularDomain},
    {"Delaware, New Jersey and Pennsylvania", kCingularDomain},
    {"All other states and All other cities in Texas, excluding Houston", kCingularDomain},
}};

std::string DestinationAddress(const TSettingsData& settings) {
  const unsigned service = settings.Service;
  if (service == kCustomService)
    return settings.CustomEmail;
  if (service == 1)
    return settings.Pin + "@" + CingularRegions[0].GatewayDomain;
  // VoiceStream and Qwest compose the number at their gateway like the others:
  // the wizard asks those users for a phone number too.
  if (service < CarrierTable.size())
    return settings.Pin + "@" + CarrierTable[service].GatewayDomain;
  return {};
}

}  // namespace rn
