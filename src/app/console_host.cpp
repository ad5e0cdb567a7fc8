#include "app/console_host.h"

#include <climits>
#include <cstdio>

#include "platform/text.h"

namespace rn {
namespace {

// Standard output and standard error take whole lines, one writer at a time.
std::mutex gConsoleMutex;

void WriteLine(std::FILE* stream, const std::string& prefix, const std::string& text) {
  const std::string line = prefix + EscapeControls(text) + "\n";
  std::lock_guard lock(gConsoleMutex);
  std::fputs(line.c_str(), stream);
  std::fflush(stream);
}

}  // namespace

void ErrorLine(const std::string& text) {
  WriteLine(stderr, "ravenoted: ", text);
}

void OutputLine(const std::string& text) {
  WriteLine(stdout, "", text);
}

TConsoleSettingsHost::TConsoleSettingsHost(std::filesystem::path registryFile)
    : registryFile_(std::move(registryFile)) {}

void TConsoleSettingsHost::ShowWelcome(const std::string& text) {
  // The welcome box's own two lines, as one.
  std::string line = text;
  for (size_t at; (at = line.find("\r\n")) != std::string::npos;)
    line.replace(at, 2, " ");
  ErrorLine(line);
}

std::string RegistryErrorLine(const std::string& text, const std::filesystem::path& file) {
  std::string line = text;
  if (const size_t cause = line.find('\n'); cause != std::string::npos)
    line.replace(cause, 1, ": ");
  if (line.find(file.string()) == std::string::npos)
    line += " (" + file.string() + ")";
  return line;
}

void TConsoleSettingsHost::ShowRegistryError(const std::string& text) {
  ErrorLine(RegistryErrorLine(text, registryFile_));
  ErrorLine(
      "The file is left as it is. Mend it and send SIGHUP to reload it; until then the "
      "settings keep their previous values.");
}

void TConsoleSettingsHost::PostOpenWizard() {
  for (const std::string& line : {
           std::string("Ravenote is not configured yet, so every notification is off."),
           std::string("Configure it with ravenoted --set NAME=VALUE ... (ravenoted --help "
                       "lists the names), or with the wizard of the desktop program (ravenote); "
                       "the settings are kept in ") +
               registryFile_.string() + ".",
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
  OutputLine(text);
}

void TConsoleEngineHost::ShowErrorBox(const std::string& text) {
  ErrorLine(text);
}

}  // namespace rn
