// SPDX-License-Identifier: GPL-3.0-or-later
// The engine against a hostile or merely busy LAN: what one datagram can make it send, how far its
// lists grow, and that a message waiting for its confirmation is neither dropped nor silently lost.
// Each test measures a ratio or a bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "support/datagrams.h"
#include "support/recorder.h"
#include "support/simlan.h"

namespace plumo {
namespace {

using sim::Be16;
using sim::Be32;
using sim::Datagram;
using sim::Ev;

const std::string kMe = "198.18.0.1", kAnn = "198.18.0.2", kBob = "198.18.0.3";
constexpr std::uint32_t kNow = sim::kStartMs / 1000;

std::string Peer(int n) {
  return "10." + std::to_string(n / 65536) + "." + std::to_string(n / 256 % 256) + "." +
         std::to_string(n % 256);
}

struct Hostile : ::testing::Test {
  sim::SimLan lan;
  sim::SimHost& host = lan.AddHost(kMe);
  TPlumo& me = Boot();
  sim::EventRecorder rec{me, {.answerGaps = false}};

  TPlumo& Boot() {
    host.randomSource = [](std::uint32_t) { return 0U; };  // no random pings or answers
    TPlumo& e = lan.StartEngine(kMe);
    sim::StartUp(e, "me");
    return e;
  }
  void From(const std::string& address, const std::string& data) { sim::Deliver(me, data, address); }
  static std::string Hello(const std::string& nick) {
    return Datagram(pkHello, 2, Be32(0) + Be32(kNow), {nick, "1", "", "Main"});
  }
  void Meet(const std::string& address, const std::string& nick) { From(address, Hello(nick)); }
  void AfterMs(std::int64_t ms) { host.clockOffsetMs += ms; }
  std::size_t Sent(std::uint16_t type) const {
    std::size_t n = 0;
    for (const auto& s : host.Sent()) n += sim::TypeOf(s.data) == type;
    return n;
  }
  std::vector<EngineNotice> Notices() const {
    std::vector<EngineNotice> out;
    for (const auto& e : rec.Of(Ev::Notice)) out.push_back(e.notice);
    return out;
  }
};

// Item: one small request must not bring back the whole ring, nor keep doing so.
TEST_F(Hostile, ResendAnswersAreBoundedByTheRingAndTheAskersBudget) {
  struct Case {
    const char* name;
    std::size_t lineBytes;  // text of each kept channel line
    int first, last;        // the asked range, relative to the first kept number
    int requests;
    std::int64_t spacingMs;
    std::size_t wantDatagrams;  // exact count, or 0 to check only the ratio
    double maxRatio;            // bytes sent / bytes asked
  };
  const Case cases[] = {
      // A real gap of five short lines comes back whole.
      {"short gap", 100, 10, 14, 1, 0, 5, 40},
      // The whole circle (first..first-1) and an inverted range: at most the burst of bytes.
      {"whole circle", 1950, 0, -1, 1, 0, 0, TPlumo::kResendBurstBytes / 15.0},
      {"inverted", 1950, 100, 50, 1, 0, 0, TPlumo::kResendBurstBytes / 15.0},
      // A minute of ten requests a second for everything: the refill rate, a small ratio.
      {"flood", 1950, 0, -1, 600, 100, 0, 16},
  };
  for (const Case& c : cases) {
    sim::SimLan lan2;
    sim::SimHost& h = lan2.AddHost(kMe);
    h.randomSource = [](std::uint32_t) { return 0U; };
    TPlumo& e = lan2.StartEngine(kMe);
    sim::StartUp(e, "me");
    const auto base = static_cast<std::uint16_t>(e.Counters().Current(pkChannelLine) + 1);
    for (std::size_t n = 0; n < TPlumo::kHistorySize; ++n) {
      e.SendChannelLine("Main", std::string(c.lineBytes, 'x'), sim::kBroadcast);
    }
    h.ClearSent();
    const std::string ask = Datagram(pkResendRequest, 1,
                                     Be16(pkChannelLine) + Be16(static_cast<std::uint16_t>(base + c.first)) +
                                         Be16(static_cast<std::uint16_t>(base + c.last)),
                                     {"ann"});
    std::size_t asked = 0, sent = 0, datagrams = 0;
    for (int r = 0; r < c.requests; ++r) {
      sim::Deliver(e, ask, kAnn);
      asked += ask.size();
      h.clockOffsetMs += c.spacingMs;
    }
    for (const auto& s : h.Sent()) {
      if (sim::TypeOf(s.data) != pkChannelLine) continue;
      EXPECT_EQ(s.dest, kAnn) << c.name;
      sent += s.data.size();
      ++datagrams;
    }
    if (c.wantDatagrams) {
      EXPECT_EQ(datagrams, c.wantDatagrams) << c.name;
    }
    EXPECT_GT(datagrams, 0U) << c.name;
    const double ratio = static_cast<double>(sent) / static_cast<double>(asked);
    EXPECT_LE(ratio, c.maxRatio) << c.name << ": " << sent << " bytes for " << asked;
  }
}

// Item: a roster list pings each distinct unknown nick once, a few per list, once per period.
TEST_F(Hostile, RosterListsCostAFewPingsNotOnePerName) {
  Meet(kAnn, "ann");
  struct Case {
    const char* name;
    TMStigs list;
    std::int64_t afterMs;  // clock moved before the list
    std::size_t wantPings;
  };
  TMStigs thousand{"ann"}, sameNick{"ann"};
  for (int n = 0; n < 1015; ++n) thousand.push_back("n" + std::to_string(n));
  for (int n = 0; n < 506; ++n) sameNick.push_back("bob");
  const Case cases[] = {
      {"506 copies of one nick", sameNick, 0, 1},
      {"the same list again", sameNick, 1000, 0},
      {"after a presence period", sameNick, TPlumo::kPresenceIntervalMs, 1},
      {"1015 distinct names", thousand, 0, TPlumo::kMaxPingsPerList},
      {"the next list pings the next names", thousand, 1000, TPlumo::kMaxPingsPerList},
  };
  for (const Case& c : cases) {
    AfterMs(c.afterMs);
    host.ClearSent();
    me.CompareRoster(c.list);
    EXPECT_EQ(Sent(pkPing), c.wantPings) << c.name;
  }
}

// Item: channels learned from topics are bounded; known ones still take new topics.
TEST_F(Hostile, TopicsNamingNewChannelsStopAtTheBound) {
  Meet(kAnn, "ann");
  const std::size_t own = me.Channels().size();
  for (int n = 0; n < 3000; ++n) {
    me.ApplyTopic(kNow - 100, kNow, "ann", "c" + std::to_string(n), "t");
  }
  EXPECT_EQ(me.Channels().size(), own + TPlumo::kMaxLearnedChannels);
  ASSERT_NE(me.FindChannel("c0"), nullptr);
  EXPECT_EQ(me.FindChannel("c2999"), nullptr);
  me.ApplyTopic(kNow - 10, kNow, "ann", "Main", "new");
  EXPECT_EQ(me.FindChannel("Main")->Topic, "new");
}

// Item: a private message to a silent peer is resent all five times, even when a burst of
// confirmations overwrites its slot of the ring; past what can be held, the user is told.
TEST_F(Hostile, AwaitedMessagesOutliveTheRing) {
  struct Case {
    const char* name;
    int messages;       // private messages to bob, who never answers
    int hellos;         // then hellos from as many new addresses (each one confirmed and kept)
    std::size_t sends;  // private messages on the wire after the resend ticks
    std::size_t notDelivered;
  };
  const Case cases[] = {
      {"one message, 260 hellos", 1, 260, 1 + 5, 0},
      {"more than ring and hold", 600, 0, 600 + 510 * 5, 600 - 2 * TPlumo::kHistorySize},
  };
  for (const Case& c : cases) {
    sim::SimLan lan2;
    sim::SimHost& h = lan2.AddHost(kMe);
    h.randomSource = [](std::uint32_t) { return 0U; };
    TPlumo& e = lan2.StartEngine(kMe);
    sim::EventRecorder r{e, {.answerGaps = false}};
    sim::StartUp(e, "me");
    sim::Deliver(e, Hello("bob"), kBob);
    for (int m = 0; m < c.messages; ++m) e.SendPrivateMessage("bob", "m" + std::to_string(m), kBob);
    for (int n = 0; n < c.hellos; ++n) sim::Deliver(e, Hello("p" + std::to_string(n)), Peer(n));
    for (int tick = 0; tick < 8; ++tick) {
      h.clockOffsetMs += TPlumo::kResendIntervalMs;
      e.ResendTick();
    }
    std::size_t sends = 0;
    for (const auto& s : h.Sent()) sends += sim::TypeOf(s.data) == pkPrivateMessage;
    EXPECT_EQ(sends, c.sends) << c.name;
    std::size_t told = 0;
    for (const auto& ev : r.Of(Ev::Notice)) {
      if (ev.notice != EngineNotice::NotDelivered) continue;
      EXPECT_EQ(ev.address, kBob) << c.name;
      EXPECT_EQ(ev.number, pkPrivateMessage) << c.name;
      ++told;
    }
    EXPECT_EQ(told, c.notDelivered) << c.name;
    // Each message ended with one report: overwritten where told, else no answer after the grace.
    std::map<DeliveryOutcome, std::size_t> reports{{DeliveryOutcome::NoAnswer, 0},
                                                   {DeliveryOutcome::Overwritten, 0}};
    for (const auto& ev : r.Of(Ev::Delivery)) ++reports[ev.outcome];
    EXPECT_EQ(reports, (std::map<DeliveryOutcome, std::size_t>{
                           {DeliveryOutcome::NoAnswer, static_cast<std::size_t>(c.messages) - c.notDelivered},
                           {DeliveryOutcome::Overwritten, c.notDelivered}}))
        << c.name;
    EXPECT_TRUE(e.Held().empty()) << c.name;  // all tries used: nothing is kept for them any more
  }
}

// Item: hellos from ever more addresses stop at the roster's bound, with one notice.
TEST_F(Hostile, RosterStopsAtItsBoundAndSaysSoOnce) {
  const int extra = 100;
  for (int n = 0; n < TUsers::kMaxEntries + extra; ++n) Meet(Peer(n), "p" + std::to_string(n));
  EXPECT_EQ(me.Users().Count(), TUsers::kMaxEntries);
  EXPECT_EQ(Notices(), std::vector<EngineNotice>{EngineNotice::RosterFull});
  // A turned-away sender's datagrams are still handled: its line is shown, nothing breaks.
  From(Peer(TUsers::kMaxEntries + 1), Datagram(pkChannelLine, 5, "", {"late", "Main", "hi"}));
  EXPECT_EQ(rec.Count(Ev::ChannelLine), 1U);
  // A peer leaving makes room again.
  From(Peer(0), Datagram(pkExit, 1, "", {"p0"}));
  Meet(Peer(TUsers::kMaxEntries + 2), "new");
  EXPECT_GE(me.Users().Find("new", Peer(TUsers::kMaxEntries + 2)), 0);
}

// Item: a second address taking a nick is reported with every address using it.
TEST_F(Hostile, ASharedNickIsReportedWithItsAddresses) {
  Meet(kAnn, "bob");
  Meet(kBob, "bob");
  Meet(kBob, "bob");  // the same pair again: no second notice
  From(kMe, Hello("me"));
  ASSERT_EQ(rec.Count(Ev::Notice), 1U);
  const auto ev = rec.Of(Ev::Notice)[0];
  EXPECT_EQ(ev.notice, EngineNotice::NickShared);
  EXPECT_EQ(ev.nick, "bob");
  EXPECT_EQ(ev.fields, (TMStigs{kAnn, kBob}));
  // A nick change onto a used nick is reported too.
  Meet("198.18.0.4", "carl");
  From("198.18.0.4", Datagram(pkNickChange, 1, "", {"carl", "bob"}));
  ASSERT_EQ(rec.Count(Ev::Notice), 2U);
  EXPECT_EQ(rec.Of(Ev::Notice)[1].fields, (TMStigs{kAnn, kBob, "198.18.0.4"}));
}

// Item: many peers falling silent together are pinged over the period, not in one burst.
TEST_F(Hostile, PingsForManySilentPeersAreSpreadOverThePeriod) {
  const int peers = 2000;
  lan.RunFor(1000);  // heard between two presence ticks, as peers are
  for (int n = 0; n < peers; ++n) Meet(Peer(n), "p" + std::to_string(n));
  host.ClearSent();
  lan.RunFor(5 * TPlumo::kPresenceIntervalMs);
  std::map<std::int64_t, std::size_t> perSecond;
  std::size_t pings = 0;
  for (const auto& s : host.Sent()) {
    if (sim::TypeOf(s.data) != pkPing) continue;
    ++perSecond[s.atMs / 1000];
    ++pings;
  }
  std::size_t busiest = 0;
  for (const auto& [second, n] : perSecond) busiest = std::max(busiest, n);
  EXPECT_EQ(pings, static_cast<std::size_t>(peers));  // each silent peer still gets its last-chance ping
  EXPECT_LE(busiest, static_cast<std::size_t>(peers) / 10);
  EXPECT_EQ(me.Users().Count(), 1);  // and is dropped after it: only the own entry is left
}

}  // namespace
}  // namespace plumo
