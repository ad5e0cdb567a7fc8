#include "shell/window/instance_channel.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QLocalSocket>

namespace rn {
namespace {

constexpr char kShowRequest[] = "show\n";
constexpr char kShownAnswer[] = "ok\n";
// A request is one short line; a client that sends more is cut off.
constexpr qint64 kMaxRequest = 64;

}  // namespace

TInstanceServer::TInstanceServer(QString programFolder, std::function<void()> bringForward)
    : folder_(std::move(programFolder)), bringForward_(std::move(bringForward)) {
  setObjectName("InstanceServer");
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = server_.nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      QObject::connect(client, &QLocalSocket::readyRead, this, [this, client] { Answer(client); });
    }
  });
}

QString TInstanceServer::SocketPath() const {
  return QDir(folder_).filePath(kInstanceSocketName);
}

bool TInstanceServer::Listen(QString* error) {
  const QString path = SocketPath();
  QLocalServer::removeServer(path);
  if (!server_.listen(path)) {
    *error = server_.errorString();
    return false;
  }
  ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR);
  return true;
}

void TInstanceServer::Answer(QLocalSocket* client) {
  if (!client->canReadLine()) {
    if (client->bytesAvailable() > kMaxRequest)
      client->disconnectFromServer();
    return;
  }
  const QByteArray line = client->readLine(kMaxRequest);
  if (line == kShowRequest) {
    client->write(kShownAnswer);
    client->flush();
    if (bringForward_)
      bringForward_();
  }
  client->disconnectFromServer();
}

bool AskRunningCopyToShow(const QString& programFolder, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(QDir(programFolder).filePath(kInstanceSocketName));
  if (!socket.waitForConnected(timeoutMs))
    return false;
  socket.write(kShowRequest);
  if (!socket.waitForBytesWritten(timeoutMs))
    return false;
  while (!socket.canReadLine()) {
    if (!socket.waitForReadyRead(timeoutMs))
      return false;
  }
  return socket.readLine(kMaxRequest) == kShownAnswer;
}

}  // namespace rn
