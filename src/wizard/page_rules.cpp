#include "wizard/page_rules.h"

#include "shell/carriers.h"

namespace rn {

std::string PhoneDigits(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9')
      digits += c;
  }
  return digits;
}

bool IsPhoneNumberComplete(std::string_view text) {
  return PhoneDigits(text).size() == kPhoneDigits;
}

bool IsDeviceAddress(std::string_view text) {
  return text.find('@') != std::string_view::npos;
}

int CarrierItemOf(uint32_t service) {
  const uint32_t last = CarrierTable.size() - 1;
  return static_cast<int>(service > last ? last : service);
}

int ReminderPeriodItem(int32_t period) {
  return period >= 0 && period < kReminderPeriods ? period : -1;
}

}  // namespace rn
