// CheckNewTasks, the task pass: at most hourly it walks the next 120 tasks of
// the default tasks folder and records each task whose start or due date is
// no more than a day ahead, unless both have passed. An overdue recurring task
// is first moved on in Outlook to its current occurrence. A task met complete
// marks its record, so dispatch can let it go.
#include <cmath>
#include <memory>
#include <string>

#include "engine/processor.h"
#include "outlook/key_dump.h"
#include "platform/text.h"

namespace rn {
namespace {

constexpr double kTaskScanEvery = kOneHour;
constexpr int kTasksPerPass = 120;
// The most SkipRecurrence calls for one task in one pass: more than a year of
// a daily task. A task further behind moves on in the passes after.
constexpr int kMovesPerTask = 400;

// The due day: the whole number nearest to the due date plus 0.1, halves to
// even (the default rounding mode), so a due date at midnight is its own day.
TDateTime DueDay(TDateTime due) {
  return std::nearbyint(due + 0.1);
}

}  // namespace

void TOutlookProcessor::CheckNewTasks() {
  const TDateTime start = deps_.Clock.Now();
  if (start < NextTaskScan)
    return;
  NextTaskScan = start + kTaskScanEvery;
  int passCount = 0;
  if (TaskPosition < 1)
    TaskPosition = 1;
  const TDateTime today = DateOf(start);

  GetTaskFolder();
  ShowStatus("Checking for New Tasks..." + std::to_string(TaskPosition));

  // Any failure in here leaves the pass for the loop's handler, with the
  // position already past a task that was fetched.
  while (TaskFolder->Items()->Count() >= TaskPosition && passCount < kTasksPerPass) {
    // A stop writes no file and leaves the position where it is.
    if (StopRequested())
      return;
    const std::shared_ptr<IOutlookItem> item = TaskFolder->Items()->Item(TaskPosition);
    ++passCount;
    ++TaskPosition;
    const std::shared_ptr<ITaskItem> task = item ? item->AsTask() : nullptr;
    if (!task)
      continue;

    TDateTime S = 0, U = 0, R = 0;
    if (task->IsRecurring()) {
      const TDateTime startDate = task->StartDate();
      bool skip = (startDate < today || startDate == kNoDate) && task->DueDate() < today;
      const bool skipped = skip;
      S = startDate;
      U = task->DueDate();
      // Bounded: a move that leaves the dates where they were ends it, and so
      // do a stop and the most moves one task gets in one pass.
      for (int moves = 0; skip; ++moves) {
        if (StopRequested())
          return;
        const TDateTime wasS = S, wasU = U;
        // A missing start date counts as passed only for the first move.
        skip = task->SkipRecurrence() && task->StartDate() < today && task->DueDate() < today;
        S = task->StartDate();
        U = task->DueDate();
        if (task->ReminderSet())
          R = task->ReminderTime();
        if (!(S > wasS || U > wasU) || moves + 1 >= kMovesPerTask)
          skip = false;
      }
      S = task->StartDate();
      U = task->DueDate();
      // An occurrence that needed no moving keeps Outlook's reminder too.
      if (!skipped && task->ReminderSet())
        R = task->ReminderTime();
    } else {
      S = task->StartDate();
      U = task->DueDate();
      if (task->ReminderSet())
        R = task->ReminderTime();
    }

    const std::string subject = task->Subject();
    const TDateTime dueDay = DueDay(U);
    const std::string key = CutUtf8(subject + ":" + ShortDateText(dueDay), kShortStringMax);

    if (task->Complete()) {
      // Never recorded, but a listed task learns that it is done, whatever
      // its dates, so dispatch stops reminding and can remove it.
      const int listed = Tasks.Find(key);
      if (listed >= 0)
        Tasks.At(listed).Complete = true;
      continue;
    }

    const TDateTime now = deps_.Clock.Now();
    if (now > S && now > U)
      continue;
    if (now + kOneDay < S && now + kOneDay < U)
      continue;

    auto record = std::make_unique<TTaskEvent>();
    record->Name = key;
    record->StartDate = S;
    record->DueDate = dueDay;
    record->RemindTime = R;
    record->PreDueTime = dueDay - 1;
    // The task notice goes out at the reminder time; none without reminder.
    record->TaskNotifyTime = R;
    if (deps_.DebugOutput)
      deps_.DebugOutput("Find Task :" + key);

    const int listed = Tasks.Find(key);
    if (listed >= 0) {
      DebugLog("Repeat:" + subject);
      Tasks.At(listed).Complete = false;
    } else if (now < record->DueDate || Settings().TaskReminder) {
      DebugLog("Adding Task:" + subject);
      Tasks.Add(key, std::move(record));
    }
  }

  try {
    WriteKeyDump(deps_.Folder / "Test-Task.NST", Tasks);
  } catch (const std::exception&) {
    // A diagnostic only: its failure is not worth a line.
  }
  if (TaskFolder->Items()->Count() < TaskPosition)
    TaskPosition = 1;
}

}  // namespace rn
