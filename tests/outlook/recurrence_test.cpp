// NextOccurrence on patterns known by Outlook's members alone: the occurrence
// on the scan day or just after it, for each kind of pattern, with the
// series' start, end and count. (Series read from calendar files are held
// against an independent expansion in recurrence_oracle_test.)
#include "outlook/recurrence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/fake_outlook.h"

namespace rn {
namespace {

using test::FakeRecurrence;

// March 2026: Sunday the 1st, so Monday 2, Wednesday 4, Sunday 8, Monday 9 ...
TDateTime Mar(int day, int hour = 0, int minute = 0) {
  return EncodeDateTime(2026, 3, day, hour, minute);
}

constexpr int kSun = 1, kMon = 2, kTue = 4, kWed = 8, kThu = 16, kFri = 32, kSat = 64;
constexpr int kWeekdays = kMon | kTue | kWed | kThu | kFri;

// StartTime carries a date of its own: only its time of day may count.
TDateTime NineOClock() {
  return EncodeDateTime(2001, 5, 17, 9, 0);
}

FakeRecurrence Daily(TDateTime start, int interval, int mask = 0) {
  FakeRecurrence p;
  p.RecurrenceType = 0;
  p.PatternStartDate = start;
  p.Interval = interval;
  p.DayOfWeekMask = mask;
  p.StartTime = NineOClock();
  return p;
}

FakeRecurrence Weekly(TDateTime start, int interval, int mask) {
  FakeRecurrence p = Daily(start, interval, mask);
  p.RecurrenceType = 1;
  return p;
}

FakeRecurrence Monthly(int dayOfMonth) {
  FakeRecurrence p = Daily(Mar(1), 1);
  p.RecurrenceType = 2;
  p.DayOfMonth = dayOfMonth;
  return p;
}

FakeRecurrence Yearly(int month, int dayOfMonth) {
  FakeRecurrence p = Daily(Mar(1), 1);
  p.RecurrenceType = 5;
  p.MonthOfYear = month;
  p.DayOfMonth = dayOfMonth;
  return p;
}

FakeRecurrence Ending(FakeRecurrence p, TDateTime end, int occurrences = 0) {
  p.NoEndDate = false;
  p.PatternEndDate = end;
  p.Occurrences = occurrences;
  return p;
}

FakeRecurrence Every(FakeRecurrence p, TDateTime start, int interval) {
  p.PatternStartDate = start;
  p.Interval = interval;
  return p;
}

// Monthly (3) or, with a month, yearly (6): the instance-th day of the mask.
FakeRecurrence ByWeekday(int type, int mask, int instance, int month = 0) {
  FakeRecurrence p = Daily(EncodeDate(2026, 1, 1), 1, mask);
  p.RecurrenceType = type;
  p.Instance = instance;
  p.MonthOfYear = month;
  return p;
}

FakeRecurrence OfType(int type) {
  FakeRecurrence p = Daily(Mar(1), 1);
  p.RecurrenceType = type;
  p.DayOfMonth = 10;
  p.MonthOfYear = 3;
  return p;
}

struct Case {
  const char* what;
  FakeRecurrence pattern;
  TDateTime D;
  TDateTime expected;  // 0: none
};

TDateTime Nine(TDateTime day) {
  return day + EncodeTime(9, 0);
}

// Built on first use: the date functions are not ready during static
// initialisation of other files.
std::vector<Case> Cases() {
  return {
      // Daily, no day mask.
      {"today's occurrence whose time has passed", Daily(Mar(1), 1), Mar(10, 15), Nine(Mar(10))},
      {"every 2 days from a Monday, D on Thursday", Daily(Mar(2), 2), Mar(5, 10), Nine(Mar(6))},
      {"every 2 days from a Monday, D on Wednesday", Daily(Mar(2), 2), Mar(4, 23), Nine(Mar(4))},
      {"every 3 days, none today or tomorrow", Daily(Mar(2), 3), Mar(6, 10), 0},
      {"series starting tomorrow", Daily(Mar(11), 5), Mar(10, 10), Nine(Mar(11))},
      {"series starting in two days", Daily(Mar(12), 1), Mar(10, 10), 0},
      {"started decades ago, every 7 days", Daily(EncodeDate(1990, 1, 1), 7), Mar(9, 8),
       Nine(Mar(9))},  // 1 January 1990 was a Monday
      {"interval 0 with no end still ends", Daily(Mar(2), 0), Mar(10, 10), Nine(Mar(10))},
      {"negative interval is taken as 1", Daily(Mar(2), -4), Mar(10, 10), Nine(Mar(10))},
      {"three occurrences: the third", Ending(Daily(Mar(2), 1), 0, 3), Mar(4, 10), Nine(Mar(4))},
      {"three occurrences: no fourth", Ending(Daily(Mar(2), 1), 0, 3), Mar(5, 8), 0},
      {"ended before D with no count", Ending(Daily(Mar(2), 1), Mar(9)), Mar(10, 8), 0},
      {"end date without a count bounds by date alone", Ending(Daily(Mar(2), 1), Mar(20)),
       Mar(10, 8), Nine(Mar(10))},

      // Daily with a day mask: the first of today and tomorrow in the mask.
      {"weekdays, D on Friday", Daily(Mar(2), 1, kWeekdays), Mar(6, 10), Nine(Mar(6))},
      {"weekdays, D on Saturday", Daily(Mar(2), 1, kWeekdays), Mar(7, 10), 0},
      {"weekdays, D on Sunday gives Monday", Daily(Mar(2), 1, kWeekdays), Mar(8, 10), Nine(Mar(9))},
      {"weekdays, D the day before the start", Daily(Mar(2), 1, kWeekdays), Mar(1, 10),
       Nine(Mar(2))},
      {"weekdays, D two days before the start", Daily(Mar(3), 1, kWeekdays), Mar(1, 10), 0},
      {"five weekdays: the fifth", Ending(Daily(Mar(2), 1, kWeekdays), 0, 5), Mar(6, 10),
       Nine(Mar(6))},
      {"five weekdays: no sixth", Ending(Daily(Mar(2), 1, kWeekdays), 0, 5), Mar(8, 10), 0},
      {"Saturdays and Sundays from years back", Daily(EncodeDate(2001, 1, 1), 1, kSat | kSun),
       Mar(6, 10), Nine(Mar(7))},

      // Weekly, every 2 weeks on Monday and Wednesday from Wednesday 4 March:
      // 4, 16, 18, 30 March are occurrences; 2 March is before the start and
      // 9, 11, 23, 25 March lie in off weeks.
      {"Mon+Wed/2: start week's Monday is before the start", Weekly(Mar(4), 2, kMon | kWed),
       Mar(1, 10), 0},
      {"Mon+Wed/2: the start day", Weekly(Mar(4), 2, kMon | kWed), Mar(2, 10), Nine(Mar(4))},
      {"Mon+Wed/2: the following week is off", Weekly(Mar(4), 2, kMon | kWed), Mar(8, 10), 0},
      {"Mon+Wed/2: off-week Wednesday", Weekly(Mar(4), 2, kMon | kWed), Mar(10, 10), 0},
      {"Mon+Wed/2: Monday two weeks on", Weekly(Mar(4), 2, kMon | kWed), Mar(14, 10),
       Nine(Mar(16))},
      {"Mon+Wed/2: Wednesday two weeks on", Weekly(Mar(4), 2, kMon | kWed), Mar(17, 10),
       Nine(Mar(18))},
      {"Mon+Wed/2: third week off", Weekly(Mar(4), 2, kMon | kWed), Mar(23, 10), 0},
      {"Mon+Wed/2: fourth week's Monday", Weekly(Mar(4), 2, kMon | kWed), Mar(30, 10),
       Nine(Mar(30))},
      {"weekly Thursday, D on Tuesday looks two days on", Weekly(Mar(5), 1, kThu), Mar(10, 10),
       Nine(Mar(12))},
      {"weekly Friday, three days on is too far", Weekly(Mar(6), 1, kFri), Mar(10, 10), 0},
      {"weekly interval 0 is every week", Weekly(Mar(2), 0, kTue), Mar(17, 10), Nine(Mar(17))},
      {"weekly ended before D with no count", Ending(Weekly(Mar(2), 1, kTue), Mar(9)), Mar(10, 8),
       0},

      // The end date carries no time of day: an occurrence on that day counts.
      {"daily, occurrence on the end day", Ending(Daily(Mar(2), 1), Mar(10)), Mar(10, 8),
       Nine(Mar(10))},
      {"daily, tomorrow is after the end day", Ending(Daily(Mar(2), 2), Mar(9)), Mar(9, 8), 0},
      {"weekly, occurrence on the end day", Ending(Weekly(Mar(2), 1, kTue), Mar(10)), Mar(10, 8),
       Nine(Mar(10))},
      {"weekly, occurrence after the end day", Ending(Weekly(Mar(2), 1, kWed), Mar(10)), Mar(10, 8),
       0},
      {"monthly, occurrence on the end day", Ending(Monthly(10), Mar(10)), Mar(10, 8),
       Nine(Mar(10))},
      {"monthly, occurrence after the end day", Ending(Monthly(11), Mar(10)), Mar(10, 8), 0},

      // Monthly and yearly: today or tomorrow of the same month only.
      {"monthly on the 10th, D on the 10th", Monthly(10), Mar(10, 22), Nine(Mar(10))},
      {"monthly on the 11th, D on the 10th", Monthly(11), Mar(10, 22), Nine(Mar(11))},
      {"monthly on the 1st, D on the month's last day", Monthly(1), Mar(31, 10),
       Nine(EncodeDate(2026, 4, 1))},
      {"monthly on the 1st, D on the 1st", Monthly(1), EncodeDateTime(2026, 4, 1, 6),
       Nine(EncodeDate(2026, 4, 1))},
      {"monthly on the 31st, D on 30 April", Monthly(31), EncodeDateTime(2026, 4, 30, 10), 0},
      {"monthly on the 31st, D on 29 April", Monthly(31), EncodeDateTime(2026, 4, 29, 10), 0},
      {"monthly on the 31st, D on 30 March", Monthly(31), Mar(30, 10), Nine(Mar(31))},
      {"yearly 10 March, D on the day", Yearly(3, 10), Mar(10, 10), Nine(Mar(10))},
      {"yearly 11 March, D the day before", Yearly(3, 11), Mar(10, 10), Nine(Mar(11))},
      {"yearly 29 February, non-leap 28th", Yearly(2, 29), EncodeDateTime(2026, 2, 28, 10), 0},
      {"yearly 29 February, leap-year 28th", Yearly(2, 29), EncodeDateTime(2028, 2, 28, 10),
       EncodeDateTime(2028, 2, 29, 9)},
      {"yearly 1 January, D on 31 December", Yearly(1, 1), EncodeDateTime(2026, 12, 31, 10),
       Nine(EncodeDate(2027, 1, 1))},
      // Interval and start date count for monthly and yearly series too.
      {"every 2 months on the 10th from January", Every(Monthly(10), EncodeDate(2026, 1, 10), 2),
       Mar(10, 8), Nine(Mar(10))},
      {"every 2 months on the 10th from February", Every(Monthly(10), EncodeDate(2026, 2, 10), 2),
       Mar(10, 8), 0},
      {"monthly on the 10th from April", Every(Monthly(10), EncodeDate(2026, 4, 10), 1), Mar(10, 8),
       0},
      {"every 2 years on 10 March from 2025", Every(Yearly(3, 10), EncodeDate(2025, 3, 10), 2),
       Mar(10, 8), 0},

      // By weekday: the second Tuesday, the last Friday, the fourth Thursday of November.
      {"second Tuesday", ByWeekday(3, kTue, 2), Mar(9, 10), Nine(Mar(10))},
      {"second Tuesday, D on the first", ByWeekday(3, kTue, 2), Mar(3, 10), 0},
      {"last Friday", ByWeekday(3, kFri, 5), Mar(27, 10), Nine(Mar(27))},
      {"last Friday, D on the one before", ByWeekday(3, kFri, 5), Mar(20, 10), 0},
      {"first weekday of the month", ByWeekday(3, kWeekdays, 1), Mar(1, 10), Nine(Mar(2))},
      {"fourth Thursday of November", ByWeekday(6, kThu, 4, 11), EncodeDateTime(2026, 11, 26, 7),
       Nine(EncodeDate(2026, 11, 26))},
      {"fourth Thursday of November, the third", ByWeekday(6, kThu, 4, 11),
       EncodeDateTime(2026, 11, 19, 7), 0},

      // A by-weekday kind without days, and a kind Outlook lacks.
      {"monthly by weekday without days", OfType(3), Mar(10, 8), 0},
      {"unknown type", OfType(4), Mar(10, 8), 0},
  };
}

TEST(NextOccurrence, Cases) {
  ASSERT_EQ(DayOfWeek(Mar(1)), 1) << "the table assumes 1 March 2026 is a Sunday";
  for (const Case& c : Cases()) {
    TPatternValues pattern(c.pattern);
    const TDateTime got = NextOccurrence(pattern, c.D, {});
    if (c.expected == 0) {
      EXPECT_EQ(got, 0) << c.what << ": got " << DateTimeText(got);
    } else {
      EXPECT_NEAR(got, c.expected, kOneSecond)
          << c.what << ": got " << DateTimeText(got) << ", expected " << DateTimeText(c.expected);
    }
  }
}

TEST(NextOccurrence, LogsItsKind) {
  const struct {
    FakeRecurrence pattern;
    std::vector<std::string> lines;
  } kinds[] = {
      {Daily(Mar(1), 1), {"Daily Appt"}},
      {Weekly(Mar(1), 1, kMon), {"Weekly Appt"}},
      {Monthly(3), {"Monthly Output"}},
      {Yearly(3, 3), {"Yearly Output"}},
      {ByWeekday(3, kTue, 2), {"Monthly Output"}},
      {ByWeekday(6, kTue, 2, 3), {"Yearly Output"}},
      {OfType(4), {}},
  };
  for (const auto& kind : kinds) {
    std::vector<std::string> lines;
    TPatternValues pattern(kind.pattern);
    NextOccurrence(pattern, Mar(10, 10), [&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(lines, kind.lines);
  }
}

// The daily walk without a day mask jumps close to D instead of stepping from
// the start; it must give what stepping one interval at a time gives.
TDateTime SteppedDaily(const FakeRecurrence& p, TDateTime D) {
  const TDateTime today = DateOf(D);
  const int interval = p.Interval < 1 ? 1 : p.Interval;
  TDateTime c = DateOf(p.PatternStartDate);
  for (int n = 0;; ++n, c += interval) {
    if (c > today + 1)
      return 0;
    if (!p.NoEndDate && p.Occurrences > 0 && n >= p.Occurrences)
      return 0;
    if (c == today || c == today + 1) {
      if (p.PatternEndDate != 0 && DateOf(p.PatternEndDate) < c)
        return 0;
      return c + TimeOf(p.StartTime);
    }
  }
}

TEST(NextOccurrence, DailyJumpAgreesWithStepping) {
  const TDateTime start = EncodeDate(2025, 12, 29);
  for (int interval : {1, 2, 3, 5, 7, 13}) {
    for (int occurrences : {0, 1, 4, 9, 30}) {
      for (int d = -3; d < 80; ++d) {
        FakeRecurrence p = Daily(start, interval);
        if (occurrences > 0)
          p = Ending(p, 0, occurrences);
        const TDateTime D = start + d + 0.75;
        TPatternValues pattern(p);
        EXPECT_NEAR(NextOccurrence(pattern, D, {}), SteppedDaily(p, D), kOneSecond)
            << "interval " << interval << ", occurrences " << occurrences << ", day " << d;
      }
    }
  }
}

TEST(NextOccurrence, ReadFailureReachesTheCaller) {
  test::FakeOutlook outlook;
  test::FakeAppointment appointment;
  appointment.IsRecurring = true;
  appointment.Pattern = Daily(Mar(1), 1);
  appointment.Pattern.Fail = {"PatternStartDate"};
  outlook.Appointments.push_back(appointment);
  auto item = outlook.Connect()
                  ->GetNamespace("MAPI")
                  ->GetDefaultFolder(olFolderCalendar)
                  ->Items()
                  ->Item(1)
                  ->AsAppointment();
  auto pattern = item->GetRecurrencePattern();
  EXPECT_THROW(NextOccurrence(*pattern, Mar(10), {}), EOleError);
}

}  // namespace
}  // namespace rn
