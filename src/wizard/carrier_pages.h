// The pages a run shows before the server page, and the picture beside
// every page: welcome, carrier, Cingular region, custom address and phone.
#pragma once

#include "platform/datetime.h"
#include "wizard/generic_frame.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace rn {

class TRadioGroup;
class TSettings;
class TTimePicker;

// The picture: one image, stretched to the frame.
class TImageFrame final : public QFrame {
  Q_OBJECT

 public:
  TImageFrame();

 private:
  QLabel* Image1;
};

class TAgentInitialFrame final : public TGenericFrame {
  Q_OBJECT

 public:
  explicit TAgentInitialFrame(TBaseInstaller& installer);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The memo never keeps the focus: it goes to Next, so Enter is Next there.
  void MessageMemoEnter();

  QPlainTextEdit* MessageMemo;
};

class TServiceProvider final : public TGenericFrame {
  Q_OBJECT

 public:
  TServiceProvider(TBaseInstaller& installer, TSettings& settings);

  void PageShown() override;
  void DoNext() override;
  // The carrier chosen, as its row of the carrier table; -1 for none.
  int SelectedIndex() const;

 private:
  void rdoServiceProviderClick();

  TSettings& settings_;
  TRadioGroup* rdoServiceProvider;
};

class TCinglarServiceSelect final : public TGenericFrame {
  Q_OBJECT

 public:
  TCinglarServiceSelect(TBaseInstaller& installer, TSettings& settings);

  void PageShown() override;
  void DoNext() override;

 private:
  void rdgrpCinglarClick();

  TSettings& settings_;
  TRadioGroup* rdgrpCinglar;
};

class TCustomService final : public TGenericFrame {
  Q_OBJECT

 public:
  TCustomService(TBaseInstaller& installer, TSettings& settings);

  void PageShown() override;
  void DoNext() override;

 private:
  void CustomEmailChange();

  TSettings& settings_;
  QLineEdit* CustomEmail;
  TTimePicker* EarlyTime;
  TTimePicker* LateTime;
};

class TPersonnelConfig final : public TGenericFrame {
  Q_OBJECT

 public:
  TPersonnelConfig(TBaseInstaller& installer, TSettings& settings);

  void PageShown() override;
  void DoNext() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CellNumberChange();
  bool NumberComplete() const;

  TSettings& settings_;
  QLineEdit* CellNumber;
  TTimePicker* EarlyTime;
  TTimePicker* LateTime;
};

// The date the time pickers keep; only their time of day is a setting.
TDateTime PickerDate();

}  // namespace rn
