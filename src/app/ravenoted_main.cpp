// ravenoted: the notification engine without a window. Settings come from the
// registry file, status texts go to standard output, errors to standard error.
// SIGINT and SIGTERM stop the engine (final save and log dump, exit status 0);
// SIGHUP loads the settings again and wakes the engine for a pass.
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <clocale>
#include <memory>

#include "app/console_host.h"
#include "engine/pop3_client.h"
#include "engine/processor.h"
#include "engine/smtp_client.h"
#include "outlook/local_store.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/named_event.h"
#include "platform/registry.h"
#include "shell/settings.h"

namespace {

// How often a dead engine is looked for, as the tray window's watchdog does.
constexpr time_t kWatchdogSeconds = 15;

rn::TStoreLocations StoreLocations(const rn::TRegistry& registry) {
  try {
    return rn::ReadStoreLocations(registry);
  } catch (const std::exception& error) {
    rn::ErrorLine(std::string("Cannot read the store locations: ") + error.what() +
                  "; using the default folders.");
    const auto data = rn::DataFolder();
    return {data / "Calendar", data / "Tasks", data / "Inbox"};
  }
}

int Run(const sigset_t& signals) {
  const std::filesystem::path registryFile = rn::RegistryFilePath();
  const rn::TRegistry registry(registryFile);

  rn::TConsoleSettingsHost settingsHost(registryFile);
  rn::TSmtpClient smtp;
  rn::TPop3Client pop3;
  rn::TSettings settings(&settingsHost, &smtp);
  settings.LoadSettings(registry);

  std::unique_ptr<rn::IOutlookConnector> store = rn::MakeLocalStoreConnector(
      StoreLocations(registry), [](const std::string& line) { rn::OutputDebugString(line); });
  if (!store) {
    rn::ErrorLine("The local store is not available.");
    return 1;
  }

  std::filesystem::path folder;
  std::unique_ptr<rn::TNamedEvent> wakeEvent;
  try {
    folder = rn::ProgramFolder();
    wakeEvent = std::make_unique<rn::TNamedEvent>(rn::kWakeEventName);
  } catch (const std::exception& error) {
    rn::ErrorLine(error.what());
    return 1;
  }

  rn::TConsoleEngineHost engineHost;
  rn::TSystemClock clock;
  rn::TOutlookProcessor engine(
      rn::TEngineDeps{settings, engineHost, clock, *wakeEvent, *store, smtp, pop3, folder,
                      [](const std::string& line) { rn::OutputDebugString(line); }});
  engine.Start();

  int status = 0;
  for (;;) {
    const timespec watchdog{kWatchdogSeconds, 0};
    const int received = ::sigtimedwait(&signals, nullptr, &watchdog);
    if (received == SIGHUP) {
      settings.LoadSettings(registry);
      // A pass right away, so the new settings show at once.
      wakeEvent->Set();
      continue;
    }
    if (received == SIGINT || received == SIGTERM)
      break;
    if (received < 0 && errno != EAGAIN)
      continue;  // EINTR
    if (!engine.EngineRunning()) {
      rn::ErrorLine("Outlook Processor has died. Please Restart Application.");
      status = 1;
      break;
    }
  }

  engineHost.ShowStatus("Shutting Download Outlook Processing System....Please Wait.");
  engine.Stop();
  return status;  // the engine's destruction waits for its thread
}

}  // namespace

int main() {
  std::setlocale(LC_ALL, "");

  // The signals are taken by sigtimedwait on this thread alone: blocked here,
  // before any thread exists, every later thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // A signal ignored by the parent (a shell's background job, a test runner)
  // would be discarded before sigtimedwait could take it.
  for (int taken : {SIGINT, SIGTERM, SIGHUP})
    ::signal(taken, SIG_DFL);
  // A closed standard output or a dropped connection is an error to report,
  // not a reason to die.
  ::signal(SIGPIPE, SIG_IGN);

  try {
    return Run(signals);
  } catch (const std::exception& error) {
    rn::ErrorLine(error.what());
    return 1;
  }
}
