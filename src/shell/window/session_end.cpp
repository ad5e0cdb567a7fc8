#include "shell/window/session_end.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <cerrno>

#include "shell/window/ravenote_form.h"

namespace rn {
namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int signal) {
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void TSessionEnd::CatchSignals() {
  if (signalPipe[0] >= 0)
    return;
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int taken : {SIGTERM, SIGINT})
    ::sigaction(taken, &action, nullptr);
}

TSessionEnd::TSessionEnd(TRavenoteForm& form) : form_(form) {
  setObjectName("SessionEnd");
  if (signalPipe[0] >= 0) {
    signals_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, this, [this] {
      char bytes[16];
      while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
      }
      form_.EndSession();
    });
  }
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, this,
                   [this](QSessionManager& manager) {
                     if (form_.QueryEndSession(manager.allowsInteraction()))
                       manager.release();
                     else
                       manager.cancel();
                   });
  // The desktop's own login entry starts Ravenote; the session need not.
  QObject::connect(qApp, &QGuiApplication::saveStateRequest, this, [](QSessionManager& manager) {
    manager.setRestartHint(QSessionManager::RestartNever);
  });
  qApp->installEventFilter(this);
}

TSessionEnd::~TSessionEnd() {
  qApp->removeEventFilter(this);
}

bool TSessionEnd::eventFilter(QObject* watched, QEvent* event) {
  // The session manager's quit arrives as the application's Quit: the end of
  // the session, not a close that asks.
  if (watched == qApp && event->type() == QEvent::Quit) {
    form_.EndSession();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace rn
