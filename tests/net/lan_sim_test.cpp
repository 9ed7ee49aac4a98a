// Engines talking over the simulated LAN: presence, reliable delivery under loss, restarts and gap
// recovery, on the real timers and virtual time.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "support/datagrams.h"
#include "support/recorder.h"
#include "support/simlan.h"

namespace plumo {
namespace {

using sim::Ev;

std::string Ip(int n) {
  return "198.18.0." + std::to_string(n);
}

struct Lan : ::testing::Test {
  sim::SimLan lan{7};
  std::map<std::string, std::unique_ptr<sim::EventRecorder>> rec;

  TPlumo& Up(int n, const std::string& nick) {
    if (!lan.FindHost(Ip(n))) lan.AddHost(Ip(n));
    TPlumo& e = lan.StartEngine(Ip(n));
    rec[Ip(n)] = std::make_unique<sim::EventRecorder>(e, [this] { return lan.NowMs(); });
    sim::StartUp(e, nick);
    return e;
  }
  sim::EventRecorder& R(int n) { return *rec.at(Ip(n)); }
  int Sent(int n, std::uint16_t type) {
    int count = 0;
    for (const auto& s : lan.Host(Ip(n)).Sent()) count += sim::TypeOf(s.data) == type;
    return count;
  }
};

TEST_F(Lan, TwoEnginesKeepEachOtherForAnHour) {
  TPlumo& a = Up(1, "anna");
  TPlumo& b = Up(2, "boris");
  for (int minute = 0; minute < 60; minute += 5) {
    lan.RunFor(5 * 60'000);
    ASSERT_EQ(a.Users().Count(), 2) << minute;
    ASSERT_EQ(b.Users().Count(), 2) << minute;
    a.SendPrivateMessage("boris", "m" + std::to_string(minute), Ip(2));
  }
  lan.RunFor(10'000);
  EXPECT_EQ(R(2).Count(Ev::PrivateMessage), 12U);
  EXPECT_EQ(R(1).Count(Ev::Confirm), 12U);
  EXPECT_EQ(R(1).Count(Ev::UserLost) + R(2).Count(Ev::UserLost), 0U);
  EXPECT_EQ(Sent(1, pkPrivateMessage), 12);  // confirmed at once: never resent
}

TEST_F(Lan, FiveEnginesDeliverEverythingOnceAtTwentyPercentLoss) {
  const char* nicks[] = {"", "anna", "boris", "clara", "dima", "eva"};
  // A confirmation names only the type and number it confirms, not whose datagram it was, so
  // engines whose counters coincide could take each other's confirmations. Each engine first
  // moves its counters on by a different amount, cut off from the others, as engines that have
  // been running for different times would have.
  lan.SetAllLinks({.loss = 1.0});
  for (int n = 1; n <= 5; ++n) {
    TPlumo& e = Up(n, nicks[n]);
    for (int k = 0; k < 10 * n; ++k) {
      e.SendMassMessage("warm-up");
      e.SendPrivateMessage("nobody", "warm-up", "198.18.0.200");
    }
  }
  lan.RunFor(60'000);
  lan.SetAllLinks({.loss = 0.2, .duplicate = 0.05, .reorder = 0.1, .delayMs = 1, .jitterMs = 4});
  for (int n = 1; n <= 5; ++n) lan.Engine(Ip(n)).SendHello();
  ASSERT_TRUE(lan.RunUntil(
      [&] {
        for (int n = 1; n <= 5; ++n) {
          if (lan.Engine(Ip(n)).Users().Count() != 5) return false;
        }
        return true;
      },
      600'000));
  for (int from = 1; from <= 5; ++from) {
    TPlumo& e = lan.Engine(Ip(from));
    for (int to = 1; to <= 5; ++to) {
      if (to != from) e.SendPrivateMessage(nicks[to], std::string("pm from ") + nicks[from], Ip(to));
    }
    e.SendMassMessage(std::string("mass from ") + nicks[from]);
    lan.RunFor(300);
  }
  lan.RunFor(120'000);
  for (int n = 1; n <= 5; ++n) {
    std::map<std::string, int> seen;
    for (const auto& ev : R(n).events) {
      if (ev.kind == Ev::PrivateMessage || ev.kind == Ev::MassMessage) ++seen[ev.text];
    }
    EXPECT_EQ(seen.size(), 8U) << nicks[n];
    for (const auto& [text, times] : seen) EXPECT_EQ(times, 1) << nicks[n] << ": " << text;
    EXPECT_EQ(R(n).Count(Ev::UserLost), 0U);
    // Six tries lost in either direction (about 1 in 500 at this loss) leave an item that gave up.
    for (const auto& entry : lan.Engine(Ip(n)).Users().Entries()) {
      for (const auto& item : entry->Pending)
        EXPECT_EQ(item.TriesLeft, 0) << nicks[n] << " waits for " << entry->Nick;
    }
  }
  // Confirmed or given up: nobody sends a private or mass message any more.
  for (int n = 1; n <= 5; ++n) lan.Host(Ip(n)).ClearSent();
  lan.RunFor(60'000);
  for (int n = 1; n <= 5; ++n) EXPECT_EQ(Sent(n, pkPrivateMessage) + Sent(n, pkMassMessage), 0);
}

TEST_F(Lan, SilentPeerIsPingedThenDropped) {
  TPlumo& a = Up(1, "anna");
  Up(2, "boris");
  std::int64_t lastHeard = 0, firstPing = 0;
  lan.onDeliver = [&](const sim::SimDatagram& d) {
    if (d.from == Ip(2) && d.to == Ip(1)) lastHeard = lan.NowMs();
    if (!firstPing && d.from == Ip(1) && sim::TypeOf(d.data) == pkPing &&
        sim::FieldsOf(d.data).at(1) == "boris")
      firstPing = d.sentMs;
  };
  lan.RunFor(5'000);
  lan.SetLink(Ip(2), Ip(1), {.loss = 1.0});  // from now on nothing from boris reaches anna
  ASSERT_TRUE(lan.RunUntil([&] { return R(1).Count(Ev::UserLost) > 0; }, 600'000));
  const std::int64_t L = a.PingThreshold() * 1000, tick = TPlumo::kPresenceIntervalMs + a.Jitter();
  ASSERT_NE(firstPing, 0);
  EXPECT_GE(firstPing - lastHeard, L);
  EXPECT_LT(firstPing - lastHeard, 3 * L + tick);
  const std::int64_t lostAfter = R(1).Of(Ev::UserLost)[0].atMs - lastHeard;
  EXPECT_GT(lostAfter, 4 * L);
  EXPECT_LE(lostAfter, 4 * L + tick + 1'000);
  EXPECT_EQ(R(1).Of(Ev::UserLost)[0].nick, "boris");
  EXPECT_EQ(a.Users().Find("", Ip(2)), -1);
}

TEST_F(Lan, QuietEngineSendsItsRosterOnTheFourthQuietTick) {
  TPlumo& a = Up(1, "anna");
  const std::int64_t start = lan.NowMs(), tick = TPlumo::kPresenceIntervalMs + a.Jitter();
  std::vector<std::int64_t> lists;
  lan.onDeliver = [&](const sim::SimDatagram& d) {
    if (sim::TypeOf(d.data) == pkRosterList) lists.push_back(d.sentMs - start);
  };
  lan.RunFor(8 * tick + 10);
  EXPECT_EQ(lists, (std::vector<std::int64_t>{4 * tick, 8 * tick}));
}

TEST_F(Lan, RestartedPeerIsANickChangeFromTheEmptyNick) {
  TPlumo& a = Up(1, "anna");
  TPlumo& b = Up(2, "boris");
  lan.RunFor(2'000);
  for (int n = 0; n < 3; ++n) b.SendChannelLine("Main", "before", sim::kBroadcast);
  lan.RunFor(2'000);
  TPlumo& b2 = Up(2, "boris");  // a crash and a new start: all counters begin again
  lan.RunFor(2'000);
  ASSERT_EQ(R(1).Count(Ev::NickChange), 1U);
  EXPECT_EQ(R(1).Of(Ev::NickChange)[0].fields, (TMStigs{"", "boris"}));
  EXPECT_EQ(a.Users().Count(), 2);
  b2.SendChannelLine("Main", "after", sim::kBroadcast);
  lan.RunFor(2'000);
  EXPECT_EQ(R(1).Of(Ev::ChannelLine).back().text, "after");
}

// The restart announcement is an unconfirmed broadcast and may be lost; the restarted peer's
// numbers start again at 1 and must not be taken for repeats of what it sent before.
TEST_F(Lan, RestartedPeerIsHeardEvenWhenItsNickChangeIsLost) {
  Up(1, "anna");
  TPlumo& b = Up(2, "boris");
  lan.RunFor(2'000);
  for (int n = 0; n < 3; ++n) b.SendChannelLine("Main", "before", sim::kBroadcast);
  b.SendPrivateMessage("anna", "before", Ip(1));
  lan.RunFor(2'000);
  lan.dropIf = [](const sim::SimDatagram& d) { return sim::TypeOf(d.data) == pkNickChange; };
  TPlumo& b2 = Up(2, "boris");
  lan.RunFor(2'000);
  b2.SendChannelLine("Main", "after", sim::kBroadcast);
  b2.SendPrivateMessage("anna", "after", Ip(1));
  lan.RunFor(10'000);
  EXPECT_EQ(R(1).Of(Ev::ChannelLine).back().text, "after");
  EXPECT_EQ(R(1).Of(Ev::PrivateMessage).back().text, "after");
}

TEST_F(Lan, GapsAreRefetchedAndLateResendsAreNotRaisedTwice) {
  TPlumo& a = Up(1, "anna");
  TPlumo& b = Up(2, "boris");
  lan.RunFor(2'000);
  int dropped = 0;
  lan.dropIf = [&](const sim::SimDatagram& d) {
    const auto type = sim::TypeOf(d.data);
    // The first copy of line 3 to anna, and the first confirmation of private message 1.
    const bool line3 = type == pkChannelLine && d.to == Ip(1) && sim::SeqOf(d.data) == 3;
    const bool confirm1 = type == pkConfirm && d.from == Ip(2) && d.to == Ip(1) &&
                          d.data.substr(5, 4) == std::string("\0\x0F\0\x01", 4);
    if ((line3 || confirm1) && dropped < 2) return ++dropped, true;
    return false;
  };
  for (int n = 1; n <= 5; ++n) b.SendChannelLine("Main", "line " + std::to_string(n), sim::kBroadcast);
  a.SendPrivateMessage("boris", "first", Ip(2));
  lan.RunFor(50);
  a.SendPrivateMessage("boris", "second", Ip(2));
  lan.RunFor(10'000);
  EXPECT_EQ(dropped, 2);
  std::map<std::string, int> lines;
  for (const auto& ev : R(1).Of(Ev::ChannelLine)) lines[ev.text] += ev.nick == "boris";
  EXPECT_EQ(lines, (std::map<std::string, int>{
                       {"line 1", 1}, {"line 2", 1}, {"line 3", 1}, {"line 4", 1}, {"line 5", 1}}));
  ASSERT_EQ(R(1).Count(Ev::Gap), 1U);
  EXPECT_EQ(R(1).Of(Ev::Gap)[0].first, 3);
  EXPECT_EQ(Sent(1, pkResendRequest), 1);
  EXPECT_EQ(Sent(1, pkPrivateMessage), 3);  // the first one once more, after its confirmation was lost
  EXPECT_EQ(R(2).Count(Ev::PrivateMessage), 2U);
  EXPECT_EQ(R(1).Count(Ev::Confirm), 2U);
}

}  // namespace
}  // namespace plumo
