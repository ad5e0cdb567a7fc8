// The engine's loop: start and stop, the order of a pass, the notification
// window, the wait between passes and the recovery from a failing pass. The
// loop runs on the test's thread; the fake wake event moves the fake clock and
// its hook stops the engine, so nothing waits on real time.
#include "engine/processor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "engine/state_files.h"
#include "engine_fixture.h"

namespace rn::test {
namespace {

constexpr const char* kNoOutlookText =
    "Unable initilize Outlook connection.\r\nPlease verify Outlook is installed\r\n"
    "This program doesn't support Outlook Express";

// A day of the test's choosing; only its times matter.
TDateTime At(int hour, int minute, int second = 0) {
  return EncodeDateTime(2026, 3, 10, hour, minute, second);
}

// An Outlook whose folders are empty; it counts what the engine asks of it
// and can fail every folder request.
class CountingOutlook : public IOutlookConnector {
 public:
  std::shared_ptr<IOutlookApplication> Connect() override {
    ++Connects;
    if (FailConnect)
      throw EOleError("Outlook is not there");
    return std::make_shared<Application>(*this);
  }

  int Connects = 0;
  int Quits = 0;
  std::map<int, int> FolderRequests;
  bool FailConnect = false;
  std::string FailFolders;  // non-empty: every folder request throws this

 private:
  struct NoItems : IItems {
    int Count() override { return 0; }
    std::shared_ptr<IOutlookItem> Item(int) override { return nullptr; }
  };
  struct Folder : IMAPIFolder {
    std::shared_ptr<IItems> Items() override { return std::make_shared<NoItems>(); }
    int UnReadItemCount() override { return 0; }
  };
  struct NameSpace : INameSpace {
    explicit NameSpace(CountingOutlook& o) : outlook(o) {}
    std::shared_ptr<IMAPIFolder> GetDefaultFolder(int folder) override {
      ++outlook.FolderRequests[folder];
      if (!outlook.FailFolders.empty())
        throw EOleError(outlook.FailFolders);
      return std::make_shared<Folder>();
    }
    CountingOutlook& outlook;
  };
  struct Application : IOutlookApplication {
    explicit Application(CountingOutlook& o) : outlook(o) {}
    std::shared_ptr<INameSpace> GetNamespace(const std::string&) override {
      return std::make_shared<NameSpace>(outlook);
    }
    void Quit() override { ++outlook.Quits; }
    CountingOutlook& outlook;
  };
};

// A host that fails when it is shown a chosen status text: a way to make a
// pass fail at a known step without a scan.
class FailingHost : public RecordingHost {
 public:
  void ShowStatus(const std::string& text) override {
    RecordingHost::ShowStatus(text);
    if (text == FailOn && Failures != 0) {
      if (Failures > 0)
        --Failures;
      if (Ole)
        throw EOleError("call was rejected by callee");
      throw std::runtime_error("something else went wrong");
    }
  }
  std::string FailOn;
  int Failures = 0;  // how many times to fail; -1: always
  bool Ole = true;
};

// The engine wired to the counting Outlook, with a 07:00 to 19:00 window.
struct Engine {
  explicit Engine(TDateTime now) : rig(now, &outlook) {
    rig.settings.SetEarlyTime(EncodeTime(7, 0));
    rig.settings.SetLateTime(EncodeTime(19, 0));
  }
  TOutlookProcessor& engine() { return *rig.processor; }

  // Runs the engine's thread body here, stopping it on wait number `waits`.
  void RunUntilWait(size_t waits, std::function<void(size_t)> onWait = {}) {
    rig.wake.OnWait = [this, waits, onWait](unsigned) {
      const size_t n = rig.wake.Waits.size();
      if (onWait)
        onWait(n);
      if (n >= waits)
        engine().Stop();
    };
    engine().Execute();
  }

  CountingOutlook outlook;
  EngineRig rig;
};

// The log's messages without their time stamps.
std::vector<std::string> Messages(const TDebugLog& log) {
  std::vector<std::string> out;
  for (const std::string& line : log.Lines()) {
    const size_t mark = line.find(": ");
    out.push_back(mark == std::string::npos ? line : line.substr(mark + 2));
  }
  return out;
}

// Index of the first message at or after `from` that starts with `prefix`, or -1.
int Find(const std::vector<std::string>& messages, const std::string& prefix, int from = 0) {
  for (int i = from; i < static_cast<int>(messages.size()); ++i) {
    if (messages[i].rfind(prefix, 0) == 0)
      return i;
  }
  return -1;
}

template <class T>
void AddRecord(TSortedList<T>& list, std::unique_ptr<T> record) {
  const std::string key = record->Name;
  list.Add(key, std::move(record));
}

int CountOf(const std::vector<std::string>& texts, const std::string& text) {
  return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

TEST(ProcessorTest, CreationSetsTheScanAndMessageTimes) {
  Engine e(At(9, 0));
  EXPECT_DOUBLE_EQ(e.engine().NextCalendarScan, At(9, 0));
  EXPECT_DOUBLE_EQ(e.engine().NextInboxScan, At(9, 0));
  EXPECT_DOUBLE_EQ(e.engine().NextTaskScan, At(9, 0));
  EXPECT_DOUBLE_EQ(e.engine().NextMorningMessage, At(9, 0) - 1);
  EXPECT_DOUBLE_EQ(e.engine().NextEveningMessage, At(9, 0) - 1);
  EXPECT_TRUE(e.engine().EngineRunning());
  EXPECT_TRUE(e.engine().Debug());
  EXPECT_FALSE(e.engine().StopRequested());
  EXPECT_EQ(e.outlook.Connects, 0);  // nothing touches Outlook before the thread runs
}

TEST(ProcessorTest, WaitIsTwoMinutesFromFourMinutesBeforeTheWindowUntilItCloses) {
  struct Case {
    TDateTime now;
    unsigned wait;
  } cases[] = {
      {At(6, 55), kLongWaitMs},      // the window opens in five minutes
      {At(6, 57), kShortWaitMs},     // ... in three
      {At(12, 0), kShortWaitMs},     // inside the window
      {At(19, 0, 30), kLongWaitMs},  // after it closed
      {At(23, 59), kLongWaitMs},    {At(0, 30), kLongWaitMs},
  };
  for (const Case& c : cases) {
    Engine e(c.now);
    e.engine().WaitForNextPass();
    ASSERT_EQ(e.rig.wake.Waits.size(), 1u);
    EXPECT_EQ(e.rig.wake.Waits[0], c.wait) << DateTimeText(c.now);
    const auto messages = Messages(e.engine().Log());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Sleep:" + DateTimeText(c.now));
    EXPECT_EQ(messages[1], "Wake:" + DateTimeText(c.now + c.wait / 86400000.0));
  }
}

TEST(ProcessorTest, WaitResetsTheEventUnlessStopping) {
  Engine woken(At(12, 0));
  woken.rig.wake.Set();  // a test message, say
  woken.engine().WaitForNextPass();
  EXPECT_FALSE(woken.rig.wake.IsSet());

  Engine stopping(At(12, 0));
  stopping.engine().Stop();
  stopping.engine().WaitForNextPass();
  EXPECT_TRUE(stopping.rig.wake.IsSet());  // every later wait ends at once too
}

TEST(ProcessorTest, OutsideTheWindowAPassScansAndSavesButDispatchesNothing) {
  for (TDateTime now : {At(6, 0), At(19, 30)}) {
    Engine e(now);
    e.rig.settings.SetMeetingNotify(true);
    e.rig.settings.SetUrgentEmail(true);
    // A reminder due now: an in-window pass would send it.
    auto meeting = std::make_unique<TEventItem>();
    meeting->Name = "06:00:00 AM@loc:Room:Standup";
    meeting->StartTime = now + 10 * kOneMinute;
    meeting->NotifyTime = now;
    AddRecord(e.engine().Meetings, std::move(meeting));
    e.engine().NextCalendarScan = now + kOneHour;  // keep the scan off the record

    e.engine().RunPass();

    EXPECT_EQ(e.engine().PassCounter, 0);
    EXPECT_TRUE(e.rig.smtp.Sent.empty());
    EXPECT_FALSE(e.engine().Meetings.At(0).Notified);
    EXPECT_EQ(e.rig.host.Statuses, std::vector<std::string>{"Processor Idle."});
    EXPECT_TRUE(std::filesystem::exists(e.rig.folder / kNotifyFile));
    EXPECT_TRUE(std::filesystem::exists(e.rig.folder / kTaskFile));
    EXPECT_TRUE(std::filesystem::exists(e.rig.folder / kEmailFile));
    const auto messages = Messages(e.engine().Log());
    EXPECT_NE(Find(messages, "ProcessCheckes-End"), -1);
  }
}

TEST(ProcessorTest, InsideTheWindowAPassDispatches) {
  Engine e(At(9, 45));
  e.rig.settings.SetMeetingNotify(true);
  e.rig.settings.SetCustomEmail("phone@example.org");
  auto meeting = std::make_unique<TEventItem>();
  meeting->Name = "10:00:00@loc:Room:Review";
  meeting->StartTime = At(10, 0);
  meeting->NotifyTime = At(9, 45);
  AddRecord(e.engine().Meetings, std::move(meeting));
  e.engine().NextCalendarScan = At(11, 0);

  e.engine().RunPass();

  ASSERT_EQ(e.rig.smtp.Sent.size(), 1u);
  EXPECT_EQ(e.rig.smtp.Sent[0].Subject, "10:00:00@loc:Room:Review");
  EXPECT_EQ(e.rig.host.Statuses.front(), "Checking for current notifications.");
  EXPECT_EQ(e.rig.host.Statuses.back(), "Processor Idle.");
  EXPECT_EQ(e.engine().PassCounter, 1);
  // The pass saved again after the send, so the file knows it went out.
  TEventList saved;
  ReadNotifyFile(e.rig.folder / kNotifyFile, saved);
  ASSERT_EQ(saved.Count(), 1);
  EXPECT_TRUE(saved.At(0).Notified);
}

TEST(ProcessorTest, ScansRunOnlyForTheirSwitches) {
  struct Case {
    void (TSettings::*set)(bool);
    bool calendar, tasks;
  } cases[] = {
      {nullptr, false, false},
      {&TSettings::SetMeetingNotify, true, false},
      {&TSettings::SetMorningNotify, true, false},
      {&TSettings::SetEveningNotify, true, false},
      {&TSettings::SetTaskNotify, false, true},
      {&TSettings::SetTaskPreNotify, false, true},
      {&TSettings::SetTaskReminder, false, true},
      {&TSettings::SetUrgentEmail, false, false},
  };
  for (const Case& c : cases) {
    Engine e(At(5, 0));
    if (c.set)
      (e.rig.settings.*c.set)(true);
    e.engine().ProcessChecks();
    // A scan that runs moves its next time on before it reads anything.
    EXPECT_EQ(e.engine().NextCalendarScan > At(5, 0), c.calendar);
    EXPECT_EQ(e.engine().NextTaskScan > At(5, 0), c.tasks);
    const auto messages = Messages(e.engine().Log());
    EXPECT_EQ(messages.front(), "ProcessCheckes");
    EXPECT_EQ(messages.back(), "ProcessCheckes-End");
  }
}

TEST(ProcessorTest, InboxIsScannedOnEveryFifthInWindowPass) {
  Engine e(At(10, 0));
  e.rig.settings.SetUrgentEmail(true);
  std::vector<int> scanned;
  auto pass = [&](int index) {
    e.engine().NextInboxScan = 0;  // due, whatever the scan's own 15 minutes say
    e.engine().RunPass();
    if (e.engine().NextInboxScan != 0)
      scanned.push_back(index);
    e.rig.clock.Advance(2 * kOneMinute);
  };
  for (int i = 0; i < 7; ++i)
    pass(i);
  EXPECT_EQ(e.engine().PassCounter, 2);

  // Outside the window the counter rests ...
  e.rig.clock.Set(At(20, 0));
  for (int i = 7; i < 10; ++i)
    pass(i);
  EXPECT_EQ(e.engine().PassCounter, 2);
  // ... and carries over into the next day's window.
  e.rig.clock.Set(At(10, 0) + 1);
  for (int i = 10; i < 14; ++i)
    pass(i);
  EXPECT_EQ(scanned, (std::vector<int>{0, 5, 13}));
}

TEST(ProcessorTest, UrgentMailSwitchOffStillCountsPasses) {
  Engine e(At(10, 0));
  for (int i = 0; i < 6; ++i)
    e.engine().RunPass();
  EXPECT_EQ(e.engine().PassCounter, 1);
  EXPECT_DOUBLE_EQ(e.engine().NextInboxScan, At(10, 0));  // never scanned
}

// The morning and evening messages of a day with one meeting today at 10:00
// and one tomorrow at 09:00.
TEST(ProcessorTest, MorningAndEveningHoursOpenOnTheFirstPass) {
  struct Case {
    const char* name;
    TDateTime early, late, now;
    bool morning, evening;
    std::vector<std::string> subjects;
  } cases[] = {
      {"morning hour",
       EncodeTime(7, 0),
       EncodeTime(19, 0),
       At(7, 30),
       true,
       false,
       {"First:10:00:00@loc:A:Today"}},
      {"after the morning hour", EncodeTime(7, 0), EncodeTime(19, 0), At(8, 30), true, false, {}},
      {"evening hour",
       EncodeTime(7, 0),
       EncodeTime(19, 0),
       At(18, 30),
       false,
       true,
       {"Tommorrows:09:00:00@loc:B:Tomorrow"}},
      {"before the evening hour", EncodeTime(7, 0), EncodeTime(19, 0), At(17, 30), false, true, {}},
      // The evening hour of a window closing at 00:30 would start at 23:30
      // and never opens.
      {"LateTime 00:30", EncodeTime(0, 0, 1), EncodeTime(0, 30), At(0, 10), false, true, {}},
      // Nor does the morning hour of a window opening at 23:30.
      {"EarlyTime 23:30", EncodeTime(23, 30), EncodeTime(23, 59, 59), At(23, 45), true, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Engine e(c.now);
    e.rig.settings.SetEarlyTime(c.early);
    e.rig.settings.SetLateTime(c.late);
    e.rig.settings.SetMorningNotify(c.morning);
    e.rig.settings.SetEveningNotify(c.evening);
    const TDateTime day = DateOf(c.now);
    for (auto [name, start] : {std::pair{"10:00:00@loc:A:Today", day + EncodeTime(10, 0)},
                               std::pair{"09:00:00@loc:B:Tomorrow", day + 1 + EncodeTime(9, 0)}}) {
      auto meeting = std::make_unique<TEventItem>();
      meeting->Name = name;
      meeting->StartTime = start;
      meeting->NotifyTime = start - 15 * kOneMinute;
      meeting->Notified = true;
      e.engine().Meetings.Add(name, std::move(meeting));
    }
    e.engine().NextCalendarScan = c.now + kOneHour;

    e.engine().RunPass();

    std::vector<std::string> subjects;
    for (const TMailMessage& m : e.rig.smtp.Sent)
      subjects.push_back(m.Subject);
    EXPECT_EQ(subjects, c.subjects);
  }
}

TEST(ProcessorTest, ExecuteWritesTheLogInOrderAndSavesAtTheEnd) {
  Engine e(At(12, 0));
  e.RunUntilWait(1);

  const auto messages = Messages(e.engine().Log());
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], "COI");
  EXPECT_EQ(e.engine().Log().Lines()[1], "Execute Start");  // no time stamp
  EXPECT_EQ(e.engine().Log().Lines()[2], "Loading From Disk");
  int at = 3;
  for (const char* expected : {"Ok", "Start Loop", "ProcessCheckes", "ProcessCheckes-End",
                               "Sleep:", "Wake:", "Shutting Down", "Completed"}) {
    const int found = Find(messages, expected, at);
    ASSERT_NE(found, -1) << expected << " missing or out of order";
    at = found + 1;
  }
  EXPECT_EQ(messages.back(), "Completed");

  // The start-up pause, one pass, then the wait that the stop ended.
  EXPECT_EQ(e.rig.wake.Waits, std::vector<unsigned>{kShortWaitMs});
  EXPECT_DOUBLE_EQ(e.rig.clock.Now(), At(12, 0) + 0.5 * kOneSecond);
  EXPECT_FALSE(e.engine().EngineRunning());
  EXPECT_EQ(e.outlook.Connects, 1);
  EXPECT_EQ(e.outlook.Quits, 0);  // Outlook is not asked to quit at the end

  // DEBUG.LOG holds the whole buffer, the last line included.
  std::ifstream file(e.rig.folder / "DEBUG.LOG", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  std::string expected;
  for (const std::string& line : e.engine().Log().Lines())
    expected += line + "\r\n";
  EXPECT_EQ(text.str(), expected);
  for (const char* name : {kNotifyFile, kTaskFile, kEmailFile}) {
    EXPECT_TRUE(std::filesystem::exists(e.rig.folder / name)) << name;
  }
}

TEST(ProcessorTest, StopDuringAWaitEndsItAtOnceAndFinishes) {
  Engine e(At(3, 0));  // a five-minute wait
  auto task = std::make_unique<TTaskEvent>();
  task->Name = "Taxes:4/1/26";
  AddRecord(e.engine().Tasks, std::move(task));
  e.RunUntilWait(1, [&](size_t) { EXPECT_TRUE(e.engine().EngineRunning()); });

  EXPECT_EQ(e.rig.wake.Waits, std::vector<unsigned>{kLongWaitMs});
  // The wait ended on the event, not on its time.
  EXPECT_LT(e.rig.clock.Now(), At(3, 0) + kOneMinute);
  EXPECT_FALSE(e.engine().EngineRunning());
  EXPECT_EQ(CountOf(e.rig.host.Statuses, "Processor Idle."), 1);  // no second pass
  TTaskList saved;
  ReadTaskFile(e.rig.folder / kTaskFile, saved);
  EXPECT_EQ(saved.Count(), 1);
}

TEST(ProcessorTest, TestMessageHandedInDuringAWaitIsSentRightAfterIt) {
  Engine e(At(5, 0));
  e.RunUntilWait(2, [&](size_t n) {
    if (n == 1) {
      e.engine().SetPendingMessage("555@example.org", "Ravenote Test message", "Hello");
    }
  });

  ASSERT_EQ(e.rig.smtp.Sent.size(), 1u);
  EXPECT_EQ(e.rig.smtp.Sent[0].To, "555@example.org");
  EXPECT_EQ(e.rig.smtp.Sent[0].Subject, "Ravenote Test message");
  EXPECT_EQ(e.rig.smtp.Sent[0].Body, "Hello");
  // Set by the hand-in, the event ended the first wait at once.
  EXPECT_EQ(e.rig.wake.Waits, (std::vector<unsigned>{kLongWaitMs, kLongWaitMs}));
  const auto messages = Messages(e.engine().Log());
  const int wake = Find(messages, "Wake:");
  ASSERT_NE(wake, -1);
  EXPECT_EQ(messages[wake + 1], "Sending Test");
  EXPECT_GT(Find(messages, "ProcessCheckes", wake), wake + 1);
}

TEST(ProcessorTest, OleErrorReconnectsAndTheNextPassStartsWithoutWaiting) {
  FailingHost host;
  host.FailOn = "Checking for current notifications.";
  host.Failures = 1;
  CountingOutlook outlook;
  TempFolder folder;
  TSettings settings;
  settings.SetEarlyTime(EncodeTime(7, 0));
  settings.SetLateTime(EncodeTime(19, 0));
  FakeClock clock(At(10, 0));
  FakeWakeEvent wake(&clock);
  FakeSmtpClient smtp;
  FakePop3Client pop3;
  TOutlookProcessor engine(
      TEngineDeps{settings, host, clock, wake, outlook, smtp, pop3, folder.Path(), {}});
  wake.OnWait = [&](unsigned) {
    // The failed pass and the pass after it ran before this first wait.
    EXPECT_EQ(CountOf(host.Statuses, "Checking for current notifications."), 2);
    EXPECT_EQ(CountOf(host.Statuses, "Processor Idle."), 1);
    EXPECT_EQ(engine.FailedPasses(), 0);
    engine.Stop();
  };
  engine.Execute();

  EXPECT_EQ(wake.Waits.size(), 1u);
  EXPECT_EQ(outlook.Quits, 1);     // the old connection was asked to quit
  EXPECT_EQ(outlook.Connects, 1);  // the new one is not connected until used
  EXPECT_NE(std::find(host.Statuses.begin(), host.Statuses.end(), "call was rejected by callee"),
            host.Statuses.end());
  const auto messages = Messages(engine.Log());
  EXPECT_NE(Find(messages, "Errorcall was rejected by callee"), -1);
  EXPECT_TRUE(std::filesystem::exists(folder / "DEBUG.LOG"));

  engine.Application();
  EXPECT_EQ(outlook.Connects, 2);
  engine.Application();
  EXPECT_EQ(outlook.Connects, 2);
}

TEST(ProcessorTest, OtherErrorKeepsTheConnection) {
  FailingHost host;
  host.FailOn = "Processor Idle.";
  host.Failures = 1;
  host.Ole = false;
  CountingOutlook outlook;
  TempFolder folder;
  TSettings settings;
  FakeClock clock(At(10, 0));
  FakeWakeEvent wake(&clock);
  FakeSmtpClient smtp;
  FakePop3Client pop3;
  TOutlookProcessor engine(
      TEngineDeps{settings, host, clock, wake, outlook, smtp, pop3, folder.Path(), {}});
  wake.OnWait = [&](unsigned) { engine.Stop(); };
  engine.Execute();

  EXPECT_EQ(CountOf(host.Statuses, "Processor Idle."), 2);  // failed, then the pass after
  EXPECT_EQ(wake.Waits.size(), 1u);
  EXPECT_EQ(outlook.Quits, 0);
  EXPECT_EQ(outlook.Connects, 1);
  EXPECT_NE(Find(Messages(engine.Log()), "Errorsomething else went wrong"), -1);
}

TEST(ProcessorTest, FailingScanIsNotRetriedUntilItsNextTime) {
  Engine e(At(10, 0));
  e.rig.settings.SetMeetingNotify(true);
  e.outlook.FailFolders = "The RPC server is unavailable";
  e.RunUntilWait(1);

  // One request failed; the pass right after it did not scan again.
  EXPECT_EQ(e.outlook.FolderRequests[olFolderCalendar], 1);
  EXPECT_EQ(e.outlook.Quits, 1);
  EXPECT_EQ(e.rig.wake.Waits.size(), 1u);
  EXPECT_EQ(CountOf(e.rig.host.Statuses, "The RPC server is unavailable"), 1);
}

TEST(ProcessorTest, LastingFailureSlowsDownInsteadOfSpinning) {
  FailingHost host;
  host.FailOn = "Processor Idle.";
  host.Failures = -1;
  CountingOutlook outlook;
  TempFolder folder;
  TSettings settings;
  FakeClock clock(At(10, 0));
  FakeWakeEvent wake(&clock);
  FakeSmtpClient smtp;
  FakePop3Client pop3;
  TOutlookProcessor engine(
      TEngineDeps{settings, host, clock, wake, outlook, smtp, pop3, folder.Path(), {}});
  std::vector<int> passesBeforeWait;
  wake.OnWait = [&](unsigned) {
    passesBeforeWait.push_back(CountOf(host.Statuses, "Processor Idle."));
    if (wake.Waits.size() == 3)
      engine.Stop();
  };
  engine.Execute();

  // The first failures are retried at once; past them every pass waits.
  const int quick = kQuickRetries + 1;
  EXPECT_EQ(passesBeforeWait, (std::vector<int>{quick, quick + 1, quick + 2}));
  // The first failure closed the connection; the later ones found it closed.
  EXPECT_EQ(outlook.Quits, 1);
}

TEST(ProcessorTest, FailedConnectEndsTheThreadWithNothingLoadedOrSaved) {
  Engine e(At(12, 0));
  e.outlook.FailConnect = true;
  WriteTaskFile(e.rig.folder / kTaskFile, TTaskList{});
  const auto before = std::filesystem::last_write_time(e.rig.folder / kTaskFile);
  e.engine().Execute();

  EXPECT_EQ(e.rig.host.Errors, std::vector<std::string>{kNoOutlookText});
  EXPECT_FALSE(e.engine().EngineRunning());
  EXPECT_TRUE(e.engine().StopRequested());
  EXPECT_TRUE(e.rig.wake.Waits.empty());
  const auto messages = Messages(e.engine().Log());
  EXPECT_EQ(messages.front(), "COI");
  EXPECT_EQ(Find(messages, "Loading From Disk"), -1);
  EXPECT_EQ(Find(messages, "Start Loop"), -1);
  EXPECT_FALSE(std::filesystem::exists(e.rig.folder / kNotifyFile));
  EXPECT_EQ(std::filesystem::last_write_time(e.rig.folder / kTaskFile), before);
}

TEST(ProcessorTest, FailedLoadEndsTheThreadWithoutLoopOrSave) {
  // A cut-off record makes the loader report to the status line; this host
  // fails there, so the failure escapes the loaders.
  class FailingStatusHost : public RecordingHost {
   public:
    void ShowStatus(const std::string&) override { throw std::runtime_error("window gone"); }
  } host;
  Engine e(At(12, 0));
  {
    std::ofstream file(e.rig.folder / kTaskFile, std::ios::binary);
    const char bytes[8] = {21, 0, 0, 0, 3, 'a', 'b', 'c'};
    file.write(bytes, sizeof bytes);
  }
  TOutlookProcessor engine(TEngineDeps{e.rig.settings,
                                       host,
                                       e.rig.clock,
                                       e.rig.wake,
                                       e.outlook,
                                       e.rig.smtp,
                                       e.rig.pop3,
                                       e.rig.folder.Path(),
                                       {}});
  engine.Execute();

  const auto messages = Messages(engine.Log());
  EXPECT_NE(Find(messages, "Failed Load"), -1);
  EXPECT_EQ(Find(messages, "Start Loop"), -1);
  EXPECT_TRUE(e.rig.wake.Waits.empty());
  EXPECT_FALSE(engine.EngineRunning());
  EXPECT_EQ(std::filesystem::file_size(e.rig.folder / kTaskFile), 8u);  // not rewritten
  EXPECT_FALSE(std::filesystem::exists(e.rig.folder / kNotifyFile));
}

// A wake event that really blocks, until it is set; the wait's length is not
// waited out (the test sets the event well before).
class BlockingWakeEvent : public IWakeEvent {
 public:
  void Set() override {
    std::lock_guard l(m_);
    set_ = true;
    cv_.notify_all();
  }
  void Reset() override {
    std::lock_guard l(m_);
    set_ = false;
  }
  bool Wait(unsigned ms) override {
    std::unique_lock l(m_);
    ++waits_;
    cv_.notify_all();
    return cv_.wait_for(l, std::chrono::milliseconds(ms), [this] { return set_; });
  }
  void WaitForWaiter() {
    std::unique_lock l(m_);
    cv_.wait(l, [this] { return waits_ > 0; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool set_ = false;
  int waits_ = 0;
};

TEST(ProcessorTest, StartedThreadStopsAndIsJoined) {
  CountingOutlook outlook;
  TempFolder folder;
  TSettings settings;
  RecordingHost host;
  FakeClock clock(At(12, 0));
  BlockingWakeEvent wake;
  FakeSmtpClient smtp;
  FakePop3Client pop3;
  {
    TOutlookProcessor engine(
        TEngineDeps{settings, host, clock, wake, outlook, smtp, pop3, folder.Path(), {}});
    EXPECT_TRUE(engine.WaitFor(0));  // not started: nothing to wait for
    engine.Start();
    wake.WaitForWaiter();
    EXPECT_FALSE(engine.WaitFor(0));
    EXPECT_TRUE(engine.EngineRunning());
    engine.Stop();
    EXPECT_TRUE(engine.WaitFor(600000));
    EXPECT_FALSE(engine.EngineRunning());
  }
  EXPECT_TRUE(std::filesystem::exists(folder / "DEBUG.LOG"));

  // Destroying a running engine stops it and waits for its thread.
  TOutlookProcessor* running = new TOutlookProcessor(
      TEngineDeps{settings, host, clock, wake, outlook, smtp, pop3, folder.Path(), {}});
  wake.Reset();
  running->Start();
  delete running;
  SUCCEED();
}

}  // namespace
}  // namespace rn::test
