// ravenoted end to end: the built program runs as a child process with its
// home, settings, program folder and local store in a temporary folder, and
// sends through a loopback SMTP server.
#include <gtest/gtest.h>

#include <ctime>

#include "engine/state_files.h"
#include "ravenoted_rig.h"

namespace rn::test {
namespace {

TEST(RavenotedTest, StopsCleanlyOnSigtermOrCtrlCAfterTheLoopHasRun) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(strsignal(signal));
    Home home;
    WriteFile(home.RegistryFile(), RegistryText(Config{}));
    Ravenoted program(home, "run");
    ASSERT_TRUE(Eventually([&] { return program.Passes() >= 1; })) << program.Err();
    EXPECT_EQ(program.Stop(signal), 0) << program.Err();

    const auto messages = LogMessages(home.ProgramFolder() / "DEBUG.LOG");
    size_t at = 0;
    for (const char* expected :
         {"COI", "Execute Start", "Loading From Disk", "Ok", "Start Loop", "ProcessCheckes",
          "ProcessCheckes-End", "Sleep:", "Shutting Down", "Completed"}) {
      while (at < messages.size() && messages[at].rfind(expected, 0) != 0)
        ++at;
      ASSERT_LT(at, messages.size()) << expected << " missing or out of order in DEBUG.LOG";
      ++at;
    }
    EXPECT_EQ(messages.back(), "Completed");
    // A stored configuration is no first run: no welcome, no wizard request.
    EXPECT_EQ(program.Err().find("Welcome"), std::string::npos) << program.Err();
    // The registry file is the user's: ravenoted never writes it.
    EXPECT_EQ(ReadFile(home.RegistryFile()), RegistryText(Config{}));
    for (const char* name : {kNotifyFile, kTaskFile, kEmailFile}) {
      EXPECT_TRUE(fs::exists(home.ProgramFolder() / name)) << name;
    }
  }
}

TEST(RavenotedTest, FirstRunExplainsHowToConfigureAndKeepsRunning) {
  Home home;
  Ravenoted program(home, "first");
  ASSERT_TRUE(Eventually([&] { return program.Passes() >= 1; })) << program.Err();
  const std::string err = program.Err();
  EXPECT_NE(err.find("Welcome To Ravenote."), std::string::npos) << err;
  EXPECT_NE(err.find(home.RegistryFile().string()), std::string::npos) << err;
  EXPECT_EQ(program.Stop(), 0);
  EXPECT_FALSE(fs::exists(home.RegistryFile()));  // nothing written for the user
}

TEST(RavenotedTest, DamagedRegistryIsReportedAndLeftAlone) {
  Home home;
  const std::string damaged = "this is not a registry file\n\"Version\"=dword:zz\n";
  WriteFile(home.RegistryFile(), damaged);
  Ravenoted program(home, "damaged");
  ASSERT_TRUE(Eventually([&] { return program.Passes() >= 1; })) << program.Err();
  EXPECT_NE(program.Err().find("Error Reading Registry"), std::string::npos) << program.Err();
  EXPECT_EQ(program.Stop(), 0);
  EXPECT_EQ(ReadFile(home.RegistryFile()), damaged);
}

TEST(RavenotedTest, SighupLoadsTheSettingsAgain) {
  Home home;
  TLoopbackMailServer server;
  Config config;
  config.server = server.SmtpAddress();
  WriteFile(home.RegistryFile(), RegistryText(config));
  // A task whose notification is due, which only TaskNotify sends.
  TTaskList tasks;
  auto task = std::make_unique<TTaskEvent>();
  task->Name = "Water the plants:12/31/99";
  task->DueDate = FromTimeT(std::time(nullptr)) + 30;
  task->TaskNotifyTime = FromTimeT(std::time(nullptr)) - kOneHour;
  const std::string key = task->Name;
  tasks.Add(key, std::move(task));
  home.MakeProgramFolder();
  WriteTaskFile(home.ProgramFolder() / kTaskFile, tasks);

  Ravenoted program(home, "hup");
  ASSERT_TRUE(Eventually([&] { return program.Passes() >= 1; })) << program.Err();
  EXPECT_EQ(server.Messages().size(), 0u);

  config.switches["TaskNotify"] = true;
  WriteFile(home.RegistryFile(), RegistryText(config));
  program.Signal(SIGHUP);  // reloads, and wakes the engine for a pass
  ASSERT_TRUE(server.WaitForMessages(1, kPatience)) << Report(program, home);
  EXPECT_EQ(Subjects(server), std::vector<std::string>{"Water the plants:12/31/99"});
  EXPECT_EQ(program.Stop(), 0);
}

// A profile whose task notices go to `server`, with one task in TASK.NTD
// whose notice is due; its key.
std::string ProfileWithATaskDue(Home& home, const TLoopbackMailServer& server) {
  Config config;
  config.switches["TaskNotify"] = true;
  config.server = server.SmtpAddress();
  WriteFile(home.RegistryFile(), RegistryText(config));

  const TDateTime now = FromTimeT(std::time(nullptr));
  const std::string key = "Call the bank:" + ShortDateText(DateOf(now) + 2);
  TTaskList tasks;
  auto task = std::make_unique<TTaskEvent>();
  task->Name = key;
  task->DueDate = DateOf(now) + 2;
  task->PreDueTime = DateOf(now) + 1;
  task->RemindTime = now - 10 * kOneMinute;
  task->TaskNotifyTime = now - 10 * kOneMinute;
  tasks.Add(key, std::move(task));
  home.MakeProgramFolder();
  WriteTaskFile(home.ProgramFolder() / kTaskFile, tasks);
  return key;
}

TEST(RavenotedTest, DueTaskIsSentOnceAndNotAgainAfterARestart) {
  Home home;
  TLoopbackMailServer server;
  const std::string key = ProfileWithATaskDue(home, server);

  {
    Ravenoted program(home, "first");
    ASSERT_TRUE(server.WaitForMessages(1, kPatience)) << Report(program, home);
    ASSERT_TRUE(Eventually([&] { return program.Passes() >= 1; })) << program.Err();
    EXPECT_EQ(program.Stop(), 0) << program.Err();
  }
  EXPECT_EQ(Subjects(server), std::vector<std::string>{key});
  EXPECT_NE(server.Messages()[0].find("phone@example.org"), std::string::npos);

  TTaskList saved;
  ReadTaskFile(home.ProgramFolder() / kTaskFile, saved);
  ASSERT_EQ(saved.Count(), 1);
  EXPECT_TRUE(saved.At(0).Notified);

  {
    Ravenoted again(home, "again");
    ASSERT_TRUE(Eventually([&] { return again.Passes() >= 1; })) << again.Err();
    EXPECT_EQ(again.Stop(), 0);
  }
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_EQ(server.Messages().size(), 1u);
}

// A server that takes the message and then says no word more held the
// program's end for minutes: SIGTERM now ends the send at once, the notice
// counts as handled and the program exits cleanly.
TEST(RavenotedTest, SigtermEndsASendToAServerSilentAfterTheMessage) {
  Home home;
  TLoopbackMailServer server;
  server.SetSilentAfterData(true);
  ProfileWithATaskDue(home, server);
  Ravenoted program(home, "silent");
  ASSERT_TRUE(server.WaitForMessages(1, kPatience)) << Report(program, home);
  EXPECT_EQ(program.Stop(), 0) << program.Err();
  TTaskList saved;
  ReadTaskFile(home.ProgramFolder() / kTaskFile, saved);
  ASSERT_EQ(saved.Count(), 1);
  EXPECT_TRUE(saved.At(0).Notified);
  EXPECT_TRUE(server.WaitForIdle());
}

// ---- the local store: a calendar vdir, a tasks file and a Maildir ----

std::string DateStamp(std::time_t t) {
  return Stamp(t, "%Y%m%d", false);
}
std::string MailDate(std::time_t t) {
  return Stamp(t, "%a, %d %b %Y %H:%M:%S +0000");
}

TEST(RavenotedTest, MeetingUrgentMailAndTaskFromTheLocalStoreAreSentOnce) {
  Home home;
  TLoopbackMailServer server;
  const fs::path calendar = home.root / "cal" / "personal";
  const fs::path tasksFile = home.root / "tasks" / "todo.ics";
  const fs::path inbox = home.root / "Maildir";
  const std::time_t now = std::time(nullptr);

  // The meeting's reminder (15 minutes before its start) comes in 90 seconds:
  // close enough for the first pass to send it.
  const std::time_t start = now + 15 * 60 + 90;
  WriteFile(calendar / "budget.ics",
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
            "BEGIN:VEVENT\r\nUID:budget-1@example.org\r\nDTSTAMP:" +
                UtcStamp(now) + "\r\nDTSTART:" + UtcStamp(start) +
                "\r\nDTEND:" + UtcStamp(start + 3600) +
                "\r\nSUMMARY:Budget review\r\nLOCATION:Room 4\r\n"
                "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\n"
                "TRIGGER:-PT15M\r\nEND:VALARM\r\n"
                "END:VEVENT\r\nEND:VCALENDAR\r\n");
  const std::string meetingKey = LongTimeText(FromTimeT(start)) + "@loc:Room 4:Budget review";

  // A task due tomorrow whose reminder went off ten minutes ago.
  const std::time_t due = now + 86400;
  WriteFile(tasksFile,
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
            "BEGIN:VTODO\r\nUID:rent-1@example.org\r\nDTSTAMP:" +
                UtcStamp(now) + "\r\nDUE;VALUE=DATE:" + DateStamp(due) +
                "\r\nSUMMARY:Pay the rent\r\nSTATUS:NEEDS-ACTION\r\n"
                "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\n"
                "TRIGGER;VALUE=DATE-TIME:" +
                UtcStamp(now - 600) +
                "\r\nEND:VALARM\r\n"
                "END:VTODO\r\nEND:VCALENDAR\r\n");
  const std::string taskKey = "Pay the rent:" + ShortDateText(DateOf(FromTimeT(due)));

  // One unread urgent message, received ten minutes ago.
  fs::create_directories(inbox / "cur");
  fs::create_directories(inbox / "tmp");
  WriteFile(inbox / "new" / "1700000000.M1P1.test",
            "Received: from mx.example.org by mail.example.org; " + MailDate(now - 600) +
                "\r\nFrom: Boss <boss@example.org>\r\nTo: me@example.org\r\n"
                "Subject: Water leak\r\nDate: " +
                MailDate(now - 600) +
                "\r\nMessage-ID: <leak-1@example.org>\r\nImportance: high\r\n"
                "X-Priority: 1\r\nMIME-Version: 1.0\r\n"
                "Content-Type: text/plain; charset=utf-8\r\n\r\n"
                "Server room is flooding, call me.\r\n");
  // A read one and an ordinary one, which stay unsent.
  WriteFile(inbox / "cur" / "1700000001.M2P1.test:2,S",
            "From: boss@example.org\r\nSubject: Old news\r\nDate: " + MailDate(now - 900) +
                "\r\nImportance: high\r\n\r\nAlready read.\r\n");
  WriteFile(inbox / "new" / "1700000002.M3P1.test",
            "From: friend@example.org\r\nSubject: Lunch?\r\nDate: " + MailDate(now - 900) +
                "\r\n\r\nNoon?\r\n");

  Config config;
  for (const char* name : {"MeetingNotify", "TaskNotify", "UrgentEmail"}) {
    config.switches[name] = true;
  }
  config.server = server.SmtpAddress();
  config.calendar = calendar.parent_path();  // a folder of vdirs
  config.tasks = tasksFile;
  config.inbox = inbox;
  WriteFile(home.RegistryFile(), RegistryText(config));

  {
    Ravenoted program(home, "first");
    ASSERT_TRUE(server.WaitForMessages(3, kPatience)) << Report(program, home);
    ASSERT_TRUE(Eventually([&] { return program.Passes() >= 1; })) << program.Err();
    EXPECT_EQ(program.Stop(), 0);
  }
  ASSERT_TRUE(server.WaitForIdle());
  std::vector<std::string> subjects = Subjects(server);
  ASSERT_EQ(subjects.size(), 3u) << testing::PrintToString(subjects);
  std::sort(subjects.begin(), subjects.end());
  const std::string urgent = "Urgent Email:Water leakServer room is flooding, call me.";
  std::vector<std::string> expected = {meetingKey, taskKey, urgent};
  std::sort(expected.begin(), expected.end());
  for (size_t i = 0; i < 3; ++i) {
    // The body's own line end may follow, turned into a space.
    EXPECT_EQ(subjects[i].substr(0, expected[i].size()), expected[i]);
    EXPECT_LE(subjects[i].size(), expected[i].size() + 2) << subjects[i];
  }

  {
    Ravenoted again(home, "again");
    ASSERT_TRUE(Eventually([&] { return again.Passes() >= 1; })) << again.Err();
    EXPECT_EQ(again.Stop(), 0);
  }
  ASSERT_TRUE(server.WaitForIdle());
  EXPECT_EQ(server.Messages().size(), 3u) << testing::PrintToString(Subjects(server));
}

}  // namespace
}  // namespace rn::test
