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

}  // namespace
}  // namespace plumo
