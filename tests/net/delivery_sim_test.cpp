// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery reports on the simulated LAN: how each awaited datagram ends (one report, and a late
// delivery after it when the confirmation still comes), the roll-call of a mass message under loss
// completed by sending again, and acknowledgements, which a program without them never notices.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/datagrams.h"
#include "support/recorder.h"
#include "support/simlan.h"

namespace plumo {
namespace {

using sim::Be16;
using sim::Datagram;
using sim::Ev;
using Outcome = DeliveryOutcome;

std::string Ip(int n) {
  return "198.18.0." + std::to_string(n);
}

// Anna (1) sends to boris (2); anna's host draws 0 for everything (jitter 0, no random pings).
struct Pair {
  sim::SimLan lan{3};
  TPlumo& a = Up(1, "anna", true);
  TPlumo& b = Up(2, "boris", false);
  sim::EventRecorder recA{a, {.answerGaps = false}, [this] { return lan.NowMs(); }};
  sim::EventRecorder recB{b, {.answerGaps = false}, [this] { return lan.NowMs(); }};

  TPlumo& Up(int n, const std::string& nick, bool fixed) {
    sim::SimHost& host = lan.AddHost(Ip(n));
    if (fixed) host.randomSource = [](std::uint32_t) { return 0U; };
    TPlumo& e = lan.StartEngine(Ip(n));
    sim::StartUp(e, nick);
    return e;
  }
  // Copies of (type, seq) anna sent to boris (the first one broadcast, for a mass message), and when
  // the last one went.
  int CopiesToBoris(std::uint16_t type, std::uint16_t seq, std::int64_t* lastMs = nullptr) {
    int n = 0;
    for (const auto& s : lan.FindHost(Ip(1))->Sent()) {
      if (sim::TypeOf(s.data) != type || sim::SeqOf(s.data) != seq) continue;
      if (s.dest != Ip(2) && s.dest != sim::kBroadcast) continue;
      ++n;
      if (lastMs) *lastMs = s.atMs;
    }
    return n;
  }
  void Drop(std::function<bool(const sim::SimDatagram&)> what) { lan.dropIf = std::move(what); }
  static std::function<bool(const sim::SimDatagram&)> Of(int from, int to, std::uint16_t type) {
    return [=](const sim::SimDatagram& d) {
      return d.from == Ip(from) && d.to == Ip(to) && sim::TypeOf(d.data) == type;
    };
  }
  std::string Header(std::uint16_t type, std::uint16_t seq) const { return Be16(type) + Be16(seq); }
};

// Every awaited datagram ends with exactly one report, and only a confirmation by the recipient
// (from its address, with the receipt where one is awaited) makes it Delivered; a confirmation that
// still comes after another end is reported Delivered once more, marked late.
TEST(Delivery, EachAwaitedDatagramEndsWithOneReport) {
  struct Report {
    Outcome outcome;
    bool late;
    bool operator==(const Report&) const = default;
  };
  struct Case {
    const char* name;
    std::function<void(Pair&)> before;
    std::function<std::uint16_t(Pair&)> send;  // sends, returns the packet type
    std::function<void(Pair&, std::uint16_t type, std::uint16_t seq)> after;
    std::vector<Report> reports;
    std::string nick = "boris";  // the nick the reports name
    std::size_t acknowledged = 0;
    // Afterwards, SendAgain finds the datagram and the recipient (not when the recipient's entry
    // has gone, nor a private message to a nick it no longer has).
    bool again = true;
  };
  const auto nothing = [](Pair&) {};
  const auto none = [](Pair&, std::uint16_t, std::uint16_t) {};
  const auto pm = [](Pair& p) {
    p.a.SendPrivateMessage("boris", "hi", Ip(2));
    return pkPrivateMessage;
  };
  const auto bell = [](Pair& p) {
    p.a.SendBell(*p.a.Users().Entry(p.a.Users().Find("boris", Ip(2))), 3);
    return pkBell;
  };
  const auto lostMessages = [](Pair& p) { p.Drop(Pair::Of(1, 2, pkPrivateMessage)); };
  const auto lostConfirms = [](Pair& p) { p.Drop(Pair::Of(2, 1, pkConfirm)); };
  // After anna's last try, wait, then boris's program confirms (its confirmations get through again).
  const auto confirmAfter = [](std::int64_t waitMs) {
    return [waitMs](Pair& p, std::uint16_t type, std::uint16_t seq) {
      ASSERT_TRUE(p.lan.RunUntil([&] { return p.CopiesToBoris(type, seq) == 1 + TPlumo::kTries; }, 30'000));
      p.lan.RunFor(waitMs);
      p.lan.dropIf = nullptr;
      const std::string header = p.Header(type, seq);
      p.b.SendConfirm(reinterpret_cast<const std::uint8_t*>(header.data()));
    };
  };
  const auto rename = [](Pair& p, std::uint16_t type, std::uint16_t seq) {
    ASSERT_TRUE(p.lan.RunUntil([&] { return p.CopiesToBoris(type, seq) == 2; }, 10'000));
    p.b.SetNick("bella");
  };
  const Case cases[] = {
      {"confirmed", nothing, pm, none, {{Outcome::Delivered, false}}},
      {"a bell, confirmed", nothing, bell, none, {{Outcome::Delivered, false}}},
      {"never confirmed: no answer after the grace time",
       lostMessages,
       pm,
       none,
       {{Outcome::NoAnswer, false}}},
      {"the recipient leaves while it is resent",
       lostMessages,
       pm,
       [](Pair& p, std::uint16_t type, std::uint16_t seq) {
         ASSERT_TRUE(p.lan.RunUntil([&] { return p.CopiesToBoris(type, seq) == 3; }, 10'000));
         p.b.SendExit();
       },
       {{Outcome::PeerLeft, false}},
       "boris",
       0,
       false},
      {"the recipient is offline",
       [](Pair& p) { p.b.SetState(stOffline); },
       pm,
       none,
       {{Outcome::PeerOffline, false}}},
      {"a bell to an offline recipient",
       [](Pair& p) { p.b.SetState(stOffline); },
       bell,
       none,
       {{Outcome::PeerOffline, false}}},
      {"confirmations forged from another address do not count",
       lostMessages,
       pm,
       [](Pair& p, std::uint16_t type, std::uint16_t seq) {
         for (const char* nick : {"boris", "clara"})
           p.lan.Inject(Ip(3), Ip(1), Datagram(pkConfirm, 1, p.Header(type, seq), {nick, "1", " "}));
       },
       {{Outcome::NoAnswer, false}}},
      {"confirmed late, within the grace time",
       lostConfirms,
       pm,
       confirmAfter(1500),
       {{Outcome::Delivered, false}}},
      {"confirmed late, after the grace time",
       lostConfirms,
       pm,
       confirmAfter(5000),
       {{Outcome::NoAnswer, false}, {Outcome::Delivered, true}}},
      {"sealed: only the receipt counts, also after the grace time",
       nothing,
       [](Pair& p) {
         p.a.SendPrivateMessage("boris", "sealed", Ip(2), "receipt");
         return pkPrivateMessage;
       },
       [](Pair& p, std::uint16_t type, std::uint16_t seq) {
         ASSERT_TRUE(
             p.lan.RunUntil([&] { return p.CopiesToBoris(type, seq) == 1 + TPlumo::kTries; }, 30'000));
         p.lan.RunFor(5000);
         p.lan.Inject(Ip(2), Ip(1),
                      Datagram(pkConfirm, 1, p.Header(type, seq), {"boris", "1", " ", "receipt"}));
       },
       {{Outcome::NoAnswer, false}, {Outcome::Delivered, true}}},
      // A private message names the old nick, which the renamed program no longer shows; a bell
      // names nobody and is still taken.
      {"the recipient changes its nick while a private message is resent",
       lostMessages,
       pm,
       rename,
       {{Outcome::PeerLeft, false}},
       "boris",
       0,
       false},
      {"the recipient changes its nick while a bell is resent",
       [](Pair& p) {
         p.Drop(
             [n = 0](const sim::SimDatagram& d) mutable { return sim::TypeOf(d.data) == pkBell && n++ < 2; });
       },
       bell,
       rename,
       {{Outcome::Delivered, false}},
       "bella"},
      {"the recipient falls silent and is dropped while it is resent",
       [](Pair& p) {
         p.Drop([](const sim::SimDatagram& d) { return d.from == Ip(2) || d.to == Ip(2); });
         const AChuvakInfo* boris = p.a.Users().Entry(p.a.Users().Find("boris", Ip(2)));
         const sim::SimHost& host = p.lan.Host(Ip(1));
         // Until the next presence tick is the one that finds boris silent for longer than 4 x 30 s.
         ASSERT_TRUE(p.lan.RunUntil(
             [&] { return host.TimerDeadline(EngineTimer::Presence) - boris->LastSeen > 121'000; }, 200'000));
         p.lan.RunFor(host.TimerDeadline(EngineTimer::Presence) - p.lan.NowMs() - 1500);
       },
       pm,
       none,
       {{Outcome::PeerLost, false}},
       "boris",
       0,
       false},
      {"an acknowledgement counts as the confirmation, at any time",
       [](Pair& p) {
         p.Drop([](const sim::SimDatagram& d) {
           return Pair::Of(2, 1, pkConfirm)(d) && !d.data.ends_with(std::string(TPlumo::kAck) + '\0');
         });
       },
       [](Pair& p) {
         p.a.SendMassMessage("read me", true);
         return pkMassMessage;
       },
       [](Pair& p, std::uint16_t type, std::uint16_t seq) {
         // Long after a resend, when a plain confirmation would answer somebody else's datagram.
         ASSERT_TRUE(p.lan.RunUntil([&] { return p.CopiesToBoris(type, seq) == 3; }, 10'000));
         p.lan.RunFor(TPlumo::kConfirmWindowMs + 200);
         p.b.SendAcknowledge(Ip(1), seq);
       },
       {{Outcome::Delivered, false}},
       "boris",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pair p;
    p.lan.RunFor(3000);
    ASSERT_GE(p.a.Users().Find("boris", Ip(2)), 0);
    p.recA.Clear();
    c.before(p);
    if (::testing::Test::HasFatalFailure()) return;
    const std::uint16_t type = c.send(p);
    const std::uint16_t seq = p.a.LastSeq(type);
    c.after(p, type, seq);
    if (::testing::Test::HasFatalFailure()) return;
    p.lan.RunFor(30'000);
    std::vector<Report> got;
    for (const auto& e : p.recA.Of(Ev::Delivery)) {
      if (e.address != Ip(2)) continue;
      EXPECT_EQ(e.number, type);
      EXPECT_EQ(e.first, seq);
      EXPECT_EQ(e.nick, c.nick);
      got.push_back({e.outcome, e.late});
      // No answer: not before the grace time after the last try has passed.
      std::int64_t lastMs = 0;
      p.CopiesToBoris(type, seq, &lastMs);
      if (e.outcome == Outcome::NoAnswer) {
        EXPECT_GE(e.atMs - lastMs, TPlumo::kDeliveryGraceMs);
      }
    }
    EXPECT_EQ(got, c.reports);
    EXPECT_EQ(p.recA.Count(Ev::Acknowledge), c.acknowledged);
    EXPECT_EQ(p.a.SendAgain(Ip(2), type, seq), c.again ? SendResult::Sent : SendResult::Nothing);
  }
}

// A mass message to 29 peers at 20% loss, three of them cut off meanwhile: every peer is named by
// exactly one first report, those whose confirmation never reached the sender as not delivered,
// and sending again to those, by unicast, completes the roll-call.
TEST(Delivery, RollCallUnderLossNamesEveryMissingPeerAndSendingAgainCompletesIt) {
  constexpr int kPeers = 30;
  sim::SimLan lan(21);
  std::vector<TPlumo*> engines;
  for (int n = 1; n <= kPeers; ++n) {
    lan.AddHost(Ip(n));
    engines.push_back(&lan.StartEngine(Ip(n)));
    sim::StartUp(*engines.back(), "p" + std::to_string(n));
  }
  lan.RunFor(5000);
  TPlumo& a = *engines[0];
  ASSERT_EQ(a.Users().Count(), kPeers);
  sim::EventRecorder rec{a, {.answerGaps = false}};
  lan.SetAllLinks({.loss = 0.2, .jitterMs = 3});
  const std::set<std::string> cutOff = {Ip(5), Ip(17), Ip(29)};
  lan.dropIf = [&](const sim::SimDatagram& d) { return cutOff.contains(d.from) || cutOff.contains(d.to); };
  std::set<std::string> confirmedBy;  // peers whose confirmation of the message reached anna
  std::uint16_t seq = 0;
  lan.onDeliver = [&](const sim::SimDatagram& d) {
    if (d.to == Ip(1) && sim::TypeOf(d.data) == pkConfirm &&
        d.data.substr(5, 4) == Be16(pkMassMessage) + Be16(seq))
      confirmedBy.insert(d.from);
  };
  a.SendMassMessage("roll-call");
  seq = a.LastSeq(pkMassMessage);
  lan.Host(Ip(1)).ClearSent();
  lan.RunFor(20'000);

  std::map<std::string, std::vector<sim::EngineEvent>> reports;
  for (const auto& e : rec.Of(Ev::Delivery)) {
    EXPECT_EQ(e.first, seq);
    reports[e.address].push_back(e);
  }
  std::set<std::string> missing;
  for (int n = 2; n <= kPeers; ++n) {
    const auto& r = reports[Ip(n)];
    ASSERT_EQ(r.size(), 1U) << Ip(n);
    EXPECT_FALSE(r[0].late);
    EXPECT_EQ(r[0].outcome == Outcome::Delivered, confirmedBy.contains(Ip(n))) << Ip(n);
    if (r[0].outcome != Outcome::Delivered) {
      EXPECT_EQ(r[0].outcome, Outcome::NoAnswer);
      missing.insert(Ip(n));
    }
  }
  for (const auto& ip : cutOff) EXPECT_TRUE(missing.contains(ip)) << ip;

  // The cables are back: send again to the missing ones until each has confirmed.
  lan.dropIf = nullptr;
  std::set<std::string> still = missing;
  for (int round = 0; round < 3 && !still.empty(); ++round) {
    for (const auto& ip : still) EXPECT_EQ(a.SendAgain(ip, pkMassMessage, seq), SendResult::Sent);
    lan.RunFor(20'000);
    for (const auto& e : rec.Of(Ev::Delivery)) {
      if (e.outcome == Outcome::Delivered) still.erase(e.address);
    }
  }
  EXPECT_TRUE(still.empty());  // each of them reported Delivered by its fresh item
  for (const auto& s : lan.Host(Ip(1)).Sent()) {
    if (sim::TypeOf(s.data) == pkMassMessage) {
      EXPECT_NE(s.dest, sim::kBroadcast);  // only the first went to all
    }
  }
  EXPECT_EQ(a.SendAgain(Ip(99), pkMassMessage, seq), SendResult::Nothing);  // nobody there
  EXPECT_EQ(a.SendAgain(Ip(2), pkMassMessage, static_cast<std::uint16_t>(seq + 1)), SendResult::Nothing);
}

// What the third engine (a program that knows nothing of acknowledgements) saw of one scenario, in
// which anna and boris ask for and give acknowledgements or do not.
struct ThirdView {
  std::vector<std::string> events;  // mass messages' fields without a trailing request
  int strippedRequests = 0;
  // Every datagram that reached her: time, type and fields (a mass message's without the request).
  // Sequence numbers are left out: an acknowledgement takes a confirmation's number.
  std::vector<std::string> received;
  std::vector<std::pair<std::string, std::uint16_t>> ackA, ackB, ackC;  // acknowledgements each heard
  std::uint16_t askedA = 0, askedB = 0;                                 // the numbers that asked
};

ThirdView RunAcknowledgements(bool on) {
  sim::SimLan lan(17);
  ThirdView view;
  lan.onDeliver = [&](const sim::SimDatagram& d) {
    if (d.to != Ip(3)) return;
    std::string s = std::to_string(lan.NowMs()) + "|" + d.from + "|" + std::to_string(sim::TypeOf(d.data));
    TMStigs fields = sim::FieldsOf(d.data);
    if (sim::TypeOf(d.data) == pkMassMessage && fields.size() > 2 && fields[2] == TPlumo::kAckRequest)
      fields.pop_back();
    for (const auto& f : fields) s += "|" + f;
    view.received.push_back(s);
  };
  std::vector<std::unique_ptr<sim::EventRecorder>> rec;
  for (int n = 1; n <= 3; ++n) {
    lan.AddHost(Ip(n));
    TPlumo& e = lan.StartEngine(Ip(n));
    rec.push_back(std::make_unique<sim::EventRecorder>(e, [&lan] { return lan.NowMs(); }));
    sim::StartUp(e, n == 1 ? "anna" : n == 2 ? "boris" : "clara");
    lan.RunFor(1000);
  }
  auto engine = [&](int n) -> TPlumo& { return lan.Engine(Ip(n)); };
  // Plumo readers acknowledge what asks for it at once, boris twice (the repeat is ignored).
  for (int n = 1; n <= 2; ++n) {
    rec[n - 1]->then = [&lan, n](const sim::EngineEvent& ev) {
      if (ev.kind != Ev::MassMessage || !TPlumo::AsksAcknowledge(ev.fields)) return;
      TPlumo& me = lan.Engine(Ip(n));
      for (int k = 0; k < n; ++k) me.SendAcknowledge(ev.address, me.ReceivingSeq());
    };
  }
  for (int step = 0; step < 6; ++step) {
    if (step == 1) {
      engine(1).SendMassMessage("plain a");
      engine(3).SendMassMessage("plain c");
    } else if (step == 2) {
      engine(1).SendMassMessage("shift handover", on);
      view.askedA = engine(1).LastSeq(pkMassMessage);
      engine(2).SendPrivateMessage("clara", "hi clara", Ip(3));
    } else if (step == 3) {
      engine(2).SendMassMessage("safety notice", on);
      view.askedB = engine(2).LastSeq(pkMassMessage);
      // An acknowledgement of a message that did not ask: nothing.
      if (on) engine(2).SendAcknowledge(Ip(1), static_cast<std::uint16_t>(view.askedA - 1));
    } else if (step == 4) {
      engine(3).SendMassMessage("plain c again");
      engine(1).SendBell(*engine(1).Users().Entry(engine(1).Users().Find("clara", Ip(3))), 1);
    }
    lan.RunFor(10'000);
  }
  for (const auto& e : rec[2]->events) {
    sim::EngineEvent copy = e;
    if (e.kind == Ev::MassMessage && copy.fields.size() > 2 && copy.fields[2] == TPlumo::kAckRequest) {
      copy.fields.pop_back();
      ++view.strippedRequests;
    }
    view.events.push_back(sim::Describe(copy));
  }
  auto acks = [](const sim::EventRecorder& r) {
    std::vector<std::pair<std::string, std::uint16_t>> out;
    for (const auto& e : r.Of(Ev::Acknowledge)) out.emplace_back(e.address, e.first);
    return out;
  };
  view.ackA = acks(*rec[0]);
  view.ackB = acks(*rec[1]);
  view.ackC = acks(*rec[2]);
  return view;
}

// The differential check: clara's events are the same, event for event and byte for byte, whether
// anna and boris ask for and give acknowledgements or not, once the request (field 2 of a mass
// message, which her program carries in the fields it reports but never reads) is taken off. The
// acknowledgements go to the asker alone: she receives the same datagrams at the same times.
TEST(Differential, APeerWithoutAcknowledgementsSeesNothingNewButTheHiddenField) {
  const ThirdView off = RunAcknowledgements(false);
  const ThirdView on = RunAcknowledgements(true);
  using Acks = std::vector<std::pair<std::string, std::uint16_t>>;
  // Each asker heard one acknowledgement from the other Plumo reader of its message, and none else.
  EXPECT_EQ(on.ackA, (Acks{{Ip(2), on.askedA}}));
  EXPECT_EQ(on.ackB, (Acks{{Ip(1), on.askedB}}));
  EXPECT_TRUE(on.ackC.empty());
  EXPECT_TRUE(off.ackA.empty() && off.ackB.empty());
  EXPECT_EQ(on.strippedRequests, 2);
  EXPECT_EQ(off.strippedRequests, 0);
  ASSERT_EQ(on.events.size(), off.events.size());
  for (std::size_t k = 0; k < on.events.size(); ++k) EXPECT_EQ(on.events[k], off.events[k]) << "event " << k;
  EXPECT_EQ(on.received, off.received);
}

}  // namespace
}  // namespace plumo
