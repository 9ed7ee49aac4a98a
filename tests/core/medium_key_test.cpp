// SPDX-License-Identifier: GPL-3.0-or-later
// Forward secrecy in the core: the own medium-term key in its file and the tag, and which envelope
// version a peer's tag leads to.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../lang/tempdir.h"
#include "core/keyring.h"
#include "core/private_talk.h"
#include "core/slots.h"
#include "lang/lng.h"
#include "net/plumo.h"
#include "support/silent_surfaces.h"

namespace plumo {
namespace {

using testing::TempDir;

unsigned Mode(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 0777;
}

// A private-talk service without an engine, its files in its own directory.
struct Talk {
  TempDir dir;
  TEngineSlot engine;
  OneInterface system;
  TClock clock{system};
  TMsgINISupp messages{FsPath::FromUtf8(dir.Path()), nullptr, {}};
  TPrivateTalk talk{FsPath::FromUtf8(dir.Path()), engine, clock, messages, [](auto&&...) {}};
  Talk() { talk.Start(); }
  const secure::TIdentity& Identity() { return talk.Keyring().Identity(); }
};

std::uint8_t VersionOf(const std::string& field) {
  return static_cast<std::uint8_t>(secure::Unstuff(field.substr(secure::kEnvelopePrefix.size()))->at(0));
}

class MediumKey : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(secure::SecureInit()); }
};

TEST_F(MediumKey, ATagWithAValidMediumKeyGetsVersionTwoAndAnyOtherVersionOne) {
  Talk anna;
  Talk bob;
  const std::string tag = bob.talk.Tag();
  EXPECT_LE(tag.size(), TPlumo::kMaxTagBytes);
  EXPECT_TRUE(tag.starts_with(std::string(TPlumo::kTagPrefix) + " k="));
  const std::size_t at = tag.find(" e=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(secure::MediumFromText(tag.substr(at + 3)), *bob.Identity().Medium());

  // Medium keys of bob's made by another identity, or by his own at other times.
  const std::int64_t now = TPrivateTalk::MediumNow();
  const std::string head = tag.substr(0, at) + " e=";
  auto bobAt = [&](std::int64_t when) {
    secure::TIdentity copy = std::move(*secure::TIdentity::FromSecret(bob.Identity().Secret()));
    return secure::MediumText(copy.RenewMedium(when));
  };
  secure::TMediumKey forged = *bob.Identity().Medium();
  forged.Signature = anna.Identity().Medium()->Signature;
  const struct {
    const char* What;
    std::string Tag;
    int Version;
  } cases[] = {
      {"no medium key", tag.substr(0, at), 1},
      {"a medium key signed by another identity", head + secure::MediumText(forged), 1},
      {"an expired medium key", head + bobAt(now - secure::kMediumLifetime), 1},
      {"one expiring too far ahead", head + bobAt(now + secure::kMediumMaxAhead), 1},
      {"a damaged one", head + "x" + tag.substr(at + 3), 1},
      {"his valid medium key", tag, 2},
      {"then an older valid one, which does not replace it", head + bobAt(now - 3600), 2},
  };
  // One anna per case but the last two, which follow each other.
  std::optional<Talk> fresh;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    if (i + 1 < std::size(cases)) fresh.emplace();
    Talk& sender = *fresh;
    sender.talk.TagSeen("bob", "198.18.0.2", c.Tag);
    const auto sealed = sender.talk.Seal(bob.Identity().Public(), "198.18.0.2", "anna", c.What);
    ASSERT_TRUE(sealed) << c.What;
    EXPECT_EQ(VersionOf(sealed->Field), c.Version) << c.What;
    const TEnvelopeVerdict verdict = bob.talk.Judge({}, sealed->Field, "198.18.0.1");
    EXPECT_EQ(verdict.Verdict, TEnvelopeVerdict::Fresh) << c.What;
    EXPECT_TRUE(secure::ReceiptMatches(sealed->Receipt, verdict.Receipt)) << c.What;
    const auto opened = bob.talk.TakeOpened(sealed->Field);
    ASSERT_TRUE(opened) << c.What;
    EXPECT_EQ(opened->Body, c.What);
  }
}

TEST_F(MediumKey, SecretsLiveInTheirOwnPrivateFileAndOldOnesAreGoneFromIt) {
  TempDir dir;
  const FsPath path = FsPath::FromUtf8(dir.Path());
  const std::int64_t now = 1'800'000'000;
  secure::TIdentity anna = std::move(*secure::TIdentity::FromSeed(std::string(32, 'a')));
  anna.RenewMedium(now);
  std::string identityFile;
  std::optional<secure::TSealed> sealed;
  {
    TKeyring keyring(path);
    ASSERT_TRUE(keyring.Ready());
    EXPECT_TRUE(keyring.RenewMedium(now));
    EXPECT_FALSE(keyring.RenewMedium(now + 60));
    identityFile = dir.Read("identity.key");
    sealed = secure::Seal(anna, keyring.Identity().Public(), *keyring.Identity().Medium(), now, 1,
                          secure::BodyKind::Text, "anna", "recorded");
    ASSERT_TRUE(sealed);
  }
  EXPECT_EQ(Mode(dir.File("identity.medium")), 0600U);
  EXPECT_EQ(dir.Read("identity.medium").rfind("PLUMO-MEDIUM 1\nmedium=", 0), 0U);
  EXPECT_EQ(identityFile.find("medium"), std::string::npos);

  // A restart keeps the key; renewals replace the file, the previous key still opening; after the
  // second one, identity.key and identity.medium together open nothing sealed before.
  const struct {
    std::int64_t At;
    bool Renews;
    bool Opens;
  } steps[] = {
      {now + 3600, false, true},
      {now + secure::kMediumRenewAfter, true, true},
      {now + 2 * secure::kMediumRenewAfter, true, false},
  };
  for (const auto& s : steps) {
    TKeyring keyring(path);
    EXPECT_EQ(keyring.RenewMedium(s.At), s.Renews) << s.At - now;
    EXPECT_EQ(secure::Open(keyring.Identity(), sealed->Field, now).has_value(), s.Opens) << s.At - now;
    EXPECT_EQ(Mode(dir.File("identity.medium")), 0600U);
    EXPECT_EQ(dir.Read("identity.key"), identityFile);
  }
}

}  // namespace
}  // namespace plumo
