// The task pass on the fake Outlook: which tasks it records and how, the
// moving on of overdue recurring tasks, completion reaching a listed record,
// its slices, gate, stop and failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/text.h"
#include "scan_fixture.h"

namespace rn::test {
namespace {

// Days of March 2026; the scan runs on Tuesday the 10th at 10:00.
TDateTime Mar(int day, int hour = 0, int minute = 0) {
  return EncodeDateTime(2026, 3, day, hour, minute);
}

FakeTask Task(const std::string& subject, TDateTime start, TDateTime due) {
  FakeTask t;
  t.Subject = subject;
  t.StartDate = start;
  t.DueDate = due;
  return t;
}

std::string Key(const std::string& subject, TDateTime dueDay) {
  return subject + ":" + ShortDateText(dueDay);
}

class TaskScan : public ScanTest {};

TEST(TaskScanSelection, RecordsTasksWithinADayUnlessBothDatesHavePassed) {
  const struct {
    const char* what;
    TDateTime start, due;
    bool complete, taskReminder, recorded;
  } cases[] = {
      {"due tomorrow, no start date", kNoDate, Mar(11), false, false, true},
      {"started yesterday, due in a week", Mar(9), Mar(17), false, false, true},
      {"starts within a day, due in a week", Mar(11), Mar(17), false, false, true},
      {"starts in two days, due in a week", Mar(12), Mar(17), false, false, false},
      {"start and due both passed", Mar(1), Mar(9), false, true, false},
      {"overdue, no start date, no overdue reminders", kNoDate, Mar(9), false, false, false},
      {"overdue, no start date, overdue reminders on", kNoDate, Mar(9), false, true, true},
      {"neither start nor due date", kNoDate, kNoDate, false, true, false},
      {"completed", kNoDate, Mar(11), true, true, false},
  };
  for (const auto& c : cases) {
    FakeOutlook outlook;
    outlook.Tasks.push_back(Task("Task", c.start, c.due));
    outlook.Tasks.back().Complete = c.complete;
    EngineRig rig(ScanNow(), &outlook);
    rig.settings.SetTaskReminder(c.taskReminder);
    rig.processor->CheckNewTasks();
    EXPECT_EQ(rig.processor->Tasks.Count(), c.recorded ? 1 : 0) << c.what;
  }
}

TEST_F(TaskScan, MakesTheRecordFromTheTask) {
  FakeTask task = Task("Send report", Mar(9), Mar(11));
  task.ReminderSet = true;
  task.ReminderTime = Mar(11, 9);
  outlook.Tasks.push_back(task);
  processor.CheckNewTasks();

  const std::string key = Key("Send report", Mar(11));
  ASSERT_EQ(Keys(processor.Tasks), std::vector<std::string>{key});
  const TTaskEvent& record = processor.Tasks.At(0);
  EXPECT_EQ(record.Name, key);
  EXPECT_EQ(record.StartDate, Mar(9));
  EXPECT_EQ(record.DueDate, Mar(11));
  EXPECT_EQ(record.RemindTime, Mar(11, 9));
  EXPECT_EQ(record.TaskNotifyTime, Mar(11, 9));  // the notice goes out at the reminder
  EXPECT_EQ(record.PreDueTime, Mar(10));
  EXPECT_FALSE(record.Notified);
  EXPECT_FALSE(record.PreNotified);
  EXPECT_EQ(record.NotifiedAt, 0);
  EXPECT_FALSE(record.Complete);

  EXPECT_EQ(rig.debugOutput, std::vector<std::string>{"Find Task :" + key});
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Getting Task Folder", "Got Task Folder",
                                                  "Adding Task:Send report"}));
  EXPECT_EQ(rig.host.Statuses, std::vector<std::string>{"Checking for New Tasks...1"});
  EXPECT_EQ(FileLines("Test-Task.NST"), std::vector<std::string>{key});
  EXPECT_EQ(processor.NextTaskScan, ScanNow() + kOneHour);
  EXPECT_EQ(processor.TaskPosition, 1);
}

TEST_F(TaskScan, TaskWithoutReminderHasNoReminderOrNoticeTime) {
  FakeTask task = Task("Quiet", kNoDate, Mar(11));
  task.ReminderSet = false;
  task.ReminderTime = Mar(11, 9);  // a stale value Outlook keeps
  outlook.Tasks.push_back(task);
  processor.CheckNewTasks();
  ASSERT_EQ(processor.Tasks.Count(), 1);
  EXPECT_EQ(processor.Tasks.At(0).RemindTime, 0);
  EXPECT_EQ(processor.Tasks.At(0).TaskNotifyTime, 0);
}

TEST(TaskScanDueDay, DueDateIsRoundedToTheNearestDayAfterAddingATenth) {
  const struct {
    TDateTime due, day;
  } cases[] = {
      {Mar(11), Mar(11)},         // midnight: its own day
      {Mar(11, 9), Mar(11)},      // .375 + .1
      {Mar(11, 12), Mar(12)},     // .5 + .1
      {Mar(11, 23), Mar(12)},     // the evening before
      {Mar(11, 9, 36), Mar(11)},  // .4 + .1 is a half: to the even day, 46092
      {Mar(12, 9, 36), Mar(13)},  // 46093.5 goes up to 46094
  };
  for (const auto& c : cases) {
    FakeOutlook outlook;
    outlook.Tasks.push_back(Task("Due", Mar(9), c.due));
    EngineRig rig(ScanNow(), &outlook);
    rig.processor->CheckNewTasks();
    ASSERT_EQ(rig.processor->Tasks.Count(), 1) << DateTimeText(c.due);
    EXPECT_EQ(rig.processor->Tasks.At(0).DueDate, c.day) << DateTimeText(c.due);
    EXPECT_EQ(rig.processor->Tasks.Key(0), Key("Due", c.day));
  }
}

TEST_F(TaskScan, OverdueRecurringTaskIsMovedOnToItsCurrentOccurrence) {
  FakeTask task = Task("Water plants", Mar(1), Mar(2));
  task.IsRecurring = true;
  task.RecurrenceDays = 3;  // 4/5, 7/8, 10/11 March
  task.ReminderSet = true;
  task.ReminderTime = Mar(2, 9);
  outlook.Tasks.push_back(task);
  processor.CheckNewTasks();

  EXPECT_EQ(outlook.Tasks[0].Skips, 3);
  ASSERT_EQ(processor.Tasks.Count(), 1);
  const TTaskEvent& record = processor.Tasks.At(0);
  EXPECT_EQ(record.Name, Key("Water plants", Mar(11)));
  EXPECT_EQ(record.StartDate, Mar(10));
  EXPECT_EQ(record.DueDate, Mar(11));
  EXPECT_EQ(record.RemindTime, Mar(11, 9));
  EXPECT_EQ(record.TaskNotifyTime, Mar(11, 9));
}

TEST_F(TaskScan, RecurringTaskWithoutStartDateMovesOncePerPass) {
  FakeTask task = Task("Pay rent", kNoDate, Mar(1));
  task.IsRecurring = true;
  task.RecurrenceDays = 3;
  outlook.Tasks.push_back(task);
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Tasks[0].Skips, 1);
  EXPECT_EQ(outlook.Tasks[0].DueDate, Mar(4));  // still overdue
  EXPECT_EQ(processor.Tasks.Count(), 0);        // and overdue reminders are off

  rig.clock.Advance(kOneHour);
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Tasks[0].Skips, 2);
  EXPECT_EQ(outlook.Tasks[0].DueDate, Mar(7));
}

TEST_F(TaskScan, RecurringTaskWithNoNextOccurrenceIsMovedOnlyOnce) {
  FakeTask task = Task("Last one", Mar(1), Mar(2));
  task.IsRecurring = true;
  task.SkipsLeft = 0;
  outlook.Tasks.push_back(task);
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Tasks[0].Skips, 1);
  EXPECT_EQ(processor.Tasks.Count(), 0);
}

TEST(TaskScanMoves, MovingOnARecurringTaskIsBoundedAndHonoursAStop) {
  // A task that Outlook says it moved but that stays where it is, one that
  // creeps on a second a move and never catches up, and a stop asked for at
  // the third move. Past 10 000 moves the fake fails the call, so a pass
  // that would never end ends with a failure instead.
  const struct {
    const char* what;
    double recurrenceDays;
    int stopAtMove;  // 0: none
    int mostMoves;
    bool followingTaskRecorded;
  } cases[] = {
      {"moved without moving", 0, 0, 1, true},
      {"creeping on", kOneSecond, 0, 1000, true},
      {"stopped", 1, 3, 3, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeOutlook outlook;
    FakeTask task = Task("Stuck", Mar(1), Mar(1, 1));
    task.IsRecurring = true;
    task.RecurrenceDays = c.recurrenceDays;
    outlook.Tasks.push_back(task);
    outlook.Tasks.push_back(Task("Next", kNoDate, Mar(11)));
    EngineRig rig(ScanNow(), &outlook);
    int moves = 0;
    outlook.OnCall = [&](const std::string& member) {
      if (member != "SkipRecurrence")
        return;
      if (++moves > 10000)
        throw EOleError("moved too often");
      if (moves == c.stopAtMove)
        rig.processor->Stop();
    };
    EXPECT_NO_THROW(rig.processor->CheckNewTasks());
    EXPECT_GE(outlook.Tasks[0].Skips, 1);
    EXPECT_LE(outlook.Tasks[0].Skips, c.mostMoves);
    EXPECT_EQ(rig.processor->Tasks.Find(Key("Next", Mar(11))) >= 0, c.followingTaskRecorded);
  }
}

TEST_F(TaskScan, CurrentRecurringTaskKeepsOutlooksReminder) {
  FakeTask task = Task("Weekly report", Mar(10), Mar(11));
  task.IsRecurring = true;
  task.ReminderSet = true;
  task.ReminderTime = Mar(11, 8);
  outlook.Tasks.push_back(task);
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Tasks[0].Skips, 0);
  ASSERT_EQ(processor.Tasks.Count(), 1);
  EXPECT_EQ(processor.Tasks.At(0).RemindTime, Mar(11, 8));
  EXPECT_EQ(processor.Tasks.At(0).TaskNotifyTime, Mar(11, 8));
}

TEST_F(TaskScan, TaskSeenAgainKeepsItsRecord) {
  FakeTask task = Task("Send report", Mar(9), Mar(11));
  task.ReminderSet = true;
  task.ReminderTime = Mar(11, 9);
  outlook.Tasks.push_back(task);
  processor.CheckNewTasks();
  ASSERT_EQ(processor.Tasks.Count(), 1);
  processor.Tasks.At(0).Notified = true;
  processor.Tasks.At(0).NotifiedAt = Mar(10, 10);

  outlook.Tasks[0].StartDate = Mar(10);
  outlook.Tasks[0].ReminderTime = Mar(11, 7);
  rig.clock.Advance(kOneHour);
  processor.CheckNewTasks();
  ASSERT_EQ(processor.Tasks.Count(), 1);
  const TTaskEvent& record = processor.Tasks.At(0);
  EXPECT_EQ(record.StartDate, Mar(9));
  EXPECT_EQ(record.RemindTime, Mar(11, 9));
  EXPECT_TRUE(record.Notified);
  EXPECT_EQ(record.NotifiedAt, Mar(10, 10));
  EXPECT_EQ(CountLogged("Repeat:Send report"), 1);
  EXPECT_EQ(CountLogged("Adding Task:Send report"), 1);
}

// Completion reaches the listed record, whatever the task's dates, so that
// dispatch stops reminding and can remove it; a completed task is never added.
TEST_F(TaskScan, ListedTaskMetCompleteIsMarkedComplete) {
  outlook.Tasks.push_back(Task("Done soon", kNoDate, Mar(11)));
  outlook.Tasks.push_back(Task("Done late", Mar(8), Mar(11)));
  processor.CheckNewTasks();
  ASSERT_EQ(processor.Tasks.Count(), 2);

  outlook.Tasks[0].Complete = true;
  outlook.Tasks[1].Complete = true;
  outlook.Tasks.push_back(Task("Done, never listed", kNoDate, Mar(11)));
  outlook.Tasks.back().Complete = true;
  rig.clock.Advance(2 * kOneDay);  // "Done late" is now past its dates
  processor.CheckNewTasks();
  ASSERT_EQ(processor.Tasks.Count(), 2);
  EXPECT_TRUE(processor.Tasks.At(processor.Tasks.Find(Key("Done soon", Mar(11)))).Complete);
  EXPECT_TRUE(processor.Tasks.At(processor.Tasks.Find(Key("Done late", Mar(11)))).Complete);
  EXPECT_LT(processor.Tasks.Find(Key("Done, never listed", Mar(11))), 0);
}

TEST_F(TaskScan, TaskReopenedInOutlookIsNoLongerComplete) {
  outlook.Tasks.push_back(Task("Reopened", kNoDate, Mar(11)));
  processor.CheckNewTasks();
  ASSERT_EQ(processor.Tasks.Count(), 1);
  processor.Tasks.At(0).Complete = true;
  rig.clock.Advance(kOneHour);
  processor.CheckNewTasks();
  EXPECT_FALSE(processor.Tasks.At(0).Complete);
}

TEST_F(TaskScan, WalksInSlicesOf120AndStartsAgainAfterTheLast) {
  for (int i = 0; i < 130; ++i)
    outlook.Tasks.push_back(Task("T" + std::to_string(i), kNoDate, kNoDate));
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Calls("Item"), 120);
  EXPECT_EQ(processor.TaskPosition, 121);

  rig.clock.Advance(kOneHour);
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Calls("Item"), 130);
  EXPECT_EQ(processor.TaskPosition, 1);
  EXPECT_EQ(rig.host.Statuses, (std::vector<std::string>{"Checking for New Tasks...1",
                                                         "Checking for New Tasks...121"}));
}

TEST_F(TaskScan, RunsAtMostHourly) {
  outlook.Tasks.push_back(Task("T", kNoDate, Mar(11)));
  processor.CheckNewTasks();
  rig.clock.Advance(59 * kOneMinute);
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Calls("GetDefaultFolder(13)"), 1);
  rig.clock.Set(ScanNow() + kOneHour);
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Calls("GetDefaultFolder(13)"), 2);
}

TEST_F(TaskScan, StopMidPassWritesNothingAndKeepsThePosition) {
  for (int i = 0; i < 5; ++i)
    outlook.Tasks.push_back(Task("T" + std::to_string(i), kNoDate, Mar(11)));
  int fetches = 0;
  outlook.OnCall = [&](const std::string& member) {
    if (member == "Item" && ++fetches == 2)
      processor.Stop();
  };
  processor.CheckNewTasks();
  EXPECT_EQ(outlook.Calls("Item"), 2);
  EXPECT_EQ(processor.TaskPosition, 3);
  EXPECT_EQ(processor.Tasks.Count(), 2);
  EXPECT_FALSE(FileExists("Test-Task.NST"));
}

TEST_F(TaskScan, FailureInTheWalkEndsThePassForTheLoop) {
  outlook.Tasks.push_back(Task("Fine", kNoDate, Mar(11)));
  outlook.Tasks.push_back(Task("Broken", kNoDate, Mar(11)));
  outlook.Tasks.back().Fail = {"DueDate"};
  outlook.Tasks.push_back(Task("Never reached", kNoDate, Mar(11)));
  EXPECT_THROW(processor.CheckNewTasks(), EOleError);
  EXPECT_EQ(processor.TaskPosition, 3);  // past the task that failed
  EXPECT_EQ(Keys(processor.Tasks), std::vector<std::string>{Key("Fine", Mar(11))});
  EXPECT_FALSE(FileExists("Test-Task.NST"));
  EXPECT_EQ(processor.NextTaskScan, ScanNow() + kOneHour);
}

TEST_F(TaskScan, FailedFetchLeavesThePositionOnThatTask) {
  outlook.Tasks.push_back(Task("T", kNoDate, Mar(11)));
  outlook.FailCall("Item");
  EXPECT_THROW(processor.CheckNewTasks(), EOleError);
  EXPECT_EQ(processor.TaskPosition, 1);
}

TEST(TaskScanFailure, NoTaskFolderReachesTheLoop) {
  for (bool nullNamespace : {true, false}) {
    FakeOutlook outlook;
    outlook.NullNamespace = nullNamespace;
    outlook.MissingFolders = {olFolderTasks};
    EngineRig rig(ScanNow(), &outlook);
    EXPECT_THROW(rig.processor->CheckNewTasks(), EOleError);
  }
}

TEST_F(TaskScan, KeyDumpFailureIsIgnoredSilently) {
  std::filesystem::create_directory(rig.folder / "Test-Task.NST");
  outlook.Tasks.push_back(Task("T", kNoDate, Mar(11)));
  EXPECT_NO_THROW(processor.CheckNewTasks());
  EXPECT_EQ(processor.Tasks.Count(), 1);
  EXPECT_EQ(processor.TaskPosition, 1);
  for (const std::string& m : Messages())
    EXPECT_EQ(m.find("Error"), std::string::npos) << m;
}

TEST_F(TaskScan, EmptyItemIsPassedOver) {
  outlook.Tasks.push_back(Task("Gone", kNoDate, Mar(11)));
  outlook.Tasks.back().Missing = true;
  outlook.Tasks.push_back(Task("Here", kNoDate, Mar(11)));
  processor.CheckNewTasks();
  EXPECT_EQ(Keys(processor.Tasks), std::vector<std::string>{Key("Here", Mar(11))});
}

TEST_F(TaskScan, LongSubjectIsCutTo255) {
  const std::string subject(300, 'x');
  outlook.Tasks.push_back(Task(subject, kNoDate, Mar(11)));
  outlook.Tasks.push_back(Task(subject + "y", kNoDate, Mar(11)));
  processor.CheckNewTasks();
  ASSERT_EQ(processor.Tasks.Count(), 1);
  EXPECT_EQ(processor.Tasks.Key(0), std::string(255, 'x'));
  EXPECT_EQ(processor.Tasks.At(0).Name, std::string(255, 'x'));
}

}  // namespace
}  // namespace rn::test
