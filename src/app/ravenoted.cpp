#include "app/ravenoted.h"

#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include "app/console_host.h"
#include "app/settings_words.h"
#include "shell/carriers.h"

#ifndef RAVENOTE_VERSION
#define RAVENOTE_VERSION "unknown"
#endif

namespace rn {
namespace {

constexpr const char* kProgram = "ravenoted";
constexpr const char* kDiedText = "Outlook Processor has died. Please Restart Application.";
constexpr const char* kShuttingDownText =
    "Shutting Download Outlook Processing System....Please Wait.";
// "  Name             what it takes", wrapped under itself within the width.
std::string HelpEntry(const std::string& name, const std::string& takes) {
  constexpr size_t kIndent = 19;
  constexpr size_t kWidth = 96;
  std::string entry =
      "  " + name + std::string(name.size() < kIndent - 2 ? kIndent - 2 - name.size() : 1, ' ');
  size_t column = entry.size();
  std::istringstream words(takes);
  bool first = true;
  for (std::string word; words >> word; first = false) {
    if (!first && column + 1 + word.size() > kWidth) {
      entry += "\n" + std::string(kIndent, ' ');
      column = kIndent;
    } else if (!first) {
      entry += ' ';
      ++column;
    }
    entry += word;
    column += word.size();
  }
  return entry + "\n";
}

void PrintHelp() {
  std::string text =
      "Usage: ravenoted [OPTION]\n"
      "Ravenote's notification engine without a window: meeting reminders, morning and evening\n"
      "messages, task notices and urgent mail sent to your phone as e-mail.\n"
      "\n"
      "Without an option it runs until SIGINT or SIGTERM (status 0); SIGHUP loads the settings\n"
      "and the store locations again. Status texts go to standard output, errors to standard\n"
      "error.\n"
      "\n"
      "  --show-settings        show every setting in words\n"
      "  --set NAME=VALUE ...   change settings and save them (names below)\n"
      "  --test-message         send the test message now through the configured mail path\n"
      "  --version              show the version\n"
      "  --help                 show this help\n"
      "\n"
      "Names for --set:\n";
  for (const auto& [name, takes] : SettingNames())
    text += HelpEntry(name, takes);
  text +=
      "\n"
      "Exit status: 0 done; 1 failed (the test message, a dead engine, another engine on the\n"
      "same profile, a folder that is not your own); 2 a bad option, name or value, or a\n"
      "settings file that cannot be read.\n";
  std::fputs(text.c_str(), stdout);
}

// The settings' window for a one-off command: what the load says is kept for
// the command to tell in its own words.
class TCommandSettingsHost final : public ISettingsHost {
 public:
  void ShowWelcome(const std::string&) override { FirstRun = true; }
  void ShowRegistryError(const std::string& text) override { Errors.push_back(text); }
  void PostOpenWizard() override {}
  int ScreenWidth() override { return INT_MAX; }
  int ScreenHeight() override { return INT_MAX; }
  int WindowTop() override { return top_; }
  int WindowLeft() override { return left_; }
  void SetWindowTop(int top) override { top_ = top; }
  void SetWindowLeft(int left) override { left_ = left; }
  void SetSwitchChecked(TSwitch, bool) override {}

  bool FirstRun = false;
  std::vector<std::string> Errors;

 private:
  int top_ = 0;
  int left_ = 0;
};

// The engine's window for the test message: the error text is kept.
class TCommandEngineHost final : public IEngineHost {
 public:
  void ShowStatus(const std::string&) override {}
  void ShowErrorBox(const std::string& text) override { Error = text; }
  std::string Error;
};

// Loads the settings for a command; false (and said why) when the file
// cannot be used as it is.
bool LoadForCommand(TWiring& wiring, TCommandSettingsHost& host) {
  wiring.Settings().LoadSettings(wiring.Registry());
  if (host.Errors.empty())
    return true;
  for (const std::string& error : host.Errors)
    ErrorLine(RegistryErrorLine(error, wiring.Paths().RegistryFile));
  return false;
}

std::string Shown(const std::string& text) {
  return text.empty() ? "(none)" : text;
}

void ShowLine(const std::string& name, const std::string& value) {
  OutputLine(name + std::string(name.size() < 18 ? 18 - name.size() : 1, ' ') + value);
}

std::string RunningText(const TWiringPaths& paths) {
  const std::optional<TLockHolder> holder = TFolderLock::Holder(paths.ProgramFolder);
  return holder ? HolderText(*holder) + " is running" : "not running";
}

int ShowSettings() {
  TCommandSettingsHost host;
  TWiring wiring(TWiringPaths::FromEnvironment(), &host);
  if (!LoadForCommand(wiring, host))
    return kExitUsage;
  const TSettingsData data = wiring.Settings().Snapshot();

  ShowLine("Registry file", wiring.Paths().RegistryFile.string());
  ShowLine("Program folder", wiring.Paths().ProgramFolder.string());
  ShowLine("Engine", RunningText(wiring.Paths()));
  ShowLine("Version", host.FirstRun ? std::string("not configured yet: every notification is off "
                                                  "(configure it with ravenoted --set)")
                                    : std::string(kSettingsVersion));
  for (const auto& [name, value] : SettingsInWords(data))
    ShowLine(name, value);
  ShowLine("Messages go to", Shown(DestinationAddress(data)));

  try {
    const TStoreLocations store = ReadStoreLocations(wiring.Registry());
    for (const auto& [name, path] :
         {std::pair{"Calendar", store.Calendar}, std::pair{"Tasks", store.Tasks},
          std::pair{"Inbox", store.Inbox}}) {
      std::error_code ec;
      ShowLine(name, path.string() + (std::filesystem::exists(path, ec) ? "" : " (not there)"));
    }
  } catch (const std::exception& error) {
    ErrorLine(std::string("Cannot read the store locations: ") + error.what());
    return kExitUsage;
  }
  return kExitDone;
}

// Pass=-: one line from standard input, not echoed on a terminal.
std::string ReadPassword() {
  const bool terminal = ::isatty(STDIN_FILENO);
  termios saved{};
  if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::fputs("Password: ", stderr);
    std::fflush(stderr);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  const bool got = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
  }
  if (!got)
    throw EBadSetting("Pass=-: standard input gave no line to read the password from");
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  return line;
}

int SetSettings(const std::vector<std::string>& assignments) {
  if (assignments.empty()) {
    ErrorLine("--set needs at least one NAME=VALUE; ravenoted --help lists the names");
    return kExitUsage;
  }
  TCommandSettingsHost host;
  TWiring wiring(TWiringPaths::FromEnvironment(), &host);
  if (!LoadForCommand(wiring, host)) {
    ErrorLine("Nothing was written. Mend the file, or move it away to start afresh.");
    return kExitUsage;
  }

  TStoreValues store;
  try {
    for (const std::string& text : assignments)
      ApplyAssignment(ParseAssignment(text), wiring.Settings(), store, ReadPassword);
  } catch (const EBadSetting& error) {
    ErrorLine(error.what());
    ErrorLine("Nothing was written.");
    return kExitUsage;
  }

  TRegistry::TKeyChanges alongside;
  if (!store.empty()) {
    alongside.emplace_back(kStoreKey, [&store](TRegKey& key) {
      for (const auto& [name, value] : store)
        key.WriteString(name, value);
    });
  }
  try {
    wiring.SaveSettings(alongside);
  } catch (const std::exception& error) {
    ErrorLine(std::string("Cannot save the settings: ") + error.what());
    return kExitFailed;
  }

  OutputLine("Saved in " + wiring.Paths().RegistryFile.string() + ".");
  if (host.FirstRun) {
    OutputLine(
        "Ravenote was not configured before: the settings not given keep their first-run values "
        "(ravenoted --show-settings shows them all).");
  }
  if (const auto holder = TFolderLock::Holder(wiring.Paths().ProgramFolder)) {
    if (holder->Program == kProgram && holder->Pid > 0) {
      OutputLine(HolderText(*holder) + " is running on this profile: send it SIGHUP to use the " +
                 "new settings (kill -HUP " + std::to_string(holder->Pid) + ").");
    } else {
      OutputLine(HolderText(*holder) +
                 " is running on this profile and saves its own settings whenever its window "
                 "hides, over these; change them in its window, or quit it and set them again.");
    }
  }
  return kExitDone;
}

int SendTestMessage() {
  TCommandSettingsHost host;
  TWiring wiring(TWiringPaths::FromEnvironment(), &host);
  if (!LoadForCommand(wiring, host))
    return kExitUsage;
  if (host.FirstRun) {
    ErrorLine(
        "Ravenote is not configured yet: set where messages go (Service with Pin, or "
        "Service=Other with CustomEmail), Server and FromEmail with ravenoted --set first.");
    return kExitFailed;
  }
  const TSettingsData data = wiring.Settings().Snapshot();
  std::string path = "through " + Shown(data.Server);
  if (data.Pop3Signin)
    path += " after signing in to " + Shown(data.Pop3Server);
  OutputLine("Sending the test message to " + Shown(DestinationAddress(data)) + " " + path + "...");

  TCommandEngineHost engineHost;
  if (!wiring.SendTestMessage(engineHost)) {
    ErrorLine("The test message could not be sent: " + engineHost.Error);
    return kExitFailed;
  }
  OutputLine("The test message was sent.");
  return kExitDone;
}

// Says who holds the program folder, for a second copy that stops.
void SayAlreadyRunning(const TWiringPaths& paths) {
  std::optional<TLockHolder> holder;
  try {
    holder = TFolderLock::Holder(paths.ProgramFolder);
  } catch (const EFolderError&) {
  }
  ErrorLine("Another Ravenote engine, " + (holder ? HolderText(*holder) : "another program") +
            ", is already running on " + paths.ProgramFolder.string() +
            "; this one stops. Two engines on one profile would send every notification twice.");
}

}  // namespace

sigset_t RunSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, kEngineEndedSignal})
    sigaddset(&signals, signal);
  return signals;
}

int RunEngine(const sigset_t& signals, TWiring::TOptions options) {
  const TWiringPaths paths = TWiringPaths::FromEnvironment();
  TConsoleSettingsHost settingsHost(paths.RegistryFile);
  TWiring wiring(paths, &settingsHost, std::move(options));
  if (!wiring.LockProgramFolder(kProgram)) {
    SayAlreadyRunning(paths);
    return kExitFailed;
  }
  wiring.LoadSettings();

  TConsoleEngineHost engineHost;
  const pid_t self = ::getpid();
  // The thread's last act: a signal to this process, which only this thread
  // takes, so it sleeps until something happens instead of looking.
  std::unique_ptr<IEngine> engine =
      wiring.CreateEngine(engineHost, [self] { ::kill(self, kEngineEndedSignal); });
  engine->Start();

  int status = kExitDone;
  for (;;) {
    const int received = ::sigwaitinfo(&signals, nullptr);
    if (received == SIGHUP) {
      wiring.LoadSettings();
      // A pass right away, so the new settings show at once.
      engine->SetWakeEvent();
    } else if (received == SIGINT || received == SIGTERM) {
      break;
    } else if (received == kEngineEndedSignal && !engine->EngineRunning()) {
      ErrorLine(kDiedText);
      status = kExitFailed;
      break;
    }
    // Anything else (EINTR, the signal sent by someone else): wait on.
  }

  engineHost.ShowStatus(kShuttingDownText);
  engine->Stop();
  engine.reset();
  return status;
}

int RavenotedMain(const std::vector<std::string>& args) {
  const auto only = [&](int (*command)()) {
    if (args.size() > 1) {
      ErrorLine(args[0] + " takes nothing after it; ravenoted --help lists the options");
      return kExitUsage;
    }
    return command();
  };
  try {
    if (args.empty()) {
      // Blocked here, before any thread exists, so every later thread
      // inherits the mask and the signals reach sigwaitinfo alone.
      const sigset_t signals = RunSignals();
      ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
      // A signal ignored by the parent (a shell's background job, a test
      // runner) would be discarded before sigwaitinfo could take it.
      for (int taken : {SIGINT, SIGTERM, SIGHUP, kEngineEndedSignal})
        ::signal(taken, SIG_DFL);
      return RunEngine(signals);
    }
    const std::string& option = args[0];
    if (option == "--help" || option == "-h")
      return only([] {
        PrintHelp();
        return kExitDone;
      });
    if (option == "--version")
      return only([] {
        OutputLine(std::string("ravenoted (Ravenote) ") + RAVENOTE_VERSION + ", settings " +
                   kSettingsVersion);
        return kExitDone;
      });
    if (option == "--show-settings")
      return only(ShowSettings);
    if (option == "--test-message")
      return only(SendTestMessage);
    if (option == "--set")
      return SetSettings(std::vector<std::string>(args.begin() + 1, args.end()));
    ErrorLine("unknown option \"" + option + "\"; ravenoted --help lists the options");
    return kExitUsage;
  } catch (const std::exception& error) {
    // A folder that is not the user's, a registry file that cannot be read.
    ErrorLine(error.what());
    return kExitFailed;
  }
}

}  // namespace rn
