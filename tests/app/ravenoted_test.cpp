// ravenoted end to end: the built program runs as a child process with its
// home, settings, program folder and local store in a temporary folder, and
// sends through a loopback SMTP server. Every wait polls for the outcome with
// a generous limit, so a slow machine is only slower, never wrong.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "engine/state_files.h"
#include "fakes.h"
#include "mail_server.h"
#include "mail_text.h"
#include "platform/datetime.h"

extern char** environ;

namespace rn::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kPatience = 60s;

bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = kPatience) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition())
      return true;
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(50ms);
  }
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << text;
}

// The lines of a text, CR LF or LF ended.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

// A registry value holding a date-time: the 8 bytes of the double.
std::string HexDouble(double value) {
  uint8_t bytes[8];
  std::memcpy(bytes, &value, 8);
  std::string out = "hex:";
  char buffer[4];
  for (int i = 0; i < 8; ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", bytes[i]);
    out += (i ? "," : "") + std::string(buffer);
  }
  return out;
}

std::string Dword(uint32_t value) {
  char buffer[20];
  std::snprintf(buffer, sizeof buffer, "dword:%08x", value);
  return buffer;
}

// The settings of a configured Ravenote, as a user or the wizard leaves them.
struct Config {
  std::map<std::string, bool> switches;  // e.g. {"TaskNotify", true}
  TDateTime early = EncodeTime(0, 0, 1);
  TDateTime late = EncodeTime(23, 59, 59);
  std::string server;
  fs::path calendar, tasks, inbox;  // the Store key; empty: default folders
};

std::string RegistryText(const Config& c) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  text += "[HKEY_CURRENT_USER\\Software\\Quarrowmere\\Ravenote]\r\n";
  auto value = [&](const std::string& name, const std::string& data) {
    text += "\"" + name + "\"=" + data + "\r\n";
  };
  auto on = [&](const char* name) {
    const auto it = c.switches.find(name);
    return Dword(it != c.switches.end() && it->second ? 1 : 0);
  };
  value("Version", "\"01.01.00.005\"");
  for (const char* name : {"MeetingNotify", "MorningNotify", "EveningNotify", "TaskNotify",
                           "TaskPreNotify", "TaskReminder", "UrgentEmail"}) {
    value(name, on(name));
  }
  value("Top", Dword(100));
  value("Left", Dword(100));
  value("TaskRemindPeriod", Dword(2));
  value("Pin", "\"\"");
  value("EarlyTime", HexDouble(c.early));
  value("LateTime", HexDouble(c.late));
  value("Service", Dword(8));  // the custom address
  value("CustomAddr", "\"\"");
  value("CustomEmail", "\"phone@example.org\"");
  value("Server", "\"" + c.server + "\"");
  value("UserName", "\"\"");
  value("Pass", "\"\"");
  value("MustSignIn", Dword(0));
  value("Pop3Signin", Dword(0));
  value("Pop3Server", "\"\"");
  value("FromEmail", "\"ravenote@example.org\"");
  if (!c.calendar.empty()) {
    text += "\r\n[HKEY_CURRENT_USER\\Software\\Quarrowmere\\Ravenote\\Store]\r\n";
    value("Calendar", "\"" + c.calendar.string() + "\"");
    value("Tasks", "\"" + c.tasks.string() + "\"");
    value("Inbox", "\"" + c.inbox.string() + "\"");
  }
  return text;
}

// A user's home for one test: the XDG folders under a temporary folder.
struct Home {
  TempFolder root;
  fs::path Config() const { return root / "config"; }
  fs::path State() const { return root / "state"; }
  fs::path Data() const { return root / "data"; }
  fs::path RegistryFile() const { return Config() / "ravenote" / "registry.reg"; }
  fs::path ProgramFolder() const { return State() / "ravenote"; }
};

// ravenoted as a child process, its output kept in files beside the home.
class Ravenoted {
 public:
  Ravenoted(const Home& home, const std::string& name) : home_(home) {
    out_ = home.root / (name + ".out");
    err_ = home.root / (name + ".err");
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const size_t eq = entry.find('=');
      if (eq != std::string::npos)
        env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    env["HOME"] = home.root.Path().string();
    env["XDG_CONFIG_HOME"] = home.Config().string();
    env["XDG_STATE_HOME"] = home.State().string();
    env["XDG_DATA_HOME"] = home.Data().string();
    env["LC_ALL"] = "C";  // the time texts in the keys are the C locale's
    std::vector<std::string> entries;
    for (const auto& [key, value] : env)
      entries.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries)
      envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string path = RAVENOTED_PATH;
    char* argv[] = {path.data(), nullptr};
    const int error = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
      pid_ = -1;
      ADD_FAILURE() << "cannot start " << path << ": " << std::strerror(error);
    }
  }

  // A test that failed half-way still ends its program, by SIGTERM first: a
  // copy killed outright in its wait can leave the shared wake event unusable
  // for the user's other copies.
  ~Ravenoted() {
    if (pid_ > 0 && !exited_) {
      if (Stop() == -1 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
      }
    }
  }

  std::string Out() const { return ReadFile(out_); }
  std::string Err() const { return ReadFile(err_); }
  // Passes that have run to their end: each ends on this status line.
  int Passes() const { return Occurrences(Out(), "Processor Idle.\n"); }

  void Signal(int signal) { ::kill(pid_, signal); }

  // Sends SIGTERM (or `signal`) and waits for the exit; the exit status, or -1 when the
  // process did not end in time or died of a signal.
  int Stop(int signal = SIGTERM) {
    Signal(signal);
    return WaitForExit();
  }

  int WaitForExit() {
    int status = 0;
    const bool ended = Eventually([&] {
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      return r == pid_;
    });
    if (!ended)
      return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  const Home& home_;
  fs::path out_, err_;
  pid_t pid_ = -1;
  bool exited_ = false;
};

// What a failed wait shows: the program is stopped so that its diagnostic
// log is written, then its output and the log are given.
std::string Report(Ravenoted& program, const Home& home) {
  program.Stop();
  return "--- standard error:\n" + program.Err() + "--- standard output:\n" + program.Out() +
         "--- DEBUG.LOG:\n" + ReadFile(home.ProgramFolder() / "DEBUG.LOG");
}

// Messages' subjects, as the server received them.
std::vector<std::string> Subjects(const TLoopbackMailServer& server) {
  std::vector<std::string> subjects;
  for (const std::string& message : server.Messages()) {
    subjects.push_back(DecodeMail(message).Subject);
  }
  return subjects;
}

// The messages of the diagnostic log without their time stamps.
std::vector<std::string> LogMessages(const fs::path& file) {
  std::vector<std::string> messages;
  for (const std::string& line : Lines(ReadFile(file))) {
    const size_t mark = line.find(": ");
    messages.push_back(mark == std::string::npos ? line : line.substr(mark + 2));
  }
  return messages;
}

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
  fs::create_directories(home.ProgramFolder());
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

TEST(RavenotedTest, DueTaskIsSentOnceAndNotAgainAfterARestart) {
  Home home;
  TLoopbackMailServer server;
  Config config;
  config.switches["TaskNotify"] = true;
  config.server = server.SmtpAddress();
  WriteFile(home.RegistryFile(), RegistryText(config));

  const TDateTime now = FromTimeT(std::time(nullptr));
  const std::string key = "Call the bank:" + ShortDateText(DateOf(now) + 2);
  {
    TTaskList tasks;
    auto task = std::make_unique<TTaskEvent>();
    task->Name = key;
    task->DueDate = DateOf(now) + 2;
    task->PreDueTime = DateOf(now) + 1;
    task->RemindTime = now - 10 * kOneMinute;
    task->TaskNotifyTime = now - 10 * kOneMinute;
    tasks.Add(key, std::move(task));
    fs::create_directories(home.ProgramFolder());
    WriteTaskFile(home.ProgramFolder() / kTaskFile, tasks);
  }

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

// ---- the local store: a calendar vdir, a tasks file and a Maildir ----

// The time as text in the given strftime format, in UTC or in local time.
std::string Stamp(std::time_t t, const char* format, bool utc = true) {
  std::tm tm{};
  utc ? gmtime_r(&t, &tm) : localtime_r(&t, &tm);
  char buffer[64];
  std::strftime(buffer, sizeof buffer, format, &tm);
  return buffer;
}

std::string UtcStamp(std::time_t t) {
  return Stamp(t, "%Y%m%dT%H%M%SZ");
}
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
