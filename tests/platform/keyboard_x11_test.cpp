// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/keyboard_x11.h"

#include <gtest/gtest.h>

#include "../support/virtual_display.h"

namespace plumo {
namespace {

TEST(KeyboardX11Test, WithoutADisplayThereIsNothing) {
  const X11Keyboard keyboard = ReadX11Keyboard(":97.3");
  EXPECT_FALSE(keyboard.Names.has_value());
  EXPECT_FALSE(keyboard.Group.has_value());
  EXPECT_FALSE(LockX11LayoutGroup(0, ":97.3"));
}

TEST(KeyboardX11Test, ReadsAndLocksTheLayoutOfARealServer) {
  testing::VirtualDisplay display;
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
