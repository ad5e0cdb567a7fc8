// TWiring: the one place where both programs build what the engine works
// with: the registry file, the settings record, the SMTP and POP3 clients, the
// local store and its locations, the program folder and its lock, the wake
// event, and the engine itself. The windows (or the console) come in as the
// settings' host and the engine's host.
//
// The desktop program's order:
//   TWiring wiring(TWiringPaths::FromEnvironment(), nullptr);
//   if (!wiring.LockProgramFolder("ravenote")) ...;   // another copy runs
//   window: wiring.Settings().SetHost(this); wiring.LoadSettings();
//   WM_START_ENGINE: engine = wiring.CreateEngine(*this); engine->Start();
//                    engine->SetDebug(true);
//   close: engine->Stop(); engine->WaitFor(kExitWaitMs); engine.reset();
// The engine must be destroyed before the wiring.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/engine_host.h"
#include "engine/pop3_client.h"
#include "engine/smtp_client.h"
#include "outlook/local_store.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "shell/engine_control.h"
#include "shell/settings.h"

namespace rn {

class TNamedEvent;
struct TEngineDeps;

struct TWiringPaths {
  std::filesystem::path RegistryFile;
  std::filesystem::path ProgramFolder;
  std::string WakeEventName;

  // The user's own folders (XDG conventions) and the shared wake event.
  // Throws EFolderError when there is no home or a folder is not the user's.
  static TWiringPaths FromEnvironment();
};

// The local store's connector, following the locations it is given: a
// connection made from it reads the new locations from its next use of the
// namespace on (the engine fetches its folders afresh on every pass).
class TStoreSwitch final : public IOutlookConnector {
 public:
  using TLog = std::function<void(const std::string&)>;
  using TMaker =
      std::function<std::unique_ptr<IOutlookConnector>(const TStoreLocations&, const TLog&)>;

  // `make` builds the connector for one set of locations; without one, the
  // local store's.
  explicit TStoreSwitch(TLog log, TMaker make = {});

  // Until the first call, the store reads as empty.
  void SetLocations(const TStoreLocations& locations);
  std::optional<TStoreLocations> Locations() const;

  std::shared_ptr<IOutlookApplication> Connect() override;

  // The connector for the current locations and its generation; for the
  // connections it made.
  std::pair<std::shared_ptr<IOutlookConnector>, uint64_t> Current() const;

 private:
  TLog log_;
  TMaker make_;
  mutable std::mutex mutex_;
  std::optional<TStoreLocations> locations_;
  std::shared_ptr<IOutlookConnector> current_;
  uint64_t generation_ = 0;
};

class TWiring {
 public:
  struct TOptions {
    IClock* Clock = nullptr;         // null: the system clock
    TStoreSwitch::TMaker MakeStore;  // empty: the local store
    TMailTimeouts MailTimeouts;      // the mail clients' limits
    TPop3TlsOptions Pop3Tls;         // the POP3 client's TLS trust
    // The debugger output; empty: OutputDebugString.
    std::function<void(const std::string&)> DebugOutput;
  };

  // Builds everything but the engine; reads and writes nothing yet.
  // `settingsHost` may be null and set later through Settings().SetHost.
  TWiring(TWiringPaths paths, ISettingsHost* settingsHost);
  TWiring(TWiringPaths paths, ISettingsHost* settingsHost, TOptions options);
  ~TWiring();
  TWiring(const TWiring&) = delete;
  TWiring& operator=(const TWiring&) = delete;

  const TWiringPaths& Paths() const { return paths_; }
  TRegistry& Registry() { return registry_; }
  TSettings& Settings() { return settings_; }
  TStoreSwitch& Store() { return store_; }
  // The shared wake event, opened on first use.
  IWakeEvent& WakeEvent();

  // Loads the settings (first run and failures go to the settings' host),
  // then the store locations. Locations that cannot be read are reported to
  // the host too, and the previous ones kept (at the first load: an empty
  // store, never folders the user did not choose).
  void LoadSettings();
  // Saves the settings, with other keys of the file changed in the same
  // replacement of the file; creates the file's folder 0700 when missing.
  // Throws ERegistryError or EFolderError.
  void SaveSettings(const TRegistry::TKeyChanges& alongside = {});

  // One engine per program folder: takes the folder's lock for `program`
  // ("ravenote", "ravenoted"); false when another process holds it (ask
  // TFolderLock::Holder who). Throws EFolderError.
  bool LockProgramFolder(const std::string& program);
  bool ProgramFolderLocked() const { return lock_.Locked(); }

  // Creates the engine, not yet started, with its debug switch on. Needs the
  // program folder's lock (std::logic_error otherwise). `finished` is called
  // on the engine's thread when that thread ends.
  std::unique_ptr<IEngine> CreateEngine(IEngineHost& host, std::function<void()> finished = {});

  // Sends the test message now, on this thread, through the engine's own
  // delivery (POP3 sign-in, SMTP, the same checks and limits) with `host`
  // seeing its status and error texts. Needs no lock and touches no file:
  // true when the message went out.
  bool SendTestMessage(IEngineHost& host);

 private:
  TEngineDeps Deps(IEngineHost& host, IWakeEvent& wake);

  TWiringPaths paths_;
  TOptions options_;
  TSystemClock systemClock_;
  TRegistry registry_;
  TSmtpClient smtp_;
  TPop3Client pop3_;
  TSettings settings_;
  TStoreSwitch store_;
  TFolderLock lock_;
  std::mutex wakeMutex_;
  std::unique_ptr<TNamedEvent> wake_;
};

}  // namespace rn
