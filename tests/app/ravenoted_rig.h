// ravenoted as a child process for the end-to-end tests: a user's home in a
// temporary folder (the XDG folders under it), a registry file written as a
// user or the wizard would, and the program run with its output kept in
// files. Every wait polls for the outcome with a generous limit, so a slow
// machine is only slower, never wrong.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes.h"
#include "mail_server.h"
#include "mail_text.h"
#include "platform/datetime.h"

extern char** environ;

namespace rn::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr auto kPatience = 60s;

inline bool Eventually(const std::function<bool()>& condition,
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

inline std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << text;
}

// The lines of a text, CR LF or LF ended.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

inline int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

// A registry value holding a date-time: the 8 bytes of the double.
inline std::string HexDouble(double value) {
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

inline std::string Dword(uint32_t value) {
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

inline std::string RegistryText(const Config& c) {
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

// A user's home for one test: the XDG folders under a temporary folder. The
// registry file's folder is there already, private as the program wants it;
// the program folder is left for the program to make.
struct Home {
  Home() {
    fs::create_directories(Config());
    fs::create_directory(RegistryFile().parent_path());
    fs::permissions(RegistryFile().parent_path(), fs::perms::owner_all);
  }
  TempFolder root;
  fs::path Config() const { return root / "config"; }
  fs::path State() const { return root / "state"; }
  fs::path Data() const { return root / "data"; }
  fs::path RegistryFile() const { return Config() / "ravenote" / "registry.reg"; }
  fs::path ProgramFolder() const { return State() / "ravenote"; }
  // For a test that puts state files there before the program starts.
  void MakeProgramFolder() const {
    fs::create_directories(ProgramFolder());
    fs::permissions(ProgramFolder(), fs::perms::owner_all);
  }
};

// How to start the program: its arguments, changes to its environment (a
// value of nothing removes the variable) and what its standard input holds.
struct RunOptions {
  std::vector<std::string> args;
  std::map<std::string, std::optional<std::string>> env;
  std::string input;
};

// ravenoted as a child process, its output kept in files beside the home.
class Ravenoted {
 public:
  Ravenoted(const Home& home, const std::string& name, const RunOptions& options = {}) {
    out_ = home.root / (name + ".out");
    err_ = home.root / (name + ".err");
    const fs::path in = home.root / (name + ".in");
    WriteFile(in, options.input);
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
    for (const auto& [key, value] : options.env) {
      if (value)
        env[key] = *value;
      else
        env.erase(key);
    }
    std::vector<std::string> entries;
    for (const auto& [key, value] : env)
      entries.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries)
      envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string path = RAVENOTED_PATH;
    std::vector<std::string> args = {path};
    args.insert(args.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int error = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data());
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

  pid_t Pid() const { return pid_; }
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
  fs::path out_, err_;
  pid_t pid_ = -1;
  bool exited_ = false;
};

// A command that runs to its end by itself (--set, --show-settings, ...).
struct Outcome {
  int status = -1;
  std::string out, err;
};

inline Outcome RunToEnd(const Home& home, const std::string& name, const RunOptions& options) {
  Ravenoted program(home, name, options);
  Outcome outcome;
  outcome.status = program.WaitForExit();
  outcome.out = program.Out();
  outcome.err = program.Err();
  return outcome;
}

inline Outcome RunToEnd(const Home& home, const std::string& name,
                        const std::vector<std::string>& args) {
  return RunToEnd(home, name, RunOptions{args, {}, {}});
}

// What a failed wait shows: the program is stopped so that its diagnostic
// log is written, then its output and the log are given.
inline std::string Report(Ravenoted& program, const Home& home) {
  program.Stop();
  return "--- standard error:\n" + program.Err() + "--- standard output:\n" + program.Out() +
         "--- DEBUG.LOG:\n" + ReadFile(home.ProgramFolder() / "DEBUG.LOG");
}

// Messages' subjects, as the server received them.
inline std::vector<std::string> Subjects(const TLoopbackMailServer& server) {
  std::vector<std::string> subjects;
  for (const std::string& message : server.Messages()) {
    subjects.push_back(DecodeMail(message).Subject);
  }
  return subjects;
}

// The messages of the diagnostic log without their time stamps.
inline std::vector<std::string> LogMessages(const fs::path& file) {
  std::vector<std::string> messages;
  for (const std::string& line : Lines(ReadFile(file))) {
    const size_t mark = line.find(": ");
    messages.push_back(mark == std::string::npos ? line : line.substr(mark + 2));
  }
  return messages;
}

// The time as text in the given strftime format, in UTC or in local time.
inline std::string Stamp(std::time_t t, const char* format, bool utc = true) {
  std::tm tm{};
  utc ? gmtime_r(&t, &tm) : localtime_r(&t, &tm);
  char buffer[64];
  std::strftime(buffer, sizeof buffer, format, &tm);
  return buffer;
}

inline std::string UtcStamp(std::time_t t) {
  return Stamp(t, "%Y%m%dT%H%M%SZ");
}

// A calendar holding one meeting whose 15-minute reminder comes in 90
// seconds, close enough for the first pass to send it.
inline std::string MeetingSoon(const std::string& summary, const std::string& location) {
  const std::time_t now = std::time(nullptr);
  const std::time_t start = now + 15 * 60 + 90;
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
         "BEGIN:VEVENT\r\nUID:soon-1@example.org\r\nDTSTAMP:" +
         UtcStamp(now) + "\r\nDTSTART:" + UtcStamp(start) + "\r\nDTEND:" + UtcStamp(start + 3600) +
         "\r\nSUMMARY:" + summary + "\r\nLOCATION:" + location +
         "\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\n"
         "TRIGGER:-PT15M\r\nEND:VALARM\r\n"
         "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

}  // namespace rn::test
