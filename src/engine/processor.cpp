// TOutlookProcessor: the engine thread's life (start, stop, join), the order
// of the steps of a pass, the wait between passes and the recovery from a
// failing pass. The steps themselves live beside this file (state, dispatch,
// delivery) and in outlook/ (the scans).
#include "engine/processor.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>

#include "platform/datetime.h"

namespace rn {

namespace {

constexpr const char* kNoOutlookText =
    "Unable initilize Outlook connection.\r\nPlease verify Outlook is installed\r\n"
    "This program doesn't support Outlook Express";

// Passes two minutes apart start four minutes before the window opens.
constexpr double kEarlyLead = 1.0 / 360;

// A failed wait (the wake event itself broken) pauses this long before the
// next pass, so even then the loop cannot spin.
constexpr unsigned kFailedWaitPauseMs = 1000;

// The engine runs one step below normal priority. Linux keeps a nice value per
// thread, so this lowers only the engine thread; a refusal changes nothing.
void LowerThreadPriority() {
  const pid_t thread = ::gettid();
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, thread);
  if (nice == -1 && errno != 0)
    return;
  ::setpriority(PRIO_PROCESS, thread, nice + 1);
}

}  // namespace

TOutlookProcessor::TOutlookProcessor(TEngineDeps deps)
    : deps_(std::move(deps)), log_(deps_.Folder, deps_.Clock, [this] { return StopRequested(); }) {
  const TDateTime now = deps_.Clock.Now();
  NextCalendarScan = now;
  NextInboxScan = now;
  NextTaskScan = now;
  // A day in the past, so a start inside the morning or evening hour sends
  // that hour's message on the first pass.
  NextMorningMessage = now - kOneDay;
  NextEveningMessage = now - kOneDay;
  log_.Enabled = true;
  engineRunning_ = true;
}

TOutlookProcessor::~TOutlookProcessor() {
  Stop();
  if (thread_.joinable())
    thread_.join();
}

void TOutlookProcessor::Start() {
  if (thread_.joinable())
    return;
  thread_ = std::thread([this] {
    LowerThreadPriority();
    try {
      Execute();
    } catch (...) {
      // Execute handles its own failures; nothing may end the process from here.
    }
    engineRunning_ = false;
    {
      std::lock_guard lock(finishedMutex_);
      finished_ = true;
    }
    finishedCv_.notify_all();
    if (finishedHandler_)
      finishedHandler_();
  });
}

void TOutlookProcessor::Stop() {
  terminated_ = true;
  stopSource_.request_stop();
  deps_.WakeEvent.Set();
}

bool TOutlookProcessor::WaitFor(unsigned milliseconds) {
  if (!thread_.joinable())
    return true;
  std::unique_lock lock(finishedMutex_);
  return finishedCv_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [this] { return finished_; });
}

void TOutlookProcessor::ShowStatus(const std::string& text) {
  deps_.Host.ShowStatus(text);
}

void TOutlookProcessor::Execute() {
  DebugLog("COI");
  try {
    ConnectOutlook();
    Application();
  } catch (const std::exception& error) {
    // Without a store there is nothing to do: the engine ends, and its owner's
    // watchdog reports it dead. The log keeps the cause.
    terminated_ = true;
    DebugLog(std::string("Error") + error.what());
    try {
      log_.Dump();
    } catch (...) {
    }
    engineRunning_ = false;
    deps_.Host.ShowErrorBox(kNoOutlookText);
    return;
  }

  log_.Append("Execute Start");
  log_.Append("Loading From Disk");
  try {
    LoadAll();
  } catch (...) {
    DebugLog("Failed Load");
    try {
      log_.Dump();
    } catch (...) {
    }
    engineRunning_ = false;
    return;
  }

  deps_.Clock.Sleep(500);
  DebugLog("Ok");
  DebugLog("Start Loop");
  PassCounter = 0;

  RunLoop();

  DebugLog("Shutting Down");
  // Each file is written even when an earlier one fails.
  for (void (TOutlookProcessor::*save)() :
       {&TOutlookProcessor::SaveTasks, &TOutlookProcessor::SaveNotify,
        &TOutlookProcessor::SaveEmail}) {
    try {
      (this->*save)();
    } catch (...) {
      DebugLog("Unable to Save");
    }
  }
  engineRunning_ = false;
  DebugLog("Completed");
  try {
    log_.Dump();
  } catch (...) {
  }
}

void TOutlookProcessor::RunLoop() {
  while (!StopRequested()) {
    RunPass();
    // A failed pass is followed at once by the next one, which does not scan
    // again (the scans moved their next times on before touching the store).
    // A failure that comes back on every pass regardless (in dispatch, say)
    // would make that a busy loop: after more than kQuickRetries failing
    // passes in a row, the loop waits its usual time between passes again.
    if (failedPasses_ > 0 && failedPasses_ <= kQuickRetries)
      continue;
    const bool waited = GuardPass([this] {
      WaitForNextPass();
      SendPendingMessage();
    });
    if (!waited && !StopRequested())
      deps_.Clock.Sleep(kFailedWaitPauseMs);
  }
}

void TOutlookProcessor::RunPass() {
  const bool passed = GuardPass([this] { PassSteps(); });
  failedPasses_ = passed ? 0 : failedPasses_ + 1;
}

void TOutlookProcessor::PassSteps() {
  ProcessChecks();
  SaveAll();
  SendPendingMessage();

  TSettingsData settings = Settings();
  const TDateTime t = TimeOf(deps_.Clock.Now());
  if (t < TimeOf(settings.LateTime) && TimeOf(deps_.Clock.Now()) > TimeOf(settings.EarlyTime)) {
    ShowStatus("Checking for current notifications.");
    Changed = false;
    HandleNotify();
    HandleTaskNotify();

    // The sends above may have taken a while (a failing send waits for its
    // error box), so the switches and the clock are read again.
    settings = Settings();
    if (settings.EveningNotify && deps_.Clock.Now() > NextEveningMessage &&
        TimeOf(deps_.Clock.Now()) < TimeOf(settings.LateTime) &&
        TimeOf(deps_.Clock.Now()) > TimeOf(settings.LateTime - kOneHour)) {
      EveningFirstMeeting();
    }
    if (settings.MorningNotify && deps_.Clock.Now() > NextMorningMessage &&
        TimeOf(deps_.Clock.Now()) > TimeOf(settings.EarlyTime) &&
        TimeOf(deps_.Clock.Now()) < TimeOf(settings.EarlyTime + kOneHour)) {
      MorningFirstMeeting();
    }
    // The inbox is looked at on every fifth in-window pass, the first one
    // after the start included; the count carries over from day to day.
    if (settings.UrgentEmail && PassCounter == 0)
      CheckUrgentEmail();
    PassCounter = (PassCounter + 1) % 5;

    if (Changed)
      SaveAll();
  }
  ShowStatus("Processor Idle.");
}

void TOutlookProcessor::ProcessChecks() {
  DebugLog("ProcessCheckes");
  const TSettingsData settings = Settings();
  if (settings.MeetingNotify || settings.MorningNotify || settings.EveningNotify) {
    CheckNewAppointments();
  }
  if (settings.TaskNotify || settings.TaskPreNotify || settings.TaskReminder) {
    CheckNewTasks();
  }
  DebugLog("ProcessCheckes-End");
}

void TOutlookProcessor::WaitForNextPass() {
  DebugLog("Sleep:" + DateTimeText(deps_.Clock.Now()));
  const TSettingsData settings = Settings();
  const TDateTime t = TimeOf(deps_.Clock.Now());
  unsigned milliseconds = kLongWaitMs;
  if (t > TimeOf(settings.LateTime)) {
    milliseconds = kLongWaitMs;
  } else if (t + kEarlyLead >= TimeOf(settings.EarlyTime)) {
    milliseconds = kShortWaitMs;
  }
  deps_.WakeEvent.Wait(milliseconds);
  if (!StopRequested())
    deps_.WakeEvent.Reset();
  DebugLog("Wake:" + DateTimeText(deps_.Clock.Now()));
}

template <class Steps>
bool TOutlookProcessor::GuardPass(Steps steps) {
  try {
    steps();
    return true;
  } catch (const EOleError& error) {
    DebugLog(std::string("Error") + error.what());
    try {
      log_.Dump();
    } catch (...) {
    }
    ShowStatus(error.what());
    CloseOutlook();
    // The new connection attaches on its first use, in a later pass.
    if (!StopRequested())
      ConnectOutlook();
  } catch (const std::exception& error) {
    DebugLog(std::string("Error") + error.what());
    try {
      log_.Dump();
    } catch (...) {
    }
  }
  return false;
}

void TOutlookProcessor::ConnectOutlook() {
  application_.reset();
  connectionOpen_ = false;
}

void TOutlookProcessor::CloseOutlook() {
  std::shared_ptr<IOutlookApplication> application = std::move(application_);
  application_.reset();
  connectionOpen_ = false;
  if (!application)
    return;
  try {
    application->Quit();
  } catch (const std::exception& error) {
    // A store that is already gone cannot be asked to quit; the connection is
    // dropped all the same.
    DebugLog(std::string("Error") + error.what());
  }
}

IOutlookApplication& TOutlookProcessor::Application() {
  if (!application_) {
    application_ = deps_.Outlook.Connect();
    if (!application_)
      throw EOleError("No Outlook connection");
    connectionOpen_ = true;
  }
  return *application_;
}

}  // namespace rn
