// SPDX-License-Identifier: GPL-3.0-or-later
// TKeyCheck: the six-digit key check with one peer, as a pure state machine. It never sends: every
// call returns the steps to send (each a body of kind BodyKind::KeyCheck, sealed to the key it names),
// and the caller feeds it the KeyCheck bodies opened from envelopes.
//
// Steps are one line of ASCII: a verb, the session (16 hexadecimal digits: 8 random bytes chosen by
// the initiator), and for three verbs a 32-byte value in unpadded base64url:
//   start  S <commitment>     initiator: the hash of its fresh public key
//   key    S <public key>     responder: its fresh public key
//   reveal S <public key>     initiator: its fresh public key, which must match the commitment
//   same S | differ S | cancel S    a user's answer, or the end of the check
// Both sides show the code after the reveal; the check is Matched only when the local user and the
// peer both said "same". Steps from another key than the peer's, for another session or out of turn
// are ignored; a reveal that does not match its commitment ends the check as a mismatch. A start
// from a third party while a check runs is answered with cancel; when both sides start at once, the
// check started by the lower identity key goes on and the other side answers it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "secure/private_box.h"

namespace plumo {

struct TKeyCheckState;  // core/private_talk.h

// One step to seal to To.
struct TCheckStep {
  secure::PublicKey To{};
  std::string Body;
};

class TKeyCheck {
 public:
  // The phases of TKeyCheckState, in its order.
  enum class Phase { Idle, Waiting, Compare, Matched, Mismatch, Cancelled };

  explicit TKeyCheck(const secure::PublicKey& own) : own_(own) {}

  // Begins a check with peer (nick: its label); the start step, or nullopt while a check runs or for
  // the own key.
  std::optional<TCheckStep> Start(const secure::PublicKey& peer, const std::string& nick);
  // A KeyCheck body opened from the key from (nick: the envelope's): the steps to send in answer.
  std::vector<TCheckStep> Receive(const secure::PublicKey& from, const std::string& nick,
                                  std::string_view body);
  // The local user's answer while the code is shown: the step to send, or nullopt when there is no
  // question (not in Compare, or answered already).
  std::optional<TCheckStep> Answer(bool sameDigits);
  // Ends a running check (the user closed it, or the peer went away): the step that tells the peer,
  // or nullopt when none runs.
  std::optional<TCheckStep> Cancel();

  bool Running() const { return phase_ == Phase::Waiting || phase_ == Phase::Compare; }
  Phase What() const { return phase_; }
  const secure::PublicKey& Peer() const { return peer_; }
  const std::string& Nick() const { return nick_; }
  // "123 456" from Compare on.
  const std::string& Code() const { return code_; }
  // Whether the local user said "same" and the peer's answer is awaited.
  bool AnsweredSame() const { return ownSame_; }
  // The state as the dialog and the console show it.
  TKeyCheckState State() const;

 private:
  using Session = std::array<std::uint8_t, 8>;
  TCheckStep Step(const char* verb, const std::optional<std::array<std::uint8_t, 32>>& value = {}) const;
  // Shows the code of the fresh keys, or ends as a mismatch when they do not agree (a step to send).
  std::vector<TCheckStep> ShowCode(const std::array<std::uint8_t, 32>& initiatorCheck,
                                   const std::array<std::uint8_t, 32>& responderCheck,
                                   const std::array<std::uint8_t, 32>& otherCheck);
  void Finish(Phase phase);

  secure::PublicKey own_;
  Phase phase_ = Phase::Idle;
  secure::PublicKey peer_{};
  std::string nick_;
  std::string code_;
  Session session_{};
  bool initiator_ = false;
  std::optional<secure::TCheckKeys> keys_;
  std::array<std::uint8_t, 32> commitment_{};  // responder: the initiator's
  bool ownSame_ = false;
  bool peerSame_ = false;
};

}  // namespace plumo
