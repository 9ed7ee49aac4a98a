// SPDX-License-Identifier: GPL-3.0-or-later
// Building, reading and handing over raw datagrams in tests: the byte layouts written out by hand,
// independently of the engine's own writers, so that tests compare against the wire format itself.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "net/codec.h"
#include "net/plumo.h"

namespace plumo::sim {

// Big-endian number bytes.
std::string Be16(std::uint16_t value);
std::string Be32(std::uint32_t value);

// Marker, type, sequence number, then block (the number block, may be empty), then every field
// followed by one zero byte.
std::string Datagram(std::uint16_t type, std::uint16_t seq, std::string_view block,
                     std::initializer_list<std::string_view> fields);

// Header values and fields of a datagram the engine wrote (0 for a datagram shorter than a header).
std::uint16_t TypeOf(std::string_view data);
std::uint16_t SeqOf(std::string_view data);
// The fields from the type's first field offset on.
TMStigs FieldsOf(std::string_view data);

// Hands data to engine.DataReceived as an exactly sized heap copy from the given address.
void Deliver(TPlumo& engine, std::string_view data, const std::string& from);

// The main window's start-up as far as the engine sees it: nick, the channel "Main" (and any
// others), state active, hello.
void StartUp(TPlumo& engine, const std::string& nick, std::initializer_list<std::string> channels = {"Main"});

}  // namespace plumo::sim
