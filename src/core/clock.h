// SPDX-License-Identifier: GPL-3.0-or-later
// TClock: the local wall clock as the core's lines and records read it, over the system seam (so
// that tests set the time).
#pragma once

#include <cstdint>
#include <string>

#include "core/surfaces.h"
#include "core/texts.h"

namespace plumo {

class TClock {
 public:
  explicit TClock(SystemInfo& system) : system_(system) {}

  // Local wall-clock milliseconds since 1970 (SystemInfo::NowLocalMs).
  std::int64_t NowMs() const { return system_.NowLocalMs(); }
  // The time of day as the lines show it, the date and time, and seconds since 1970.
  std::string NowTime() const { return TimeText(NowMs()); }
  std::string NowDateTime() const { return DateTimeText(NowMs()); }
  std::uint32_t NowSeconds() const { return static_cast<std::uint32_t>(NowMs() / 1000); }

 private:
  SystemInfo& system_;
};

}  // namespace plumo
