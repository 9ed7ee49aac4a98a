// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11_idle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../support/virtual_display.h"

namespace plumo {
namespace {

// The idle time of a real server grows while nothing happens and starts again at input (a pointer
// move through the test extension, as xdotool makes it); a display that cannot be reached tells
// nothing, also when asked again.
TEST(X11IdleTimeTest, GrowsUntilInputAndIsUnknownWithoutADisplay) {
  X11IdleTime nowhere(":97.3");
  EXPECT_FALSE(nowhere.IdleMs().has_value());
  EXPECT_FALSE(nowhere.IdleMs().has_value());

  testing::VirtualDisplay display;
  if (display.Name().empty()) GTEST_SKIP() << "no virtual X server (Xvfb) could be started";
  X11IdleTime idle(display.Name());
  const std::optional<std::int64_t> first = idle.IdleMs();
  ASSERT_TRUE(first.has_value());
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  const std::optional<std::int64_t> later = idle.IdleMs();
  ASSERT_TRUE(later.has_value());
  EXPECT_GE(*later, *first + 500);

  if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) GTEST_SKIP() << "no xdotool";
  QProcess input;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display.Name()));
  input.setProcessEnvironment(env);
  input.start(QStringLiteral("xdotool"),
              {QStringLiteral("mousemove"), QStringLiteral("40"), QStringLiteral("30")});
  ASSERT_TRUE(input.waitForFinished(5000));
  ASSERT_EQ(input.exitCode(), 0);
  const std::optional<std::int64_t> afterInput = idle.IdleMs();
  ASSERT_TRUE(afterInput.has_value());
  EXPECT_LT(*afterInput, *later);
}

}  // namespace
}  // namespace plumo
