#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace rn {

TDateTime TSystemClock::Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return FromTimeT(ts.tv_sec, ts.tv_nsec);
}

void TSystemClock::Sleep(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace rn
