// Timers for window tests: they never fire by themselves; a test fires them,
// so no test waits on the clock. Each keeps its component's name.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "shell/window/window_timers.h"

namespace rn::test {

class TFakeTimer final : public ITimer {
 public:
  TFakeTimer(std::string name, bool repeating) : Name(std::move(name)), Repeating(repeating) {}
  void Start(int milliseconds) override {
    interval_ = milliseconds;
    active_ = true;
  }
  void Stop() override { active_ = false; }
  bool IsActive() const override { return active_; }
  int Interval() const override { return interval_; }
  // What the running timer does when its interval has passed; a one-shot
  // timer stops first. A stopped timer does nothing.
  void Fire() {
    if (!active_)
      return;
    if (!Repeating)
      active_ = false;
    if (OnTimeout)
      OnTimeout();
  }

  const std::string Name;
  const bool Repeating;

 private:
  bool active_ = false;
  int interval_ = 0;
};

class TFakeTimers final : public ITimers {
 public:
  std::unique_ptr<ITimer> Make(const char* name, bool repeating) override {
    auto timer = std::make_unique<TFakeTimer>(name, repeating);
    made_[name] = timer.get();
    return timer;
  }
  // The timer made under `name` (the newest one of that name).
  TFakeTimer& operator[](const std::string& name) const { return *made_.at(name); }

 private:
  std::map<std::string, TFakeTimer*> made_;
};

}  // namespace rn::test
