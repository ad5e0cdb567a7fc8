// Date-times as the engine keeps them: 8-byte doubles counting days since
// 1899-12-30 in local time, the fraction being the time of day. 0 means "not
// set"; the Outlook store marks a missing date with kNoDate.
#pragma once

#include <ctime>
#include <string>

namespace rn {

using TDateTime = double;

inline constexpr TDateTime kNoDate = 949998.0;  // 1 January 4501
inline constexpr double kOneDay = 1.0;
inline constexpr double kOneHour = 1.0 / 24;
inline constexpr double kOneMinute = 1.0 / 1440;
inline constexpr double kOneSecond = 1.0 / 86400;

struct TDateParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Calendar arithmetic, no time zone involved: the value is a local wall-clock time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second = 0, int millisecond = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
TDateTime EncodeDateTime(const TDateParts& parts);
TDateParts DecodeDateTime(TDateTime value);

// The whole day (floor) and the time of day (fraction) of a value.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);
// Sunday 1 .. Saturday 7.
int DayOfWeek(TDateTime value);
int DaysInMonth(int year, int month);

// Conversions with the system clock's time_t, through the local time zone.
TDateTime FromTimeT(std::time_t seconds, long nanoseconds = 0);
std::time_t ToTimeT(TDateTime value);
TDateTime FromTm(const std::tm& local);
std::tm ToTm(TDateTime value);

// The user's locale formats (setlocale must have been called for anything but "C").
std::string ShortDateText(TDateTime value);  // nl_langinfo(D_FMT)
std::string LongTimeText(TDateTime value);   // nl_langinfo(T_FMT)
std::string DateTimeText(TDateTime value);   // short date, a space, long time

}  // namespace rn
