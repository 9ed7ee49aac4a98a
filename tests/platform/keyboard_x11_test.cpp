// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/keyboard_x11.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

namespace plumo {
namespace {

TEST(KeyboardX11Test, WithoutADisplayThereIsNothing) {
  const X11Keyboard keyboard = ReadX11Keyboard(":97.3");
  EXPECT_FALSE(keyboard.Names.has_value());
  EXPECT_FALSE(keyboard.Group.has_value());
  EXPECT_FALSE(LockX11LayoutGroup(0, ":97.3"));
}

// A virtual X server for the one test below; it is stopped with the test.
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

TEST(KeyboardX11Test, ReadsAndLocksTheLayoutOfARealServer) {
  VirtualDisplay display;
  if (display.Name().empty()) GTEST_SKIP() << "no virtual X server (Xvfb) could be started";
  const X11Keyboard keyboard = ReadX11Keyboard(display.Name());
  ASSERT_TRUE(keyboard.Names.has_value());
  EXPECT_EQ(keyboard.Names->Rules, "evdev");
  EXPECT_EQ(keyboard.Names->Layout, "us");
  EXPECT_EQ(keyboard.Group, 0u);
  EXPECT_TRUE(LockX11LayoutGroup(0, display.Name()));
  EXPECT_FALSE(LockX11LayoutGroup(4, display.Name()));

  const QByteArray saved = qgetenv("DISPLAY");
  qputenv("DISPLAY", QByteArray::fromStdString(display.Name()));
  const DesktopLayouts desktop = LoadDesktopLayouts("de");
  if (saved.isEmpty()) {
    qunsetenv("DISPLAY");
  } else {
    qputenv("DISPLAY", saved);
  }
  EXPECT_EQ(desktop.Source, LayoutSource::Desktop);
  ASSERT_EQ(desktop.Layouts.Count(), 1u);
  EXPECT_EQ(desktop.Layouts.At(0).DisplayName, "English (US)");
}

}  // namespace
}  // namespace plumo
