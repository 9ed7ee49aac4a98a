// SPDX-License-Identifier: GPL-3.0-or-later
// QuietHost: a PlumoHost for driving one engine by hand (benchmarks, fuzz targets). Its clock stands
// still until moved, its timers never fire, its random numbers follow a fixed seed, and it sends
// nothing: it only counts what the engine hands it and remembers the largest datagram.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/host.h"

namespace plumo::sim {

class QuietHost final : public PlumoHost {
 public:
  bool SendDatagram(const std::string&, const std::string& data) override {
    sentBytes += data.size();
    largest = std::max(largest, data.size());
    return true;
  }
  std::int64_t NowMs() override { return now; }
  void SetTimer(EngineTimer, bool, int) override {}
  std::uint32_t Random(std::uint32_t n) override {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return n == 0 ? 0 : static_cast<std::uint32_t>((state >> 33) % n);
  }
  bool SetReceiving(bool, int) override { return true; }

  std::int64_t now = 1'700'000'000'000;
  std::uint64_t state = 1;
  std::size_t sentBytes = 0;
  std::size_t largest = 0;
};

}  // namespace plumo::sim
