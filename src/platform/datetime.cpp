#include "platform/datetime.h"

#include <langinfo.h>

#include <cmath>

namespace rn {
namespace {

// Days from 0001-03-01-based civil calendar (Howard Hinnant's algorithm), so
// dates before and after 1899 need no tables.
constexpr long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long yy = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

constexpr long kEpochDays = DaysFromCivil(1899, 12, 30);

std::string Format(const char* format, TDateTime value) {
  std::tm tm = ToTm(value);
  char buffer[128];
  const size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
  return std::string(buffer, n);
}

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
  return static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochDays);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, millisecond);
}

TDateTime EncodeDateTime(const TDateParts& p) {
  return EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
}

TDateParts DecodeDateTime(TDateTime value) {
  TDateParts parts;
  double day = std::floor(value);
  // Round to the millisecond so 10:00 does not come out as 09:59:59.999.
  long long ms = std::llround((value - day) * 86400000.0);
  if (ms >= 86400000LL) {
    ms -= 86400000LL;
    day += 1;
  }
  CivilFromDays(static_cast<long>(day) + kEpochDays, parts.Year, parts.Month, parts.Day);
  parts.Hour = static_cast<int>(ms / 3600000);
  parts.Minute = static_cast<int>(ms / 60000 % 60);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.Millisecond = static_cast<int>(ms % 1000);
  return parts;
}

TDateTime DateOf(TDateTime value) {
  return std::floor(value);
}

TDateTime TimeOf(TDateTime value) {
  return value - std::floor(value);
}

int DayOfWeek(TDateTime value) {
  // 1899-12-30 was a Saturday (7).
  long day = static_cast<long>(std::floor(value));
  long r = ((day + 6) % 7 + 7) % 7;  // 0 = Sunday
  return static_cast<int>(r) + 1;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
    return 29;
  return kDays[(month - 1) % 12];
}

TDateTime FromTm(const std::tm& t) {
  return EncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

std::tm ToTm(TDateTime value) {
  const TDateParts p = DecodeDateTime(value);
  std::tm t{};
  t.tm_year = p.Year - 1900;
  t.tm_mon = p.Month - 1;
  t.tm_mday = p.Day;
  t.tm_hour = p.Hour;
  t.tm_min = p.Minute;
  t.tm_sec = p.Second;
  t.tm_wday = DayOfWeek(value) - 1;
  t.tm_yday = static_cast<int>(std::floor(value) - EncodeDate(p.Year, 1, 1));
  t.tm_isdst = -1;
  return t;
}

TDateTime FromTimeT(std::time_t seconds, long nanoseconds) {
  std::tm local{};
  localtime_r(&seconds, &local);
  return FromTm(local) + nanoseconds / 1e9 / 86400.0;
}

std::time_t ToTimeT(TDateTime value) {
  std::tm t = ToTm(value);
  return std::mktime(&t);
}

std::string ShortDateText(TDateTime value) {
  return Format(nl_langinfo(D_FMT), value);
}

std::string LongTimeText(TDateTime value) {
  return Format(nl_langinfo(T_FMT), value);
}

std::string DateTimeText(TDateTime value) {
  return ShortDateText(value) + " " + LongTimeText(value);
}

}  // namespace rn
