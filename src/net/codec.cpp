// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/codec.h"

#include <cmath>

namespace plumo {

bool IsKnownPacketType(std::uint16_t type) {
  return type >= pkHello && type <= pkBell && type != 18;
}

std::size_t FieldOffset(std::uint16_t type) {
  switch (type) {
    case pkHello:
    case pkTopic:
    case pkTopicQuery:
      return 13;
    case pkConfirm:
      return 9;
    case pkResendRequest:
      return 11;
    case pkBell:
      return 7;
    default:
      return kHeaderSize;
  }
}

std::string MakeHeader(SeqCounters& counters, std::uint16_t type) {
  const std::uint16_t seq = counters.Next(type);
  std::string header(1, static_cast<char>(kMarker));
  header += U16ToBytes(type);
  header += U16ToBytes(seq);
  return header;
}

std::string JoinFields(const std::vector<std::string_view>& values) {
  std::size_t size = 0;
  for (auto v : values) size += v.size() + 1;
  std::string out;
  out.reserve(size);
  for (auto v : values) {
    out.append(v);
    out.push_back('\0');
  }
  return out;
}

TMStigs SplitFields(const std::uint8_t* data, std::size_t length, std::size_t start) {
  TMStigs fields;
  std::size_t begin = start;
  for (std::size_t i = start; i < length; ++i) {
    if (data[i] == 0) {
      fields.emplace_back(reinterpret_cast<const char*>(data + begin), i - begin);
      begin = i + 1;
    }
  }
  return fields;
}

std::string U16ToBytes(std::uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

std::string U32ToBytes(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>((value >> 16) & 0xFF),
          static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

std::uint32_t UnixNow(std::int64_t localMs) {
  // Round to the nearest second (halves away from zero), then keep the low 32 bits.
  const std::int64_t seconds = localMs >= 0 ? (localMs + 500) / 1000 : -((-localMs + 500) / 1000);
  return static_cast<std::uint32_t>(seconds);
}

}  // namespace plumo
