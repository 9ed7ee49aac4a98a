// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/display.h"

#include <cstdlib>

namespace plumo {

namespace {

std::string_view Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string_view(value) : std::string_view();
}

}  // namespace

bool DisplayAvailable(std::string_view qpaPlatform, std::string_view display,
                      std::string_view waylandDisplay) {
  // "name:option=value" chooses the plugin "name"; a list "a;b" tries them in order, so the first
  // one decides what the program gets when it works.
  const std::string_view plugin = qpaPlatform.substr(0, qpaPlatform.find_first_of(":;"));
  if (plugin.empty()) return !display.empty() || !waylandDisplay.empty();
  if (plugin == "offscreen" || plugin == "minimal") return false;
  if (plugin == "xcb") return !display.empty();
  if (plugin.starts_with("wayland")) return !waylandDisplay.empty();
  return true;
}

bool DisplayAvailable() {
  return DisplayAvailable(Env("QT_QPA_PLATFORM"), Env("DISPLAY"), Env("WAYLAND_DISPLAY"));
}

}  // namespace plumo
