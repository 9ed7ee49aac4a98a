// SPDX-License-Identifier: GPL-3.0-or-later
// QuitSignals: SIGINT and SIGTERM delivered on the event loop, so that a program they end still
// leaves the network in order. The signal handler only writes a byte to a pipe (all a handler may
// safely do); a QSocketNotifier on the pipe's other end reads it and calls the callback on the
// thread that made the object, once per signal. One exists at a time in a process; destroying it
// gives both signals their default action back.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace plumo {

class QuitSignals {
 public:
  explicit QuitSignals(std::function<void()> onSignal);
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // False when the pipe could not be made (or another QuitSignals is active): the signals keep
  // their default action, which ends the program at once.
  bool Active() const { return notifier_ != nullptr; }

 private:
  std::function<void()> onSignal_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace plumo
