// SPDX-License-Identifier: GPL-3.0-or-later
// A virtual X server (Xvfb) for the platform tests.
#pragma once

#include <QProcess>
#include <QStandardPaths>

#include <string>

namespace plumo::testing {

// A virtual X server for one test; it is stopped with the test. Its name is empty when no server
// could be started.
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
  const std::string& Name() const { return name_; }

 private:
  QProcess server_;
  std::string name_;
};

}  // namespace plumo::testing
