// SPDX-License-Identifier: GPL-3.0-or-later
// The delivery ledger on the simulated LAN: what each sent message's mark and recipients say after
// the engine's reports (confirmed, never confirmed, left, offline, late, a forged confirmation), the
// roll-call of a message to everybody with its acknowledgements, marks that change at most once per
// tick, and private messages that wait for an absent peer across restarts of either side.
#include <algorithm>
#include <functional>

#include "core/deliveries.h"
#include "core_fixture.h"
#include "support/datagrams.h"

namespace plumo::coretest {
namespace {

constexpr const char* kAnna = "198.18.0.1";
constexpr const char* kBob = "198.18.0.2";

// Peer-to-peer datagrams of one type, from one address to another.
bool IsOf(const sim::SimDatagram& d, const std::string& from, const std::string& to, std::uint16_t type) {
  return d.from == from && d.to == to && sim::TypeOf(d.data) == type;
}

// anna and bob on one simulated LAN, both started and known to each other.
struct AnnaAndBob {
  explicit AnnaAndBob(std::uint64_t seed) : lan(seed) {
    started = a.core->FormCreate() && b.core->FormCreate();
    lan.RunFor(2000);
  }
  sim::SimLan lan;
  Peer a{lan, kAnna, "anna"};
  Peer b{lan, kBob, "bob"};
  bool started = false;
};

const TSentMessage& Only(Peer& p, MessageId id) {
  const TSentMessage* m = p.core->Delivery().Find(id);
  EXPECT_NE(m, nullptr);
  static const TSentMessage none;
  return m ? *m : none;
}

TEST(Delivery, EachOutcomeOfAPrivateMessageEndsInItsMark) {
  const struct {
    const char* name;
    // Set up before the send (links, drops), and what happens after it.
    std::function<void(sim::SimLan&, Peer& b)> before;
    std::function<void(sim::SimLan&, Peer& b)> after;
    RecipientStatus status;
    DeliveryOutcome reason;
    bool later;
    const char* markStart;
    TDeliveryMark::Action click;
  } cases[] = {
      {"confirmed", [](sim::SimLan&, Peer&) {}, [](sim::SimLan&, Peer&) {}, RecipientStatus::Delivered,
       DeliveryOutcome::Delivered, false, "delivered ", TDeliveryMark::Action::None},
      {"never confirmed",
       [](sim::SimLan& lan, Peer&) {
         lan.dropIf = [](const sim::SimDatagram& d) { return IsOf(d, kBob, kAnna, pkConfirm); };
       },
       [](sim::SimLan&, Peer&) {}, RecipientStatus::NotDelivered, DeliveryOutcome::NoAnswer, false,
       "not delivered: no answer", TDeliveryMark::Action::SendAgain},
      {"recipient left mid-resend",
       [](sim::SimLan& lan, Peer&) {
         lan.dropIf = [](const sim::SimDatagram& d) { return IsOf(d, kAnna, kBob, pkPrivateMessage); };
       },
       [](sim::SimLan& lan, Peer& b) {
         lan.RunFor(1500);
         b.core->FormDestroy();
       },
       RecipientStatus::NotDelivered, DeliveryOutcome::PeerLeft, false, "not delivered: peer left",
       TDeliveryMark::Action::SendAgain},
      {"recipient offline when it confirms",
       [](sim::SimLan& lan, Peer&) {
         lan.dropIf = [](const sim::SimDatagram& d) { return IsOf(d, kAnna, kBob, pkPrivateMessage); };
       },
       [](sim::SimLan& lan, Peer& b) {
         b.core->Intents().SetState(5, std::string("away"));
         lan.RunFor(300);
         lan.dropIf = nullptr;
       },
       RecipientStatus::NotDelivered, DeliveryOutcome::PeerOffline, false, "not delivered: peer offline",
       TDeliveryMark::Action::SendAgain},
      {"a confirmation after the tries and the grace time",
       [](sim::SimLan& lan, Peer&) { lan.SetLink(kBob, kAnna, {.delayMs = 9500}); },
       [](sim::SimLan&, Peer&) {}, RecipientStatus::Delivered, DeliveryOutcome::Delivered, true,
       "delivered later, ", TDeliveryMark::Action::None},
      {"a confirmation forged from another address",
       [](sim::SimLan& lan, Peer&) {
         lan.dropIf = [](const sim::SimDatagram& d) { return IsOf(d, kBob, kAnna, pkConfirm); };
       },
       [](sim::SimLan& lan, Peer&) {
         // bob's nick and state and the message's number, from an address that is not bob's.
         lan.Inject("198.18.0.66", kAnna,
                    sim::Datagram(
                        pkConfirm, 7,
                        sim::Be16(pkPrivateMessage) + sim::Be16(lan.Engine(kAnna).LastSeq(pkPrivateMessage)),
                        {"bob", "1"}));
       },
       RecipientStatus::NotDelivered, DeliveryOutcome::NoAnswer, false, "not delivered: no answer",
       TDeliveryMark::Action::SendAgain},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AnnaAndBob w{31};
    ASSERT_TRUE(w.started);
    auto& [lan, a, b, started] = w;
    c.before(lan, b);
    const TOutcome sent = a.core->Intents().SendPrivate({kBob}, "are you there?", {"bob"});
    ASSERT_NE(sent.Id, 0U);
    // The console has the message's row with its mark: sending.
    ASSERT_FALSE(a.channels.marks.empty());
    EXPECT_EQ(a.channels.marks.back().second.Text, "sending");
    EXPECT_NE(a.LastConsole().find("-> bob: are you there?"), std::string::npos);
    c.after(lan, b);
    lan.RunFor(20000);
    a.core->Delivery().Tick();
    const TSentMessage& m = Only(a, sent.Id);
    ASSERT_EQ(m.Recipients.size(), 1U);
    EXPECT_EQ(m.Recipients[0].Status, c.status);
    if (c.status == RecipientStatus::NotDelivered) {
      EXPECT_EQ(m.Recipients[0].Reason, c.reason);
    }
    EXPECT_EQ(m.Recipients[0].Later, c.later);
    ASSERT_FALSE(a.channels.markChanges.empty());
    const TDeliveryMark& mark = a.channels.markChanges.back();
    EXPECT_EQ(mark.Id, sent.Id);
    EXPECT_EQ(mark.Text.rfind(c.markStart, 0), 0U) << mark.Text;
    EXPECT_EQ(mark.Click, c.click);
  }
}

// "Send again" after a message was not delivered: the kept datagram goes to the peer alone, and
// the mark follows it to "delivered".
TEST(Delivery, SendAgainDeliversWhatWasNotDelivered) {
  AnnaAndBob w{32};
  ASSERT_TRUE(w.started);
  auto& [lan, a, b, started] = w;
  lan.dropIf = [](const sim::SimDatagram& d) { return IsOf(d, kBob, kAnna, pkConfirm); };
  const MessageId id = a.core->Intents().RingBell(kBob, 3).Id;
  const MessageId text = a.core->Intents().SendPrivate({kBob}, "second", {"bob"}).Id;
  lan.RunFor(15000);
  for (const MessageId m : {id, text})
    EXPECT_EQ(Only(a, m).Recipients[0].Status, RecipientStatus::NotDelivered);
  lan.dropIf = nullptr;
  EXPECT_TRUE(a.core->RunCommand("/resend " + std::to_string(id)));
  a.core->Delivery().Activate(text, TDeliveryMark::Action::SendAgain);
  lan.RunFor(3000);
  for (const MessageId m : {id, text}) EXPECT_EQ(Only(a, m).Recipients[0].Status, RecipientStatus::Delivered);
}

// A roll-call of five peers, one of which never confirms; acknowledgements among them; and marks
// that the window redraws once per tick however many confirmations came.
TEST(Delivery, RollCallCountsConfirmationsAndAcknowledgementsAndRedrawsPerTick) {
  sim::SimLan lan{33};
  std::vector<std::unique_ptr<Peer>> peers;
  for (int i = 1; i <= 6; ++i)
    peers.push_back(std::make_unique<Peer>(lan, "198.18.0." + std::to_string(i), "p" + std::to_string(i)));
  for (auto& p : peers) ASSERT_TRUE(p->core->FormCreate());
  lan.RunFor(3000);
  Peer& a = *peers[0];
  lan.dropIf = [](const sim::SimDatagram& d) {
    return d.from == "198.18.0.6" && d.to == kAnna && sim::TypeOf(d.data) == pkConfirm;
  };
  const MessageId id = a.core->Intents().SendToEverybody("fire drill at 3", false, true).Id;
  ASSERT_NE(id, 0U);
  const std::size_t drawnBefore = a.channels.markChanges.size();
  lan.RunFor(500);
  // Confirmations came, but nothing was redrawn before the tick; the tick redraws the mark once.
  EXPECT_EQ(a.channels.markChanges.size(), drawnBefore);
  EXPECT_TRUE(a.timers.on[CoreTimer::DeliveryMarks]);
  a.core->Delivery().Tick();
  EXPECT_EQ(a.channels.markChanges.size(), drawnBefore + 1);
  EXPECT_EQ(a.channels.markChanges.back().Text, "received by 4 of 5, acknowledged by 0");
  EXPECT_EQ(a.channels.markChanges.back().Click, TDeliveryMark::Action::RollCall);
  // Each receiver has an Acknowledge mark on the message's row; two of them acknowledge.
  for (int i = 1; i <= 2; ++i) {
    Peer& r = *peers[static_cast<std::size_t>(i)];
    ASSERT_FALSE(r.inputs.marks.empty());
    const TDeliveryMark asked = r.inputs.marks.back().second;
    EXPECT_EQ(asked.Click, TDeliveryMark::Action::Acknowledge);
    EXPECT_TRUE(r.core->Delivery().Acknowledge(asked.Id));
    EXPECT_FALSE(r.core->Delivery().Acknowledge(asked.Id));  // once
    EXPECT_EQ(r.inputs.markChanges.back().Text.rfind("acknowledged ", 0), 0U);
  }
  lan.RunFor(15000);
  a.core->Delivery().Tick();
  a.core->Delivery().Tick();  // nothing changed since: no redraw
  const TSentMessage& m = Only(a, id);
  EXPECT_EQ(m.AcknowledgedCount(), 2);
  EXPECT_EQ(a.channels.markChanges.back().Text, "received by 4 of 5, acknowledged by 2");
  const auto missing = std::find_if(m.Recipients.begin(), m.Recipients.end(), [](const TRecipient& r) {
    return r.Status != RecipientStatus::Delivered;
  });
  ASSERT_NE(missing, m.Recipients.end());
  EXPECT_EQ(missing->Address, "198.18.0.6");
  EXPECT_EQ(a.channels.markChanges.back().Tooltip.rfind("p6 [198.18.0.6]: not delivered", 0), 0U);
  // The missing one gets it again, by itself, and the roll-call completes.
  lan.dropIf = nullptr;
  EXPECT_EQ(a.core->Delivery().SendAgain(id), 1);
  lan.RunFor(3000);
  EXPECT_EQ(Only(a, id).CountOf(RecipientStatus::Delivered), 5);
  EXPECT_EQ(peers[5]->inputs.Of(peers[5]->inputs.names.back()).size(), 1U);  // shown once
}

// A private message kept for a peer who left waits on disk through a restart of the sender, goes
// out when the peer is back (after its own restart), and its row then says "delivered later". The
// stored line keeps the status; the queue is bounded per peer.
TEST(Delivery, WaitingMessagesSurviveRestartsOfBothSidesAndAreBounded) {
  AnnaAndBob w{34};
  ASSERT_TRUE(w.started);
  auto& [lan, a, b, started] = w;
  b.core->FormDestroy();
  lan.RunFor(1000);
  // bob has left: the message is refused, and kept when asked to.
  EXPECT_EQ(a.core->Intents().SendPrivate({kBob}, "hello later", {"bob"}).Kind, Outcome::Unreachable);
  const TOutcome kept = a.core->Intents().KeepForAbsent("bob", kBob, "hello later");
  ASSERT_NE(kept.Id, 0U);
  EXPECT_EQ(a.channels.marks.back().second.Text, "waiting for bob");
  EXPECT_EQ(a.channels.marks.back().second.Click, TDeliveryMark::Action::CancelWaiting);
  // The queue per peer is bounded: the one past the bound is refused with a red console line.
  std::vector<MessageId> extra;
  for (int i = 1; i < TDeliveries::kWaitingPerPeer; ++i)
    extra.push_back(a.core->Intents().KeepForAbsent("bob", kBob, "more " + std::to_string(i)).Id);
  EXPECT_EQ(a.core->Intents().KeepForAbsent("bob", kBob, "one too many").Id, 0U);
  EXPECT_NE(a.LastConsole().find("already has 20 messages waiting"), std::string::npos);
  for (const MessageId id : extra) EXPECT_EQ(a.core->Delivery().CancelWaiting(id), 1);

  // The sender restarts: the message waits again, with its id; ids continue after it.
  a.core->ChatHistory().Store()->Flush();
  a.Restart(lan);
  ASSERT_TRUE(a.core->FormCreate());
  ASSERT_EQ(a.core->Delivery().Waiting().size(), 1U);
  EXPECT_EQ(a.core->Delivery().Waiting()[0]->Id, kept.Id);
  EXPECT_GT(a.core->Delivery().NextId(), extra.back());
  // A message tab to bob, opened after the restart, lists it with its mark, which can cancel it.
  const int tab = a.core->Tabs().OpenReplyTab(std::string(",") + kBob, ",bob", false);
  ASSERT_GT(tab, 0);
  ASSERT_FALSE(a.inputs.marks.empty());
  EXPECT_EQ(a.inputs.marks.back().first, tab);
  EXPECT_EQ(a.inputs.marks.back().second.Id, kept.Id);
  EXPECT_EQ(a.inputs.marks.back().second.Text, "waiting for bob");
  EXPECT_EQ(a.inputs.marks.back().second.Click, TDeliveryMark::Action::CancelWaiting);
  EXPECT_NE(a.inputs.notices.back().line.find("-> bob: hello later"), std::string::npos);
  lan.RunFor(2000);
  // bob starts again: the message goes out as a new datagram, and is delivered later.
  b.Restart(lan);
  ASSERT_TRUE(b.core->FormCreate());
  lan.RunFor(5000);
  a.core->Delivery().Tick();
  EXPECT_TRUE(a.core->Delivery().Waiting().empty());
  const TSentMessage& m = Only(a, kept.Id);
  EXPECT_EQ(m.Recipients[0].Status, RecipientStatus::Delivered);
  EXPECT_TRUE(m.Recipients[0].Later);
  const auto shown = std::count_if(b.inputs.lines.begin(), b.inputs.lines.end(), [](const ViewLine& l) {
    return l.line.find("hello later") != std::string::npos;
  });
  EXPECT_EQ(shown, 1);
  // The stored line of the conversation with bob keeps the id and the status.
  a.core->ChatHistory().Store()->Flush();
  bool found = false;
  for (const THistoryLine& line : a.core->ChatHistory().Store()->Last({ConversationKind::Peer, kBob}, 50)) {
    if (line.Message != static_cast<std::int64_t>(kept.Id)) continue;
    found = true;
    EXPECT_EQ(line.Status.rfind("delivered later, ", 0), 0U) << line.Status;
    EXPECT_NE(TChatHistory::Text(line, "").find("[delivered later, "), std::string::npos);
  }
  EXPECT_TRUE(found);
  // Nothing waits after another restart.
  a.Restart(lan);
  ASSERT_TRUE(a.core->FormCreate());
  EXPECT_TRUE(a.core->Delivery().Waiting().empty());
}

}  // namespace
}  // namespace plumo::coretest

namespace plumo::coretest {
namespace {

// A long run keeps a bounded number of messages in memory: the oldest settled ones go, a message
// still waiting for its peer stays however old it is.
TEST(Delivery, OnlyTheNewestSettledMessagesStayInMemory) {
  AnnaAndBob w{35};
  ASSERT_TRUE(w.started);
  auto& [lan, a, b, started] = w;
  const MessageId waiting = a.core->Intents().KeepForAbsent("carl", "198.18.0.3", "for carl").Id;
  const MessageId first = a.core->Intents().SendPrivate({kBob}, "number 0", {"bob"}).Id;
  MessageId last = 0;
  for (std::size_t i = 1; i < TDeliveries::kKeptMessages + 200; ++i) {
    lan.RunFor(20);
    a.core->Delivery().Tick();  // as the marks' timer does
    last = a.core->Intents().SendPrivate({kBob}, "number " + std::to_string(i), {"bob"}).Id;
  }
  lan.RunFor(2000);
  EXPECT_EQ(a.core->Delivery().Find(first), nullptr);
  EXPECT_NE(a.core->Delivery().Find(last), nullptr);
  EXPECT_NE(a.core->Delivery().Find(waiting), nullptr);
  EXPECT_EQ(a.core->Delivery().Waiting().size(), 1U);
}

}  // namespace
}  // namespace plumo::coretest
