// Dispatch on the engine's in-memory lists, driven with the injected clock:
// when a meeting reminder, a morning or evening message and the task messages
// go out, and what each marks or removes.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "platform/text.h"

namespace rn {
namespace {

constexpr const char* kPhone = "5551234@vtext.com";

// Friday 11 December 2026 at the given time.
TDateTime At(int hour, int minute, int second = 0) {
  return EncodeDateTime(2026, 12, 11, hour, minute, second);
}

struct Dispatch : ::testing::Test {
  // Not a global: the date functions may not be ready during static initialisation.
  const TDateTime kToday = EncodeDate(2026, 12, 11);
  test::EngineRig rig{At(8, 0)};
  TOutlookProcessor& engine = *rig.processor;

  Dispatch() {
    rig.settings.SetService(5);  // Verizon
    rig.settings.SetPin("5551234");
  }

  TEventItem& AddMeeting(const std::string& name, TDateTime notify) {
    auto r = std::make_unique<TEventItem>();
    r->Name = name;
    r->StartTime = notify + 15 * kOneMinute;
    r->NotifyTime = notify;
    EXPECT_TRUE(engine.Meetings.Add(name, std::move(r)));
    return engine.Meetings.At(engine.Meetings.Find(name));
  }

  TTaskEvent& AddTask(const std::string& name, TDateTime due) {
    auto r = std::make_unique<TTaskEvent>();
    r->Name = name;
    r->DueDate = due;
    r->PreDueTime = due - 1;
    EXPECT_TRUE(engine.Tasks.Add(name, std::move(r)));
    return engine.Tasks.At(engine.Tasks.Find(name));
  }

  std::vector<std::string> Subjects() const {
    std::vector<std::string> out;
    for (const TMailMessage& m : rig.smtp.Sent)
      out.push_back(m.Subject);
    return out;
  }

  // The log's messages, without their time stamps.
  std::vector<std::string> LogMessages() {
    std::vector<std::string> out;
    for (const std::string& line : engine.Log().Lines()) {
      const size_t p = line.find(": ");
      out.push_back(p == std::string::npos ? line : line.substr(p + 2));
    }
    return out;
  }
};

// ---- meeting reminders ----

TEST_F(Dispatch, MeetingReminderGoesOutFromTwoMinutesBeforeUntilAMinuteAfter) {
  struct Case {
    TDateTime pass;
    bool sent;
    bool marked;
  } cases[] = {
      {At(9, 57, 0), false, false},  // three minutes early: not yet
      {At(9, 58, 30), true, true},   // within two minutes ahead
      {At(10, 0, 30), true, true},   // half a minute past
      {At(10, 1, 10), false, true},  // more than a minute past: handled unsent
      {At(15, 59, 0), false, true},
  };
  const std::string key = "10:15:00@loc:Room 4:Budget review";
  for (const Case& c : cases) {
    test::EngineRig rig(c.pass);
    rig.settings.SetService(5);
    rig.settings.SetPin("5551234");
    rig.settings.SetMeetingNotify(true);
    auto r = std::make_unique<TEventItem>();
    r->Name = key;
    r->NotifyTime = At(10, 0);
    ASSERT_TRUE(rig.processor->Meetings.Add(key, std::move(r)));

    rig.processor->HandleNotify();
    SCOPED_TRACE(DateTimeText(c.pass));
    ASSERT_EQ(rig.processor->Meetings.Count(), 1);
    EXPECT_EQ(rig.processor->Meetings.At(0).Notified, c.marked);
    ASSERT_EQ(rig.smtp.Sent.size(), c.sent ? 1u : 0u);
    EXPECT_EQ(rig.processor->Changed, c.sent);
    if (c.sent) {
      EXPECT_EQ(rig.smtp.Sent[0].Subject, key);  // the key, exactly
      EXPECT_EQ(rig.smtp.Sent[0].To, kPhone);
      EXPECT_EQ(rig.smtp.Sent[0].Body, "");
      EXPECT_EQ(rig.debugOutput, (std::vector<std::string>{"Event:" + key + ":Notificed"}));
      EXPECT_EQ(rig.host.Statuses, (std::vector<std::string>{key}));
    }
  }
}

TEST_F(Dispatch, MeetingReminderIsSentOnceAcrossPasses) {
  rig.settings.SetMeetingNotify(true);
  AddMeeting("Standup", At(10, 0));
  for (TDateTime t = At(9, 50); t < At(10, 10); t += 2 * kOneMinute) {
    rig.clock.Set(t);
    engine.HandleNotify();
  }
  EXPECT_EQ(Subjects(), (std::vector<std::string>{"Standup"}));
}

TEST_F(Dispatch, HandleNotifyWritesItsLogLines) {
  rig.settings.SetMeetingNotify(true);
  rig.clock.Set(At(9, 0));
  AddMeeting("Early", At(8, 0));
  AddMeeting("Later", At(11, 0));
  engine.HandleNotify();
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{
                "HandleNotify cnt:2",
                "Check Times:" + DateTimeText(At(11, 0)) + " <= " + DateTimeText(At(9, 2)),
                "Early Already Notified",
                "HandleNotify - Exit",
            }));
}

TEST_F(Dispatch, SpentAndFarAheadMeetingsAreRemoved) {
  struct Case {
    TDateTime notify;
    bool stays;
  } cases[] = {
      {At(10, 0) - 6 * kOneHour + kOneMinute, true},   // not quite six hours past
      {At(10, 0) - 6 * kOneHour - kOneMinute, false},  // six hours past
      {At(10, 0) + 2 * kOneDay - kOneMinute, true},
      {At(10, 0) + 2 * kOneDay + kOneMinute, false},  // more than two days ahead
  };
  rig.clock.Set(At(10, 0));
  rig.settings.SetMeetingNotify(true);
  for (size_t i = 0; i < std::size(cases); ++i) {
    AddMeeting("m" + std::to_string(i), cases[i].notify);
  }
  engine.HandleNotify();
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(engine.Meetings.Find("m" + std::to_string(i)) >= 0, cases[i].stays) << i;
  }
  EXPECT_TRUE(rig.smtp.Sent.empty());
}

TEST_F(Dispatch, FailedSendStillMarksTheMeeting) {
  rig.settings.SetMeetingNotify(true);
  rig.smtp.FailWith = "550 refused";
  rig.clock.Set(At(9, 59));
  AddMeeting("Standup", At(10, 0));
  engine.HandleNotify();
  EXPECT_TRUE(engine.Meetings.At(0).Notified);
  EXPECT_TRUE(rig.debugOutput.empty());  // no ":Notificed" line for a failure
  EXPECT_EQ(rig.host.Errors, (std::vector<std::string>{"550 refused"}));
  engine.HandleNotify();
  EXPECT_EQ(rig.smtp.Events.size(), 1u);  // not tried again
}

TEST_F(Dispatch, StopRequestedSkipsTheRemainingMeetings) {
  rig.settings.SetMeetingNotify(true);
  rig.clock.Set(At(9, 59));
  AddMeeting("a", At(10, 0));
  AddMeeting("b", At(10, 0));
  engine.Stop();
  engine.HandleNotify();
  EXPECT_TRUE(rig.smtp.Sent.empty());
  EXPECT_FALSE(engine.Meetings.At(0).Notified);
  EXPECT_EQ(LogMessages().back(), "HandleNotify - Exit");
}

TEST_F(Dispatch, MorningMessageWithoutMeetingReminders) {
  rig.settings.SetMeetingNotify(false);
  rig.settings.SetMorningNotify(true);
  rig.clock.Set(At(7, 59));
  TEventItem& review = AddMeeting("08:15:00@loc::Review", At(8, 0));
  engine.HandleNotify();
  EXPECT_TRUE(rig.smtp.Sent.empty());
  EXPECT_FALSE(review.Notified);  // inside its two minutes, but the switch is off

  engine.MorningFirstMeeting();
  EXPECT_EQ(Subjects(), (std::vector<std::string>{"First:08:15:00@loc::Review"}));
  EXPECT_FALSE(review.Notified);

  rig.clock.Set(At(8, 1, 30));
  engine.HandleNotify();
  EXPECT_EQ(rig.smtp.Sent.size(), 1u);
  EXPECT_TRUE(review.Notified);  // handled once past, unsent
}

// ---- morning and evening messages ----

TEST_F(Dispatch, MorningMessageNamesTheDaysFirstMeetingTiesGoingToTheLaterKey) {
  rig.clock.Set(At(7, 10));
  AddMeeting("a 08:45", At(8, 30));
  AddMeeting("b 09:15", At(9, 0));
  AddMeeting("c 08:45", At(8, 30));  // equal time, later in key order
  AddMeeting("midnight", kToday);    // not strictly inside the day
  AddMeeting("yesterday", kToday - kOneHour);
  AddMeeting("tomorrow", kToday + kOneDay + kOneHour);

  engine.MorningFirstMeeting();
  EXPECT_EQ(Subjects(), (std::vector<std::string>{"First:c 08:45"}));
  EXPECT_EQ(engine.NextMorningMessage, kToday + kOneDay);
  EXPECT_TRUE(engine.Changed);
  for (int i = 0; i < engine.Meetings.Count(); ++i)
    EXPECT_FALSE(engine.Meetings.At(i).Notified);
}

TEST_F(Dispatch, EveningMessageNamesTomorrowsFirstMeeting) {
  rig.settings.SetLateTime(EncodeTime(22, 0));
  rig.clock.Set(At(21, 20));
  AddMeeting("today", At(21, 50));
  AddMeeting("x tomorrow late", kToday + kOneDay + 15 * kOneHour);
  AddMeeting("y tomorrow early", kToday + kOneDay + 8 * kOneHour);
  AddMeeting("day after", kToday + 2 * kOneDay + kOneHour);

  engine.EveningFirstMeeting();
  EXPECT_EQ(Subjects(), (std::vector<std::string>{"Tommorrows:y tomorrow early"}));
  EXPECT_DOUBLE_EQ(engine.NextEveningMessage,
                   kToday + kOneDay + EncodeTime(22, 0) - 15 * kOneMinute);
}

TEST_F(Dispatch, NoMeetingMeansNoSummaryAndTheNextTimeStays) {
  rig.settings.SetLateTime(EncodeTime(22, 0));
  rig.clock.Set(At(21, 20));
  AddMeeting("today", At(21, 50));
  AddMeeting("day after", kToday + 2 * kOneDay + kOneHour);
  const TDateTime evening = engine.NextEveningMessage;
  engine.EveningFirstMeeting();

  engine.Meetings.Delete(engine.Meetings.Find("today"));
  const TDateTime morning = engine.NextMorningMessage;
  engine.MorningFirstMeeting();

  EXPECT_TRUE(rig.smtp.Sent.empty());
  EXPECT_EQ(engine.NextEveningMessage, evening);
  EXPECT_EQ(engine.NextMorningMessage, morning);
  EXPECT_FALSE(engine.Changed);
}

// ---- tasks ----

TEST_F(Dispatch, TaskNotificationGoesOutAtItsReminderTimeAndNeverWithoutOne) {
  rig.settings.SetTaskNotify(true);
  TTaskEvent& withReminder = AddTask("Report:12/14/26", kToday + 3);
  withReminder.TaskNotifyTime = At(10, 0);
  TTaskEvent& without = AddTask("Taxes:12/14/26", kToday + 3);

  rig.clock.Set(At(9, 59));
  engine.HandleTaskNotify();
  EXPECT_TRUE(rig.smtp.Sent.empty());

  for (TDateTime t = At(10, 0); t < At(10, 10); t += 2 * kOneMinute) {
    rig.clock.Set(t);
    engine.HandleTaskNotify();
  }
  EXPECT_EQ(Subjects(), (std::vector<std::string>{"Report:12/14/26"}));
  EXPECT_TRUE(withReminder.Notified);
  EXPECT_EQ(withReminder.NotifiedAt, At(10, 0));
  EXPECT_FALSE(without.Notified);
  EXPECT_FALSE(withReminder.PreNotified);  // the day-before note is a switch of its own
}

TEST_F(Dispatch, DayBeforeNoteGoesOutWhenTheDayBeforeTheDueDateComes) {
  rig.settings.SetTaskPreNotify(true);
  TTaskEvent& task = AddTask("Report:12/12/26", kToday + 1);  // PreDueTime: today 00:00
  TTaskEvent& later = AddTask("Later:12/20/26", kToday + 9);
  TTaskEvent& noDate = AddTask("Someday", 0);
  noDate.PreDueTime = 0;

  rig.clock.Set(kToday - kOneMinute);
  engine.HandleTaskNotify();
  EXPECT_TRUE(rig.smtp.Sent.empty());

  rig.clock.Set(At(7, 0));
  engine.HandleTaskNotify();
  engine.HandleTaskNotify();
  EXPECT_EQ(Subjects(), (std::vector<std::string>{"Report:12/12/26"}));
  EXPECT_TRUE(task.PreNotified);
  EXPECT_EQ(task.NotifiedAt, At(7, 0));
  EXPECT_FALSE(task.Notified);
  EXPECT_FALSE(later.PreNotified);
  EXPECT_FALSE(noDate.PreNotified);
}

TEST_F(Dispatch, OverdueReminderRepeatsByTheRemindPeriod) {
  struct Case {
    int32_t setting;
    double period;
    int32_t settingAfter;
  } cases[] = {
      {0, kOneHour, 0},    {1, 12 * kOneHour, 1}, {2, kOneDay, 2},
      {3, 7 * kOneDay, 3}, {7, kOneDay, 2},       {-1, kOneDay, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    test::EngineRig rig(At(9, 0));
    rig.settings.SetTaskReminder(true);
    rig.settings.SetTaskRemindPeriod(c.setting);
    auto r = std::make_unique<TTaskEvent>();
    r->Name = "Overdue:12/10/26";
    r->DueDate = kToday - 1;
    const std::string key = r->Name;
    ASSERT_TRUE(rig.processor->Tasks.Add(key, std::move(r)));

    rig.processor->HandleTaskNotify();
    ASSERT_EQ(rig.smtp.Sent.size(), 1u);  // RemindTime 0: at once
    EXPECT_DOUBLE_EQ(rig.processor->Tasks.At(0).RemindTime, At(9, 0) + c.period);
    EXPECT_EQ(rig.settings.Snapshot().TaskRemindPeriod, c.settingAfter);

    rig.clock.Set(At(9, 0) + c.period - kOneMinute);
    rig.processor->HandleTaskNotify();
    EXPECT_EQ(rig.smtp.Sent.size(), 1u);
    rig.clock.Set(At(9, 0) + c.period + kOneMinute);
    rig.processor->HandleTaskNotify();
    EXPECT_EQ(rig.smtp.Sent.size(), 2u);
  }
}

TEST_F(Dispatch, HourlyRemindersOnPassesTwoMinutesApart) {
  rig.settings.SetTaskReminder(true);
  rig.settings.SetTaskRemindPeriod(0);
  AddTask("Overdue:12/10/26", kToday - 1);
  std::vector<TDateTime> sentAt;
  for (int minute = 0; minute < 180; minute += 2) {
    rig.clock.Set(At(8, 0) + minute * kOneMinute);
    const size_t before = rig.smtp.Sent.size();
    engine.HandleTaskNotify();
    if (rig.smtp.Sent.size() > before)
      sentAt.push_back(rig.clock.Now());
  }
  ASSERT_EQ(sentAt.size(), 3u);
  EXPECT_EQ(sentAt[0], At(8, 0));
  for (size_t i = 1; i < sentAt.size(); ++i) {
    const double gap = (sentAt[i] - sentAt[i - 1]) / kOneMinute;
    EXPECT_GE(gap, 59.9);
    EXPECT_LE(gap, 62.1);
  }
}

TEST_F(Dispatch, NoOverdueReminderBeforeTheDueDateOrForACompletedTask) {
  rig.settings.SetTaskNotify(true);
  rig.settings.SetTaskPreNotify(true);
  rig.settings.SetTaskReminder(true);
  rig.clock.Set(At(9, 0));
  AddTask("Future:12/14/26", kToday + 3);
  TTaskEvent& done = AddTask("Done:12/10/26", kToday - 1);
  done.Complete = true;
  done.TaskNotifyTime = At(8, 0);
  engine.HandleTaskNotify();
  EXPECT_TRUE(rig.smtp.Sent.empty());
  EXPECT_EQ(engine.Tasks.Count(), 2);
}

TEST_F(Dispatch, CompletedTaskIsRemovedTwoDaysAfterItsDueDate) {
  rig.clock.Set(At(9, 0));
  AddTask("done 3 days past", kToday - 3).Complete = true;
  AddTask("open 3 days past", kToday - 3);
  AddTask("done yesterday", kToday - 1).Complete = true;
  engine.HandleTaskNotify();
  EXPECT_EQ(engine.Tasks.Find("done 3 days past"), -1);
  EXPECT_GE(engine.Tasks.Find("open 3 days past"), 0);
  EXPECT_GE(engine.Tasks.Find("done yesterday"), 0);
}

TEST_F(Dispatch, FailedTaskSendStillMarks) {
  rig.settings.SetTaskNotify(true);
  rig.settings.SetTaskPreNotify(true);
  rig.settings.SetTaskReminder(true);
  rig.settings.SetTaskRemindPeriod(2);
  rig.smtp.FailWith = "connection refused";
  rig.clock.Set(At(9, 0));
  TTaskEvent& task = AddTask("Report:12/12/26", kToday + 1);
  task.TaskNotifyTime = At(8, 0);
  TTaskEvent& overdue = AddTask("Taxes:12/10/26", kToday - 1);
  overdue.PreNotified = true;
  engine.HandleTaskNotify();
  EXPECT_EQ(rig.smtp.Events.size(), 3u);  // notice, day-before note, overdue reminder
  EXPECT_TRUE(task.Notified);
  EXPECT_TRUE(task.PreNotified);
  EXPECT_DOUBLE_EQ(overdue.RemindTime, At(9, 0) + kOneDay);
  engine.HandleTaskNotify();
  EXPECT_EQ(rig.smtp.Events.size(), 3u);
  EXPECT_TRUE(rig.debugOutput.empty());
}

// Old unfinished tasks met at the first start: a notice more than a day late
// and a day-before note for a task already due go unsent but are marked, so
// they are never sent later either; the overdue reminder speaks for them.
TEST_F(Dispatch, LateTaskNoticesAreMarkedWithoutAMessage) {
  const TDateTime nineYearsAgo = EncodeDate(2017, 12, 11);
  const struct {
    const char* what;
    TDateTime notify;  // TaskNotifyTime, 0: none
    TDateTime due;
    bool reminder;  // TaskReminder
    std::vector<std::string> sent;
    bool notified, preNotified;
  } cases[] = {
      {"notice an hour late", At(8, 0), kToday + 3, false, {"T"}, true, false},
      {"notice a day late", At(9, 0) - kOneDay, kToday + 3, false, {"T"}, true, false},
      {"notice of 1998", EncodeDateTime(1998, 5, 4, 9, 0), kToday + 3, false, {}, true, false},
      {"day-before note, due tomorrow", 0, kToday + 1, false, {"T"}, false, true},
      {"day-before note, due today", 0, kToday, false, {}, false, true},
      {"due nine years ago",
       EncodeDateTime(1998, 5, 4, 9, 0),
       nineYearsAgo,
       true,
       {"T"},
       true,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::EngineRig rig(At(9, 0));
    rig.settings.SetTaskNotify(true);
    rig.settings.SetTaskPreNotify(true);
    rig.settings.SetTaskReminder(c.reminder);
    auto r = std::make_unique<TTaskEvent>();
    r->Name = "T";
    r->DueDate = c.due;
    r->PreDueTime = c.due - 1;
    r->TaskNotifyTime = c.notify;
    ASSERT_TRUE(rig.processor->Tasks.Add("T", std::move(r)));
    rig.processor->HandleTaskNotify();
    rig.clock.Advance(kOneHour);
    rig.processor->HandleTaskNotify();  // marked: not sent later either

    std::vector<std::string> sent;
    for (const TMailMessage& m : rig.smtp.Sent)
      sent.push_back(m.Subject);
    EXPECT_EQ(sent, c.sent);
    const TTaskEvent& task = rig.processor->Tasks.At(0);
    EXPECT_EQ(task.Notified, c.notified);
    EXPECT_EQ(task.PreNotified, c.preNotified);
  }
}

TEST_F(Dispatch, TaskSwitchesOffSendNothing) {
  rig.clock.Set(At(9, 0));
  TTaskEvent& task = AddTask("Report:12/10/26", kToday - 1);
  task.TaskNotifyTime = At(8, 0);
  engine.HandleTaskNotify();
  EXPECT_TRUE(rig.smtp.Sent.empty());
  EXPECT_FALSE(task.Notified);
  EXPECT_FALSE(task.PreNotified);
  EXPECT_EQ(task.RemindTime, 0);
}

}  // namespace
}  // namespace rn
