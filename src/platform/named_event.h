// A named manual-reset event shared by every process of the same user: POSIX
// shared memory holding the flag, which waiters sleep on with a futex. Two
// running copies that open the same name wake each other.
#pragma once

#include <string>

#include "platform/clock.h"

namespace rn {

class TNamedEvent final : public IWakeEvent {
 public:
  // Opens (creating if needed) the event "name" of the current user. It is
  // not set unless another open copy holds it and has set it: an event no
  // copy holds starts afresh. Throws std::system_error when the shared memory
  // fails.
  explicit TNamedEvent(const std::string& name);
  ~TNamedEvent() override;
  TNamedEvent(const TNamedEvent&) = delete;
  TNamedEvent& operator=(const TNamedEvent&) = delete;

  void Set() override;
  void Reset() override;
  bool Wait(unsigned milliseconds) override;

  // The shared-memory name of the event "name" for the current user.
  static std::string SharedName(const std::string& name);
  // Removes the event "name" of the current user (tests, clean-up). Objects
  // still open keep working together; the next open creates a fresh event.
  static void Remove(const std::string& name);

 private:
  struct Shared;
  Shared* shared_ = nullptr;
  int fd_ = -1;  // holds the shared lock that says this copy has the event open
  std::string shmName_;
};

}  // namespace rn
