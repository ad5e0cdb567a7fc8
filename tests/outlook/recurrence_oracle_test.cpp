// Recurring meetings as their calendar has them: each series of the table is
// read by the iCalendar store and asked NextOccurrence for every scan day of
// a span, and the answers are held against python-dateutil's expansion of the
// same text (tests/outlook/recurrence_oracle.py, run at test time), read in
// the zone of Berlin. A moved occurrence is an appointment of its own, so for
// each day the earliest of the series' answer and the overrides that fall in
// the day's window is what the calendar pass would meet.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fakes.h"
#include "outlook/pattern_values.h"
#include "outlook/recurrence.h"
#include "outlook/store_ical.h"

namespace rn {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kLocalZone = "Europe/Berlin";
const fs::path kOracle =
    fs::path(RAVENOTE_TEST_DATA).parent_path() / "outlook" / "recurrence_oracle.py";

struct TOracleCase {
  const char* name;
  std::string master;    // the series' own lines (DTSTART, RRULE, RDATE, EXDATE)
  std::string others;    // further VEVENTs of the file: its overrides
  const char* firstDay;  // YYYYMMDD
  int days;
};

std::string Override(const std::string& lines) {
  return "BEGIN:VEVENT\nUID:series\nDTSTAMP:20260101T000000Z\nSUMMARY:Moved\n" + lines +
         "END:VEVENT\n";
}

std::vector<TOracleCase> Cases() {
  const std::string ny = "DTSTART;TZID=America/New_York:";
  return {
      // Daily.
      {"daily", "DTSTART:20260301T090000\nRRULE:FREQ=DAILY\n", "", "20260225", 20},
      {"daily every 3 days", "DTSTART:20260301T090000\nRRULE:FREQ=DAILY;INTERVAL=3\n", "",
       "20260228", 30},
      {"daily, 10 times", "DTSTART:20260301T090000\nRRULE:FREQ=DAILY;COUNT=10\n", "", "20260301",
       20},
      {"daily until a time before the last day's meeting",
       "DTSTART:20260301T090000\nRRULE:FREQ=DAILY;UNTIL=20260315T085959\n", "", "20260310", 10},
      {"daily until the last day's meeting itself",
       "DTSTART:20260301T090000\nRRULE:FREQ=DAILY;UNTIL=20260315T090000\n", "", "20260310", 10},
      {"all-day, daily until a date",
       "DTSTART;VALUE=DATE:20260301\nRRULE:FREQ=DAILY;UNTIL=20260315\n", "", "20260310", 10},
      {"weekdays by a daily rule",
       "DTSTART:20260302T083000\nRRULE:FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR\n", "", "20260301", 21},
      {"daily in New York through both changes of the clocks",
       ny + "20260301T100000\nRRULE:FREQ=DAILY\n", "", "20260301", 40},
      {"every 7 days since 2015, in New York",
       ny + "20150105T073000\nRRULE:FREQ=DAILY;INTERVAL=7\n", "", "20260301", 30},
      {"daily, 400 times from June 2025", "DTSTART:20250601T180000\nRRULE:FREQ=DAILY;COUNT=400\n",
       "", "20260620", 30},

      // Weekly.
      {"Monday, Wednesday and Friday",
       "DTSTART:20260302T090000\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR\n", "", "20260301", 21},
      {"every 2 weeks on Monday and Sunday, weeks from Monday",
       "DTSTART:20260302T090000\nRRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,SU;WKST=MO\n", "",
       "20260301", 42},
      {"every 2 weeks on Monday and Sunday, weeks from Sunday",
       "DTSTART:20260302T090000\nRRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,SU;WKST=SU\n", "",
       "20260301", 42},
      {"every 3 weeks on Tuesday and Thursday, 8 times",
       "DTSTART:20260303T140000\nRRULE:FREQ=WEEKLY;INTERVAL=3;COUNT=8;BYDAY=TU,TH\n", "",
       "20260301", 70},
      {"weekly in Berlin until a UTC midnight",
       "DTSTART;TZID=Europe/Berlin:20260302T090000\nRRULE:FREQ=WEEKLY;UNTIL=20260330T000000Z\n", "",
       "20260301", 40},
      {"weekly in New York until exactly its last meeting",
       ny + "20260302T100000\nRRULE:FREQ=WEEKLY;UNTIL=20260316T140000Z\n", "", "20260301", 25},
      {"weekly in New York until a second before its last meeting",
       ny + "20260302T100000\nRRULE:FREQ=WEEKLY;UNTIL=20260316T135959Z\n", "", "20260301", 25},
      {"Monday 10:00 in New York, the whole year through",
       ny + "20260105T100000\nRRULE:FREQ=WEEKLY;BYDAY=MO\n", "", "20260101", 365},
      {"Monday 8:00 in Tokyo: Monday 0:00 or 1:00 here",
       "DTSTART;TZID=Asia/Tokyo:20260105T080000\nRRULE:FREQ=WEEKLY\n", "", "20260301", 40},
      {"Monday 6:30 in Tokyo: Sunday evening here",
       "DTSTART;TZID=Asia/Tokyo:20260105T063000\nRRULE:FREQ=WEEKLY\n", "", "20260301", 40},
      {"weekly in Sydney, whose clocks change the other way",
       "DTSTART;TZID=Australia/Sydney:20260302T090000\nRRULE:FREQ=WEEKLY;BYDAY=MO,TH\n", "",
       "20260320", 30},
      {"weekly in UTC", "DTSTART:20260105T080000Z\nRRULE:FREQ=WEEKLY;BYDAY=MO\n", "", "20260315",
       30},
      {"every 2 weeks since 2019 in New York, weeks from Sunday",
       ny + "20190106T190000\nRRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,WE;WKST=SU\n", "", "20260301",
       40},
      {"weekly, two occurrences removed",
       ny + "20260303T100000\nRRULE:FREQ=WEEKLY\nEXDATE;TZID=America/New_York:20260310T100000,"
            "20260324T100000\n",
       "", "20260301", 40},
      {"weekly, one removed in UTC",
       ny + "20260303T100000\nRRULE:FREQ=WEEKLY\nEXDATE:20260317T140000Z\n", "", "20260301", 30},
      {"weekly, its first occurrence removed",
       "DTSTART:20260303T100000\nRRULE:FREQ=WEEKLY\nEXDATE:20260303T100000\n", "", "20260301", 14},
      {"weekly with an extra Thursday",
       "DTSTART:20260303T100000\nRRULE:FREQ=WEEKLY\nRDATE:20260312T153000\n", "", "20260301", 21},
      {"weekly with an occurrence moved and one cancelled",
       ny + "20260303T100000\nRRULE:FREQ=WEEKLY\n",
       Override("RECURRENCE-ID;TZID=America/New_York:20260310T100000\n" + ny +
                "20260311T140000\n") +
           Override("RECURRENCE-ID;TZID=America/New_York:20260317T100000\n" + ny +
                    "20260317T100000\nSTATUS:CANCELLED\n"),
       "20260301", 30},
      {"weekly, an occurrence moved into the week before",
       "DTSTART:20260305T100000\nRRULE:FREQ=WEEKLY;BYDAY=TH\n",
       Override("RECURRENCE-ID:20260319T100000\nDTSTART:20260316T083000\n"), "20260301", 30},
      {"all-day on weekends", "DTSTART;VALUE=DATE:20260307\nRRULE:FREQ=WEEKLY;BYDAY=SA,SU\n", "",
       "20260301", 21},
      {"all-day daily with a day removed",
       "DTSTART;VALUE=DATE:20260301\nRRULE:FREQ=DAILY;COUNT=20\nEXDATE;VALUE=DATE:20260305\n", "",
       "20260301", 25},

      // Monthly.
      {"monthly on the 15th", "DTSTART:20260115T110000\nRRULE:FREQ=MONTHLY;BYMONTHDAY=15\n", "",
       "20260201", 90},
      {"monthly on the last day", "DTSTART:20260131T170000\nRRULE:FREQ=MONTHLY;BYMONTHDAY=-1\n", "",
       "20260201", 120},
      {"monthly on the 31st", "DTSTART:20260131T170000\nRRULE:FREQ=MONTHLY;BYMONTHDAY=31\n", "",
       "20260201", 120},
      {"every 2 months on the 10th",
       "DTSTART:20260110T090000\nRRULE:FREQ=MONTHLY;INTERVAL=2;BYMONTHDAY=10\n", "", "20260201",
       150},
      {"the second Tuesday", "DTSTART:20260113T090000\nRRULE:FREQ=MONTHLY;BYDAY=2TU\n", "",
       "20260201", 90},
      {"the last Friday", "DTSTART:20260130T160000\nRRULE:FREQ=MONTHLY;BYDAY=-1FR\n", "",
       "20260201", 90},
      {"the last weekday",
       "DTSTART:20260130T160000\nRRULE:FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1\n", "",
       "20260201", 90},
      {"the first weekday",
       "DTSTART:20260101T080000\nRRULE:FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=1\n", "",
       "20260201", 90},
      {"the second and the last Tuesday or Thursday",
       "DTSTART:20260108T120000\nRRULE:FREQ=MONTHLY;BYDAY=TU,TH;BYSETPOS=2,-1\n", "", "20260201",
       60},
      {"monthly on the 5th, 5 times", "DTSTART:20260105T090000\nRRULE:FREQ=MONTHLY;COUNT=5\n", "",
       "20260401", 90},
      {"monthly from June", "DTSTART:20260610T090000\nRRULE:FREQ=MONTHLY\n", "", "20260501", 60},
      {"the first Monday since 2010, in New York",
       ny + "20100104T090000\nRRULE:FREQ=MONTHLY;BYDAY=1MO\n", "", "20260201", 90},

      // Yearly.
      {"yearly on 10 March", "DTSTART:20200310T090000\nRRULE:FREQ=YEARLY\n", "", "20260301", 20},
      {"yearly on 29 February", "DTSTART;VALUE=DATE:20240229\nRRULE:FREQ=YEARLY\n", "", "20260225",
       10},
      {"every 2 years on 10 March", "DTSTART:20250310T090000\nRRULE:FREQ=YEARLY;INTERVAL=2\n", "",
       "20260301", 20},
      {"the fourth Thursday of November",
       "DTSTART:20201126T120000\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=4TH\n", "", "20261115", 20},
      {"the last Sunday of March in New York",
       ny + "20200329T100000\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\n", "", "20260320", 15},

      // Dates only.
      {"two added dates and no rule",
       "DTSTART:20260302T090000\nRDATE:20260305T150000,20260310T090000\n", "", "20260301", 15},
  };
}

std::string Calendar(const TOracleCase& c) {
  return "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Ravenote tests//EN\n" +
         std::string("BEGIN:VEVENT\nUID:series\nDTSTAMP:20260101T000000Z\nSUMMARY:") + c.name +
         "\n" + c.master + "END:VEVENT\n" + c.others + "END:VCALENDAR\n";
}

// The contract's look-ahead: D's day and the next, for a weekly series the
// day after next too.
int WindowDays(const TOracleCase& c) {
  return c.master.find("FREQ=WEEKLY") != std::string::npos ? 3 : 2;
}

TDateTime Day(const char* yyyymmdd) {
  int y = 0, m = 0, d = 0;
  std::sscanf(yyyymmdd, "%4d%2d%2d", &y, &m, &d);
  return EncodeDate(y, m, d);
}

std::string Stamp(TDateTime t) {
  if (t == 0)
    return "-";
  const TDateParts p = DecodeDateTime(t + kOneSecond / 2);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d", p.Year, p.Month, p.Day, p.Hour,
                p.Minute, p.Second);
  return buf;
}

// The oracle's answers, one line of day answers per case.
std::vector<std::vector<std::string>> OracleAnswers(const std::vector<TOracleCase>& cases) {
  test::TempFolder tmp;
  {
    std::ofstream in(tmp / "cases");
    for (const TOracleCase& c : cases) {
      const std::string text = Calendar(c);
      const size_t body = text.find("BEGIN:VEVENT");
      in << "CASE " << WindowDays(c) << " " << c.firstDay << " " << c.days << "\n"
         << text.substr(body, text.rfind("END:VCALENDAR") - body) << "END\n";
    }
  }
  const std::string command = std::string(kPython) + " " + kOracle.string() + " " + kLocalZone +
                              " <" + (tmp / "cases").string() + " >" + (tmp / "answers").string() +
                              " 2>" + (tmp / "errors").string();
  const int status = std::system(command.c_str());
  std::ifstream errors(tmp / "errors");
  std::stringstream why;
  why << errors.rdbuf();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the oracle failed (it needs python3-dateutil, which scripts/setup installs):\n"
      << why.str();
  std::vector<std::vector<std::string>> answers;
  std::ifstream out(tmp / "answers");
  for (std::string line; std::getline(out, line);) {
    std::istringstream words(line);
    answers.emplace_back();
    for (std::string w; words >> w;)
      answers.back().push_back(w);
  }
  return answers;
}

TEST(RecurrenceOracle, NextOccurrenceIsTheCalendarsOwnOccurrence) {
  setenv("TZ", kLocalZone, 1);
  tzset();
  const std::vector<TOracleCase> cases = Cases();
  const auto answers = OracleAnswers(cases);
  ASSERT_EQ(answers.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    const TOracleCase& c = cases[i];
    SCOPED_TRACE(c.name);
    ASSERT_EQ(answers[i].size(), static_cast<size_t>(c.days));
    const store::TIcalFile file =
        store::ParseIcal(Calendar(c), store::TIcalWant::Events, c.name, {});
    ASSERT_FALSE(file.Events.empty());
    const int window = WindowDays(c);
    int wrong = 0;
    for (int n = 0; n < c.days; ++n) {
      const TDateTime day = Day(c.firstDay) + n;
      const TDateTime D = day + EncodeTime(10, 0);
      TDateTime first = 0;
      for (const store::TAppointmentData& a : file.Events) {
        TDateTime t = 0;
        if (a.IsRecurring) {
          TPatternValues pattern(a.Pattern);
          t = NextOccurrence(pattern, D, {});
        } else if (DateOf(a.Start) >= day && DateOf(a.Start) < day + window) {
          t = a.Start;
        }
        if (t != 0 && (first == 0 || t < first))
          first = t;
      }
      if (Stamp(first) != answers[i][n] && ++wrong <= 3)
        ADD_FAILURE() << "scan day " << Stamp(day).substr(0, 8) << ": got " << Stamp(first)
                      << ", the calendar has " << answers[i][n];
    }
    EXPECT_EQ(wrong, 0) << "scan days answered wrongly";
  }
}

}  // namespace
}  // namespace rn
