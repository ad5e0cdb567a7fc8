// The tray window: its design, commands, tray icon, the program's start, the
// wizard hand-off and both ends of the program.
#include "shell/window/ravenote_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>
#include <memory>
#include <optional>

#include "shell/window/desktop.h"
#include "shell/window/image_list.h"
#include "shell/wiring.h"
#include "wizard/message_boxes.h"
#include "wizard/window_message.h"

namespace rn {
namespace {

constexpr int kToolBarHeight = 45;
constexpr int kButtonWidth = 39;
constexpr int kButtonHeight = 38;
constexpr int kImageSize = 32;
constexpr int kSeparatorWidth = 8;
constexpr int kStatusPanelWidth = 50;

constexpr const char* kBoldLabel = "Ravenote, Linking you to your information. ";
constexpr const char* kNotice = "Version " RAVENOTE_VERSION " for Linux desktops, by Quarrowmere.";
constexpr const char* kUrgentButtonTip = "Notifies your cell when an urgent email arrives.";
constexpr const char* kTestMessageMenuCaption = "Send a Test Message";
constexpr const char* kDebugOn = "Debugging Is On!!";
constexpr const char* kDebugOff = "Debugging Is Off!!";
constexpr const char* kProcessorError = "ERROR IN PROCESSOR";

struct TSwitchDesign {
  const char* Name;
  const char* Caption;
  const char* Hint;
};

// In the order of TSwitch; their images are 0 to 6 in the same order.
constexpr std::array<TSwitchDesign, 7> kSwitchDesigns = {{
    {"actMeetingNotification", "Meeting Notification",
     "Notify your cell phone when a meeting reminder occurs."},
    {"actMorningMeeting", "Morning 1st Meeting Notification",
     "Notifies your cell at your set morning time of your first meeting of the day."},
    {"actEveningMeetingNotification", "Evening Next Days First Meeting",
     "Notifies you in the evening of the first meeting of the next day."},
    {"actTaskNotification", "Task Notifications",
     "Notifies your cell when you task reminder occurs."},
    {"actTaskPreReminder", "Pre Notification For Tasks",
     "Notifies you the day before your task is due."},
    {"actTaskReminder", "Past Due Task Reminder",
     "Reminder you ever day when tasks haven't been completed."},
    {"actUrgentEmail", "Urgent Email Notification",
     "Notifies you cell when an urgent email arrives."},
}};

int MouseMessageOf(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      return kLeftButtonDown;
    case QSystemTrayIcon::Context:
      return kRightButtonDown;
    case QSystemTrayIcon::DoubleClick:
      return kLeftButtonDoubleClick;
    case QSystemTrayIcon::MiddleClick:
      return kMiddleButtonDown;
    case QSystemTrayIcon::Unknown:
      break;
  }
  return 0;
}

QString Title() {
  return QGuiApplication::applicationDisplayName();
}

}  // namespace

TTrayIconEvent::TTrayIconEvent(int mouseMessage)
    : QEvent(WindowMessageType(WM_TRAY_ICON)), MouseMessage(mouseMessage) {}

TRavenoteForm::TRavenoteForm(TFormDeps deps)
    : QMainWindow(nullptr),
      deps_(std::move(deps)),
      settings_(deps_.Wiring.Settings()),
      settingsHost_(
          deps_.Boxes, [this] { PostWindowMessage(this, WM_OPEN_WIZARD); }, this),
      bridge_(deps_.Boxes, Title(), [this](const QString& text) { SetStatusText(text); }),
      stop_(deps_.Timers, deps_.DebugOutput),
      timer1_(deps_.Timers.Make("Timer1", true)),
      testSender_(deps_.Timers.Make("TestSender", true)) {
  settingsHost_.OnSwitch = [this](TSwitch which, bool checked) {
    SetSwitchChecked(which, checked);
  };
  timer1_->OnTimeout = [this] { Timer1Timer(); };
  testSender_->OnTimeout = [this] { actSettingsExecute(); };
  BuildDesign();
  FormCreate();
}

TRavenoteForm::~TRavenoteForm() {
  if (engine_) {
    // The loop ended without the program's own end: nothing may wait on a
    // box any more, and the destruction waits for the thread.
    bridge_.ReleaseBoxes();
    Guarded([this] { engine_->Stop(); });
    engine_.reset();
  }
  if (isVisible())
    FormHide();
  settings_.SetHost(nullptr);
}

// ---- design ----

QAction* TRavenoteForm::MakeAction(const char* name, const QString& caption, const char* hint,
                                   const QKeySequence& shortcut, int image) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  if (hint && *hint) {
    action->setToolTip(hint);
    action->setStatusTip(hint);
  }
  action->setShortcut(shortcut);
  if (image >= 0)
    action->setIcon(ImageListIcon(image));
  addAction(action);  // its shortcut works while the window has the focus
  return action;
}

void TRavenoteForm::BuildDesign() {
  setObjectName("RavenoteForm");
  setWindowTitle(kCaption);
  setWindowIcon(ApplicationIcon());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setContextMenuPolicy(Qt::NoContextMenu);  // no menu to hide the toolbar

  for (size_t i = 0; i < kSwitchDesigns.size(); ++i) {
    const TSwitchDesign& design = kSwitchDesigns[i];
    QAction* action = MakeAction(design.Name, design.Caption, design.Hint, {}, int(i));
    action->setCheckable(true);
    const auto which = static_cast<TSwitch>(i);
    // The check mark has been inverted by the trigger; the switch follows it.
    connect(action, &QAction::triggered, this,
            [this, which](bool checked) { settings_.SetSwitch(which, checked); });
    switchActions_[i] = action;
  }
  actSettings_ = MakeAction("actSettings", "Settings...", "Testing Message", {}, 7);
  connect(actSettings_, &QAction::triggered, this, [this] { actSettingsExecute(); });
  actConfigWizard_ = MakeAction("actConfigWizard", "Run Configuration Wizard...",
                                "Configure this program using the configuration wizard.",
                                QKeySequence(Qt::Key_F5), 8);
  connect(actConfigWizard_, &QAction::triggered, this,
          [this] { PostWindowMessage(this, WM_OPEN_WIZARD); });
  actHelp_ = MakeAction("actHelp", "Application Help", "", QKeySequence(Qt::Key_F1), 10);
  connect(actHelp_, &QAction::triggered, this, [this] { actHelpExecute(); });
  actUpgradeCheck_ = MakeAction("actUpgradeCheck", "Check For Upgrades or Patches", "", {}, 11);
  connect(actUpgradeCheck_, &QAction::triggered, this, [this] { actUpgradeCheckExecute(); });
  actHide_ = MakeAction("actHide", "Hide Program", "", {}, 12);
  connect(actHide_, &QAction::triggered, this, [this] { actHideExecute(); });
  actExit_ = MakeAction("actExit", "Exit Program", "", {}, 13);
  connect(actExit_, &QAction::triggered, this, [this] { actExitExecute(); });
  actDebug_ = MakeAction("actDebug", "", "", QKeySequence(Qt::SHIFT | Qt::ALT | Qt::Key_F12), -1);
  connect(actDebug_, &QAction::triggered, this, [this] { actDebugExecute(); });
  startTestSend_ =
      MakeAction("StartTestSend", "", "", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S), -1);
  connect(startTestSend_, &QAction::triggered, this, [this] { StartTestSendExecute(); });

  auto sw = [this](TSwitch which) { return SwitchAction(which); };

  // The menu bar. The test message's item has its own caption.
  menuBar()->setObjectName("MainMenu1");
  QMenu* settingsMenu = menuBar()->addMenu("Settings");
  settingsMenu->setObjectName("Settings1");
  settingsMenu->addAction(sw(TSwitch::MeetingNotify));
  settingsMenu->addAction(sw(TSwitch::MorningNotify));
  settingsMenu->addAction(sw(TSwitch::EveningNotify));
  settingsMenu->addSeparator();
  settingsMenu->addAction(sw(TSwitch::TaskNotify));
  settingsMenu->addAction(sw(TSwitch::TaskReminder));
  settingsMenu->addAction(sw(TSwitch::TaskPreNotify));
  settingsMenu->addSeparator();
  settingsMenu->addAction(sw(TSwitch::UrgentEmail));
  settingsMenu->addSeparator();
  QAction* testItem = settingsMenu->addAction(actSettings_->icon(), kTestMessageMenuCaption);
  testItem->setObjectName("SendaTestMessage1");
  testItem->setStatusTip(actSettings_->statusTip());
  connect(testItem, &QAction::triggered, actSettings_, &QAction::trigger);
  settingsMenu->addAction(actConfigWizard_);
  QMenu* helpMenu = menuBar()->addMenu("Help");
  helpMenu->setObjectName("Help1");
  helpMenu->addAction(actHelp_);
  helpMenu->addSeparator();
  helpMenu->addAction(actUpgradeCheck_);
  QMenu* quitMenu = menuBar()->addMenu("Quit");
  quitMenu->setObjectName("Quit1");
  quitMenu->addAction(actHide_);
  quitMenu->addSeparator();
  quitMenu->addAction(actExit_);

  // The toolbar.
  toolBar_ = addToolBar("ToolBar1");
  toolBar_->setObjectName("ToolBar1");
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->setIconSize({kImageSize, kImageSize});
  toolBar_->setFixedHeight(kToolBarHeight);
  // Nine buttons and three separators fill the window's width exactly.
  toolBar_->setStyleSheet(
      QStringLiteral("QToolBar { spacing: 0px; padding: 0px; margin: 0px; border: none; }"
                     "QToolBar::separator { width: %1px; }")
          .arg(kSeparatorWidth));
  toolBar_->layout()->setContentsMargins(0, 0, 0, 0);
  for (QAction* action :
       {sw(TSwitch::MeetingNotify), sw(TSwitch::MorningNotify), sw(TSwitch::EveningNotify),
        static_cast<QAction*>(nullptr), sw(TSwitch::TaskNotify), sw(TSwitch::TaskPreNotify),
        sw(TSwitch::TaskReminder), static_cast<QAction*>(nullptr), sw(TSwitch::UrgentEmail),
        static_cast<QAction*>(nullptr), actSettings_, actConfigWizard_}) {
    if (!action) {
      toolBar_->addSeparator();
      continue;
    }
    toolBar_->addAction(action);
    QWidget* button = toolBar_->widgetForAction(action);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    button->setObjectName(QString(action->objectName()) + "Button");
  }
  // The urgent e-mail button keeps a tooltip of its own, whatever its action
  // does to it (a check mark change resets a button's tooltip).
  QWidget* urgentButton = toolBar_->widgetForAction(sw(TSwitch::UrgentEmail));
  urgentButton->setToolTip(kUrgentButtonTip);
  connect(sw(TSwitch::UrgentEmail), &QAction::changed, urgentButton,
          [urgentButton] { urgentButton->setToolTip(kUrgentButtonTip); });

  // The labels.
  auto* client = new QWidget(this);
  client->setObjectName("ClientPanel");
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(8, 6, 8, 4);
  column->setSpacing(4);
  auto* label1 = new QLabel(kBoldLabel, client);
  label1->setObjectName("Label1");
  QFont bold = label1->font();
  bold.setBold(true);
  label1->setFont(bold);
  auto* label2 = new QLabel(kNotice, client);
  label2->setObjectName("Label2");
  label2->setWordWrap(true);
  label3_ = new QLabel(client);
  label3_->setObjectName("Label3");
  QFont underlined = label3_->font();
  underlined.setUnderline(true);
  label3_->setFont(underlined);
  QPalette navy = label3_->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  label3_->setPalette(navy);
  label3_->setCursor(Qt::PointingHandCursor);
  const QString home = deps_.Help.HomePage().toDisplayString();
  label3_->setText(QFontMetrics(underlined).elidedText(home, Qt::ElideMiddle, kClientWidth - 16));
  label3_->setToolTip(home);
  label3_->installEventFilter(this);
  for (QLabel* label : {label1, label2, label3_})
    label->setTextFormat(Qt::PlainText);
  column->addWidget(label1);
  column->addWidget(label2);
  column->addWidget(label3_);
  column->addStretch();
  setCentralWidget(client);

  // The status line: one panel, its tooltip the whole text.
  QStatusBar* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  statusPanel_ = new QLabel(bar);
  statusPanel_->setObjectName("StatusPanel");
  statusPanel_->setTextFormat(Qt::PlainText);
  statusPanel_->setMinimumWidth(kStatusPanelWidth);
  statusPanel_->setMouseTracking(true);
  statusPanel_->installEventFilter(this);
  bar->addWidget(statusPanel_, 1);
  bar->setMouseTracking(true);
  bar->installEventFilter(this);

  for (QWidget* widget : findChildren<QWidget*>())
    widget->setToolTipDuration(kHintTimeMs);
  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

QAction* TRavenoteForm::SwitchAction(TSwitch which) const {
  return switchActions_[static_cast<size_t>(which)];
}

// ---- start ----

void TRavenoteForm::FormCreate() {
  settings_.SetHost(&settingsHost_);
  deps_.Wiring.LoadSettings();
  PostWindowMessage(this, WM_START_ENGINE);
  trayIcon_ = new QSystemTrayIcon(ApplicationIcon(), this);
  trayIcon_->setObjectName("TrayIcon");
  trayIcon_->setToolTip(Title().left(kTrayTipLength));
  connect(trayIcon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            QCoreApplication::postEvent(this, new TTrayIconEvent(MouseMessageOf(reason)));
          });
  trayIcon_->show();
}

void TRavenoteForm::StartEngine() {
  if (stopping_ || engine_)
    return;
  try {
    engine_ = deps_.MakeEngine(bridge_);
    engine_->Start();
    engine_->SetDebug(true);
  } catch (const std::exception& error) {
    engine_.reset();
    deps_.DebugOutput(std::string(kProcessorError) + ": " + error.what());
    deps_.Boxes.Error(this, Title(), kProcessorError);
  }
  if (settings_.SettingsLoaded())
    HideToTray();
  timer1_->Start(kWatchdogMs);
}

void TRavenoteForm::OpenWizard() {
  if (deps_.OpenWizard)
    deps_.OpenWizard(this);
}

bool TRavenoteForm::event(QEvent* event) {
  if (IsWindowMessage(event, WM_OPEN_WIZARD)) {
    OpenWizard();
    return true;
  }
  if (IsWindowMessage(event, WM_RELOAD_SETTINGS)) {
    deps_.Wiring.LoadSettings();
    return true;
  }
  if (IsWindowMessage(event, WM_SAVE_SETTINGS)) {
    SaveSettings();
    return true;
  }
  if (IsWindowMessage(event, WM_START_ENGINE)) {
    StartEngine();
    return true;
  }
  if (IsWindowMessage(event, WM_TRAY_ICON)) {
    const int mouse = static_cast<TTrayIconEvent*>(event)->MouseMessage;
    if (mouse == kLeftButtonDown || mouse == kRightButtonDown)
      BringForward();
    return true;
  }
  return QMainWindow::event(event);
}

// ---- the settings' window ----

void TRavenoteForm::SetSwitchChecked(TSwitch which, bool checked) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, which, checked] { SwitchAction(which)->setChecked(checked); },
        Qt::QueuedConnection);
    return;
  }
  SwitchAction(which)->setChecked(checked);
}

void TRavenoteForm::SaveSettings() {
  try {
    deps_.Wiring.SaveSettings();
  } catch (const std::exception& error) {
    deps_.Boxes.Error(this, Title(), QString::fromStdString(error.what()));
  }
}

// ---- status line ----

QString TRavenoteForm::StatusText() const {
  return statusPanel_->text();
}

void TRavenoteForm::SetStatusText(const QString& text) {
  statusPanel_->setText(text);
}

void TRavenoteForm::StatusBar1MouseMove() {
  statusPanel_->setToolTip(statusPanel_->text());
}

bool TRavenoteForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove && (watched == statusPanel_ || watched == statusBar()))
    StatusBar1MouseMove();
  if (watched == label3_ && event->type() == QEvent::MouseButtonRelease)
    Label3Click();
  return QMainWindow::eventFilter(watched, event);
}

// ---- show and hide ----

void TRavenoteForm::BringForward() {
  if (stopping_)
    return;
  if (isHidden() || isMinimized())
    showNormal();
  raise();
  activateWindow();
}

void TRavenoteForm::HideToTray() {
  if (deps_.Desktop.TrayAvailable()) {
    hide();
    return;
  }
  // Hidden without a tray, the window could never be shown again.
  if (!noTraySaid_) {
    noTraySaid_ = true;
    SetStatusText(kNoTray);
  }
  if (isMinimized())
    FormHide();
  else
    showMinimized();  // the minimise command saves the settings
}

void TRavenoteForm::MinimiseCommand() {
  if (!isMinimized() || stopping_)
    return;
  if (deps_.Desktop.TrayAvailable()) {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
    return;
  }
  if (!noTraySaid_) {
    noTraySaid_ = true;
    SetStatusText(kNoTray);
  }
  FormHide();
}

void TRavenoteForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized())
    QMetaObject::invokeMethod(
        this, [this] { MinimiseCommand(); }, Qt::QueuedConnection);
}

void TRavenoteForm::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  // The window system's own hiding (an unmapped, minimised window) is not
  // the window going to the tray.
  if (!event->spontaneous())
    FormHide();
}

void TRavenoteForm::FormHide() {
  SaveSettings();
}

// ---- commands ----

void TRavenoteForm::actSettingsExecute() {
  if (engine_)
    RequestTestMessage(*engine_, settings_);
}

void TRavenoteForm::StartTestSendExecute() {
  if (testSender_->IsActive())
    testSender_->Stop();
  else
    testSender_->Start(kTestSenderMs);
}

void TRavenoteForm::actDebugExecute() {
  if (!engine_)
    return;
  const bool on = !engine_->Debug();
  engine_->SetDebug(on);
  deps_.Boxes.Information(this, Title(), on ? kDebugOn : kDebugOff);
}

void TRavenoteForm::actHelpExecute() {
  OpenAddress(deps_.Desktop, deps_.Help.Contents());
}

void TRavenoteForm::actUpgradeCheckExecute() {
  OpenAddress(deps_.Desktop, deps_.Help.UpgradePage());
}

void TRavenoteForm::Label3Click() {
  OpenAddress(deps_.Desktop, deps_.Help.HomePage());
}

void TRavenoteForm::actExitExecute() {
  // A close request, posted: the close query runs from the event loop.
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool TRavenoteForm::EngineRunning() const {
  return engine_ && engine_->EngineRunning();
}

void TRavenoteForm::Timer1Timer() {
  // One box at a time; the next tick after its dismissal shows it again.
  if (!timer1_->IsActive() || EngineRunning() || watchdogBoxOpen_)
    return;
  watchdogBoxOpen_ = true;
  deps_.Boxes.Error(this, Title(), kProcessorDied, [this] { watchdogBoxOpen_ = false; });
}

// ---- the user's exit ----

void TRavenoteForm::closeEvent(QCloseEvent* event) {
  if (finished_) {
    event->accept();
    return;
  }
  event->ignore();
  if (!stopping_)
    FormCloseQuery();
}

void TRavenoteForm::FormCloseQuery() {
  SetStatusText(kCheckForShutdown);
  testSender_->Stop();
  if (closeQueryOpen_)
    return;  // the question is on screen already
  closeQueryOpen_ = true;
  deps_.Boxes.AskYesNo(this, Title(), kStopQuestion, TBoxIcon::Question, [this](TBoxAnswer answer) {
    closeQueryOpen_ = false;
    if (stopping_)
      return;
    if (answer == TBoxAnswer::Yes)
      FormClose();
    else
      HideToTray();
  });
}

void TRavenoteForm::FormClose() {
  stopping_ = true;
  timer1_->Stop();
  testSender_->Stop();
  if (engine_)
    engine_->Stop();
  SetStatusText(kShuttingDown);
  statusPanel_->repaint();
  bridge_.MuteStatus();
  if (engine_)
    engine_->SetWakeEvent();
  // The window thread goes on handling events while it waits: a send of the
  // engine's waiting on its error box can still be answered.
  stop_.Begin(TStopSequence::TMode::Exit, engine_, [this] { Finish(); });
}

// ---- the end of the session ----

bool TRavenoteForm::QueryEndSession(bool mayAsk) {
  if (stopping_)
    return true;
  SetStatusText(kCheckForShutdown);
  testSender_->Stop();
  if (!mayAsk)
    return true;
  // The session manager wants the answer before this returns, so this one
  // question waits for its answer here. The program's end may come first
  // (and end this wait); the box may then still be answered later.
  auto answer = std::make_shared<std::optional<TBoxAnswer>>();
  QEventLoop wait;
  deps_.Boxes.AskYesNo(this, Title(), kStopQuestion, TBoxIcon::Question,
                       [answer, loop = QPointer<QEventLoop>(&wait)](TBoxAnswer given) {
                         *answer = given;
                         if (loop)
                           loop->quit();
                       });
  if (!*answer)
    wait.exec();
  if (*answer != TBoxAnswer::No || stopping_)
    return true;
  HideToTray();
  return false;
}

void TRavenoteForm::EndSession() {
  if (sessionEnding_)
    return;
  sessionEnding_ = true;
  // Nobody is there to answer a box any more: the engine goes on.
  bridge_.ReleaseBoxes();
  if (stopping_)
    return;  // the exit under way ends the program
  stopping_ = true;
  timer1_->Stop();
  testSender_->Stop();
  Guarded([this] {
    if (engine_)
      engine_->Stop();
  });
  SetStatusText(kShuttingDown);
  statusPanel_->repaint();
  bridge_.MuteStatus();
  stop_.Begin(TStopSequence::TMode::SessionEnd, engine_, [this] { Finish(); });
}

void TRavenoteForm::Finish() {
  finished_ = true;
  if (isVisible())
    hide();  // saves the settings
  trayIcon_->hide();
  if (deps_.Quit)
    deps_.Quit();
}

void TRavenoteForm::Guarded(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& error) {
    deps_.DebugOutput(std::string("***ERROR:") + error.what());
  }
}

}  // namespace rn
