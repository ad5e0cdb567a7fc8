// A second start on the same profile: the folder lock says that a copy runs;
// this channel, a local socket in the program folder that only the user can
// reach, asks that copy to bring its window forward.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>

class QLocalSocket;

namespace rn {

inline constexpr const char* kInstanceSocketName = "RAVENOTE.SOCK";

// The running copy's end of the channel.
class TInstanceServer final : public QObject {
 public:
  // `bringForward` runs on the window thread for each request.
  TInstanceServer(QString programFolder, std::function<void()> bringForward);
  // Listens; the caller holds the folder lock, so a socket left by a copy
  // that died is removed first. False with `error` set when it cannot.
  bool Listen(QString* error);
  QString SocketPath() const;

 private:
  void Answer(QLocalSocket* client);

  QString folder_;
  std::function<void()> bringForward_;
  QLocalServer server_;
};

// The second copy's end: asks the running copy to come forward and waits up
// to `timeoutMs` for its answer; true when it answered.
bool AskRunningCopyToShow(const QString& programFolder, int timeoutMs);

}  // namespace rn
