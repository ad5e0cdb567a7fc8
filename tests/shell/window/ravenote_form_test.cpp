// The tray window against a fake engine, fake timers and the message-box
// seam, on the offscreen platform; the settings live in a throw-away registry
// file. Controls are found by their component names.
#include "shell/window/ravenote_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <fstream>
#include <optional>
#include <sstream>

#include "fake_engine.h"
#include "fake_message_boxes.h"
#include "fake_timers.h"
#include "fakes.h"
#include "message_recorder.h"
#include "shell/carriers.h"
#include "shell/window/desktop.h"
#include "shell/window/session_end.h"
#include "shell/wiring.h"
#include "wizard/window_message.h"

namespace rn {
namespace {

using test::DeliverPostedEvents;
using test::FakeEngine;

class TFakeDesktop final : public IDesktop {
 public:
  bool TrayAvailable() override { return Tray; }
  bool OpenUrl(const QUrl& url) override {
    Opened.push_back(url);
    return OpenWorks;
  }
  bool RunDetached(const QString& program, const QStringList& arguments) override {
    Ran.push_back(QStringList{program} + arguments);
    return true;
  }
  bool Tray = true;
  bool OpenWorks = true;
  std::vector<QUrl> Opened;
  std::vector<QStringList> Ran;
};

// Everything a tray window needs, with the settings in a registry file of the
// test's own. A clean profile has stored settings; a fresh one has none.
struct TRig {
  test::TempFolder folder;
  TWiring wiring{TWiringPaths{folder / "registry.reg", folder / "state", "ravenote-form-test"},
                 nullptr};
  test::TFakeMessageBoxes boxes;
  test::TFakeTimers timers;
  TFakeDesktop desktop;
  FakeEngine* engine = nullptr;  // the one the window made
  int enginesMade = 0;
  bool engineFails = false;
  std::vector<QWidget*> wizardOwners;
  int quits = 0;
  std::vector<std::string> debugLines;
  std::unique_ptr<TRavenoteForm> form;

  // Writes settings as a finished wizard would have saved them.
  void StoreCleanSettings(const std::function<void(TSettings&)>& change = {}) {
    TSettings& settings = wiring.Settings();
    settings.SetService(kCustomService);
    settings.SetCustomEmail("5551234567@txt.example.net");
    settings.SetEarlyTime(7.0 / 24);
    settings.SetLateTime(19.0 / 24);
    settings.SetTaskRemindPeriod(2);
    if (change)
      change(settings);
    wiring.SaveSettings();
  }

  // Program entry: the window is created, shown, and the loop runs.
  TRavenoteForm& Start() {
    form = std::make_unique<TRavenoteForm>(
        TFormDeps{wiring, boxes, timers, desktop, THelpBook("/help"),
                  [this](IEngineHost&) -> std::unique_ptr<IEngine> {
                    if (engineFails)
                      throw std::runtime_error("no wake event");
                    auto made = std::make_unique<FakeEngine>();
                    engine = made.get();
                    ++enginesMade;
                    return made;
                  },
                  [this](QWidget* owner) { wizardOwners.push_back(owner); }, [this] { ++quits; },
                  [this](const std::string& line) { debugLines.push_back(line); }});
    form->show();
    DeliverPostedEvents();
    return *form;
  }

  std::string RegistryText() const {
    std::ifstream in(folder / "registry.reg");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Stored(const std::string& value, bool on) const {
    return RegistryText().find("\"" + value + "\"=dword:0000000" + (on ? "1" : "0")) !=
           std::string::npos;
  }
  template <class T>
  T* Find(const char* name) const {
    return form->findChild<T*>(name);
  }
  QString Status() const { return form->StatusText(); }
  std::vector<QString> BoxTexts() const {
    std::vector<QString> texts;
    for (const auto& shown : boxes.Shown())
      texts.push_back(shown.Box.Text);
    return texts;
  }
};

QAction* MenuItem(QMenu* menu, const QString& caption) {
  for (QAction* item : menu->actions())
    if (item->text() == caption)
      return item;
  return nullptr;
}

TEST(RavenoteFormDesign, ActionsHaveTheirCaptionsHintsShortcutsAndImages) {
  TRig rig;
  rig.StoreCleanSettings();
  rig.Start();
  struct Case {
    const char* name;
    const char* caption;
    const char* hint;
    QKeySequence shortcut;
    bool image;
  } cases[] = {
      {"actMeetingNotification",
       "Meeting Notification",
       "Notify your cell phone when a meeting reminder occurs.",
       {},
       true},
      {"actMorningMeeting",
       "Morning 1st Meeting Notification",
       "Notifies your cell at your set morning time of your first meeting of the day.",
       {},
       true},
      {"actEveningMeetingNotification",
       "Evening Next Days First Meeting",
       "Notifies you in the evening of the first meeting of the next day.",
       {},
       true},
      {"actTaskNotification",
       "Task Notifications",
       "Notifies your cell when you task reminder occurs.",
       {},
       true},
      {"actTaskPreReminder",
       "Pre Notification For Tasks",
       "Notifies you the day before your task is due.",
       {},
       true},
      {"actTaskReminder",
       "Past Due Task Reminder",
       "Reminder you ever day when tasks haven't been completed.",
       {},
       true},
      {"actUrgentEmail",
       "Urgent Email Notification",
       "Notifies you cell when an urgent email arrives.",
       {},
       true},
      {"actSettings", "Settings...", "Testing Message", {}, true},
      {"actConfigWizard", "Run Configuration Wizard...",
       "Configure this program using the configuration wizard.", QKeySequence("F5"), true},
      {"actHelp", "Application Help", "", QKeySequence("F1"), true},
      {"actUpgradeCheck", "Check For Upgrades or Patches", "", {}, true},
      {"actHide", "Hide Program", "", {}, true},
      {"actExit", "Exit Program", "", {}, true},
      {"actDebug", "", "", QKeySequence("Shift+Alt+F12"), false},
      {"StartTestSend", "", "", QKeySequence("Ctrl+Alt+S"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* action = rig.Find<QAction>(c.name);
    ASSERT_TRUE(action);
    EXPECT_EQ(action->text(), c.caption);
    if (*c.hint) {
      EXPECT_EQ(action->toolTip(), c.hint);
      EXPECT_EQ(action->statusTip(), c.hint);
    }
    EXPECT_EQ(action->shortcut(), c.shortcut);
    EXPECT_EQ(!action->icon().isNull(), c.image);
  }
}

TEST(RavenoteFormDesign, WindowToolbarMenusAndLabels) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  EXPECT_EQ(form.windowTitle(), "Ravenote");
  EXPECT_EQ(form.width(), 375);
  EXPECT_EQ(form.height() - form.menuBar()->height(), 178) << "the client area";
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed size";
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);

  auto* toolBar = rig.Find<QToolBar>("ToolBar1");
  ASSERT_TRUE(toolBar);
  EXPECT_EQ(toolBar->height(), 45);
  EXPECT_EQ(toolBar->iconSize(), QSize(32, 32));
  QStringList order;
  for (QAction* action : toolBar->actions())
    order << (action->isSeparator() ? "|" : action->objectName());
  EXPECT_EQ(order, (QStringList{"actMeetingNotification", "actMorningMeeting",
                                "actEveningMeetingNotification", "|", "actTaskNotification",
                                "actTaskPreReminder", "actTaskReminder", "|", "actUrgentEmail", "|",
                                "actSettings", "actConfigWizard"}));
  for (QAction* action : toolBar->actions()) {
    if (action->isSeparator())
      continue;
    EXPECT_EQ(toolBar->widgetForAction(action)->size(), QSize(39, 38))
        << action->objectName().toStdString();
  }

  QStringList menus;
  for (QAction* menu : form.menuBar()->actions())
    menus << menu->text();
  EXPECT_EQ(menus, (QStringList{"Settings", "Help", "Quit"}));
  auto captions = [&](const char* menu) {
    QStringList items;
    for (QAction* item : rig.Find<QMenu>(menu)->actions())
      items << (item->isSeparator() ? "|" : item->text());
    return items;
  };
  EXPECT_EQ(captions("Settings1"),
            (QStringList{"Meeting Notification", "Morning 1st Meeting Notification",
                         "Evening Next Days First Meeting", "|", "Task Notifications",
                         "Past Due Task Reminder", "Pre Notification For Tasks", "|",
                         "Urgent Email Notification", "|", "Send a Test Message",
                         "Run Configuration Wizard..."}));
  EXPECT_EQ(captions("Help1"),
            (QStringList{"Application Help", "|", "Check For Upgrades or Patches"}));
  EXPECT_EQ(captions("Quit1"), (QStringList{"Hide Program", "|", "Exit Program"}));

  auto* label1 = rig.Find<QLabel>("Label1");
  ASSERT_TRUE(label1);
  EXPECT_EQ(label1->text(), "Ravenote, Linking you to your information. ");
  EXPECT_TRUE(label1->font().bold());
  auto* label3 = rig.Find<QLabel>("Label3");
  ASSERT_TRUE(label3);
  EXPECT_TRUE(label3->font().underline());
  EXPECT_EQ(label3->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_EQ(label3->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(label3->text(), "file:///help/about.html");
  EXPECT_TRUE(rig.Find<QStatusBar>("StatusBar1"));
}

TEST(RavenoteFormDesign, UrgentButtonKeepsItsOwnTooltipWhateverItsActionDoes) {
  TRig rig;
  rig.StoreCleanSettings();
  rig.Start();
  auto* action = rig.Find<QAction>("actUrgentEmail");
  QWidget* button = rig.Find<QToolBar>("ToolBar1")->widgetForAction(action);
  EXPECT_EQ(action->toolTip(), "Notifies you cell when an urgent email arrives.");
  EXPECT_EQ(button->toolTip(), "Notifies your cell when an urgent email arrives.");
  action->trigger();  // a check mark change renews the button from its action
  EXPECT_EQ(button->toolTip(), "Notifies your cell when an urgent email arrives.");
  EXPECT_EQ(button->toolTipDuration(), 6000);
}

TEST(RavenoteFormSwitches, ButtonMenuAndLoadGiveTheSameCheckMark) {
  struct Case {
    const char* name;
    TSwitch which;
    const char* value;
    const char* caption;
  } cases[] = {
      {"actMeetingNotification", TSwitch::MeetingNotify, "MeetingNotify", "Meeting Notification"},
      {"actMorningMeeting", TSwitch::MorningNotify, "MorningNotify",
       "Morning 1st Meeting Notification"},
      {"actEveningMeetingNotification", TSwitch::EveningNotify, "EveningNotify",
       "Evening Next Days First Meeting"},
      {"actTaskNotification", TSwitch::TaskNotify, "TaskNotify", "Task Notifications"},
      {"actTaskPreReminder", TSwitch::TaskPreNotify, "TaskPreNotify", "Pre Notification For Tasks"},
      {"actTaskReminder", TSwitch::TaskReminder, "TaskReminder", "Past Due Task Reminder"},
      {"actUrgentEmail", TSwitch::UrgentEmail, "UrgentEmail", "Urgent Email Notification"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRig rig;
    rig.StoreCleanSettings([&](TSettings& s) { s.SetSwitch(c.which, true); });
    rig.Start();
    auto* action = rig.Find<QAction>(c.name);
    auto* button =
        qobject_cast<QToolButton*>(rig.Find<QToolBar>("ToolBar1")->widgetForAction(action));
    QAction* item = MenuItem(rig.Find<QMenu>("Settings1"), c.caption);
    ASSERT_TRUE(button && item);
    auto field = [&] {
      TSettingsData data = rig.wiring.Settings().Snapshot();
      const bool* fields[] = {&data.MeetingNotify, &data.MorningNotify, &data.EveningNotify,
                              &data.TaskNotify,    &data.TaskPreNotify, &data.TaskReminder,
                              &data.UrgentEmail};
      return *fields[static_cast<int>(c.which)];
    };

    // The load set it.
    EXPECT_TRUE(action->isChecked());
    EXPECT_TRUE(button->isChecked());
    EXPECT_TRUE(item->isChecked());

    QTest::mouseClick(button, Qt::LeftButton);  // the toolbar button
    EXPECT_FALSE(field());
    EXPECT_FALSE(button->isChecked());
    EXPECT_FALSE(item->isChecked());

    item->trigger();  // the menu item
    EXPECT_TRUE(field());
    EXPECT_TRUE(button->isChecked());

    rig.wiring.Settings().SetSwitch(c.which, false);  // anyone else, the wizard say
    EXPECT_FALSE(button->isChecked());
    EXPECT_FALSE(item->isChecked());
  }
}

TEST(RavenoteFormSettings, HidingWritesTheRegistryAndSoDoesEndingWhileShown) {
  {
    TRig rig;
    rig.StoreCleanSettings();
    TRavenoteForm& form = rig.Start();
    form.BringForward();
    rig.Find<QAction>("actTaskNotification")->trigger();
    EXPECT_TRUE(rig.Stored("TaskNotify", false)) << "a toggle lives in memory until the hide";
    rig.Find<QAction>("actHide")->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(rig.Stored("TaskNotify", true));
  }
  {
    TRig rig;
    rig.StoreCleanSettings();
    TRavenoteForm& form = rig.Start();
    form.BringForward();
    rig.Find<QAction>("actUrgentEmail")->trigger();
    rig.boxes.SetNextAnswer(TBoxAnswer::Yes);
    rig.Find<QAction>("actExit")->trigger();
    DeliverPostedEvents();
    EXPECT_EQ(rig.quits, 1);
    EXPECT_TRUE(rig.Stored("UrgentEmail", true));
  }
  {
    // Destroyed while shown, without the program's own end.
    TRig rig;
    rig.StoreCleanSettings();
    rig.Start().BringForward();
    rig.Find<QAction>("actMorningMeeting")->trigger();
    rig.form.reset();
    EXPECT_TRUE(rig.Stored("MorningNotify", true));
  }
}

TEST(RavenoteFormStart, FirstRunShowsTheWelcomeBoxThenTheWizardAndStaysShown) {
  TRig rig;  // nothing stored
  TRavenoteForm& form = rig.Start();
  ASSERT_EQ(rig.boxes.Shown().size(), 1u);
  EXPECT_EQ(rig.boxes.Last().Box.Text,
            "Welcome To Ravenote. You must complete\r\nthe configuration at this time.");
  EXPECT_TRUE(rig.wizardOwners.empty()) << "the wizard waits for the welcome box";
  EXPECT_EQ(rig.enginesMade, 1) << "the engine starts meanwhile";

  rig.boxes.Answer(TBoxAnswer::Ok);
  DeliverPostedEvents();
  ASSERT_EQ(rig.wizardOwners.size(), 1u);
  EXPECT_EQ(rig.wizardOwners[0], &form);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(rig.timers["Timer1"].IsActive());
  EXPECT_EQ(rig.timers["Timer1"].Interval(), 15000);
  EXPECT_TRUE(rig.engine->Started);
  EXPECT_TRUE(rig.engine->DebugOn);
}

TEST(RavenoteFormStart, CleanStartLeavesOnlyTheTrayIcon) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  EXPECT_TRUE(rig.boxes.Shown().empty());
  EXPECT_TRUE(rig.wizardOwners.empty());
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(form.TrayIcon()->isVisible());
  EXPECT_EQ(form.TrayIcon()->toolTip(), QGuiApplication::applicationDisplayName().left(63));
  EXPECT_TRUE(rig.engine->Started);
}

TEST(RavenoteFormStart, TrayTipIsTheTitleCutTo63Characters) {
  const QString name = QGuiApplication::applicationDisplayName();
  QGuiApplication::setApplicationDisplayName(QString(70, 'R'));
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  EXPECT_EQ(form.TrayIcon()->toolTip(), QString(63, 'R'));
  QGuiApplication::setApplicationDisplayName(name);
}

TEST(RavenoteFormStart, CancellingTheWizardAtFirstRunBringsWelcomeAndWizardBack) {
  TRig rig;
  TRavenoteForm& form = rig.Start();
  rig.boxes.Answer(TBoxAnswer::Ok);
  DeliverPostedEvents();
  ASSERT_EQ(rig.wizardOwners.size(), 1u);

  PostWindowMessage(&form, WM_RELOAD_SETTINGS);  // the wizard's confirmed Cancel
  DeliverPostedEvents();
  ASSERT_EQ(rig.boxes.Shown().size(), 2u);
  EXPECT_EQ(rig.boxes.Last().Box.Text,
            "Welcome To Ravenote. You must complete\r\nthe configuration at this time.");
  rig.boxes.Answer(TBoxAnswer::Ok);
  DeliverPostedEvents();
  EXPECT_EQ(rig.wizardOwners.size(), 2u);
  EXPECT_TRUE(form.isVisible());
}

TEST(RavenoteFormStart, EveryWizardRequestOpensANewWizard) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  form.BringForward();
  rig.Find<QAction>("actConfigWizard")->trigger();  // F5
  DeliverPostedEvents();
  rig.Find<QAction>("actConfigWizard")->trigger();  // F5 again, the first still open
  EXPECT_EQ(rig.wizardOwners.size(), 1u) << "posted, not sent";
  DeliverPostedEvents();
  EXPECT_EQ(rig.wizardOwners.size(), 2u);
}

TEST(RavenoteFormStart, WizardSaveWritesTheSettingsItStored) {
  TRig rig;
  TRavenoteForm& form = rig.Start();
  rig.boxes.Answer(TBoxAnswer::Ok);
  DeliverPostedEvents();
  rig.wiring.Settings().SetMeetingNotify(true);  // the wizard's pages
  PostWindowMessage(&form, WM_SAVE_SETTINGS);    // Done
  DeliverPostedEvents();
  EXPECT_TRUE(rig.Stored("MeetingNotify", true));
  EXPECT_NE(rig.RegistryText().find("\"Version\"=\"01.01.00.005\""), std::string::npos);
}

TEST(RavenoteFormStart, AnEngineThatCannotBeMadeIsReportedAndWatched) {
  TRig rig;
  rig.StoreCleanSettings();
  rig.engineFails = true;
  TRavenoteForm& form = rig.Start();
  ASSERT_EQ(rig.boxes.Shown().size(), 1u);
  EXPECT_EQ(rig.boxes.Last().Box.Text, "ERROR IN PROCESSOR");
  EXPECT_EQ(form.Engine(), nullptr);
  rig.boxes.Answer(TBoxAnswer::Ok);
  rig.timers["Timer1"].Fire();
  EXPECT_EQ(rig.boxes.Last().Box.Text, "Outlook Processor has died. Please Restart Application.");
}

TEST(RavenoteFormCommands, TestMessageGoesToTheEngineWithItsTwoTexts) {
  TRig rig;
  rig.StoreCleanSettings();
  rig.Start();
  QAction* item = MenuItem(rig.Find<QMenu>("Settings1"), "Send a Test Message");
  ASSERT_TRUE(item);
  item->trigger();
  ASSERT_EQ(rig.engine->Pending.size(), 1u);
  EXPECT_EQ(rig.engine->Pending[0].To, "5551234567@txt.example.net");
  EXPECT_EQ(rig.engine->Pending[0].Subject, "Ravenote Test message");
  EXPECT_EQ(rig.engine->Pending[0].Body,
            "If you got this message Ravenote Notification is working.");
}

TEST(RavenoteFormCommands, CtrlAltSRepeatsTheTestMessageUntilPressedAgainOrTheCloseQuery) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  form.BringForward();
  QApplication::setActiveWindow(&form);
  test::TFakeTimer& sender = rig.timers["TestSender"];
  EXPECT_FALSE(sender.IsActive());

  QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
  ASSERT_TRUE(sender.IsActive());
  EXPECT_EQ(sender.Interval(), 5000);
  sender.Fire();
  sender.Fire();
  EXPECT_EQ(rig.engine->Pending.size(), 2u);

  QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_FALSE(sender.IsActive());
  sender.Fire();
  EXPECT_EQ(rig.engine->Pending.size(), 2u);

  rig.Find<QAction>("StartTestSend")->trigger();
  ASSERT_TRUE(sender.IsActive());
  rig.boxes.SetNextAnswer(TBoxAnswer::No);
  form.close();
  EXPECT_FALSE(sender.IsActive()) << "the close query stops it";
}

TEST(RavenoteFormCommands, ShiftAltF12TogglesDebuggingAndSaysSo) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  form.BringForward();
  QApplication::setActiveWindow(&form);
  rig.boxes.SetNextAnswer(TBoxAnswer::Ok);
  rig.boxes.SetNextAnswer(TBoxAnswer::Ok);
  QTest::keyClick(&form, Qt::Key_F12, Qt::ShiftModifier | Qt::AltModifier);
  EXPECT_FALSE(rig.engine->DebugOn);
  QTest::keyClick(&form, Qt::Key_F12, Qt::ShiftModifier | Qt::AltModifier);
  EXPECT_TRUE(rig.engine->DebugOn);
  EXPECT_EQ(rig.BoxTexts(), (std::vector<QString>{"Debugging Is Off!!", "Debugging Is On!!"}));
}

TEST(RavenoteFormCommands, HelpUpgradeAndLinkOpenTheirPagesWithAFallback) {
  TRig rig;
  rig.StoreCleanSettings();
  rig.Start();
  rig.Find<QAction>("actHelp")->trigger();
  rig.Find<QAction>("actUpgradeCheck")->trigger();
  QTest::mouseClick(rig.Find<QLabel>("Label3"), Qt::LeftButton);
  EXPECT_EQ(rig.desktop.Opened, (std::vector<QUrl>{QUrl("file:///help/index.html"),
                                                   QUrl("file:///help/release-notes.html"),
                                                   QUrl("file:///help/about.html")}));
  EXPECT_TRUE(rig.desktop.Ran.empty());

  rig.desktop.OpenWorks = false;
  rig.Find<QAction>("actHelp")->trigger();
  ASSERT_EQ(rig.desktop.Ran.size(), 1u);
  EXPECT_EQ(rig.desktop.Ran[0], (QStringList{"xdg-open", "file:///help/index.html"}));
}

TEST(RavenoteFormCommands, StatusLineHintIsItsTextOnceTheMouseMovesOverIt) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  form.BringForward();
  form.SetStatusText("Checking for current notifications.");
  auto* panel = rig.Find<QLabel>("StatusPanel");
  QTest::mouseMove(panel, {10, 5});
  EXPECT_EQ(panel->toolTip(), "Checking for current notifications.");
  EXPECT_EQ(panel->toolTipDuration(), 6000);
}

TEST(RavenoteFormTray, LeftOrRightPressShowsTheWindowAndNothingElseDoes) {
  struct Case {
    QSystemTrayIcon::ActivationReason reason;
    bool shows;
  } cases[] = {
      {QSystemTrayIcon::Trigger, true},
      {QSystemTrayIcon::Context, true},
      {QSystemTrayIcon::DoubleClick, false},
      {QSystemTrayIcon::MiddleClick, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    TRig rig;
    rig.StoreCleanSettings();
    TRavenoteForm& form = rig.Start();
    ASSERT_FALSE(form.isVisible());
    Q_EMIT form.TrayIcon()->activated(c.reason);
    EXPECT_FALSE(form.isVisible()) << "WM_TRAY_ICON is posted";
    DeliverPostedEvents();
    EXPECT_EQ(form.isVisible(), c.shows);
    EXPECT_EQ(form.TrayIcon()->contextMenu(), nullptr) << "no tray menu";
  }
}

TEST(RavenoteFormTray, MinimisingHidesToTheTray) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  form.BringForward();
  rig.Find<QAction>("actEveningMeetingNotification")->trigger();
  form.showMinimized();
  DeliverPostedEvents();
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(rig.Stored("EveningNotify", true));
  form.BringForward();
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.isMinimized());
}

TEST(RavenoteFormTray, WithoutATrayHidingMinimisesAndSaysSoOnce) {
  TRig rig;
  rig.desktop.Tray = false;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();  // a clean start would hide it
  DeliverPostedEvents();
  EXPECT_TRUE(form.isVisible()) << "never hidden where it cannot come back";
  EXPECT_TRUE(form.isMinimized());
  EXPECT_EQ(rig.Status(), kNoTray);

  form.SetStatusText("Processor Idle.");
  form.showNormal();
  rig.Find<QAction>("actTaskReminder")->trigger();
  rig.Find<QAction>("actHide")->trigger();
  DeliverPostedEvents();
  EXPECT_TRUE(form.isMinimized());
  EXPECT_TRUE(rig.Stored("TaskReminder", true)) << "hiding saves, minimised or not";
  EXPECT_EQ(rig.Status(), "Processor Idle.") << "said once";
}

TEST(RavenoteFormWatchdog, OneBoxWhileTheEngineIsDeadAndAgainAfterEachDismissal) {
  TRig rig;
  rig.StoreCleanSettings();
  rig.Start();
  test::TFakeTimer& timer1 = rig.timers["Timer1"];
  timer1.Fire();
  EXPECT_TRUE(rig.boxes.Shown().empty()) << "a running engine is fine";

  rig.engine->Running = false;
  timer1.Fire();
  timer1.Fire();
  timer1.Fire();
  ASSERT_EQ(rig.boxes.Shown().size(), 1u) << "left alone it stays one box";
  EXPECT_EQ(rig.boxes.Last().Box.Text, "Outlook Processor has died. Please Restart Application.");
  EXPECT_EQ(rig.boxes.Last().Box.Icon, TBoxIcon::Error);

  rig.boxes.Answer(TBoxAnswer::Ok);
  EXPECT_EQ(rig.boxes.Shown().size(), 1u);
  timer1.Fire();
  EXPECT_EQ(rig.boxes.Shown().size(), 2u) << "again after the dismissal";
}

TEST(RavenoteFormExit, NoKeepsTheEngineAndHides) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  form.BringForward();
  rig.boxes.SetNextAnswer(TBoxAnswer::No);
  rig.Find<QAction>("actExit")->trigger();
  DeliverPostedEvents();
  EXPECT_EQ(rig.boxes.Last().Box.Text, "Do you really want to stop Ravenote?");
  EXPECT_EQ(rig.boxes.Last().Box.Buttons, TBoxButtons::YesNo);
  EXPECT_EQ(rig.Status(), "Check for Shutdown.");
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(rig.engine->StopRequested);
  EXPECT_TRUE(rig.timers["Timer1"].IsActive());
  EXPECT_EQ(rig.quits, 0);
}

TEST(RavenoteFormExit, YesStopsTheEngineWithinTheLimitsAndEnds) {
  {
    // An engine that ends at its stop: no wait at all.
    TRig rig;
    rig.StoreCleanSettings();
    TRavenoteForm& form = rig.Start();
    form.BringForward();
    rig.boxes.SetNextAnswer(TBoxAnswer::Yes);
    form.close();
    EXPECT_EQ(form.Engine(), nullptr);
    EXPECT_EQ(rig.quits, 1);
    EXPECT_FALSE(rig.timers["Timer1"].IsActive());
    EXPECT_EQ(rig.Status(), "Shutting Download Outlook Processing System....Please Wait.");
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.TrayIcon()->isVisible());
  }
  {
    // One that outlives its stop: up to 3000 ms, then as long as it runs.
    TRig rig;
    rig.StoreCleanSettings();
    TRavenoteForm& form = rig.Start();
    form.BringForward();
    FakeEngine& engine = *rig.engine;
    engine.EndsOnStop = false;
    rig.boxes.SetNextAnswer(TBoxAnswer::Yes);
    form.close();
    EXPECT_TRUE(engine.StopRequested);
    EXPECT_GE(engine.Wakes, 2) << "Stop, then the wake event again";
    EXPECT_EQ(rig.timers["ExitWait"].Interval(), 3000);
    EXPECT_EQ(form.StopSequence().Step(), TStopSequence::TStep::Waiting);
    rig.timers["DestroyWait"].Fire();
    rig.timers["ExitWait"].Fire();  // 3000 ms passed
    EXPECT_EQ(form.StopSequence().Step(), TStopSequence::TStep::Destroying);
    EXPECT_EQ(rig.quits, 0);
    EXPECT_EQ(form.Engine(), &engine) << "not destroyed while its thread runs";
    engine.Running = false;  // the thread ends
    rig.timers["DestroyWait"].Fire();
    EXPECT_EQ(form.Engine(), nullptr);
    EXPECT_EQ(rig.quits, 1);
  }
}

TEST(RavenoteFormExit, ASecondCloseRequestWhileAskingAsksNothingMore) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  form.BringForward();
  form.close();  // no answer yet: the question stays open
  form.close();
  EXPECT_EQ(rig.boxes.OpenCount(), 1u);
  rig.boxes.Answer(TBoxAnswer::Yes);
  EXPECT_EQ(rig.quits, 1);
}

TEST(RavenoteFormSession, EndOfSessionStopsWithoutAskingInElevenPausesAtMost) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  FakeEngine& engine = *rig.engine;
  engine.EndsOnStop = false;
  form.EndSession();
  EXPECT_TRUE(rig.boxes.Shown().empty()) << "no question";
  EXPECT_TRUE(engine.StopRequested);
  EXPECT_FALSE(rig.timers["Timer1"].IsActive());
  EXPECT_EQ(rig.Status(), "Shutting Download Outlook Processing System....Please Wait.");
  test::TFakeTimer& pause = rig.timers["SessionEndPause"];
  EXPECT_EQ(pause.Interval(), 54);
  const int wakesBefore = engine.Wakes;
  for (int i = 0; i < 20; ++i)
    pause.Fire();
  EXPECT_EQ(form.StopSequence().Pauses(), 11);
  EXPECT_EQ(engine.Wakes - wakesBefore, 11) << "the wake event after each pause";
  EXPECT_EQ(rig.quits, 0) << "the destruction waits for the thread";
  engine.Running = false;
  rig.timers["DestroyWait"].Fire();
  EXPECT_EQ(rig.quits, 1);
}

TEST(RavenoteFormSession, PausesEndWhenTheEngineStopsRunning) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  FakeEngine& engine = *rig.engine;
  engine.EndsOnStop = false;
  form.EndSession();
  rig.timers["SessionEndPause"].Fire();
  rig.timers["SessionEndPause"].Fire();
  engine.Running = false;
  rig.timers["SessionEndPause"].Fire();
  EXPECT_EQ(form.StopSequence().Pauses(), 3);
  EXPECT_EQ(rig.quits, 1);
}

TEST(RavenoteFormSession, TheSessionManagersQuitEndsTheSessionWithoutAQuestion) {
  TRig rig;
  rig.StoreCleanSettings();
  TRavenoteForm& form = rig.Start();
  form.BringForward();
  TSessionEnd session(form);
  QEvent quit(QEvent::Quit);
  EXPECT_TRUE(QCoreApplication::sendEvent(qApp, &quit));
  EXPECT_TRUE(form.Stopping());
  EXPECT_TRUE(rig.boxes.Shown().empty()) << "no question";
  EXPECT_EQ(rig.quits, 1) << "the engine ended at its stop";
  EXPECT_FALSE(form.isVisible());
}

TEST(RavenoteFormSession, TheSessionManagerIsAnsweredByTheCloseQuery) {
  struct Case {
    const char* name;
    bool mayAsk;
    std::optional<TBoxAnswer> answer;
    bool mayEnd;
    bool hidden;
  } cases[] = {
      {"Yes", true, TBoxAnswer::Yes, true, false},
      {"No hides and refuses", true, TBoxAnswer::No, false, true},
      {"no one to ask", false, std::nullopt, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRig rig;
    rig.StoreCleanSettings();
    TRavenoteForm& form = rig.Start();
    form.BringForward();
    rig.Find<QAction>("StartTestSend")->trigger();
    if (c.answer)
      rig.boxes.SetNextAnswer(*c.answer);
    EXPECT_EQ(form.QueryEndSession(c.mayAsk), c.mayEnd);
    EXPECT_EQ(rig.boxes.Shown().size(), c.answer ? 1u : 0u);
    EXPECT_EQ(rig.Status(), "Check for Shutdown.");
    EXPECT_FALSE(rig.timers["TestSender"].IsActive());
    EXPECT_EQ(form.isVisible(), !c.hidden);
    EXPECT_FALSE(rig.engine->StopRequested) << "the end itself comes later";
  }
}

}  // namespace
}  // namespace rn
