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

void TQtSettingsHost::OpenBox(const TMessageBox& box) {
  ++boxesOpen_;
  boxes_.Open(window_, box, [this](TBoxAnswer) { BoxAnswered(); });
}

void TQtSettingsHost::BoxAnswered() {
  if (--boxesOpen_ > 0)
    return;
  std::vector<std::function<void()>> then;
  then.swap(waiting_);
  for (const auto& run : then)
    run();
}

void TQtSettingsHost::WhenBoxesAnswered(std::function<void()> then) {
  if (boxesOpen_ > 0)
    waiting_.push_back(std::move(then));
  else if (then)
    then();
}

void TQtSettingsHost::ShowWelcome(const std::string& text) {
  if (!quiet_)
    OpenBox({QStringLiteral("Information"), QString::fromStdString(text), TBoxIcon::Information,
             TBoxButtons::Ok});
}

void TQtSettingsHost::ShowRegistryError(const std::string& text) {
  OpenBox({QGuiApplication::applicationDisplayName(), QString::fromStdString(text), TBoxIcon::None,
           TBoxButtons::Ok});
}

void TQtSettingsHost::PostOpenWizard() {
  wizardRequested_ = true;
  if (!quiet_ && openWizard_)
    WhenBoxesAnswered(openWizard_);
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
