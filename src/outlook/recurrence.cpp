// NextOccurrence: the occurrence of a recurring appointment on the scan day or
// just after it. The look-ahead is short on purpose: an occurrence further out
// is found by a later calendar pass, on a later day.
//
// Every occurrence comes from the series as its calendar holds it, walked by
// libical's recurrence iterator (outlook/ical_series.h). A pattern known only
// by Outlook's members is first written as the iCalendar rule they describe.
#include "outlook/recurrence.h"

#include <algorithm>
#include <string>

#include "outlook/ical_series.h"

namespace rn {
namespace {

// The log line of each kind; none for a kind Outlook lacks.
const char* KindLine(int type) {
  switch (type) {
    case 0:
      return "Daily Appt";
    case 1:
      return "Weekly Appt";
    case 2:
    case 3:
      return "Monthly Output";
    case 5:
    case 6:
      return "Yearly Output";
    default:
      return nullptr;
  }
}

// BYDAY of a day mask: Sunday 1, Monday 2, ... Saturday 64.
std::string Weekdays(int mask) {
  static const char* const kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  std::string out;
  for (int day = 0; day < 7; ++day)
    if (mask & (1 << day))
      out += (out.empty() ? "" : ",") + std::string(kDays[day]);
  return out;
}

icaltimetype Floating(TDateTime value, bool endOfDay) {
  const TDateParts p = DecodeDateTime(value);
  icaltimetype t = icaltime_null_time();
  t.year = p.Year, t.month = p.Month, t.day = p.Day;
  t.hour = endOfDay ? 23 : p.Hour;
  t.minute = endOfDay ? 59 : p.Minute;
  t.second = endOfDay ? 59 : p.Second;
  return t;
}

// The series Outlook's members describe, in local time: from PatternStartDate
// at StartTime's time of day (a start that is no occurrence itself), weeks
// beginning on Sunday as Outlook's do, the end date a whole day.
std::shared_ptr<const TRecurrenceSeries> SeriesOfMembers(IRecurrencePattern& p, int type) {
  const int mask = p.DayOfWeekMask() & 0x7F;
  const std::string interval = ";INTERVAL=" + std::to_string(std::max(1, p.Interval()));
  const TDateTime first = DateOf(p.PatternStartDate());
  auto setPosition = [&p] {
    const int instance = p.Instance();
    return ";BYSETPOS=" + std::to_string(instance >= 5 ? -1 : std::max(1, instance));
  };
  std::string rule;
  switch (type) {
    case 0:  // with a day mask: every day of the mask
      rule = mask ? "FREQ=DAILY;BYDAY=" + Weekdays(mask) : "FREQ=DAILY" + interval;
      break;
    case 1:
      rule = "FREQ=WEEKLY" + interval +
             ";BYDAY=" + Weekdays(mask ? mask : 1 << (DayOfWeek(first) - 1));
      break;
    case 2:
      rule = "FREQ=MONTHLY" + interval + ";BYMONTHDAY=" + std::to_string(p.DayOfMonth());
      break;
    case 3:
      if (!mask)
        return nullptr;
      rule = "FREQ=MONTHLY" + interval + ";BYDAY=" + Weekdays(mask) + setPosition();
      break;
    case 5:
      rule = "FREQ=YEARLY" + interval + ";BYMONTH=" + std::to_string(p.MonthOfYear()) +
             ";BYMONTHDAY=" + std::to_string(p.DayOfMonth());
      break;
    case 6:
      if (!mask)
        return nullptr;
      rule = "FREQ=YEARLY" + interval + ";BYMONTH=" + std::to_string(p.MonthOfYear()) +
             ";BYDAY=" + Weekdays(mask) + setPosition();
      break;
    default:
      return nullptr;
  }
  rule += ";WKST=SU";

  const bool noEnd = p.NoEndDate();
  const int occurrences = p.Occurrences();
  const TDateTime end = p.PatternEndDate();
  if (!noEnd && occurrences <= 0 && end == 0)
    return nullptr;  // an end without a date or a count: ended
  if (!noEnd && occurrences > 0)
    rule += ";COUNT=" + std::to_string(occurrences);
  if (end != 0) {
    char until[32];
    const icaltimetype u = Floating(DateOf(end), true);
    std::snprintf(until, sizeof until, ";UNTIL=%04d%02d%02dT235959", u.year, u.month, u.day);
    rule += until;
  }

  TRecurrenceSeries::TParts parts;
  parts.Start.t = Floating(first + TimeOf(p.StartTime()), false);
  parts.StartIsOccurrence = false;
  parts.Rule = rule;
  return std::make_shared<const TRecurrenceSeries>(parts);
}

}  // namespace

TDateTime NextOccurrence(IRecurrencePattern& pattern, TDateTime D, const TLogFunction& log) {
  const int type = pattern.RecurrenceType();
  const char* kind = KindLine(type);
  if (kind && log)
    log(kind);
  std::shared_ptr<const TRecurrenceSeries> series = pattern.Series();
  if (!series && kind)
    series = SeriesOfMembers(pattern, type);
  if (!series)
    return 0;
  const TDateTime today = DateOf(D);
  return series->FirstOccurrence(today, today + (type == 1 ? 2 : 1));
}

}  // namespace rn
