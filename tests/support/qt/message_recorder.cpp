#include "message_recorder.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>

#include "shell/window_messages.h"

namespace rn::test {

int TMessageRecorder::Count(int message) const {
  return static_cast<int>(std::count(received_.begin(), received_.end(), message));
}

bool TMessageRecorder::event(QEvent* event) {
  const int type = event->type();
  if (type >= WM_OPEN_WIZARD && type <= WM_TRAY_ICON) {
    received_.push_back(type);
    if (OnMessage)
      OnMessage(type);
    return true;
  }
  return QObject::event(event);
}

void DeliverPostedEvents() {
  // A handler may post again; a few rounds drain what one step leaves behind.
  for (int round = 0; round < 4; ++round) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
  }
}

}  // namespace rn::test
