// SPDX-License-Identifier: GPL-3.0-or-later
// X11IdleTime: how long the X display has had no keyboard or mouse input, from the server's
// screen-saver extension (the same count the desktop's screen saver uses, so input in any program
// counts). One connection of its own to the display named by DISPLAY (or `display`), opened at the
// first question; without a reachable display or the extension every answer is "unknown".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace plumo {

class X11IdleTime {
 public:
  explicit X11IdleTime(std::string display = {});
  ~X11IdleTime();
  X11IdleTime(const X11IdleTime&) = delete;
  X11IdleTime& operator=(const X11IdleTime&) = delete;

  // Milliseconds since the last input on the display; nullopt when the display cannot tell.
  std::optional<std::int64_t> IdleMs();

 private:
  struct Connection;
  std::string display_;
  std::unique_ptr<Connection> connection_;
  bool tried_ = false;
};

}  // namespace plumo
