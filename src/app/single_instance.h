// SPDX-License-Identifier: GPL-3.0-or-later
// One chat window per user at one network address: the first window listens on an abstract local
// socket named after the user (abstract sockets are per network namespace, as the UDP port is); a
// later window of the same user connects to it, asks it to come forward and ends.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>

namespace plumo {

class SingleInstance {
 public:
  // name: the local socket's name; SocketName() for the real program.
  explicit SingleInstance(QString name) : name_(std::move(name)) {}
  // "plumo-<user id>": one name per user, so two users of one machine never meet here.
  static QString SocketName();

  // True when a copy listens under the name: it has been asked to bring its window forward.
  bool AskRunningCopy(int timeoutMs = 2000) const;
  // Listens under the name; forward is called each time a later copy asks. False when the name is
  // taken.
  bool Listen(std::function<void()> forward);

 private:
  QString name_;
  QLocalServer server_;
};

}  // namespace plumo
