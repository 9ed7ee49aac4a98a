// SPDX-License-Identifier: GPL-3.0-or-later
// Watches the desktop's screen saver through its D-Bus signal ActiveChanged(bool) and reports each
// start. Without a session bus, or with no screen saver on it, nothing is reported and nothing is
// printed.
#pragma once

#include <QDBusConnection>
#include <QObject>

namespace plumo {

class ScreenSaverWatch : public QObject {
  Q_OBJECT

 public:
  // Listens on the session bus.
  explicit ScreenSaverWatch(QObject* parent = nullptr);
  // Listens on `bus`.
  explicit ScreenSaverWatch(const QDBusConnection& bus, QObject* parent = nullptr);

  // Whether the watch is subscribed on a connected bus (a screen saver may still be absent).
  bool IsConnected() const { return connected_; }

 signals:
  // The screen saver has started; once per start, however many of its objects announce it.
  void Activated();

 private slots:
  void OnActiveChanged(bool active);

 private:
  bool connected_ = false;
  bool active_ = false;
};

}  // namespace plumo
