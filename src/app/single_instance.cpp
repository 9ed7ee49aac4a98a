// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/single_instance.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QLocalSocket>

namespace plumo {

namespace {
// What a later copy says; anything else on the socket is ignored.
constexpr char kForward[] = "forward\n";

// Whether the process at the other end of a connected local socket runs as user. The kernel records
// the listener's credentials when it listens and the caller's when it connects; neither can forge
// them.
bool PeerIsUser(const QLocalSocket& socket, uid_t user) {
  ucred cred{};
  socklen_t size = sizeof cred;
  const auto fd = static_cast<int>(socket.socketDescriptor());
  if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0 || size != sizeof cred)
    return false;
  return cred.uid == user;
}
}  // namespace

QString SingleInstance::SocketName() {
  return QStringLiteral("plumo-%1").arg(static_cast<qulonglong>(getuid()));
}

uid_t SingleInstance::CurrentUser() {
  return getuid();
}

bool SingleInstance::AskRunningCopy(int timeoutMs) const {
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(name_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  // Another user holding the name is no copy of ours: this window starts.
  if (!PeerIsUser(socket, user_)) return false;
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
      if (!PeerIsUser(*socket, user_)) {
        socket->abort();
        socket->deleteLater();
        continue;
      }
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, forward] {
        if (socket->readAll().startsWith("forward")) forward();
      });
    }
  });
  return true;
}

}  // namespace plumo
