// The server, meeting and task pages.
#include "wizard/notification_pages.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/settings.h"
#include "wizard/controls.h"
#include "wizard/page_rules.h"

namespace rn {
namespace {

const std::vector<const char*> kServerInstructions = {
    "Please enter your server e-mail server configuration below. You can retrieve this ",
    "information from Outlook.",
    " ",
    "First click on Tools then either Accounts or Services. Select the account or service ",
    "that you want to use then click properties. ",
    "",
    "For POP e-mail find the SMTP server and for Exchange find the Exchange Server ",
    "Name. ",
    "",
    "For Pop accounts, make sure you check if Outgoing mail needs server ",
    "authentication.",
};

// The design's sender address; the page always shows the stored one instead.
constexpr const char* kFromEmailPlaceholder = "you@example.com";

QVBoxLayout* PageLayout(QWidget* area) {
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(8, 8, 8, 4);
  layout->setSpacing(4);
  return layout;
}

QLineEdit* MakeEdit(const char* name, int width) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setFixedWidth(width);
  return edit;
}

QLabel* MakeLabel(const char* name, const char* text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setObjectName(name);
  label->setBuddy(buddy);
  return label;
}

QString Text(const std::string& value) {
  return QString::fromStdString(value);
}

std::string Text(const QLineEdit* edit) {
  return edit->text().toStdString();
}

}  // namespace

TServerConfigFrame::TServerConfigFrame(TBaseInstaller& installer, TSettings& settings)
    : TGenericFrame(installer), settings_(settings) {
  setObjectName("TServerConfigFrame");
  resize(405, height());
  auto* layout = PageLayout(ClientArea());

  Memo1 = new QPlainTextEdit;
  Memo1->setObjectName("Memo1");
  Memo1->setFixedSize(393, 145);
  Memo1->setReadOnly(true);
  Memo1->setFrameShape(QFrame::NoFrame);
  Memo1->setPlainText(MemoText(kServerInstructions));
  QPalette colours = Memo1->palette();
  colours.setColor(QPalette::Base, colours.color(QPalette::Button));
  Memo1->setPalette(colours);
  layout->addWidget(Memo1);

  Server = MakeEdit("Server", 357);
  Authenticate = new QCheckBox("SMTP Server Requires Authentication");
  Authenticate->setObjectName("Authenticate");
  auto* serverRow = new QHBoxLayout;
  serverRow->addWidget(MakeLabel("Label1", "SMTP Server", Server));
  serverRow->addStretch(1);
  serverRow->addWidget(Authenticate);
  layout->addLayout(serverRow);
  layout->addWidget(Server);

  User = MakeEdit("User", 180);
  Pass = MakeEdit("Pass", 172);
  EchoPercent(Pass);
  Label2 = MakeLabel("Label2", "UserName", User);
  Label3 = MakeLabel("Label3", "Password", Pass);
  auto* account = new QGridLayout;
  account->setHorizontalSpacing(5);
  account->setVerticalSpacing(4);
  account->addWidget(Label2, 0, 0);
  account->addWidget(Label3, 0, 1);
  account->addWidget(User, 1, 0);
  account->addWidget(Pass, 1, 1);
  account->setColumnStretch(2, 1);
  layout->addLayout(account);

  FromEmail = MakeEdit("FromEmail", 357);
  FromEmail->setText(kFromEmailPlaceholder);
  layout->addWidget(
      MakeLabel("Label4", "Your E-Mail Address (Required for SMTP Servers)", FromEmail));
  layout->addWidget(FromEmail);

  Pop3Author = new QCheckBox("POP3 Server Authentication");
  Pop3Author->setObjectName("Pop3Author");
  layout->addWidget(Pop3Author, 0, Qt::AlignLeft);
  Pop3edit = MakeEdit("Pop3edit", 357);
  Label5 = MakeLabel("Label5", "POP3 Server", Pop3edit);
  layout->addWidget(Label5);
  layout->addWidget(Pop3edit);
  layout->addStretch(1);

  for (QWidget* disabled : {static_cast<QWidget*>(Label2), static_cast<QWidget*>(User),
                            static_cast<QWidget*>(Label3), static_cast<QWidget*>(Pass),
                            static_cast<QWidget*>(Label5), static_cast<QWidget*>(Pop3edit)})
    disabled->setEnabled(false);
  connect(Authenticate, &QCheckBox::toggled, this, &TServerConfigFrame::AuthenticateClick);
  connect(Pop3Author, &QCheckBox::toggled, this, &TServerConfigFrame::Pop3AuthorClick);

  Loaded();
}

void TServerConfigFrame::ArrangeTabOrder() {
  QWidget* order[] = {Memo1,    Server,     User,       Pass,       Authenticate, FromEmail,
                      Pop3edit, Pop3Author, BackButton, NextButton, CancelButton};
  for (size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);
}

void TServerConfigFrame::PageShown() {
  TGenericFrame::PageShown();
  const TSettingsData stored = settings_.Snapshot();
  Authenticate->setChecked(stored.MustSignIn);
  Server->setText(Text(stored.Server));
  User->setText(Text(stored.UserName));
  Pass->setText(Text(stored.Pass));
  Pop3Author->setChecked(stored.Pop3Signin);
  Pop3edit->setText(Text(stored.Pop3Server));
  FromEmail->setText(Text(stored.FromEmail));
  AuthenticateClick();
  Pop3AuthorClick();
}

void TServerConfigFrame::AuthenticateClick() {
  const bool on = Authenticate->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(User), static_cast<QWidget*>(Pass),
                     static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label3)})
    w->setEnabled(on);
}

void TServerConfigFrame::Pop3AuthorClick() {
  const bool on = Pop3Author->isChecked();
  Pop3edit->setEnabled(on);
  Label5->setEnabled(on);
}

void TServerConfigFrame::DoNext() {
  // Everything as typed, also the fields that are switched off: turning a
  // sign-in off keeps its values for later.
  settings_.SetMustSignIn(Authenticate->isChecked());
  settings_.SetServer(Text(Server));
  settings_.SetUserName(Text(User));
  settings_.SetPass(Text(Pass));
  settings_.SetPop3Signin(Pop3Author->isChecked());
  settings_.SetPop3Server(Text(Pop3edit));
  settings_.SetFromEmail(Text(FromEmail));
  TGenericFrame::DoNext();
}

TMeetingNotification::TMeetingNotification(TBaseInstaller& installer, TSettings& settings)
    : TGenericFrame(installer), settings_(settings) {
  setObjectName("TMeetingNotification");
  auto* layout = PageLayout(ClientArea());
  layout->setSpacing(6);
  AddLabel(layout, "Label1", "Select the options below for meeting notification.", true, true);
  cbMeetingNotify =
      AddOption(layout, "cbMeetingNotify", "Label2",
                "I wish to be notified via my cell phone when a meeting reminder occurs. That is "
                "if a meeting has a reminder setting notify me at the same time outlook would "
                "notify me at my computer.");
  cbMorningEveningNotify = AddOption(
      layout, "cbMorningEveningNotify", "Label3",
      "I wish to be notified in the morning of the first meeting of the day. That is, send a "
      "reminder to my cell phone to when my first meeting is and send it at my eariliest "
      "available time.");
  cbEveningMeetingNotify = AddOption(
      layout, "cbEveningMeetingNotify", "Label4",
      "I wish to be notified in the evening of the first meeting of the next day. That is, send "
      "a reminder to my cell phone as to when my first meeting is the next day. and send that "
      "right before my evening last time");
  AddLabel(layout, "Label5", "Select the option below for urgent e-mail notification.", true, true);
  cbUrgentEmail = AddOption(layout, "cbUrgentEmail", "Label6",
                            "I wish to be notified of the subject and sender of any incoming "
                            "urgent e-mail that arrives in my in-box.");
  layout->addStretch(1);
  Loaded();
}

void TMeetingNotification::PageShown() {
  TGenericFrame::PageShown();
  const TSettingsData stored = settings_.Snapshot();
  cbMeetingNotify->setChecked(stored.MeetingNotify);
  cbMorningEveningNotify->setChecked(stored.MorningNotify);
  cbEveningMeetingNotify->setChecked(stored.EveningNotify);
  cbUrgentEmail->setChecked(stored.UrgentEmail);
}

void TMeetingNotification::DoNext() {
  settings_.SetMeetingNotify(cbMeetingNotify->isChecked());
  settings_.SetMorningNotify(cbMorningEveningNotify->isChecked());
  settings_.SetEveningNotify(cbEveningMeetingNotify->isChecked());
  settings_.SetUrgentEmail(cbUrgentEmail->isChecked());
  TGenericFrame::DoNext();
}

TTaskManagement::TTaskManagement(TBaseInstaller& installer, TSettings& settings)
    : TGenericFrame(installer), settings_(settings) {
  setObjectName("TTaskManagement");
  auto* layout = PageLayout(ClientArea());
  layout->setSpacing(6);
  AddLabel(layout, "Label1", "Select the options you wish for task management.", true, true);
  TaskReminderNotify =
      AddOption(layout, "TaskReminderNotify", "Label2",
                "I wish to be notified via my cell phone when a task remind occurs. That is if a "
                "task has a reminder setting notify me at the same time outlook would notify me "
                "at my computer.");
  TaskPreReminder = AddOption(
      layout, "TaskPreReminder", "Label3",
      "I wish to be notified via my cell phone one day prior to my task become due or be "
      "notified once per day of all tasks that start date has past and has not been completed.");
  TaskPastReminder = AddOption(layout, "TaskPastReminder", "Label4",
                               "I wish to be reminded per the interval selected below of my "
                               "tasks that due date has past and has not been completed.");
  cboReminderPeriod = new QComboBox;
  cboReminderPeriod->setObjectName("cboReminderPeriod");
  cboReminderPeriod->setEditable(false);
  cboReminderPeriod->setFixedWidth(145);
  cboReminderPeriod->addItems({"Every Hour", "Twice Per Day", "Daily", "Every Week"});
  cboReminderPeriod->setCurrentIndex(-1);
  Label5 = new QLabel("Reminder Period:");
  Label5->setObjectName("Label5");
  Label5->setBuddy(cboReminderPeriod);
  auto* period = new QHBoxLayout;
  period->addSpacing(22);
  period->addWidget(Label5);
  period->addWidget(cboReminderPeriod);
  period->addStretch(1);
  layout->addLayout(period);
  layout->addStretch(1);
  Label5->setEnabled(false);
  cboReminderPeriod->setEnabled(false);
  connect(TaskPastReminder, &QCheckBox::toggled, this, &TTaskManagement::TaskPastReminderClick);
  acNext->setText("&Done");
  Loaded();
}

void TTaskManagement::TaskPastReminderClick(bool checked) {
  Label5->setEnabled(checked);
  cboReminderPeriod->setEnabled(checked);
  if (checked)
    cboReminderPeriod->setCurrentIndex(kDailyReminder);
}

void TTaskManagement::PageShown() {
  TGenericFrame::PageShown();
  const TSettingsData stored = settings_.Snapshot();
  TaskReminderNotify->setChecked(stored.TaskNotify);
  TaskPreReminder->setChecked(stored.TaskPreNotify);
  TaskPastReminder->setChecked(stored.TaskReminder);
  // After the box, so the stored period wins over the "Daily" its tick chose.
  cboReminderPeriod->setCurrentIndex(ReminderPeriodItem(stored.TaskRemindPeriod));
}

void TTaskManagement::DoNext() {
  settings_.SetTaskNotify(TaskReminderNotify->isChecked());
  settings_.SetTaskPreNotify(TaskPreReminder->isChecked());
  settings_.SetTaskReminder(TaskPastReminder->isChecked());
  settings_.SetTaskRemindPeriod(cboReminderPeriod->currentIndex());
  TGenericFrame::DoNext();
}

}  // namespace rn
