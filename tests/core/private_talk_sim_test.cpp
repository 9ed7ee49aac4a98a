// SPDX-License-Identifier: GPL-3.0-or-later
// Private conversations on the simulated LAN: two full cores (anna and bob) with keys, and carl, an
// engine that knows nothing of keys, standing for the protocol's other programs. Each row of the
// attack table is a defence that fails when it is taken away; the six-digit check runs between two
// cores through the command table.
#include "core/private_talk.h"

#include <algorithm>
#include <functional>

#include "core_fixture.h"
#include "support/datagrams.h"
#include "support/recorder.h"

namespace plumo::coretest {
namespace {

const std::string kA = "198.18.0.1";
const std::string kB = "198.18.0.2";
const std::string kC = "198.18.0.3";
const std::string kD = "198.18.0.4";

// How many of items have part in their text.
template <class Items, class Text>
int Containing(const Items& items, const std::string& part, Text text) {
  return static_cast<int>(std::count_if(items.begin(), items.end(), [&](const auto& item) {
    return std::string_view(text(item)).find(part) != std::string_view::npos;
  }));
}
int Count(const std::vector<ViewLine>& lines, const std::string& part) {
  return Containing(lines, part, [](const ViewLine& l) { return l.line; });
}
bool Has(const std::vector<ViewLine>& lines, const std::string& part) {
  return Count(lines, part) > 0;
}
// The sounds a peer played whose file name has part.
int Played(const Peer& peer, const std::string& part) {
  return Containing(peer.sound.played, part, [](const std::string& f) { return f; });
}
// The datagrams a host sent that carry part anywhere in their bytes.
int Carrying(const sim::SimHost& host, const std::string& part) {
  return Containing(host.Sent(), part, [](const sim::SentRecord& s) { return s.data; });
}

std::vector<std::string> SentOfType(const sim::SimHost& host, std::uint16_t type) {
  std::vector<std::string> out;
  for (const auto& s : host.Sent()) {
    if (sim::TypeOf(s.data) == type) out.push_back(s.data);
  }
  return out;
}

// A datagram as it came, with another sequence number.
std::string WithSeq(std::string data, std::uint16_t seq) {
  data[3] = static_cast<char>(seq >> 8);
  data[4] = static_cast<char>(seq & 0xFF);
  return data;
}

std::string Confirmation(std::uint16_t seq, std::uint16_t confirmedType, std::uint16_t confirmedSeq,
                         const std::string& nick) {
  return sim::Datagram(pkConfirm, seq, sim::Be16(confirmedType) + sim::Be16(confirmedSeq), {nick, "1", ""});
}

// anna and bob (full cores with keys) and carl (an engine without any of it), all past start-up.
struct World {
  explicit World(std::uint64_t seed)
      : lan(seed), a(lan, kA, "anna"), b(lan, kB, "bob"), carl(lan.AddEngine(kC)) {
    carlEvents = std::make_unique<sim::EventRecorder>(carl);
    EXPECT_TRUE(a.core->FormCreate());
    EXPECT_TRUE(b.core->FormCreate());
    // A confirmation plays its sound from the first one on.
    for (Peer* p : {&a, &b}) {
      p->system.files.insert(p->dir.string() + "/sounds/confirm.wav");
      p->core->Settings().SoundTable = {{"mute", "0"}, {"on_confirm", "1"}, {"confirm_src", "confirm.wav"}};
    }
    sim::StartUp(carl, "carl");
    lan.RunFor(3000);
    a.host.ClearSent();
    b.host.ClearSent();
  }
  TOutcome AnnaSends(const std::string& text, const std::string& to = kB, bool clear = false) {
    return a.core->Intents().SendPrivate({to}, text, {}, false, clear);
  }
  sim::SimLan lan;
  Peer a;
  Peer b;
  TPlumo& carl;
  std::unique_ptr<sim::EventRecorder> carlEvents;
};

// Runs bob's program again over its directory, with a new identity when fresh (a reinstall).
void RestartBob(World& w, bool freshIdentity) {
  w.b.core.reset();
  if (freshIdentity) {
    fs::remove(w.b.dir / "identity.key");
    fs::remove(w.b.dir / "identity.counter");
  }
  w.b.MakeCore(w.lan);
  EXPECT_TRUE(w.b.core->FormCreate());
  w.lan.RunFor(3000);
}

TEST(PrivateTalk, AttacksAndKeyRulesOnTheSimulatedLan) {
  const struct {
    const char* name;
    std::function<void(World&)> run;
  } cases[] = {
      {"an encrypted message is shown with the lock, confirmed by its receipt, and never in clear on the "
       "wire",
       [](World& w) {
         EXPECT_EQ(w.a.core->PrivateTalk().Route("bob", kB).How, TPrivateRoute::Encrypted);
         EXPECT_EQ(w.AnnaSends("marker 4711").Kind, Outcome::Sent);
         w.lan.RunFor(3000);
         EXPECT_TRUE(Has(w.b.inputs.lines, "marker 4711"));
         EXPECT_TRUE(Has(w.b.inputs.lines, "anna [") && Has(w.b.inputs.lines, "(encrypted)"));
         EXPECT_NE(std::find(w.b.inputs.icons.begin(), w.b.inputs.icons.end(), icon::kPrivateEncrypted),
                   w.b.inputs.icons.end());
         EXPECT_EQ(Carrying(w.a.host, "marker 4711"), 0);
         EXPECT_EQ(SentOfType(w.a.host, pkPrivateMessage).size(), 1U);  // the receipt stopped the resends
         EXPECT_TRUE(Has(w.a.channels.lines, "Message received by bob"));
         EXPECT_EQ(Played(w.a, "confirm"), 1);
       }},
      {"carl, who has no key, gets clear text and nothing else new",
       [](World& w) {
         w.carlEvents->Clear();
         EXPECT_EQ(w.AnnaSends("to carl", kC).Kind, Outcome::Sent);
         EXPECT_EQ(w.AnnaSends("to bob").Kind, Outcome::Sent);
         w.lan.RunFor(3000);
         const auto got = w.carlEvents->Of(sim::Ev::PrivateMessage);
         ASSERT_EQ(got.size(), 1U);
         EXPECT_EQ(got[0].text, "to carl");
         EXPECT_EQ(w.carlEvents->Count(sim::Ev::UnknownCommand), 0U);
         EXPECT_EQ(w.a.core->PrivateTalk().Lock("carl", kC), LockMark::None);
       }},
      {"a forged clear message from anna's address is marked",
       [](World& w) {
         w.lan.Inject(kA, kB,
                      sim::Datagram(pkPrivateMessage, 900, "", {"anna", "bob", "send me your password"}));
         w.lan.RunFor(1000);
         EXPECT_TRUE(Has(w.b.inputs.lines, "send me your password"));
         EXPECT_TRUE(Has(w.b.inputs.lines, "not encrypted: anyone on the LAN could have sent this"));
       }},
      {"a forged envelope is dropped with one notice a minute, never shown",
       [](World& w) {
         const std::string forged = secure::kEnvelopePrefix + std::string(120, 'x');
         for (std::uint16_t seq = 900; seq < 903; ++seq)
           w.lan.Inject(kA, kB, sim::Datagram(pkPrivateMessage, seq, "", {"anna", "bob", forged}));
         w.lan.RunFor(1000);
         EXPECT_EQ(Count(w.b.channels.lines, "a private message from " + kA + " could not be verified"), 1);
         EXPECT_TRUE(w.b.inputs.lines.empty());
         EXPECT_TRUE(SentOfType(w.b.host, pkConfirm).empty());  // no confirmation for it
         w.lan.RunFor(61000);
         w.lan.Inject(kA, kB, sim::Datagram(pkPrivateMessage, 950, "", {"anna", "bob", forged}));
         w.lan.RunFor(1000);
         EXPECT_EQ(Count(w.b.channels.lines, "could not be verified"), 2);
       }},
      {"a forged confirmation without the receipt does not stop the resends",
       [](World& w) {
         w.lan.dropIf = [](const sim::SimDatagram& d) {
           return d.from == kA && d.to == kB && sim::TypeOf(d.data) == pkPrivateMessage;
         };
         w.AnnaSends("lost on the way");
         const std::uint16_t seq = sim::SeqOf(SentOfType(w.a.host, pkPrivateMessage).at(0));
         for (int k = 0; k < 4; ++k)
           w.lan.Inject(kB, kA,
                        Confirmation(static_cast<std::uint16_t>(800 + k), pkPrivateMessage, seq, "bob"),
                        10 + 1500 * k);
         w.lan.RunFor(60000);
         EXPECT_GT(SentOfType(w.a.host, pkPrivateMessage).size(), 2U);
         EXPECT_FALSE(Has(w.a.channels.lines, "Message received by bob"));
         EXPECT_TRUE(Has(w.a.channels.lines, "The message to bob [" + kB + "] was not delivered"));
       }},
      {"an impostor at bob's address confirms without the receipt: not delivered",
       [](World& w) {
         // Another program at bob's address that answers to his nick (its nick change goes unheard).
         TPlumo impostor(w.b.host);
         impostor.MyAddress = kB;
         w.lan.dropSend = [](const std::string&, const std::string&, const std::string& data) {
           return sim::TypeOf(data) == pkNickChange;
         };
         impostor.SetNick("bob");
         w.lan.dropSend = {};
         TPlumo& real = w.b.engine();
         w.lan.Attach(w.b.host, &impostor);
         w.AnnaSends("for bob only");
         w.lan.RunFor(60000);
         w.lan.Attach(w.b.host, &real);
         EXPECT_FALSE(SentOfType(w.b.host, pkConfirm).empty());  // the impostor did confirm

         EXPECT_FALSE(Has(w.a.channels.lines, "Message received by bob"));
         EXPECT_TRUE(Has(w.a.channels.lines, "was not delivered"));
       }},
      {"a captured envelope replayed under a fresh sequence number is not shown again",
       [](World& w) {
         w.AnnaSends("only once");
         w.lan.RunFor(2000);
         const std::string captured = SentOfType(w.a.host, pkPrivateMessage).at(0);
         w.lan.Inject(kA, kB, WithSeq(captured, 777));
         w.lan.RunFor(2000);
         EXPECT_EQ(Count(w.b.inputs.lines, "only once"), 1);
       }},
      {"an envelope reflected back to its sender is refused",
       [](World& w) {
         w.AnnaSends("reflect me");
         w.lan.RunFor(2000);
         const std::string captured = SentOfType(w.a.host, pkPrivateMessage).at(0);
         const TMStigs f = sim::FieldsOf(captured);
         w.lan.Inject(kB, kA, sim::Datagram(pkPrivateMessage, 700, "", {"bob", "anna", f.at(2)}));
         w.lan.RunFor(2000);
         EXPECT_FALSE(Has(w.a.inputs.lines, "reflect me"));
         EXPECT_TRUE(Has(w.a.channels.lines, "a private message from " + kB + " could not be verified"));
       }},
      {"numbers played before anna uses them do not swallow her message",
       [](World& w) {
         const std::uint16_t next =
             static_cast<std::uint16_t>(w.a.engine().Counters().Current(pkPrivateMessage) + 1);
         for (std::uint16_t k = 0; k < 3; ++k)
           w.lan.Inject(kA, kB, sim::Datagram(pkPrivateMessage, next + k, "", {"anna", "bob", "played"}));
         w.lan.RunFor(1000);
         w.AnnaSends("the real one");
         w.lan.RunFor(3000);
         EXPECT_TRUE(Has(w.b.inputs.lines, "the real one"));
         EXPECT_TRUE(Has(w.a.channels.lines, "Message received by bob"));
       }},
      {"encryption is sticky: no tag seen yet still encrypts; a tag gone asks for clear text",
       [](World& w) {
         // anna starts again and hears bob only through a channel line: his tags do not reach her.
         w.lan.dropIf = [](const sim::SimDatagram& d) {
           const std::uint16_t type = sim::TypeOf(d.data);
           return d.from == kB && d.to == kA && (type == pkConfirm || type == pkPong || type == pkHello);
         };
         w.a.Restart(w.lan);
         ASSERT_TRUE(w.a.core->FormCreate());
         w.lan.RunFor(2000);
         w.b.core->Intents().Say("Main", "hello again");
         w.lan.RunFor(2000);
         EXPECT_EQ(w.a.core->PrivateTalk().Route("bob", kB).How, TPrivateRoute::Encrypted);
         w.AnnaSends("still sealed");
         w.lan.RunFor(2000);
         EXPECT_TRUE(Has(w.b.inputs.lines, "still sealed"));
         EXPECT_TRUE(Has(w.b.inputs.lines, "(encrypted)"));
         // bob's program stops announcing a key (an older one, or a stripped tag): his pongs say so,
         // and the window hears of it.
         std::vector<std::string> told;
         w.a.core->PrivateTalk().OnLockChanged = [&told](const std::string& nick,
                                                         const std::string& address) {
           told.push_back(nick + " " + address);
         };
         w.lan.dropIf = {};
         w.b.engine().SetTag({});
         w.lan.RunFor(120000);
         EXPECT_EQ(told, std::vector<std::string>{"bob " + kB});
         EXPECT_EQ(w.a.core->PrivateTalk().Route("bob", kB).How, TPrivateRoute::AskClear);
         EXPECT_EQ(w.AnnaSends("asked first").Kind, Outcome::Refused);
         EXPECT_TRUE(Has(w.a.channels.lines, "bob's program does not encrypt any more"));
         EXPECT_EQ(w.AnnaSends("clear by choice", kB, true).Kind, Outcome::Sent);
         w.lan.RunFor(2000);
         EXPECT_FALSE(Has(w.b.inputs.lines, "asked first"));
         EXPECT_TRUE(Has(w.b.inputs.lines, "clear by choice"));
       }},
      {"two people called student: two keys, no key change",
       [](World& w) {
         Peer d{w.lan, kD, "student"};
         ASSERT_TRUE(d.core->FormCreate());
         w.a.core->Intents().SetNick("student");
         w.lan.RunFor(3000);
         w.AnnaSends("from the first student");
         d.core->Intents().SendPrivate({kB}, "from the second student");
         w.lan.RunFor(3000);
         EXPECT_FALSE(Has(w.b.channels.lines, "key has changed"));
         EXPECT_TRUE(Has(w.b.inputs.lines, "from the first student"));
         EXPECT_TRUE(Has(w.b.inputs.lines, "from the second student"));
         w.b.core->RunCommand("/key student");
         EXPECT_TRUE(Has(w.b.channels.lines, "student [" + kA + "]: key "));
         EXPECT_TRUE(Has(w.b.channels.lines, "student [" + kD + "]: key "));
       }},
      {"a sealed text that no longer fits one datagram is refused with the limit named",
       [](World& w) {
         EXPECT_EQ(w.AnnaSends(std::string(1750, 'y')).Kind, Outcome::Sent);
         EXPECT_EQ(w.AnnaSends(std::string(1990, 'z')).Kind, Outcome::TooLong);
         EXPECT_TRUE(Has(w.a.channels.lines, "encrypted, one datagram holds about 1800 characters"));
         w.lan.RunFor(2000);
         EXPECT_TRUE(Has(w.b.inputs.lines, std::string(1750, 'y')));
         EXPECT_FALSE(Has(w.b.inputs.lines, std::string(1990, 'z')));
       }},
      {"a damaged identity file: one red line, clear text to peers without keys, nothing to peers with one",
       [](World& w) {
         w.a.core.reset();
         const std::string damaged = "PLUMO-IDENTITY 1\nsecret=broken\n";
         std::ofstream(w.a.dir / "identity.key", std::ios::trunc) << damaged;
         w.a.MakeCore(w.lan);
         ASSERT_TRUE(w.a.core->FormCreate());
         w.lan.RunFor(3000);
         EXPECT_EQ(Count(w.a.channels.lines, "private messages are off"), 1);
         EXPECT_TRUE(w.a.engine().Tag().empty());
         EXPECT_EQ(w.AnnaSends("to carl in clear", kC).Kind, Outcome::Sent);
         EXPECT_EQ(w.AnnaSends("to bob").Kind, Outcome::Refused);
         // bob's program asks before it sends in clear; an envelope to anna's key still reaches her.
         TPrivateTalk& bob = w.b.core->PrivateTalk();
         const auto sealed =
             bob.Seal(*bob.Keyring().KeyOf("anna", kA), kA, "bob", "sealed for a key anna cannot use");
         ASSERT_TRUE(sealed);
         w.lan.Inject(kB, kA, sim::Datagram(pkPrivateMessage, 600, "", {"bob", "anna", sealed->Field}));
         w.lan.RunFor(2000);
         EXPECT_EQ(w.carlEvents->Of(sim::Ev::PrivateMessage).back().text, "to carl in clear");
         EXPECT_FALSE(Has(w.a.inputs.lines, "sealed for a key"));
         EXPECT_TRUE(Has(w.a.channels.lines, "a private message from " + kB + " could not be verified"));
         EXPECT_EQ(fs::file_size(w.a.dir / "identity.key"), damaged.size());  // never replaced
       }},
      {"bob's directory copied to a second machine: one red line, replies still sealed to bob's address",
       [](World& w) {
         Peer copy{w.lan, kD, "bob"};
         fs::copy_file(w.b.dir / "identity.key", copy.dir / "identity.key",
                       fs::copy_options::overwrite_existing);
         ASSERT_TRUE(copy.core->FormCreate());
         w.lan.RunFor(60000);
         EXPECT_EQ(Count(w.a.channels.lines, "the same key is used by bob [" + kB + "] and bob [" + kD +
                                                 "]: a copied program directory, or someone replaying "
                                                 "bob's messages. Check it: /key bob"),
                   1);
         EXPECT_FALSE(Has(w.a.channels.lines, "key has changed"));
         for (const std::string& to : {kB, kD})
           EXPECT_EQ(w.a.core->PrivateTalk().Route("bob", to).How, TPrivateRoute::Encrypted) << to;
         EXPECT_EQ(w.AnnaSends("for the bob at his address").Kind, Outcome::Sent);
         w.lan.RunFor(2000);
         EXPECT_TRUE(Has(w.b.inputs.lines, "for the bob at his address"));
         EXPECT_FALSE(Has(copy.inputs.lines, "for the bob at his address"));
       }},
  };
  std::uint64_t seed = 200;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    World w(++seed);
    c.run(w);
  }
}

// bob's key changes and anna's key commands on it: what /verify, /unverify and /trust mark, and what
// they refuse. A key change after a check holds sending until the new key is checked (shown by /key,
// then /verify) or trusted; /verify never marks a key the user was not shown, so it cannot release a
// hold for a key that changed after the user compared the old one.
TEST(PrivateTalk, KeyChangesAndCommands) {
  // Steps that are not anna's commands.
  const std::string kTwin = "(dave at kD calls himself bob too)";
  const std::string kRestart = "(bob's program starts again)";
  const std::string kReinstall = "(bob's program starts again with a new key)";
  const std::string kLeave = "(bob's program ends: the keyring alone knows him)";
  const struct {
    const char* name;
    std::vector<std::string> steps;
    const char* says;
    LockMark lock;  // bob's at kB, after all
    bool told;      // the last step raised OnLockChanged for bob at kB
  } cases[] = {
      {"a restart with the same key is no change", {kRestart}, "", LockMark::Locked, false},
      {"a key change not checked: told, messages go on to the new key",
       {kReinstall},
       "bob's key has changed",
       LockMark::Locked,
       true},
      {"/verify before /key showed the key", {"/verify bob"}, "has not been shown", LockMark::Locked, false},
      {"/verify after /key", {"/key bob", "/verify bob"}, "marked as checked", LockMark::Checked, true},
      {"/unverify", {"/key bob", "/verify bob", "/unverify bob"}, "mark is removed", LockMark::Locked, true},
      {"a checked key changed: held",
       {"/key bob", "/verify bob", kReinstall},
       "bob's key has changed",
       LockMark::Changed,
       true},
      {"/verify of the new key before /key showed it: still held",
       {"/key bob", "/verify bob", kReinstall, "/verify bob"},
       "has not been shown",
       LockMark::Changed,
       false},
      {"/verify of the new key after /key: checked, released",
       {"/key bob", "/verify bob", kReinstall, "/key bob", "/verify bob"},
       "marked as checked",
       LockMark::Checked,
       true},
      {"the same with bob gone: the key he replaced is nobody's any more",
       {"/key bob", "/verify bob", kReinstall, kLeave, "/key bob", "/verify bob"},
       "marked as checked",
       LockMark::Checked,
       true},
      {"/trust: released, not checked",
       {"/key bob", "/verify bob", kReinstall, "/trust bob"},
       "accepted without a check",
       LockMark::Locked,
       true},
      {"a nick two keys use names no key",
       {kTwin, "/key bob", "/verify bob", "/trust bob"},
       "used by several keys",
       LockMark::Locked,
       false},
  };
  std::uint64_t seed = 400;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    World w(++seed);
    w.b.core->Intents().SendPrivate({kA}, "a tab at anna");  // where anna's key-change lines go too
    w.lan.RunFor(2000);
    std::unique_ptr<Peer> dave;
    bool told = false;
    w.a.core->PrivateTalk().OnLockChanged = [&told](const std::string& nick, const std::string& address) {
      told |= nick == "bob" && address == kB;
    };
    for (const std::string& step : c.steps) {
      told = false;
      if (step == kTwin) {
        dave = std::make_unique<Peer>(w.lan, kD, "bob");
        ASSERT_TRUE(dave->core->FormCreate());
        w.lan.RunFor(3000);
      } else if (step == kRestart || step == kReinstall) {
        RestartBob(w, step == kReinstall);
      } else if (step == kLeave) {
        w.b.core.reset();
        w.lan.RunFor(1000);
      } else {
        w.a.core->RunCommand(step);
      }
    }
    EXPECT_TRUE(Has(w.a.channels.lines, c.says));
    EXPECT_EQ(told, c.told);
    // A key change, and only that, is told in the console and in bob's tab.
    const bool reinstalled = std::count(c.steps.begin(), c.steps.end(), kReinstall) != 0;
    EXPECT_EQ(Has(w.a.channels.lines, "key has changed"), reinstalled);
    EXPECT_EQ(Has(w.a.inputs.notices, "bob's key has changed"), reinstalled);
    TPrivateTalk& anna = w.a.core->PrivateTalk();
    EXPECT_EQ(anna.Lock("bob", kB), c.lock);
    const std::string status = anna.TabStatus({kB}, {"bob"});
    switch (c.lock) {
      case LockMark::Checked:
        EXPECT_EQ(status, "encrypted to bob's key, checked");
        break;
      case LockMark::Locked:
        EXPECT_EQ(status, "encrypted to bob's key, not checked: /check bob");
        break;
      default:
        EXPECT_EQ(status.rfind("bob's key changed since you checked it", 0), 0U) << status;
        break;
    }
    // A held key gets nothing; the others get the message, sealed.
    const bool held = c.lock == LockMark::Changed;
    if (w.b.core) {
      EXPECT_EQ(w.AnnaSends("after the commands").Kind, held ? Outcome::Refused : Outcome::Sent);
      w.lan.RunFor(2000);
      EXPECT_EQ(Has(w.b.inputs.lines, "after the commands"), !held);
    }
    if (c.lock == LockMark::Checked) {
      const TKeyring saved(FsPath(w.a.dir));  // keys.ini is saved at once
      EXPECT_TRUE(saved.Find(*anna.KeyOfPeer("bob", kB))->Checked);
    }
  }
}

// The six-digit check between anna and bob through the command table: the same digits on both
// screens, the key checked only when both say so, and dave, a third Plumo user, cannot answer for bob.
TEST(PrivateTalk, SixDigitCheck) {
  enum Answer { Same, Differ, Cancel };
  const struct {
    const char* name;
    Answer anna;
    Answer bob;
    bool daveAnswersForBob;
    TKeyCheckState::Phase end;
  } cases[] = {
      {"both see the same digits", Same, Same, false, TKeyCheckState::Matched},
      {"bob sees other digits", Same, Differ, false, TKeyCheckState::Mismatch},
      {"bob cancels", Same, Cancel, false, TKeyCheckState::Cancelled},
      {"dave's same in bob's place counts for nothing", Same, Cancel, true, TKeyCheckState::Cancelled},
  };
  const char* const kWords[] = {"same", "differ", "cancel"};
  std::uint64_t seed = 300;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    World w(++seed);
    Peer dave{w.lan, kD, "dave"};
    ASSERT_TRUE(dave.core->FormCreate());
    w.lan.RunFor(3000);
    w.a.core->RunCommand("/check bob");
    w.lan.RunFor(2000);
    const TPrivateTalk& anna = w.a.core->PrivateTalk();
    const TPrivateTalk& bob = w.b.core->PrivateTalk();
    ASSERT_EQ(anna.Check().What, TKeyCheckState::Compare);
    ASSERT_EQ(bob.Check().What, TKeyCheckState::Compare);
    EXPECT_EQ(anna.Check().Code.size(), 7U);
    EXPECT_EQ(anna.Check().Code, bob.Check().Code);
    EXPECT_TRUE(Has(w.b.channels.lines, "do both screens show " + bob.Check().Code));
    if (c.daveAnswersForBob) {
      // dave asks anna for a check of his own (she is busy: told to go away), and answers "same"
      // for bob with a real envelope from his key, sent from bob's address under bob's nick.
      dave.core->RunCommand("/check anna");
      w.lan.RunFor(1000);
      const auto& ring = dave.core->PrivateTalk().Keyring();
      const auto step = secure::Seal(ring.Identity(), w.a.core->PrivateTalk().Keyring().Identity().Public(),
                                     1000000, secure::BodyKind::KeyCheck, "bob", "same 0000000000000000");
      ASSERT_TRUE(step);
      w.lan.Inject(kB, kA, sim::Datagram(pkPrivateMessage, 990, "", {"bob", "anna", step->Field}));
      w.lan.RunFor(2000);
      EXPECT_EQ(dave.core->PrivateTalk().Check().What, TKeyCheckState::Cancelled);
      EXPECT_EQ(anna.Check().What, TKeyCheckState::Compare);
    }
    w.a.core->RunCommand(std::string("/check ") + kWords[c.anna]);
    w.lan.RunFor(2000);
    EXPECT_EQ(anna.Check().What, TKeyCheckState::Compare) << "anna waits for bob's answer";
    w.b.core->RunCommand(std::string("/check ") + kWords[c.bob]);
    w.lan.RunFor(2000);
    EXPECT_EQ(anna.Check().What, c.end);
    EXPECT_EQ(bob.Check().What, c.end);
    const bool checked = c.end == TKeyCheckState::Matched;
    EXPECT_EQ(anna.Lock("bob", kB) == LockMark::Checked, checked);
    EXPECT_EQ(bob.Lock("anna", kA) == LockMark::Checked, checked);
    // Check steps are never shown, and their confirmations are not messages received.
    for (const Peer* p : {&w.a, &w.b}) {
      EXPECT_TRUE(p->inputs.lines.empty());
      EXPECT_FALSE(Has(p->channels.lines, "Message received"));
      EXPECT_EQ(Played(*p, "confirm"), 0);
    }
  }
}

}  // namespace
}  // namespace plumo::coretest
