// SPDX-License-Identifier: GPL-3.0-or-later
// The engine on its own: what each operation puts on the wire, how each received datagram is
// handled, and the rules of the resend and presence ticks. Datagrams are handed in directly; the
// simulated LAN only provides the host (clock, timers, send log).
#include <gtest/gtest.h>

#include <functional>

#include "support/datagrams.h"
#include "support/recorder.h"
#include "support/simlan.h"

namespace plumo {
namespace {

using sim::Be16;
using sim::Be32;
using sim::Datagram;
using sim::Ev;

const std::string kMe = "198.18.0.1", kAnn = "198.18.0.2", kBob = "198.18.0.3", kBc = "255.255.255.255";
constexpr std::uint32_t kNow = sim::kStartMs / 1000;

struct Engine : ::testing::Test {
  sim::SimLan lan;
  sim::SimHost& host = lan.AddHost(kMe);
  TPlumo& me = Boot();
  sim::EventRecorder rec{me};

  TPlumo& Boot() {
    host.randomSource = [](std::uint32_t) { return 0U; };  // Jitter 0, and no random pings
    TPlumo& e = lan.StartEngine(kMe);
    e.SetNick("me");
    e.AddChannel("Main", "topic", "", "", 1000);
    e.StateDescription = " ";
    e.SetState(stActive);
    e.AboutText = "about";
    e.VersionText = "ver";
    return e;
  }
  void From(const std::string& address, const std::string& data) { sim::Deliver(me, data, address); }
  static std::string Hello(const std::string& nick, const std::string& topic = "", std::uint32_t time = 0) {
    return Datagram(pkHello, 2, Be32(time) + Be32(kNow), {nick, "2", topic, "Main"});
  }
  static std::string Line(std::uint16_t seq, const std::string& text = "hi") {
    return Datagram(pkChannelLine, seq, "", {"ann", "Main", text});
  }
  static std::string Pm(std::uint16_t seq, const std::string& to = "me") {
    return Datagram(pkPrivateMessage, seq, "", {"ann", to, "pm"});
  }
  // The own entry and ann (index 1) in the roster; logs cleared.
  void Meet() {
    From(kMe, Hello("me"));
    From(kAnn, Hello("ann"));
    host.ClearSent();
    rec.Clear();
  }
  std::vector<sim::SentRecord> SentOf(std::uint16_t type) const {
    std::vector<sim::SentRecord> out;
    for (const auto& s : host.Sent()) {
      if (sim::TypeOf(s.data) == type) out.push_back(s);
    }
    return out;
  }
  // Moves the engine's own clock (not the LAN's) to seconds after the start.
  void At(std::int64_t seconds) { host.clockOffsetMs = seconds * 1000; }
};

TEST_F(Engine, EveryOperationWritesItsLayout) {
  Meet();
  const AChuvakInfo ann = *me.Users().Entry(1);
  const std::uint8_t confirmed[4] = {0, 15, 0, 9};
  struct Case {
    std::function<SendResult()> op;
    std::string dest, data;
  };
  const Case cases[] = {
      {[&] { return me.SendHello(); }, kBc,
       Datagram(13, 2, Be32(1000) + Be32(kNow), {"me", "1", "topic", "Main"})},
      {[&] { return me.SendChannelLine("Main", "hi", kBc); }, kBc, Datagram(14, 1, "", {"me", "Main", "hi"})},
      {[&] { return me.SendPrivateMessage("ann", "pm", kAnn); }, kAnn,
       Datagram(15, 1, "", {"me", "ann", "pm"})},
      {[&] { return me.SendMassMessage("all"); }, kBc, Datagram(16, 1, "", {"me", "all"})},
      {[&] { return me.SendConfirm(confirmed); }, kBc,
       Datagram(17, 3, std::string("\0\x0F\0\x09", 4), {"me", "1", " "})},
      {[&] { return me.RequestResend(1, 14, 3, 5); }, kAnn,
       Datagram(20, 1, Be16(14) + Be16(3) + Be16(5), {"me"})},
      {[&] { return me.SendRosterList(); }, kBc, Datagram(21, 1, "", {"me", "ann"})},
      {[&] { return me.SendPing("ann"); }, kBc, Datagram(22, 1, "", {"me", "ann"})},
      {[&] { return me.SendPong("ann"); }, kBc, Datagram(23, 1, "", {"ann", "me", "1", " "})},
      {[&] { return me.SetNick("me"); }, kBc, Datagram(24, 2, "", {"me", "me"})},
      {[&] { return me.SetTopic("Main", "new", kNow - 10); }, kBc,
       Datagram(25, 1, Be32(kNow - 10) + Be32(kNow), {"me", "Main", "new"})},
      {[&] { return me.SendTopicQuery("Main"); }, kBc,
       Datagram(26, 1, Be32(kNow - 10) + Be32(kNow), {"me", "Main"})},
      {[&] { return me.SetState(stDoNotDisturb); }, kBc, Datagram(27, 2, "", {"me", "4", " "})},
      {[&] { return me.RequestInfo(1); }, kAnn, Datagram(28, 1, "", {"me"})},
      {[&] { return me.SendInfo(1); }, kAnn, Datagram(29, 1, "", {"me", "about\r\nver"})},
      {[&] { return me.SendBell(ann, 258); }, kAnn, Datagram(30, 1, "\x01\x02", {"me"})},
      {[&] { return me.SendExit(); }, kBc, Datagram(19, 1, "", {"me"})},
  };
  for (const Case& c : cases) {
    host.ClearSent();
    EXPECT_EQ(c.op(), SendResult::Sent) << sim::TypeOf(c.data);
    ASSERT_EQ(host.Sent().size(), 1U) << sim::TypeOf(c.data);
    EXPECT_EQ(host.Sent()[0].dest, c.dest) << sim::TypeOf(c.data);
    EXPECT_EQ(host.Sent()[0].data, c.data) << sim::TypeOf(c.data);
  }
  // Kept: the two confirmations of Meet, line, private, mass, confirm, bell. Pending on ann only.
  ASSERT_EQ(me.History().size(), 7U);
  EXPECT_EQ(me.History()[3].Dest, kAnn);
  EXPECT_TRUE(me.Users().Entry(0)->Pending.empty());
  const auto& pending = me.Users().Entry(1)->Pending;
  ASSERT_EQ(pending.size(), 3U);
  EXPECT_EQ(pending[0].PacketType, pkPrivateMessage);
  EXPECT_EQ(pending[2].PacketType, pkBell);
  EXPECT_TRUE(me.Users().Entry(1)->InfoRequested);
  EXPECT_FALSE(host.TimerEnabled(EngineTimer::Resend));  // SendExit stops resending
}

TEST_F(Engine, RingKeepsTheLast255) {
  for (int n = 1; n <= 300; ++n) me.SendChannelLine("Main", std::to_string(n), kBc);
  ASSERT_EQ(me.History().size(), 255U);
  EXPECT_EQ(me.History()[0].Seq, 256);
  EXPECT_EQ(me.History()[44].Seq, 300);
  EXPECT_EQ(me.History()[45].Seq, 46);
  EXPECT_EQ(me.History()[254].Seq, 255);
  EXPECT_EQ(me.HistoryPos(), 45U);
}

TEST_F(Engine, TooLongDatagramIsNotSent) {
  Meet();
  // Header 5 + "me\0" + "Main\0" + text + "\0": 2034 bytes of text make exactly 2048.
  EXPECT_EQ(me.SendChannelLine("Main", std::string(2034, 'x'), kBc), SendResult::Sent);
  EXPECT_EQ(host.Sent().back().data.size(), kMaxDatagram);
  host.ClearSent();
  const std::size_t kept = me.History().size();
  std::string big(3000, 'x');
  const std::function<SendResult()> refused[] = {
      [&] { return me.SendChannelLine("Main", std::string(2035, 'x'), kBc); },
      [&] { return me.SendPrivateMessage("ann", big, kAnn); },
      [&] { return me.SendMassMessage(big); },
      [&] { return me.SetNick(big); },
      [&] { return me.SetTopic("Main", big, kNow); },
      [&] { return me.SendTopicQuery("Main" + big); },  // the query names the channel: too long as well
      [&] {                                             // channel 0's topic travels in the hello
        const std::string topic = me.ChannelAt(0)->Topic;
        me.ChannelAt(0)->Topic = big;
        const SendResult result = me.SendHello();
        me.ChannelAt(0)->Topic = topic;
        return result;
      },
  };
  me.AddChannel("Main" + big, "", "", "", 0);
  for (std::size_t k = 0; k < std::size(refused); ++k) EXPECT_EQ(refused[k](), SendResult::TooLong) << k;
  EXPECT_TRUE(host.Sent().empty());
  EXPECT_EQ(me.History().size(), kept);
  EXPECT_TRUE(me.Users().Entry(1)->Pending.empty());
  EXPECT_EQ(me.Counters().Current(pkChannelLine), 1);  // the refused ones took no number
  EXPECT_EQ(me.Counters().Current(pkHello), 0);
  EXPECT_EQ(me.Nick(), "me");
  EXPECT_EQ(me.FindChannel("Main")->Topic, "topic");
}

TEST_F(Engine, NothingToSendSendsNothing) {
  host.ClearSent();
  const std::function<SendResult()> idle[] = {
      [&] { return me.SetTopic("Main", "own", kNow - 5); },  // the own entry is not known yet: stored only
      [&] { return me.SendTopicQuery("Main"); },             // likewise
      [&] { return me.RequestInfo(0); },                     // the roster is still empty
      [&] { return me.SendInfo(-1); },
      [&] { return me.RequestResend(2, pkChannelLine, 1, 1); },
      [&] {
        Meet();
        return me.SetTopic("Main", "later", kNow + 1);
      },  // a topic time in the future
      [&] { return me.SendTopicQuery("Nowhere"); },
      [&] { return me.RequestResend(2, pkChannelLine, 1, 1); },
  };
  for (std::size_t k = 0; k < std::size(idle); ++k) {
    EXPECT_EQ(idle[k](), SendResult::Nothing) << k;
    EXPECT_TRUE(host.Sent().empty()) << k;
  }
  EXPECT_EQ(me.FindChannel("Main")->Topic, "own");
}

TEST_F(Engine, WithoutAListenerEverythingButTheEventsHappens) {
  Meet();
  me.SendPrivateMessage("ann", "pm", kAnn);
  me.SetEvents(nullptr);
  From(kAnn, Datagram(pkConfirm, 1, Be16(pkPrivateMessage) + Be16(1), {"ann", "4"}));
  From(kAnn, Pm(1));
  From(kAnn, Pm(3));  // a gap: the roster still reports it to its own handler
  From(kBob, Datagram(18, 1, "", {"x"}));
  From(kAnn, Datagram(pkBell, 1, "\x01\x02", {"ann"}));
  host.failSends = true;
  me.SendMassMessage("nobody hears");
  me.PresenceTick();
  ASSERT_EQ(rec.events.size(), 1U);
  EXPECT_EQ(rec.events[0].kind, Ev::Gap);
  // The private message is confirmed; the mass message, which the host failed to send, waits.
  ASSERT_EQ(me.Users().Entry(1)->Pending.size(), 1U);
  EXPECT_EQ(me.Users().Entry(1)->Pending[0].PacketType, pkMassMessage);
  EXPECT_EQ(me.Users().Entry(1)->State, stDoNotDisturb);
  EXPECT_EQ(SentOf(pkConfirm).size(), 3U);  // private messages and the bell
}

TEST_F(Engine, TopicOperations) {
  me.AddChannel("Later", "t", "", "", kNow + 1);
  EXPECT_EQ(me.FindChannel("Later")->Topic, TPlumo::kFutureTopicText);
  host.ClearSent();
  me.SetTopic("Main", "own", kNow - 5);  // the own entry is not known yet: stored, not sent
  me.SendTopicQuery("Main");
  EXPECT_TRUE(host.Sent().empty());
  EXPECT_EQ(me.FindChannel("Main")->Topic, "own");
  EXPECT_EQ(me.FindChannel("Main")->SetterAddress, kMe);
  Meet();
  me.SetTopic("Main", "future", kNow + 1);  // changes and sends nothing
  EXPECT_EQ(me.FindChannel("Main")->Topic, "own");
  me.SetTopic("Nowhere", "x", kNow);  // sent but not stored
  me.SendTopicQuery("Nowhere");       // unknown channel: nothing
  EXPECT_EQ(SentOf(pkTopic).size(), 1U);
  EXPECT_EQ(host.Sent().size(), 1U);
  EXPECT_EQ(me.FindChannel("Nowhere"), nullptr);
}

TEST_F(Engine, BadDatagramsHaveNoEffect) {
  Meet();
  From(kAnn, "Q" + Line(1).substr(1));                               // wrong marker
  From(kAnn, Line(1).substr(0, 4));                                  // shorter than a header
  From(kAnn, Datagram(pkChannelLine, 1, "", {"", "Main", "x"}));     // empty sender nick
  From(kAnn, Datagram(pkConfirm, 1, std::string("\0\x0F", 2), {}));  // no fields after a cut block
  From(kAnn, Line(1).substr(0, 8));                                  // a nick without its zero byte
  EXPECT_TRUE(rec.events.empty());
  EXPECT_TRUE(host.Sent().empty());
  EXPECT_EQ(me.Users().Count(), 2);
  From(kBob, Datagram(18, 1, "", {"x"}));
  From(kBob, Datagram(31, 1, "", {}));
  ASSERT_EQ(rec.events.size(), 2U);
  EXPECT_EQ(rec.events[0].text, TPlumo::kUnknownCommandText + "18 " + kBob);
  EXPECT_EQ(rec.events[1].text, TPlumo::kUnknownCommandText + "31 " + kBob);
  EXPECT_EQ(me.Users().Count(), 2);
  EXPECT_TRUE(host.Sent().empty());
  EXPECT_TRUE(host.TimerEnabled(EngineTimer::Resend));  // every datagram restarts the resend timer
}

TEST_F(Engine, HelloConfirmAndStates) {
  From(kAnn, Hello("ann", "their topic", kNow - 100));
  ASSERT_EQ(rec.Count(Ev::NewUser), 1U);
  EXPECT_EQ(me.Users().Entry(0)->State, stAway);  // applied silently
  EXPECT_EQ(rec.Count(Ev::UserState), 0U);
  EXPECT_EQ(SentOf(pkConfirm).at(0).data, Datagram(17, 1, std::string("\0\x0D\0\x02", 4), {"me", "1", " "}));
  EXPECT_EQ(me.FindChannel("Main")->Topic, "their topic");  // 100 s old beats time 1000
  me.SendPrivateMessage("ann", "x", kAnn);
  From(kAnn, Datagram(pkConfirm, 1, Be16(pkPrivateMessage) + Be16(9), {"ann", "3"}));  // not pending
  EXPECT_EQ(rec.Count(Ev::Confirm), 0U);
  EXPECT_EQ(me.Users().Entry(0)->State, stScreenSaver);
  From(kAnn, Datagram(pkConfirm, 2, Be16(pkPrivateMessage) + Be16(1), {"ann", "4", "busy"}));
  EXPECT_EQ(rec.Count(Ev::Confirm), 1U);
  EXPECT_TRUE(me.Users().Entry(0)->Pending.empty());
  EXPECT_EQ(me.Users().Entry(0)->StateDescription, "busy");
  From(kAnn, Datagram(pkStateChange, 1, "", {"ann", "12", "x"}));  // not one character: unchanged
  From(kAnn, Datagram(pkStateChange, 2, "", {"ann", "5"}));
  ASSERT_EQ(rec.Count(Ev::UserState), 1U);
  EXPECT_EQ(rec.Of(Ev::UserState)[0].oldState, stDoNotDisturb);
  EXPECT_EQ(me.Users().Entry(0)->StateDescription, "");
  From(kAnn, Datagram(pkPong, 1, "", {"me", "anna", "1", "back"}));  // a new nick at a known address
  EXPECT_EQ(me.Users().Entry(0)->Nick, "anna");
  EXPECT_EQ(rec.Count(Ev::UserState), 2U);
}

TEST_F(Engine, LinesAndMessagesRaiseOnceAndAreConfirmed) {
  Meet();
  From(kAnn, Line(7));
  From(kAnn, Line(7));
  EXPECT_EQ(rec.Count(Ev::ChannelLine), 1U);
  EXPECT_TRUE(SentOf(pkConfirm).empty());  // lines are not confirmed
  From(kAnn, Pm(1));
  From(kAnn, Pm(2));
  From(kAnn, Pm(1));  // resent after a lost confirmation, arriving after a newer one
  From(kAnn, Pm(4));  // 3 is missing: a resend request goes out
  From(kAnn, Pm(3));  // the resend that fills the gap
  From(kAnn, Pm(5, "someone else"));
  EXPECT_EQ(rec.Count(Ev::PrivateMessage), 4U);
  EXPECT_EQ(SentOf(pkConfirm).size(), 6U);
  ASSERT_EQ(SentOf(pkResendRequest).size(), 1U);
  EXPECT_EQ(SentOf(pkResendRequest)[0].data, Datagram(20, 1, Be16(15) + Be16(3) + Be16(3), {"me"}));
  me.SetState(stOffline);
  From(kAnn, Pm(6));
  me.SetState(stActive);
  From(kAnn, Pm(6));  // recorded while offline: not shown later either
  From(kAnn, Datagram(pkMassMessage, 1, "", {"ann", "all"}));
  From(kMe, Datagram(pkMassMessage, 1, "", {"me", "own"}));
  EXPECT_EQ(rec.Count(Ev::PrivateMessage), 4U);
  EXPECT_EQ(rec.Count(Ev::MassMessage), 1U);
  EXPECT_EQ(SentOf(pkConfirm).size(), 10U);
}

TEST_F(Engine, RepeatSuppressionSurvivesTheCounterWrap) {
  Meet();
  for (std::uint16_t s : {65534, 65535, 0, 1, 65535, 0, 2}) From(kAnn, Line(s, std::to_string(s)));
  EXPECT_EQ(rec.Count(Ev::ChannelLine), 5U);
  EXPECT_EQ(rec.Count(Ev::Gap), 0U);
  From(kAnn, Line(5));
  ASSERT_EQ(rec.Count(Ev::Gap), 1U);
  EXPECT_EQ(rec.Of(Ev::Gap)[0].first, 3);
  EXPECT_EQ(rec.Of(Ev::Gap)[0].last, 4);
}

TEST_F(Engine, OnlyANewHelloForgetsThePeersNumbers) {
  Meet();
  From(kAnn, Pm(1));
  From(kAnn, Hello("ann"));  // a copy of the hello already heard
  From(kAnn, Pm(1));         // resent after a lost confirmation: still a repeat
  EXPECT_EQ(rec.Count(Ev::PrivateMessage), 1U);
  // ann restarts: her new hello has another clock, and her numbers begin again at 1.
  From(kAnn, Datagram(pkHello, 2, Be32(0) + Be32(kNow + 60), {"ann", "1", "", "Main"}));
  From(kAnn, Pm(1));
  EXPECT_EQ(rec.Count(Ev::PrivateMessage), 2U);
}

TEST_F(Engine, PeersComeAndGo) {
  Meet();
  From(kBob, Datagram(pkExit, 1, "", {"bob"}));  // unknown: still reported
  From(kAnn, Datagram(pkNickChange, 1, "", {"", "ann2"}));
  EXPECT_EQ(rec.Count(Ev::UserExit), 1U);
  ASSERT_EQ(rec.Count(Ev::NickChange), 1U);
  EXPECT_EQ(me.Users().Find("ann2", kAnn), 1);
  From(kAnn, Datagram(pkExit, 1, "", {"ann2"}));
  EXPECT_EQ(me.Users().Count(), 1);
  From(kAnn, Datagram(pkPing, 1, "", {"ann", "me"}));
  EXPECT_EQ(SentOf(pkPong).at(0).data, Datagram(23, 1, "", {"ann", "me", "1", " "}));
  From(kAnn, Datagram(pkInfoReply, 1, "", {"ann", "unasked"}));
  me.RequestInfo(1);
  From(kAnn, Datagram(pkInfoReply, 2, "", {"ann", "asked"}));
  From(kAnn, Datagram(pkInfoReply, 3, "", {"ann", "again"}));
  ASSERT_EQ(rec.Count(Ev::Info), 1U);
  EXPECT_EQ(rec.Of(Ev::Info)[0].text, "asked");
  From(kAnn, Datagram(pkInfoRequest, 1, "", {"ann"}));
  EXPECT_EQ(SentOf(pkInfoReply).at(0).dest, kAnn);
  From(kBob, Datagram(pkRosterList, 1, "", {"bob", "me"}));  // the sender is not added
  EXPECT_EQ(me.Users().Find("", kBob), -1);
  From(kAnn, Datagram(pkTopic, 1, Be32(kNow) + Be32(kNow), {"ann", "Main"}));  // no topic field
  EXPECT_EQ(me.FindChannel("Main")->Topic, "topic");
  From(kAnn, Datagram(pkTopic, 2, Be32(kNow) + Be32(kNow), {"ann", "Main", "set"}));
  EXPECT_EQ(me.FindChannel("Main")->Topic, "set");
  From(kAnn, Datagram(pkBell, 1, "\x01\x02", {"ann"}));
  From(kAnn, Datagram(pkBell, 1, "\x01\x02", {"ann"}));  // bells are not tracked: rings again
  ASSERT_EQ(rec.Count(Ev::Bell), 2U);
  EXPECT_EQ(rec.Of(Ev::Bell)[0].number, 258);
  EXPECT_EQ(SentOf(pkConfirm).size(), 2U);
}

TEST_F(Engine, ResendRequestsAnswerFromTheRing) {
  Meet();
  me.SendChannelLine("Main", "a", kBc);
  me.SendChannelLine("Main", "b", kBob);  // went to someone else: not for ann
  me.SendChannelLine("Main", "c", kBc);
  host.ClearSent();
  From(kMe, Datagram(pkResendRequest, 1, Be16(14) + Be16(1) + Be16(3), {"me"}));  // own: ignored
  EXPECT_TRUE(host.Sent().empty());
  From(kAnn, Datagram(pkResendRequest, 1, Be16(14) + Be16(1) + Be16(3), {"ann"}));
  ASSERT_EQ(host.Sent().size(), 2U);
  EXPECT_EQ(host.Sent()[0].dest, kAnn);
  EXPECT_EQ(host.Sent()[0].data, me.History()[2].Data);  // after the two confirmations of Meet
  EXPECT_EQ(host.Sent()[1].data, me.History()[4].Data);
}

TEST_F(Engine, TopicsFromPeers) {
  Meet();
  auto topic = [&](std::uint32_t time, std::uint32_t clock, const std::string& nick,
                   const std::string& channel,
                   const std::string& text) { me.ApplyTopic(time, clock, nick, channel, text); };
  me.FindChannel("Main")->TopicTime = kNow - 100;
  topic(kNow - 70, kNow, "ann", "Main", "30 s newer");
  EXPECT_EQ(me.FindChannel("Main")->Topic, "topic");
  topic(kNow - 169, kNow - 100, "ann", "Main", "31 s newer, sender's clock 100 s behind");
  EXPECT_EQ(me.FindChannel("Main")->Topic, "31 s newer, sender's clock 100 s behind");
  EXPECT_EQ(me.FindChannel("Main")->TopicTime, kNow - 69);
  EXPECT_EQ(me.FindChannel("Main")->SetterNick, "ann");
  topic(kNow - 69, kNow, "me", "Main", "own text");  // from the own nick: a different text wins
  topic(kNow, kNow - 1, "ann", "Main", "in the future");
  topic(kNow, kNow, "ann", "#", "console");
  topic(kNow, kNow, "ann", "Main", "");
  EXPECT_EQ(me.FindChannel("Main")->Topic, "own text");
  EXPECT_EQ(me.FindChannel("#"), nullptr);
  EXPECT_EQ(rec.Count(Ev::TopicChange), 2U);
  topic(kNow - 5, kNow, "ann", "New", "fresh");
  ASSERT_NE(me.FindChannel("New"), nullptr);
  EXPECT_EQ(me.FindChannel("New")->SetterNick, "ann");
  EXPECT_EQ(rec.Count(Ev::TopicChange), 2U);

  // Topic queries: answered only when the own topic is more than 5 s newer, and by chance 1 in N.
  host.ClearSent();
  me.FindChannel("Main")->TopicTime = kNow - 10;
  host.randomSource = [](std::uint32_t) { return 1U; };
  me.AnswerTopicQuery(kNow - 15, kNow, "ann", "Main");  // 5 s older: no answer
  me.AnswerTopicQuery(kNow - 16, kNow, "me", "Main");   // own query: no answer
  EXPECT_TRUE(host.Sent().empty());
  me.AnswerTopicQuery(kNow - 16, kNow, "ann", "Main");
  ASSERT_EQ(SentOf(pkTopic).size(), 1U);
  host.randomSource = [](std::uint32_t) { return 0U; };
  me.AnswerTopicQuery(kNow - 16, kNow, "ann", "Main");
  EXPECT_EQ(host.Sent().size(), 1U);
}

TEST_F(Engine, RosterComparisonPingsTheDifferences) {
  Meet();                                              // roster: me, ann
  me.CompareRoster({"bob", "ann", "carl", "", "me"});  // longer list: ping unknown names
  ASSERT_EQ(SentOf(pkPing).size(), 2U);
  EXPECT_EQ(sim::FieldsOf(SentOf(pkPing)[0].data), (TMStigs{"me", "bob"}));
  EXPECT_EQ(sim::FieldsOf(SentOf(pkPing)[1].data), (TMStigs{"me", "carl"}));
  host.ClearSent();
  me.CompareRoster({"bob"});  // shorter: ping own entries the sender does not list
  ASSERT_EQ(SentOf(pkPing).size(), 2U);
  EXPECT_EQ(sim::FieldsOf(SentOf(pkPing)[0].data)[1], "me");
  EXPECT_EQ(sim::FieldsOf(SentOf(pkPing)[1].data)[1], "ann");
}

TEST_F(Engine, ResendTickRetriesUnconfirmedUpToFiveTimes) {
  Meet();
  From(kBob, Hello("bob"));
  From(kBob, Datagram(pkHello, 2, Be32(0) + Be32(kNow), {"carl", "1", "", "Main"}));  // bob renamed: carl
  From("198.18.0.4", Hello("dan"));
  me.SendPrivateMessage("ann", "pm", kAnn);
  me.SendMassMessage("all");
  From(kBob, Datagram(pkConfirm, 1, Be16(pkMassMessage) + Be16(1), {"carl", "1"}));
  host.ClearSent();
  // Five resends a second apart, then the grace time after the last one.
  for (int tick = 0; tick < 8; ++tick) {
    host.clockOffsetMs += TPlumo::kResendIntervalMs;
    me.ResendTick();
  }
  EXPECT_EQ(SentOf(pkPrivateMessage).size(), 5U);
  const auto mass = SentOf(pkMassMessage);
  ASSERT_EQ(mass.size(), 10U);  // ann and dan, five times each, unicast
  for (const auto& s : mass) EXPECT_TRUE(s.dest == kAnn || s.dest == "198.18.0.4");
  EXPECT_FALSE(host.TimerEnabled(EngineTimer::Resend));  // nothing left to resend
  EXPECT_EQ(me.Users().Entry(1)->Pending.size(), 2U);    // kept, with no tries left, until the ring moves on
  for (int n = 0; n < 255; ++n) me.SendChannelLine("Main", "x", kBc);
  me.ResendTick();
  EXPECT_TRUE(me.Users().Entry(1)->Pending.empty());
}

TEST_F(Engine, EachRunNumbersFromItsOwnRandomPlace) {
  sim::SimHost& other = lan.AddHost(kBob);
  other.randomSource = [](std::uint32_t n) { return n == TPlumo::kSeqStartRange ? 12345U : 0U; };
  TPlumo& e = lan.StartEngine(kBob);
  EXPECT_EQ(e.Counters().Current(pkHello), 12344);  // hello numbers stay even
  for (std::uint16_t type = pkChannelLine; type <= pkBell; ++type)
    EXPECT_EQ(e.Counters().Current(type), 12345);
  e.SendChannelLine("Main", "x", kBc);
  EXPECT_EQ(sim::SeqOf(other.Sent().back().data), 12346);
  e.DropDeliveryGuards();
  e.SendMassMessage("x");
  EXPECT_EQ(sim::SeqOf(other.Sent().back().data), 1);
}

// A confirmation that comes long after the last transmission of a datagram that is still being
// resent answers somebody else's datagram under the same number, and leaves ours pending.
TEST_F(Engine, ConfirmationsCountOnlyInAnswerToATransmission) {
  Meet();
  enum Then { kNothing, kResendTick, kResendRequest, kNoTriesLeft };
  struct Case {
    std::int64_t waitMs;
    Then then;
    std::int64_t thenWaitMs;
    bool taken;
  };
  const Case cases[] = {
      {0, kNothing, 0, true},
      {TPlumo::kConfirmWindowMs, kNothing, 0, true},
      {TPlumo::kConfirmWindowMs + 1, kNothing, 0, false},
      {60'000, kResendTick, 20, true},
      {60'000, kResendRequest, 20, true},
      {60'000, kNoTriesLeft, 0, true},
  };
  std::size_t taken = 0;
  for (const Case& c : cases) {
    me.SendPrivateMessage("ann", "pm", kAnn);
    const std::uint16_t seq = me.Counters().Current(pkPrivateMessage);
    auto pending = [&] {
      for (const auto& item : me.Users().Entry(1)->Pending) {
        if (item.Seq == seq) return true;
      }
      return false;
    };
    host.clockOffsetMs += c.waitMs;
    if (c.then == kResendTick) me.ResendTick();
    if (c.then == kResendRequest)
      From(kAnn, Datagram(pkResendRequest, seq, Be16(15) + Be16(seq) + Be16(seq), {"ann"}));
    if (c.then == kNoTriesLeft) {
      for (auto& item : me.Users().Entry(1)->Pending) item.TriesLeft = 0;
    }
    host.clockOffsetMs += c.thenWaitMs;
    From(kAnn, Datagram(pkConfirm, seq, Be16(pkPrivateMessage) + Be16(seq), {"ann", "1"}));
    EXPECT_EQ(pending(), !c.taken) << seq;
    taken += c.taken;
  }
  EXPECT_EQ(rec.Count(Ev::Confirm), taken);
}

TEST_F(Engine, PresenceThresholdsWithJitterZero) {
  ASSERT_EQ(me.Jitter(), 0);
  Meet();
  me.SendChannelLine("Main", "x", kBc);  // a broadcast: quiet count starts at 0
  From(kBob, Hello("bob"));
  host.ClearSent();
  auto pingsFor = [&](const std::string& nick) {
    int n = 0;
    for (const auto& s : SentOf(pkPing)) n += sim::FieldsOf(s.data).at(1) == nick;
    return n;
  };
  // The fourth tick in a row without an own broadcast sends the roster list; a line restarts the count.
  At(10);
  for (int n = 0; n < 3; ++n) me.PresenceTick();
  me.SendChannelLine("Main", "x", kBc);
  for (int n = 0; n < 3; ++n) me.PresenceTick();
  EXPECT_EQ(SentOf(pkRosterList).size(), 0U);
  me.PresenceTick();
  EXPECT_EQ(SentOf(pkRosterList).size(), 1U);
  EXPECT_EQ(me.QuietTicks(), 0);
  At(29);
  me.PresenceTick();
  EXPECT_EQ(SentOf(pkPing).size(), 0U);
  At(95);
  me.PresenceTick();
  me.PresenceTick();
  EXPECT_EQ(pingsFor("ann"), 2);
  At(120);  // exactly 4 L: neither pinged nor dropped
  host.ClearSent();
  me.PresenceTick();
  EXPECT_EQ(SentOf(pkPing).size(), 0U);
  EXPECT_EQ(rec.Count(Ev::UserLost), 0U);
  At(121);
  rec.then = [&](const sim::EngineEvent&) { EXPECT_EQ(me.Users().Count(), 3); };  // lost before removed
  me.PresenceTick();
  rec.then = nullptr;
  ASSERT_EQ(rec.Count(Ev::UserLost), 2U);
  EXPECT_EQ(rec.Of(Ev::UserLost)[0].nick, "ann");
  EXPECT_EQ(rec.Of(Ev::UserLost)[1].nick, "bob");
  EXPECT_EQ(me.Users().Count(), 1);  // the own entry is never dropped
  EXPECT_TRUE(host.TimerEnabled(EngineTimer::Presence));
  // Between L and 3 L a peer is pinged when the 1-in-N draw gives 1.
  From(kAnn, Hello("ann"));
  At(121 + 40);
  host.ClearSent();
  host.randomSource = [](std::uint32_t n) { return n == 2 ? 1U : 0U; };
  me.PresenceTick();
  EXPECT_EQ(pingsFor("ann"), 1);
}

}  // namespace
}  // namespace plumo
