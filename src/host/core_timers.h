// SPDX-License-Identifier: GPL-3.0-or-later
// QtCoreTimers: the client core's repeating timers (CoreTimers) as QTimers on the calling thread's
// event loop, for the window and the headless peer alike. Built before the core (the core's seams
// refer to it), connected to the core once it exists. The window makes it a child of the main
// window, so that the timers are found there by their names ("Timer1", "Timer2", "IdleTimer",
// "DeliveryTimer").
#pragma once

#include <QObject>
#include <array>

#include "core/surfaces.h"

class QTimer;

namespace plumo {

class TChatCore;

class QtCoreTimers : public QObject, public CoreTimers {
 public:
  explicit QtCoreTimers(QObject* parent = nullptr);
  // Each timer's timeout calls the core's handler of that timer.
  void Connect(TChatCore& core);
  void SetCoreTimer(CoreTimer timer, bool enabled, int intervalMs) override;

 private:
  std::array<QTimer*, 4> timers_{};  // children, in the order of CoreTimer
};

}  // namespace plumo
