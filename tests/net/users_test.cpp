// SPDX-License-Identifier: GPL-3.0-or-later
// The roster: lookups, renaming, removal, pending confirmations and received-number tracking.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "net/users.h"
#include "support/simlan.h"

namespace plumo {
namespace {

using Gap = std::tuple<int, std::uint16_t, std::uint16_t, std::uint16_t>;

struct Roster : ::testing::Test {
  std::int64_t now = 1000;
  TUsers users{[this] { return now; }};
  int changes = 0;
  std::vector<Gap> gaps;
  void SetUp() override {
    users.OnChange = [this](const TUsers::EntryList&) { ++changes; };
    users.OnGap = [this](int i, std::uint16_t t, std::uint16_t a, std::uint16_t b) {
      gaps.emplace_back(i, t, a, b);
    };
  }
};

TEST_F(Roster, FindRulesAndWildcards) {
  users.AddOrUpdate("ann", "10.0.0.1");
  users.AddOrUpdate("bob", "10.0.0.2");
  users.AddOrUpdate("ann", "10.0.0.3");
  EXPECT_EQ(users.Find("ann", "10.0.0.3"), 2);
  EXPECT_EQ(users.Find("ann", "255.255.255.255"), 0);
  EXPECT_EQ(users.Find("ann", "0.0.0.0"), 0);
  EXPECT_EQ(users.Find("", "10.0.0.2"), 1);
  EXPECT_EQ(users.Find("bob", "10.0.0.1"), -1);
  EXPECT_EQ(users.Find("ann", "10.0.0.255"), -1);  // only the two fixed texts are wildcards
  EXPECT_EQ(users.Find("", ""), -1);
}

TEST_F(Roster, AddOrUpdateRenamesInPlaceAndRemovalShifts) {
  EXPECT_EQ(users.AddOrUpdate("A", "X"), 0);
  users.AddOrUpdate("other", "Y");
  now = 5000;
  EXPECT_EQ(users.AddOrUpdate("B", "X"), 0);
  EXPECT_EQ(users.Count(), 2);
  EXPECT_EQ(users.Entry(0)->Nick, "B");
  EXPECT_EQ(users.Entry(0)->LastSeen, 5000);
  EXPECT_EQ(users.Find("A", "255.255.255.255"), -1);
  EXPECT_EQ(users.Find("B", "255.255.255.255"), 0);
  EXPECT_EQ(changes, 3);
  EXPECT_FALSE(users.Delete(-1));
  EXPECT_FALSE(users.Delete(2));
  EXPECT_FALSE(users.Remove("B", "Y"));
  EXPECT_EQ(changes, 3);
  EXPECT_TRUE(users.Remove("B", "X"));
  EXPECT_EQ(users.Find("", "Y"), 0);  // the later entry moved down and is still found
  EXPECT_EQ(users.Find("other", "Y"), 0);
  EXPECT_TRUE(users.Delete(0));
  EXPECT_EQ(users.Count(), 0);
  EXPECT_EQ(changes, 5);
  EXPECT_EQ(users.Entry(0), nullptr);
}

TEST_F(Roster, GapsAndRepeatsPerType) {
  users.AddOrUpdate("A", "X");
  for (std::uint16_t s : {4, 5, 9}) users.RecordReceived(0, pkChannelLine, s);
  users.RecordReceived(0, pkMassMessage, 100);  // first number of another type: no gap
  EXPECT_EQ(gaps, (std::vector<Gap>{{0, pkChannelLine, 6, 8}}));
  EXPECT_GE(users.FindReceived(0, pkChannelLine, 9), 0);
  EXPECT_GE(users.FindReceived(0, pkChannelLine, 5), 0);  // seen before a newer one: still a repeat
  EXPECT_LT(users.FindReceived(0, pkChannelLine, 7), 0);  // never seen: a resend filling the gap
  EXPECT_LT(users.FindReceived(0, pkChannelLine, 3), 0);  // before the first number ever seen
  users.RecordReceived(0, pkChannelLine, 7);
  EXPECT_GE(users.FindReceived(0, pkChannelLine, 7), 0);
  EXPECT_LT(users.FindReceived(0, pkChannelLine, 6), 0);
  EXPECT_EQ(gaps.size(), 1U);
  EXPECT_EQ(users.Entry(0)->Received[0].LastSeq, 9);
}

TEST_F(Roster, NumbersKeepWorkingAcrossTheWrap) {
  users.AddOrUpdate("A", "X");
  users.RecordReceived(0, pkPrivateMessage, 65534);
  users.RecordReceived(0, pkPrivateMessage, 65535);
  users.RecordReceived(0, pkPrivateMessage, 0);
  users.RecordReceived(0, pkPrivateMessage, 3);  // 1 and 2 missing
  EXPECT_EQ(gaps, (std::vector<Gap>{{0, pkPrivateMessage, 1, 2}}));
  EXPECT_GE(users.FindReceived(0, pkPrivateMessage, 65535), 0);
  EXPECT_GE(users.FindReceived(0, pkPrivateMessage, 0), 0);
  EXPECT_LT(users.FindReceived(0, pkPrivateMessage, 2), 0);
  users.RecordReceived(0, pkPrivateMessage, 65533);  // from before the wrap, never seen: no gap, not last
  EXPECT_EQ(users.Entry(0)->Received[0].LastSeq, 3);
  // The window slides: after 300 more numbers the oldest ones are forgotten, newer ones still known.
  for (int s = 4; s < 304; ++s) users.RecordReceived(0, pkPrivateMessage, static_cast<std::uint16_t>(s));
  EXPECT_EQ(gaps.size(), 1U);
  EXPECT_GE(users.FindReceived(0, pkPrivateMessage, 303 - 255), 0);
  EXPECT_LT(users.FindReceived(0, pkPrivateMessage, 0), 0);
  users.RecordReceived(0, pkPrivateMessage, 303 + 700);  // a long jump clears the window
  EXPECT_EQ(gaps.back(), Gap(0, pkPrivateMessage, 304, 1002));
  EXPECT_LT(users.FindReceived(0, pkPrivateMessage, 303), 0);
}

// A peer that started again at a lower place while its hello was lost: its numbers a whole window
// or more behind the last one cannot be late copies, and start the record afresh.
TEST_F(Roster, NumbersFarBehindAreANewNumbering) {
  users.AddOrUpdate("A", "X");
  for (std::uint16_t s : {5000, 5001, 4746})
    users.RecordReceived(0, pkMassMessage, s);  // 4746: 255 behind, late
  EXPECT_EQ(users.Entry(0)->Received[0].LastSeq, 5001);
  EXPECT_GE(users.FindReceived(0, pkMassMessage, 4746), 0);
  users.RecordReceived(0, pkMassMessage, 4745);  // 256 behind: the new run's first number
  EXPECT_EQ(users.Entry(0)->Received[0].LastSeq, 4745);
  EXPECT_LT(users.FindReceived(0, pkMassMessage, 4746), 0);  // the old run's numbers are forgotten
  for (std::uint16_t s : {4746, 4748}) users.RecordReceived(0, pkMassMessage, s);
  EXPECT_GE(users.FindReceived(0, pkMassMessage, 4746), 0);  // and the new run's repeats are caught
  EXPECT_EQ(gaps, (std::vector<Gap>{{0, pkMassMessage, 4747, 4747}}));
}

// The indexed lookups compared with a literal in-order scan on random operations.
TEST(RosterProperty, MatchesPlainScan) {
  struct Plain {
    std::string nick, address;
  };
  const std::string nicks[] = {"", "a", "b", "c"};
  const std::string addresses[] = {"1", "2", "3", "4", "5", "255.255.255.255", "0.0.0.0"};
  auto plainFind = [](const std::vector<Plain>& model, const std::string& nick, const std::string& address) {
    if (nick.empty() && address.empty()) return -1;
    const bool wildcard = address == "255.255.255.255" || address == "0.0.0.0";
    for (std::size_t k = 0; k < model.size(); ++k) {
      const Plain& e = model[k];
      if ((e.nick == nick && (e.address == address || wildcard)) || (nick.empty() && e.address == address))
        return static_cast<int>(k);
    }
    return -1;
  };
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    sim::SimRandom rnd(seed);
    TUsers users([] { return std::int64_t{0}; });
    std::vector<Plain> model;
    for (int step = 0; step < 400; ++step) {
      const std::string& nick = nicks[rnd.Below(4)];
      const std::string& address = addresses[rnd.Below(7)];
      switch (rnd.Below(4)) {
        case 0: {
          int i = plainFind(model, "", address);
          if (i >= 0) {
            model[static_cast<std::size_t>(i)].nick = nick;
          } else {
            model.push_back({nick, address});
            i = static_cast<int>(model.size()) - 1;
          }
          ASSERT_EQ(users.AddOrUpdate(nick, address), i) << seed << ":" << step;
          break;
        }
        case 1: {
          const int i = plainFind(model, nick, address);
          if (i >= 0) model.erase(model.begin() + i);
          ASSERT_EQ(users.Remove(nick, address), i >= 0) << seed << ":" << step;
          break;
        }
        case 2: {
          const int i = static_cast<int>(rnd.Below(static_cast<std::uint32_t>(model.size()) + 2)) - 1;
          const bool valid = i >= 0 && i < static_cast<int>(model.size());
          if (valid) model.erase(model.begin() + i);
          ASSERT_EQ(users.Delete(i), valid) << seed << ":" << step;
          break;
        }
        default:
          ASSERT_EQ(users.Find(nick, address), plainFind(model, nick, address))
              << seed << ":" << step << " find " << nick << "@" << address;
      }
      ASSERT_EQ(users.Count(), static_cast<int>(model.size()));
    }
    for (std::size_t k = 0; k < model.size(); ++k) {
      EXPECT_EQ(users.Entry(static_cast<int>(k))->Nick, model[k].nick);
      EXPECT_EQ(users.Entry(static_cast<int>(k))->Address, model[k].address);
    }
  }
}

}  // namespace
}  // namespace plumo
