// The Outlook object model as the scans use it: application, namespace,
// folders, items, and the appointment, recurrence-pattern, task and mail
// members. A failing call throws EOleError, which the engine's loop handles by
// closing and recreating the connection.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/datetime.h"

namespace rn {

class EOleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int olFolderInbox = 6;
inline constexpr int olFolderCalendar = 9;
inline constexpr int olFolderTasks = 13;
inline constexpr int olImportanceHigh = 2;

// A recurring series with everything its calendar says of it (outlook/ical_series.h).
class TRecurrenceSeries;

class IRecurrencePattern {
 public:
  virtual ~IRecurrencePattern() = default;
  // 0 daily, 1 weekly, 2 monthly, 3 monthly by weekday, 5 yearly, 6 yearly by weekday.
  virtual int RecurrenceType() = 0;
  // Sunday 1, Monday 2, Tuesday 4, Wednesday 8, Thursday 16, Friday 32, Saturday 64.
  virtual int DayOfWeekMask() = 0;
  virtual int DayOfMonth() = 0;
  virtual int MonthOfYear() = 0;
  virtual int Interval() = 0;
  virtual int Occurrences() = 0;
  virtual bool NoEndDate() = 0;
  virtual TDateTime PatternStartDate() = 0;
  virtual TDateTime PatternEndDate() = 0;  // 0: none
  virtual TDateTime StartTime() = 0;       // only its time of day counts
  // 3 and 6: which of the month's (or year's) matching days, 1 to 4, 5 the last.
  virtual int Instance() = 0;
  // The series as the calendar itself holds it, beyond what the members above
  // can say (added and removed dates, moved occurrences, its own time zone);
  // null when the members say it all. NextOccurrence answers from it.
  virtual std::shared_ptr<const TRecurrenceSeries> Series() = 0;
};

class IAppointmentItem {
 public:
  virtual ~IAppointmentItem() = default;
  virtual std::string Subject() = 0;
  virtual std::string Location() = 0;
  virtual TDateTime Start() = 0;
  virtual bool IsRecurring() = 0;
  virtual int ReminderMinutesBeforeStart() = 0;
  virtual std::shared_ptr<IRecurrencePattern> GetRecurrencePattern() = 0;
};

class ITaskItem {
 public:
  virtual ~ITaskItem() = default;
  virtual std::string Subject() = 0;
  virtual TDateTime StartDate() = 0;  // kNoDate: none
  virtual TDateTime DueDate() = 0;    // kNoDate: none
  virtual TDateTime ReminderTime() = 0;
  virtual bool Complete() = 0;
  virtual bool ReminderSet() = 0;
  virtual bool IsRecurring() = 0;
  // Moves the task on to its next occurrence; false when there is none.
  virtual bool SkipRecurrence() = 0;
};

class IMailItem {
 public:
  virtual ~IMailItem() = default;
  virtual bool UnRead() = 0;
  virtual int Importance() = 0;
  virtual TDateTime ReceivedTime() = 0;
  virtual std::string Subject() = 0;
  virtual std::string Body() = 0;
};

// What Items.Item hands back: one item, asked for the interface it has (the
// dispatch interface's QueryInterface). Each accessor returns null when the
// item is of another kind.
class IOutlookItem {
 public:
  virtual ~IOutlookItem() = default;
  virtual std::shared_ptr<IAppointmentItem> AsAppointment() { return nullptr; }
  virtual std::shared_ptr<ITaskItem> AsTask() { return nullptr; }
  virtual std::shared_ptr<IMailItem> AsMail() { return nullptr; }
};

class IItems {
 public:
  virtual ~IItems() = default;
  virtual int Count() = 0;
  // 1-based; may return null (an empty result).
  virtual std::shared_ptr<IOutlookItem> Item(int index) = 0;
};

class IMAPIFolder {
 public:
  virtual ~IMAPIFolder() = default;
  virtual std::shared_ptr<IItems> Items() = 0;  // fetched afresh for every use
  virtual int UnReadItemCount() = 0;
};

class INameSpace {
 public:
  virtual ~INameSpace() = default;
  // 9 calendar, 13 tasks, 6 inbox; may return null.
  virtual std::shared_ptr<IMAPIFolder> GetDefaultFolder(int folder) = 0;
};

class IOutlookApplication {
 public:
  virtual ~IOutlookApplication() = default;
  virtual std::shared_ptr<INameSpace> GetNamespace(const std::string& type) = 0;
  virtual void Quit() = 0;
};

// Makes application objects: the engine's connection attaches on first use
// and asks the application to quit when it is closed.
class IOutlookConnector {
 public:
  virtual ~IOutlookConnector() = default;
  virtual std::shared_ptr<IOutlookApplication> Connect() = 0;  // throws EOleError
};

}  // namespace rn
