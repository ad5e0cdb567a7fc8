// ravenote itself in a real X window (Xvfb), with a StatusNotifierItem
// watcher of the test's own on a private session bus: the tray icon
// registers, its tooltip reads the title, Activate and ContextMenu (a left
// and a right click) show the hidden window, SIGTERM ends the program cleanly,
// and a second start brings the first one forward.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../app/ravenoted_rig.h"

namespace rn {
namespace {

namespace fs = std::filesystem;
using test::Eventually;
using test::ReadFile;

// A child process with pipes to its standard input and output.
class TChild {
 public:
  TChild(std::vector<std::string> argv, const std::map<std::string, std::string>& extraEnv,
         const fs::path& errFile = {}) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const size_t eq = entry.find('=');
      if (eq != std::string::npos)
        env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : extraEnv)
      env[key] = value;
    std::vector<std::string> entries;
    for (const auto& [key, value] : env)
      entries.push_back(key + "=" + value);
    std::vector<char*> envp, args;
    for (std::string& entry : entries)
      envp.push_back(entry.data());
    envp.push_back(nullptr);
    for (std::string& arg : argv)
      args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (!errFile.empty())
      posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0600);
    const int error = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
    ::fcntl(output_, F_SETFL, O_NONBLOCK);
    if (error != 0) {
      pid_ = -1;
      throw std::runtime_error(std::string("cannot start ") + args[0] + ": " +
                               std::strerror(error));
    }
  }
  ~TChild() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGTERM);
      if (WaitForExit() == kNoExit) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
      }
    }
    ::close(input_);
    ::close(output_);
  }

  void Send(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = ::write(input_, text.data(), text.size());
  }
  // The next line the child prints; empty when none comes.
  std::string ReadLine() {
    std::string line;
    Eventually([&] {
      char buffer[256];
      const ssize_t got = ::read(output_, buffer, sizeof buffer);
      if (got > 0)
        pending_.append(buffer, static_cast<size_t>(got));
      const size_t end = pending_.find('\n');
      if (end == std::string::npos)
        return got == 0;  // closed
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return true;
    });
    return line;
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  static constexpr int kNoExit = -1000;
  // The exit status; -(signal) when killed; kNoExit when it did not end.
  int WaitForExit() {
    int status = 0;
    if (!Eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }))
      return kNoExit;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  bool Running() { return !exited_ && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_ = -1;
  int input_ = -1, output_ = -1;
  std::string pending_;
  bool exited_ = false;
};

// An X server of the test's own; it writes the display it took.
class TXvfb {
 public:
  TXvfb()
      : server_({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                 "tcp", "-noreset"},
                {}) {
    display_ = ":" + server_.ReadLine();
  }
  const std::string& Display() const { return display_; }

 private:
  TChild server_;
  std::string display_;
};

// A session bus of the test's own, as a desktop session has one.
class TSessionBus {
 public:
  TSessionBus()
      : daemon_({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}) {
    address_ = daemon_.ReadLine();
  }
  const std::string& Address() const { return address_; }

 private:
  TChild daemon_;
  std::string address_;
};

// The desktop a test runs ravenote on: a display, a session bus and the
// tray's watcher on it.
struct TDesktop {
  TXvfb x;
  TSessionBus bus;
  TChild watcher{{SNI_WATCHER_PATH},
                 {{"QT_QPA_PLATFORM", "offscreen"}, {"DBUS_SESSION_BUS_ADDRESS", bus.Address()}}};
};

// Whether a window titled "Ravenote" is mapped on `display`.
bool WindowShown(const std::string& display) {
  const std::string command =
      "DISPLAY=" + display + " xdotool search --onlyvisible --name '^Ravenote$' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe)
    return false;
  char buffer[64];
  const bool found = std::fgets(buffer, sizeof buffer, pipe) != nullptr;
  ::pclose(pipe);
  return found;
}

// The environment of ravenote in `home` on `desktop`.
std::map<std::string, std::string> Env(const test::Home& home, const TDesktop& desktop) {
  return {{"HOME", home.root.Path().string()},
          {"XDG_CONFIG_HOME", home.Config().string()},
          {"XDG_STATE_HOME", home.State().string()},
          {"XDG_DATA_HOME", home.Data().string()},
          {"DISPLAY", desktop.x.Display()},
          {"DBUS_SESSION_BUS_ADDRESS", desktop.bus.Address()},
          {"QT_QPA_PLATFORM", "xcb"},
          {"LC_ALL", "C.UTF-8"}};
}

// A user's home with stored settings, so a start goes straight to the tray.
struct TConfiguredHome : test::Home {
  TConfiguredHome() { test::WriteFile(RegistryFile(), test::RegistryText(test::Config{})); }
};

TEST(RealWindow, TrayIconShowsTheWindowOnActivateAndContextMenuAndSigtermEndsCleanly) {
  TDesktop desktop;
  ASSERT_NE(desktop.x.Display(), ":") << "Xvfb gave no display";
  ASSERT_FALSE(desktop.bus.Address().empty()) << "no session bus";
  TChild& watcher = desktop.watcher;
  const std::string display = desktop.x.Display();
  ASSERT_EQ(watcher.ReadLine(), "ready");

  for (const char* press : {"activate", "contextmenu"}) {
    SCOPED_TRACE(press);
    TConfiguredHome home;
    TChild ravenote({RAVENOTE_PATH}, Env(home, desktop), home.root / "ravenote.err");

    const std::string registered = watcher.ReadLine();
    ASSERT_EQ(registered.rfind("registered ", 0), 0u)
        << registered << ReadFile(home.root / "ravenote.err");
    const std::string item = registered.substr(11);
    watcher.Send("tooltip " + item);
    EXPECT_EQ(watcher.ReadLine(), "tooltip Ravenote");

    // A clean start leaves only the tray icon.
    ASSERT_TRUE(Eventually(
        [&] { return fs::exists(home.ProgramFolder() / "NOTIFY.NTD") && !WindowShown(display); }));
    watcher.Send(std::string(press) + " " + item);
    EXPECT_EQ(watcher.ReadLine(), std::string("called ") + press);
    EXPECT_TRUE(Eventually([&] { return WindowShown(display); })) << "the window did not show";

    ravenote.Signal(SIGTERM);
    EXPECT_EQ(ravenote.WaitForExit(), 0) << ReadFile(home.root / "ravenote.err");
    for (const char* file : {"NOTIFY.NTD", "TASK.NTD", "EMAIL.NTD", "DEBUG.LOG"})
      EXPECT_TRUE(fs::exists(home.ProgramFolder() / file)) << file;
    const std::string log = ReadFile(home.ProgramFolder() / "DEBUG.LOG");
    EXPECT_NE(log.find("Shutting Down"), std::string::npos) << log;
    EXPECT_NE(log.find("Completed"), std::string::npos) << log;
  }
}

TEST(RealWindow, ASecondStartBringsTheFirstForwardAndEnds) {
  TDesktop desktop;
  const std::string display = desktop.x.Display();
  ASSERT_EQ(desktop.watcher.ReadLine(), "ready");
  TConfiguredHome home;
  TChild first({RAVENOTE_PATH}, Env(home, desktop), home.root / "first.err");
  ASSERT_EQ(desktop.watcher.ReadLine().rfind("registered ", 0), 0u);
  ASSERT_TRUE(Eventually(
      [&] { return fs::exists(home.ProgramFolder() / "NOTIFY.NTD") && !WindowShown(display); }));

  TChild second({RAVENOTE_PATH}, Env(home, desktop), home.root / "second.err");
  EXPECT_EQ(second.WaitForExit(), 0) << ReadFile(home.root / "second.err");
  EXPECT_TRUE(Eventually([&] { return WindowShown(display); }));
  EXPECT_TRUE(first.Running());
  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitForExit(), 0);
}

}  // namespace
}  // namespace rn
