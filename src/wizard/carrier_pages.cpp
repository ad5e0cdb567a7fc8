// The picture, the welcome page and the pages that choose where messages go.
#include "wizard/carrier_pages.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/carriers.h"
#include "shell/settings.h"
#include "wizard/base_installer.h"
#include "wizard/controls.h"
#include "wizard/page_rules.h"

namespace rn {
namespace {

constexpr int kEarlyDesignHour = 7;
constexpr int kLateDesignHour = 20;
constexpr const char* kPhoneMask = "(999)999-9999;_";

const std::vector<const char*> kWelcomeLines = {
    "Welcome to the Ravenote configuration wizard. This program allows you",
    "to configure Ravenote to link your cell phone with your Microsoft",
    "Outlook* calendar, appointments, task and urgent e-mails.",
    "",
    "You will need to know your cellular phone provider and your full cellular",
    "phone number.",
    "",
    "To exit the configuration wizard click Cancel.",
    "To continue with the configuration wizard click Next>.",
    "",
    "",
    "This program is protected by copyright law and by international treaties.",
    "",
    "Copying or passing on this program or any part of it without the",
    "maker's permission may lead to claims for damages under civil law",
    "and to criminal prosecution.",
    "",
    "* Microsoft Outlook is a trademark of Microsoft Corporation.",
};

// The memo of the welcome page: read-only, and its pop-up menu holds nothing.
class TMessageMemo final : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override { event->accept(); }
};

QVBoxLayout* PageLayout(QWidget* area) {
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(8, 12, 8, 4);
  layout->setSpacing(8);
  return layout;
}

// A label and a time picker in a row.
TTimePicker* AddTimeRow(QGridLayout* grid, int row, const char* labelName, const char* text,
                        const char* pickerName, int hour) {
  auto* label = new QLabel(text);
  label->setObjectName(labelName);
  auto* picker = new TTimePicker(nullptr, pickerName, PickerDate(), hour);
  label->setBuddy(picker);
  grid->addWidget(label, row, 0);
  grid->addWidget(picker, row, 1, Qt::AlignLeft);
  return picker;
}

void FocusIgnoringFailure(QWidget* widget) {
  // Focus that cannot be given (the window not yet on screen) is simply
  // not given.
  if (widget->isEnabled())
    widget->setFocus();
}

}  // namespace

TDateTime PickerDate() {
  return EncodeDate(2002, 3, 22);
}

TImageFrame::TImageFrame() {
  setObjectName("TImageFrame");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(QPixmap(":/wizard/picture.png"));
  Image1->setScaledContents(true);
  Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  layout->addWidget(Image1);
}

TAgentInitialFrame::TAgentInitialFrame(TBaseInstaller& installer) : TGenericFrame(installer) {
  setObjectName("TAgentInitialFrame");
  MessageMemo = new TMessageMemo(ClientArea());
  MessageMemo->setObjectName("MessageMemo");
  MessageMemo->setGeometry(27, 27, 374, 306);
  MessageMemo->setReadOnly(true);
  MessageMemo->setFrameShape(QFrame::NoFrame);
  MessageMemo->setFocusPolicy(Qt::ClickFocus);
  MessageMemo->setPlainText(MemoText(kWelcomeLines));
  QPalette colours = MessageMemo->palette();
  colours.setColor(QPalette::Base, colours.color(QPalette::Window));
  MessageMemo->setPalette(colours);
  MessageMemo->installEventFilter(this);
  MessageMemo->viewport()->installEventFilter(this);
  acBack->setVisible(false);
  Loaded();
}

bool TAgentInitialFrame::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((watched == MessageMemo && type == QEvent::FocusIn) ||
      (watched == MessageMemo->viewport() &&
       (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease)))
    MessageMemoEnter();
  return TGenericFrame::eventFilter(watched, event);
}

void TAgentInitialFrame::MessageMemoEnter() {
  FocusIgnoringFailure(NextButton);
}

TServiceProvider::TServiceProvider(TBaseInstaller& installer, TSettings& settings)
    : TGenericFrame(installer), settings_(settings) {
  setObjectName("TServiceProvider");
  auto* layout = PageLayout(ClientArea());
  AddLabel(layout, "Label1", "Select your celluar service provider from the list below. ");
  AddLabel(layout, "Label3",
           "You must have text messaging service from your service provider. Try sending a test "
           "message after configuration is completed and if you have problems contact them to "
           "verify that you have the service.",
           true, true);
  rdoServiceProvider = new TRadioGroup(nullptr, "rdoServiceProvider", "Service Provider", 2);
  rdoServiceProvider->setMinimumSize(369, 177);
  rdoServiceProvider->OnClick = [this] { rdoServiceProviderClick(); };
  layout->addWidget(rdoServiceProvider);
  QLabel* note = AddLabel(layout, "Label2",
                          "* Note: Your service provide may charge a nominal fee for each message "
                          "sent. Please check with you provider for text messaging fees.",
                          true, true);
  note->setStyleSheet("color: red");
  layout->addStretch(1);
  acNext->setEnabled(false);
  Loaded();
}

void TServiceProvider::PageShown() {
  TGenericFrame::PageShown();
  QStringList captions;
  for (const TCarrier& carrier : CarrierTable)
    captions << QString::fromUtf8(carrier.Caption);
  rdoServiceProvider->SetItems(captions);
  rdoServiceProvider->SetItemIndex(CarrierItemOf(settings_.Snapshot().Service));
}

void TServiceProvider::rdoServiceProviderClick() {
  acNext->setEnabled(rdoServiceProvider->ItemIndex() >= 0);
}

int TServiceProvider::SelectedIndex() const {
  return rdoServiceProvider->ItemIndex();
}

void TServiceProvider::DoNext() {
  const int index = rdoServiceProvider->ItemIndex();
  if (index < 0)
    return;
  settings_.SetService(static_cast<uint8_t>(index));
  TGenericFrame::DoNext();
}

TCinglarServiceSelect::TCinglarServiceSelect(TBaseInstaller& installer, TSettings& settings)
    : TGenericFrame(installer), settings_(settings) {
  setObjectName("TCinglarServiceSelect");
  auto* layout = PageLayout(ClientArea());
  AddLabel(layout, "Label1",
           "Select the region of the country you have Cingular Wireless service.");
  rdgrpCinglar = new TRadioGroup(nullptr, "rdgrpCinglar", QString(), 1);
  rdgrpCinglar->setMinimumSize(361, 249);
  rdgrpCinglar->OnClick = [this] { rdgrpCinglarClick(); };
  layout->addWidget(rdgrpCinglar);
  layout->addStretch(1);
  acNext->setEnabled(false);
  Loaded();
}

void TCinglarServiceSelect::PageShown() {
  TGenericFrame::PageShown();
  // The user picks a region each time; no earlier choice is shown.
  QStringList regions;
  for (const TCingularRegion& region : CingularRegions)
    regions << QString::fromUtf8(region.Description);
  rdgrpCinglar->SetItems(regions);
}

void TCinglarServiceSelect::rdgrpCinglarClick() {
  acNext->setEnabled(rdgrpCinglar->ItemIndex() >= 0);
}

void TCinglarServiceSelect::DoNext() {
  const int index = rdgrpCinglar->ItemIndex();
  if (index < 0)
    return;
  settings_.SetCustomAddr(CingularRegions[index].GatewayDomain);
  TGenericFrame::DoNext();
}

TCustomService::TCustomService(TBaseInstaller& installer, TSettings& settings)
    : TGenericFrame(installer), settings_(settings) {
  setObjectName("TCustomService");
  resize(446, height());
  auto* layout = PageLayout(ClientArea());
  AddLabel(layout, "Label1",
           "Ravenote supports any telecommucation device with the ability to display text and "
           "has a method to send e-mail to the device.");
  QLabel* prompt = AddLabel(layout, "Label2", "Enter the full e-mail address for your device.");
  CustomEmail = new QLineEdit;
  CustomEmail->setObjectName("CustomEmail");
  CustomEmail->setFixedWidth(401);
  prompt->setBuddy(CustomEmail);
  connect(CustomEmail, &QLineEdit::textChanged, this, &TCustomService::CustomEmailChange);
  layout->addWidget(CustomEmail);
  layout->addSpacing(12);
  AddLabel(layout, "Label5", "Enter the times you wish to be notified via Ravenote.");
  auto* times = new QGridLayout;
  EarlyTime = AddTimeRow(times, 0, "Label3", "Eariliest time of notification:", "EarlyTime",
                         kEarlyDesignHour);
  LateTime =
      AddTimeRow(times, 1, "Label4", "Latest time of notification:", "LateTime", kLateDesignHour);
  times->setColumnStretch(2, 1);
  layout->addLayout(times);
  layout->addStretch(1);
  acNext->setEnabled(false);
  Loaded();
}

void TCustomService::PageShown() {
  TGenericFrame::PageShown();
  const TSettingsData stored = settings_.Snapshot();
  EarlyTime->SetTimeOf(stored.EarlyTime);
  LateTime->SetTimeOf(stored.LateTime);
  CustomEmail->setText(QString::fromStdString(stored.CustomEmail));
  CustomEmailChange();  // also when the text was already the same
}

void TCustomService::CustomEmailChange() {
  acNext->setEnabled(IsDeviceAddress(CustomEmail->text().toStdString()));
}

void TCustomService::DoNext() {
  settings_.SetCustomEmail(CustomEmail->text().toStdString());
  settings_.SetEarlyTime(EarlyTime->Value());
  settings_.SetLateTime(LateTime->Value());
  TGenericFrame::DoNext();
}

TPersonnelConfig::TPersonnelConfig(TBaseInstaller& installer, TSettings& settings)
    : TGenericFrame(installer), settings_(settings) {
  setObjectName("TPersonnelConfig");
  auto* layout = PageLayout(ClientArea());
  AddLabel(layout, "Label1", "Enter configuration information below.");
  auto* grid = new QGridLayout;
  grid->setVerticalSpacing(10);
  auto* numberLabel = new QLabel("Cell Phone Number:");
  numberLabel->setObjectName("Label2");
  CellNumber = new QLineEdit;
  CellNumber->setObjectName("CellNumber");
  CellNumber->setInputMask(kPhoneMask);
  CellNumber->setMaxLength(13);
  numberLabel->setBuddy(CellNumber);
  connect(CellNumber, &QLineEdit::textChanged, this, &TPersonnelConfig::CellNumberChange);
  CellNumber->installEventFilter(this);
  grid->addWidget(numberLabel, 0, 0);
  grid->addWidget(CellNumber, 0, 1, Qt::AlignLeft);
  EarlyTime = AddTimeRow(grid, 1, "Label3", "Eariliest time of notification:", "EarlyTime",
                         kEarlyDesignHour);
  LateTime =
      AddTimeRow(grid, 2, "Label4", "Latest time of notification:", "LateTime", kLateDesignHour);
  grid->setColumnStretch(2, 1);
  layout->addLayout(grid);
  layout->addStretch(1);
  acNext->setEnabled(false);
  Loaded();
}

bool TPersonnelConfig::eventFilter(QObject* watched, QEvent* event) {
  // CellNumberExit: entering and leaving the field check the number too.
  if (watched == CellNumber &&
      (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
    CellNumberChange();
  return TGenericFrame::eventFilter(watched, event);
}

bool TPersonnelConfig::NumberComplete() const {
  return IsPhoneNumberComplete(CellNumber->text().toStdString());
}

void TPersonnelConfig::CellNumberChange() {
  acNext->setEnabled(NumberComplete());
}

void TPersonnelConfig::PageShown() {
  TGenericFrame::PageShown();
  FocusIgnoringFailure(CellNumber);
  const TSettingsData stored = settings_.Snapshot();
  // The stored digits go into the digit positions.
  CellNumber->setText(QString::fromStdString(PhoneDigits(stored.Pin)));
  // Typing starts at the first empty digit, not behind the mask's end.
  const int blank = CellNumber->displayText().indexOf('_');
  CellNumber->setCursorPosition(blank >= 0 ? blank : CellNumber->displayText().size());
  CellNumberChange();
  EarlyTime->SetTimeOf(stored.EarlyTime);
  LateTime->SetTimeOf(stored.LateTime);
}

void TPersonnelConfig::DoNext() {
  if (!NumberComplete()) {
    FocusIgnoringFailure(CellNumber);
    return;
  }
  settings_.SetPin(PhoneDigits(CellNumber->text().toStdString()));
  settings_.SetEarlyTime(EarlyTime->Value());
  settings_.SetLateTime(LateTime->Value());
  TGenericFrame::DoNext();
}

}  // namespace rn
