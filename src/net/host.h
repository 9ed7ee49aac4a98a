// SPDX-License-Identifier: GPL-3.0-or-later
// PlumoHost: everything the engine needs from the outside world. The engine never opens a socket,
// reads a clock or runs a timer itself; a host (the real UDP one, or the simulated LAN in tests)
// provides these and feeds datagrams and timer ticks back in. No method throws: a failure is a
// result (SendDatagram, SetReceiving), so that the engine's own promise not to throw holds.
#pragma once

#include <cstdint>
#include <string>

namespace plumo {

// Resend: every second while datagrams await confirmation. Presence: every period, for pings and
// the roster list. Ping: while pings of a presence tick are still to go out, spread over the period.
enum class EngineTimer { Resend, Presence, Ping };

class PlumoHost {
 public:
  virtual ~PlumoHost() = default;
  // Sends one datagram to address (a dotted IPv4 address or a host name; "255.255.255.255" is the
  // limited broadcast) at the engine's port. Returns false when the send failed.
  virtual bool SendDatagram(const std::string& address, const std::string& data) = 0;
  // Local wall-clock time in milliseconds since 1970, counted as if local time were universal time.
  virtual std::int64_t NowMs() = 0;
  // Enables (restarting its countdown, also when already running) or disables one repeating timer.
  virtual void SetTimer(EngineTimer timer, bool enabled, int intervalMs) = 0;
  // A uniformly drawn integer from 0 to n - 1 (0 when n is 0).
  virtual std::uint32_t Random(std::uint32_t n) = 0;
  // Opens (bound to 0.0.0.0 at port) or closes the receiving socket. Returns whether the receiving
  // side is now bound; a second program on the same port stays deaf.
  virtual bool SetReceiving(bool on, int port) = 0;
};

}  // namespace plumo
