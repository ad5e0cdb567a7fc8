// TWiring and the engine behind IEngine: what both programs build, in one
// place, so the desktop program and ravenoted can never drift apart.
#include "shell/wiring.h"

#include <chrono>
#include <condition_variable>
#include <stdexcept>

#include "engine/processor.h"
#include "platform/named_event.h"
#include "shell/carriers.h"

namespace rn {
namespace {

// The engine as the window sees it.
class TEngine final : public IEngine {
 public:
  explicit TEngine(TEngineDeps deps) : wake_(deps.WakeEvent), processor_(std::move(deps)) {}

  void Start() override { processor_.Start(); }
  void Stop() override { processor_.Stop(); }
  void SetWakeEvent() override { wake_.Set(); }
  bool EngineRunning() const override { return processor_.EngineRunning(); }
  void SetDebug(bool on) override { processor_.SetDebug(on); }
  bool Debug() const override { return processor_.Debug(); }
  void SetPendingMessage(const std::string& to, const std::string& subject,
                         const std::string& body) override {
    processor_.SetPendingMessage(to, subject, body);
  }
  bool WaitFor(unsigned milliseconds) override { return processor_.WaitFor(milliseconds); }

  TOutlookProcessor& Processor() { return processor_; }

 private:
  IWakeEvent& wake_;
  TOutlookProcessor processor_;
};

// A wake event of this process alone, for a one-off send: its end must not
// wake the user's running engine.
class TPrivateEvent final : public IWakeEvent {
 public:
  void Set() override {
    {
      std::lock_guard lock(mutex_);
      set_ = true;
    }
    cv_.notify_all();
  }
  void Reset() override {
    std::lock_guard lock(mutex_);
    set_ = false;
  }
  bool Wait(unsigned milliseconds) override {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return set_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

// A connection that follows the store's locations: when they have changed
// since it last looked, the next namespace comes from the new ones.
class TSwitchingApplication final : public IOutlookApplication {
 public:
  explicit TSwitchingApplication(const TStoreSwitch& store) : store_(store) {}

  std::shared_ptr<INameSpace> GetNamespace(const std::string& type) override {
    std::shared_ptr<IOutlookApplication> inner;
    {
      std::lock_guard lock(mutex_);
      auto [connector, generation] = store_.Current();
      if (!inner_ || generation != generation_) {
        inner_ = connector->Connect();
        generation_ = generation;
      }
      inner = inner_;
    }
    return inner->GetNamespace(type);
  }

  void Quit() override {
    std::shared_ptr<IOutlookApplication> inner;
    {
      std::lock_guard lock(mutex_);
      inner = std::move(inner_);
      inner_.reset();
    }
    if (inner)
      inner->Quit();
  }

 private:
  const TStoreSwitch& store_;
  std::mutex mutex_;
  std::shared_ptr<IOutlookApplication> inner_;
  uint64_t generation_ = 0;
};

}  // namespace

// ---- paths ----

TWiringPaths TWiringPaths::FromEnvironment() {
  TWiringPaths paths;
  paths.RegistryFile = rn::RegistryFilePath();
  paths.ProgramFolder = rn::ProgramFolder();
  DataFolder();  // the default store's place must be found too, or nothing starts
  paths.WakeEventName = kWakeEventName;
  return paths;
}

// ---- the store ----

TStoreSwitch::TStoreSwitch(TLog log, TMaker make) : log_(std::move(log)), make_(std::move(make)) {
  if (!make_) {
    make_ = [](const TStoreLocations& locations, const TLog& log) {
      return MakeLocalStoreConnector(locations, log);
    };
  }
  current_ = make_(TStoreLocations{}, log_);
}

void TStoreSwitch::SetLocations(const TStoreLocations& locations) {
  std::lock_guard lock(mutex_);
  if (locations_ && locations_->Calendar == locations.Calendar &&
      locations_->Tasks == locations.Tasks && locations_->Inbox == locations.Inbox) {
    return;  // what the store has read stays
  }
  current_ = make_(locations, log_);
  locations_ = locations;
  ++generation_;
}

std::optional<TStoreLocations> TStoreSwitch::Locations() const {
  std::lock_guard lock(mutex_);
  return locations_;
}

std::pair<std::shared_ptr<IOutlookConnector>, uint64_t> TStoreSwitch::Current() const {
  std::lock_guard lock(mutex_);
  return {current_, generation_};
}

std::shared_ptr<IOutlookApplication> TStoreSwitch::Connect() {
  return std::make_shared<TSwitchingApplication>(*this);
}

// ---- the wiring ----

namespace {

TWiring::TOptions WithDefaults(TWiring::TOptions options) {
  if (!options.DebugOutput)
    options.DebugOutput = [](const std::string& line) { OutputDebugString(line); };
  return options;
}

}  // namespace

TWiring::TWiring(TWiringPaths paths, ISettingsHost* settingsHost)
    : TWiring(std::move(paths), settingsHost, TOptions{}) {}

TWiring::TWiring(TWiringPaths paths, ISettingsHost* settingsHost, TOptions options)
    : paths_(std::move(paths)),
      options_(WithDefaults(std::move(options))),
      registry_(paths_.RegistryFile),
      smtp_(options_.MailTimeouts),
      pop3_(options_.MailTimeouts, options_.Pop3Tls),
      settings_(settingsHost, &smtp_),
      store_(options_.DebugOutput, options_.MakeStore) {}

TWiring::~TWiring() = default;

IWakeEvent& TWiring::WakeEvent() {
  std::lock_guard lock(wakeMutex_);
  if (!wake_)
    wake_ = std::make_unique<TNamedEvent>(paths_.WakeEventName);
  return *wake_;
}

void TWiring::LoadSettings() {
  settings_.LoadSettings(registry_);
  try {
    store_.SetLocations(ReadStoreLocations(registry_));
  } catch (const std::exception& error) {
    // A file that cannot be parsed at all has been reported by the settings.
    try {
      registry_.OpenKey(kStoreKey);
    } catch (const ERegistryError&) {
      return;
    }
    if (ISettingsHost* host = settings_.Host()) {
      host->ShowRegistryError(std::string("Cannot read the store locations\n") + error.what());
    }
  }
}

void TWiring::SaveSettings(const TRegistry::TKeyChanges& alongside) {
  EnsureFolder(paths_.RegistryFile.parent_path());
  settings_.SaveSettings(registry_, alongside);
}

bool TWiring::LockProgramFolder(const std::string& program) {
  return lock_.Locked() || lock_.TryLock(paths_.ProgramFolder, program);
}

TEngineDeps TWiring::Deps(IEngineHost& host, IWakeEvent& wake) {
  IClock& clock = options_.Clock ? *options_.Clock : systemClock_;
  return TEngineDeps{
      settings_,           host, clock, wake, store_, smtp_, pop3_, paths_.ProgramFolder,
      options_.DebugOutput};
}

std::unique_ptr<IEngine> TWiring::CreateEngine(IEngineHost& host, std::function<void()> finished) {
  if (!lock_.Locked())
    throw std::logic_error("the engine needs the program folder's lock");
  auto engine = std::make_unique<TEngine>(Deps(host, WakeEvent()));
  if (finished)
    engine->Processor().SetFinishedHandler(std::move(finished));
  engine->SetDebug(true);
  return engine;
}

bool TWiring::SendTestMessage(IEngineHost& host) {
  TPrivateEvent wake;
  TOutlookProcessor sender(Deps(host, wake));
  // Its few lines would only go to the program folder's DEBUG.LOG, which
  // belongs to the engine that may be running there.
  sender.SetDebug(false);
  return sender.SendNewEmail(DestinationAddress(settings_.Snapshot()), kTestMessageSubject,
                             kTestMessageBody);
}

}  // namespace rn
