// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the windowed program can show its window here, decided from the environment the way Qt
// chooses its platform: QT_QPA_PLATFORM names the platform plugin when set ("offscreen" and "minimal"
// draw on no screen; "xcb" needs DISPLAY, "wayland" needs WAYLAND_DISPLAY; any other plugin draws on
// a device of its own); without it an X11 or Wayland display must be named.
#pragma once

#include <string_view>

namespace plumo {

bool DisplayAvailable(std::string_view qpaPlatform, std::string_view display,
                      std::string_view waylandDisplay);
// The same for this process's environment.
bool DisplayAvailable();

}  // namespace plumo
