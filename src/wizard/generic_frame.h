// The page base: every wizard page inherits its row of Help, Back, Next and
// Cancel buttons, their actions and the Enter key. A page fills its controls
// in PageShown and checks and stores its values in DoNext.
#pragma once

#include <QFrame>
#include <functional>

class QAction;
class QPushButton;

namespace rn {

class TBaseInstaller;

class TGenericFrame : public QFrame {
  Q_OBJECT

 public:
  explicit TGenericFrame(TBaseInstaller& installer);

  virtual void DoBack();
  virtual void DoNext();
  virtual void DoCancel();
  // Gives Next the focus when it is enabled; a page then fills its controls.
  virtual void PageShown();

  // After the page has filled itself: when the focus is not on the page
  // (Next was still disabled when it was shown), Next takes it if it can,
  // else the page's first control, so the keyboard never loses the wizard.
  void KeepFocus();

  void acBackExecute();
  void acNextExecute();
  void acCancelExecute();
  void ButtonHelpClick();
  void EnterExecute();

 protected:
  // Where a page puts its own controls: everything above the button row.
  QWidget* ClientArea() const { return clientArea_; }
  // Runs once a page has built its design: the Help button shows only with a
  // help context, and Back takes Next's place when Next is hidden.
  void Loaded();
  // The tab order of the page's controls and its button row.
  virtual void ArrangeTabOrder();

  TBaseInstaller& WizardInstaller;

  QWidget* ButtonPanel;
  QPushButton* HelpButton;
  QWidget* Panel1;
  QPushButton* BackButton;
  QPushButton* NextButton;
  QPushButton* CancelButton;
  QAction* acBack;
  QAction* acNext;
  QAction* acCancel;
  QAction* Enter;

 private:
  // Disables the button row while `step` runs and enables it again also when
  // the step fails, so a failing step never leaves the buttons dead.
  void RunStep(const std::function<void()>& step);

  QWidget* clientArea_;
};

// The help context a widget carries (0: none).
inline constexpr const char* kHelpContextProperty = "helpContext";

}  // namespace rn
