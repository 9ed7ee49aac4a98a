// SPDX-License-Identifier: GPL-3.0-or-later
#include "secure/private_box.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstring>

#include <functional>
#include <string>
#include <vector>

namespace plumo::secure {
namespace {

constexpr std::int64_t kNow = 1'800'000'000;

TIdentity Fixed(char seed) {
  auto identity = TIdentity::FromSeed(std::string(32, seed));
  if (!identity) std::abort();
  identity->RenewMedium(kNow);
  return std::move(*identity);
}

std::string Raw(const std::array<std::uint8_t, 32>& key) {
  return {reinterpret_cast<const char*>(key.data()), key.size()};
}

// The envelope behind a field, and a field for changed envelope bytes.
std::string Inner(const std::string& field) {
  return Unstuff(field.substr(kEnvelopePrefix.size())).value();
}
std::string Outer(const std::string& envelope) {
  return kEnvelopePrefix + Stuff(envelope);
}

// Where the parts of a version 2 envelope are.
constexpr std::size_t kSenderMediumAt = 33;
constexpr std::size_t kRecipientIdAt = 137;

// A version 2 envelope "from" claimed to recipient, made as a forger who holds a medium key pair of
// his own would make it, with the signature signer (the claimed identity's secret, or another) gives.
std::string ForgedFrom(const PublicKey& claimed, std::string_view signer, const TIdentity& recipient) {
  std::array<std::uint8_t, 32> mediumPublic{};
  std::array<std::uint8_t, 32> mediumSecret{};
  crypto_kx_keypair(mediumPublic.data(), mediumSecret.data());
  const std::int64_t expiry = kNow + 3600;
  std::string expiryBytes;
  for (int shift = 56; shift >= 0; shift -= 8) expiryBytes.push_back(static_cast<char>(expiry >> shift));
  const std::string signed_ = "PLUMO-MEDIUM1" + Raw(mediumPublic) + expiryBytes;
  std::array<std::uint8_t, 64> signature{};
  crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const std::uint8_t*>(signed_.data()),
                       signed_.size(), reinterpret_cast<const std::uint8_t*>(signer.data()));
  const TMediumKey& to = *recipient.Medium();
  std::string envelope = std::string(1, '\x02') + Raw(claimed) + Raw(mediumPublic) + expiryBytes +
                         std::string(reinterpret_cast<const char*>(signature.data()), 64) +
                         Raw(to.Key).substr(0, 8) + std::string(7, '\0') + "\x01";
  const std::string ad = envelope + Raw(recipient.Public()) + Raw(to.Key);
  std::array<std::uint8_t, 32> receive{};
  std::array<std::uint8_t, 32> send{};
  if (std::memcmp(claimed.data(), recipient.Public().data(), 32) < 0) {
    EXPECT_EQ(crypto_kx_client_session_keys(receive.data(), send.data(), mediumPublic.data(),
                                            mediumSecret.data(), to.Key.data()),
              0);
  } else {
    EXPECT_EQ(crypto_kx_server_session_keys(receive.data(), send.data(), mediumPublic.data(),
                                            mediumSecret.data(), to.Key.data()),
              0);
  }
  std::string plain = std::string("\x01\x04", 2) + "anna" + std::string("\x00\x02", 2) + "hi";
  plain.resize(32, '\0');
  std::array<std::uint8_t, 24> nonce{};
  randombytes_buf(nonce.data(), nonce.size());
  envelope += std::string(reinterpret_cast<const char*>(nonce.data()), nonce.size());
  std::string cipher(plain.size() + 16, '\0');
  crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<std::uint8_t*>(cipher.data()), nullptr,
                                             reinterpret_cast<const std::uint8_t*>(plain.data()),
                                             plain.size(), reinterpret_cast<const std::uint8_t*>(ad.data()),
                                             ad.size(), nullptr, nonce.data(), send.data());
  return Outer(envelope + cipher);
}

// Seals from -> to as version 1, or (medium) version 2 to to's current medium key.
std::optional<TSealed> SealFor(bool medium, const TIdentity& from, const TIdentity& to, std::uint64_t counter,
                               std::string_view body, std::string_view nick = "anna",
                               BodyKind kind = BodyKind::Text) {
  return medium ? Seal(from, to.Public(), *to.Medium(), kNow, counter, kind, nick, body)
                : Seal(from, to.Public(), counter, kind, nick, body);
}

class PrivateBox : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(SecureInit()); }
  TIdentity anna_ = Fixed('a');
  TIdentity bob_ = Fixed('b');
  TIdentity carl_ = Fixed('c');

  // Seals anna -> bob as version 1 or (medium) version 2.
  std::optional<TSealed> ToBob(bool medium, std::uint64_t counter, std::string_view body,
                               BodyKind kind = BodyKind::Text) {
    return SealFor(medium, anna_, bob_, counter, body, "anna", kind);
  }
};

TEST_F(PrivateBox, StuffingKeepsZeroBytesOutAndComesBack) {
  const struct {
    std::string Bytes, Stuffed;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {std::string("\0", 1), "\x01\x02"},
      {"\x01", "\x01\x03"},
      {std::string("\0\0\x01\x01\0", 5), "\x01\x02\x01\x02\x01\x03\x01\x03\x01\x02"},
      {std::string("a\x01\x02\x03\0z", 6), "a\x01\x03\x02\x03\x01\x02z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Stuff(c.Bytes), c.Stuffed);
    EXPECT_EQ(Unstuff(c.Stuffed), c.Bytes);
  }
  for (const std::string& bad : {std::string("\x01"), std::string("a\x01"), std::string("\x01\x01"),
                                 std::string("\x01\x04"), std::string("a\0b", 3)})
    EXPECT_EQ(Unstuff(bad), std::nullopt) << testing::PrintToString(bad);
}

TEST_F(PrivateBox, KeysIdentitiesAndMediumKeysComeBackOnlyWhenWellFormed) {
  const std::string text = KeyText(anna_.Public());
  ASSERT_EQ(text.size(), 43U);
  EXPECT_EQ(KeyFromText(text), anna_.Public());
  // The last character carries two unused bits, zero in the one text of a key.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string unusedBits = text;
  unusedBits.back() = alphabet[alphabet.find(text.back()) | 1];
  std::string plusSign = text;
  plusSign[5] = '+';
  for (const std::string& bad :
       {text.substr(1), text + "A", text + "=", plusSign, unusedBits, std::string(43, ' ')})
    EXPECT_EQ(KeyFromText(bad), std::nullopt) << bad;

  const auto back = TIdentity::FromSecret(anna_.Secret());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Public(), anna_.Public());
  std::string otherHalf(anna_.Secret());
  otherHalf.replace(32, 32, Raw(bob_.Public()));
  EXPECT_FALSE(TIdentity::FromSecret(otherHalf));
  EXPECT_FALSE(TIdentity::FromSecret(anna_.Secret().substr(1)));
  EXPECT_NE(TIdentity::Generate().Public(), TIdentity::Generate().Public());

  // The medium key's text in the tag: key.expiry.signature, and nothing else.
  const TMediumKey& medium = *anna_.Medium();
  const std::string mediumText = MediumText(medium);
  EXPECT_EQ(mediumText.size(), 43 + 1 + 10 + 1 + 86U);
  EXPECT_EQ(MediumFromText(mediumText), medium);
  const std::string expiry = std::to_string(medium.Expiry);
  const std::string signature = mediumText.substr(55);
  for (const std::string& bad :
       {mediumText.substr(1), mediumText + "A", text + "." + expiry,
        text + "." + expiry + "." + signature + ".", text + ".0" + expiry + "." + signature,
        text + ".-" + expiry + "." + signature, text + ".." + signature,
        text + "." + expiry + "x." + signature})
    EXPECT_EQ(MediumFromText(bad), std::nullopt) << bad;
}

TEST_F(PrivateBox, SealedBodiesOpenAtTheRecipientExactlyAsSent) {
  // plaintext: kind, nick length, "anna", u16 length, body, padded to 32; the envelope adds 81 bytes
  // (version 1) or 193 (version 2: the sender's medium key with expiry and signature, the recipient's
  // medium key's id).
  const struct {
    std::size_t Length;
    BodyKind Kind;
    std::size_t PaddedBytes;
  } cases[] = {
      {0, BodyKind::Text, 32},      {1, BodyKind::Text, 32},  {24, BodyKind::KeyCheck, 32},
      {25, BodyKind::Text, 64},     {31, BodyKind::Text, 64}, {32, BodyKind::Text, 64},
      {1900, BodyKind::Text, 1920},
  };
  for (const bool medium : {false, true})
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "version " << (medium ? 2 : 1) << ", length " << c.Length);
      std::string body;
      for (std::size_t i = 0; i < c.Length; ++i) body.push_back(static_cast<char>(1 + i % 255));
      const auto sealed = ToBob(medium, 77 + c.Length, body, c.Kind);
      ASSERT_TRUE(sealed);
      EXPECT_TRUE(IsEnvelope(sealed->Field));
      EXPECT_EQ(sealed->Field.find('\0'), std::string::npos);
      EXPECT_EQ(Inner(sealed->Field).size(), (medium ? 193U : 81U) + c.PaddedBytes);
      const auto opened = Open(bob_, sealed->Field, kNow);
      ASSERT_TRUE(opened);
      EXPECT_EQ(opened->Version, medium ? 2 : 1);
      EXPECT_EQ(opened->Sender, anna_.Public());
      EXPECT_EQ(opened->Counter, 77 + c.Length);
      EXPECT_EQ(opened->Kind, c.Kind);
      EXPECT_EQ(opened->Nick, "anna");
      EXPECT_EQ(opened->Body, body);
      EXPECT_TRUE(ReceiptMatches(sealed->Receipt, opened->Receipt));
      EXPECT_EQ(sealed->Receipt.rfind(kReceiptPrefix, 0), 0U);
      EXPECT_EQ(sealed->Receipt.find('\0'), std::string::npos);
    }
  // Both directions with more peers than an identity keeps the shared keys of, twice over.
  std::vector<TIdentity> peers;
  for (char seed = '0'; seed < '0' + 40; ++seed) peers.push_back(Fixed(seed));
  for (int round = 0; round < 4; ++round)
    for (const TIdentity& peer : peers) {
      const bool medium = round % 2 != 0;
      const auto there = SealFor(medium, peer, bob_, 1, "to bob");
      const auto back = SealFor(medium, bob_, peer, 1, "back");
      ASSERT_TRUE(there && back);
      const auto atBob = Open(bob_, there->Field, kNow);
      const auto atPeer = Open(peer, back->Field, kNow);
      ASSERT_TRUE(atBob && atPeer);
      EXPECT_EQ(atBob->Body, "to bob");
      EXPECT_EQ(atPeer->Body, "back");
      EXPECT_FALSE(Open(bob_, back->Field, kNow));
    }
  // Refused when sealing: a key that is no curve point, one's own key, a zero byte, an overlong nick.
  const PublicKey lowOrder{};
  EXPECT_FALSE(Seal(anna_, lowOrder, 1, BodyKind::Text, "anna", "hi"));
  EXPECT_FALSE(Seal(anna_, anna_.Public(), 1, BodyKind::Text, "anna", "hi"));
  EXPECT_FALSE(Seal(anna_, anna_.Public(), *anna_.Medium(), kNow, 1, BodyKind::Text, "anna", "hi"));
  for (const bool medium : {false, true}) {
    EXPECT_FALSE(ToBob(medium, 1, std::string("h\0i", 3)));
    EXPECT_FALSE(SealFor(medium, anna_, bob_, 1, "hi", std::string(256, 'n')));
  }
}

TEST_F(PrivateBox, AnythingButTheSealedEnvelopeToOwnKeyIsRefused) {
  for (const bool medium : {false, true}) {
    SCOPED_TRACE(medium ? "version 2" : "version 1");
    const auto sealed = ToBob(medium, 5, "hello");
    ASSERT_TRUE(sealed);
    const std::string& field = sealed->Field;
    ASSERT_TRUE(Open(bob_, field, kNow));
    for (std::size_t i = 0; i < field.size(); ++i)
      for (const char mask : {'\x01', '\x80'}) {
        std::string flipped = field;
        flipped[i] = static_cast<char>(flipped[i] ^ mask);
        EXPECT_FALSE(Open(bob_, flipped, kNow)) << "byte " << i;
      }
    for (std::size_t length = 0; length < field.size(); ++length)
      EXPECT_FALSE(Open(bob_, field.substr(0, length), kNow)) << "cut to " << length;
    EXPECT_FALSE(Open(bob_, field + "x", kNow));

    const std::string envelope = Inner(field);
    std::string otherVersion = envelope;
    otherVersion[0] = medium ? 1 : 2;
    std::string version3 = envelope;
    version3[0] = 3;
    // Reflection: bob (or anyone) sends anna's envelope back to her naming bob as its sender (and,
    // in version 2, bob's medium key, which he signed, and anna's medium key as the recipient's).
    std::string reflected = envelope;
    reflected.replace(1, 32, Raw(bob_.Public()));
    if (medium) {
      const std::string bobs =
          Inner(Seal(bob_, anna_.Public(), *anna_.Medium(), kNow, 5, BodyKind::Text, "b", "")->Field);
      reflected.replace(kSenderMediumAt, 104, bobs.substr(kSenderMediumAt, 104));  // bob's signed key
      reflected.replace(kRecipientIdAt, 8, bobs.substr(kRecipientIdAt, 8));        // anna's key's id
    }
    const std::vector<std::pair<std::string, const TIdentity*>> refused = {
        {Outer(otherVersion), &bob_},
        {Outer(version3), &bob_},
        {Outer(reflected), &anna_},
        {field, &anna_},  // her own envelope: its sender key is hers
        {field, &carl_},  // not the recipient
    };
    for (const auto& [text, at] : refused) EXPECT_FALSE(Open(*at, text, kNow));
  }
  EXPECT_FALSE(IsEnvelope(ToBob(false, 1, "")->Field.substr(1)));
}

TEST_F(PrivateBox, OnlyTheRecipientsReceiptMatches) {
  for (const bool medium : {false, true}) {
    const auto first = ToBob(medium, 9, "hi");
    const auto again = ToBob(medium, 9, "hi");                 // another nonce
    const auto carls = SealFor(medium, carl_, bob_, 9, "hi");  // another pair
    const auto otherVersion = ToBob(!medium, 9, "hi");
    ASSERT_TRUE(first && again && carls && otherVersion);
    const auto opened = Open(bob_, first->Field, kNow);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(ReceiptMatches(first->Receipt, opened->Receipt));
    EXPECT_EQ(Open(bob_, first->Field, kNow).value_or(TOpened{}).Receipt, opened->Receipt);  // a repeat alike
    for (const std::string& other :
         {again->Receipt, carls->Receipt, otherVersion->Receipt, std::string(), first->Receipt.substr(1)})
      EXPECT_FALSE(ReceiptMatches(first->Receipt, other));
  }
  EXPECT_FALSE(ReceiptMatches("", ""));
}

// Forward secrecy: a version 2 envelope opens only while its recipient still holds the medium key it
// was sealed to; medium keys count only when their identity signed them and they are in time.
TEST_F(PrivateBox, MediumKeysOpenOnlyWhileHeldSignedAndInTime) {
  const auto sealed = ToBob(true, 1, "secret");
  ASSERT_TRUE(sealed);
  const std::string field = sealed->Field;
  // A medium key of bob's signed by carl, and bob's own with other expiries, signed by bob.
  TMediumKey forged = *bob_.Medium();
  forged.Signature = carl_.Medium()->Signature;
  TIdentity later = Fixed('b');
  const TMediumKey expired = *bob_.Medium();
  const TMediumKey farAhead = later.RenewMedium(kNow + kMediumMaxAhead);  // expires far past kNow + max

  const struct {
    const char* What;
    std::function<bool()> Holds;
  } cases[] = {
      {"bob opens it after one renewal (the key is his previous one)",
       [&] {
         TIdentity bob = std::move(*TIdentity::FromSecret(bob_.Secret()));
         bob.RestoreMedium(bob_.SavedMedium(), kNow);
         bob.RenewMedium(kNow + kMediumRenewAfter);
         return Open(bob, field, kNow + kMediumRenewAfter).has_value();
       }},
      {"not after two renewals, even with the identity and the medium file of then",
       [&] {
         TIdentity bob = std::move(*TIdentity::FromSecret(bob_.Secret()));
         bob.RestoreMedium(bob_.SavedMedium(), kNow);
         bob.RenewMedium(kNow + kMediumRenewAfter);
         bob.RenewMedium(kNow + 2 * kMediumRenewAfter);
         TIdentity thief = std::move(*TIdentity::FromSecret(bob.Secret()));
         thief.RestoreMedium(bob.SavedMedium(), kNow);
         return !Open(bob, field, kNow).has_value() && !Open(thief, field, kNow).has_value();
       }},
      {"a previous key past expiry and grace is wiped at the renewal",
       [&] {
         TIdentity bob = std::move(*TIdentity::FromSecret(bob_.Secret()));
         bob.RestoreMedium(bob_.SavedMedium(), kNow);
         bob.RenewMedium(bob_.Medium()->Expiry + kMediumGrace);
         return !Open(bob, field, kNow).has_value();
       }},
      {"nor with the identity alone",
       [&] { return !Open(*TIdentity::FromSecret(bob_.Secret()), field, kNow); }},
      {"a medium key signed by another identity is not valid, and nothing is sealed to it",
       [&] {
         return !MediumValid(bob_.Public(), forged, kNow) &&
                !Seal(anna_, bob_.Public(), forged, kNow, 1, BodyKind::Text, "anna", "hi");
       }},
      {"an envelope under a sender medium key its claimed sender did not sign does not open",
       [&] {
         const auto signedByAnna = Open(bob_, ForgedFrom(anna_.Public(), anna_.Secret(), bob_), kNow);
         return signedByAnna && signedByAnna->Body == "hi" &&
                !Open(bob_, ForgedFrom(anna_.Public(), carl_.Secret(), bob_), kNow);
       }},
      {"an expired medium key is not valid, nothing is sealed to it, nothing sealed from it opens",
       [&] {
         const std::int64_t after = expired.Expiry;
         return MediumValid(bob_.Public(), expired, after - 1) &&
                !MediumValid(bob_.Public(), expired, after) &&
                !Seal(anna_, bob_.Public(), expired, after, 1, BodyKind::Text, "anna", "hi") &&
                !Open(bob_, field, anna_.Medium()->Expiry);
       }},
      {"a medium key expiring further ahead than allowed is not valid",
       [&] {
         return MediumValid(bob_.Public(), farAhead, farAhead.Expiry - kMediumMaxAhead) &&
                !MediumValid(bob_.Public(), farAhead, kNow);
       }},
      {"version 1 still opens at a peer with medium keys, and from one without",
       [&] {
         TIdentity plain = std::move(*TIdentity::FromSeed(std::string(32, 'p')));
         const auto toBob = Seal(plain, bob_.Public(), 1, BodyKind::Text, "p", "v1");
         const auto toPlain = Seal(bob_, plain.Public(), 1, BodyKind::Text, "b", "v1");
         const auto atBob = Open(bob_, toBob->Field, kNow);
         return atBob && atBob->Version == 1 && Open(plain, toPlain->Field, kNow) &&
                !Seal(plain, bob_.Public(), *bob_.Medium(), kNow, 1, BodyKind::Text, "p",
                      "no own medium key");
       }},
      {"restored medium keys: only this identity's, the later one current, a damaged text refused",
       [&] {
         TIdentity bob = std::move(*TIdentity::FromSecret(bob_.Secret()));
         bob.RenewMedium(kNow);
         const TMediumKey first = *bob.Medium();
         bob.RenewMedium(kNow + kMediumRenewAfter);
         const TMediumKey second = *bob.Medium();
         const auto toFirst =
             Seal(anna_, bob.Public(), first, kNow, 1, BodyKind::Text, "anna", "to the first");
         TIdentity back = std::move(*TIdentity::FromSecret(bob_.Secret()));
         TIdentity stranger = Fixed('s');
         const std::string saved = bob.SavedMedium();
         return back.RestoreMedium(saved, kNow + kMediumRenewAfter) && *back.Medium() == second &&
                Open(back, toFirst->Field, kNow + kMediumRenewAfter) &&
                !back.MediumDue(kNow + kMediumRenewAfter) && back.MediumDue(kNow + 2 * kMediumRenewAfter) &&
                stranger.RestoreMedium(saved, kNow) && stranger.Medium() == nullptr &&
                !back.RestoreMedium("medium=AAAA\n", kNow) && *back.Medium() == second;
       }},
  };
  for (const auto& c : cases) EXPECT_TRUE(c.Holds()) << c.What;
}

TEST_F(PrivateBox, ReplayWindowTakesEachCounterOnceAndNothingTooOld) {
  // One window fresh (counters from 1) and one restored from its saved top 50 after a restart.
  const struct {
    std::uint64_t Start;
    std::uint64_t Counter;
    bool Accepted;
    bool SeenAfter;
  } steps[] = {
      {0, 0, false, false},  // counters start at 1
      {0, 1, true, true},
      {0, 3, true, true},
      {0, 2, true, true},     // late, inside the window
      {0, 2, false, true},    // a repeat
      {0, 100, true, true},   // a jump
      {0, 37, true, true},    // the oldest the window holds
      {0, 36, false, false},  // one older
      {0, 3, false, false},   // accepted once, but fallen out
      {0, 99, true, true},
      {0, 99, false, true},
      {0, 1ULL << 40, true, true},  // a long jump clears
      {0, 100, false, false},
      {50, 50, false, true},  // restored: the top counts as seen and nothing up to it
                              // shows again
      {50, 49, false, false},
      {50, 52, true, true},
      {50, 51, true, true},
      {50, 50, false, true},
  };
  TReplayWindow fresh;
  TReplayWindow restored(50);
  for (const auto& s : steps) {
    TReplayWindow& window = s.Start ? restored : fresh;
    EXPECT_EQ(window.Accept(s.Counter), s.Accepted) << s.Start << ": " << s.Counter;
    EXPECT_EQ(window.Seen(s.Counter), s.SeenAfter) << s.Start << ": " << s.Counter;
  }
  EXPECT_EQ(fresh.Top(), 1ULL << 40);
}

TEST_F(PrivateBox, FingerprintsAndSafetyNumbersAreKnownAnswersAndSymmetric) {
  PublicKey up{};
  PublicKey down{};
  for (std::size_t i = 0; i < up.size(); ++i) {
    up[i] = static_cast<std::uint8_t>(i);
    down[i] = static_cast<std::uint8_t>(0xFF - i);
  }
  EXPECT_EQ(Fingerprint(up), "16511 64914 14239 72113 79577 82583");
  EXPECT_EQ(Fingerprint(down), "47623 49713 67356 04958 00581 18262");
  const std::string number = "16511 64914 14239 72113\n79577 82583 47623 49713\n67356 04958 00581 18262";
  EXPECT_EQ(SafetyNumber(up, down), number);
  EXPECT_EQ(SafetyNumber(down, up), number);
}

TEST_F(PrivateBox, ShortCodeIsTheSameOnBothSidesAndBindsEverything) {
  const auto mine = TCheckKeys::Generate();
  const auto theirs = TCheckKeys::Generate();
  const auto other = TCheckKeys::Generate();
  const auto code = ShortCode(anna_.Public(), bob_.Public(), mine.Public, theirs.Public, mine, theirs.Public);
  ASSERT_TRUE(code);
  EXPECT_EQ(code->size(), 6U);
  EXPECT_EQ(code->find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(ShortCode(anna_.Public(), bob_.Public(), mine.Public, theirs.Public, theirs, mine.Public), code);
  // A party in the middle shows each side a code over other keys (equal by a chance of 1e-6); keys
  // that do not belong to the check, and a low-order fresh key, give none.
  const std::array<std::uint8_t, 32> zero{};
  const struct {
    std::optional<std::string> Code;
    bool Some;
  } cases[] = {
      {ShortCode(bob_.Public(), anna_.Public(), mine.Public, theirs.Public, mine, theirs.Public), true},
      {ShortCode(anna_.Public(), carl_.Public(), mine.Public, theirs.Public, mine, theirs.Public), true},
      {ShortCode(anna_.Public(), bob_.Public(), mine.Public, other.Public, mine, other.Public), true},
      {ShortCode(anna_.Public(), bob_.Public(), mine.Public, theirs.Public, other, theirs.Public), false},
      {ShortCode(anna_.Public(), bob_.Public(), mine.Public, zero, mine, zero), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].Code.has_value(), cases[i].Some) << i;
    EXPECT_NE(cases[i].Code, code) << i;
  }
}

}  // namespace
}  // namespace plumo::secure
