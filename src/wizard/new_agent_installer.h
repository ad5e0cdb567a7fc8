// The program's one concrete wizard: its eight pages, their order with the
// two branches on the carrier, and Done, which asks the owner to save. One
// exists for the program's whole life; its pages are made at the first run
// and reused by every later run and every later host.
#pragma once

#include "wizard/base_installer.h"
#include "wizard/wizard_routes.h"

namespace rn {

class TAgentInitialFrame;
class TCinglarServiceSelect;
class TCustomService;
class TImageFrame;
class TMeetingNotification;
class TPersonnelConfig;
class TServerConfigFrame;
class TServiceProvider;
class TTaskManagement;

class TNewAgentInstaller final : public TBaseInstaller {
 public:
  void CreatePages() override;
  TGenericFrame* FirstPage() override;
  void Back() override;
  void Next() override;

  // The page a page id names, and the id of a page (none for a foreign one).
  TGenericFrame* Page(TWizardPage page) const;
  std::optional<TWizardPage> PageId(const TGenericFrame* page) const;

  // Each empty until the first run creates it.
  TAgentInitialFrame* AgentInitialFrame = nullptr;
  TServiceProvider* ServiceProvider = nullptr;
  TPersonnelConfig* PersonnelConfig = nullptr;
  TTaskManagement* TaskManagement = nullptr;
  TMeetingNotification* MeetingNotification = nullptr;
  TCinglarServiceSelect* CinglarServiceSelect = nullptr;
  TCustomService* CustomService = nullptr;
  TServerConfigFrame* ServerConfigFrame = nullptr;

 private:
  int CarrierSelection() const;
  void Done();
};

}  // namespace rn
