// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/private_talk.h"

#include <algorithm>
#include <chrono>

#include "core/slots.h"
#include "core/texts.h"
#include "lang/lng.h"

namespace plumo {

namespace {

// The tag's name and version, the item that names the identity key and the one that announces the
// medium-term key.
const std::string kTagHead = "\x01PLUMO/1";
const std::string kKeyItem = "k=";
const std::string kMediumItem = "e=";
// A peer's medium key is renewed kMediumRenewAfter after it was made; from then on a sender that
// still holds the old one asks for the peer's tag again (a ping, whose pong carries it), at most this
// often per peer.
constexpr std::int64_t kMediumAskQuiet = 600;
constexpr std::size_t kMaxMediums = 4096;

// A dropped envelope is told at most once a minute per address.
constexpr std::int64_t kDroppedQuietMs = 60000;
// Sequence numbers of the check's steps kept for their confirmations: a few checks' worth; a step
// never confirmed is forgotten when later ones push it out.
constexpr std::size_t kStepSeqsKept = 32;

std::string PeerId(const std::string& nick, const std::string& address) {
  return nick + "\n" + address;
}

// What a tag announces: the identity key (nullopt for a tag without one, or not a Plumo tag at all)
// and the medium-term key (not yet checked against the identity).
struct TTagItems {
  std::optional<secure::PublicKey> Key;
  std::optional<secure::TMediumKey> Medium;
};
TTagItems ReadTag(std::string_view tag) {
  TTagItems items;
  if (tag.compare(0, kTagHead.size(), kTagHead) != 0) return items;
  std::size_t at = kTagHead.size();
  while (at < tag.size()) {
    const std::size_t blank = tag.find(' ', at);
    const std::string_view item = tag.substr(at, blank == std::string::npos ? std::string::npos : blank - at);
    if (item.starts_with(kKeyItem) && !items.Key)
      items.Key = secure::KeyFromText(item.substr(kKeyItem.size()));
    if (item.starts_with(kMediumItem) && !items.Medium)
      items.Medium = secure::MediumFromText(item.substr(kMediumItem.size()));
    if (blank == std::string::npos) break;
    at = blank + 1;
  }
  return items;
}

}  // namespace

TPrivateTalk::TPrivateTalk(FsPath dir, const TEngineSlot& engine, const TClock& clock, TMsgINISupp& messages,
                           Notice notice)
    : dir_(std::move(dir)), engine_(engine), clock_(clock), messages_(messages), notice_(std::move(notice)) {}

TPrivateTalk::~TPrivateTalk() = default;

std::int64_t TPrivateTalk::Now() const {
  return clock_.NowMs() / 1000;
}

std::int64_t TPrivateTalk::MediumNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string TPrivateTalk::Text(const char* key) const {
  const TMessageScope scope(messages_);
  return messages_.GetMessage(key);
}

std::string TPrivateTalk::Fmt(const char* key, const std::vector<std::string>& args) const {
  return FormatText(Text(key), args);
}

void TPrivateTalk::Start() {
  if (!keyring_) {
    if (!secure::SecureInit()) {
      notice_(Fmt("IdentityDamaged", {"libsodium"}), true, {});
      return;
    }
    keyring_ = std::make_unique<TKeyring>(dir_);
    if (keyring_->Ready()) keyCheck_ = std::make_unique<TKeyCheck>(keyring_->Identity().Public());
  }
  if (!keyring_->Ready()) {
    notice_(Fmt("IdentityDamaged", {keyring_->Damaged()}), true, {});
    return;
  }
  keyring_->RenewMedium(MediumNow());
  if (engine_) {
    engine_->SetTag(Tag());
    engine_->SetEnvelopeGuard(this);
  }
}

void TPrivateTalk::RenewMedium(std::int64_t now) {
  if (Ready() && keyring_->RenewMedium(now) && engine_ && !engine_->Tag().empty()) engine_->SetTag(Tag());
}

void TPrivateTalk::Stop() {
  if (engine_) {
    engine_->SetEnvelopeGuard(nullptr);
    engine_->SetTag({});
  }
  if (keyring_) keyring_->Save(Now());
}

std::string TPrivateTalk::TagItem() const {
  return Ready() ? kKeyItem + secure::KeyText(keyring_->Identity().Public()) : std::string();
}

std::string TPrivateTalk::Tag() const {
  if (!Ready()) return {};
  const secure::TMediumKey* medium = keyring_->Identity().Medium();
  return kTagHead + " " + TagItem() +
         (medium ? " " + kMediumItem + secure::MediumText(*medium) : std::string());
}

std::optional<secure::TSealed> TPrivateTalk::SealTo(const secure::PublicKey& to, const std::string& address,
                                                    secure::BodyKind kind, const std::string& ownNick,
                                                    const std::string& body) {
  const std::int64_t now = MediumNow();
  RenewMedium(now);
  const std::uint64_t counter = keyring_->NextCounter();
  auto medium = mediums_.find({to, address});
  if (medium != mediums_.end()) {
    // The peer made a new medium key by now: its tag is asked for again (the pong brings it).
    const std::int64_t renewedAt =
        medium->second.Expiry - secure::kMediumLifetime + secure::kMediumRenewAfter;
    auto& asked = mediumAsked_[to];
    const TKnownKey* known = keyring_->Find(to);
    if (now >= renewedAt && now - asked >= kMediumAskQuiet && known && engine_) {
      asked = now;
      engine_->SendPing(known->Nick);
    }
    // One that expired is no use any more: version 1 until the peer announces another.
    if (medium->second.Expiry <= now) {
      mediums_.erase(medium);
      medium = mediums_.end();
    }
  }
  if (medium != mediums_.end())
    if (auto sealed =
            secure::Seal(keyring_->Identity(), to, medium->second, now, counter, kind, ownNick, body))
      return sealed;
  return secure::Seal(keyring_->Identity(), to, counter, kind, ownNick, body);
}

std::optional<secure::PublicKey> TPrivateTalk::KeyOfPeer(const std::string& nick,
                                                         const std::string& address) const {
  if (!keyring_) return std::nullopt;
  if (!address.empty()) return BoundKey(nick, address);
  // By nick alone: the key of the only roster entry of that nick that has one.
  std::optional<secure::PublicKey> found;
  if (!engine_) return found;
  for (const auto& entry : engine_->Users().Entries()) {
    if (entry->Nick != nick) continue;
    const auto key = BoundKey(entry->Nick, entry->Address);
    if (!key) continue;
    if (found && *found != *key) return std::nullopt;
    found = key;
  }
  return found;
}

TPrivateRoute TPrivateTalk::Route(const std::string& nick, const std::string& address) const {
  TPrivateRoute route;
  route.Key = KeyOfPeer(nick, address);
  if (!route.Key) return route;  // Clear
  if (!Ready()) {
    route.How = TPrivateRoute::NoIdentity;
  } else if (keyring_->Held(*route.Key)) {
    route.How = TPrivateRoute::Held;
  } else if (downgraded_.count(PeerId(nick, address)) != 0) {
    route.How = TPrivateRoute::AskClear;
  } else {
    route.How = TPrivateRoute::Encrypted;
  }
  return route;
}

std::string TPrivateTalk::RefusalText(const TPrivateRoute& route, const std::string& nick) const {
  switch (route.How) {
    case TPrivateRoute::Held:
      return Fmt("KeyHeld", {nick, nick, nick, nick});
    case TPrivateRoute::AskClear:
      return Fmt("KeyDowngraded", {nick, nick});
    case TPrivateRoute::NoIdentity:
      return Fmt("NoIdentitySend", {nick, keyring_ ? keyring_->Damaged() : std::string()});
    default:
      return {};
  }
}

std::optional<secure::TSealed> TPrivateTalk::Seal(const secure::PublicKey& to, const std::string& address,
                                                  const std::string& ownNick, const std::string& text) {
  if (!Ready()) return std::nullopt;
  return SealTo(to, address, secure::BodyKind::Text, ownNick, text);
}

void TPrivateTalk::Dropped(const std::string& address) {
  const std::int64_t now = clock_.NowMs();
  auto told = droppedTold_.find(address);
  if (told != droppedTold_.end() && now - told->second < kDroppedQuietMs && now >= told->second) return;
  droppedTold_[address] = now;
  notice_(Fmt("PrivateDropped", {address}), true, {});
}

std::string TPrivateTalk::Nick(const secure::PublicKey& key) const {
  const TKnownKey* known = keyring_ ? keyring_->Find(key) : nullptr;
  return known ? known->Nick : std::string();
}

std::optional<secure::PublicKey> TPrivateTalk::BoundKey(const std::string& nick,
                                                        const std::string& address) const {
  if (auto key = keyring_->KeyOf(nick, address)) return key;
  const auto twin = twins_.find(PeerId(nick, address));
  if (twin == twins_.end()) return std::nullopt;
  return twin->second;
}

void TPrivateTalk::SeenTwice(const secure::PublicKey& key, const std::string& nick,
                             const std::string& address) {
  const TKnownKey* known = keyring_->Find(key);
  if (known == nullptr || known->Address == address || !engine_ ||
      engine_->Users().Find(known->Nick, known->Address) < 0)
    return;
  twins_[PeerId(known->Nick, known->Address)] = key;
  twins_[PeerId(nick, address)] = key;
  const bool lowerFirst = known->Address < address;
  const std::string pair = secure::KeyText(key) + "\n" + (lowerFirst ? known->Address : address) + "\n" +
                           (lowerFirst ? address : known->Address);
  if (twinsTold_.insert(pair).second)
    notice_(Fmt("KeyTwoPlaces", {known->Nick, known->Address, nick, address}), true, {});
}

void TPrivateTalk::Sighted(const secure::PublicKey& key, const std::string& nick, const std::string& address,
                           std::int64_t now) {
  SeenTwice(key, nick, address);
  const std::optional<secure::PublicKey> before = keyring_->KeyOf(nick, address);
  const TKeySighting sighting = keyring_->Sighted(key, nick, address, now);
  if (sighting.What == TKeySighting::Changed || sighting.What == TKeySighting::ChangedChecked) {
    notice_(Fmt("KeyChanged", {nick, address, nick}), true, address);
    if (sighting.What == TKeySighting::ChangedChecked)
      notice_(Fmt("KeyHeld", {nick, nick, nick, nick}), true, address);
  }
  if (sighting.What != TKeySighting::Known || before != key) LockChanged(nick, address);
}

void TPrivateTalk::LockChanged(const std::string& nick, const std::string& address) {
  if (OnLockChanged) OnLockChanged(nick, address);
}

void TPrivateTalk::LockChanged(const secure::PublicKey& key) {
  if (const TKnownKey* known = keyring_ ? keyring_->Find(key) : nullptr)
    LockChanged(known->Nick, known->Address);
}

TEnvelopeVerdict TPrivateTalk::Judge(const TMStigs& /*fields*/, std::string_view text,
                                     const std::string& address) {
  if (!secure::IsEnvelope(text)) return {};
  if (!Ready()) {
    Dropped(address);
    return {TEnvelopeVerdict::Refused, {}};
  }
  // (The own medium key is renewed by the Tick below: the previous one still opens.)
  std::optional<secure::TOpened> opened = secure::Open(keyring_->Identity(), text, MediumNow());
  // An envelope that names the own key as its sender is one of the own sent back (reflected).
  if (!opened || opened->Sender == keyring_->Identity().Public()) {
    Dropped(address);
    return {TEnvelopeVerdict::Refused, {}};
  }
  // The authenticated counter decides what is a repeat: a resend is confirmed again, a replay
  // older than the window is refused.
  if (keyring_->SeenBefore(opened->Sender, opened->Counter))
    return {TEnvelopeVerdict::Repeat, opened->Receipt};
  if (!keyring_->AcceptCounter(opened->Sender, opened->Counter)) {
    Dropped(address);
    return {TEnvelopeVerdict::Refused, {}};
  }
  const std::int64_t now = Now();
  Sighted(opened->Sender, opened->Nick, address, now);
  // A message with the key is proof enough that the peer's program encrypts.
  if (downgraded_.erase(PeerId(opened->Nick, address)) != 0) LockChanged(opened->Nick, address);
  TEnvelopeVerdict verdict{TEnvelopeVerdict::Fresh, opened->Receipt};
  // A step of the key check is kept too, so that the listeners know not to show it.
  if (opened->Kind == secure::BodyKind::KeyCheck) KeyCheckReceived(*opened, address);
  opened_.emplace(std::string(text), std::move(*opened));
  Tick(now);
  return verdict;
}

std::optional<secure::TOpened> TPrivateTalk::TakeOpened(std::string_view text) {
  if (!opened_ || opened_->first != text) return std::nullopt;
  std::optional<secure::TOpened> taken = std::move(opened_->second);
  opened_.reset();
  return taken;
}

const secure::TOpened* TPrivateTalk::Opened(std::string_view text) const {
  return opened_ && opened_->first == text ? &opened_->second : nullptr;
}

bool TPrivateTalk::ClearFromKeyedPeer(const std::string& nick, const std::string& address) const {
  if (!keyring_) return false;
  if (BoundKey(nick, address)) return true;
  if (!engine_) return false;
  const auto& entries = engine_->Users().Entries();
  return std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
    return entry->Address == address && keyring_->KeyOf(entry->Nick, address).has_value();
  });
}

void TPrivateTalk::TagSeen(const std::string& nick, const std::string& address, const std::string& tag) {
  if (!keyring_) return;
  const TTagItems items = ReadTag(tag);
  const std::optional<secure::PublicKey>& key = items.Key;
  const std::string id = PeerId(nick, address);
  if (!key) {
    // A peer that had a key and now answers without one: nothing goes to it in clear text unless the
    // user chooses so for a message.
    if (BoundKey(nick, address) && downgraded_.insert(id).second) {
      notice_(Fmt("KeyDowngraded", {nick, nick}), true, address);
      LockChanged(nick, address);
    }
    return;
  }
  if (Ready() && *key == keyring_->Identity().Public()) return;  // the own hello
  if (downgraded_.erase(id) != 0) LockChanged(nick, address);
  const std::int64_t now = Now();
  Sighted(*key, nick, address, now);
  // A medium key is used only when its identity signed it and it is in time; a tag without a valid one
  // leaves the one known in place until it expires, and an older one never replaces a newer one.
  if (items.Medium) {
    const auto known = mediums_.find({*key, address});
    if ((known == mediums_.end() ||
         (known->second != *items.Medium && known->second.Expiry <= items.Medium->Expiry)) &&
        secure::MediumValid(*key, *items.Medium, MediumNow())) {
      // Forged tags may bring any number of keys: past this many, those of forgotten keys and expired
      // ones go.
      if (mediums_.size() >= kMaxMediums)
        std::erase_if(mediums_, [this](const auto& entry) {
          return entry.second.Expiry <= MediumNow() || keyring_->Find(entry.first.first) == nullptr;
        });
      mediums_[{*key, address}] = *items.Medium;
    }
  }
  Tick(now);
}

LockMark TPrivateTalk::Lock(const std::string& nick, const std::string& address) const {
  const std::optional<secure::PublicKey> key = KeyOfPeer(nick, address);
  if (!key) return LockMark::None;
  if (keyring_->Held(*key) || downgraded_.count(PeerId(nick, address)) != 0) return LockMark::Changed;
  const TKnownKey* known = keyring_->Find(*key);
  return known && known->Checked ? LockMark::Checked : LockMark::Locked;
}

std::string TPrivateTalk::TabStatus(const std::vector<std::string>& addresses,
                                    const std::vector<std::string>& nicks) const {
  std::string status;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const std::string nick = i < nicks.size() ? nicks[i] : addresses[i];
    const TPrivateRoute route = Route(nick, addresses[i]);
    std::string part;
    switch (route.How) {
      case TPrivateRoute::Clear:
        part = Fmt("TabNotEncrypted", {nick});
        break;
      case TPrivateRoute::Encrypted: {
        // The lock and whether the key is checked; no part of the fingerprint, which a forger could
        // grind a key to match.
        const TKnownKey* known = keyring_->Find(*route.Key);
        part = Fmt(known != nullptr && known->Checked ? "TabEncryptedChecked" : "TabEncryptedNotChecked",
                   {nick});
        break;
      }
      default:
        part = RefusalText(route, nick);
        break;
    }
    status += (status.empty() ? "" : "; ") + part;
  }
  return status;
}

const std::string& TPrivateTalk::EncryptedMark() {
  const std::int64_t now = clock_.NowMs();
  if (mark_.empty() || now - markReadMs_ >= 1000 || now < markReadMs_) {
    mark_ = Text(kEncryptedMarkKey);
    markReadMs_ = now;
  }
  return mark_;
}

std::string TPrivateTalk::OwnFingerprint() const {
  return Ready() ? secure::Fingerprint(keyring_->Identity().Public()) : std::string();
}

std::string TPrivateTalk::SafetyNumber(const secure::PublicKey& peer) const {
  return Ready() ? secure::SafetyNumber(keyring_->Identity().Public(), peer) : std::string();
}

bool TPrivateTalk::SendCheckStep(const TCheckStep& step, const std::string& address) {
  if (!Ready() || !engine_) return false;
  const TKnownKey* known = keyring_->Find(step.To);
  const std::string nick = step.To == check_.Peer ? check_.Nick : known ? known->Nick : std::string();
  const std::optional<secure::TSealed> sealed =
      SealTo(step.To, address, secure::BodyKind::KeyCheck, engine_->Nick(), step.Body);
  if (!sealed ||
      engine_->SendPrivateMessage(nick, sealed->Field, address, sealed->Receipt) != SendResult::Sent)
    return false;
  stepSeqs_.push_back(engine_->Counters().Current(pkPrivateMessage));
  if (stepSeqs_.size() > kStepSeqsKept) stepSeqs_.pop_front();
  return true;
}

bool TPrivateTalk::TakeCheckStepConfirmed(std::uint16_t seq) {
  const auto it = std::find(stepSeqs_.begin(), stepSeqs_.end(), seq);
  if (it == stepSeqs_.end()) return false;
  stepSeqs_.erase(it);
  return true;
}

void TPrivateTalk::CheckMoved(bool asked) {
  const TKeyCheckState now = keyCheck_->State();
  const bool moved = now.What != check_.What || now.Code != check_.Code || now.Peer != check_.Peer;
  check_ = now;
  if (!moved) return;
  const char* key = nullptr;
  std::vector<std::string> args{check_.Nick};
  switch (check_.What) {
    case TKeyCheckState::Waiting:
      key = asked ? "CheckAsked" : "CheckWaiting";
      break;
    case TKeyCheckState::Compare:
      key = "CheckCompare";
      args.push_back(check_.Code);
      break;
    case TKeyCheckState::Matched:
      key = "CheckMatched";
      SetChecked(check_.Peer, true);
      break;
    case TKeyCheckState::Mismatch:
      key = "CheckMismatch";
      break;
    case TKeyCheckState::Cancelled:
      key = "CheckCancelled";
      break;
    case TKeyCheckState::Idle:
      break;
  }
  if (key) notice_(Fmt(key, args), check_.What == TKeyCheckState::Mismatch, {});
  if (OnCheck) OnCheck(check_);
}

bool TPrivateTalk::StartCheck(const std::string& nick, const std::string& address) {
  if (!keyCheck_ || !engine_) return false;
  const std::optional<secure::PublicKey> key = KeyOfPeer(nick, address);
  if (!key) return false;
  const TKnownKey* known = keyring_->Find(*key);
  const std::string to = !address.empty() || known == nullptr ? address : known->Address;
  const std::optional<TCheckStep> step = keyCheck_->Start(*key, nick);
  if (!step) return false;
  checkAddress_ = to;
  if (!SendCheckStep(*step, to)) keyCheck_->Cancel();
  CheckMoved(false);
  return check_.What == TKeyCheckState::Waiting;
}

void TPrivateTalk::ConfirmCheck(bool sameDigits) {
  if (!keyCheck_) return;
  if (const std::optional<TCheckStep> step = keyCheck_->Answer(sameDigits))
    SendCheckStep(*step, checkAddress_);
  CheckMoved(false);
}

void TPrivateTalk::CancelCheck() {
  if (!keyCheck_) return;
  if (const std::optional<TCheckStep> step = keyCheck_->Cancel()) SendCheckStep(*step, checkAddress_);
  CheckMoved(false);
}

void TPrivateTalk::KeyCheckReceived(const secure::TOpened& step, const std::string& address) {
  if (!keyCheck_) return;
  const bool wasRunning = keyCheck_->Running();
  const std::vector<TCheckStep> answers = keyCheck_->Receive(step.Sender, step.Nick, step.Body);
  // A check the peer began answers to the address its steps come from.
  if (keyCheck_->Running() && keyCheck_->Peer() == step.Sender) checkAddress_ = address;
  for (const TCheckStep& answer : answers)
    SendCheckStep(answer, answer.To == step.Sender ? address : checkAddress_);
  CheckMoved(!wasRunning);
}

void TPrivateTalk::SetChecked(const secure::PublicKey& key, bool checked) {
  const TKnownKey* known = keyring_ ? keyring_->Find(key) : nullptr;
  if (known == nullptr) return;
  const bool changed = known->Checked != checked || (checked && keyring_->Held(key));
  keyring_->SetChecked(key, checked);
  if (!changed) return;
  keyring_->Save(Now());
  LockChanged(key);
}

void TPrivateTalk::Trust(const secure::PublicKey& key) {
  if (!keyring_ || !keyring_->Held(key)) return;
  keyring_->Trust(key);
  keyring_->Save(Now());
  LockChanged(key);
}

void TPrivateTalk::Tick(std::int64_t now) {
  RenewMedium(MediumNow());
  if (keyring_ && keyring_->SaveDue(now)) keyring_->Save(now);
}

}  // namespace plumo
