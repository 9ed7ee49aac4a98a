// SPDX-License-Identifier: GPL-3.0-or-later
// One chat window per user at one network address: the first window listens on an abstract local
// socket named after the user (abstract sockets are per network namespace, as the UDP port is); a
// later window of the same user connects to it, asks it to come forward and ends.
//
// An abstract socket has no file permissions: any local user may take the name first or connect to
// it. So both ends check the other's credentials from the kernel: a later copy believes only a
// listener run by its own user, and the first copy obeys only a caller run by its own user. A name
// taken by another user thus costs the bring-forward, never the start of the window.
#pragma once

#include <sys/types.h>

#include <QLocalServer>
#include <QString>
#include <functional>

namespace plumo {

class SingleInstance {
 public:
  // name: the local socket's name; SocketName() for the real program. user: the only user whose
  // copies are believed and obeyed; our own for the real program.
  explicit SingleInstance(QString name, uid_t user = CurrentUser()) : name_(std::move(name)), user_(user) {}
  // "plumo-<user id>": one name per user, so two users of one machine never meet here.
  static QString SocketName();
  static uid_t CurrentUser();

  // True when a copy of the user listens under the name: it has been asked to bring its window
  // forward. A listener of another user is not spoken to, and false is returned.
  bool AskRunningCopy(int timeoutMs = 2000) const;
  // Listens under the name; forward is called each time a later copy of the user asks (callers of
  // other users are disconnected unheard). False when the name is taken.
  bool Listen(std::function<void()> forward);

 private:
  QString name_;
  uid_t user_;
  QLocalServer server_;
};

}  // namespace plumo
