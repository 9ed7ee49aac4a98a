// SPDX-License-Identifier: GPL-3.0-or-later
// Opens arbitrary text fields as envelopes to a fixed identity, and seals bodies taken from the input
// between two fixed identities (version 1 between their identity keys, version 2 between their
// medium-term keys), then opens them changed or unchanged. Nothing may crash; an envelope opens only
// when it is one this program sealed, unchanged, and then gives back exactly what went in.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "secure/private_box.h"

namespace {

using plumo::secure::TIdentity;

constexpr std::int64_t kNow = 1'800'000'000;

TIdentity WithMedium(char seed) {
  TIdentity identity = std::move(*TIdentity::FromSeed(std::string(32, seed)));
  identity.RenewMedium(kNow);
  return identity;
}

const TIdentity& Fixed(char seed) {
  static const bool ready = plumo::secure::SecureInit();
  if (!ready) std::abort();
  static const TIdentity own = WithMedium('o');
  static const TIdentity peer = WithMedium('p');
  return seed == 'o' ? own : peer;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::set<std::string> sealed;  // every field this program sealed to own
  const TIdentity& own = Fixed('o');
  const TIdentity& peer = Fixed('p');
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

  if (data[0] % 2 == 0) {
    // Input 0: the rest is a text field as it came off the wire.
    const auto opened = plumo::secure::Open(own, input, kNow);
    Check(!opened || sealed.count(std::string(input)) != 0);
    plumo::secure::Unstuff(input);
    plumo::secure::KeyFromText(input);
    plumo::secure::FromBase64(input);
    return 0;
  }

  // Input 1: position (2 bytes), mask (1 byte), kind and version (1 byte), body: seal, change one
  // byte, open.
  if (input.size() < 4) return 0;
  const std::size_t position =
      static_cast<std::uint8_t>(input[0]) * 256U + static_cast<std::uint8_t>(input[1]);
  const auto mask = static_cast<char>(input[2]);
  const auto kind = input[3] % 2 ? plumo::secure::BodyKind::Text : plumo::secure::BodyKind::KeyCheck;
  const bool medium = (input[3] & 2) != 0;
  const std::string_view body = input.substr(4);
  const auto envelope =
      medium ? plumo::secure::Seal(peer, own.Public(), *own.Medium(), kNow, position + 1, kind, "peer", body)
             : plumo::secure::Seal(peer, own.Public(), position + 1, kind, "peer", body);
  Check(envelope.has_value() == (body.find('\0') == std::string_view::npos));
  if (!envelope) return 0;
  Check(envelope->Field.find('\0') == std::string::npos);
  if (sealed.size() < 1000) sealed.insert(envelope->Field);
  std::string field = envelope->Field;
  field[position % field.size()] = static_cast<char>(field[position % field.size()] ^ mask);
  const auto opened = plumo::secure::Open(own, field, kNow);
  Check(opened.has_value() == (mask == 0));
  if (opened) {
    Check(opened->Sender == peer.Public() && opened->Counter == position + 1 && opened->Kind == kind);
    Check(opened->Version == (medium ? 2 : 1));
    Check(opened->Nick == "peer" && opened->Body == body);
    Check(plumo::secure::ReceiptMatches(envelope->Receipt, opened->Receipt));
  }
  Check(!plumo::secure::Open(peer, envelope->Field, kNow));  // its own sender cannot open it
  return 0;
}
