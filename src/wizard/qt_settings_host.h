// What the settings need of a Qt program: the first-run welcome and the
// registry error as message boxes, the screen's size, and the position of
// the program's window (kept in memory while there is none). It lives as
// long as the program: the boxes it opens call back into it.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "shell/settings.h"

namespace rn {

class IMessageBoxes;
struct TMessageBox;

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
  // Runs `then` once no box of the settings is open any more: at once, or
  // when the last one is answered. The first run's wizard waits like this
  // for its welcome, so it never opens over a box the user has not read.
  void WhenBoxesAnswered(std::function<void()> then);
  // A load has taken the first-run path and asked for the wizard.
  bool WizardRequested() const { return wizardRequested_; }
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
  void OpenBox(const TMessageBox& box);
  void BoxAnswered();

  IMessageBoxes& boxes_;
  std::function<void()> openWizard_;
  int boxesOpen_ = 0;
  std::vector<std::function<void()>> waiting_;
  bool wizardRequested_ = false;
  QPointer<QWidget> window_;
  int top_ = 0;
  int left_ = 0;
  bool quiet_ = false;
};

}  // namespace rn
