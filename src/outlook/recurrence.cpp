// NextOccurrence: the occurrence of a recurring appointment on the scan day or
// just after it. The look-ahead is short on purpose: an occurrence further out
// is found by a later calendar pass, on a later day.
//
// Days are compared as whole days throughout: a pattern's end date carries no
// time of day, so an occurrence on that day still counts.
#include "outlook/recurrence.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace rn {
namespace {

constexpr int kAllWeekdays = 0x7F;  // Sunday 1 .. Saturday 64

long DayNumber(TDateTime value) {
  return static_cast<long>(std::floor(value));
}

bool InMask(int mask, long day) {
  return (mask & (1 << (DayOfWeek(static_cast<TDateTime>(day)) - 1))) != 0;
}

// The Sunday that starts the week of `day` (the calendar's default week start).
long WeekStart(long day) {
  return day - (DayOfWeek(static_cast<TDateTime>(day)) - 1);
}

TDateTime At(long day, TDateTime startTime) {
  return static_cast<TDateTime>(day) + TimeOf(startTime);
}

// The number of occurrences a pattern may have; 0 for no limit. An end date
// with no count (a series bounded by date only) leaves the count open: the end
// date itself stops it.
long OccurrenceLimit(IRecurrencePattern& pattern) {
  if (pattern.NoEndDate())
    return 0;
  const int occurrences = pattern.Occurrences();
  return occurrences > 0 ? occurrences : 0;
}

// Daily and weekly: a series that ended before the scan day and has no count.
bool EndedBefore(IRecurrencePattern& pattern, TDateTime D) {
  return DayNumber(pattern.PatternEndDate()) < DayNumber(D) && !pattern.NoEndDate() &&
         pattern.Occurrences() == 0;
}

// Every Interval days from the pattern's start day. Interval 0 (or less) is
// taken as every day, so the series still moves on.
TDateTime DailyEveryInterval(IRecurrencePattern& pattern, TDateTime D) {
  const long interval = std::max(1, pattern.Interval());
  const long limit = OccurrenceLimit(pattern);
  const long today = DayNumber(D);
  long candidate = DayNumber(pattern.PatternStartDate());
  long n = 0;  // 0-based number of the candidate occurrence
  if (candidate < today) {
    // Jump to the first candidate on or after today instead of stepping there.
    n = (today - candidate + interval - 1) / interval;
    candidate += n * interval;
  }
  if (limit > 0 && n >= limit)
    return 0;
  if (candidate == today)
    return At(today, pattern.StartTime());
  if (candidate == today + 1)
    return At(today + 1, pattern.StartTime());
  return 0;
}

// The number of days in [first, last] whose weekday is in the mask.
long MatchingDays(int mask, long first, long last) {
  if (last < first)
    return 0;
  const long total = last - first + 1;
  long count = total / 7 * std::popcount(static_cast<unsigned>(mask & kAllWeekdays));
  for (long day = first + total / 7 * 7; day <= last; ++day) {
    if (InMask(mask, day))
      ++count;
  }
  return count;
}

// Every day whose weekday is in the mask, from the pattern's start day, at
// most `Occurrences` of them when the series has a count.
TDateTime DailyByWeekday(IRecurrencePattern& pattern, TDateTime D) {
  const int mask = pattern.DayOfWeekMask();
  const long limit = OccurrenceLimit(pattern);
  const long first = DayNumber(pattern.PatternStartDate());
  const long today = DayNumber(D);
  for (long day = today; day <= today + 1; ++day) {
    if (day < first || !InMask(mask, day))
      continue;
    if (limit > 0 && MatchingDays(mask, first, day) > limit)
      return 0;
    return At(day, pattern.StartTime());
  }
  return 0;
}

TDateTime Daily(IRecurrencePattern& pattern, TDateTime D, const TLogFunction& log) {
  log("Daily Appt");
  if (EndedBefore(pattern, D))
    return 0;
  if (pattern.DayOfWeekMask() == 0)
    return DailyEveryInterval(pattern, D);
  return DailyByWeekday(pattern, D);
}

// The first of D's day, the next and the one after that falls on a weekday of
// the mask, on or after the start day, in a week of the series: weeks count
// from the week of the start day, every Interval weeks, for all weekdays alike.
TDateTime Weekly(IRecurrencePattern& pattern, TDateTime D, const TLogFunction& log) {
  log("Weekly Appt");
  if (EndedBefore(pattern, D))
    return 0;
  const int mask = pattern.DayOfWeekMask();
  const long interval = std::max(1, pattern.Interval());
  const long first = DayNumber(pattern.PatternStartDate());
  const long firstWeek = WeekStart(first);
  const long today = DayNumber(D);
  for (long day = today; day <= today + 2; ++day) {
    if (day < first || !InMask(mask, day))
      continue;
    const long weeks = (WeekStart(day) - firstWeek) / 7;
    if (weeks % interval == 0)
      return At(day, pattern.StartTime());
  }
  return 0;
}

// The day after D counts only as day d + 1 of D's own month: a series on the
// 31st has no occurrence on the 1st of the month after a 30-day month, and one
// on 29 February none on 1 March.
bool TomorrowIsDay(TDateTime D, int month, int dayOfMonth) {
  const TDateParts tomorrow = DecodeDateTime(DateOf(D) + 1);
  const TDateParts today = DecodeDateTime(DateOf(D));
  return tomorrow.Month == today.Month && tomorrow.Month == month && tomorrow.Day == dayOfMonth;
}

TDateTime Monthly(IRecurrencePattern& pattern, TDateTime D, const TLogFunction& log) {
  log("Monthly Output");
  const TDateParts today = DecodeDateTime(DateOf(D));
  const int dayOfMonth = pattern.DayOfMonth();
  if (dayOfMonth == today.Day)
    return At(DayNumber(D), pattern.StartTime());
  if (TomorrowIsDay(D, today.Month, dayOfMonth))
    return At(DayNumber(D) + 1, pattern.StartTime());
  return 0;
}

TDateTime Yearly(IRecurrencePattern& pattern, TDateTime D, const TLogFunction& log) {
  log("Yearly Output");
  const TDateParts today = DecodeDateTime(DateOf(D));
  const int month = pattern.MonthOfYear();
  const int dayOfMonth = pattern.DayOfMonth();
  if (month == today.Month && dayOfMonth == today.Day)
    return At(DayNumber(D), pattern.StartTime());
  if (TomorrowIsDay(D, month, dayOfMonth))
    return At(DayNumber(D) + 1, pattern.StartTime());
  return 0;
}

}  // namespace

TDateTime NextOccurrence(IRecurrencePattern& pattern, TDateTime D, const TLogFunction& log) {
  const TLogFunction& say = log ? log : TLogFunction([](const std::string&) {});
  TDateTime result = 0;
  switch (pattern.RecurrenceType()) {
    case 0:
      result = Daily(pattern, D, say);
      break;
    case 1:
      result = Weekly(pattern, D, say);
      break;
    case 2:
      result = Monthly(pattern, D, say);
      break;
    case 5:
      result = Yearly(pattern, D, say);
      break;
    default:  // 3 and 6, the by-weekday kinds, and anything unknown
      return 0;
  }
  if (result != 0) {
    const TDateTime end = pattern.PatternEndDate();
    if (end != 0 && DayNumber(end) < DayNumber(result))
      result = 0;
  }
  return result;
}

}  // namespace rn
