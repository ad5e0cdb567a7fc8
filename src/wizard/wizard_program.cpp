#include "wizard/wizard_program.h"

#include "wizard/main_form.h"
#include "wizard/message_boxes.h"
#include "wizard/window_message.h"

namespace rn {

TWizardProgram::TWizardProgram(std::filesystem::path registryFile, IMessageBoxes& boxes)
    : registry_(std::move(registryFile)),
      boxes_(boxes),
      // A first run asks for the wizard itself, once its welcome is read.
      settingsHost_(boxes, [this] { OpenWizard(); }),
      settings_(&settingsHost_) {}

TWizardProgram::~TWizardProgram() {
  delete installer_.WizardHost();
}

TMainForm* TWizardProgram::Host() const {
  return installer_.WizardHost();
}

void TWizardProgram::Start() {
  // A registry file that cannot be read is reported and left alone: no
  // wizard, since nothing it collected could be saved over that file.
  bool readable = true;
  try {
    registry_.OpenKey(kRegistryKey);
  } catch (const ERegistryError&) {
    readable = false;
  }
  settings_.LoadSettings(registry_);
  if (!readable)
    settingsHost_.WhenBoxesAnswered([this] { End(kWizardNotSaved); });
  else if (!settingsHost_.WizardRequested())
    settingsHost_.WhenBoxesAnswered([this] { OpenWizard(); });
}

void TWizardProgram::OpenWizard() {
  if (ended_ || Host())
    return;
  new TMainForm(installer_, settings_, this, boxes_);
}

bool TWizardProgram::event(QEvent* event) {
  if (IsWindowMessage(event, WM_SAVE_SETTINGS)) {
    SaveAndEnd();
    return true;
  }
  if (IsWindowMessage(event, WM_RELOAD_SETTINGS)) {
    ReloadAndEnd();
    return true;
  }
  return QObject::event(event);
}

void TWizardProgram::SaveAndEnd() {
  try {
    settings_.SaveSettings(registry_);
  } catch (const std::exception& failure) {
    boxes_.Error(nullptr, QStringLiteral("Error"), QString::fromStdString(failure.what()),
                 [this] { End(kWizardNotSaved); });
    return;
  }
  End(kWizardSaved);
}

void TWizardProgram::ReloadAndEnd() {
  // What the run stored is dropped; nobody is left to greet.
  settingsHost_.SetQuiet(true);
  settings_.LoadSettings(registry_);
  End(kWizardNotSaved);
}

void TWizardProgram::End(int status) {
  if (ended_)
    return;
  ended_ = true;
  if (OnEnd)
    OnEnd(status);
}

}  // namespace rn
