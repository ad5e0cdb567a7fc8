// Time reaches every part of the program through these interfaces, so a test
// can run a pass at any time of day without waiting.
#pragma once

#include "platform/datetime.h"

namespace rn {

class IClock {
 public:
  virtual ~IClock() = default;
  // The current local date-time.
  virtual TDateTime Now() = 0;
  // A plain pause (the engine's start-up pause, the urgent-mail walk's pause).
  virtual void Sleep(unsigned milliseconds) = 0;
};

// An event that a waiting engine sleeps on and any thread or process may set.
class IWakeEvent {
 public:
  virtual ~IWakeEvent() = default;
  virtual void Set() = 0;
  virtual void Reset() = 0;
  // Waits until the event is set or the time runs out; true when it was set.
  virtual bool Wait(unsigned milliseconds) = 0;
};

class TSystemClock final : public IClock {
 public:
  TDateTime Now() override;
  void Sleep(unsigned milliseconds) override;
};

}  // namespace rn
