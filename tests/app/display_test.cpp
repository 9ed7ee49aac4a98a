// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the program starts its window or the headless peer, from the environment.
#include <gtest/gtest.h>

#include "app/display.h"

namespace plumo {
namespace {

TEST(DisplayAvailable, FollowsThePlatformPluginAndTheNamedDisplays) {
  const struct {
    const char* platform;
    const char* display;
    const char* wayland;
    bool expected;
  } cases[] = {
      {"", "", "", false},
      {"", ":0", "", true},
      {"", "", "wayland-0", true},
      {"offscreen", ":0", "wayland-0", false},
      {"minimal", ":0", "", false},
      {"offscreen:fontengine=freetype", ":0", "", false},
      {"xcb", "", "wayland-0", false},
      {"xcb", ":1", "", true},
      {"xcb:nograb", ":1", "", true},
      {"wayland", ":0", "", false},
      {"wayland-egl", "", "wayland-1", true},
      {"wayland;xcb", "", "wayland-1", true},
      {"eglfs", "", "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayAvailable(c.platform, c.display, c.wayland), c.expected)
        << "QT_QPA_PLATFORM=" << c.platform << " DISPLAY=" << c.display << " WAYLAND_DISPLAY=" << c.wayland;
  }
}

}  // namespace
}  // namespace plumo
