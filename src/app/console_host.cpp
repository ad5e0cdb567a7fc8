#include "app/console_host.h"

#include <climits>
#include <cstdio>

namespace rn {

std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  bool lastWasBreak = false;
  for (char c : text) {
    const bool isBreak = c == '\r' || c == '\n';
    if (isBreak) {
      if (!lastWasBreak)
        line += ' ';
    } else {
      line += c;
    }
    lastWasBreak = isBreak;
  }
  return line;
}

void ErrorLine(const std::string& text) {
  std::fprintf(stderr, "ravenoted: %s\n", OneLine(text).c_str());
  std::fflush(stderr);
}

TConsoleSettingsHost::TConsoleSettingsHost(std::filesystem::path registryFile)
    : registryFile_(std::move(registryFile)) {}

void TConsoleSettingsHost::ShowWelcome(const std::string& text) {
  ErrorLine(text);
}

void TConsoleSettingsHost::ShowRegistryError(const std::string& text) {
  // The box's text may carry the cause on a line of its own.
  std::string line = text;
  if (const size_t cause = line.find('\n'); cause != std::string::npos) {
    line.replace(cause, 1, ": ");
  }
  if (line.find(registryFile_.string()) == std::string::npos) {
    line += " (" + registryFile_.string() + ")";
  }
  ErrorLine(line);
  ErrorLine(
      "The file is left as it is. Mend it and send SIGHUP to reload it; until then the "
      "settings keep their previous values.");
}

void TConsoleSettingsHost::PostOpenWizard() {
  const std::string file = registryFile_.string();
  for (const std::string& line : {
           std::string("Ravenote is not configured yet, so every notification is off."),
           "Configure it with the wizard of the desktop program (ravenote), or write the values "
           "under [HKEY_CURRENT_USER\\Software\\Quarrowmere\\Ravenote] in " +
               file + ":",
           std::string("  \"Version\"=\"01.01.00.005\"; the switches MeetingNotify, "
                       "MorningNotify, EveningNotify, TaskNotify, TaskPreNotify, TaskReminder, "
                       "UrgentEmail (dword:00000001 on, dword:00000000 off);"),
           std::string("  EarlyTime and LateTime (hex: the 8 bytes of a little-endian double, "
                       "days since 1899-12-30; only the time of day counts);"),
           std::string("  Service (dword, 8 for a custom address) with Pin, or CustomEmail; "
                       "Server, FromEmail, and UserName, Pass, MustSignIn, Pop3Signin, "
                       "Pop3Server as your mail server needs. README.md shows an example."),
           std::string("Then send SIGHUP to ravenoted, or start it again."),
       }) {
    ErrorLine(line);
  }
}

int TConsoleSettingsHost::ScreenWidth() {
  return INT_MAX;
}
int TConsoleSettingsHost::ScreenHeight() {
  return INT_MAX;
}

void TConsoleEngineHost::ShowStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  std::fprintf(stdout, "%s\n", OneLine(text).c_str());
  std::fflush(stdout);
}

void TConsoleEngineHost::ShowErrorBox(const std::string& text) {
  std::lock_guard lock(mutex_);
  ErrorLine(text);
}

}  // namespace rn
