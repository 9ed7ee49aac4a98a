// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace plumo {
namespace {

// A run of wheel events over one control: one key per whole notch, whatever the steps.
TEST(WindowRules, WheelTurnsGiveOneKeyPerNotch) {
  using K = WheelKey;
  const struct {
    const char* name;
    WheelTarget target;
    std::vector<int> deltas;
    std::vector<K> keys;  // the key of each event
  } runs[] = {
      {"coarse notches", WheelTarget::TabChanels, {120, -120, -120}, {K::Left, K::Right, K::Right}},
      {"fine steps add up", WheelTarget::TabMessages, {40, 40, 40, 40}, {K::None, K::None, K::Left, K::None}},
      {"a turn back starts afresh", WheelTarget::TabChanels, {60, -60, -60}, {K::None, K::None, K::Right}},
      {"two notches at once move once", WheelTarget::TabChanels, {240, 120}, {K::Left, K::Left}},
      {"the roster gets Up and Down", WheelTarget::Roster, {-120, 120}, {K::Down, K::Up}},
      {"a zero delta is no turn", WheelTarget::Roster, {0, 0}, {K::None, K::None}},
      {"other controls get nothing", WheelTarget::Other, {120, -120}, {K::None, K::None}},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    int pending = 0;
    std::vector<K> keys;
    for (const int delta : run.deltas) keys.push_back(WheelTurn(run.target, delta, pending));
    EXPECT_EQ(keys, run.keys);
  }
}

// The main window opens whole on the screen it has, and a new installation's window uses a laptop's
// screen without filling a large one.
TEST(WindowRules, WindowPlaceFitsTheAvailableArea) {
  const ScreenRect laptop{0, 0, 1280, 770};  // 1280 x 800 less a panel
  const ScreenRect large{0, 0, 2560, 1400};
  const ScreenRect small{0, 0, 640, 480};
  const ScreenRect right{1920, 30, 1280, 770};  // a second screen right of the first, below a panel
  const struct {
    const char* name;
    ScreenRect stored;
    ScreenRect available;
    ScreenRect place;
  } cases[] = {
      {"a new window on a laptop", {0, 0, 0, 0}, laptop, {128, 38, 1024, 693}},
      {"a new window on a large screen stops at 1400 x 1000", {5, 5, 0, 0}, large, {580, 200, 1400, 1000}},
      {"a new window on a small screen fills it", {0, 0, 0, 480}, small, {0, 0, 640, 480}},
      {"a new window on a second screen", {0, 0, 0, 0}, right, {2048, 68, 1024, 693}},
      {"a stored place that fits stays", {233, 107, 655, 576}, laptop, {233, 107, 655, 576}},
      {"a window stored on a large screen shrinks and moves in",
       {1200, 600, 2000, 1200},
       laptop,
       {0, 0, 1280, 770}},
      {"a window stored off the right edge moves back", {1000, -40, 800, 600}, laptop, {480, 0, 800, 600}},
      {"no screen known: the stored place", {10, 20, 0, 0}, {0, 0, 0, 0}, {10, 20, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WindowPlace(c.stored, c.available), c.place);
  }
}

}  // namespace
}  // namespace plumo
