// SPDX-License-Identifier: GPL-3.0-or-later
#include "secure/private_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plumo::secure {
namespace {

TIdentity Fixed(char seed) {
  auto identity = TIdentity::FromSeed(std::string(32, seed));
  if (!identity) std::abort();
  return std::move(*identity);
}

std::string Raw(const PublicKey& key) {
  return {reinterpret_cast<const char*>(key.data()), key.size()};
}

// The envelope behind a field, and a field for changed envelope bytes.
std::string Inner(const std::string& field) {
  return Unstuff(field.substr(kEnvelopePrefix.size())).value();
}
std::string Outer(const std::string& envelope) {
  return kEnvelopePrefix + Stuff(envelope);
}

class PrivateBox : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(SecureInit()); }
  TIdentity anna_ = Fixed('a');
  TIdentity bob_ = Fixed('b');
  TIdentity carl_ = Fixed('c');
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

TEST_F(PrivateBox, KeysAndIdentitiesComeBackOnlyWhenWellFormed) {
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
}

TEST_F(PrivateBox, SealedBodiesOpenAtTheRecipientExactlyAsSent) {
  // plaintext: kind, nick length, "anna", u16 length, body, padded to 32; envelope adds 81 bytes.
  const struct {
    std::size_t Length;
    BodyKind Kind;
    std::size_t EnvelopeBytes;
  } cases[] = {
      {0, BodyKind::Text, 81 + 32},      {1, BodyKind::Text, 81 + 32},  {24, BodyKind::KeyCheck, 81 + 32},
      {25, BodyKind::Text, 81 + 64},     {31, BodyKind::Text, 81 + 64}, {32, BodyKind::Text, 81 + 64},
      {1900, BodyKind::Text, 81 + 1920},
  };
  for (const auto& c : cases) {
    std::string body;
    for (std::size_t i = 0; i < c.Length; ++i) body.push_back(static_cast<char>(1 + i % 255));
    const auto sealed = Seal(anna_, bob_.Public(), 77 + c.Length, c.Kind, "anna", body);
    ASSERT_TRUE(sealed) << c.Length;
    EXPECT_TRUE(IsEnvelope(sealed->Field));
    EXPECT_EQ(sealed->Field.find('\0'), std::string::npos);
    EXPECT_EQ(Inner(sealed->Field).size(), c.EnvelopeBytes) << c.Length;
    const auto opened = Open(bob_, sealed->Field);
    ASSERT_TRUE(opened) << c.Length;
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
  for (int round = 0; round < 2; ++round)
    for (const TIdentity& peer : peers) {
      const auto there = Seal(peer, bob_.Public(), 1, BodyKind::Text, "p", "to bob");
      const auto back = Seal(bob_, peer.Public(), 1, BodyKind::Text, "bob", "back");
      ASSERT_TRUE(there && back);
      const auto atBob = Open(bob_, there->Field);
      const auto atPeer = Open(peer, back->Field);
      ASSERT_TRUE(atBob && atPeer);
      EXPECT_EQ(atBob->Body, "to bob");
      EXPECT_EQ(atPeer->Body, "back");
      EXPECT_FALSE(Open(bob_, back->Field));
    }
  // Refused when sealing: a key that is no curve point, one's own key, a zero byte, an overlong nick.
  const PublicKey lowOrder{};
  EXPECT_FALSE(Seal(anna_, lowOrder, 1, BodyKind::Text, "anna", "hi"));
  EXPECT_FALSE(Seal(anna_, anna_.Public(), 1, BodyKind::Text, "anna", "hi"));
  EXPECT_FALSE(Seal(anna_, bob_.Public(), 1, BodyKind::Text, "anna", std::string("h\0i", 3)));
  EXPECT_FALSE(Seal(anna_, bob_.Public(), 1, BodyKind::Text, std::string(256, 'n'), "hi"));
}

TEST_F(PrivateBox, AnythingButTheSealedEnvelopeToOwnKeyIsRefused) {
  const auto sealed = Seal(anna_, bob_.Public(), 5, BodyKind::Text, "anna", "hello");
  ASSERT_TRUE(sealed);
  const std::string& field = sealed->Field;
  ASSERT_TRUE(Open(bob_, field));
  for (std::size_t i = 0; i < field.size(); ++i)
    for (const char mask : {'\x01', '\x80'}) {
      std::string flipped = field;
      flipped[i] = static_cast<char>(flipped[i] ^ mask);
      EXPECT_FALSE(Open(bob_, flipped)) << "byte " << i;
    }
  for (std::size_t length = 0; length < field.size(); ++length)
    EXPECT_FALSE(Open(bob_, field.substr(0, length))) << "cut to " << length;
  EXPECT_FALSE(Open(bob_, field + "x"));

  const std::string envelope = Inner(field);
  std::string version2 = envelope;
  version2[0] = 2;
  // Reflection: bob (or anyone) sends anna's envelope back to her naming bob as its sender.
  std::string reflected = envelope;
  reflected.replace(1, 32, Raw(bob_.Public()));
  const std::vector<std::pair<std::string, const TIdentity*>> refused = {
      {Outer(version2), &bob_},
      {Outer(reflected), &anna_},
      {field, &anna_},  // her own envelope: its sender key is hers
      {field, &carl_},  // not the recipient
  };
  for (const auto& [text, at] : refused) EXPECT_FALSE(Open(*at, text));
  EXPECT_FALSE(IsEnvelope(field.substr(1)));
}

TEST_F(PrivateBox, OnlyTheRecipientsReceiptMatches) {
  const auto first = Seal(anna_, bob_.Public(), 9, BodyKind::Text, "anna", "hi");
  const auto again = Seal(anna_, bob_.Public(), 9, BodyKind::Text, "anna", "hi");  // another nonce
  const auto carls = Seal(carl_, bob_.Public(), 9, BodyKind::Text, "anna", "hi");  // another pair
  ASSERT_TRUE(first && again && carls);
  const auto opened = Open(bob_, first->Field);
  ASSERT_TRUE(opened);
  EXPECT_TRUE(ReceiptMatches(first->Receipt, opened->Receipt));
  EXPECT_EQ(Open(bob_, first->Field).value_or(TOpened{}).Receipt, opened->Receipt);  // a repeat alike
  EXPECT_FALSE(ReceiptMatches(first->Receipt, again->Receipt));
  EXPECT_FALSE(ReceiptMatches(first->Receipt, carls->Receipt));
  EXPECT_FALSE(ReceiptMatches(first->Receipt, ""));
  EXPECT_FALSE(ReceiptMatches("", ""));
  EXPECT_FALSE(ReceiptMatches(first->Receipt, first->Receipt.substr(1)));
}

TEST_F(PrivateBox, ReplayWindowTakesEachCounterOnceAndNothingTooOld) {
  const struct {
    std::uint64_t Counter;
    bool Accepted;
    bool SeenAfter;
  } steps[] = {
      {0, false, false},                                        // counters start at 1
      {1, true, true},     {3, true, true},   {2, true, true},  // late, inside the window
      {2, false, true},                                         // a repeat
      {100, true, true},                                        // a jump
      {37, true, true},                                         // the oldest the window holds (100 - 63)
      {36, false, false},                                       // one older
      {3, false, false},                                        // accepted once, but fallen out of the window
      {99, true, true},    {99, false, true}, {1ULL << 40, true, true},  // a long jump clears the window
      {100, false, false},
  };
  TReplayWindow window;
  for (const auto& s : steps) {
    EXPECT_EQ(window.Accept(s.Counter), s.Accepted) << s.Counter;
    EXPECT_EQ(window.Seen(s.Counter), s.SeenAfter) << s.Counter;
  }
  EXPECT_EQ(window.Top(), 1ULL << 40);

  // Restored from its saved top after a restart: nothing up to the top shows again.
  TReplayWindow restored(50);
  EXPECT_TRUE(restored.Seen(50));
  EXPECT_FALSE(restored.Accept(50));
  EXPECT_FALSE(restored.Accept(49));
  EXPECT_FALSE(restored.Seen(49));
  EXPECT_TRUE(restored.Accept(52));
  EXPECT_TRUE(restored.Accept(51));
  EXPECT_FALSE(restored.Accept(50));
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
  const auto code = ShortCode(anna_.Public(), bob_.Public(), mine.Public, theirs.Public, mine, theirs.Public);
  ASSERT_TRUE(code);
  EXPECT_EQ(code->size(), 6U);
  EXPECT_EQ(code->find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(ShortCode(anna_.Public(), bob_.Public(), mine.Public, theirs.Public, theirs, mine.Public), code);
  // A party in the middle shows each side a code over other keys (equal by a chance of 1e-6).
  const auto other = TCheckKeys::Generate();
  EXPECT_NE(ShortCode(bob_.Public(), anna_.Public(), mine.Public, theirs.Public, mine, theirs.Public), code);
  EXPECT_NE(ShortCode(anna_.Public(), carl_.Public(), mine.Public, theirs.Public, mine, theirs.Public), code);
  EXPECT_NE(ShortCode(anna_.Public(), bob_.Public(), mine.Public, other.Public, mine, other.Public), code);
  // Keys that do not belong to the check, and a low-order fresh key.
  EXPECT_FALSE(ShortCode(anna_.Public(), bob_.Public(), mine.Public, theirs.Public, other, theirs.Public));
  const std::array<std::uint8_t, 32> zero{};
  EXPECT_FALSE(ShortCode(anna_.Public(), bob_.Public(), mine.Public, zero, mine, zero));
}

}  // namespace
}  // namespace plumo::secure
