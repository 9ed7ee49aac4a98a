// SPDX-License-Identifier: GPL-3.0-or-later
// Tags, envelopes and receipts in the engine, on the simulated LAN: what a program without them sees
// (nothing new), the attacks that the envelope guard and receipts stop, where a tag is read, and how
// often a peer is pinged for its tag. The envelope guard is a stand-in for the core's.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/datagrams.h"
#include "support/recorder.h"
#include "support/simlan.h"

namespace plumo {
namespace {

using sim::Be16;
using sim::Be32;
using sim::Datagram;
using sim::Ev;

std::string Ip(int n) {
  return "198.18.0." + std::to_string(n);
}
std::string TagOf(int n) {
  return std::string(TPlumo::kTagPrefix) + " k=key-of-" + std::to_string(n) + std::string(36, 'k');
}

// Texts starting "\x01PE" are envelopes, "\x01PEbad" forged ones; the receipt is "\x01PR" + the rest.
struct FakeGuard final : TEnvelopeGuard {
  std::set<std::string> opened;
  TEnvelopeVerdict Judge(const TMStigs&, std::string_view text, const std::string&) override {
    if (!text.starts_with("\x01PE")) return {};
    if (text.starts_with("\x01PEbad")) return {TEnvelopeVerdict::Refused, {}};
    const bool fresh = opened.emplace(text).second;
    return {fresh ? TEnvelopeVerdict::Fresh : TEnvelopeVerdict::Repeat, Receipt(text)};
  }
  static std::string Receipt(std::string_view text) { return "\x01PR" + std::string(text.substr(3)); }
};

// What the third engine (a program without tags or envelopes) saw of one scenario, in which the
// first two engines have tag and guard on or off.
struct ThirdView {
  std::vector<std::string> events;  // every event but OnTag, hello fields without a trailing tag
  int strippedTags = 0;             // hellos whose tag was taken off
  int pongStates = 0;               // state reports raised by pongs, left out
  int pongStatesWrong = 0;          // of those, reports of another state than the answering program's
  int pingsReceived = 0;
  bool plumoWorked = false;  // (on) the first two learned the tags and confirmed envelopes with receipts
};

ThirdView RunScenario(bool on) {
  sim::SimLan lan(11);
  FakeGuard guards[2];
  std::vector<std::unique_ptr<sim::EventRecorder>> recorders;  // every run's, kept for the counts
  sim::EventRecorder* third = nullptr;
  ThirdView view;
  std::uint16_t delivering = 0;  // the type of the datagram the third engine is handling
  lan.onDeliver = [&](const sim::SimDatagram& d) {
    if (d.to != Ip(3)) return;
    delivering = sim::TypeOf(d.data);
    view.pingsReceived += delivering == pkPing;
  };
  std::vector<bool> fromPong;  // per event of the third engine: whether a pong raised it
  auto up = [&](int n, const std::string& nick, const std::vector<std::string>& channels) {
    if (!lan.FindHost(Ip(n))) lan.AddHost(Ip(n));
    TPlumo& e = lan.StartEngine(Ip(n));
    recorders.push_back(std::make_unique<sim::EventRecorder>(e, [&lan] { return lan.NowMs(); }));
    if (n == 3) {
      third = recorders.back().get();
      // A report raised by a pong must say what the answering program's state really is.
      third->then = [&](const sim::EngineEvent& ev) {
        fromPong.push_back(delivering == pkPong);
        const TPlumo* from = lan.FindHost(ev.address) ? lan.FindHost(ev.address)->Engine() : nullptr;
        if (ev.kind == Ev::UserState && delivering == pkPong)
          view.pongStatesWrong += !from || ev.state != from->State() || ev.text != from->StateDescription;
      };
    } else if (on) {
      e.SetTag(TagOf(n));
      e.SetEnvelopeGuard(&guards[n - 1]);
    }
    e.SetNick(nick);
    for (const auto& c : channels) e.AddChannel(c, "", "", "", 0);
    e.StateDescription = " ";
    e.SetState(stActive);
    e.SendHello();
  };
  auto engine = [&](int n) -> TPlumo& { return lan.Engine(Ip(n)); };
  up(1, "anna", {"Main"});
  lan.RunFor(1000);
  up(3, "clara", {"Main"});
  lan.RunFor(2000);
  // Boris's hello is so near the limit that it goes without the tag: the others ping him for it.
  up(2, "boris", {"Main", std::string(2000, 'c')});
  lan.RunFor(3000);
  std::string bNick = "boris";
  auto pm = [&](int from, const std::string& nick, int to, const std::string& text) {
    const bool sealed = on && to != 3 && text.starts_with("\x01PE");
    engine(from).SendPrivateMessage(nick, text, Ip(to), sealed ? FakeGuard::Receipt(text) : std::string());
  };
  for (int step = 0; step < 12; ++step) {
    const std::string s = std::to_string(step);
    for (int n = 1; n <= 3; ++n) engine(n).SendChannelLine("Main", "line " + s, sim::kBroadcast);
    if (step == 1) {
      pm(1, "clara", 3, "hello clara");
      pm(3, "anna", 1, "hello anna");
      pm(3, bNick, 2, "hi boris");
      pm(2, "clara", 3, "\x01PEnot for a guard");
    } else if (step == 2) {
      pm(1, bNick, 2, "\x01PEsecret a");
      pm(2, "anna", 1, "\x01PEsecret b");
      pm(1, bNick, 2, "plain a");
      engine(1).SendMassMessage("mass a");
      engine(3).SendMassMessage("mass c");
    } else if (step == 4) {
      engine(2).SetNick(bNick = "bella");
    } else if (step == 5) {
      pm(3, bNick, 2, "after the rename");
      pm(1, bNick, 2, "\x01PEsecret again");
      engine(2).SendMassMessage("mass b");
    } else if (step == 6) {
      engine(1).StateDescription = "lunch";
      engine(1).SetState(stDoNotDisturb);
    } else if (step == 8) {
      up(1, "anna", {"Main"});  // anna's program crashed and starts again: a tagged hello
    } else if (step == 9) {
      pm(1, bNick, 2, "\x01PEafter the restart");
      pm(1, "clara", 3, "back again");
    }
    lan.RunFor(20'000);
  }
  for (std::size_t k = 0; k < third->events.size(); ++k) {
    const sim::EngineEvent& e = third->events[k];
    if (e.kind == Ev::Tag) continue;  // an event that a program without tags does not have
    sim::EngineEvent copy = e;
    if (e.kind == Ev::NewUser && copy.fields.size() > 4 &&
        copy.fields.back().starts_with(TPlumo::kTagPrefix)) {
      copy.fields.pop_back();
      ++view.strippedTags;
    }
    if (e.kind == Ev::UserState && fromPong[k]) {
      ++view.pongStates;
      continue;
    }
    view.events.push_back(sim::Describe(copy));
  }
  auto entry = [&](int at, int n) {
    return engine(at).Users().Entry(engine(at).Users().Find(std::string(), Ip(n)));
  };
  view.plumoWorked = entry(1, 2)->Tag == TagOf(2) && entry(2, 1)->Tag == TagOf(1) &&
                     entry(1, 3)->TagMissing && entry(2, 3)->TagMissing;
  int receiptConfirms = 0;
  for (const auto& r : recorders) {
    if (r.get() == third) continue;
    view.plumoWorked = view.plumoWorked && r->Count(Ev::Notice) == 0;
    for (const auto& e : r->Of(Ev::Confirm))
      receiptConfirms += e.number == pkPrivateMessage && e.address != Ip(3);
  }
  view.plumoWorked = view.plumoWorked && receiptConfirms == 5;
  return view;
}

// The differential check: the third engine's events are the same, event for event and byte for byte,
// with the feature on and off at the other two, once a trailing tag is taken off its hellos' fields
// (and OnTag, which it does not have, left out). Tag pings are ordinary pings, and the pong to each
// one raises a state report at every peer that hears it, as every pong does: the reports raised by
// pongs are counted, not compared, and there are no more of them than there were extra pings.
TEST(Differential, APeerWithoutTagsSeesNothingNewButTheHiddenField) {
  const ThirdView off = RunScenario(false);
  const ThirdView on = RunScenario(true);
  ASSERT_TRUE(on.plumoWorked);
  ASSERT_FALSE(off.plumoWorked);
  ASSERT_EQ(on.events.size(), off.events.size());
  for (std::size_t k = 0; k < on.events.size(); ++k) ASSERT_EQ(on.events[k], off.events[k]) << "event " << k;
  EXPECT_GT(on.strippedTags, 0);
  EXPECT_EQ(off.strippedTags, 0);
  // At most two tag pings per entry and run: anna's two runs and boris each know two other entries.
  EXPECT_GT(on.pingsReceived, off.pingsReceived);
  EXPECT_LE(on.pingsReceived - off.pingsReceived, 12);
  EXPECT_LE(on.pongStates - off.pongStates, on.pingsReceived - off.pingsReceived);
  EXPECT_EQ(on.pongStatesWrong, 0);
}

// Two Plumo engines with guards; anna (1) receives, boris (2) sends, a forger injects datagrams.
struct Two {
  sim::SimLan lan{5};
  FakeGuard guardA, guardB;
  TPlumo& a = Up(1, "anna", guardA);
  TPlumo& b = Up(2, "boris", guardB);
  sim::EventRecorder recA{a, {.answerGaps = false}};
  sim::EventRecorder recB{b, {.answerGaps = false}};

  TPlumo& Up(int n, const std::string& nick, FakeGuard& guard) {
    lan.AddHost(Ip(n));
    TPlumo& e = lan.StartEngine(Ip(n));
    e.SetTag(TagOf(n));
    e.SetEnvelopeGuard(&guard);
    sim::StartUp(e, nick);
    return e;
  }
  std::uint16_t NextPm() const {
    return static_cast<std::uint16_t>(b.Counters().Current(pkPrivateMessage) + 1);
  }
  void ForgeFromBoris(std::uint16_t seq, const std::string& text) {
    lan.Inject(Ip(2), Ip(1), Datagram(pkPrivateMessage, seq, {}, {"boris", "anna", text}));
  }
  void ForgeConfirm(std::uint16_t seq, const std::string& hidden) {
    const std::string block = Be16(pkPrivateMessage) + Be16(seq);
    lan.Inject(Ip(1), Ip(2),
               hidden.empty() ? Datagram(pkConfirm, 9, block, {"anna", "1", " "})
                              : Datagram(pkConfirm, 9, block, {"anna", "1", " ", hidden}));
  }
  void DropMessagesToAnna() {
    lan.dropIf = [](const sim::SimDatagram& d) {
      return d.to == Ip(1) && sim::TypeOf(d.data) == pkPrivateMessage;
    };
  }
  std::size_t ConfirmsOfMessagesBy(const sim::SimHost& host) const {
    std::size_t n = 0;
    for (const auto& s : host.Sent()) {
      n += sim::TypeOf(s.data) == pkConfirm && s.data.substr(5, 2) == Be16(pkPrivateMessage);
    }
    return n;
  }
};

// Each attack on delivery, and the defence that stops it.
TEST(EnvelopeAttacks, ForgedNumbersAndConfirmationsCannotSwallowOrFakeADelivery) {
  struct Case {
    const char* name;
    std::function<void(Two&, std::uint16_t next)> before;  // forged before boris sends (his next number)
    std::string text;                                      // what boris sends: an envelope awaits its receipt
    std::function<void(Two&, std::uint16_t seq)> after;    // forged or dropped after he sent it
    std::size_t forgedConfirmed;                           // anna's confirmations of the forged datagrams
    std::size_t shown;
    bool confirmed, notDelivered;
  };
  const auto nothing = [](Two&, std::uint16_t) {};
  const Case cases[] = {
      {"pre-played numbers do not make the envelope a repeat",
       [](Two& t, std::uint16_t next) {
         t.ForgeFromBoris(next, "junk");
         t.ForgeFromBoris(static_cast<std::uint16_t>(next + 1), "junk");
       },
       "\x01PEreal", nothing, 2, 1, true, false},
      {"a refused envelope is not confirmed and leaves the numbers alone",
       [](Two& t, std::uint16_t next) { t.ForgeFromBoris(next, "\x01PEbad forgery"); }, "plain after it",
       nothing, 0, 1, true, false},
      {"a forged confirmation without receipt does not end the resends",
       [](Two& t, std::uint16_t) { t.DropMessagesToAnna(); }, "\x01PEsealed",
       [](Two& t, std::uint16_t seq) { t.ForgeConfirm(seq, {}); }, 0, 0, false, true},
      {"a confirmation with a wrong receipt does not count",
       [](Two& t, std::uint16_t) { t.DropMessagesToAnna(); }, "\x01PEsealed",
       [](Two& t, std::uint16_t seq) { t.ForgeConfirm(seq, "\x01PRwrong"); }, 0, 0, false, true},
      {"nor does one without receipt after the tries", [](Two& t, std::uint16_t) { t.DropMessagesToAnna(); },
       "\x01PEsealed",
       [](Two& t, std::uint16_t seq) {
         ASSERT_TRUE(t.lan.RunUntil([&] { return t.recB.Count(Ev::Notice) > 0; }, 20'000));
         t.ForgeConfirm(seq, {});
       },
       0, 0, false, true},
      {"the right receipt counts even after the tries", [](Two& t, std::uint16_t) { t.DropMessagesToAnna(); },
       "\x01PEsealed",
       [](Two& t, std::uint16_t seq) {
         ASSERT_TRUE(t.lan.RunUntil([&] { return t.recB.Count(Ev::Notice) > 0; }, 20'000));
         t.ForgeConfirm(seq, FakeGuard::Receipt("\x01PEsealed"));
       },
       0, 0, true, true},
      {"a lost confirmation: the same envelope again, confirmed with its receipt, shown once",
       [](Two& t, std::uint16_t) {
         t.lan.dropIf = [n = 0](const sim::SimDatagram& d) mutable {
           return d.from == Ip(1) && d.to == Ip(2) && sim::TypeOf(d.data) == pkConfirm && n++ == 0;
         };
       },
       "\x01PEonce", nothing, 0, 1, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Two t;
    t.lan.RunFor(3000);
    t.recA.Clear();
    t.recB.Clear();
    t.lan.Host(Ip(1)).ClearSent();
    t.lan.Host(Ip(2)).ClearSent();
    const std::uint16_t next = t.NextPm();
    c.before(t, next);
    t.lan.RunFor(100);
    EXPECT_EQ(t.ConfirmsOfMessagesBy(t.lan.Host(Ip(1))), c.forgedConfirmed);
    t.recA.Clear();
    const bool sealed = c.text.starts_with("\x01PE");
    ASSERT_EQ(
        t.b.SendPrivateMessage("anna", c.text, Ip(1), sealed ? FakeGuard::Receipt(c.text) : std::string()),
        SendResult::Sent);
    c.after(t, next);
    t.lan.RunFor(15'000);
    std::size_t shown = 0;
    for (const auto& e : t.recA.Of(Ev::PrivateMessage)) shown += e.text == c.text;
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(t.recB.Count(Ev::Confirm), c.confirmed ? 1U : 0U);
    EXPECT_EQ(t.recB.Count(Ev::Notice), c.notDelivered ? 1U : 0U);
    // Every copy boris sent is the same datagram.
    std::set<std::string> copies;
    for (const auto& s : t.lan.Host(Ip(2)).Sent()) {
      if (sim::TypeOf(s.data) == pkPrivateMessage) copies.insert(s.data);
    }
    EXPECT_EQ(copies.size(), 1U);
  }
}

constexpr std::uint32_t kNow = sim::kStartMs / 1000;
const std::string kMe = "198.18.0.1", kPeer = "10.0.0.7";
const std::string kPeerTag = std::string(TPlumo::kTagPrefix) + " k=peer";

std::string Hello(std::uint16_t seq, std::initializer_list<std::string_view> fields) {
  return Datagram(pkHello, seq, Be32(0) + Be32(kNow), fields);
}
std::string ConfirmOf(std::uint16_t type, std::initializer_list<std::string_view> fields) {
  return Datagram(pkConfirm, 1, Be16(type) + Be16(5), fields);
}
std::string Pong(std::initializer_list<std::string_view> fields) {
  return Datagram(pkPong, 1, {}, fields);
}

// Where a tag is read, when it counts as missing, and what keeps or forgets it.
TEST(Tags, ReadInTheirThreePlacesOnlyForgottenOnRestartKeptOnNickChange) {
  struct Case {
    const char* name;
    std::vector<std::string> datagrams;  // from the peer, in order
    std::string tag;
    bool missing;
    std::size_t onTag;  // OnTag events for the peer's address
  };
  const Case cases[] = {
      {"hello, after a channel", {Hello(2, {"pat", "1", "", "Main", kPeerTag})}, kPeerTag, false, 1},
      {"hello without channels: field 3 is a channel", {Hello(2, {"pat", "1", "", kPeerTag})}, "", false, 0},
      {"hello without a tag proves nothing", {Hello(2, {"pat", "1", "", "Main"})}, "", false, 0},
      {"confirmation of a hello", {ConfirmOf(pkHello, {"pat", "1", " ", kPeerTag})}, kPeerTag, false, 1},
      {"confirmation of a hello without one", {ConfirmOf(pkHello, {"pat", "1", " "})}, "", true, 1},
      {"confirmation of a message: field 3 is a receipt",
       {ConfirmOf(pkPrivateMessage, {"pat", "1", " ", kPeerTag})},
       "",
       false,
       0},
      {"pong, field 4", {Pong({"me", "pat", "1", " ", kPeerTag})}, kPeerTag, false, 1},
      {"pong without one", {Pong({"me", "pat", "1", " "})}, "", true, 1},
      {"pong with it one field late", {Pong({"me", "pat", "1", " ", "x", kPeerTag})}, "", true, 1},
      {"another version is not a tag", {Pong({"me", "pat", "1", " ", "\x01PLUMO/10 k=x"})}, "", true, 1},
      {"a channel line carries none",
       {Datagram(pkChannelLine, 1, {}, {"pat", "Main", kPeerTag})},
       "",
       false,
       0},
      {"seen, missing, seen again",
       {Pong({"me", "pat", "1", " ", kPeerTag}), Pong({"me", "pat", "1", " "}),
        Pong({"me", "pat", "1", " ", kPeerTag})},
       kPeerTag,
       false,
       3},
      {"a copy of the same hello keeps it",
       {Hello(2, {"pat", "1", "", "Main", kPeerTag}), Hello(2, {"pat", "1", "", "Main"})},
       kPeerTag,
       false,
       1},
      {"a new hello (a restart) forgets it",
       {Hello(2, {"pat", "1", "", "Main", kPeerTag}), Hello(4, {"pat", "1", "", "Main"})},
       "",
       false,
       2},
      {"a restart forgets that it was missing",
       {Hello(2, {"pat", "1", "", "Main"}), Pong({"me", "pat", "1", " "}),
        Hello(4, {"pat", "1", "", "Main"})},
       "",
       false,
       2},
      {"a nick change keeps it",
       {Hello(2, {"pat", "1", "", "Main", kPeerTag}), Datagram(pkNickChange, 1, {}, {"pat", "paula"})},
       kPeerTag,
       false,
       2},
      {"a nick change from the empty nick (a new run) does not",
       {Hello(2, {"pat", "1", "", "Main", kPeerTag}), Datagram(pkNickChange, 1, {}, {"", "paula"})},
       "",
       false,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimLan lan;
    lan.AddHost(kMe).randomSource = [](std::uint32_t) { return 0U; };
    TPlumo& me = lan.StartEngine(kMe);
    sim::EventRecorder rec(me);
    sim::StartUp(me, "me");
    for (const auto& d : c.datagrams) sim::Deliver(me, d, kPeer);
    const AChuvakInfo* e = me.Users().Entry(me.Users().Find(std::string(), kPeer));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Tag, c.tag);
    EXPECT_EQ(e->TagMissing, c.missing);
    std::size_t onTag = 0;
    for (const auto& ev : rec.Of(Ev::Tag)) onTag += ev.address == kPeer;
    EXPECT_EQ(onTag, c.onTag);
  }
}

// A peer heard without a tag is pinged for it at first sight and once more a minute later, never
// more; all tag pings share one budget, so a thousand forged addresses get a few dozen pings.
TEST(Tags, PingsForATagAreTwoPerEntryAndBoundedInTotal) {
  struct Case {
    const char* name;
    bool feature;
    int peers;
    bool answer;  // the peer's pong brings its tag after the first ping
    std::int64_t runMs;
    std::size_t minPings, maxPings;
  };
  const std::size_t burst = TPlumo::kPingBurst;
  const Case cases[] = {
      {"silent about its tag: first sight and a minute later", true, 1, false, 300'000, 2, 2},
      {"answered with its tag: once", true, 1, true, 300'000, 1, 1},
      {"without an own tag: never", false, 1, false, 300'000, 0, 0},
      // The budget at once, then its refill per presence period: 8 + 8 * 80 / 30.
      {"a thousand forged addresses", true, 1000, false, 80'000, burst, burst + burst * 80 / 30 + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimLan lan;
    sim::SimHost& host = lan.AddHost(kMe);
    host.randomSource = [](std::uint32_t) { return 0U; };  // no random presence pings
    lan.statelessPerfectLinks = true;
    TPlumo& me = lan.StartEngine(kMe);
    if (c.feature) me.SetTag(TagOf(1));
    sim::StartUp(me, "me");
    host.ClearSent();
    auto peer = [](int k) { return "10.1." + std::to_string(k / 256) + "." + std::to_string(k % 256); };
    for (std::int64_t t = 0; t < c.runMs; t += 20'000) {
      for (int k = 0; k < c.peers; ++k) {
        const std::string nick = "p" + std::to_string(k);
        lan.Inject(
            peer(k), kMe,
            Datagram(pkChannelLine, static_cast<std::uint16_t>(t / 20'000 + 1), {}, {nick, "Main", "hi"}));
      }
      lan.RunFor(1000);
      if (c.answer && t == 0) lan.Inject(peer(0), kMe, Pong({"me", "p0", "1", " ", kPeerTag}));
      lan.RunFor(19'000);
    }
    std::size_t pings = 0;
    for (const auto& s : host.Sent()) pings += sim::TypeOf(s.data) == pkPing;
    EXPECT_GE(pings, c.minPings);
    EXPECT_LE(pings, c.maxPings);
  }
}

}  // namespace
}  // namespace plumo
