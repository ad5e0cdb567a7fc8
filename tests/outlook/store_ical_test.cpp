// The iCalendar reader and the task rewrite, case by case, in the time zone
// of New York.
#include "outlook/store_ical.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "fakes.h"
#include "outlook/recurrence.h"

namespace rn::store {
namespace {

namespace fs = std::filesystem;
constexpr double kSecond = 1.0 / 86400;

class IcalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "America/New_York", 1);
    tzset();
  }
  TIcalFile Parse(const std::string& text, TIcalWant want) {
    return ParseIcal(text, want, "test.ics", [this](const std::string& l) { logs.push_back(l); });
  }
  std::vector<std::string> logs;
};

std::string Calendar(const std::string& components) {
  return "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Ravenote tests//EN\n" + components +
         "END:VCALENDAR\n";
}
std::string Event(const std::string& lines, const std::string& summary = "E") {
  return "BEGIN:VEVENT\nUID:" + summary + "\nSUMMARY:" + summary + "\n" + lines + "END:VEVENT\n";
}
std::string Todo(const std::string& lines) {
  return "BEGIN:VTODO\nUID:t-1\nSUMMARY:T\n" + lines + "END:VTODO\n";
}
std::string Alarm(const std::string& trigger) {
  return "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:a\n" + trigger + "END:VALARM\n";
}

TEST_F(IcalTest, RecurrenceRulesAsOutlookPatterns) {
  // All from Monday 7 December 2026, 9:30 (floating).
  struct Case {
    const char* rule;
    int type, mask, dayOfMonth, monthOfYear, interval, occurrences;
    bool noEnd;
    TDateTime end;
  } cases[] = {
      {"FREQ=DAILY", 0, 0, 7, 12, 1, 0, true, 0},
      {"FREQ=DAILY;INTERVAL=2;COUNT=5", 0, 0, 7, 12, 2, 5, false, EncodeDate(2026, 12, 15)},
      {"FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR;UNTIL=20261211T235959", 0, 62, 7, 12, 1, 5, false,
       EncodeDate(2026, 12, 11)},
      // A weekly rule without BYDAY repeats on the start's weekday.
      {"FREQ=WEEKLY", 1, 2, 7, 12, 1, 0, true, 0},
      {"FREQ=WEEKLY;BYDAY=MO,TH;COUNT=4", 1, 2 | 16, 7, 12, 1, 4, false, EncodeDate(2026, 12, 17)},
      {"FREQ=WEEKLY;UNTIL=20261221T093000", 1, 2, 7, 12, 1, 3, false, EncodeDate(2026, 12, 21)},
      {"FREQ=MONTHLY;BYMONTHDAY=7", 2, 0, 7, 12, 1, 0, true, 0},
      {"FREQ=MONTHLY", 2, 0, 7, 12, 1, 0, true, 0},
      {"FREQ=MONTHLY;BYDAY=1MO", 3, 2, 7, 12, 1, 0, true, 0},
      {"FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=7;INTERVAL=2", 5, 0, 7, 12, 2, 0, true, 0},
      {"FREQ=YEARLY;BYMONTH=12;BYDAY=1MO", 6, 2, 7, 12, 1, 0, true, 0},
      {"FREQ=HOURLY;COUNT=3", -1, 0, 7, 12, 1, 3, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    auto file =
        Parse(Calendar(Event("DTSTART:20261207T093000\nRRULE:" + std::string(c.rule) + "\n")),
              TIcalWant::Events);
    ASSERT_EQ(file.Events.size(), 1u);
    const TAppointmentData& a = file.Events[0];
    EXPECT_TRUE(a.IsRecurring);
    TPatternValues p(a.Pattern);
    EXPECT_EQ(p.RecurrenceType(), c.type);
    EXPECT_EQ(p.DayOfWeekMask(), c.mask);
    EXPECT_EQ(p.DayOfMonth(), c.dayOfMonth);
    EXPECT_EQ(p.MonthOfYear(), c.monthOfYear);
    EXPECT_EQ(p.Interval(), c.interval);
    EXPECT_EQ(p.Occurrences(), c.occurrences);
    EXPECT_EQ(p.NoEndDate(), c.noEnd);
    EXPECT_EQ(p.PatternEndDate(), c.end);
    EXPECT_EQ(p.PatternStartDate(), EncodeDate(2026, 12, 7));
    EXPECT_NEAR(p.StartTime(), EncodeDateTime(2026, 12, 7, 9, 30), kSecond);
  }
}

TEST_F(IcalTest, PatternDaysAreLocalDays) {
  // Monday 8:00 in Tokyo is Sunday 18:00 here; the 15th at 8:00 there is the
  // 14th here.
  struct Case {
    const char* rule;
    int mask, dayOfMonth;
  } cases[] = {
      {"FREQ=WEEKLY;BYDAY=MO,FR", 1 | 16, 6},
      {"FREQ=WEEKLY", 1, 6},
      {"FREQ=MONTHLY;BYMONTHDAY=15", 0, 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    auto file = Parse(Calendar(Event("DTSTART;TZID=Asia/Tokyo:20261207T080000\nRRULE:" +
                                     std::string(c.rule) + "\n")),
                      TIcalWant::Events);
    ASSERT_EQ(file.Events.size(), 1u);
    const TPatternData& p = file.Events[0].Pattern;
    EXPECT_EQ(p.DayOfWeekMask, c.mask);
    EXPECT_EQ(p.DayOfMonth, c.dayOfMonth);
    EXPECT_EQ(p.PatternStartDate, EncodeDate(2026, 12, 6));
    EXPECT_NEAR(TimeOf(p.StartTime), EncodeTime(18, 0), kSecond);
  }
}

TEST_F(IcalTest, SeriesInAZoneOfTheFilesOwnOutlivesTheParse) {
  // Mondays at 10:00 in a zone the file defines under a name of its own, as
  // Outlook writes them; here that is 4:00, 5:00 while only New York has
  // moved its clocks, and 4:00 again once Europe has.
  const std::string zone =
      "BEGIN:VTIMEZONE\nTZID:W. Europe Standard Time\n"
      "BEGIN:STANDARD\nDTSTART:16010101T030000\nTZOFFSETFROM:+0200\nTZOFFSETTO:+0100\n"
      "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\nEND:STANDARD\n"
      "BEGIN:DAYLIGHT\nDTSTART:16010101T020000\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0200\n"
      "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\nEND:DAYLIGHT\nEND:VTIMEZONE\n";
  auto file = Parse(Calendar(zone + Event("DTSTART;TZID=W. Europe Standard Time:20260105T100000\n"
                                          "RRULE:FREQ=WEEKLY\n")),
                    TIcalWant::Events);
  ASSERT_EQ(file.Events.size(), 1u);
  TPatternValues pattern(file.Events[0].Pattern);
  for (auto [day, hour] : {std::pair{2, 4}, {9, 5}, {30, 4}}) {
    const TDateTime monday = EncodeDate(2026, 3, day);
    EXPECT_NEAR(NextOccurrence(pattern, monday, {}), monday + EncodeTime(hour, 0), kSecond)
        << "2026-03-" << day;
  }
  EXPECT_TRUE(logs.empty());
}

TEST_F(IcalTest, ReminderMinutesFromTheFirstAlarmBeforeTheStart) {
  // A one-hour meeting at 9:30 UTC.
  struct Case {
    std::string alarms;
    int minutes;
  } cases[] = {
      {"", 15},
      {Alarm("TRIGGER:-PT30M\n"), 30},
      {Alarm("TRIGGER:-P1D\n"), 1440},
      {Alarm("TRIGGER:PT0S\n"), 0},
      {Alarm("TRIGGER:PT5M\n"), 15},  // after the start: no reminder ahead of it
      {Alarm("TRIGGER:PT5M\n") + Alarm("TRIGGER:-PT20M\n"), 20},
      {Alarm("TRIGGER;RELATED=END:-PT90M\n"), 30},
      {Alarm("TRIGGER;VALUE=DATE-TIME:20261207T083000Z\n"), 60},
      {Alarm("TRIGGER:20261207T084500Z\n"), 45},
      {Alarm("") + Alarm("TRIGGER:-PT5M\n"), 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.alarms);
    auto file =
        Parse(Calendar(Event("DTSTART:20261207T093000Z\nDTEND:20261207T103000Z\n" + c.alarms)),
              TIcalWant::Events);
    ASSERT_EQ(file.Events.size(), 1u);
    EXPECT_EQ(file.Events[0].ReminderMinutesBeforeStart, c.minutes);
    EXPECT_FALSE(file.Events[0].IsRecurring);
  }
}

TEST_F(IcalTest, TimesInTheirZonesBecomeLocalTimes) {
  struct Case {
    const char* dtstart;
    TDateTime local;
  } cases[] = {
      {"DTSTART:20261207T150000Z", EncodeDateTime(2026, 12, 7, 10, 0)},
      {"DTSTART;TZID=Europe/Berlin:20261207T100000", EncodeDateTime(2026, 12, 7, 4, 0)},
      {"DTSTART;TZID=Europe/Berlin:20260707T100000", EncodeDateTime(2026, 7, 7, 4, 0)},
      {"DTSTART;TZID=/example.org/20240101_1/Europe/Berlin:20261207T100000",
       EncodeDateTime(2026, 12, 7, 4, 0)},
      {"DTSTART;TZID=Asia/Tokyo:20261208T000000", EncodeDateTime(2026, 12, 7, 10, 0)},
      {"DTSTART:20261207T100000", EncodeDateTime(2026, 12, 7, 10, 0)},
      {"DTSTART;VALUE=DATE:20261207", EncodeDate(2026, 12, 7)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dtstart);
    auto file = Parse(Calendar(Event(std::string(c.dtstart) + "\n")), TIcalWant::Events);
    ASSERT_EQ(file.Events.size(), 1u);
    EXPECT_NEAR(file.Events[0].Start, c.local, kSecond);
  }
  EXPECT_TRUE(logs.empty());
}

TEST_F(IcalTest, UnknownZoneIsReadAsLocalTimeAndLoggedOnce) {
  auto file = Parse(Calendar(Event("DTSTART;TZID=Mars/Olympus_Mons:20261207T100000\n", "A") +
                             Event("DTSTART;TZID=Mars/Olympus_Mons:20261208T100000\n", "B")),
                    TIcalWant::Events);
  ASSERT_EQ(file.Events.size(), 2u);
  EXPECT_NEAR(file.Events[0].Start, EncodeDateTime(2026, 12, 7, 10, 0), kSecond);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(logs[0].find("Mars/Olympus_Mons"), std::string::npos);
}

TEST_F(IcalTest, DamagedTextsAndComponents) {
  for (const char* text :
       {"", "garbage", "BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY:half", "\x01\x02\xff binary"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(Parse(text, TIcalWant::Events), EStoreError);
  }
  // An event whose start cannot be read is left out; its neighbours stay.
  auto file = Parse(Calendar(Event("DTSTART:tomorrow\n", "Bad start") +
                             Event("DTSTART:20261307T250000\n", "Month 13") +
                             Event("DTSTART:20261207T100000\n", "Good")),
                    TIcalWant::Events);
  ASSERT_EQ(file.Events.size(), 1u);
  EXPECT_EQ(file.Events[0].Subject, "Good");
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_NE(logs[0].find("Bad start"), std::string::npos);
  EXPECT_NE(logs[1].find("Month 13"), std::string::npos);
}

TEST_F(IcalTest, NulByteDamagesOnlyTheValueItStandsIn) {
  const std::string nul(1, '\0');
  struct Case {
    std::string second;  // the middle event's lines
    std::vector<std::string> subjects;
  } cases[] = {
      {"DTSTART:20261207T100000\nDESCRIPTION:Agenda" + nul + " and more\n",
       {"First", "Second", "Third"}},
      {"DTSTART:20261207T100000\nLOCATION:Room" + nul + "4\n", {"First", "Second", "Third"}},
      {"DTSTART:20261207T10" + nul + "0000\n", {"First", "Third"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    auto file =
        Parse(Calendar(Event("DTSTART:20261207T090000\n", "First") + Event(c.second, "Second") +
                       Event("DTSTART:20261207T110000\n", "Third")),
              TIcalWant::Events);
    std::vector<std::string> subjects;
    for (const auto& e : file.Events)
      subjects.push_back(e.Subject);
    EXPECT_EQ(subjects, c.subjects);
  }
  auto file = Parse(Calendar(Event("DTSTART:20261207T090000\nLOCATION:Room" + nul + "4\n")),
                    TIcalWant::Events);
  ASSERT_EQ(file.Events.size(), 1u);
  EXPECT_EQ(file.Events[0].Location,
            "Room\xEF\xBF\xBD"
            "4");
}

TEST_F(IcalTest, CancelledMeetingIsNoAppointment) {
  auto file = Parse(Calendar(Event("DTSTART:20261207T100000\nSTATUS:CANCELLED\n", "Called off") +
                             Event("DTSTART:20261207T100000\nSTATUS:CONFIRMED\n", "On")),
                    TIcalWant::Events);
  ASSERT_EQ(file.Events.size(), 1u);
  EXPECT_EQ(file.Events[0].Subject, "On");
}

TEST_F(IcalTest, TaskCompletion) {
  struct Case {
    const char* line;
    bool complete;
  } cases[] = {
      {"STATUS:COMPLETED\n", true},     {"COMPLETED:20261201T100000Z\n", true},
      {"PERCENT-COMPLETE:100\n", true}, {"PERCENT-COMPLETE:50\n", false},
      {"STATUS:NEEDS-ACTION\n", false}, {"STATUS:IN-PROCESS\n", false},
      {"STATUS:CANCELLED\n", true},     {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto file = Parse(Calendar(Todo(c.line)), TIcalWant::Todos);
    ASSERT_EQ(file.Todos.size(), 1u);
    EXPECT_EQ(file.Todos[0].Complete, c.complete);
  }
}

TEST_F(IcalTest, TaskDatesAndReminders) {
  const std::string both = "DTSTART:20261207T090000\nDUE:20261208T170000\n";
  struct Case {
    std::string lines;
    TDateTime start, due;
    bool reminderSet;
    TDateTime reminder;
  } cases[] = {
      // Relative to the start unless RELATED=END.
      {both + Alarm("TRIGGER:-PT1H\n"), EncodeDate(2026, 12, 7), EncodeDate(2026, 12, 8), true,
       EncodeDateTime(2026, 12, 7, 8, 0)},
      {both + Alarm("TRIGGER;RELATED=END:-PT1H\n"), EncodeDate(2026, 12, 7),
       EncodeDate(2026, 12, 8), true, EncodeDateTime(2026, 12, 8, 16, 0)},
      {both + Alarm("TRIGGER;VALUE=DATE-TIME:20261207T140000Z\n"), EncodeDate(2026, 12, 7),
       EncodeDate(2026, 12, 8), true, EncodeDateTime(2026, 12, 7, 9, 0)},
      // Only the first alarm counts.
      {both + Alarm("TRIGGER:-PT2H\n") + Alarm("TRIGGER:-PT1H\n"), EncodeDate(2026, 12, 7),
       EncodeDate(2026, 12, 8), true, EncodeDateTime(2026, 12, 7, 7, 0)},
      // No start: the alarm is taken from the due time.
      {"DUE:20261208T170000\n" + Alarm("TRIGGER:-PT1H\n"), kNoDate, EncodeDate(2026, 12, 8), true,
       EncodeDateTime(2026, 12, 8, 16, 0)},
      {both, EncodeDate(2026, 12, 7), EncodeDate(2026, 12, 8), false, kNoDate},
      // A due time given as a duration from the start.
      {"DTSTART:20261207T090000\nDURATION:P2D\n", EncodeDate(2026, 12, 7), EncodeDate(2026, 12, 9),
       false, kNoDate},
      // 02:00 UTC on the 8th is still the 7th here.
      {"DUE:20261208T020000Z\n", kNoDate, EncodeDate(2026, 12, 7), false, kNoDate},
      // A date in a zone is the day written there, wherever it is read; the
      // alarm is a moment (21:00 in Los Angeles is midnight here).
      {"DUE;TZID=Asia/Tokyo:20261208T080000\n", kNoDate, EncodeDate(2026, 12, 8), false, kNoDate},
      {"DTSTART;TZID=America/Los_Angeles:20261207T220000\nDUE;TZID=America/Los_Angeles:"
       "20261208T220000\n" +
           Alarm("TRIGGER:-PT1H\n"),
       EncodeDate(2026, 12, 7), EncodeDate(2026, 12, 8), true, EncodeDateTime(2026, 12, 8, 0, 0)},
      {"DTSTART;TZID=Asia/Tokyo:20261207T080000\nDURATION:P1D\n", EncodeDate(2026, 12, 7),
       EncodeDate(2026, 12, 8), false, kNoDate},
      {"DUE;VALUE=DATE:20261208\n", kNoDate, EncodeDate(2026, 12, 8), false, kNoDate},
      // An absolute trigger without VALUE=DATE-TIME, as in the RFC's example
      // to-do, is still the reminder's time.
      {"DUE:19980415T235959\n" + Alarm("TRIGGER:19980403T120000\n"), kNoDate,
       EncodeDate(1998, 4, 15), true, EncodeDateTime(1998, 4, 3, 12, 0)},
      {both + Alarm("trigger:20261207T140000Z\n"), EncodeDate(2026, 12, 7), EncodeDate(2026, 12, 8),
       true, EncodeDateTime(2026, 12, 7, 9, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    auto file = Parse(Calendar(Todo(c.lines)), TIcalWant::Todos);
    ASSERT_EQ(file.Todos.size(), 1u);
    const TTaskData& t = file.Todos[0];
    EXPECT_EQ(t.StartDate, c.start);
    EXPECT_EQ(t.DueDate, c.due);
    EXPECT_EQ(t.ReminderSet, c.reminderSet);
    EXPECT_NEAR(t.ReminderTime, c.reminder, kSecond);
  }
}

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(IcalTest, SkipWritesTheNextOccurrenceInTheFormOfEachValue) {
  const std::string longLine =
      "X-LONG:" + std::string(80, 'a') + "\n " + std::string(40, 'b') + "\n";
  struct Case {
    std::string name, lines;
    std::vector<std::pair<std::string, std::string>> edits;  // empty: no next occurrence
  } cases[] = {
      {"dates",
       "DTSTART;VALUE=DATE:20261207\nDUE;VALUE=DATE:20261208\nRRULE:FREQ=DAILY;INTERVAL=3\n",
       {{"DATE:20261207", "DATE:20261210"}, {"DATE:20261208", "DATE:20261211"}}},
      {"utc",
       "DTSTART:20261207T150000Z\nDUE:20261207T160000Z\nRRULE:FREQ=MONTHLY;UNTIL="
       "20270107T150000Z\n",
       {{"DTSTART:20261207T150000Z", "DTSTART:20270107T150000Z"},
        {"DUE:20261207T160000Z", "DUE:20270107T160000Z"}}},
      {"until reached",
       "DTSTART:20261207T150000Z\nRRULE:FREQ=MONTHLY;UNTIL=20261231T000000Z\n",
       {}},
      {"count used up", "DTSTART:20261207T090000\nRRULE:FREQ=DAILY;COUNT=1\n", {}},
      {"due only",
       "DUE:20261207T170000\nRRULE:FREQ=WEEKLY\n" + longLine,
       {{"DUE:20261207T170000", "DUE:20261214T170000"}}},
      {"excluded day",
       "DTSTART:20261207T090000\nRRULE:FREQ=DAILY\nEXDATE:20261208T090000\n",
       {{"DTSTART:20261207T090000", "DTSTART:20261209T090000"}}},
      {"zone kept as written",
       "DTSTART;TZID=Europe/Berlin:20261207T100000\nDUE;TZID=Europe/Berlin:20261207T120000\n"
       "RRULE:FREQ=WEEKLY;COUNT=10;BYDAY=MO\n",
       {{"Berlin:20261207T100000", "Berlin:20261214T100000"},
        {"Berlin:20261207T120000", "Berlin:20261214T120000"},
        {"COUNT=10", "COUNT=9"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempFolder tmp;
    const fs::path file = tmp / "task.ics";
    // The alarm's own lines and a second to-do are never touched.
    const std::string text =
        Calendar(Todo(c.lines + Alarm("TRIGGER;VALUE=DATE-TIME:20261207T150000Z\n")) +
                 "BEGIN:VTODO\nUID:t-2\nDTSTART:20261207T150000Z\nEND:VTODO\n");
    std::ofstream(file, std::ios::binary) << text;
    auto moved = SkipTaskRecurrence(file, 0, "t-1", {});
    std::string expected = text;
    for (const auto& [from, to] : c.edits) {
      size_t at = expected.find(from);
      ASSERT_NE(at, std::string::npos) << from;
      expected.replace(at, from.size(), to);
    }
    EXPECT_EQ(moved.has_value(), !c.edits.empty());
    EXPECT_EQ(ReadText(file), expected);
  }
}

TEST_F(IcalTest, SkipEditsExactlyTheToDoTheReaderListed) {
  // A to-do nested where the reader does not look comes first in the text;
  // the listed one, found by its UID or (without one) by its place, moves.
  const std::string hidden =
      "BEGIN:VTODO\nSUMMARY:Hidden\nDTSTART:20261207T090000\n"
      "RRULE:FREQ=DAILY\nEND:VTODO\n";
  const std::string listed =
      "BEGIN:VTODO\nSUMMARY:Listed\nDTSTART:20261207T090000\n"
      "RRULE:FREQ=WEEKLY\nEND:VTODO\n";
  struct Case {
    std::string name, around;  // "%" stands for the hidden to-do
  } cases[] = {
      {"inside an X- component", "BEGIN:X-WRAP\n%END:X-WRAP\n"},
      {"inside an event", "BEGIN:VEVENT\nUID:e\nDTSTART:20261207T090000\n%END:VEVENT\n"},
  };
  for (const auto& c : cases) {
    for (const std::string uid : {"", "UID:same\n"}) {
      SCOPED_TRACE(c.name + (uid.empty() ? ", no UID" : ", same UID"));
      std::string around = c.around;
      std::string inner = hidden;
      inner.insert(std::string("BEGIN:VTODO\n").size(), uid);
      around.replace(around.find('%'), 1, inner);
      std::string top = listed;
      top.insert(std::string("BEGIN:VTODO\n").size(), uid);
      test::TempFolder tmp;
      const fs::path file = tmp / "task.ics";
      const std::string text = Calendar(around + top);
      std::ofstream(file, std::ios::binary) << text;
      ASSERT_EQ(Parse(text, TIcalWant::Todos).Todos.size(), 1u);

      auto moved = SkipTaskRecurrence(file, 0, uid.empty() ? "" : "same", {});
      ASSERT_TRUE(moved);
      EXPECT_EQ(moved->Subject, "Listed");
      EXPECT_EQ(moved->StartDate, EncodeDate(2026, 12, 14));
      std::string expected = text;
      const size_t at = expected.rfind("DTSTART:20261207T090000");
      expected.replace(at, 23, "DTSTART:20261214T090000");
      EXPECT_EQ(ReadText(file), expected);
    }
  }
}

TEST_F(IcalTest, ValidUtf8ReplacesBrokenSequences) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"plain", "plain"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr\xC3\xBC\xC3\x9F"
       "e"},
      {"a\xFF"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xF0\x9F\x93\x85 emoji", "\xF0\x9F\x93\x85 emoji"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace rn::store
