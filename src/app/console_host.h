// What ravenoted puts in place of the tray window: status texts become lines
// on standard output, error boxes and the settings' messages lines on
// standard error. Nothing here ever waits for a user.
#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>

#include "engine/engine_host.h"
#include "shell/settings.h"

namespace rn {

// A text as one line: CR and LF become single spaces.
std::string OneLine(const std::string& text);

// The settings' window, on the console. There is no window, so the screen is
// as large as can be and the window position lives only in memory.
class TConsoleSettingsHost final : public ISettingsHost {
 public:
  explicit TConsoleSettingsHost(std::filesystem::path registryFile);

  void ShowWelcome(const std::string& text) override;
  void ShowRegistryError(const std::string& text) override;
  // Says how to configure Ravenote: the values to set in the registry file,
  // or the desktop program's wizard.
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

 private:
  std::mutex mutex_;
};

// One line on standard error, prefixed with the program's name.
void ErrorLine(const std::string& text);

}  // namespace rn
