// SPDX-License-Identifier: GPL-3.0-or-later
// Byte layout of Plumo datagrams: header, number block, zero-terminated text fields.
// Everything here is pure and never reads outside the bytes it is given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plumo {

// The text fields of one received datagram, in order.
using TMStigs = std::vector<std::string>;

inline constexpr std::uint8_t kMarker = 0x50;  // "P"
inline constexpr std::size_t kHeaderSize = 5;
inline constexpr int kDefaultPort = 8177;
// A receiver takes at most this many bytes of one datagram; a longer one is lost.
inline constexpr std::size_t kMaxDatagram = 2048;
// Size of the engine's send and receive buffers.
inline constexpr std::size_t kBufferSize = 8192;

enum PacketType : std::uint16_t {
  pkHello = 13,
  pkChannelLine = 14,
  pkPrivateMessage = 15,
  pkMassMessage = 16,
  pkConfirm = 17,
  pkExit = 19,
  pkResendRequest = 20,
  pkRosterList = 21,
  pkPing = 22,
  pkPong = 23,
  pkNickChange = 24,
  pkTopic = 25,
  pkTopicQuery = 26,
  pkStateChange = 27,
  pkInfoRequest = 28,
  pkInfoReply = 29,
  pkBell = 30,
};

inline constexpr char stActive = '1';
inline constexpr char stAway = '2';
inline constexpr char stScreenSaver = '3';
inline constexpr char stDoNotDisturb = '4';
inline constexpr char stOffline = '5';

inline bool IsStateChar(char c) {
  return c >= '1' && c <= '5';
}

// True for the packet types of the protocol (13 to 30 except 18).
bool IsKnownPacketType(std::uint16_t type);
// Offset of the first text field of a datagram of this type (5 unless it has a number block).
std::size_t FieldOffset(std::uint16_t type);

// One 16-bit counter per possible packet type value, all 0 at creation.
class SeqCounters {
 public:
  SeqCounters() : counters_{} {}
  // Advances counter[type] (65535 is followed by 0) and returns the new value.
  std::uint16_t Next(std::uint16_t type) { return ++counters_[type]; }
  std::uint16_t Current(std::uint16_t type) const { return counters_[type]; }
  // Sets counter[type]: the next number of the type is value + 1.
  void Set(std::uint16_t type, std::uint16_t value) { counters_[type] = value; }

 private:
  std::array<std::uint16_t, 65536> counters_;
};

// Advances the counter of Type and returns marker, type and the new sequence number (5 bytes).
std::string MakeHeader(SeqCounters& counters, std::uint16_t type);

// Appends every value followed by one zero byte. Values never contain zero bytes on the wire.
std::string JoinFields(const std::vector<std::string_view>& values);
inline std::string JoinFields(std::initializer_list<std::string_view> values) {
  return JoinFields(std::vector<std::string_view>(values));
}

// Cuts the bytes from start onward into zero-terminated fields; an unterminated tail is dropped,
// a start at or beyond the end gives an empty list.
TMStigs SplitFields(const std::uint8_t* data, std::size_t length, std::size_t start);

std::string U16ToBytes(std::uint16_t value);
std::string U32ToBytes(std::uint32_t value);
inline std::uint16_t BytesToU16(std::uint8_t b0, std::uint8_t b1) {
  return static_cast<std::uint16_t>(b0 * 256 + b1);
}
inline std::uint32_t BytesToU32(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) | b3;
}

// Protocol time values are whole seconds since 1970 on the sender's local wall clock, taken as if it
// were universal time. The engine's clock is local wall-clock milliseconds counted the same way.
std::uint32_t UnixNow(std::int64_t localMs);
// The inverse, for display: the local wall-clock milliseconds of a protocol time value.
inline std::int64_t UnixToLocalMs(std::uint32_t seconds) {
  return std::int64_t{seconds} * 1000;
}

// Serial-number arithmetic on 16-bit sequence numbers: the signed distance from a to b,
// positive when b is later than a, valid across the wrap from 65535 to 0.
inline int SeqDistance(std::uint16_t a, std::uint16_t b) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(b - a));
}

}  // namespace plumo
