// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/core_timers.h"

#include <QTimer>

#include "core/chatcore.h"

namespace plumo {

QtCoreTimers::QtCoreTimers(QObject* parent) : QObject(parent) {
  const std::array<const char*, 4> names = {"Timer1", "Timer2", "IdleTimer", "DeliveryTimer"};
  for (std::size_t i = 0; i < timers_.size(); ++i) {
    timers_[i] = new QTimer(this);
    timers_[i]->setObjectName(QString::fromLatin1(names[i]));
    timers_[i]->setSingleShot(false);
  }
}

void QtCoreTimers::Connect(TChatCore& core) {
  const auto at = [this](CoreTimer timer) { return timers_.at(static_cast<std::size_t>(timer)); };
  connect(at(CoreTimer::NetworkWatch), &QTimer::timeout, this, [&core] { core.Own().Timer1Timer(); });
  connect(at(CoreTimer::ProgramList), &QTimer::timeout, this, [&core] { core.Own().Timer2Timer(); });
  connect(at(CoreTimer::IdleWatch), &QTimer::timeout, this, [&core] { core.Own().IdleWatchTimer(); });
  connect(at(CoreTimer::DeliveryMarks), &QTimer::timeout, this, [&core] { core.Delivery().Tick(); });
}

void QtCoreTimers::SetCoreTimer(CoreTimer timer, bool enabled, int intervalMs) {
  QTimer* t = timers_.at(static_cast<std::size_t>(timer));
  if (enabled) {
    t->start(intervalMs);
  } else {
    t->stop();
  }
}

}  // namespace plumo
