// The new-agent wizard driven through its real pages: the three paths and
// the Back table, Cancel and Done, and each page's rules.
#include "wizard/new_agent_installer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>

#include "fake_message_boxes.h"
#include "message_recorder.h"
#include "shell/carriers.h"
#include "shell/settings.h"
#include "shell/window_messages.h"
#include "widget_find.h"
#include "wizard/carrier_pages.h"
#include "wizard/controls.h"
#include "wizard/main_form.h"
#include "wizard/notification_pages.h"

namespace rn {
namespace {

using P = TWizardPage;
using test::Child;

class NewAgentWizard : public ::testing::Test {
 protected:
  void SetUp() override {
    // What a first-run load leaves in the record.
    settings.SetService(4);
    settings.SetEarlyTime(EncodeTime(7, 0));
    settings.SetLateTime(EncodeTime(19, 0));
    settings.SetTaskRemindPeriod(-1);
    host = Open();
  }
  void TearDown() override {
    delete host;
    test::DeliverPostedEvents();
  }

  TMainForm* Open() {
    auto* form = new TMainForm(installer, settings, &owner, boxes);
    form->activateWindow();
    QApplication::setActiveWindow(form);
    test::DeliverPostedEvents();
    return form;
  }

  TGenericFrame* Current() const { return installer.CurrentPage(); }
  std::optional<P> CurrentId() const { return installer.PageId(Current()); }
  template <class T>
  T* On(P page, const char* name) const {
    return Child<T>(installer.Page(page), name);
  }
  void Press(const char* button) {
    QTest::mouseClick(Child<QPushButton>(Current(), button), Qt::LeftButton);
    test::DeliverPostedEvents();
  }
  void Next() { Press("NextButton"); }
  void Back() { Press("BackButton"); }
  bool NextEnabled() const { return Child<QPushButton>(Current(), "NextButton")->isEnabled(); }
  void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->setCursorPosition(0);
    QTest::keyClicks(edit, text);
  }
  void ChooseCarrier(int index) {
    auto* group = On<TRadioGroup>(P::Carrier, "rdoServiceProvider");
    QTest::mouseClick(group->Item(index), Qt::LeftButton, {}, QPoint(5, 5));
  }
  // Fills what the current page needs for Next, then presses Next.
  void Advance(int carrier) {
    switch (*CurrentId()) {
      case P::Carrier:
        ChooseCarrier(carrier);
        break;
      case P::Region:
        QTest::mouseClick(On<TRadioGroup>(P::Region, "rdgrpCinglar")->Item(0), Qt::LeftButton, {},
                          QPoint(5, 5));
        break;
      case P::Phone:
        Type(On<QLineEdit>(P::Phone, "CellNumber"), "5551234567");
        break;
      case P::CustomAddress:
        Type(On<QLineEdit>(P::CustomAddress, "CustomEmail"), "pager@example.com");
        break;
      default:
        break;
    }
    ASSERT_TRUE(NextEnabled());
    Next();
  }
  void WalkTo(int carrier, P page) {
    installer.ShowPage(installer.FirstPage());
    for (int steps = 0; steps < 8 && CurrentId() != page; ++steps)
      Advance(carrier);
    ASSERT_EQ(CurrentId(), page);
  }

  TSettings settings;
  test::TFakeMessageBoxes boxes;
  test::TMessageRecorder owner;
  TNewAgentInstaller installer;  // outlives every host
  QPointer<TMainForm> host;
};

TEST_F(NewAgentWizard, ThreePathsAndTheBackTable) {
  struct Case {
    int carrier;
    std::vector<P> path;
    std::vector<std::optional<P>> back;  // Back from each page of the path
  } cases[] = {
      {1,
       {P::Welcome, P::Carrier, P::Region, P::Phone, P::Server, P::Meeting, P::Task},
       {std::nullopt, P::Welcome, P::Carrier, P::Region, P::Carrier, P::Phone, P::Meeting}},
      {4,
       {P::Welcome, P::Carrier, P::Phone, P::Server, P::Meeting, P::Task},
       {std::nullopt, P::Welcome, P::Carrier, P::Carrier, P::Phone, P::Meeting}},
      {6,
       {P::Welcome, P::Carrier, P::Phone, P::Server, P::Meeting, P::Task},
       {std::nullopt, P::Welcome, P::Carrier, P::Carrier, P::Phone, P::Meeting}},
      {7,
       {P::Welcome, P::Carrier, P::Phone, P::Server, P::Meeting, P::Task},
       {std::nullopt, P::Welcome, P::Carrier, P::Carrier, P::Phone, P::Meeting}},
      {8,
       {P::Welcome, P::Carrier, P::CustomAddress, P::Server, P::Meeting, P::Task},
       {std::nullopt, P::Welcome, P::Carrier, P::Carrier, P::CustomAddress, P::Meeting}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "carrier " << c.carrier);
    installer.ShowPage(installer.FirstPage());
    std::vector<P> path{*CurrentId()};
    while (CurrentId() != P::Task) {
      Advance(c.carrier);
      if (HasFatalFailure())
        return;
      path.push_back(*CurrentId());
      ASSERT_LE(path.size(), 8u);
    }
    EXPECT_EQ(path, c.path);

    for (size_t i = 0; i < c.path.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "Back from page " << i);
      WalkTo(c.carrier, c.path[i]);
      if (HasFatalFailure())
        return;
      auto* back = Child<QPushButton>(Current(), "BackButton");
      if (!c.back[i]) {
        EXPECT_FALSE(back->isVisible()) << "the welcome page has no Back";
        continue;
      }
      Back();
      EXPECT_EQ(CurrentId(), c.back[i]);
    }
  }
  EXPECT_TRUE(owner.Received().empty());
}

TEST_F(NewAgentWizard, CancelAnsweredNoKeepsTheRunAndYesAsksForOneReload) {
  WalkTo(4, P::Server);
  ASSERT_EQ(settings.Snapshot().Pin, "5551234567");

  boxes.SetNextAnswer(TBoxAnswer::No);
  Press("CancelButton");
  EXPECT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(CurrentId(), P::Server);
  EXPECT_TRUE(host && host->isVisible());
  EXPECT_EQ(settings.Snapshot().Pin, "5551234567") << "values stored by earlier pages stay";
  EXPECT_TRUE(owner.Received().empty());

  boxes.SetNextAnswer(TBoxAnswer::Yes);
  Press("CancelButton");
  EXPECT_FALSE(host);
  EXPECT_EQ(owner.Received(), std::vector<int>{WM_RELOAD_SETTINGS});
}

TEST_F(NewAgentWizard, DoneStoresTheTaskPageClosesTheHostThenAsksForASave) {
  WalkTo(4, P::Task);
  EXPECT_EQ(Child<QPushButton>(Current(), "NextButton")->text(), "&Done");
  QTest::mouseClick(On<QCheckBox>(P::Task, "TaskReminderNotify"), Qt::LeftButton);

  bool hostOpenAtSave = true;
  owner.OnMessage = [&](int message) {
    if (message == WM_SAVE_SETTINGS) {
      hostOpenAtSave = host && host->isVisible();
      EXPECT_TRUE(settings.Snapshot().TaskNotify) << "the task page stored first";
    }
  };
  Next();
  EXPECT_TRUE(installer.Finished());
  EXPECT_FALSE(hostOpenAtSave) << "the host closed before the save request arrived";
  EXPECT_FALSE(host);
  EXPECT_TRUE(boxes.Shown().empty()) << "no question on Done";
  EXPECT_EQ(owner.Received(), std::vector<int>{WM_SAVE_SETTINGS});

  // A second run asks again when cancelled, and shows the same pages.
  TGenericFrame* welcome = installer.AgentInitialFrame;
  host = Open();
  EXPECT_EQ(Current(), welcome);
  EXPECT_FALSE(installer.Finished());
  Press("CancelButton");
  EXPECT_EQ(boxes.Shown().size(), 1u);
  boxes.Answer(TBoxAnswer::No);
}

TEST_F(NewAgentWizard, WelcomeTextNeverKeepsTheFocus) {
  auto* memo = On<QPlainTextEdit>(P::Welcome, "MessageMemo");
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_TRUE(memo->toPlainText().startsWith(
      "Welcome to the Ravenote configuration wizard. This program allows you to configure "
      "Ravenote to link your cell phone with your Microsoft Outlook* calendar, appointments, "
      "task and urgent e-mails.\n\nYou will need"));
  QTest::mouseClick(memo->viewport(), Qt::LeftButton);
  EXPECT_TRUE(On<QPushButton>(P::Welcome, "NextButton")->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  test::DeliverPostedEvents();
  EXPECT_EQ(CurrentId(), P::Carrier);
  // Next has the focus on the page that follows, so Enter goes on.
  EXPECT_TRUE(On<QPushButton>(P::Carrier, "NextButton")->hasFocus())
      << (QApplication::focusWidget() ? qPrintable(QApplication::focusWidget()->objectName())
                                      : "no focus");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  test::DeliverPostedEvents();
  EXPECT_EQ(CurrentId(), P::Phone);
}

TEST_F(NewAgentWizard, CarrierPageListsNineCarriersInTwoColumns) {
  WalkTo(4, P::Carrier);
  auto* group = On<TRadioGroup>(P::Carrier, "rdoServiceProvider");
  ASSERT_EQ(group->Count(), 9);
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(group->Item(i)->text(), CarrierTable[i].Caption);
  EXPECT_EQ(group->Item(0)->text(), "&AT&&T Wireless");
  EXPECT_EQ(group->Item(8)->text(), "&Other (including Text Pagers)");
  EXPECT_LT(group->Item(0)->x(), group->Item(8)->x()) << "two columns";
  // First run: Service 4 selects Sprint PCS and Next is enabled.
  EXPECT_EQ(group->ItemIndex(), 4);
  EXPECT_TRUE(NextEnabled());
  // Back from the carriers with Shift+Tab: the items stand before the buttons.
  auto* back = Child<QPushButton>(Current(), "BackButton");
  back->setFocus();
  QTest::keyClick(back, Qt::Key_Backtab);
  EXPECT_TRUE(group->isAncestorOf(QApplication::focusWidget()));

  // Another choice left with Back stores nothing.
  ChooseCarrier(1);
  Back();
  Next();
  EXPECT_EQ(group->ItemIndex(), 4);
  EXPECT_EQ(settings.Snapshot().Service, 4);

  // A stored Service above 8 selects the last item.
  settings.SetService(9);
  Back();
  Next();
  EXPECT_EQ(group->ItemIndex(), 8);
  Next();
  EXPECT_EQ(CurrentId(), P::CustomAddress);
  EXPECT_EQ(settings.Snapshot().Service, 8);
}

TEST_F(NewAgentWizard, RegionPageShowsNoEarlierChoice) {
  WalkTo(1, P::Phone);
  EXPECT_EQ(settings.Snapshot().CustomAddr, CingularRegions[0].GatewayDomain);
  Back();
  ASSERT_EQ(CurrentId(), P::Region);
  auto* group = On<TRadioGroup>(P::Region, "rdgrpCinglar");
  ASSERT_EQ(group->Count(), 6);
  EXPECT_EQ(group->Item(5)->text(),
            "All other states and All other cities in Texas, excluding Houston");
  EXPECT_EQ(group->ItemIndex(), -1);
  EXPECT_FALSE(NextEnabled());
  QTest::mouseClick(group->Item(2), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(NextEnabled());
}

TEST_F(NewAgentWizard, PhoneNumberNeedsAllTenDigitsAndStoresOnlyThem) {
  WalkTo(4, P::Phone);
  auto* cell = On<QLineEdit>(P::Phone, "CellNumber");
  EXPECT_EQ(cell->displayText(), "(___)___-____");
  EXPECT_TRUE(cell->hasFocus());
  EXPECT_FALSE(NextEnabled());

  // Typing goes straight into the first digit position.
  QTest::keyClicks(cell, "5");
  EXPECT_EQ(cell->displayText(), "(5__)___-____");
  EXPECT_FALSE(NextEnabled()) << "one digit";
  QTest::keyClicks(cell, "55123456");
  EXPECT_FALSE(NextEnabled()) << "nine digits";
  QTest::keyClicks(cell, "7");
  EXPECT_EQ(cell->displayText(), "(555)123-4567");
  EXPECT_TRUE(NextEnabled()) << "ten digits";
  QTest::keyClick(cell, Qt::Key_Backspace);
  EXPECT_FALSE(NextEnabled()) << "one deleted";
  // Enter in the field does nothing while the number is incomplete.
  QTest::keyClick(cell, Qt::Key_Return);
  test::DeliverPostedEvents();
  EXPECT_EQ(CurrentId(), P::Phone);

  QTest::keyClicks(cell, "7");
  auto* early = On<TTimePicker>(P::Phone, "EarlyTime");
  auto* late = On<TTimePicker>(P::Phone, "LateTime");
  early->setTime(QTime(22, 0));
  late->setTime(QTime(6, 0));
  QTest::keyClick(cell, Qt::Key_Return);
  test::DeliverPostedEvents();
  EXPECT_EQ(CurrentId(), P::Server);
  const TSettingsData stored = settings.Snapshot();
  EXPECT_EQ(stored.Pin, "5551234567");
  // Stored as the pickers hold them: their own date, the chosen time, and
  // no complaint that the earliest is after the latest.
  EXPECT_DOUBLE_EQ(stored.EarlyTime, EncodeDateTime(2002, 3, 22, 22, 0));
  EXPECT_DOUBLE_EQ(stored.LateTime, EncodeDateTime(2002, 3, 22, 6, 0));

  // Shown again: the stored number is complete; the times come back.
  Back();
  Next();
  EXPECT_EQ(cell->displayText(), "(555)123-4567");
  EXPECT_TRUE(NextEnabled());
  EXPECT_EQ(early->time(), QTime(22, 0));

  // A stored number of fewer digits is incomplete.
  settings.SetPin("555123");
  Back();
  Next();
  EXPECT_EQ(cell->displayText(), "(555)123-____");
  EXPECT_FALSE(NextEnabled());
}

TEST_F(NewAgentWizard, TimePickersTakeOnlyTheTimeOfDayAndKeepTheWhole) {
  // A setting with a date and seconds: the picker shows its time and gives
  // back its own date with that time, seconds included.
  settings.SetEarlyTime(EncodeDateTime(2024, 5, 6, 7, 0, 30));
  WalkTo(8, P::CustomAddress);
  auto* early = On<TTimePicker>(P::CustomAddress, "EarlyTime");
  EXPECT_EQ(early->time(), QTime(7, 0, 30));
  Type(On<QLineEdit>(P::CustomAddress, "CustomEmail"), "pager@example.com");
  Next();
  EXPECT_DOUBLE_EQ(settings.Snapshot().EarlyTime, EncodeDateTime(2002, 3, 22, 7, 0, 30));
  EXPECT_DOUBLE_EQ(settings.Snapshot().LateTime, EncodeDateTime(2002, 3, 22, 19, 0));
}

TEST_F(NewAgentWizard, CustomAddressNeedsAnAtAndIsStoredAsTyped) {
  WalkTo(8, P::CustomAddress);
  auto* address = On<QLineEdit>(P::CustomAddress, "CustomEmail");
  address->clear();
  EXPECT_FALSE(NextEnabled());
  Type(address, "pager.example.com");
  EXPECT_FALSE(NextEnabled()) << "no @";
  address->clear();
  Type(address, "@");
  EXPECT_TRUE(NextEnabled()) << "@ alone will do";
  address->setText(" 555@Pager.Example ");
  Next();
  EXPECT_EQ(settings.Snapshot().CustomEmail, " 555@Pager.Example ");
}

TEST_F(NewAgentWizard, ServerPageEnablesItsFieldsByTheirBoxesAndStoresEverything) {
  settings.SetUserName("jo");
  settings.SetPass("secret");
  settings.SetPop3Server("pop.example.org");
  WalkTo(4, P::Server);
  auto* authenticate = On<QCheckBox>(P::Server, "Authenticate");
  auto* user = On<QLineEdit>(P::Server, "User");
  auto* pass = On<QLineEdit>(P::Server, "Pass");
  auto* pop3 = On<QCheckBox>(P::Server, "Pop3Author");
  auto* pop3Server = On<QLineEdit>(P::Server, "Pop3edit");
  auto* userLabel = On<QLabel>(P::Server, "Label2");
  auto* passLabel = On<QLabel>(P::Server, "Label3");
  auto* pop3Label = On<QLabel>(P::Server, "Label5");

  // Off: disabled, but showing the stored values; the placeholder never shows.
  EXPECT_FALSE(user->isEnabled() || pass->isEnabled() || userLabel->isEnabled() ||
               passLabel->isEnabled());
  EXPECT_EQ(user->text(), "jo");
  EXPECT_EQ(pass->displayText(), "%%%%%%");
  EXPECT_FALSE(pop3Server->isEnabled() || pop3Label->isEnabled());
  EXPECT_EQ(On<QLineEdit>(P::Server, "FromEmail")->text(), "");
  EXPECT_TRUE(NextEnabled());

  QTest::mouseClick(authenticate, Qt::LeftButton);
  EXPECT_TRUE(user->isEnabled() && pass->isEnabled() && userLabel->isEnabled() &&
              passLabel->isEnabled());
  QTest::mouseClick(authenticate, Qt::LeftButton);
  EXPECT_FALSE(user->isEnabled());
  EXPECT_EQ(user->text(), "jo") << "unticking keeps the values";
  QTest::mouseClick(pop3, Qt::LeftButton);
  EXPECT_TRUE(pop3Server->isEnabled() && pop3Label->isEnabled());

  Type(On<QLineEdit>(P::Server, "Server"), "localhost:2525");
  QTest::mouseClick(pop3, Qt::LeftButton);
  Next();
  const TSettingsData stored = settings.Snapshot();
  EXPECT_EQ(stored.Server, "localhost:2525");
  EXPECT_FALSE(stored.MustSignIn);
  EXPECT_EQ(stored.UserName, "jo") << "stored also while disabled";
  EXPECT_EQ(stored.Pass, "secret");
  EXPECT_FALSE(stored.Pop3Signin);
  EXPECT_EQ(stored.Pop3Server, "pop.example.org");
  EXPECT_EQ(stored.FromEmail, "");
}

TEST_F(NewAgentWizard, MeetingPageStoresItsFourOptions) {
  settings.SetEveningNotify(true);
  WalkTo(4, P::Meeting);
  EXPECT_TRUE(On<QCheckBox>(P::Meeting, "cbEveningMeetingNotify")->isChecked());
  QTest::mouseClick(On<QLabel>(P::Meeting, "Label2"), Qt::LeftButton);
  EXPECT_FALSE(On<QCheckBox>(P::Meeting, "cbMeetingNotify")->isChecked())
      << "clicking the label does not tick the box";
  QTest::mouseClick(On<QCheckBox>(P::Meeting, "cbMeetingNotify"), Qt::LeftButton);
  QTest::mouseClick(On<QCheckBox>(P::Meeting, "cbUrgentEmail"), Qt::LeftButton);
  Next();
  const TSettingsData stored = settings.Snapshot();
  EXPECT_TRUE(stored.MeetingNotify);
  EXPECT_FALSE(stored.MorningNotify);
  EXPECT_TRUE(stored.EveningNotify);
  EXPECT_TRUE(stored.UrgentEmail);
}

TEST_F(NewAgentWizard, TaskPeriodFollowsThePastDueBox) {
  WalkTo(4, P::Task);
  auto* pastDue = On<QCheckBox>(P::Task, "TaskPastReminder");
  auto* period = On<QComboBox>(P::Task, "cboReminderPeriod");
  // First run: no period and the list disabled.
  EXPECT_EQ(period->currentIndex(), -1);
  EXPECT_FALSE(period->isEnabled());

  // Ticking chooses Daily, also over another choice; unticking keeps it.
  QTest::mouseClick(pastDue, Qt::LeftButton);
  EXPECT_TRUE(period->isEnabled() && On<QLabel>(P::Task, "Label5")->isEnabled());
  EXPECT_EQ(period->currentText(), "Daily");
  period->setCurrentIndex(0);
  QTest::mouseClick(pastDue, Qt::LeftButton);
  EXPECT_FALSE(period->isEnabled());
  QTest::mouseClick(pastDue, Qt::LeftButton);
  EXPECT_EQ(period->currentIndex(), 2);
  period->setCurrentIndex(1);
  QTest::mouseClick(pastDue, Qt::LeftButton);
  EXPECT_EQ(period->currentIndex(), 1);

  // A stored reminder with period 3 shows the list enabled on Every Week.
  settings.SetTaskReminder(true);
  settings.SetTaskRemindPeriod(3);
  Back();
  Next();
  EXPECT_TRUE(pastDue->isChecked());
  EXPECT_TRUE(period->isEnabled());
  EXPECT_EQ(period->currentText(), "Every Week");
}

TEST_F(NewAgentWizard, DoneWithoutAPeriodStoresMinusOne) {
  WalkTo(4, P::Task);
  Next();
  EXPECT_EQ(settings.Snapshot().TaskRemindPeriod, -1);
  EXPECT_FALSE(settings.Snapshot().TaskReminder);
}

}  // namespace
}  // namespace rn
