// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/key_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace plumo {
namespace {

using Phase = TKeyCheck::Phase;

struct Party {
  explicit Party(const char* nick, char seed)
      : Nick(nick), Id(std::move(*secure::TIdentity::FromSeed(std::string(32, seed)))), Check(Id.Public()) {}
  std::string Nick;
  secure::TIdentity Id;
  TKeyCheck Check;
  const secure::PublicKey& Key() const { return Id.Public(); }
};

// Three programs whose checks pass their steps to each other at once, as the service would.
struct Lan {
  Party Anna{"anna", 'a'};
  Party Bob{"bob", 'b'};
  Party Carl{"carl", 'c'};

  Party& At(const secure::PublicKey& key) { return key == Anna.Key() ? Anna : key == Bob.Key() ? Bob : Carl; }
  void Send(Party& from, const std::vector<TCheckStep>& steps) {
    for (const TCheckStep& step : steps) {
      Party& to = At(step.To);
      Send(to, to.Check.Receive(from.Key(), from.Nick, step.Body));
    }
  }
  void Send(Party& from, const std::optional<TCheckStep>& step) {
    if (step) Send(from, std::vector<TCheckStep>{*step});
  }
  void Send(Party& from, const secure::PublicKey& to, const std::string& body) {
    Send(from, std::vector<TCheckStep>{TCheckStep{to, body}});
  }
};

std::string WithLastWord(const std::string& body, const std::string& word) {
  return body.substr(0, body.rfind(' ') + 1) + word;
}

TEST(KeyCheck, EndsMatchedOnlyWhenBothSaySameAndResistsOthers) {
  const struct {
    const char* Name;
    std::function<void(Lan&)> Script;
    Phase Anna, Bob;
  } cases[] = {
      {"match",
       [](Lan& lan) {
         lan.Send(lan.Anna, lan.Anna.Check.Start(lan.Bob.Key(), "bob"));
         ASSERT_EQ(lan.Anna.Check.What(), Phase::Compare);
         ASSERT_EQ(lan.Bob.Check.What(), Phase::Compare);
         lan.Send(lan.Anna, lan.Anna.Check.Answer(true));
         EXPECT_EQ(lan.Anna.Check.What(), Phase::Compare);  // until bob says so too
         EXPECT_EQ(lan.Bob.Check.What(), Phase::Compare);
         EXPECT_FALSE(lan.Anna.Check.Answer(true));  // asked once
         lan.Send(lan.Bob, lan.Bob.Check.Answer(true));
       },
       Phase::Matched, Phase::Matched},
      {"mismatch",
       [](Lan& lan) {
         lan.Send(lan.Anna, lan.Anna.Check.Start(lan.Bob.Key(), "bob"));
         lan.Send(lan.Anna, lan.Anna.Check.Answer(true));
         lan.Send(lan.Bob, lan.Bob.Check.Answer(false));
       },
       Phase::Mismatch, Phase::Mismatch},
      {"one side cancels while the other waits",
       [](Lan& lan) {
         const auto start = lan.Anna.Check.Start(lan.Bob.Key(), "bob");
         const auto cancel = lan.Anna.Check.Cancel();
         lan.Send(lan.Anna, start);
         EXPECT_EQ(lan.Bob.Check.What(), Phase::Waiting);
         lan.Send(lan.Anna, cancel);
       },
       Phase::Cancelled, Phase::Cancelled},
      {"one side cancels while comparing",
       [](Lan& lan) {
         lan.Send(lan.Anna, lan.Anna.Check.Start(lan.Bob.Key(), "bob"));
         lan.Send(lan.Bob, lan.Bob.Check.Cancel());
         EXPECT_FALSE(lan.Anna.Check.Answer(true));
       },
       Phase::Cancelled, Phase::Cancelled},
      {"a third party answers and starts its own",
       [](Lan& lan) {
         const auto start = lan.Anna.Check.Start(lan.Bob.Key(), "bob");
         const std::string session = start->Body.substr(6, 16);
         const auto carls = secure::TCheckKeys::Generate();
         // carl answers in bob's place, in the right session: ignored.
         lan.Send(lan.Carl, lan.Anna.Key(), "key " + session + " " + secure::KeyText(carls.Public));
         EXPECT_EQ(lan.Anna.Check.What(), Phase::Waiting);
         // carl starts a check with busy anna: told at once, anna's goes on.
         lan.Send(lan.Carl, lan.Carl.Check.Start(lan.Anna.Key(), "anna"));
         EXPECT_EQ(lan.Carl.Check.What(), Phase::Cancelled);
         EXPECT_EQ(lan.Anna.Check.Peer(), lan.Bob.Key());
         lan.Send(lan.Anna, start);
         // carl's "same" and "cancel" do not count.
         lan.Send(lan.Carl, lan.Anna.Key(), "same " + session);
         lan.Send(lan.Carl, lan.Bob.Key(), "cancel " + session);
         lan.Send(lan.Anna, lan.Anna.Check.Answer(true));
         EXPECT_EQ(lan.Anna.Check.What(), Phase::Compare);
         lan.Send(lan.Bob, lan.Bob.Check.Answer(true));
       },
       Phase::Matched, Phase::Matched},
      {"a reveal that does not match its commitment",
       [](Lan& lan) {
         const auto start = lan.Anna.Check.Start(lan.Bob.Key(), "bob");
         const auto key = lan.Bob.Check.Receive(lan.Anna.Key(), "anna", start->Body);
         ASSERT_EQ(key.size(), 1U);
         auto reveal = lan.Anna.Check.Receive(lan.Bob.Key(), "bob", key[0].Body);
         ASSERT_EQ(reveal.size(), 1U);
         // chosen after seeing bob's key, as a party in the middle would
         reveal[0].Body =
             WithLastWord(reveal[0].Body, secure::KeyText(secure::TCheckKeys::Generate().Public));
         lan.Send(lan.Anna, reveal);
       },
       Phase::Mismatch, Phase::Mismatch},
      {"both start at once",
       [](Lan& lan) {
         const auto fromAnna = lan.Anna.Check.Start(lan.Bob.Key(), "bob");
         const auto fromBob = lan.Bob.Check.Start(lan.Anna.Key(), "anna");
         lan.Send(lan.Anna, fromAnna);
         lan.Send(lan.Bob, fromBob);
       },
       Phase::Compare, Phase::Compare},
      {"garbage and steps out of turn",
       [](Lan& lan) {
         const auto start = lan.Anna.Check.Start(lan.Bob.Key(), "bob");
         const std::string session = start->Body.substr(6, 16);
         for (const std::string& body :
              {std::string("same"), "same " + session + " ", "same " + session + "0", "SAME " + session,
               "reveal " + session + " " + secure::KeyText(lan.Bob.Key()),
               std::string("differ 0000000000000000")})
           EXPECT_TRUE(lan.Anna.Check.Receive(lan.Bob.Key(), "bob", body).empty()) << body;
         lan.Send(lan.Anna, start);
       },
       Phase::Compare, Phase::Compare},
  };
  ASSERT_TRUE(secure::SecureInit());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Lan lan;
    c.Script(lan);
    EXPECT_EQ(lan.Anna.Check.What(), c.Anna);
    EXPECT_EQ(lan.Bob.Check.What(), c.Bob);
    if (c.Anna == Phase::Compare || c.Anna == Phase::Matched) {
      EXPECT_EQ(lan.Anna.Check.Code().size(), 7U);
      EXPECT_EQ(lan.Anna.Check.Code()[3], ' ');
      EXPECT_EQ(lan.Anna.Check.Code(), lan.Bob.Check.Code());
      EXPECT_EQ(lan.Anna.Check.Peer(), lan.Bob.Key());
      EXPECT_EQ(lan.Bob.Check.Peer(), lan.Anna.Key());
    }
  }
}

}  // namespace
}  // namespace plumo
