#include "wizard/qt_settings_host.h"

#include <QGuiApplication>
#include <QScreen>

#include "wizard/message_boxes.h"

namespace rn {
namespace {

QRect ScreenRect() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect();
}

}  // namespace

TQtSettingsHost::TQtSettingsHost(IMessageBoxes& boxes, std::function<void()> openWizard,
                                 QWidget* window)
    : boxes_(boxes), openWizard_(std::move(openWizard)), window_(window) {}

void TQtSettingsHost::ShowWelcome(const std::string& text) {
  if (quiet_)
    return;
  welcomeOpen_ = true;
  boxes_.Information(window_, QStringLiteral("Information"), QString::fromStdString(text), [this] {
    welcomeOpen_ = false;
    if (wizardAfterWelcome_) {
      wizardAfterWelcome_ = false;
      if (openWizard_)
        openWizard_();
    }
  });
}

void TQtSettingsHost::ShowRegistryError(const std::string& text) {
  boxes_.Open(window_,
              {QGuiApplication::applicationDisplayName(), QString::fromStdString(text),
               TBoxIcon::None, TBoxButtons::Ok},
              [this](TBoxAnswer) {
                if (AfterRegistryError)
                  AfterRegistryError();
              });
}

void TQtSettingsHost::PostOpenWizard() {
  if (quiet_ || !openWizard_)
    return;
  // The wizard follows the welcome box once the user has read it.
  if (welcomeOpen_)
    wizardAfterWelcome_ = true;
  else
    openWizard_();
}

int TQtSettingsHost::ScreenWidth() {
  return ScreenRect().width();
}

int TQtSettingsHost::ScreenHeight() {
  return ScreenRect().height();
}

int TQtSettingsHost::WindowTop() {
  return window_ ? window_->y() : top_;
}

int TQtSettingsHost::WindowLeft() {
  return window_ ? window_->x() : left_;
}

void TQtSettingsHost::SetWindowTop(int top) {
  top_ = top;
  if (window_)
    window_->move(window_->x(), top);
}

void TQtSettingsHost::SetWindowLeft(int left) {
  left_ = left;
  if (window_)
    window_->move(left, window_->y());
}

void TQtSettingsHost::SetSwitchChecked(TSwitch which, bool checked) {
  if (OnSwitch)
    OnSwitch(which, checked);
}

}  // namespace rn
