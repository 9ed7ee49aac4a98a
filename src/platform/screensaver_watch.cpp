// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/screensaver_watch.h"

#include <QString>

namespace plumo {
namespace {

struct SignalSource {
  const char* Path;
  const char* Interface;
};

// The freedesktop interface is announced on either path depending on the desktop (some announce it
// on both); one desktop has its own interface as well.
constexpr SignalSource kSources[] = {
    {"/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
};

}  // namespace

ScreenSaverWatch::ScreenSaverWatch(QObject* parent)
    : ScreenSaverWatch(QDBusConnection::sessionBus(), parent) {}

ScreenSaverWatch::ScreenSaverWatch(const QDBusConnection& bus, QObject* parent) : QObject(parent) {
  if (!bus.isConnected()) return;
  QDBusConnection connection = bus;
  for (const SignalSource& source : kSources) {
    // No sender name: whichever process owns the screen saver's name sends the signal.
    connected_ |=
        connection.connect(QString(), QString::fromLatin1(source.Path), QString::fromLatin1(source.Interface),
                           QStringLiteral("ActiveChanged"), this, SLOT(OnActiveChanged(bool)));
  }
}

void ScreenSaverWatch::OnActiveChanged(bool active) {
  const bool started = active && !active_;
  active_ = active;
  if (started) emit Activated();
}

}  // namespace plumo
