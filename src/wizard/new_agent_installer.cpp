// The new-agent wizard's pages, routing and Done.
#include "wizard/new_agent_installer.h"

#include <QPointer>

#include "wizard/carrier_pages.h"
#include "wizard/main_form.h"
#include "wizard/notification_pages.h"
#include "wizard/window_message.h"

namespace rn {

void TNewAgentInstaller::CreatePages() {
  TMainForm* host = WizardHost();
  if (!host)
    return;
  TSettings& settings = host->Settings();
  // Only what is missing, in this order: a later run reuses the first's pages.
  if (!AgentInitialFrame)
    AgentInitialFrame = Adopt(std::make_unique<TAgentInitialFrame>(*this));
  if (!ServiceProvider)
    ServiceProvider = Adopt(std::make_unique<TServiceProvider>(*this, settings));
  if (!ImagePage())
    SetImagePage(Adopt(std::make_unique<TImageFrame>()));
  if (!PersonnelConfig)
    PersonnelConfig = Adopt(std::make_unique<TPersonnelConfig>(*this, settings));
  if (!TaskManagement)
    TaskManagement = Adopt(std::make_unique<TTaskManagement>(*this, settings));
  if (!MeetingNotification)
    MeetingNotification = Adopt(std::make_unique<TMeetingNotification>(*this, settings));
  if (!CinglarServiceSelect)
    CinglarServiceSelect = Adopt(std::make_unique<TCinglarServiceSelect>(*this, settings));
  if (!CustomService)
    CustomService = Adopt(std::make_unique<TCustomService>(*this, settings));
  if (!ServerConfigFrame)
    ServerConfigFrame = Adopt(std::make_unique<TServerConfigFrame>(*this, settings));
}

TGenericFrame* TNewAgentInstaller::FirstPage() {
  return AgentInitialFrame;
}

TGenericFrame* TNewAgentInstaller::Page(TWizardPage page) const {
  switch (page) {
    case TWizardPage::Welcome:
      return AgentInitialFrame;
    case TWizardPage::Carrier:
      return ServiceProvider;
    case TWizardPage::Region:
      return CinglarServiceSelect;
    case TWizardPage::Phone:
      return PersonnelConfig;
    case TWizardPage::CustomAddress:
      return CustomService;
    case TWizardPage::Server:
      return ServerConfigFrame;
    case TWizardPage::Meeting:
      return MeetingNotification;
    case TWizardPage::Task:
      return TaskManagement;
  }
  return nullptr;
}

std::optional<TWizardPage> TNewAgentInstaller::PageId(const TGenericFrame* page) const {
  for (TWizardPage id :
       {TWizardPage::Welcome, TWizardPage::Carrier, TWizardPage::Region, TWizardPage::Phone,
        TWizardPage::CustomAddress, TWizardPage::Server, TWizardPage::Meeting, TWizardPage::Task}) {
    if (page && Page(id) == page)
      return id;
  }
  return std::nullopt;
}

int TNewAgentInstaller::CarrierSelection() const {
  return ServiceProvider ? ServiceProvider->SelectedIndex() : -1;
}

void TNewAgentInstaller::Next() {
  const auto current = PageId(CurrentPage());
  if (!current)
    return;
  if (current == TWizardPage::Task) {
    Done();
    return;
  }
  if (const auto next = NextPage(*current, CarrierSelection()))
    ShowPage(Page(*next));
}

void TNewAgentInstaller::Back() {
  const auto current = PageId(CurrentPage());
  if (!current)
    return;
  if (const auto back = BackPage(*current, CarrierSelection()))
    ShowPage(Page(*back));
}

void TNewAgentInstaller::Done() {
  TMainForm* host = WizardHost();
  SetFinished(true);
  if (!host)
    return;
  // Both posted, in this order: the host closes (no question, no reload)
  // before the owner saves.
  QPointer<TMainForm> closing(host);
  QMetaObject::invokeMethod(
      host,
      [closing] {
        if (closing)
          closing->close();
      },
      Qt::QueuedConnection);
  PostWindowMessage(host->Owner(), WM_SAVE_SETTINGS);
}

}  // namespace rn
