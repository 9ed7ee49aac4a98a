// SPDX-License-Identifier: GPL-3.0-or-later
// TKeyring: this program's identity and what it knows of other peers' keys, on disk in the program
// directory, and the trust rules built on it. The key is the person; nick and address are labels
// that may change or be shared (thirty lab machines called "student" have thirty keys).
//
// Files (all replaced atomically: written, flushed, renamed; created 0600):
//   identity.key      "PLUMO-IDENTITY 1" and "secret=" unpadded base64url of the 64-byte Ed25519
//                     secret. Made at the first start (written to a temporary file, flushed, and
//                     linked to its name only if no file has it). A damaged file is never replaced:
//                     private messages stay off and Damaged() says why, until the user moves it away.
//   identity.counter  the message counter lease ([Lease] Next=C): at start C is read and C + kLease
//                     written, this run numbers from C, and leases again when the lease runs out. Its
//                     own small file, so that the secret key file is written once only. Counters start
//                     at 1; when the file is lost or damaged under an existing identity, numbering
//                     restarts from the clock in microseconds, above anything numbered before.
//   identity.medium   the secrets of the own medium-term keys (current and previous, see
//                     secure::TMediumKey), "PLUMO-MEDIUM 1" and a "medium=" line each; replaced whole
//                     (temporary file, flushed, renamed) at every renewal, so that a wiped key is gone
//                     from the disk too. Never in identity.key: a stolen identity file must not open
//                     what was sealed to a medium key. Damaged or missing: a new key is made.
//   keys.ini          one section per known key, named by the key in hexadecimal (section names match
//                     without regard to letter case, base64 texts do not): Key (KeyText), Nick,
//                     Address, FirstSeen, LastSeen (Unix seconds), Checked (0/1), Counter (the replay
//                     window's top), Replaced (KeyText of the key this one replaced at the same nick
//                     and address), Held (1 while sending to it is held). Saved when SaveDue().
//
// Key change: a peer (nick at address) that was seen with key K1 now announces an unknown key K2, and
// K1 has not been seen at another address or under another nick since. A nick change at the same
// address with the same key, one key moving to another address, or two keys under one nick at two
// addresses are no change. A key that replaced a checked key stays held until it is checked or
// trusted, and a key replacing a held key is held as well.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lang/fs_path.h"
#include "secure/private_box.h"

namespace plumo {

struct TKnownKey {
  secure::PublicKey Key{};
  std::string Nick;     // the label it was last seen with
  std::string Address;  // where it was last seen
  std::int64_t FirstSeen = 0;
  std::int64_t LastSeen = 0;
  bool Checked = false;
  std::uint64_t Counter = 0;  // top of the replay window
  std::optional<secure::PublicKey> Replaced;
};

// What an announcement (a tag's key, or the key inside an opened envelope) means.
struct TKeySighting {
  enum Kind {
    Known,           // the key is known (labels updated)
    FirstSeen,       // a new key, nothing known at that nick and address: trusted on first use
    Changed,         // another key than the one this nick at this address had, which was not checked
    ChangedChecked,  // the same, and the old key had been checked: sending to it is held
  };
  Kind What = Known;
  std::optional<secure::PublicKey> Previous;  // Changed*: the key the peer had
};

class TKeyring {
 public:
  static constexpr std::uint64_t kLease = 4096;

  // Opens (or creates) the identity, leases counters and reads keys.ini in dir.
  explicit TKeyring(FsPath dir);
  // Whether private messages can work: the identity opened (or was created).
  bool Ready() const { return identity_.has_value(); }
  // Why not, when not Ready: a text naming the file and the fault (empty when Ready).
  const std::string& Damaged() const { return damaged_; }
  const secure::TIdentity& Identity() const { return *identity_; }

  // Makes the own medium-term key when there is none or it is due (once a day), reading
  // identity.medium first the first time, and saves the secrets. True when the current medium key
  // changed (the tag announces it). now: Unix seconds.
  bool RenewMedium(std::int64_t now);

  // The next message counter (leasing ahead on disk when the lease runs out).
  std::uint64_t NextCounter();

  // A key announced by nick at address (a tag, or an opened envelope). Records it and says what it
  // means. now: Unix seconds.
  TKeySighting Sighted(const secure::PublicKey& key, const std::string& nick, const std::string& address,
                       std::int64_t now);
  // The key this nick at this address was last seen with (sticky: kept when later datagrams lack
  // the tag), or nullopt.
  std::optional<secure::PublicKey> KeyOf(const std::string& nick, const std::string& address) const;
  const TKnownKey* Find(const secure::PublicKey& key) const;
  // The known keys whose label is nick (for /key NICK when the roster does not have it).
  std::vector<const TKnownKey*> WithNick(const std::string& nick) const;

  // Marks a key checked (after the safety number or the six digits matched) or not.
  void SetChecked(const secure::PublicKey& key, bool checked);
  // Accepts a changed key without checking it (/trust): sending to it is no longer held.
  void Trust(const secure::PublicKey& key);
  // Whether sending to key is held because it replaced a checked key that the user has not yet
  // checked or trusted.
  bool Held(const secure::PublicKey& key) const;

  // The replay window of a sender key: true when counter is new (recorded), false for a repeat or a
  // counter older than the window. SeenBefore: whether it is a repeat of an accepted one.
  bool AcceptCounter(const secure::PublicKey& key, std::uint64_t counter);
  bool SeenBefore(const secure::PublicKey& key, std::uint64_t counter) const;

  // keys.ini has changes not yet saved, and at least 5 s passed since the last save (now: Unix
  // seconds). Save writes it atomically; false (and the file untouched) on failure.
  bool SaveDue(std::int64_t now) const;
  bool Save(std::int64_t now);

 private:
  using Label = std::pair<std::string, std::string>;  // nick, address

  void OpenIdentity(bool& created);
  void LeaseCounters(bool freshIdentity);
  bool WriteLease(std::uint64_t next);
  void LoadKeys();
  // Makes key the one bound to label (dropping its former label's binding).
  void Bind(const secure::PublicKey& key, const Label& label);

  FsPath dir_;
  std::optional<secure::TIdentity> identity_;
  std::string damaged_;
  std::uint64_t counter_ = 0;
  std::uint64_t leasedTo_ = 0;
  std::map<secure::PublicKey, TKnownKey> keys_;
  std::map<secure::PublicKey, secure::TReplayWindow> windows_;
  std::map<secure::PublicKey, bool> held_;
  // The key each label was last seen with (KeyOf), and each key's label in it.
  std::map<Label, secure::PublicKey> bound_;
  std::map<secure::PublicKey, Label> labelOf_;
  std::set<secure::PublicKey> dirty_;  // keys whose section is not saved yet
  std::int64_t savedAt_ = 0;
  bool mediumRead_ = false;
};

}  // namespace plumo
