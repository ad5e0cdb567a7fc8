// The wizard on its own, editing the real settings store: it loads the
// settings (greeting a first run), opens the wizard, and on Done saves the
// settings and ends; a confirmed Cancel loads them again and ends. This is
// `ravenote --wizard`.
#pragma once

#include <QObject>
#include <filesystem>
#include <functional>

#include "platform/registry.h"
#include "shell/settings.h"
#include "wizard/new_agent_installer.h"
#include "wizard/qt_settings_host.h"

namespace rn {

class IMessageBoxes;
class TMainForm;

inline constexpr int kWizardSaved = 0;
inline constexpr int kWizardNotSaved = 1;

class TWizardProgram final : public QObject {
 public:
  TWizardProgram(std::filesystem::path registryFile, IMessageBoxes& boxes);
  ~TWizardProgram() override;

  // Runs with kWizardSaved after a save, kWizardNotSaved otherwise.
  std::function<void(int status)> OnEnd;

  void Start();
  TSettings& Settings() { return settings_; }
  TNewAgentInstaller& Installer() { return installer_; }
  TMainForm* Host() const;

 protected:
  bool event(QEvent* event) override;

 private:
  void OpenWizard();
  void SaveAndEnd();
  void ReloadAndEnd();
  void End(int status);

  TRegistry registry_;
  IMessageBoxes& boxes_;
  TQtSettingsHost settingsHost_;
  TSettings settings_;
  TNewAgentInstaller installer_;
  bool ended_ = false;
};

}  // namespace rn
