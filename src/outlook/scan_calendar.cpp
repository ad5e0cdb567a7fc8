// CheckNewAppointments, the calendar pass: at most every 15 minutes it walks
// the next 150 appointments of the default calendar, records the meetings
// that start between one hour ago and two days ahead, and purges the records
// of meetings it has not met for four hours.
#include <exception>
#include <memory>
#include <string>

#include "engine/processor.h"
#include "outlook/key_dump.h"
#include "outlook/recurrence.h"
#include "platform/text.h"

namespace rn {
namespace {

constexpr double kCalendarScanEvery = 1.0 / 96;  // 15 minutes
constexpr int kAppointmentsPerPass = 150;
constexpr double kRecordFrom = kOneHour;      // meetings that started up to an hour ago
constexpr double kRecordUntil = 2 * kOneDay;  // to meetings two days ahead
constexpr double kForgetAfter = 1.0 / 6;      // four hours unseen
// Bounds are inclusive; a millisecond of slack keeps a meeting exactly on a
// bound from falling out through the rounding of day fractions.
constexpr double kSlack = kOneSecond / 1000;

}  // namespace

void TOutlookProcessor::CheckNewAppointments() {
  const TDateTime start = deps_.Clock.Now();
  if (start < NextCalendarScan)
    return;
  NextCalendarScan = start + kCalendarScanEvery;
  const TDateTime D = start;
  int passCount = 0;
  if (CalendarPosition < 1)
    CalendarPosition = 1;

  GetCalendarFolder();
  ShowStatus("Checking for New Appointments...");
  DebugLog("Scanning Meeting Folder, Count:" + std::to_string(CalendarFolder->Items()->Count()));
  DebugLog("Checking Appt");

  const TLogFunction log = [this](const std::string& line) { DebugLog(line); };
  while (CalendarFolder->Items()->Count() >= CalendarPosition && passCount < kAppointmentsPerPass) {
    // A stop leaves the position where it is and skips the purge.
    if (StopRequested())
      return;
    ShowStatus("Checking for New Appointments..." + std::to_string(CalendarPosition));
    const int index = CalendarPosition;
    // Counted and passed before the fetch, so a failing appointment is
    // passed once and the walk goes on.
    ++CalendarPosition;
    ++passCount;
    try {
      const std::shared_ptr<IOutlookItem> item = CalendarFolder->Items()->Item(index);
      const std::shared_ptr<IAppointmentItem> appointment = item ? item->AsAppointment() : nullptr;
      if (!appointment)
        continue;
      const std::string subject = appointment->Subject();
      DebugLog(subject);

      TDateTime t;
      if (appointment->IsRecurring()) {
        const std::shared_ptr<IRecurrencePattern> pattern = appointment->GetRecurrencePattern();
        if (!pattern)
          throw EOleError("Outlook gave no recurrence pattern");
        t = NextOccurrence(*pattern, D, log);
        DebugLog("Signal Rec Meeting:" + DateTimeText(t));
      } else {
        t = appointment->Start();
        DebugLog("Signal Non-Rec Meeting:" + DateTimeText(t));
      }
      if (t == 0) {
        DebugLog("No Next Meeting Time");
        continue;
      }

      const TDateTime now = deps_.Clock.Now();
      if (t < now - kRecordFrom - kSlack || t > now + kRecordUntil + kSlack)
        continue;

      auto record = std::make_unique<TEventItem>();
      record->Name = CutUtf8(LongTimeText(t) + "@loc:" + appointment->Location() + ":" + subject,
                             kShortStringMax);
      record->StartTime = t;
      // The lead is taken whether or not the appointment's reminder is set.
      record->NotifyTime = t - appointment->ReminderMinutesBeforeStart() * kOneMinute;
      record->Notified = false;
      record->LastSeen = now;

      const std::string key = record->Name;
      const int found = Meetings.Find(key);
      if (found >= 0) {
        TEventItem& listed = Meetings.At(found);
        listed.LastSeen = now;
        // A longer reminder than the one recorded brings a fresh, unnotified
        // record; otherwise the listed one stays with its Notified mark.
        if (listed.NotifyTime > record->NotifyTime)
          Meetings.Replace(found, std::move(record));
      } else {
        Meetings.Add(key, std::move(record));
        DebugLog("Added" + key);
      }

      try {
        WriteKeyDump(deps_.Folder / "Test-Note.NST", Meetings);
      } catch (const std::exception& error) {
        DebugLog(std::string("Save Error") + error.what());
      }
    } catch (const std::exception& error) {
      DebugLog(std::string("Save Error") + error.what());
    }
  }

  if (CalendarFolder->Items()->Count() < CalendarPosition) {
    DebugLog("Reseting To First Meeting");
    CalendarPosition = 1;
  }

  const TDateTime now = deps_.Clock.Now();
  for (int i = Meetings.Count() - 1; i >= 0; --i) {
    if (Meetings.At(i).LastSeen < now - kForgetAfter) {
      DebugLog("Delete Notification");
      Meetings.Delete(i);
    }
  }
}

}  // namespace rn
