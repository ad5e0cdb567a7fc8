// How the end of the desktop session reaches the tray window: SIGTERM and
// SIGINT (what a session and systemd send at logout, and Ctrl-C) through a
// self-pipe read by the event loop; the session manager's commit-data
// request, answered by the window's close query; and its quit request.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace rn {

class TRavenoteForm;

class TSessionEnd final : public QObject {
 public:
  // Installs the signal handlers; call before any thread starts, so that no
  // signal arriving meanwhile ends the program without its end.
  static void CatchSignals();

  explicit TSessionEnd(TRavenoteForm& form);
  ~TSessionEnd() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TRavenoteForm& form_;
  std::unique_ptr<QSocketNotifier> signals_;
};

}  // namespace rn
