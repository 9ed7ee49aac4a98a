// SPDX-License-Identifier: GPL-3.0-or-later
// The client core under a flood of peers and with a nick that two addresses use: the roster rows
// cost in proportion to what changed, and a message by a shared nick goes nowhere unasked.
#include <algorithm>

#include "core_fixture.h"
#include "support/datagrams.h"

namespace plumo::coretest {
namespace {

std::string Hello(const std::string& nick) {
  return sim::Datagram(pkHello, 2, sim::Be32(0) + sim::Be32(sim::kStartMs / 1000), {nick, "1", "", "Main"});
}

std::string Address(int n) {
  return "10.1." + std::to_string(n / 256) + "." + std::to_string(n % 256);
}

bool Mentions(const std::string& line, std::initializer_list<std::string> parts) {
  return std::all_of(parts.begin(), parts.end(),
                     [&](const std::string& p) { return line.find(p) != std::string::npos; });
}

class Roster : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a.core->FormCreate());
    lan.RunFor(2000);
  }
  void From(const std::string& address, const std::string& data) { sim::Deliver(a.engine(), data, address); }
  sim::SimLan lan{5};
  Peer a{lan, "198.18.0.1", "anna"};
};

TEST_F(Roster, RowsFollowAFloodOfPeersAtAFewSortKeysPerChange) {
  const std::uint64_t before = a.core->Roster().KeysComputed();
  // Adds (nicks in mixed case, some equal when folded), renames and departures.
  const int peers = 2000;
  int changes = 0;
  for (int n = 0; n < peers; ++n, ++changes) {
    From(Address(n), Hello((n % 3 ? "Peer" : "pEER") + std::to_string(n % 700)));
  }
  for (int n = 0; n < 100; ++n, ++changes) {
    From(Address(n), sim::Datagram(pkNickChange, 1, "", {"x", "renamed" + std::to_string(n)}));
  }
  for (int n = 100; n < 150; ++n, ++changes) {
    From(Address(n), sim::Datagram(pkExit, 1, "", {(n % 3 ? "Peer" : "pEER") + std::to_string(n % 700)}));
  }
  const std::uint64_t spent = a.core->Roster().KeysComputed() - before;
  EXPECT_LE(spent, 2U * static_cast<std::uint64_t>(changes));
  // The rows are what a full rebuild gives (Refresh without a change rebuilds them all).
  const std::vector<RosterRow> followed = a.core->Roster().Rows();
  EXPECT_EQ(followed.size(), static_cast<std::size_t>(a.engine().Users().Count()));
  a.core->Roster().Refresh();
  EXPECT_EQ(followed, a.core->Roster().Rows());
  EXPECT_EQ(a.roster.rows, followed);
}

TEST_F(Roster, ASharedNickIsShownAndAMessageByItIsRefused) {
  const std::string first = "198.18.0.7", second = "198.18.0.9";
  From(first, Hello("bob"));
  From(second, Hello("bob"));
  const auto console = a.Console();
  EXPECT_EQ(std::count_if(console.begin(), console.end(),
                          [&](const std::string& line) {
                            return Mentions(line, {"bob", first, second});
                          }),
            1);
  // The roster's tip names both addresses.
  const auto& rows = a.core->Roster().Rows();
  const auto row =
      std::find_if(rows.begin(), rows.end(), [&](const RosterRow& r) { return r.Address == second; });
  ASSERT_NE(row, rows.end());
  EXPECT_TRUE(Mentions(a.core->Roster().Tip(*row), {first, second}));

  struct Case {
    std::string to;
    bool sent;
    std::vector<std::string> addresses;  // where private messages went
  };
  const Case cases[] = {
      {"bob", false, {}}, {second, true, {second}}, {"198.18.0.99", false, {}},  // an address nobody uses
  };
  for (const Case& c : cases) {
    a.host.ClearSent();
    EXPECT_EQ(a.core->Sending().SendPrivateByNick(c.to, "hello"), c.sent) << c.to;
    std::vector<std::string> went;
    for (const auto& s : a.host.Sent()) {
      if (sim::TypeOf(s.data) == pkPrivateMessage) went.push_back(s.dest);
    }
    EXPECT_EQ(went, c.addresses) << c.to;
    if (!c.sent) {
      EXPECT_TRUE(Mentions(a.LastConsole(), {c.to})) << c.to;
    }
  }
  a.core->Sending().SendPrivateByNick("bob", "hello");
  EXPECT_TRUE(Mentions(a.LastConsole(), {first, second}));
}

}  // namespace
}  // namespace plumo::coretest
