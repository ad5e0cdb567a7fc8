// What the settings need of a Qt program: the first-run welcome and the
// registry error as message boxes, the screen's size, and the position of
// the program's window (kept in memory while there is none).
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "shell/settings.h"

namespace rn {

class IMessageBoxes;

class TQtSettingsHost : public ISettingsHost {
 public:
  // `window`: the program's window, whose position is saved and restored
  // (may be null); `openWizard` runs for the first run's wizard request,
  // once the user has dismissed the welcome box that comes before it.
  TQtSettingsHost(IMessageBoxes& boxes, std::function<void()> openWizard,
                  QWidget* window = nullptr);

  // While quiet, the first-run welcome and the wizard request are left out
  // (a reload whose result nobody will see).
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // Runs when the registry error box has been answered.
  std::function<void()> AfterRegistryError;
  // Runs when a notification switch is set (the tray window's check marks).
  std::function<void(TSwitch, bool)> OnSwitch;

  void ShowWelcome(const std::string& text) override;
  void ShowRegistryError(const std::string& text) override;
  void PostOpenWizard() override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  int WindowTop() override;
  int WindowLeft() override;
  void SetWindowTop(int top) override;
  void SetWindowLeft(int left) override;
  void SetSwitchChecked(TSwitch which, bool checked) override;

 private:
  IMessageBoxes& boxes_;
  std::function<void()> openWizard_;
  QPointer<QWidget> window_;
  int top_ = 0;
  int left_ = 0;
  bool quiet_ = false;
  bool welcomeOpen_ = false;
  bool wizardAfterWelcome_ = false;
};

}  // namespace rn
