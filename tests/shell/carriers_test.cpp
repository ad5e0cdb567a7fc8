#include "shell/carriers.h"

#include <gtest/gtest.h>

namespace rn {
namespace {

TSettingsData Phone(uint8_t service, std::string pin = "5551234567") {
  TSettingsData s;
  s.Service = service;
  s.Pin = std::move(pin);
  s.CustomAddr = "some.region.example";
  s.CustomEmail = "pager@example.com";
  return s;
}

TEST(CarrierDestinationAddress, ComposesTheAddressForEveryService) {
  struct Case {
    TSettingsData settings;
    std::string want;
  } cases[] = {
      {Phone(0), "5551234567@mobile.att.net"},
      {Phone(1), "5551234567@mobile.mycingular.com"},
      {Phone(2), "5551234567@messaging.nextel.com"},
      {Phone(3), "5551234567@primeco.textmsg.com"},
      {Phone(4), "5551234567@messaging.sprintpcs.com"},
      {Phone(5), "5551234567@vtext.com"},
      // VoiceStream and Qwest users entered a phone number too; it goes to
      // their gateway like everyone else's instead of to nobody.
      {Phone(6), "5551234567@voicestream.net"},
      {Phone(7), "5551234567@qwestmp.com"},
      {Phone(8), "pager@example.com"},
      {Phone(9), ""},
      {Phone(200), ""},
      {Phone(255), ""},
      // Used exactly as stored: nothing trimmed, checked or converted.
      {Phone(4, ""), "@messaging.sprintpcs.com"},
      {Phone(5, " 555-123 4567 "), " 555-123 4567 @vtext.com"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DestinationAddress(c.settings), c.want)
        << "Service " << int(c.settings.Service) << ", Pin '" << c.settings.Pin << "'";
  }
}

TEST(CarrierDestinationAddress, CustomEntryIgnoresThePhoneNumber) {
  TSettingsData s = Phone(kCustomService);
  s.CustomEmail = " Text.Pager@Example.COM ";
  EXPECT_EQ(DestinationAddress(s), " Text.Pager@Example.COM ");
  s.CustomEmail.clear();
  EXPECT_EQ(DestinationAddress(s), "");
}

TEST(CarrierDestinationAddress, CingularIgnoresTheChosenRegion) {
  TSettingsData s = Phone(1);
  for (const auto& region : CingularRegions) {
    s.CustomAddr = region.GatewayDomain;
    EXPECT_EQ(DestinationAddress(s), "5551234567@mobile.mycingular.com");
  }
  s.CustomAddr.clear();
  EXPECT_EQ(DestinationAddress(s), "5551234567@mobile.mycingular.com");
}

// The letter after a single &, as the toolkit underlines it; && is a literal &.
char Accelerator(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&')
      continue;
    if (caption[i + 1] != '&')
      return caption[i + 1];
    ++i;
  }
  return 0;
}

TEST(CarrierTable, ListsTheNineProvidersWithTheirAccelerators) {
  const char* captions[] = {"&AT&&T Wireless",
                            "&Cingular Wireless",
                            "&Nextel",
                            "&PrimeCo",
                            "&Sprint PCS",
                            "&Verizon Wireless",
                            "VoiceS&tream",
                            "&Qwest",
                            "&Other (including Text Pagers)"};
  const std::string accelerators = "ACNPSVtQO";
  ASSERT_EQ(CarrierTable.size(), 9u);
  for (size_t i = 0; i < CarrierTable.size(); ++i) {
    EXPECT_STREQ(CarrierTable[i].Caption, captions[i]) << i;
    EXPECT_EQ(Accelerator(CarrierTable[i].Caption), accelerators[i]) << i;
  }
  EXPECT_EQ(Accelerator("&AT&&T Wireless"), 'A');
}

TEST(CarrierCingularRegions, ListsTheSixRegionsAtOneGateway) {
  const char* descriptions[] = {
      "Alabama, Florida, Georgia, Indiana, Kentucky and Louisiana",
      "Mississippi, North Carolina, South Carolina and Tennesse",
      "Houston, Texas",
      "Michigan, Ohio and Wisconsin",
      "Delaware, New Jersey and Pennsylvania",
      "All other states and All other cities in Texas, excluding Houston",
  };
  ASSERT_EQ(CingularRegions.size(), 6u);
  for (size_t i = 0; i < CingularRegions.size(); ++i) {
    EXPECT_STREQ(CingularRegions[i].Description, descriptions[i]) << i;
    EXPECT_STREQ(CingularRegions[i].GatewayDomain, "mobile.mycingular.com") << i;
  }
}

}  // namespace
}  // namespace rn
