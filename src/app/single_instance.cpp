#include "app/single_instance.h"

#include <unistd.h>

#include <QLocalSocket>

namespace plumo {

namespace {
// What a later copy says; anything else on the socket is ignored.
constexpr char kForward[] = "forward\n";
}  // namespace

QString SingleInstance::SocketName() {
  return QStringLiteral("plumo-%1").arg(static_cast<qulonglong>(getuid()));
}

bool SingleInstance::AskRunningCopy(int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kForward);
  socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  return true;
}

bool SingleInstance::Listen(std::function<void()> forward) {
  // Only the user may connect: another user's window is no reason to end.
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_.listen(name_)) {
    // A copy that crashed leaves its socket file behind; nobody answered on it (AskRunningCopy).
    QLocalServer::removeServer(name_);
    if (!server_.listen(name_)) return false;
  }
  QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this, forward = std::move(forward)] {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, forward] {
        if (socket->readAll().startsWith("forward")) forward();
      });
    }
  });
  return true;
}

}  // namespace plumo
