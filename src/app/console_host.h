// What ravenoted puts in place of the tray window: status texts become lines
// on standard output, error boxes and the settings' messages lines on
// standard error. Nothing here ever waits for a user. Every line has its
// control characters escaped, so no text from a calendar, a task or a mail
// can start a line of its own or send a terminal an escape sequence.
#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>

#include "engine/engine_host.h"
#include "shell/settings.h"

namespace rn {

// The settings' window, on the console. There is no window, so the screen is
// as large as can be and the window position lives only in memory.
class TConsoleSettingsHost final : public ISettingsHost {
 public:
  explicit TConsoleSettingsHost(std::filesystem::path registryFile);

  void ShowWelcome(const std::string& text) override;
  void ShowRegistryError(const std::string& text) override;
  // Says how to configure Ravenote: ravenoted --set, or the desktop
  // program's wizard.
  void PostOpenWizard() override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  int WindowTop() override { return top_; }
  int WindowLeft() override { return left_; }
  void SetWindowTop(int top) override { top_ = top; }
  void SetWindowLeft(int left) override { left_ = left; }
  void SetSwitchChecked(TSwitch, bool) override {}

 private:
  std::filesystem::path registryFile_;
  std::atomic<int> top_{0};
  std::atomic<int> left_{0};
};

// The engine's window, on the console: one status line per text on standard
// output, flushed at once so a pipe or the journal sees it; an error box is
// one line on standard error and returns at once.
class TConsoleEngineHost final : public IEngineHost {
 public:
  void ShowStatus(const std::string& text) override;
  void ShowErrorBox(const std::string& text) override;
};

// A registry error box's text as one line: its cause (on a line of its own in
// the box) after a colon, and the file named when the text does not name it.
std::string RegistryErrorLine(const std::string& text, const std::filesystem::path& file);

// One line on standard error, prefixed with the program's name.
void ErrorLine(const std::string& text);
// One line on standard output.
void OutputLine(const std::string& text);

}  // namespace rn
