// SPDX-License-Identifier: GPL-3.0-or-later
// A virtual X server (Xvfb) for tests that need a real display's keyboard; it is stopped with the
// object. Name() is empty when no server could be started (the test then skips).
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <string>

namespace plumo::testing {

class VirtualDisplay {
 public:
  VirtualDisplay() {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) return;
    // -displayfd 1: the server picks a free display number and writes it to its output when ready.
    // -noreset: without it the server resets whenever its last client leaves, and a connection made
    // during the reset fails.
    server_.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!server_.waitForStarted(5000)) return;
    while (!server_.canReadLine() && server_.waitForReadyRead(10000)) {
    }
    const QByteArray number = server_.readLine().trimmed();
    if (!number.isEmpty()) name_ = ":" + number.toStdString();
  }
  ~VirtualDisplay() {
    server_.terminate();
    server_.waitForFinished(5000);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& Name() const { return name_; }

  // Configures the server's keyboard with an XKB layout list ("us,ru"), as a desktop's keyboard
  // settings do; false when setxkbmap is missing or failed.
  bool SetLayouts(const QString& layouts) const {
    if (name_.empty() || QStandardPaths::findExecutable(QStringLiteral("setxkbmap")).isEmpty()) return false;
    return QProcess::execute(QStringLiteral("setxkbmap"),
                             {QStringLiteral("-display"), QString::fromStdString(name_),
                              QStringLiteral("-layout"), layouts}) == 0;
  }

 private:
  QProcess server_;
  std::string name_;
};

}  // namespace plumo::testing
