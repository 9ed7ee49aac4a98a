// SPDX-License-Identifier: GPL-3.0-or-later
// TEnvelopeGuard: what the engine asks about private messages whose text is an encrypted envelope.
// The engine knows nothing of cryptography; the guard (the core's private conversations) opens the
// envelope and says what to do with the datagram. For an envelope, the authenticated counter inside
// it decides what is a repeat, never the datagram's sequence number: a forger who pre-plays a peer's
// next numbers must not make a real envelope look like a repeat and vanish.
#pragma once

#include <string>
#include <string_view>

#include "net/codec.h"

namespace plumo {

struct TEnvelopeVerdict {
  enum Kind {
    NotEnvelope,  // an ordinary private message: the engine's own rules apply
    Fresh,        // opened and new: confirm with Receipt and raise OnPrivateMessage
    Repeat,       // opened, seen before: confirm again with the same Receipt, raise nothing
    Refused,      // forged, tampered, replayed outside the window, not for us: no confirmation, no event
  };
  Kind Verdict = NotEnvelope;
  std::string Receipt;  // the hidden field the confirmation carries (Fresh and Repeat)
};

class TEnvelopeGuard {
 public:
  virtual ~TEnvelopeGuard() = default;
  // Judges the text field of a private message from address (fields: the datagram's fields).
  virtual TEnvelopeVerdict Judge(const TMStigs& fields, std::string_view text, const std::string& address) = 0;
};

}  // namespace plumo
