// The calendar pass on the fake Outlook: which meetings it records and how,
// its slices and position, its gate, the purge, a stop and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"
#include "scan_fixture.h"

namespace rn::test {
namespace {

TDateTime Today(int hour, int minute = 0) {
  return EncodeDateTime(2026, 3, 10, hour, minute);
}

FakeAppointment Meeting(const std::string& subject, TDateTime start, int reminder = 15,
                        const std::string& location = "Room 4") {
  FakeAppointment a;
  a.Subject = subject;
  a.Location = location;
  a.Start = start;
  a.ReminderMinutesBeforeStart = reminder;
  return a;
}

std::string Key(TDateTime t, const std::string& subject, const std::string& location = "Room 4") {
  return LongTimeText(t) + "@loc:" + location + ":" + subject;
}

class CalendarScan : public ScanTest {};

TEST_F(CalendarScan, RecordsAMeetingAndLogsThePass) {
  const TDateTime t = Today(11);
  outlook.Appointments.push_back(Meeting("Budget review", t));
  processor.CheckNewAppointments();

  const std::string key = Key(t, "Budget review");
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"Getting Calendar", "Got Calendar",
                                      "Scanning Meeting Folder, Count:1", "Checking Appt",
                                      "Budget review", "Signal Non-Rec Meeting:" + DateTimeText(t),
                                      "Added" + key, "Reseting To First Meeting"}));
  EXPECT_EQ(rig.host.Statuses, (std::vector<std::string>{"Checking for New Appointments...",
                                                         "Checking for New Appointments...1"}));
  ASSERT_EQ(Keys(processor.Meetings), std::vector<std::string>{key});
  const TEventItem& record = processor.Meetings.At(0);
  EXPECT_EQ(record.Name, key);
  EXPECT_EQ(record.StartTime, t);
  EXPECT_NEAR(record.NotifyTime, Today(10, 45), kOneSecond / 1000);
  EXPECT_FALSE(record.Notified);
  EXPECT_EQ(record.LastSeen, ScanNow());
  EXPECT_EQ(FileLines("Test-Note.NST"), std::vector<std::string>{key});
  EXPECT_EQ(processor.NextCalendarScan, ScanNow() + 1.0 / 96);
  EXPECT_EQ(processor.CalendarPosition, 1);
}

TEST_F(CalendarScan, RecordsFromAnHourAgoToTwoDaysAheadInclusive) {
  const struct {
    TDateTime start;
    bool recorded;
  } cases[] = {
      {ScanNow() - 61 * kOneMinute, false},
      {Today(9), true},                            // exactly an hour ago
      {EncodeDateTime(2026, 3, 12, 10, 0), true},  // exactly two days ahead
      {EncodeDateTime(2026, 3, 12, 10, 1), false},
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    const std::string subject = "At " + DateTimeText(c.start);
    outlook.Appointments.push_back(Meeting(subject, c.start));
    if (c.recorded)
      expected.push_back(Key(c.start, subject));
  }
  processor.CheckNewAppointments();
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> keys = Keys(processor.Meetings);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, expected);
}

TEST_F(CalendarScan, NotifyTimeIsTheStartLessTheReminderWhetherSetOrNot) {
  for (int reminder : {0, 15, 90}) {
    outlook.Appointments.push_back(
        Meeting("Lead " + std::to_string(reminder), Today(12), reminder));
  }
  processor.CheckNewAppointments();
  for (int reminder : {0, 15, 90}) {
    const int i = processor.Meetings.Find(Key(Today(12), "Lead " + std::to_string(reminder)));
    ASSERT_GE(i, 0) << reminder;
    EXPECT_NEAR(processor.Meetings.At(i).NotifyTime, Today(12) - reminder * kOneMinute,
                kOneSecond / 1000)
        << reminder;
  }
  EXPECT_EQ(processor.Meetings.At(processor.Meetings.Find(Key(Today(12), "Lead 0"))).NotifyTime,
            Today(12));
}

// A meeting seen again: a longer reminder brings a fresh record in place of
// the listed one; a shorter or equal one keeps it, Notified mark and all.
TEST(CalendarScanSeenAgain, LongerReminderReplacesTheRecord) {
  const struct {
    int reminder;
    bool replaced;
  } cases[] = {{30, true}, {15, false}, {5, false}};
  for (const auto& c : cases) {
    FakeOutlook outlook;
    EngineRig rig(ScanNow(), &outlook);
    TOutlookProcessor& p = *rig.processor;
    outlook.Appointments.push_back(Meeting("Standup", Today(11), 15));
    p.CheckNewAppointments();
    ASSERT_EQ(p.Meetings.Count(), 1);
    p.Meetings.At(0).Notified = true;

    rig.clock.Advance(1.0 / 96);
    outlook.Appointments[0].ReminderMinutesBeforeStart = c.reminder;
    p.CheckNewAppointments();
    ASSERT_EQ(p.Meetings.Count(), 1) << c.reminder;
    const TEventItem& record = p.Meetings.At(0);
    EXPECT_EQ(record.Notified, !c.replaced) << c.reminder;
    EXPECT_NEAR(record.NotifyTime, Today(11) - (c.replaced ? c.reminder : 15) * kOneMinute,
                kOneSecond / 1000)
        << c.reminder;
    EXPECT_EQ(record.LastSeen, ScanNow() + 1.0 / 96) << c.reminder;
  }
}

TEST_F(CalendarScan, MovedMeetingIsPurgedFourHoursAfterItWasLastSeen) {
  const TDateTime before = EncodeDateTime(2026, 3, 11, 11, 0);
  const TDateTime after = EncodeDateTime(2026, 3, 11, 12, 0);
  outlook.Appointments.push_back(Meeting("Review", before));
  processor.CheckNewAppointments();
  outlook.Appointments[0].Start = after;

  // Passes every 15 minutes meet only the moved meeting.
  for (int pass = 1; pass <= 15; ++pass) {
    rig.clock.Set(ScanNow() + pass / 96.0);
    processor.CheckNewAppointments();
    ASSERT_GE(processor.Meetings.Find(Key(before, "Review")), 0) << "purged early at " << pass;
  }
  EXPECT_EQ(CountLogged("Delete Notification"), 0);
  rig.clock.Set(ScanNow() + 17 / 96.0);
  processor.CheckNewAppointments();
  EXPECT_EQ(Keys(processor.Meetings), std::vector<std::string>{Key(after, "Review")});
  EXPECT_EQ(CountLogged("Delete Notification"), 1);
}

TEST_F(CalendarScan, LoadedRecordsNotMetAgainArePurgedOnTheFirstPass) {
  outlook.Appointments.push_back(Meeting("Kept", Today(11)));
  for (const std::string& name : {Key(Today(11), "Kept"), std::string("Gone")}) {
    auto loaded = std::make_unique<TEventItem>();
    loaded->Name = name;
    loaded->StartTime = Today(11);
    loaded->NotifyTime = Today(10, 45);
    loaded->Notified = true;
    processor.Meetings.Add(name, std::move(loaded));
  }
  processor.CheckNewAppointments();
  ASSERT_EQ(Keys(processor.Meetings), std::vector<std::string>{Key(Today(11), "Kept")});
  EXPECT_TRUE(processor.Meetings.At(0).Notified);
}

TEST_F(CalendarScan, WalksInSlicesOf150AndStartsAgainAfterTheLast) {
  for (int i = 0; i < 160; ++i) {
    outlook.Appointments.push_back(Meeting("Later " + std::to_string(i), Today(11) + 20));
  }
  processor.CheckNewAppointments();
  EXPECT_EQ(outlook.Calls("Item"), 150);
  EXPECT_EQ(processor.CalendarPosition, 151);
  EXPECT_FALSE(Logged("Reseting To First Meeting"));

  rig.clock.Advance(1.0 / 96);
  processor.CheckNewAppointments();
  EXPECT_EQ(outlook.Calls("Item"), 160);
  EXPECT_TRUE(Logged("Reseting To First Meeting"));
  EXPECT_EQ(processor.CalendarPosition, 1);
  EXPECT_EQ(rig.host.Statuses.back(), "Checking for New Appointments...160");
}

TEST_F(CalendarScan, CalendarShrunkBelowThePositionStartsAgain) {
  for (int i = 0; i < 100; ++i) {
    outlook.Appointments.push_back(Meeting("M" + std::to_string(i), Today(11) + 20));
  }
  processor.CalendarPosition = 151;
  processor.CheckNewAppointments();
  EXPECT_EQ(outlook.Calls("Item"), 0);
  EXPECT_TRUE(Logged("Reseting To First Meeting"));
  EXPECT_EQ(processor.CalendarPosition, 1);

  rig.clock.Advance(1.0 / 96);
  processor.CheckNewAppointments();
  EXPECT_EQ(outlook.Calls("Item"), 100);
  EXPECT_EQ(rig.host.Statuses[rig.host.Statuses.size() - 100], "Checking for New Appointments...1");
}

TEST_F(CalendarScan, RunsAtMostEveryFifteenMinutes) {
  outlook.Appointments.push_back(Meeting("Standup", Today(11)));
  processor.CheckNewAppointments();
  rig.clock.Advance(14 * kOneMinute);
  processor.CheckNewAppointments();
  EXPECT_EQ(outlook.Calls("GetDefaultFolder(9)"), 1);
  rig.clock.Set(ScanNow() + 1.0 / 96);
  processor.CheckNewAppointments();
  EXPECT_EQ(outlook.Calls("GetDefaultFolder(9)"), 2);
}

TEST_F(CalendarScan, StopMidPassKeepsThePositionAndSkipsThePurge) {
  for (int i = 0; i < 5; ++i) {
    outlook.Appointments.push_back(Meeting("M" + std::to_string(i), Today(11 + i)));
  }
  auto stale = std::make_unique<TEventItem>();
  stale->Name = "Stale";
  processor.Meetings.Add("Stale", std::move(stale));
  int fetches = 0;
  outlook.OnCall = [&](const std::string& member) {
    if (member == "Item" && ++fetches == 3)
      processor.Stop();
  };
  processor.CheckNewAppointments();
  EXPECT_EQ(outlook.Calls("Item"), 3);
  EXPECT_EQ(processor.CalendarPosition, 4);
  EXPECT_EQ(processor.Meetings.Count(), 4);  // three met, and the stale one kept
  EXPECT_GE(processor.Meetings.Find("Stale"), 0);
  EXPECT_FALSE(Logged("Reseting To First Meeting"));
  EXPECT_FALSE(Logged("Delete Notification"));
}

TEST_F(CalendarScan, FailingAppointmentIsLoggedAndPassedOver) {
  outlook.Appointments.push_back(Meeting("First", Today(11)));
  outlook.Appointments.push_back(Meeting("Broken", Today(12)));
  outlook.Appointments.back().Fail = {"Location"};
  outlook.Appointments.push_back(Meeting("Broken pattern", Today(13)));
  outlook.Appointments.back().IsRecurring = true;
  outlook.Appointments.back().Pattern.Fail = {"RecurrenceType"};
  outlook.Appointments.push_back(Meeting("Last", Today(14)));
  processor.CheckNewAppointments();

  std::vector<std::string> keys = Keys(processor.Meetings);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{Key(Today(11), "First"), Key(Today(14), "Last")}));
  EXPECT_TRUE(Logged("Save ErrorOutlook failed the call Location"));
  EXPECT_TRUE(Logged("Save ErrorOutlook failed the call RecurrenceType"));
  EXPECT_EQ(outlook.Calls("Item"), 4);
  EXPECT_EQ(processor.CalendarPosition, 1);  // all four passed, then reset
}

TEST_F(CalendarScan, FailingFetchStillMovesThePositionOn) {
  for (int i = 0; i < 3; ++i) {
    outlook.Appointments.push_back(Meeting("M" + std::to_string(i), Today(11 + i)));
  }
  outlook.FailCall("Item", 1);
  processor.CheckNewAppointments();
  EXPECT_EQ(Keys(processor.Meetings), std::vector<std::string>{Key(Today(11), "M0")});
  EXPECT_EQ(CountLogged("Save ErrorOutlook failed the call Item"), 2);
  EXPECT_TRUE(Logged("Reseting To First Meeting"));
}

TEST(CalendarScanFailure, FailureBeforeTheWalkReachesTheLoop) {
  const struct {
    const char* what;
    std::function<void(FakeOutlook&)> arrange;
  } cases[] = {
      {"GetNamespace fails", [](FakeOutlook& o) { o.FailCall("GetNamespace"); }},
      {"GetDefaultFolder fails", [](FakeOutlook& o) { o.FailCall("GetDefaultFolder"); }},
      {"Items fails", [](FakeOutlook& o) { o.FailCall("Items"); }},
      {"Count fails", [](FakeOutlook& o) { o.FailCall("Count"); }},
      {"no namespace", [](FakeOutlook& o) { o.NullNamespace = true; }},
      {"no calendar folder", [](FakeOutlook& o) { o.MissingFolders = {olFolderCalendar}; }},
      {"no connection", [](FakeOutlook& o) { o.FailCall("Connect"); }},
  };
  for (const auto& c : cases) {
    FakeOutlook outlook;
    outlook.Appointments.push_back(Meeting("Standup", Today(11)));
    c.arrange(outlook);
    EngineRig rig(ScanNow(), &outlook);
    EXPECT_THROW(rig.processor->CheckNewAppointments(), EOleError) << c.what;
    // Not retried before its time, so a broken Outlook does not make the loop spin.
    EXPECT_EQ(rig.processor->NextCalendarScan, ScanNow() + 1.0 / 96) << c.what;
    EXPECT_EQ(rig.processor->Meetings.Count(), 0) << c.what;
  }
}

TEST_F(CalendarScan, EmptyFolderAnswerKeepsTheFolderHeld) {
  outlook.Appointments.push_back(Meeting("Standup", Today(11)));
  processor.CheckNewAppointments();
  outlook.MissingFolders = {olFolderCalendar};
  rig.clock.Advance(1.0 / 96);
  const size_t mark = LogMark();
  EXPECT_NO_THROW(processor.CheckNewAppointments());
  const std::vector<std::string> messages = Messages(mark);
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Getting Calendar");
  EXPECT_EQ(messages[1], "Got Calendar");
  EXPECT_EQ(processor.Meetings.At(0).LastSeen, ScanNow() + 1.0 / 96);
}

TEST_F(CalendarScan, RecurringMeetingTakesItsNextOccurrence) {
  FakeAppointment daily = Meeting("Daily sync", EncodeDateTime(2026, 1, 5, 11, 0));
  daily.IsRecurring = true;
  daily.Pattern.RecurrenceType = 0;
  daily.Pattern.PatternStartDate = EncodeDate(2026, 1, 5);
  daily.Pattern.StartTime = EncodeDateTime(2026, 1, 5, 11, 0);
  outlook.Appointments.push_back(daily);
  FakeAppointment monthly = daily;
  monthly.Subject = "Monthly";
  monthly.Pattern.RecurrenceType = 2;
  monthly.Pattern.DayOfMonth = 20;
  outlook.Appointments.push_back(monthly);
  processor.CheckNewAppointments();

  EXPECT_EQ(Keys(processor.Meetings), std::vector<std::string>{Key(Today(11), "Daily sync")});
  EXPECT_NEAR(processor.Meetings.At(0).StartTime, Today(11), kOneSecond / 1000);
  const std::vector<std::string> messages = Messages();
  EXPECT_TRUE(Logged("Daily Appt"));
  EXPECT_TRUE(Logged("Signal Rec Meeting:" + DateTimeText(Today(11))));
  EXPECT_TRUE(Logged("Monthly Output"));
  EXPECT_TRUE(Logged("Signal Rec Meeting:" + DateTimeText(0)));
  EXPECT_EQ(CountLogged("No Next Meeting Time"), 1);
}

TEST_F(CalendarScan, MovedOccurrenceIsRecordedOnceAtItsNewTimeAndACancelledOneNotAtAll) {
  // Tuesdays at 11:00, this week's moved to Wednesday 15:00 and to another
  // room; Thursdays at 9:00, this week's cancelled.
  const std::string calendar =
      "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Ravenote tests//EN\n"
      "BEGIN:VEVENT\nUID:tue\nSUMMARY:Standup\nLOCATION:Room 4\nDTSTART:20260303T110000\n"
      "RRULE:FREQ=WEEKLY\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:tue\nSUMMARY:Standup\nLOCATION:Room 9\n"
      "RECURRENCE-ID:20260310T110000\nDTSTART:20260311T150000\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:thu\nSUMMARY:Review\nLOCATION:Room 4\nDTSTART:20260305T090000\n"
      "RRULE:FREQ=WEEKLY\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:thu\nSUMMARY:Review\nRECURRENCE-ID:20260312T090000\n"
      "DTSTART:20260312T090000\nSTATUS:CANCELLED\nEND:VEVENT\n"
      "END:VCALENDAR\n";
  outlook.Appointments = AppointmentsFromIcal(calendar);
  processor.CheckNewAppointments();

  const TDateTime moved = EncodeDateTime(2026, 3, 11, 15, 0);
  EXPECT_EQ(Keys(processor.Meetings), std::vector<std::string>{Key(moved, "Standup", "Room 9")});
  EXPECT_EQ(CountLogged("No Next Meeting Time"), 2);
}

TEST_F(CalendarScan, LongMeetingTextIsCutWithoutSplittingACharacter) {
  std::string subject;
  for (int i = 0; i < 150; ++i)
    subject += "\xC3\xA9";  // é, two bytes
  outlook.Appointments.push_back(Meeting(subject, Today(11), 15, "Ro"));
  // Agrees with the first in its first 255 bytes: the same key.
  outlook.Appointments.push_back(Meeting(subject + "tail", Today(11), 30, "Ro"));
  processor.CheckNewAppointments();

  const std::string full = Key(Today(11), subject, "Ro");
  ASSERT_EQ(processor.Meetings.Count(), 1);
  const std::string key = processor.Meetings.Key(0);
  EXPECT_EQ(key, CutUtf8(full, 255));
  EXPECT_LE(key.size(), 255u);
  EXPECT_EQ(full.compare(0, key.size(), key), 0);
  EXPECT_GT(key.size(), 250u);
  EXPECT_NE(static_cast<unsigned char>(key.back()), 0xC3) << "a character was split";
  // The second one's longer reminder replaced the record.
  EXPECT_NEAR(processor.Meetings.At(0).NotifyTime, Today(10, 30), kOneSecond / 1000);
}

TEST_F(CalendarScan, EmptyItemIsPassedOver) {
  outlook.Appointments.push_back(Meeting("Gone", Today(11)));
  outlook.Appointments.back().Missing = true;
  outlook.Appointments.push_back(Meeting("Here", Today(12)));
  processor.CheckNewAppointments();
  EXPECT_EQ(Keys(processor.Meetings), std::vector<std::string>{Key(Today(12), "Here")});
  EXPECT_FALSE(Logged("Gone"));
  EXPECT_EQ(processor.CalendarPosition, 1);
}

TEST_F(CalendarScan, KeyDumpFailureIsLoggedAndThePassGoesOn) {
  std::filesystem::create_directory(rig.folder / "Test-Note.NST");
  outlook.Appointments.push_back(Meeting("One", Today(11)));
  outlook.Appointments.push_back(Meeting("Two", Today(12)));
  processor.CheckNewAppointments();
  EXPECT_EQ(processor.Meetings.Count(), 2);
  int saveErrors = 0;
  for (const std::string& m : Messages())
    saveErrors += m.rfind("Save Error", 0) == 0 ? 1 : 0;
  EXPECT_EQ(saveErrors, 2);
}

TEST_F(CalendarScan, KeyDumpListsEveryKeyInListOrder) {
  outlook.Appointments.push_back(Meeting("b", Today(12)));
  outlook.Appointments.push_back(Meeting("a", Today(11)));
  outlook.Appointments.push_back(Meeting("C", Today(13)));
  processor.CheckNewAppointments();
  EXPECT_EQ(FileLines("Test-Note.NST"), Keys(processor.Meetings));
  EXPECT_EQ(FileLines("Test-Note.NST").size(), 3u);
}

}  // namespace
}  // namespace rn::test
