// Posting the program's window messages (shell/window_messages.h) as Qt
// events, and recognising them on arrival.
#pragma once

#include <QCoreApplication>
#include <QEvent>

#include "shell/window_messages.h"

namespace rn {

inline QEvent::Type WindowMessageType(int message) {
  return static_cast<QEvent::Type>(message);
}

// Queues `message` for `target`; it is handled when the event loop next runs.
inline void PostWindowMessage(QObject* target, int message) {
  if (target)
    QCoreApplication::postEvent(target, new QEvent(WindowMessageType(message)));
}

inline bool IsWindowMessage(const QEvent* event, int message) {
  return event->type() == WindowMessageType(message);
}

}  // namespace rn
