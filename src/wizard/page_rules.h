// The checks and conversions of the wizard's pages that need no widget.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rn {

inline constexpr int kPhoneDigits = 10;
inline constexpr int kReminderPeriods = 4;  // Every Hour, Twice Per Day, Daily, Every Week
inline constexpr int kDailyReminder = 2;

// The digits of a phone field's text, without the mask's punctuation.
std::string PhoneDigits(std::string_view text);
// A number is complete when all ten digit positions hold a digit.
bool IsPhoneNumberComplete(std::string_view text);
// A device address is accepted when it has an "@" anywhere; "@" alone will do.
bool IsDeviceAddress(std::string_view text);
// The carrier item a Service value selects: above the last item, the last
// ("Other (including Text Pagers)").
int CarrierItemOf(uint32_t service);
// The reminder period item a TaskRemindPeriod value selects; -1 for none.
int ReminderPeriodItem(int32_t period);

}  // namespace rn
