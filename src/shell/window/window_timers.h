// The window's timers behind one small interface: the program runs them on
// QTimer, the window's tests fire them by hand, so no test waits on the clock.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>

namespace rn {

class ITimer {
 public:
  virtual ~ITimer() = default;
  // (Re)starts the timer: OnTimeout runs after `milliseconds`, and again
  // every `milliseconds` while the timer repeats and runs.
  virtual void Start(int milliseconds) = 0;
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
  virtual int Interval() const = 0;

  std::function<void()> OnTimeout;
};

class ITimers {
 public:
  virtual ~ITimers() = default;
  // A stopped timer named after its component; `repeating` false: one shot.
  virtual std::unique_ptr<ITimer> Make(const char* name, bool repeating) = 0;
};

class TQtTimer final : public ITimer {
 public:
  TQtTimer(const char* name, bool repeating);
  void Start(int milliseconds) override;
  void Stop() override { timer_.stop(); }
  bool IsActive() const override { return timer_.isActive(); }
  int Interval() const override { return timer_.interval(); }

 private:
  QTimer timer_;
};

class TQtTimers final : public ITimers {
 public:
  std::unique_ptr<ITimer> Make(const char* name, bool repeating) override {
    return std::make_unique<TQtTimer>(name, repeating);
  }
};

}  // namespace rn
