// The pages every run shows after the carrier and phone pages: the mail
// server, the meeting options and the task options (the last page, where
// Next is Done). None of them checks its input.
#pragma once

#include "wizard/generic_frame.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace rn {

class TSettings;

class TServerConfigFrame final : public TGenericFrame {
  Q_OBJECT

 public:
  TServerConfigFrame(TBaseInstaller& installer, TSettings& settings);

  void PageShown() override;
  void DoNext() override;

 protected:
  void ArrangeTabOrder() override;

 private:
  void AuthenticateClick();
  void Pop3AuthorClick();

  TSettings& settings_;
  QPlainTextEdit* Memo1;
  QLineEdit* Server;
  QCheckBox* Authenticate;
  QLabel* Label2;
  QLineEdit* User;
  QLabel* Label3;
  QLineEdit* Pass;
  QLineEdit* FromEmail;
  QCheckBox* Pop3Author;
  QLabel* Label5;
  QLineEdit* Pop3edit;
};

class TMeetingNotification final : public TGenericFrame {
  Q_OBJECT

 public:
  TMeetingNotification(TBaseInstaller& installer, TSettings& settings);

  void PageShown() override;
  void DoNext() override;

 private:
  TSettings& settings_;
  QCheckBox* cbMeetingNotify;
  QCheckBox* cbMorningEveningNotify;
  QCheckBox* cbEveningMeetingNotify;
  QCheckBox* cbUrgentEmail;
};

class TTaskManagement final : public TGenericFrame {
  Q_OBJECT

 public:
  TTaskManagement(TBaseInstaller& installer, TSettings& settings);

  void PageShown() override;
  void DoNext() override;

 private:
  void TaskPastReminderClick(bool checked);

  TSettings& settings_;
  QCheckBox* TaskReminderNotify;
  QCheckBox* TaskPreReminder;
  QCheckBox* TaskPastReminder;
  QLabel* Label5;
  QComboBox* cboReminderPeriod;
};

}  // namespace rn
