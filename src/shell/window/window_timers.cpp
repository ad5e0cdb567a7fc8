#include "shell/window/window_timers.h"

namespace rn {

TQtTimer::TQtTimer(const char* name, bool repeating) {
  timer_.setObjectName(name);
  timer_.setSingleShot(!repeating);
  // The pauses of the program's end are counted in tens of milliseconds.
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (OnTimeout)
      OnTimeout();
  });
}

void TQtTimer::Start(int milliseconds) {
  timer_.start(milliseconds);
}

}  // namespace rn
