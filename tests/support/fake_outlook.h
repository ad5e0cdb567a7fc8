// FakeOutlook: an in-memory stand-in for the Outlook object model, for tests.
//
// It is an IOutlookConnector: pass it to rn::test::EngineRig (or to
// TEngineDeps::Outlook) and the engine's connection reaches the calendar (9),
// tasks (13) and inbox (6) folders kept here in plain vectors. Tests edit the
// vectors directly, between passes: Items.Item(i) gives the i-th element
// (1-based) and reads it live, so a change shows on the next call, and
// SkipRecurrence moves the fake task itself.
//
// Failures: FailCall("Subject") makes every later call of that member throw
// EOleError; FailCall("Item", 3) lets three calls succeed first, then fails the
// rest (a countdown). A single item can fail on its own through its Fail set.
// Member names are the object model's: Connect, GetNamespace,
// GetDefaultFolder, Items, Count, Item, UnReadItemCount, Subject, Location,
// Start, IsRecurring, ReminderMinutesBeforeStart, GetRecurrencePattern,
// RecurrenceType, DayOfWeekMask, DayOfMonth, MonthOfYear, Interval,
// Occurrences, NoEndDate, PatternStartDate, PatternEndDate, StartTime,
// Instance, Series, StartDate, DueDate, ReminderTime, Complete, ReminderSet, SkipRecurrence,
// UnRead, Importance, ReceivedTime, Body, Quit.
//
// OnCall is told of every call first, so a test can act in the middle of a
// pass (request a stop at the third Item fetch, say).
//
// Counters: Calls(name) counts every call of a member, failed ones included;
// GetDefaultFolder and Item are also counted per folder as
// "GetDefaultFolder(9)" and "Item(9)".
//
// The counters and failure settings are guarded, so an engine thread may run
// while the test thread reads them; the item vectors are not: change them only
// while no pass is running.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "outlook/outlook.h"
#include "outlook/pattern_values.h"

namespace rn::test {

// A pattern's values, and which of its members fail.
struct FakeRecurrence : TPatternData {
  std::set<std::string> Fail;  // members of this pattern that throw EOleError
};

struct FakeAppointment {
  std::string Subject;
  std::string Location;
  TDateTime Start = 0;
  bool IsRecurring = false;
  int ReminderMinutesBeforeStart = 15;
  FakeRecurrence Pattern;
  bool Missing = false;        // Items.Item gives an empty result for it
  std::set<std::string> Fail;  // members of this item that throw EOleError
};

struct FakeTask {
  std::string Subject;
  TDateTime StartDate = kNoDate;
  TDateTime DueDate = kNoDate;
  TDateTime ReminderTime = 0;
  bool Complete = false;
  bool ReminderSet = false;
  bool IsRecurring = false;
  // SkipRecurrence moves the dates (and the reminder) this many days on, while
  // SkipsLeft is not 0 (negative: no end); it counts its calls in Skips.
  double RecurrenceDays = 7;
  int SkipsLeft = -1;
  int Skips = 0;
  bool Missing = false;
  std::set<std::string> Fail;
};

struct FakeMail {
  bool UnRead = true;
  int Importance = 1;  // 2 = high
  TDateTime ReceivedTime = 0;
  std::string Subject;
  std::string Body;
  bool Missing = false;
  std::set<std::string> Fail;
};

// The appointments of an iCalendar text as the local store reads them: for
// tests that want a series with all its calendar says of it (its Series).
std::vector<FakeAppointment> AppointmentsFromIcal(const std::string& text);

class FakeOutlook : public IOutlookConnector {
 public:
  std::vector<FakeAppointment> Appointments;  // the calendar folder (9)
  std::vector<FakeTask> Tasks;                // the tasks folder (13)
  std::vector<FakeMail> Mails;                // the inbox (6)

  bool NullNamespace = false;    // GetNamespace gives an empty result
  std::set<int> MissingFolders;  // GetDefaultFolder gives an empty result for these
  // When set (>= 0), UnReadItemCount answers this instead of counting.
  int UnReadOverride = -1;

  // Called with each member's name before the call is made (and before it
  // fails), outside the fake's lock: a test can stop the engine mid-pass here.
  std::function<void(const std::string&)> OnCall;

  std::shared_ptr<IOutlookApplication> Connect() override;

  // Every later call of `member` throws EOleError, after `after` successful ones.
  void FailCall(const std::string& member, int after = 0);
  void ClearFailures();
  int Calls(const std::string& member) const;
  void ClearCalls();

  // Used by the fake's objects: counts the call and throws when it must fail.
  void Enter(const std::string& member, const std::set<std::string>* itemFail = nullptr);

 private:
  mutable std::mutex mutex_;
  std::map<std::string, int> calls_;
  std::map<std::string, int> failAfter_;
};

}  // namespace rn::test
