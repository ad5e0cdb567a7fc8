// The engine's end, run by the window thread without blocking it: the engine
// has been told to stop; the sequence waits for its thread as the program's
// end allows, then destroys it. The window thread goes on handling events
// meanwhile, so an error box the engine thread waits on can still be
// dismissed and the engine can finish.
//
//   Exit        waits up to kExitWaitMs for the thread, then for as long as
//               the thread still runs (the destruction's own wait).
//   SessionEnd  while the engine runs, up to kSessionEndPauses pauses of
//               kSessionEndPauseMs, setting the wake event after each; then
//               the destruction's wait.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "shell/engine_control.h"
#include "shell/window/window_timers.h"

namespace rn {

class TStopSequence {
 public:
  enum class TMode { Exit, SessionEnd };
  // How often the destruction looks whether the thread has finished.
  static constexpr int kFinishPollMs = 20;

  // `debugOutput` takes the "***ERROR:" line of a failed step.
  TStopSequence(ITimers& timers, std::function<void(const std::string&)> debugOutput);

  // `engine` has been told to stop; it is destroyed (reset) before `done`
  // runs. Either may happen before Begin returns. An empty engine is done.
  void Begin(TMode mode, std::unique_ptr<IEngine>& engine, std::function<void()> done);
  bool Running() const { return engine_ != nullptr; }
  // Where the sequence is, for the window's tests.
  enum class TStep { Idle, Waiting, Pausing, Destroying };
  TStep Step() const { return step_; }
  int Pauses() const { return pauses_; }

 private:
  void Pause();
  void Destroy();
  void Poll();
  void Finish();

  std::unique_ptr<ITimer> deadline_;  // the exit's wait
  std::unique_ptr<ITimer> pause_;     // the pauses of the session's end
  std::unique_ptr<ITimer> poll_;      // the destruction's wait
  std::function<void(const std::string&)> debugOutput_;
  std::unique_ptr<IEngine>* engine_ = nullptr;
  std::function<void()> done_;
  TStep step_ = TStep::Idle;
  int pauses_ = 0;
};

}  // namespace rn
