// An engine without a thread, for the window's tests: it records what the
// window asked of it, and a test decides when it "ends".
#pragma once

#include <string>
#include <vector>

#include "shell/engine_control.h"

namespace rn::test {

class FakeEngine : public IEngine {
 public:
  struct TMessage {
    std::string To, Subject, Body;
  };

  void Start() override { Started = true; }
  void Stop() override {
    StopRequested = true;
    ++Wakes;
    if (EndsOnStop)
      Running = false;
  }
  void SetWakeEvent() override { ++Wakes; }
  bool EngineRunning() const override { return Running; }
  void SetDebug(bool on) override { DebugOn = on; }
  bool Debug() const override { return DebugOn; }
  void SetPendingMessage(const std::string& to, const std::string& subject,
                         const std::string& body) override {
    Pending.push_back({to, subject, body});
    ++Wakes;
  }
  // Answers at once: finished when not running; records the wait asked for.
  bool WaitFor(unsigned milliseconds) override {
    WaitsMs.push_back(milliseconds);
    return !Running;
  }

  bool Started = false;
  bool StopRequested = false;
  bool Running = true;     // cleared by a test to play an engine that died
  bool EndsOnStop = true;  // false: plays an engine that outlives its stop
  bool DebugOn = true;
  int Wakes = 0;  // Stop, SetWakeEvent and SetPendingMessage each set the wake event
  std::vector<TMessage> Pending;
  std::vector<unsigned> WaitsMs;
};

}  // namespace rn::test
