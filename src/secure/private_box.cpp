// SPDX-License-Identifier: GPL-3.0-or-later
#include "secure/private_box.h"

#include <sodium.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace plumo::secure {

const std::string kEnvelopePrefix = "\x01PE";
const std::string kReceiptPrefix = "\x01PR";

namespace {

using Bytes32 = std::array<std::uint8_t, 32>;

constexpr std::size_t kSecretBytes = crypto_sign_SECRETKEYBYTES;  // 64: seed | public key
constexpr std::size_t kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t kTagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr std::size_t kCounterBytes = 8;
constexpr std::size_t kHeaderBytes = 1 + kKeyBytes + kCounterBytes + kNonceBytes;
constexpr std::size_t kPadTo = 32;
constexpr std::size_t kReceiptBytes = 16;
// kind | nick length | u16 body length: the smallest plaintext before padding.
constexpr std::size_t kPlainOverhead = 4;
constexpr char kReceiptContext[crypto_kdf_CONTEXTBYTES + 1] = "PLUMORCT";
constexpr std::uint64_t kReceiptKeyId = 1;

static_assert(crypto_kx_SESSIONKEYBYTES == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(crypto_kx_SESSIONKEYBYTES == crypto_kdf_KEYBYTES);
static_assert(crypto_sign_PUBLICKEYBYTES == kKeyBytes);
static_assert(crypto_scalarmult_BYTES == 32 && crypto_scalarmult_SCALARBYTES == 32);

// A secret of n bytes on the stack, wiped when it goes out of scope.
template <std::size_t N>
struct Wiped {
  std::array<std::uint8_t, N> Bytes{};
  Wiped() = default;
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;
  ~Wiped() { sodium_memzero(Bytes.data(), Bytes.size()); }
  std::uint8_t* data() { return Bytes.data(); }
  const std::uint8_t* data() const { return Bytes.data(); }
};

// A heap buffer (a plaintext) wiped when it goes.
struct WipedString {
  std::string Text;
  WipedString() = default;
  WipedString(const WipedString&) = delete;
  WipedString& operator=(const WipedString&) = delete;
  ~WipedString() { sodium_memzero(Text.data(), Text.size()); }
};

const std::uint8_t* U8(std::string_view text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

void PutBigEndian(std::string& out, std::uint64_t value) {
  for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::uint64_t GetBigEndian(const std::uint8_t* in, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i) value = (value << 8) | in[i];
  return value;
}

void PutBigEndian(std::uint8_t* out, std::uint64_t value) {
  for (int i = 7; i >= 0; --i, value >>= 8) out[i] = static_cast<std::uint8_t>(value & 0xFF);
}

// version | sender key | recipient key | counter.
using AssociatedData = std::array<std::uint8_t, 1 + 2 * kKeyBytes + kCounterBytes>;
AssociatedData MakeAssociatedData(const PublicKey& sender, const PublicKey& recipient,
                                  std::uint64_t counter) {
  AssociatedData ad{};
  ad[0] = kEnvelopeVersion;
  std::memcpy(ad.data() + 1, sender.data(), kKeyBytes);
  std::memcpy(ad.data() + 1 + kKeyBytes, recipient.data(), kKeyBytes);
  PutBigEndian(ad.data() + 1 + 2 * kKeyBytes, counter);
  return ad;
}

// The keys of one direction: the cipher's, and the receipt's (crypto_kdf of the cipher's, which
// depends on nothing else, so it is derived once with it).
struct DirectionKeys {
  const std::uint8_t* Cipher = nullptr;
  const std::uint8_t* Receipt = nullptr;
};

void DeriveReceiptKey(std::uint8_t* receiptKey, const std::uint8_t* directionKey) {
  crypto_kdf_derive_from_key(receiptKey, crypto_generichash_KEYBYTES, kReceiptKeyId, kReceiptContext,
                             directionKey);
}

std::string MakeReceipt(const std::uint8_t* receiptKey, std::uint64_t counter, const std::uint8_t* nonce) {
  constexpr std::string_view kLabel = "RECEIPT";
  std::array<std::uint8_t, kLabel.size() + kCounterBytes + kNonceBytes> input{};
  std::memcpy(input.data(), kLabel.data(), kLabel.size());
  PutBigEndian(input.data() + kLabel.size(), counter);
  std::memcpy(input.data() + kLabel.size() + kCounterBytes, nonce, kNonceBytes);
  std::array<std::uint8_t, crypto_generichash_BYTES> hash{};
  crypto_generichash(hash.data(), hash.size(), input.data(), input.size(), receiptKey,
                     crypto_generichash_KEYBYTES);
  return kReceiptPrefix + Stuff(std::string_view(reinterpret_cast<const char*>(hash.data()), kReceiptBytes));
}

Bytes32 Hash32(std::string_view domain, const std::uint8_t* data, std::size_t size) {
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, 32);
  crypto_generichash_update(&state, U8(domain), domain.size());
  crypto_generichash_update(&state, data, size);
  Bytes32 out{};
  crypto_generichash_final(&state, out.data(), out.size());
  return out;
}

}  // namespace

bool SecureInit() {
  return sodium_init() >= 0;
}

std::string Stuff(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 64 + 4);
  // Runs without 0x00 and 0x01 are copied whole (ciphertext has one such byte in 128).
  std::size_t run = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c > 1) continue;
    out.append(bytes.data() + run, i - run);
    out.push_back('\x01');
    out.push_back(c == 0 ? '\x02' : '\x03');
    run = i + 1;
  }
  out.append(bytes.data() + run, bytes.size() - run);
  return out;
}

std::optional<std::string> Unstuff(std::string_view stuffed) {
  if (stuffed.empty()) return std::string();
  const char* in = stuffed.data();
  const std::size_t size = stuffed.size();
  if (std::memchr(in, '\x00', size) != nullptr) return std::nullopt;  // never in a stuffed text
  std::string out(size, '\0');
  std::size_t length = 0;
  std::size_t at = 0;
  while (at < size) {
    const auto* escape = static_cast<const char*>(std::memchr(in + at, '\x01', size - at));
    const std::size_t end = escape ? static_cast<std::size_t>(escape - in) : size;
    std::memcpy(out.data() + length, in + at, end - at);
    length += end - at;
    if (!escape) break;
    if (end + 1 == size) return std::nullopt;
    if (in[end + 1] == '\x02') {
      out[length++] = '\x00';
    } else if (in[end + 1] == '\x03') {
      out[length++] = '\x01';
    } else {
      return std::nullopt;
    }
    at = end + 2;
  }
  out.resize(length);
  return out;
}

std::string Base64(std::string_view bytes) {
  constexpr int kVariant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
  std::string text(sodium_base64_ENCODED_LEN(bytes.size(), kVariant), '\0');  // with the terminator
  sodium_bin2base64(text.data(), text.size(), U8(bytes), bytes.size(), kVariant);
  text.pop_back();
  return text;
}

std::optional<std::string> FromBase64(std::string_view text) {
  std::string bytes(text.size() * 3 / 4 + 1, '\0');
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), text.data(), text.size(),
                        nullptr, &length, &end, sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0 ||
      end != text.data() + text.size())
    return std::nullopt;
  bytes.resize(length);
  // One text per byte string: the unused low bits of the last character must be zero.
  if (Base64(bytes) != text) {
    Wipe(bytes);
    return std::nullopt;
  }
  return bytes;
}

void Wipe(std::string& secret) {
  sodium_memzero(secret.data(), secret.size());
  secret.clear();
}

void RandomBytes(std::uint8_t* out, std::size_t size) {
  randombytes_buf(out, size);
}

std::string KeyText(const PublicKey& key) {
  return Base64(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
}

std::optional<PublicKey> KeyFromText(std::string_view text) {
  if (text.size() != 43) return std::nullopt;
  const auto bytes = FromBase64(text);
  if (!bytes || bytes->size() != kKeyBytes) return std::nullopt;
  PublicKey key{};
  std::memcpy(key.data(), bytes->data(), kKeyBytes);
  return key;
}

// --- Medium-term keys

namespace {

constexpr std::string_view kMediumDomain = "PLUMO-MEDIUM1";
using MediumMessage = std::array<std::uint8_t, kMediumDomain.size() + kKeyBytes + 8>;

MediumMessage MakeMediumMessage(const Bytes32& key, std::int64_t expiry) {
  MediumMessage message{};
  std::memcpy(message.data(), kMediumDomain.data(), kMediumDomain.size());
  std::memcpy(message.data() + kMediumDomain.size(), key.data(), kKeyBytes);
  PutBigEndian(message.data() + kMediumDomain.size() + kKeyBytes, static_cast<std::uint64_t>(expiry));
  return message;
}

bool MediumInTime(std::int64_t expiry, std::int64_t now) {
  return expiry > now && expiry - now <= kMediumMaxAhead;
}

// Sizes of the version 2 header: the sender's medium key as announced, the recipient's medium key id.
constexpr std::size_t kExpiryBytes = 8;
constexpr std::size_t kMediumIdBytes = 8;
constexpr std::size_t kHeader2Bytes =
    1 + kKeyBytes + kKeyBytes + kExpiryBytes + kSignatureBytes + kMediumIdBytes + kCounterBytes + kNonceBytes;
constexpr std::size_t kBound2Bytes = kHeader2Bytes - kNonceBytes;  // what the associated data repeats
// Saved medium secret: secret 32 | expiry 8 | signature 64.
constexpr std::size_t kSavedMediumBytes = 32 + kExpiryBytes + kSignatureBytes;

}  // namespace

std::string MediumText(const TMediumKey& medium) {
  return KeyText(medium.Key) + "." + std::to_string(medium.Expiry) + "." +
         Base64(std::string_view(reinterpret_cast<const char*>(medium.Signature.data()), kSignatureBytes));
}

std::optional<TMediumKey> MediumFromText(std::string_view text) {
  const std::size_t dot1 = text.find('.');
  const std::size_t dot2 = dot1 == std::string_view::npos ? dot1 : text.find('.', dot1 + 1);
  if (dot2 == std::string_view::npos) return std::nullopt;
  const auto key = KeyFromText(text.substr(0, dot1));
  const std::string_view digits = text.substr(dot1 + 1, dot2 - dot1 - 1);
  const auto signature = FromBase64(text.substr(dot2 + 1));
  std::int64_t expiry = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), expiry);
  if (!key || !signature || signature->size() != kSignatureBytes || digits.empty() || digits[0] < '1' ||
      digits[0] > '9' || error != std::errc() || end != digits.data() + digits.size())
    return std::nullopt;
  TMediumKey medium;
  medium.Key = *key;
  medium.Expiry = expiry;
  std::memcpy(medium.Signature.data(), signature->data(), kSignatureBytes);
  return medium;
}

bool MediumValid(const PublicKey& identity, const TMediumKey& medium, std::int64_t now) {
  if (!MediumInTime(medium.Expiry, now)) return false;
  const MediumMessage message = MakeMediumMessage(medium.Key, medium.Expiry);
  return crypto_sign_verify_detached(medium.Signature.data(), message.data(), message.size(),
                                     identity.data()) == 0;
}

// --- TIdentity

constexpr std::size_t kRecentPeers = 32;

struct TIdentity::Vault {
  std::uint8_t Secret[kSecretBytes];
  std::uint8_t XSecret[crypto_scalarmult_SCALARBYTES];
  // The direction keys shared with a peer: between the identities (version 1), or between a peer's
  // medium key and an own one (version 2; then PeerMedium and OwnMedium say which).
  struct Shared {
    bool Used;
    PublicKey Peer;
    TMediumKey PeerMedium;
    Bytes32 OwnMedium;
    std::uint8_t Send[crypto_kx_SESSIONKEYBYTES];     // own -> peer
    std::uint8_t Receive[crypto_kx_SESSIONKEYBYTES];  // peer -> own
    std::uint8_t SendReceipt[crypto_generichash_KEYBYTES];
    std::uint8_t ReceiveReceipt[crypto_generichash_KEYBYTES];
  };
  Shared Recent[kRecentPeers];  // version 1
  std::size_t Next;
  Shared Recent2[kRecentPeers];  // version 2
  std::size_t Next2;
  // The own medium keys: [0] current, [1] previous.
  struct Medium {
    bool Used;
    TMediumKey Public;
    std::uint8_t Secret[crypto_kx_SECRETKEYBYTES];
  } Mediums[2];
};

struct IdentityAccess {
  // Derives the X25519 form once the Ed25519 pair is in place.
  static void Complete(TIdentity& identity) {
    crypto_sign_ed25519_sk_to_curve25519(identity.vault_->XSecret, identity.vault_->Secret);
    // A public key the key pair functions made always converts.
    if (crypto_sign_ed25519_pk_to_curve25519(identity.xPublic_.data(), identity.public_.data()) != 0)
      std::abort();
  }

  // Fills slot with the direction keys of own (public, secret) and other (public) by crypto_kx; the
  // lower identity key plays the client. False (slot wiped) for a low-order result.
  static bool Exchange(TIdentity::Vault::Shared& slot, bool client, const std::uint8_t* ownPublic,
                       const std::uint8_t* ownSecret, const std::uint8_t* otherPublic) {
    // client: (receive, send) = client keys; server: (receive, send) = server keys.
    const int result =
        client ? crypto_kx_client_session_keys(slot.Receive, slot.Send, ownPublic, ownSecret, otherPublic)
               : crypto_kx_server_session_keys(slot.Receive, slot.Send, ownPublic, ownSecret, otherPublic);
    if (result != 0) {
      sodium_memzero(&slot, sizeof slot);
      return false;
    }
    DeriveReceiptKey(slot.SendReceipt, slot.Send);
    DeriveReceiptKey(slot.ReceiveReceipt, slot.Receive);
    slot.Used = true;
    return true;
  }

  static DirectionKeys Keys(const TIdentity::Vault::Shared& slot, bool sending) {
    return sending ? DirectionKeys{slot.Send, slot.SendReceipt}
                   : DirectionKeys{slot.Receive, slot.ReceiveReceipt};
  }

  // The key of the direction from sender to recipient, as either side computes it: own is the sender
  // when sending, the recipient when receiving. The lower Ed25519 public key plays crypto_kx's
  // client. False when other does not convert, the exchange gives a low-order result, or other is
  // own's key (one key cannot be both ends: no envelope reflected to its sender). The keys point into
  // the identity's memory and stay valid until its next Seal or Open.
  static bool DirectionKey(const TIdentity& own, const PublicKey& other, bool sending, DirectionKeys& keys) {
    if (!own.vault_ || own.public_ == other) return false;
    TIdentity::Vault& vault = *own.vault_;
    for (const auto& shared : vault.Recent)
      if (shared.Used && shared.Peer == other) {
        keys = Keys(shared, sending);
        return true;
      }
    Bytes32 otherX{};
    if (crypto_sign_ed25519_pk_to_curve25519(otherX.data(), other.data()) != 0) return false;
    auto& slot = vault.Recent[vault.Next];
    const bool client = std::memcmp(own.public_.data(), other.data(), kKeyBytes) < 0;
    if (!Exchange(slot, client, own.xPublic_.data(), vault.XSecret, otherX.data())) return false;
    slot.Peer = other;
    vault.Next = (vault.Next + 1) % kRecentPeers;
    keys = Keys(slot, sending);
    return true;
  }

  // The same between other's medium key and own medium key number ownIndex (version 2). The other's
  // medium key must be signed by other and in time at now; its signature is checked once per key.
  static bool MediumDirectionKey(const TIdentity& own, const PublicKey& other, const TMediumKey& otherMedium,
                                 std::size_t ownIndex, std::int64_t now, bool sending, DirectionKeys& keys) {
    if (!own.vault_ || own.public_ == other || !MediumInTime(otherMedium.Expiry, now)) return false;
    TIdentity::Vault& vault = *own.vault_;
    const auto& mine = vault.Mediums[ownIndex];
    if (!mine.Used || mine.Public.Key == otherMedium.Key) return false;
    for (const auto& shared : vault.Recent2)
      if (shared.Used && shared.Peer == other && shared.PeerMedium == otherMedium &&
          shared.OwnMedium == mine.Public.Key) {
        keys = Keys(shared, sending);
        return true;
      }
    if (!MediumValid(other, otherMedium, now)) return false;
    auto& slot = vault.Recent2[vault.Next2];
    const bool client = std::memcmp(own.public_.data(), other.data(), kKeyBytes) < 0;
    if (!Exchange(slot, client, mine.Public.Key.data(), mine.Secret, otherMedium.Key.data())) return false;
    slot.Peer = other;
    slot.PeerMedium = otherMedium;
    slot.OwnMedium = mine.Public.Key;
    vault.Next2 = (vault.Next2 + 1) % kRecentPeers;
    keys = Keys(slot, sending);
    return true;
  }

  // Wipes the medium key number index and every direction key derived from it.
  static void WipeMedium(TIdentity::Vault& vault, std::size_t index) {
    auto& medium = vault.Mediums[index];
    if (!medium.Used) return;
    for (auto& shared : vault.Recent2)
      if (shared.Used && shared.OwnMedium == medium.Public.Key) sodium_memzero(&shared, sizeof shared);
    sodium_memzero(&medium, sizeof medium);
  }

  // Signs a medium key's public half and expiry with the identity.
  static void Sign(const TIdentity& own, TMediumKey& medium) {
    const MediumMessage message = MakeMediumMessage(medium.Key, medium.Expiry);
    crypto_sign_detached(medium.Signature.data(), nullptr, message.data(), message.size(),
                         own.vault_->Secret);
  }

  static const Bytes32& MediumKey(const TIdentity& own, int index) {
    return own.vault_->Mediums[index].Public.Key;
  }

  // The index of the own medium key whose public half starts with id, or -1.
  static int MediumById(const TIdentity& own, const std::uint8_t* id) {
    for (std::size_t i = 0; i < 2; ++i) {
      const auto& medium = own.vault_->Mediums[i];
      if (medium.Used && std::memcmp(medium.Public.Key.data(), id, kMediumIdBytes) == 0)
        return static_cast<int>(i);
    }
    return -1;
  }
};

TIdentity::TIdentity() : vault_(static_cast<Vault*>(sodium_malloc(sizeof(Vault)))) {
  if (!vault_) throw std::bad_alloc();
  sodium_memzero(vault_, sizeof(Vault));
}

TIdentity::TIdentity(TIdentity&& other) noexcept
    : public_(other.public_), xPublic_(other.xPublic_), vault_(std::exchange(other.vault_, nullptr)) {}

TIdentity& TIdentity::operator=(TIdentity&& other) noexcept {
  if (this != &other) {
    if (vault_) sodium_free(vault_);
    public_ = other.public_;
    xPublic_ = other.xPublic_;
    vault_ = std::exchange(other.vault_, nullptr);
  }
  return *this;
}

TIdentity::~TIdentity() {
  if (vault_) sodium_free(vault_);  // sodium_free wipes before it frees
}

TIdentity TIdentity::Generate() {
  TIdentity identity;
  crypto_sign_keypair(identity.public_.data(), identity.vault_->Secret);
  IdentityAccess::Complete(identity);
  return identity;
}

std::optional<TIdentity> TIdentity::FromSecret(std::string_view secret64) {
  if (secret64.size() != kSecretBytes) return std::nullopt;
  TIdentity identity;
  crypto_sign_seed_keypair(identity.public_.data(), identity.vault_->Secret, U8(secret64));
  // The saved public half must be the one the seed gives.
  if (sodium_memcmp(identity.vault_->Secret, secret64.data(), kSecretBytes) != 0) return std::nullopt;
  IdentityAccess::Complete(identity);
  return identity;
}

std::optional<TIdentity> TIdentity::FromSeed(std::string_view seed32) {
  if (seed32.size() != crypto_sign_SEEDBYTES) return std::nullopt;
  TIdentity identity;
  crypto_sign_seed_keypair(identity.public_.data(), identity.vault_->Secret, U8(seed32));
  IdentityAccess::Complete(identity);
  return identity;
}

std::string_view TIdentity::Secret() const {
  if (!vault_) return {};
  return {reinterpret_cast<const char*>(vault_->Secret), kSecretBytes};
}

bool TIdentity::MediumDue(std::int64_t now) const {
  if (!vault_) return false;
  const auto& current = vault_->Mediums[0];
  return !current.Used || now - (current.Public.Expiry - kMediumLifetime) >= kMediumRenewAfter ||
         current.Public.Expiry - now > kMediumMaxAhead;  // made by a clock far ahead of this one
}

const TMediumKey& TIdentity::RenewMedium(std::int64_t now) {
  Vault& vault = *vault_;
  IdentityAccess::WipeMedium(vault, 1);
  std::memcpy(&vault.Mediums[1], &vault.Mediums[0], sizeof vault.Mediums[0]);
  sodium_memzero(&vault.Mediums[0], sizeof vault.Mediums[0]);
  // A previous key past its expiry and grace can have no message in flight any more.
  if (vault.Mediums[1].Used && now >= vault.Mediums[1].Public.Expiry + kMediumGrace)
    IdentityAccess::WipeMedium(vault, 1);
  auto& current = vault.Mediums[0];
  crypto_kx_keypair(current.Public.Key.data(), current.Secret);
  current.Public.Expiry = now + kMediumLifetime;
  IdentityAccess::Sign(*this, current.Public);
  current.Used = true;
  return current.Public;
}

const TMediumKey* TIdentity::Medium() const {
  return vault_ && vault_->Mediums[0].Used ? &vault_->Mediums[0].Public : nullptr;
}

std::string TIdentity::SavedMedium() const {
  std::string saved;
  if (!vault_) return saved;
  saved.reserve(2 *
                (8 + sodium_base64_ENCODED_LEN(kSavedMediumBytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)));
  for (const auto& medium : vault_->Mediums) {
    if (!medium.Used) continue;
    std::string bytes(kSavedMediumBytes, '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(bytes.data());
    std::memcpy(out, medium.Secret, 32);
    PutBigEndian(out + 32, static_cast<std::uint64_t>(medium.Public.Expiry));
    std::memcpy(out + 32 + kExpiryBytes, medium.Public.Signature.data(), kSignatureBytes);
    // Appended in place (saved has room for both), so that no copy of a secret is left unwiped.
    std::string text = Base64(bytes);
    saved.append("medium=").append(text).push_back('\n');
    Wipe(text);
    Wipe(bytes);
  }
  return saved;
}

bool TIdentity::RestoreMedium(std::string_view saved, std::int64_t now) {
  if (!vault_) return false;
  Vault::Medium restored[2] = {};
  std::size_t count = 0;
  bool damaged = false;
  while (!saved.empty() && !damaged) {
    const std::size_t end = std::min(saved.find('\n'), saved.size());
    const std::string_view line = saved.substr(0, end);
    saved.remove_prefix(std::min(end + 1, saved.size()));
    if (line.empty()) continue;
    auto bytes = line.rfind("medium=", 0) == 0 ? FromBase64(line.substr(7)) : std::nullopt;
    if (!bytes || bytes->size() != kSavedMediumBytes || count == 2) {
      damaged = true;
    } else {
      auto& medium = restored[count];
      const auto* in = U8(*bytes);
      std::memcpy(medium.Secret, in, 32);
      crypto_scalarmult_base(medium.Public.Key.data(), medium.Secret);
      medium.Public.Expiry = static_cast<std::int64_t>(GetBigEndian(in + 32, kExpiryBytes));
      std::memcpy(medium.Public.Signature.data(), in + 32 + kExpiryBytes, kSignatureBytes);
      // Only own keys (signed by this identity) that may still have messages in flight.
      medium.Used = now < medium.Public.Expiry + kMediumGrace &&
                    MediumValid(public_, medium.Public, medium.Public.Expiry - 1);
      if (medium.Used) ++count;
    }
    if (bytes) Wipe(*bytes);
  }
  if (!damaged) {
    // The later expiry is the current key.
    const bool swapped = count == 2 && restored[1].Public.Expiry > restored[0].Public.Expiry;
    for (std::size_t i = 0; i < 2; ++i) IdentityAccess::WipeMedium(*vault_, i);
    for (std::size_t i = 0; i < 2; ++i)
      std::memcpy(&vault_->Mediums[i], &restored[swapped ? 1 - i : i], sizeof restored[i]);
  }
  sodium_memzero(restored, sizeof restored);
  return !damaged;
}

// --- The envelope

namespace {

// The plaintext of a body: kind | nick length | nick | u16 length | body | zero padding.
void MakePlaintext(WipedString& plain, BodyKind kind, std::string_view nick, std::string_view body) {
  const std::size_t used = kPlainOverhead + nick.size() + body.size();
  plain.Text.reserve((used + kPadTo - 1) / kPadTo * kPadTo);
  plain.Text.push_back(static_cast<char>(kind));
  plain.Text.push_back(static_cast<char>(nick.size()));
  plain.Text.append(nick);
  plain.Text.push_back(static_cast<char>(body.size() >> 8));
  plain.Text.push_back(static_cast<char>(body.size() & 0xFF));
  plain.Text.append(body);
  plain.Text.resize((used + kPadTo - 1) / kPadTo * kPadTo, '\0');
}

bool Sealable(const TIdentity& own, std::string_view nick, std::string_view body) {
  // The fields the envelope's contents will become never hold the zero byte.
  return !own.Secret().empty() && nick.size() <= 0xFF && body.size() <= 0xFFFF &&
         nick.find('\0') == std::string_view::npos && body.find('\0') == std::string_view::npos;
}

// Appends nonce and ciphertext to envelope (its header) and makes the sealed field and receipt.
TSealed Encrypt(std::string& envelope, const WipedString& plain, const std::uint8_t* ad, std::size_t adSize,
                std::uint64_t counter, const DirectionKeys& keys) {
  std::array<std::uint8_t, kNonceBytes> nonce{};
  randombytes_buf(nonce.data(), nonce.size());
  envelope.append(reinterpret_cast<const char*>(nonce.data()), nonce.size());
  const std::size_t cipherAt = envelope.size();
  envelope.resize(cipherAt + plain.Text.size() + kTagBytes);
  unsigned long long cipherLength = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<std::uint8_t*>(envelope.data()) + cipherAt,
                                             &cipherLength, U8(plain.Text), plain.Text.size(), ad, adSize,
                                             nullptr, nonce.data(), keys.Cipher);
  envelope.resize(cipherAt + cipherLength);
  TSealed sealed;
  sealed.Field = kEnvelopePrefix + Stuff(envelope);
  sealed.Receipt = MakeReceipt(keys.Receipt, counter, nonce.data());
  return sealed;
}

// Decrypts the ciphertext after header bytes and checks that the plaintext is exactly what Seal makes.
bool Decrypt(TOpened& opened, const std::string& envelope, std::size_t headerBytes, const std::uint8_t* ad,
             std::size_t adSize, const DirectionKeys& keys) {
  const std::uint8_t* bytes = U8(envelope);
  const std::uint8_t* nonce = bytes + headerBytes - kNonceBytes;
  const std::size_t cipherLength = envelope.size() - headerBytes;
  WipedString plain;
  plain.Text.resize(cipherLength - kTagBytes);
  unsigned long long plainLength = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<std::uint8_t*>(plain.Text.data()),
                                                 &plainLength, nullptr, bytes + headerBytes, cipherLength, ad,
                                                 adSize, nonce, keys.Cipher) != 0 ||
      plainLength != plain.Text.size())
    return false;

  // Authentic; now the plaintext must be exactly what Seal makes.
  const std::string_view text = plain.Text;
  const auto kind = static_cast<std::uint8_t>(text[0]);
  if (kind != static_cast<std::uint8_t>(BodyKind::Text) &&
      kind != static_cast<std::uint8_t>(BodyKind::KeyCheck))
    return false;
  const std::size_t nickLength = static_cast<std::uint8_t>(text[1]);
  if (kPlainOverhead + nickLength > text.size()) return false;
  const std::size_t bodyAt = 2 + nickLength + 2;
  const std::size_t bodyLength = GetBigEndian(U8(text) + 2 + nickLength, 2);
  const std::size_t used = bodyAt + bodyLength;
  if (used > text.size() || text.size() - used >= kPadTo) return false;
  if (text.find_first_not_of('\0', used) != std::string_view::npos) return false;
  const std::string_view nick = text.substr(2, nickLength);
  const std::string_view body = text.substr(bodyAt, bodyLength);
  if (nick.find('\0') != std::string_view::npos || body.find('\0') != std::string_view::npos) return false;
  opened.Kind = static_cast<BodyKind>(kind);
  opened.Nick = nick;
  opened.Body = body;
  opened.Receipt = MakeReceipt(keys.Receipt, opened.Counter, nonce);
  return true;
}

// The version 2 associated data: the header before the nonce | recipient key | recipient medium key.
using AssociatedData2 = std::array<std::uint8_t, kBound2Bytes + 2 * kKeyBytes>;
AssociatedData2 MakeAssociatedData2(const std::uint8_t* header, const PublicKey& recipient,
                                    const Bytes32& recipientMedium) {
  AssociatedData2 ad{};
  std::memcpy(ad.data(), header, kBound2Bytes);
  std::memcpy(ad.data() + kBound2Bytes, recipient.data(), kKeyBytes);
  std::memcpy(ad.data() + kBound2Bytes + kKeyBytes, recipientMedium.data(), kKeyBytes);
  return ad;
}

void Append(std::string& out, const std::uint8_t* bytes, std::size_t size) {
  out.append(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

std::optional<TSealed> Seal(const TIdentity& own, const PublicKey& recipient, std::uint64_t counter,
                            BodyKind kind, std::string_view nick, std::string_view body) {
  if (!Sealable(own, nick, body)) return std::nullopt;
  DirectionKeys keys;
  if (!IdentityAccess::DirectionKey(own, recipient, true, keys)) return std::nullopt;
  WipedString plain;
  MakePlaintext(plain, kind, nick, body);
  std::string envelope;
  envelope.reserve(kHeaderBytes + plain.Text.size() + kTagBytes);
  envelope.push_back(static_cast<char>(kEnvelopeVersion));
  Append(envelope, own.Public().data(), kKeyBytes);
  PutBigEndian(envelope, counter);
  const AssociatedData ad = MakeAssociatedData(own.Public(), recipient, counter);
  return Encrypt(envelope, plain, ad.data(), ad.size(), counter, keys);
}

std::optional<TSealed> Seal(const TIdentity& own, const PublicKey& recipient,
                            const TMediumKey& recipientMedium, std::int64_t now, std::uint64_t counter,
                            BodyKind kind, std::string_view nick, std::string_view body) {
  const TMediumKey* mine = own.Medium();
  if (!mine || !Sealable(own, nick, body)) return std::nullopt;
  DirectionKeys keys;
  if (!IdentityAccess::MediumDirectionKey(own, recipient, recipientMedium, 0, now, true, keys))
    return std::nullopt;
  WipedString plain;
  MakePlaintext(plain, kind, nick, body);
  std::string envelope;
  envelope.reserve(kHeader2Bytes + plain.Text.size() + kTagBytes);
  envelope.push_back(static_cast<char>(kEnvelopeVersion2));
  Append(envelope, own.Public().data(), kKeyBytes);
  Append(envelope, mine->Key.data(), kKeyBytes);
  PutBigEndian(envelope, static_cast<std::uint64_t>(mine->Expiry));
  Append(envelope, mine->Signature.data(), kSignatureBytes);
  Append(envelope, recipientMedium.Key.data(), kMediumIdBytes);
  PutBigEndian(envelope, counter);
  const AssociatedData2 ad = MakeAssociatedData2(U8(envelope), recipient, recipientMedium.Key);
  return Encrypt(envelope, plain, ad.data(), ad.size(), counter, keys);
}

bool IsEnvelope(std::string_view field) {
  return field.substr(0, kEnvelopePrefix.size()) == kEnvelopePrefix;
}

std::optional<TOpened> Open(const TIdentity& own, std::string_view field, std::int64_t now) {
  if (own.Secret().empty() || !IsEnvelope(field)) return std::nullopt;
  const auto envelope = Unstuff(field.substr(kEnvelopePrefix.size()));
  if (!envelope || envelope->empty()) return std::nullopt;
  const std::uint8_t* bytes = U8(*envelope);
  const std::size_t headerBytes = bytes[0] == kEnvelopeVersion2 ? kHeader2Bytes : kHeaderBytes;
  if ((bytes[0] != kEnvelopeVersion && bytes[0] != kEnvelopeVersion2) ||
      envelope->size() < headerBytes + kPadTo + kTagBytes ||
      (envelope->size() - headerBytes - kTagBytes) % kPadTo != 0)
    return std::nullopt;

  TOpened opened;
  opened.Version = bytes[0];
  std::memcpy(opened.Sender.data(), bytes + 1, kKeyBytes);
  opened.Counter = GetBigEndian(bytes + headerBytes - kNonceBytes - kCounterBytes, kCounterBytes);
  DirectionKeys keys;
  if (opened.Version == kEnvelopeVersion) {
    if (!IdentityAccess::DirectionKey(own, opened.Sender, false, keys)) return std::nullopt;
    const AssociatedData ad = MakeAssociatedData(opened.Sender, own.Public(), opened.Counter);
    if (!Decrypt(opened, *envelope, headerBytes, ad.data(), ad.size(), keys)) return std::nullopt;
    return opened;
  }
  TMediumKey senderMedium;
  const std::uint8_t* at = bytes + 1 + kKeyBytes;
  std::memcpy(senderMedium.Key.data(), at, kKeyBytes);
  senderMedium.Expiry = static_cast<std::int64_t>(GetBigEndian(at + kKeyBytes, kExpiryBytes));
  std::memcpy(senderMedium.Signature.data(), at + kKeyBytes + kExpiryBytes, kSignatureBytes);
  const int mine = IdentityAccess::MediumById(own, at + kKeyBytes + kExpiryBytes + kSignatureBytes);
  if (mine < 0 || !IdentityAccess::MediumDirectionKey(own, opened.Sender, senderMedium,
                                                      static_cast<std::size_t>(mine), now, false, keys))
    return std::nullopt;
  const AssociatedData2 ad = MakeAssociatedData2(bytes, own.Public(), IdentityAccess::MediumKey(own, mine));
  if (!Decrypt(opened, *envelope, headerBytes, ad.data(), ad.size(), keys)) return std::nullopt;
  return opened;
}

bool ReceiptMatches(std::string_view expected, std::string_view receipt) {
  return !expected.empty() && expected.size() == receipt.size() &&
         sodium_memcmp(expected.data(), receipt.data(), expected.size()) == 0;
}

// --- The replay window

bool TReplayWindow::Accept(std::uint64_t counter) {
  if (counter <= floor_) return false;
  if (counter > top_) {
    const std::uint64_t shift = counter - top_;
    seen_ = shift >= static_cast<std::uint64_t>(kWidth) ? 0 : seen_ << shift;
    seen_ |= 1;
    top_ = counter;
    return true;
  }
  const std::uint64_t back = top_ - counter;
  if (back >= static_cast<std::uint64_t>(kWidth)) return false;
  const std::uint64_t bit = std::uint64_t{1} << back;
  if (seen_ & bit) return false;
  seen_ |= bit;
  return true;
}

bool TReplayWindow::Seen(std::uint64_t counter) const {
  if (counter > top_ || counter == 0) return false;
  const std::uint64_t back = top_ - counter;
  return back < static_cast<std::uint64_t>(kWidth) && (seen_ >> back) & 1;
}

// --- Fingerprints

std::string Fingerprint(const PublicKey& key) {
  const Bytes32 hash = Hash32("PLUMO-FP1", key.data(), key.size());
  std::string out;
  out.reserve(35);
  for (std::size_t group = 0; group < 6; ++group) {
    const std::uint64_t value = GetBigEndian(hash.data() + group * 5, 5) % 100000;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05u", static_cast<unsigned>(value));
    if (group) out.push_back(' ');
    out += digits;
  }
  return out;
}

std::string SafetyNumber(const PublicKey& a, const PublicKey& b) {
  std::string first = Fingerprint(a);
  std::string second = Fingerprint(b);
  if (second < first) std::swap(first, second);
  // Six groups each: the rows are the first four, the last two of one and the first two of the
  // other, the last four.
  return first.substr(0, 23) + "\n" + first.substr(24) + " " + second.substr(0, 11) + "\n" +
         second.substr(12);
}

// --- The six-digit check

TCheckKeys TCheckKeys::Generate() {
  TCheckKeys keys;
  randombytes_buf(keys.Secret.data(), keys.Secret.size());
  crypto_scalarmult_base(keys.Public.data(), keys.Secret.data());
  return keys;
}

TCheckKeys::~TCheckKeys() {
  sodium_memzero(Secret.data(), Secret.size());
}

std::array<std::uint8_t, 32> Commitment(const std::array<std::uint8_t, 32>& checkPublic) {
  return Hash32("PLUMO-CHECK-COMMIT1", checkPublic.data(), checkPublic.size());
}

std::optional<std::string> ShortCode(const PublicKey& initiatorIdentity, const PublicKey& responderIdentity,
                                     const std::array<std::uint8_t, 32>& initiatorCheck,
                                     const std::array<std::uint8_t, 32>& responderCheck,
                                     const TCheckKeys& own, const std::array<std::uint8_t, 32>& otherCheck) {
  // own must be one of the two fresh keys and otherCheck the other one.
  const bool ownIsInitiator = own.Public == initiatorCheck && otherCheck == responderCheck;
  const bool ownIsResponder = own.Public == responderCheck && otherCheck == initiatorCheck;
  if (!ownIsInitiator && !ownIsResponder) return std::nullopt;
  Wiped<crypto_scalarmult_BYTES> shared;
  if (crypto_scalarmult(shared.data(), own.Secret.data(), otherCheck.data()) != 0) return std::nullopt;
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, 32);
  const std::string_view domain = "PLUMO-CHECK-CODE1";
  crypto_generichash_update(&state, U8(domain), domain.size());
  for (const auto* part : {&initiatorIdentity, &responderIdentity, &initiatorCheck, &responderCheck})
    crypto_generichash_update(&state, part->data(), part->size());
  crypto_generichash_update(&state, shared.data(), shared.Bytes.size());
  Bytes32 hash{};
  crypto_generichash_final(&state, hash.data(), hash.size());
  sodium_memzero(&state, sizeof state);
  char digits[8];
  std::snprintf(digits, sizeof digits, "%06u", static_cast<unsigned>(GetBigEndian(hash.data(), 8) % 1000000));
  return std::string(digits);
}

}  // namespace plumo::secure
