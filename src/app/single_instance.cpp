// SPDX-License-Identifier: GPL-3.0-or-later
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
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(name_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kForward);
  socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  return true;
}

bool SingleInstance::Listen(std::function<void()> forward) {
  // An abstract socket belongs to the network namespace, as the UDP port does (copies in separate
  // namespaces are separate peers), and goes away with the process that made it, even a crashed one.
  server_.setSocketOptions(QLocalServer::AbstractNamespaceOption);
  if (!server_.listen(name_)) return false;
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
