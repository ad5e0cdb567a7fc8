#include "shell/window/stop_sequence.h"

#include <exception>

namespace rn {

TStopSequence::TStopSequence(ITimers& timers, std::function<void(const std::string&)> debugOutput)
    : deadline_(timers.Make("ExitWait", false)),
      pause_(timers.Make("SessionEndPause", true)),
      poll_(timers.Make("DestroyWait", true)),
      debugOutput_(std::move(debugOutput)) {
  deadline_->OnTimeout = [this] { Destroy(); };
  pause_->OnTimeout = [this] { Pause(); };
  poll_->OnTimeout = [this] { Poll(); };
}

void TStopSequence::Begin(TMode mode, std::unique_ptr<IEngine>& engine,
                          std::function<void()> done) {
  done_ = std::move(done);
  if (!engine) {
    Finish();
    return;
  }
  engine_ = &engine;
  pauses_ = 0;
  if (mode == TMode::Exit) {
    if (engine->WaitFor(0)) {
      Destroy();
      return;
    }
    step_ = TStep::Waiting;
    deadline_->Start(static_cast<int>(kExitWaitMs));
    poll_->Start(kFinishPollMs);  // ends the wait as soon as the thread has
    return;
  }
  if (!engine->EngineRunning()) {
    Destroy();
    return;
  }
  step_ = TStep::Pausing;
  pause_->Start(static_cast<int>(kSessionEndPauseMs));
}

void TStopSequence::Pause() {
  IEngine& engine = **engine_;
  try {
    engine.SetWakeEvent();
  } catch (const std::exception& error) {
    debugOutput_(std::string("***ERROR:") + error.what());
  }
  ++pauses_;
  if (pauses_ >= kSessionEndPauses || !engine.EngineRunning())
    Destroy();
}

void TStopSequence::Destroy() {
  deadline_->Stop();
  pause_->Stop();
  step_ = TStep::Destroying;
  if (!poll_->IsActive())
    poll_->Start(kFinishPollMs);
  Poll();
}

void TStopSequence::Poll() {
  if (!engine_)
    return;
  if (!(*engine_)->WaitFor(0))
    return;
  poll_->Stop();
  deadline_->Stop();
  // The thread has finished: the destruction frees what it used and returns.
  engine_->reset();
  Finish();
}

void TStopSequence::Finish() {
  engine_ = nullptr;
  step_ = TStep::Idle;
  if (auto done = std::move(done_))
    done();
}

}  // namespace rn
