// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/datagrams.h"

#include <algorithm>
#include <memory>

namespace plumo::sim {

std::string Be16(std::uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

std::string Be32(std::uint32_t value) {
  return Be16(static_cast<std::uint16_t>(value >> 16)) + Be16(static_cast<std::uint16_t>(value & 0xFFFF));
}

std::string Datagram(std::uint16_t type, std::uint16_t seq, std::string_view block,
                     std::initializer_list<std::string_view> fields) {
  std::string out = "P" + Be16(type) + Be16(seq);
  out.append(block);
  for (std::string_view f : fields) {
    out.append(f);
    out.push_back('\0');
  }
  return out;
}

std::uint16_t TypeOf(std::string_view data) {
  if (data.size() < kHeaderSize) return 0;
  return BytesToU16(static_cast<std::uint8_t>(data[1]), static_cast<std::uint8_t>(data[2]));
}

std::uint16_t SeqOf(std::string_view data) {
  if (data.size() < kHeaderSize) return 0;
  return BytesToU16(static_cast<std::uint8_t>(data[3]), static_cast<std::uint8_t>(data[4]));
}

TMStigs FieldsOf(std::string_view data) {
  return SplitFields(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(),
                     FieldOffset(TypeOf(data)));
}

void Deliver(TPlumo& engine, std::string_view data, const std::string& from) {
  auto bytes = std::make_unique<std::uint8_t[]>(data.size());
  std::copy(data.begin(), data.end(), bytes.get());
  engine.DataReceived(bytes.get(), static_cast<long>(data.size()), from, kDefaultPort);
}

void StartUp(TPlumo& engine, const std::string& nick, std::initializer_list<std::string> channels) {
  engine.SetNick(nick);
  for (const std::string& name : channels) engine.AddChannel(name, "", "", "", 0);
  engine.StateDescription = " ";
  engine.SetState(stActive);
  engine.SendHello();
}

}  // namespace plumo::sim
