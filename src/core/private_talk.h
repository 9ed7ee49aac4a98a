// SPDX-License-Identifier: GPL-3.0-or-later
// TPrivateTalk: private conversations between Plumo peers, encrypted and authenticated end to end.
// It owns the keyring, announces the own key in the engine's tag, judges every received envelope for
// the engine (TEnvelopeGuard), seals what the intents send to a peer with a key, and runs the
// six-digit key check. Both front ends use it: the window through the roster's locks, the reply
// tab's status line and the "Check key…" dialog; the headless peer through /key, /verify,
// /unverify, /trust and /check, and the "encrypted" field of its JSON.
//
// Encryption is sticky: once a key is known for a peer, everything to it is encrypted; clear text
// goes to such a peer only when the user chose it for that message (SendClear).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/keyring.h"
#include "lang/fs_path.h"
#include "net/envelope_guard.h"
#include "secure/private_box.h"

namespace plumo {

// How a private message to one peer (nick at address) goes out.
struct TPrivateRoute {
  enum Kind {
    Clear,      // the peer has never shown a key: clear text, as to any other peer
    Encrypted,  // sealed to Key
    Held,       // Key replaced a key the user had checked: nothing is sent until /verify or /trust
    AskClear,   // the peer had a key but its program now answers without one: sent only as clear
                // text and only when the user chose that for this message
    NoIdentity, // the peer has a key but the own identity file is damaged: nothing is sent
  };
  Kind How = Clear;
  std::optional<secure::PublicKey> Key;
};

// The lock a roster row or a reply tab shows for a peer.
enum class LockMark { None, Locked, Checked, Changed };

// One step of a six-digit key check with a peer, as the dialog and the console show it.
struct TKeyCheckState {
  enum Phase {
    Idle,
    Waiting,    // asked the peer; waiting for its program
    Compare,    // Code shown on both screens: the users compare and confirm or deny
    Matched,    // both confirmed: the key is marked checked
    Mismatch,   // the user said the digits differ (or the peer's program did): not checked
    Cancelled,  // one side cancelled or the peer went away
  };
  Phase What = Idle;
  secure::PublicKey Peer{};
  std::string Nick;
  std::string Code;  // "123 456" in Compare
};

class TEngineSlot;

class TPrivateTalk : public TEnvelopeGuard {
 public:
  // Consoles lines ("a private message from 10.0.0.3 could not be verified and was dropped", key
  // changes) go to notice, at most one per address and minute for dropped envelopes.
  using Notice = std::function<void(const std::string& line, bool error)>;
  TPrivateTalk(FsPath dir, const TEngineSlot& engine, Notice notice);

  // The own tag item ("k=..."), empty when the identity is not usable.
  std::string TagItem() const;
  bool Ready() const { return keyring_.Ready(); }
  TKeyring& Keyring() { return keyring_; }
  const TKeyring& Keyring() const { return keyring_; }

  // Sending: how a message to nick at address goes, and the sealed field for it (with the receipt
  // the engine awaits). Seal returns nullopt when the route is not Encrypted.
  TPrivateRoute Route(const std::string& nick, const std::string& address) const;
  std::optional<secure::TSealed> Seal(const secure::PublicKey& to, const std::string& ownNick,
                                      const std::string& text);

  // Receiving (TEnvelopeGuard): opens and judges; a fresh text message is kept for TakeOpened.
  TEnvelopeVerdict Judge(const TMStigs& fields, std::string_view text, const std::string& address) override;
  // The message Judge just opened for this envelope text (once), or nullopt for a clear message.
  std::optional<secure::TOpened> TakeOpened(std::string_view text);
  // Whether a clear private message from nick at address comes from a peer that has a key (shown
  // with "not encrypted: anyone on the LAN could have sent this").
  bool ClearFromKeyedPeer(const std::string& nick, const std::string& address) const;
  // A roster entry's tag was seen (or seen missing on a pong or a hello's confirmation).
  void TagSeen(const std::string& nick, const std::string& address, const std::string& tag);

  // What the window shows.
  LockMark Lock(const std::string& nick, const std::string& address) const;
  // The reply tab's status line for these recipients ("encrypted to anna's key 31415 92653…",
  // "NOT encrypted: anna's program cannot", the held and downgrade texts).
  std::string TabStatus(const std::vector<std::string>& addresses, const std::vector<std::string>& nicks) const;
  std::string OwnFingerprint() const;
  std::string SafetyNumber(const secure::PublicKey& peer) const;

  // The six-digit check with the peer at nick/address; progress goes to OnCheck.
  std::function<void(const TKeyCheckState&)> OnCheck;
  bool StartCheck(const std::string& nick, const std::string& address);
  void ConfirmCheck(bool sameDigits);
  void CancelCheck();
  const TKeyCheckState& Check() const { return check_; }

  // Saves keys.ini when due (the core's one-second tick) and at exit.
  void Tick(std::int64_t now);

 private:
  TKeyring keyring_;
  const TEngineSlot& engine_;
  Notice notice_;
  TKeyCheckState check_;
};

}  // namespace plumo
