// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard configuration of an X display: its layout list and its active layout group. Every
// call opens its own short connection to the display named by DISPLAY (or `display`), so nothing
// here depends on the toolkit's own connection; without a reachable display the calls give nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/keyboard_layouts.h"

namespace plumo {

struct X11Keyboard {
  std::optional<XkbNames> Names;       // _XKB_RULES_NAMES of the root window, when set
  std::optional<std::uint32_t> Group;  // the locked layout group, when the XKB extension answers
};

// Nothing at all (both fields empty) when no display can be reached. An empty `display` means the
// DISPLAY environment variable.
X11Keyboard ReadX11Keyboard(const std::string& display = {});

// Locks layout group `group` on the display's core keyboard, which makes it the active layout;
// false when no display or no XKB extension answered.
bool LockX11LayoutGroup(std::uint32_t group, const std::string& display = {});

}  // namespace plumo
