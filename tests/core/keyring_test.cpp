// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/keyring.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../lang/tempdir.h"

namespace plumo {
namespace {

using testing::TempDir;

secure::PublicKey Key(int n) {
  std::string seed(32, 'k');
  seed[0] = static_cast<char>(n);
  seed[1] = static_cast<char>(n >> 8);
  return secure::TIdentity::FromSeed(seed)->Public();
}

unsigned Mode(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 0777;
}

class Keyring : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(secure::SecureInit()); }
  TempDir dir_;
  FsPath Dir() const { return FsPath::FromUtf8(dir_.Path()); }
};

TEST_F(Keyring, IdentityIsMadeOncePrivateAndItsCountersNeverRepeat) {
  secure::PublicKey own{};
  std::uint64_t last = 0;
  {
    TKeyring keyring(Dir());
    ASSERT_TRUE(keyring.Ready()) << keyring.Damaged();
    EXPECT_EQ(keyring.Damaged(), "");
    own = keyring.Identity().Public();
    EXPECT_EQ(keyring.NextCounter(), 1U);
    last = 1;
    for (int i = 0; i < 5000; ++i) {  // runs past the first lease
      const std::uint64_t next = keyring.NextCounter();
      ASSERT_GT(next, last);
      last = next;
    }
  }
  EXPECT_EQ(Mode(dir_.File("identity.key")), 0600U);
  EXPECT_EQ(Mode(dir_.File("identity.counter")), 0600U);
  EXPECT_EQ(dir_.Read("identity.key").rfind("PLUMO-IDENTITY 1\nsecret=", 0), 0U);
  const std::string keyFile = dir_.Read("identity.key");

  // Restarts, the last one after the counter file was lost: the same key, numbers above all before.
  for (const bool loseCounter : {false, false, true}) {
    if (loseCounter) std::filesystem::remove(dir_.File("identity.counter"));
    TKeyring keyring(Dir());
    ASSERT_TRUE(keyring.Ready());
    EXPECT_EQ(keyring.Identity().Public(), own);
    const std::uint64_t next = keyring.NextCounter();
    EXPECT_GT(next, last);
    last = next;
  }
  EXPECT_EQ(dir_.Read("identity.key"), keyFile);  // written once only
}

TEST_F(Keyring, ADamagedIdentityFileIsRefusedAndLeftAlone) {
  auto identity = secure::TIdentity::FromSeed(std::string(32, 's'));
  auto other = secure::TIdentity::FromSeed(std::string(32, 't'));
  const std::string secret(identity->Secret());
  const std::string header = "PLUMO-IDENTITY 1\n";
  std::string mismatched = secret;
  mismatched.replace(32, 32, std::string(other->Secret().substr(32)));
  const struct {
    std::string File;
    bool Ready;
  } cases[] = {
      {header + "secret=" + secure::Base64(secret) + "\n", true},
      {"PLUMO-IDENTITY 1\r\nsecret=" + secure::Base64(secret) + "\r\nlater=kept\r\n", true},
      {"", false},
      {"PLUMO-IDENTITY 2\nsecret=" + secure::Base64(secret) + "\n", false},
      {header, false},
      {header + "secret=" + secure::Base64(secret).substr(1) + "\n", false},
      {header + "secret=" + secure::Base64(secret.substr(0, 32)) + "\n", false},
      {header + "secret=" + secure::Base64(mismatched) + "\n", false},
      {header + "secret=" + secure::Base64(secret) + "\nsecret=" + secure::Base64(secret) + "\n", false},
      {header + "secret=" + secure::Base64(secret) + "\n" + std::string(5000, '#'), false},
  };
  for (const auto& c : cases) {
    TempDir dir;
    dir.Write("identity.key", c.File);
    TKeyring keyring(FsPath::FromUtf8(dir.Path()));
    EXPECT_EQ(keyring.Ready(), c.Ready) << c.File;
    if (c.Ready) {
      EXPECT_EQ(keyring.Identity().Public(), identity->Public());
    } else {
      EXPECT_EQ(keyring.Damaged().rfind("identity.key: ", 0), 0U) << keyring.Damaged();
      EXPECT_EQ(keyring.NextCounter(), 0U);
      EXPECT_FALSE(std::filesystem::exists(dir.File("identity.counter")));
    }
    EXPECT_EQ(dir.Read("identity.key"), c.File);
  }
}

TEST_F(Keyring, SightingsTellChangesFromNewLabelsAndTwins) {
  TKeyring keyring(Dir());
  using S = TKeySighting;
  enum After { Nothing, Check, TrustIt };
  const struct {
    int Key;
    const char* Nick;
    const char* Address;
    S::Kind What;
    int Previous;  // 0: none
    bool Held;
    After Then;
  } steps[] = {
      {1, "anna", "10.0.0.1", S::FirstSeen, 0, false, Nothing},
      {1, "anna", "10.0.0.1", S::Known, 0, false, Nothing},
      {1, "annie", "10.0.0.1", S::Known, 0, false, Nothing},      // a nick change
      {1, "annie", "10.0.0.2", S::Known, 0, false, Nothing},      // the key moved
      {2, "annie", "10.0.0.1", S::FirstSeen, 0, false, Nothing},  // one nick, two keys, two addresses
      {3, "bob", "10.0.0.3", S::FirstSeen, 0, false, Nothing},
      {4, "bob", "10.0.0.3", S::Changed, 3, false, Nothing},
      {3, "bob", "10.0.0.3", S::Known, 0, false, Nothing},  // the old program is back
      {5, "carl", "10.0.0.4", S::FirstSeen, 0, false, Check},
      {6, "carl", "10.0.0.4", S::ChangedChecked, 5, true, Nothing},
      {7, "carl", "10.0.0.4", S::ChangedChecked, 6, true, TrustIt},  // held stays held
      {8, "carl", "10.0.0.4", S::Changed, 7, false, Nothing},
      {9, "dora", "10.0.0.5", S::FirstSeen, 0, false, Check},
      {10, "dora", "10.0.0.5", S::ChangedChecked, 9, true, Check},
      {11, "dora", "10.0.0.5", S::ChangedChecked, 10, true, Nothing},
  };
  std::int64_t now = 1000;
  for (const auto& s : steps) {
    const S seen = keyring.Sighted(Key(s.Key), s.Nick, s.Address, ++now);
    SCOPED_TRACE(::testing::Message() << "key " << s.Key << " as " << s.Nick << " at " << s.Address);
    EXPECT_EQ(seen.What, s.What);
    EXPECT_EQ(seen.Previous, s.Previous ? std::optional(Key(s.Previous)) : std::nullopt);
    EXPECT_EQ(keyring.Held(Key(s.Key)), s.Held);
    EXPECT_EQ(keyring.KeyOf(s.Nick, s.Address), Key(s.Key));
    if (s.Then == Check) keyring.SetChecked(Key(s.Key), true);
    if (s.Then == TrustIt) keyring.Trust(Key(s.Key));
    EXPECT_EQ(keyring.Held(Key(s.Key)), s.Held && s.Then == Nothing);
  }
  EXPECT_EQ(keyring.KeyOf("annie", "10.0.0.2"), Key(1));
  EXPECT_EQ(keyring.KeyOf("anna", "10.0.0.1"), std::nullopt);
  EXPECT_EQ(keyring.WithNick("annie").size(), 2U);

  // Thirty lab machines called "student", each with its own key, then every key on another machine.
  for (int round = 0; round < 3; ++round)
    for (int i = 0; i < 30; ++i) {
      const S seen =
          keyring.Sighted(Key(100 + i), "student", "10.0.1." + std::to_string((i + round) % 30), ++now);
      EXPECT_EQ(seen.What, round == 0 ? S::FirstSeen : S::Known) << round << " " << i;
    }
  // A real change at one of them.
  const S changed = keyring.Sighted(Key(200), "student", "10.0.1.5", ++now);
  EXPECT_EQ(changed.What, S::Changed);
  EXPECT_EQ(changed.Previous, Key(103));
}

TEST_F(Keyring, KnownKeysSurviveARestart) {
  {
    TKeyring keyring(Dir());
    keyring.Sighted(Key(1), "anna", "10.0.0.1", 100);
    keyring.Sighted(Key(2), "bob", "10.0.0.2", 100);
    keyring.SetChecked(Key(2), true);
    keyring.Sighted(Key(3), "bob", "10.0.0.2", 101);  // held: replaced a checked key
    keyring.Sighted(Key(4),
                    "nick\twith\x01"
                    "controls",
                    "10.0.0.9", 101);
    EXPECT_TRUE(keyring.AcceptCounter(Key(1), 7));
    EXPECT_TRUE(keyring.AcceptCounter(Key(1), 5));
    EXPECT_TRUE(keyring.SaveDue(101));
    ASSERT_TRUE(keyring.Save(101));
    EXPECT_FALSE(keyring.SaveDue(200));
    EXPECT_TRUE(keyring.AcceptCounter(Key(1), 9));
    EXPECT_FALSE(keyring.SaveDue(105));
    EXPECT_TRUE(keyring.SaveDue(106));
    ASSERT_TRUE(keyring.Save(106));
  }
  EXPECT_EQ(Mode(dir_.File("keys.ini")), 0600U);
  TKeyring keyring(Dir());
  const TKnownKey* anna = keyring.Find(Key(1));
  ASSERT_NE(anna, nullptr);
  EXPECT_EQ(anna->Nick, "anna");
  EXPECT_EQ(anna->Address, "10.0.0.1");
  EXPECT_EQ(anna->FirstSeen, 100);
  EXPECT_EQ(anna->Counter, 9U);
  EXPECT_FALSE(anna->Checked);
  EXPECT_TRUE(keyring.Find(Key(2))->Checked);
  EXPECT_EQ(keyring.Find(Key(3))->Replaced, Key(2));
  EXPECT_TRUE(keyring.Held(Key(3)));
  EXPECT_EQ(keyring.Find(Key(4))->Nick, "nick\twith controls");
  EXPECT_EQ(keyring.KeyOf("bob", "10.0.0.2"), Key(3));
  // Nothing up to the saved top counts as new again; what follows does.
  EXPECT_FALSE(keyring.AcceptCounter(Key(1), 9));
  EXPECT_FALSE(keyring.AcceptCounter(Key(1), 8));
  EXPECT_TRUE(keyring.SeenBefore(Key(1), 9));
  EXPECT_TRUE(keyring.AcceptCounter(Key(1), 10));
  EXPECT_EQ(keyring.Sighted(Key(4), "x", "10.0.0.9", 300).What, TKeySighting::Known);
}

}  // namespace
}  // namespace plumo
