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
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/key_check.h"
#include "core/keyring.h"
#include "lang/fs_path.h"
#include "net/envelope_guard.h"
#include "secure/private_box.h"

namespace plumo {

// How a private message to one peer (nick at address) goes out.
struct TPrivateRoute {
  enum Kind {
    Clear,       // the peer has never shown a key: clear text, as to any other peer
    Encrypted,   // sealed to Key
    Held,        // Key replaced a key the user had checked: nothing is sent until /verify or /trust
    AskClear,    // the peer had a key but its program now answers without one: sent only as clear
                 // text and only when the user chose that for this message
    NoIdentity,  // the peer has a key but the own identity file is damaged: nothing is sent
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
class TMsgINISupp;

// The mark of an encrypted message in its line header (the reply tab's quote line), as the language
// file words it: "(encrypted)". A window that draws a lock there finds this text (without the
// brackets' meaning mattering) and may replace it with the picture of icon::kPrivateEncrypted.
inline constexpr const char* kEncryptedMarkKey = "EncryptedMark";

class TPrivateTalk : public TEnvelopeGuard {
 public:
  // Console lines ("a private message from 10.0.0.3 could not be verified and was dropped", key
  // changes) go to notice, at most one per address and minute for dropped envelopes. peer: the
  // address of the peer a key change or downgrade concerns (its message tab shows the line too),
  // empty for the others.
  using Notice = std::function<void(const std::string& line, bool error, const std::string& peer)>;
  // dir: the program directory (the keyring's files), read at Start. Texts come from messages.
  TPrivateTalk(FsPath dir, const TEngineSlot& engine, const TClock& clock, TMsgINISupp& messages,
               Notice notice);
  ~TPrivateTalk() override;

  // Start-up, with the engine built and before its first hello: opens the keyring (a damaged
  // identity gives one red console line) and, when it is usable, sets the engine's tag and guard.
  void Start();
  // The farewell: saves keys.ini and leaves the engine without tag and guard.
  void Stop();

  // The own tag item ("k=..."), empty when the identity is not usable.
  std::string TagItem() const;
  // The whole tag the engine announces ("\x01PLUMO/1 k=... e=..."), empty when the identity is not
  // usable; e= is the own medium-term key (secure::TMediumKey, renewed daily), signed by the identity.
  std::string Tag() const;
  // Seconds since 1970 in UTC, for medium-term keys: their expiry travels between machines, which may
  // keep their local clocks in different zones.
  static std::int64_t MediumNow();
  bool Ready() const { return keyring_ && keyring_->Ready(); }
  // Why private messages are off when not Ready (the keyring's words), empty otherwise.
  std::string Damaged() const { return keyring_ ? keyring_->Damaged() : std::string(); }
  // The keyring, from Start on.
  TKeyring& Keyring() { return *keyring_; }
  const TKeyring& Keyring() const { return *keyring_; }

  // Sending: how a message to nick at address goes, and the sealed field for it (with the receipt
  // the engine awaits): version 2 to a peer whose valid medium key came in its tag (forward
  // secrecy), version 1 to the others. Seal returns nullopt when the route is not Encrypted.
  TPrivateRoute Route(const std::string& nick, const std::string& address) const;
  std::optional<secure::TSealed> Seal(const secure::PublicKey& to, const std::string& address,
                                      const std::string& ownNick, const std::string& text);

  // Receiving (TEnvelopeGuard): opens and judges; a fresh text message is kept for TakeOpened.
  TEnvelopeVerdict Judge(const TMStigs& fields, std::string_view text, const std::string& address) override;
  // The message Judge just opened for this envelope text (once), or nullopt for a clear message.
  std::optional<secure::TOpened> TakeOpened(std::string_view text);
  // The same without taking it (a listener that reports the event before the core presents it).
  const secure::TOpened* Opened(std::string_view text) const;
  // Whether a clear private message from nick at address comes from a peer that has a key (shown
  // with "not encrypted: anyone on the LAN could have sent this").
  bool ClearFromKeyedPeer(const std::string& nick, const std::string& address) const;
  // An envelope from address that could not be opened: the rate-limited console line.
  void EnvelopeDropped(const std::string& address) { Dropped(address); }
  // A roster entry's tag was seen (or seen missing on a pong or a hello's confirmation).
  void TagSeen(const std::string& nick, const std::string& address, const std::string& tag);

  // What the window shows.
  LockMark Lock(const std::string& nick, const std::string& address) const;
  // The reply tab's status line for these recipients ("encrypted to anna's key, checked",
  // "encrypted to anna's key, not checked: /check anna", "NOT encrypted: anna's program cannot", the
  // held and downgrade texts).
  std::string TabStatus(const std::vector<std::string>& addresses,
                        const std::vector<std::string>& nicks) const;
  // The language text that marks an encrypted message's header ("(encrypted)"), read again at most
  // once a second: a busy conversation does not read the language file for every message.
  const std::string& EncryptedMark();
  std::string OwnFingerprint() const;
  std::string SafetyNumber(const secure::PublicKey& peer) const;
  // The key of nick at address, or of the only peer in the roster with that nick; nullopt when none.
  std::optional<secure::PublicKey> KeyOfPeer(const std::string& nick, const std::string& address) const;
  // The texts of the refusal of a message to nick, for a route that sends nothing (Held, AskClear,
  // NoIdentity), with how to go on; empty for the others.
  std::string RefusalText(const TPrivateRoute& route, const std::string& nick) const;

  // The user's marks on a key (/verify, /unverify, /trust, the key dialog, a matched check). Each
  // saves keys.ini at once when it changed something. SetChecked(key, true) also ends a hold: the
  // new key is checked. Trust accepts a held key without a check.
  void SetChecked(const secure::PublicKey& key, bool checked);
  void Trust(const secure::PublicKey& key);
  // The user was shown this key (its fingerprint and safety number by /key or the key dialog): only
  // such a key may be marked checked by /verify, so that a key that changed after the user compared
  // the old one is never marked unseen.
  void KeyShown(const secure::PublicKey& key) { shown_.insert(key); }
  bool WasShown(const secure::PublicKey& key) const { return shown_.count(key) != 0; }

  // A peer's lock or key status may have changed: a key seen for the first time or at another
  // nick or address, a key change, a downgrade or its end, a key checked, unchecked or trusted.
  // nick and address: where the key was seen (for a mark, the key's label). The window repaints
  // the roster's locks and the reply tab's status line from it; nothing polls.
  std::function<void(const std::string& nick, const std::string& address)> OnLockChanged;

  // The six-digit check with the peer at nick/address; progress goes to OnCheck.
  std::function<void(const TKeyCheckState&)> OnCheck;
  bool StartCheck(const std::string& nick, const std::string& address);
  void ConfirmCheck(bool sameDigits);
  void CancelCheck();
  const TKeyCheckState& Check() const { return check_; }
  // Whether seq (pkPrivateMessage) was a step of the six-digit check: its confirmation is not a
  // message the user sent, so no "message received" line and no sound. Each step answers once.
  bool TakeCheckStepConfirmed(std::uint16_t seq);

  // Saves keys.ini when due (called after every key event, since the core has no tick that always
  // runs) and at exit. now: Unix seconds.
  void Tick(std::int64_t now);
  // The same at the own clock's time (after a command changed a mark).
  void Tick() { Tick(Now()); }

 private:
  std::int64_t Now() const;
  // Renews the own medium key when due and announces the new tag.
  void RenewMedium(std::int64_t now);
  // Seals a body to a peer's key at address: version 2 when the medium key announced with that key
  // from that address is known and in time, else version 1.
  std::optional<secure::TSealed> SealTo(const secure::PublicKey& to, const std::string& address,
                                        secure::BodyKind kind, const std::string& ownNick,
                                        const std::string& body);
  std::string Text(const char* key) const;
  std::string Fmt(const char* key, const std::vector<std::string>& args) const;
  // Records a key announced by nick at address and tells what it means: the key-change lines, and
  // OnLockChanged when the key is new, changed, or newly bound to that nick and address.
  void Sighted(const secure::PublicKey& key, const std::string& nick, const std::string& address,
               std::int64_t now);
  // One key announced from two addresses that are both in the roster (a copied program directory,
  // or someone replaying a peer's tag or messages): one red line per pair and run, and both labels
  // keep the key, so that replies still go sealed to the address their tab is bound to.
  void SeenTwice(const secure::PublicKey& key, const std::string& nick, const std::string& address);
  // The key nick at address has: the keyring's, or the one it shares with a twin.
  std::optional<secure::PublicKey> BoundKey(const std::string& nick, const std::string& address) const;
  void LockChanged(const std::string& nick, const std::string& address);
  // The same for a mark on key, at its label.
  void LockChanged(const secure::PublicKey& key);
  // The rate-limited line for an envelope from address that was dropped.
  void Dropped(const std::string& address);
  std::string Nick(const secure::PublicKey& key) const;
  // A step of the six-digit check from the peer at address (never shown as a message).
  void KeyCheckReceived(const secure::TOpened& step, const std::string& address);
  // Seals a step of the check to its key at address and sends it; false when it could not leave.
  bool SendCheckStep(const TCheckStep& step, const std::string& address);
  // After every call of the check: when its phase changed, OnCheck and the console line that goes
  // with it, and a match marks the key checked. asked: a peer began it.
  void CheckMoved(bool asked);

  FsPath dir_;
  std::unique_ptr<TKeyring> keyring_;
  const TEngineSlot& engine_;
  const TClock& clock_;
  TMsgINISupp& messages_;
  Notice notice_;
  TKeyCheckState check_;
  // The check's state machine (from Start on, when the identity is usable) and the peer's address.
  std::unique_ptr<TKeyCheck> keyCheck_;
  std::string checkAddress_;
  // The engine's sequence numbers of the last steps sent, oldest first (a few; a check has six).
  std::deque<std::uint16_t> stepSeqs_;
  // The envelope Judge opened last, with its text, until the presenter takes it.
  std::optional<std::pair<std::string, secure::TOpened>> opened_;
  // The medium-term key each peer key announced last from each address (checked; a copied program
  // directory shares the identity key, not the medium one), and when its tag was last asked for.
  std::map<std::pair<secure::PublicKey, std::string>, secure::TMediumKey> mediums_;
  std::map<secure::PublicKey, std::int64_t> mediumAsked_;
  // "nick\naddress" of peers with a key whose program answered without one.
  std::set<std::string> downgraded_;
  // Labels ("nick\naddress") of keys announced from two addresses at once, and the pairs told
  // ("key\naddress\naddress", the lower address first).
  std::map<std::string, secure::PublicKey> twins_;
  std::set<std::string> twinsTold_;
  // Keys the user was shown this run (KeyShown).
  std::set<secure::PublicKey> shown_;
  std::string mark_;
  std::int64_t markReadMs_ = 0;
  // When each address last had a dropped envelope told (ms).
  std::map<std::string, std::int64_t> droppedTold_;
};

}  // namespace plumo
