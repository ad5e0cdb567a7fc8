// TRavenoteForm: the tray window. It owns the settings' window side, the
// engine and its bridge, the tray icon and the window's commands; it runs the
// program's start (FormCreate, WM_START_ENGINE), the wizard hand-off and both
// ends of the program (the user's exit and the end of the session).
#pragma once

#include <QEvent>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "shell/engine_control.h"
#include "shell/settings.h"
#include "shell/window/engine_bridge.h"
#include "shell/window/help_book.h"
#include "shell/window/stop_sequence.h"
#include "shell/window/window_timers.h"
#include "wizard/qt_settings_host.h"

class QAction;
class QLabel;
class QSystemTrayIcon;
class QToolBar;

namespace rn {

class IDesktop;
class IMessageBoxes;
class TWiring;

inline constexpr const char* kCaption = "Ravenote";
inline constexpr int kClientWidth = 375;
inline constexpr int kClientHeight = 178;
inline constexpr int kHintTimeMs = 6000;
inline constexpr int kTestSenderMs = 5000;
inline constexpr int kWatchdogMs = 15000;
inline constexpr int kTrayTipLength = 63;

inline constexpr const char* kCheckForShutdown = "Check for Shutdown.";
inline constexpr const char* kStopQuestion = "Do you really want to stop Ravenote?";
inline constexpr const char* kShuttingDown =
    "Shutting Download Outlook Processing System....Please Wait.";
inline constexpr const char* kProcessorDied =
    "Outlook Processor has died. Please Restart Application.";
inline constexpr const char* kNoTray =
    "No notification area on this desktop: Ravenote minimises to the taskbar instead.";

// The mouse messages of the tray icon's callback (WM_TRAY_ICON).
inline constexpr int kLeftButtonDown = 0x0201;
inline constexpr int kLeftButtonDoubleClick = 0x0203;
inline constexpr int kRightButtonDown = 0x0204;
inline constexpr int kMiddleButtonDown = 0x0207;

// WM_TRAY_ICON with its mouse message.
class TTrayIconEvent final : public QEvent {
 public:
  explicit TTrayIconEvent(int mouseMessage);
  const int MouseMessage;
};

struct TFormDeps {
  TWiring& Wiring;
  IMessageBoxes& Boxes;
  ITimers& Timers;
  IDesktop& Desktop;
  THelpBook Help;
  // Creates the engine (not started), reporting to `host`.
  std::function<std::unique_ptr<IEngine>(IEngineHost& host)> MakeEngine;
  // Opens a new wizard window, its result messages going to `owner`.
  std::function<void(QWidget* owner)> OpenWizard;
  // Ends the message loop once the program's end is complete.
  std::function<void()> Quit;
  // The debugger output ("***ERROR:" lines).
  std::function<void(const std::string&)> DebugOutput;
};

class TRavenoteForm final : public QMainWindow {
  Q_OBJECT

 public:
  // FormCreate: loads the settings, posts WM_START_ENGINE, adds the tray icon.
  explicit TRavenoteForm(TFormDeps deps);
  // FormDestroy. An engine still there (the loop ended some other way) is
  // stopped and waited for here.
  ~TRavenoteForm() override;

  QString StatusText() const;
  void SetStatusText(const QString& text);
  bool EngineRunning() const;
  IEngine* Engine() const { return engine_.get(); }
  TEngineBridge& Bridge() { return bridge_; }
  QSystemTrayIcon* TrayIcon() const { return trayIcon_; }
  QAction* SwitchAction(TSwitch which) const;
  const TStopSequence& StopSequence() const { return stop_; }
  bool Stopping() const { return stopping_; }

  // The window's commands.
  void actSettingsExecute();
  void StartTestSendExecute();
  void actDebugExecute();
  void actHelpExecute();
  void actUpgradeCheckExecute();
  void actHideExecute() { HideToTray(); }
  void actExitExecute();
  void Label3Click();

  // A press on the tray icon, or a second start: shows the window and brings
  // it to the front.
  void BringForward();
  // The session manager asks whether the session may end; `mayAsk` when the
  // user may be asked. True: it may end.
  bool QueryEndSession(bool mayAsk);
  // The end of the session (SIGTERM, the session manager's quit): the engine
  // is stopped without a question and the program ends.
  void EndSession();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildDesign();
  QAction* MakeAction(const char* name, const QString& caption, const char* hint,
                      const QKeySequence& shortcut, int image);
  void FormCreate();
  void StartEngine();  // WM_START_ENGINE
  void OpenWizard();   // WM_OPEN_WIZARD
  void SaveSettings();
  void SetSwitchChecked(TSwitch which, bool checked);
  void FormHide();
  void HideToTray();
  void MinimiseCommand();
  void FormCloseQuery();
  void FormClose();
  void Finish();
  void Timer1Timer();
  void StatusBar1MouseMove();
  // Runs one step of an end; a failure goes to the debugger output.
  void Guarded(const std::function<void()>& step);

  TFormDeps deps_;
  TSettings& settings_;
  TQtSettingsHost settingsHost_;  // the settings' window: boxes, position, check marks
  TEngineBridge bridge_;
  std::unique_ptr<IEngine> engine_;  // after bridge_: destroyed before it
  TStopSequence stop_;
  std::unique_ptr<ITimer> timer1_;
  std::unique_ptr<ITimer> testSender_;

  std::array<QAction*, 7> switchActions_{};
  QAction* actSettings_ = nullptr;
  QAction* actConfigWizard_ = nullptr;
  QAction* actHelp_ = nullptr;
  QAction* actUpgradeCheck_ = nullptr;
  QAction* actHide_ = nullptr;
  QAction* actExit_ = nullptr;
  QAction* actDebug_ = nullptr;
  QAction* startTestSend_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QLabel* statusPanel_ = nullptr;
  QLabel* label3_ = nullptr;
  QSystemTrayIcon* trayIcon_ = nullptr;

  bool watchdogBoxOpen_ = false;
  bool closeQueryOpen_ = false;
  bool noTraySaid_ = false;
  bool stopping_ = false;
  bool sessionEnding_ = false;
  bool finished_ = false;
};

}  // namespace rn
