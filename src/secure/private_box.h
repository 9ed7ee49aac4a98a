// SPDX-License-Identifier: GPL-3.0-or-later
// The cryptography of private conversations, all of it on libsodium's documented constructions:
// the identity key pair with its medium-term keys, the envelope that carries a private message
// between two identity keys, the receipt that proves its recipient opened it, the replay window,
// fingerprints and safety numbers, and the arithmetic of the six-digit key check. Pure functions and
// small values: no files, no engine, no clock (the time is passed in where a medium key needs it).
// Call SecureInit once before anything else (both programs do at start).
//
// Envelope (the text field of an ordinary private message; fields forbid only the zero byte, so the
// binary envelope is byte-stuffed, not base64), in two versions:
//   kEnvelopePrefix | Stuff( 1 | sender key 32 | counter 8 (big-endian) | nonce 24 | ciphertext )
//   kEnvelopePrefix | Stuff( 2 | sender key 32 | sender medium key 32 | its expiry 8 | its signature 64 |
//                            recipient medium key's first 8 bytes | counter 8 | nonce 24 | ciphertext )
// Version 1 keys: both identities' Ed25519 keys converted to X25519; crypto_kx session keys, the lower
// public key (bytewise, of the Ed25519 keys) playing the client, so each direction has its own key and
// an envelope cannot be reflected back to its sender. Associated data: 1 | sender key | recipient key |
// counter. Version 2 (forward secrecy): the same crypto_kx roles over the two medium-term X25519 keys
// (TMediumKey: made daily, signed by the identity, announced in the tag), so that once both medium
// secrets are wiped nothing opens the envelope, not even both identity keys. The sender's medium key
// travels with its signature, which the recipient verifies (once per key). Associated data: everything
// before the nonce | recipient key | recipient medium key. Cipher, both: crypto_aead_xchacha20poly1305_ietf
// with a random nonce. Plaintext:
//   kind 1 | nick length 1 | nick | body, zero-padded to a multiple of 32 bytes (length hiding),
// the body's length being implied by a 2-byte length before it: kind | nl | nick | u16 len | body | pad.
// Receipt (a hidden field of the recipient's confirmation): kReceiptPrefix | Stuff(16 bytes), the
// first 16 bytes of BLAKE2b keyed with crypto_kdf(direction key, id 1, "PLUMORCT") over "RECEIPT",
// the counter and the nonce. Only the two holders of the direction key can make it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plumo::secure {

// Initialises libsodium; false when it cannot (nothing here may be used then). Safe to call again.
bool SecureInit();

inline constexpr std::size_t kKeyBytes = 32;
using PublicKey = std::array<std::uint8_t, kKeyBytes>;  // an Ed25519 identity public key

inline constexpr std::uint8_t kEnvelopeVersion = 1;   // between identity keys
inline constexpr std::uint8_t kEnvelopeVersion2 = 2;  // between medium-term keys
inline constexpr std::size_t kSignatureBytes = 64;
extern const std::string kEnvelopePrefix;  // "\x01PE" (code-page text; the envelope follows)
extern const std::string kReceiptPrefix;   // "\x01PR"

// Byte stuffing that keeps the zero byte out of a field: 0x00 -> 0x01 0x02, 0x01 -> 0x01 0x03.
std::string Stuff(std::string_view bytes);
// The inverse; nullopt for a lone 0x01 at the end or 0x01 followed by anything but 0x02/0x03.
std::optional<std::string> Unstuff(std::string_view stuffed);

// A public key as 43 characters of unpadded base64url, and back (nullopt for anything else).
std::string KeyText(const PublicKey& key);
std::optional<PublicKey> KeyFromText(std::string_view text);
// Any bytes as unpadded base64url, and back (nullopt for anything but the one text of some bytes).
std::string Base64(std::string_view bytes);
std::optional<std::string> FromBase64(std::string_view text);
// Overwrites a secret held in a string with zeros (in a way the compiler keeps) and empties it.
void Wipe(std::string& secret);
// Fills out with size unpredictable bytes (randombytes_buf).
void RandomBytes(std::uint8_t* out, std::size_t size);

// A medium-term X25519 key as its owner announces it: the public key, when it expires (Unix seconds)
// and the owner's identity signature (crypto_sign_detached over "PLUMO-MEDIUM1" | key | expiry as 8
// bytes big-endian). Its owner makes a new one once kMediumRenewAfter passed, each valid for
// kMediumLifetime, and keeps the secret of the current and the previous one only.
struct TMediumKey {
  std::array<std::uint8_t, kKeyBytes> Key{};
  std::int64_t Expiry = 0;
  std::array<std::uint8_t, kSignatureBytes> Signature{};
  bool operator==(const TMediumKey&) const = default;
};
inline constexpr std::int64_t kMediumRenewAfter = 24 * 3600;
inline constexpr std::int64_t kMediumLifetime = 36 * 3600;
// An expiry further ahead than this is refused (a key that would outlive its owner's wiping).
inline constexpr std::int64_t kMediumMaxAhead = 3 * 24 * 3600;
// An own medium key is kept this long past its expiry for messages sealed to it just before.
inline constexpr std::int64_t kMediumGrace = 12 * 3600;
// "<KeyText of the key>.<expiry in decimal>.<base64url of the signature>" (144 characters today), and
// back (nullopt for anything else).
std::string MediumText(const TMediumKey& medium);
std::optional<TMediumKey> MediumFromText(std::string_view text);
// Whether medium is signed by identity and usable at now: not expired, and its expiry not more than
// kMediumMaxAhead ahead.
bool MediumValid(const PublicKey& identity, const TMediumKey& medium, std::int64_t now);

// An Ed25519 key pair. The secret lives in sodium_malloc'ed memory, wiped when the object goes, with
// its X25519 form and the direction keys shared with the last peers sealed to or opened from (the
// key exchange is most of the cost of Seal and Open). So Seal and Open change that memory: use one
// identity from one thread at a time.
class TIdentity {
 public:
  static TIdentity Generate();
  // From the 64-byte Ed25519 secret key as saved; nullopt when it is not 64 bytes or its public half
  // does not match its seed.
  static std::optional<TIdentity> FromSecret(std::string_view secret64);
  // The key pair a 32-byte seed gives (fixed identities for tests and benchmarks); nullopt when the
  // seed is not 32 bytes.
  static std::optional<TIdentity> FromSeed(std::string_view seed32);
  TIdentity(TIdentity&&) noexcept;
  TIdentity& operator=(TIdentity&&) noexcept;
  ~TIdentity();

  const PublicKey& Public() const { return public_; }
  // The 64-byte secret, for saving it (and for the functions below).
  std::string_view Secret() const;

  // The own medium-term keys. MediumDue: none is current, or the current one was made
  // kMediumRenewAfter ago or more. RenewMedium makes a new current key expiring at now +
  // kMediumLifetime; the current one becomes the previous one, and the one before is wiped, with every
  // direction key derived from it. Medium: the current key, nullptr when none.
  bool MediumDue(std::int64_t now) const;
  const TMediumKey& RenewMedium(std::int64_t now);
  const TMediumKey* Medium() const;
  // The medium secrets as saved (its own file, never the identity's): text the caller wipes. Restore
  // takes them back, keeping only keys signed by this identity that are not past expiry plus
  // kMediumGrace; false when the text is damaged (nothing restored then).
  std::string SavedMedium() const;
  bool RestoreMedium(std::string_view saved, std::int64_t now);

 private:
  friend struct IdentityAccess;
  struct Vault;  // sodium_malloc: the secret, its X25519 form, the medium secrets, recent direction keys
  TIdentity();
  PublicKey public_{};
  PublicKey xPublic_{};  // the X25519 form of public_
  Vault* vault_ = nullptr;
};

// What a body is: a message to show, or a step of the key check.
enum class BodyKind : std::uint8_t { Text = 1, KeyCheck = 2 };

struct TSealed {
  std::string Field;    // the private message's text field: kEnvelopePrefix + stuffed envelope
  std::string Receipt;  // the field the recipient's confirmation must carry (kReceiptPrefix + ...)
};

// Seals body (code-page text, or a key-check step) from own to recipient under counter, as version 1.
// nullopt when recipient is not a valid key (not convertible to X25519) or is own's key, when nick is
// longer than 255 bytes or body than 65,535, or when either holds a zero byte (which no field of a
// clear message can carry either).
std::optional<TSealed> Seal(const TIdentity& own, const PublicKey& recipient, std::uint64_t counter,
                            BodyKind kind, std::string_view nick, std::string_view body);
// The same as version 2 to the recipient's medium key, from own's current one (nullopt as above, and
// when own has no medium key or recipientMedium is not MediumValid for recipient at now).
std::optional<TSealed> Seal(const TIdentity& own, const PublicKey& recipient,
                            const TMediumKey& recipientMedium, std::int64_t now, std::uint64_t counter,
                            BodyKind kind, std::string_view nick, std::string_view body);

struct TOpened {
  std::uint8_t Version = kEnvelopeVersion;
  PublicKey Sender{};
  std::uint64_t Counter = 0;
  BodyKind Kind = BodyKind::Text;
  std::string Nick;
  std::string Body;
  std::string Receipt;  // the field to put in the confirmation
};

// Whether a text field is an envelope (starts with kEnvelopePrefix); says nothing of its validity.
bool IsEnvelope(std::string_view field);
// Opens an envelope addressed to own at now (Unix seconds); nullopt for anything that is not a
// well-formed envelope of a known version that authenticates from the key it names to own's key (an
// envelope naming own's key as its sender is refused), or whose plaintext is not exactly what Seal
// makes. Version 2 also needs the own medium key it names (current or previous) and a sender medium
// key that is MediumValid at now.
std::optional<TOpened> Open(const TIdentity& own, std::string_view field, std::int64_t now);

// Whether receipt (the hidden field of a confirmation) equals expected, in constant time.
bool ReceiptMatches(std::string_view expected, std::string_view receipt);

// The replay window of one sender key: the highest counter accepted and the 63 before it. Counters
// start at 1 (0 is never accepted).
class TReplayWindow {
 public:
  static constexpr int kWidth = 64;
  TReplayWindow() = default;
  // A window restored from its saved top: which counters below it were accepted is not known, so
  // every counter up to top is refused (a replay after a restart must not show again), and only top
  // itself counts as Seen.
  explicit TReplayWindow(std::uint64_t top) : top_(top), seen_(top ? 1 : 0), floor_(top) {}
  // True (and recorded) for a counter not seen before that is not older than the window.
  bool Accept(std::uint64_t counter);
  // Whether counter was accepted already (a repeat to confirm again, not to show).
  bool Seen(std::uint64_t counter) const;
  std::uint64_t Top() const { return top_; }

 private:
  std::uint64_t top_ = 0;
  std::uint64_t seen_ = 0;   // bit k: top_ - k accepted
  std::uint64_t floor_ = 0;  // counters up to this one are refused
};

// Fingerprint: 30 digits in six groups of five ("31415 92653 58979 32384 62643 38327"), from
// BLAKE2b-256 of "PLUMO-FP1" + key, bytes 0..29 as six 5-byte big-endian numbers modulo 100,000.
std::string Fingerprint(const PublicKey& key);
// Safety number of two keys: both fingerprints, the smaller as digit strings first, as three rows of
// four groups separated by '\n'. The same whichever side computes it.
std::string SafetyNumber(const PublicKey& a, const PublicKey& b);

// The six-digit key check, commit then reveal over fresh X25519 keys:
//   1. the initiator makes a TCheckKeys, sends Commitment(its public half);
//   2. the responder makes its own TCheckKeys and sends its public half;
//   3. the initiator reveals its public half; the responder checks it against the commitment;
//   4. both compute ShortCode and the users compare the digits on their screens.
// The code binds both identity keys (initiator's first) and both fresh keys, and the X25519 secret
// they share, so a party in the middle, who must commit before seeing the other side's fresh key,
// matches both screens with a chance of one in a million. Commitment: BLAKE2b-256 of
// "PLUMO-CHECK-COMMIT1" | public key. Code: BLAKE2b-256 of "PLUMO-CHECK-CODE1" | initiator identity |
// responder identity | initiator check key | responder check key | X25519 shared secret, its first 8
// bytes big-endian modulo 1,000,000 as six digits.
struct TCheckKeys {
  static TCheckKeys Generate();
  std::array<std::uint8_t, 32> Public{};
  std::array<std::uint8_t, 32> Secret{};  // wiped by the destructor
  ~TCheckKeys();
};
std::array<std::uint8_t, 32> Commitment(const std::array<std::uint8_t, 32>& checkPublic);
// "123456"; nullopt when the fresh keys do not agree (a low-order point).
std::optional<std::string> ShortCode(const PublicKey& initiatorIdentity, const PublicKey& responderIdentity,
                                     const std::array<std::uint8_t, 32>& initiatorCheck,
                                     const std::array<std::uint8_t, 32>& responderCheck,
                                     const TCheckKeys& own, const std::array<std::uint8_t, 32>& otherCheck);

}  // namespace plumo::secure
