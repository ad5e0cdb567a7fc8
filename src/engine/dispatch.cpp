// Dispatch of due notifications on an in-window pass: meeting reminders, the
// task notification, day-before note and overdue reminder, and the morning
// and evening messages naming the first meeting of the day. Each record is
// marked whatever the send's outcome, so nothing is tried twice.
#include <exception>
#include <string>

#include "engine/processor.h"
#include "shell/carriers.h"

namespace rn {
namespace {

// A task notification later than this when dispatch meets it goes unsent.
constexpr double kTaskNoticeLateBy = kOneDay;

// The overdue reminder's repeat period for TaskRemindPeriod, or 0 when the
// value is none of the four.
double RemindPeriod(int32_t setting) {
  switch (setting) {
    case 0:
      return kOneHour;
    case 1:
      return 12 * kOneHour;
    case 2:
      return kOneDay;
    case 3:
      return 7 * kOneDay;
    default:
      return 0;
  }
}

}  // namespace

// ---- message builders ----

void TOutlookProcessor::NotifyEvent(const TEventItem& meeting) {
  Notify(meeting.Name);
}

void TOutlookProcessor::NotifyEventWithPrefix(const TEventItem& meeting,
                                              const std::string& prefix) {
  Notify(prefix + meeting.Name);
}

void TOutlookProcessor::NotifyTask(const TTaskEvent& task) {
  Notify(task.Name);
}

void TOutlookProcessor::Notify(const std::string& subject) {
  Changed = true;
  const std::string to = DestinationAddress(Settings());
  ShowStatus(subject);
  if (SendNewEmail(to, subject, "") && deps_.DebugOutput) {
    deps_.DebugOutput("Event:" + subject + ":Notificed");
  }
}

// ---- meeting reminders ----

void TOutlookProcessor::HandleNotify() {
  const TSettingsData settings = Settings();
  IClock& clock = deps_.Clock;
  DebugLog("HandleNotify cnt:" + std::to_string(Meetings.Count()));
  for (int i = Meetings.Count() - 1; i >= 0; --i) {
    if (StopRequested())
      break;
    TEventItem& meeting = Meetings.At(i);

    // More than a minute past: handled, sent or not.
    if (clock.Now() - kOneMinute >= meeting.NotifyTime) {
      DebugLog(meeting.Name + " Already Notified");
      meeting.Notified = true;
    }

    if (!meeting.Notified && settings.MeetingNotify) {
      const TDateTime limit = clock.Now() + 2 * kOneMinute;
      DebugLog("Check Times:" + DateTimeText(meeting.NotifyTime) + " <= " + DateTimeText(limit));
      if (meeting.NotifyTime <= limit) {
        NotifyEvent(meeting);
        meeting.Notified = true;
      }
    }

    // Spent (six hours past) or too far ahead to be a meeting of this scan.
    if (clock.Now() - 6 * kOneHour > meeting.NotifyTime ||
        clock.Now() + 2 * kOneDay < meeting.NotifyTime) {
      try {
        Meetings.Delete(i);
      } catch (const std::exception&) {
        DebugLog("Failed Delete Notification");
      }
    }
  }
  DebugLog("HandleNotify - Exit");
}

// ---- tasks ----

void TOutlookProcessor::HandleTaskNotify() {
  TSettingsData settings = Settings();
  IClock& clock = deps_.Clock;
  for (int i = Tasks.Count() - 1; i >= 0; --i) {
    if (StopRequested())
      break;
    TTaskEvent& task = Tasks.At(i);

    // A finished task needs no notice, no day-before note and no reminder;
    // its record only waits for its removal below.
    if (!task.Complete) {
      // The task notification, at the task's reminder time; a task without
      // a reminder gets none. One more than a day late (an old unfinished
      // task met at the first start, say) is marked without a message: the
      // overdue reminder speaks for such a task.
      if (settings.TaskNotify && !task.Notified && task.TaskNotifyTime != 0 &&
          task.TaskNotifyTime <= clock.Now()) {
        if (task.TaskNotifyTime >= clock.Now() - kTaskNoticeLateBy) {
          NotifyTask(task);
          task.NotifiedAt = clock.Now();
        }
        task.Notified = true;
      }

      // The day-before note, when the day before the due date has come; met
      // only once the task is already due, it is marked without a message.
      if (settings.TaskPreNotify && !task.PreNotified && task.PreDueTime != 0 &&
          task.PreDueTime <= clock.Now()) {
        if (task.DueDate == 0 || task.DueDate > clock.Now()) {
          NotifyTask(task);
          task.NotifiedAt = clock.Now();
        }
        task.PreNotified = true;
      }

      // The overdue reminder, once per period. A due date of 0 is no date.
      if (settings.TaskReminder && task.DueDate != 0 && task.DueDate <= clock.Now()) {
        double period = RemindPeriod(settings.TaskRemindPeriod);
        if (period == 0) {
          period = kOneDay;
          settings.TaskRemindPeriod = 2;
          deps_.Settings.SetTaskRemindPeriod(2);
        }
        if (task.RemindTime < clock.Now()) {
          NotifyTask(task);
          task.RemindTime = clock.Now() + period;
        }
      }
    }

    if (clock.Now() - 2 * kOneDay > task.DueDate && task.Complete) {
      try {
        Tasks.Delete(i);
      } catch (const std::exception&) {
        // The record stays for the next pass.
      }
    }
  }
}

// ---- morning and evening messages ----

namespace {

// The meeting with the smallest NotifyTime strictly between day and day + 1,
// walking from the last entry; on a tie the one met first stays. Null when
// the day has none.
const TEventItem* FirstMeetingOf(const TEventList& meetings, TDateTime day,
                                 const TOutlookProcessor& engine) {
  const TEventItem* picked = nullptr;
  for (int i = meetings.Count() - 1; i >= 0; --i) {
    if (engine.StopRequested())
      break;
    const TEventItem& meeting = meetings.At(i);
    if (meeting.NotifyTime > day && meeting.NotifyTime < day + kOneDay &&
        (!picked || meeting.NotifyTime < picked->NotifyTime)) {
      picked = &meeting;
    }
  }
  return picked;
}

}  // namespace

void TOutlookProcessor::MorningFirstMeeting() {
  const TDateTime day = DateOf(deps_.Clock.Now());
  if (const TEventItem* first = FirstMeetingOf(Meetings, day, *this)) {
    NotifyEventWithPrefix(*first, "First:");
    NextMorningMessage = day + kOneDay;
  }
}

void TOutlookProcessor::EveningFirstMeeting() {
  const TDateTime day = DateOf(deps_.Clock.Now()) + kOneDay;
  if (const TEventItem* first = FirstMeetingOf(Meetings, day, *this)) {
    NotifyEventWithPrefix(*first, "Tommorrows:");
    NextEveningMessage = day + TimeOf(Settings().LateTime) - 15 * kOneMinute;
  }
}

}  // namespace rn
