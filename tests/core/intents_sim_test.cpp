// SPDX-License-Identifier: GPL-3.0-or-later
// The intents on the simulated LAN: each returns what it did, and what it did reaches the other
// peer (or, refused, reaches nobody and is told in the console).
#include "core/intents.h"

#include <algorithm>
#include <functional>

#include "core_fixture.h"

namespace plumo::coretest {
namespace {

bool AnyLine(const FakeConversations& views, const std::string& part) {
  return std::any_of(views.lines.begin(), views.lines.end(),
                     [&](const ViewLine& l) { return l.line.find(part) != std::string::npos; });
}

TEST(Intents, OutcomesAndWhatTheOtherPeerSees) {
  sim::SimLan lan{21};
  Peer a{lan, "198.18.0.1", "anna"};
  Peer b{lan, "198.18.0.2", "bob"};
  Peer off{lan, "198.18.0.3", "carl"};  // never started: no engine
  ASSERT_TRUE(a.core->FormCreate());
  ASSERT_TRUE(b.core->FormCreate());
  lan.RunFor(2000);
  TIntents& in = a.core->Intents();
  TIntents& none = off.core->Intents();
  const std::string tooLong(3000, 'x');
  // bob's entry for anna's address (any description when description is empty).
  const auto bobSees = [&](const std::string& nick, char state, const std::string& description) {
    const auto& entries = b.engine().Users().Entries();
    return std::any_of(entries.begin(), entries.end(), [&](const auto& e) {
      return e->Address == "198.18.0.1" && e->Nick == nick && e->State == state &&
             (description.empty() || e->StateDescription == description);
    });
  };
  const struct {
    const char* name;
    std::function<TOutcome()> act;
    Outcome outcome;
    std::function<bool()> seen;  // what shows that it happened (or did not)
  } cases[] = {
      {"a line", [&] { return in.Say("Main", "  hello all "); }, Outcome::Sent,
       [&] { return AnyLine(b.channels, "anna: hello all"); }},
      {"a blank line", [&] { return in.Say("Main", "   "); }, Outcome::Nothing, [] { return true; }},
      {"a line on the console", [&] { return in.Say("#", "x"); }, Outcome::NoChannel, [] { return true; }},
      {"a line to a channel without a tab", [&] { return in.Say("Nowhere", "x"); }, Outcome::NoChannel,
       [] { return true; }},
      {"a line too long", [&] { return in.Say("Main", tooLong); }, Outcome::TooLong,
       [&] {
         return a.LastConsole().find("too long") != std::string::npos && !AnyLine(b.channels, tooLong);
       }},
      {"a private message", [&] { return in.SendPrivate({"198.18.0.2"}, "psst"); }, Outcome::Sent,
       [&] { return AnyLine(b.inputs, "psst"); }},
      {"a private message to an address nobody uses",
       [&] { return in.SendPrivate({"198.18.0.99"}, "hello?", {"ghost"}); }, Outcome::Unreachable,
       [&] { return a.LastConsole().find("ghost[198.18.0.99]") != std::string::npos; }},
      {"a message to everybody", [&] { return in.SendToEverybody("to all"); }, Outcome::Sent,
       [&] { return AnyLine(b.inputs, "to all"); }},
      {"a bell", [&] { return in.RingBell("198.18.0.2", 3); }, Outcome::Sent,
       [&] { return AnyLine(b.channels, "anna sent you bell number 3"); }},
      {"a bell to an address nobody uses", [&] { return in.RingBell("198.18.0.99", 3); },
       Outcome::Unreachable, [] { return true; }},
      {"do not disturb, described", [&] { return in.SetState(4, std::string("in a meeting")); },
       Outcome::Sent, [&] { return bobSees("anna", '4', "in a meeting"); }},
      {"offline, with the stored description", [&] { return in.SetState(5, std::nullopt); }, Outcome::Sent,
       [&] { return bobSees("anna", '5', "Not at my desk"); }},
      {"away cannot be chosen", [&] { return in.SetState(2, std::string("x")); }, Outcome::BadArgument,
       [&] { return bobSees("anna", '5', "Not at my desk"); }},
      {"active", [&] { return in.SetState(1, std::nullopt); }, Outcome::Sent,
       [&] { return bobSees("anna", '1', ""); }},
      {"a nick", [&] { return in.SetNick("annie"); }, Outcome::Sent,
       [&] { return bobSees("annie", '1', ""); }},
      {"a blank nick", [&] { return in.SetNick("  "); }, Outcome::Nothing,
       [&] { return bobSees("annie", '1', ""); }},
      {"a nick the protocol refuses", [&] { return in.SetNick(std::string(kMaxNickLength + 1, 'n')); },
       Outcome::BadNick,
       [&] {
         return bobSees("annie", '1', "") &&
                a.LastConsole().find("the nick stays annie") != std::string::npos;
       }},
      {"a topic", [&] { return in.SetTopic("Main", "fresh news"); }, Outcome::Sent,
       [&] { return b.engine().FindChannel("Main")->Topic.find("fresh news") != std::string::npos; }},
      {"the same topic again", [&] { return in.SetTopic("Main", "fresh news"); }, Outcome::Nothing,
       [] { return true; }},
      {"a topic for the console", [&] { return in.SetTopic("#", "x"); }, Outcome::NoChannel,
       [] { return true; }},
      {"asking a peer about itself", [&] { return in.AskInfo({"198.18.0.2"}); }, Outcome::Sent,
       [&] { return AnyLine(a.channels, "About bob [198.18.0.2]"); }},
      {"asking nobody", [&] { return in.AskInfo({"198.18.0.99"}); }, Outcome::Nothing, [] { return true; }},
      {"without an engine: a line", [&] { return none.Say("Main", "x"); }, Outcome::NoEngine,
       [] { return true; }},
      {"without an engine: a message", [&] { return none.SendPrivate({"198.18.0.2"}, "x"); },
       Outcome::NoEngine, [] { return true; }},
      {"without an engine: everybody", [&] { return none.SendToEverybody("x"); }, Outcome::NoEngine,
       [] { return true; }},
      {"without an engine: a bell", [&] { return none.RingBell("198.18.0.2", 0); }, Outcome::NoEngine,
       [] { return true; }},
      {"without an engine: a state", [&] { return none.SetState(4, std::nullopt); }, Outcome::NoEngine,
       [] { return true; }},
      {"without an engine: a nick", [&] { return none.SetNick("x"); }, Outcome::NoEngine,
       [] { return true; }},
      {"without an engine: a topic", [&] { return none.SetTopic("Main", "x"); }, Outcome::NoEngine,
       [] { return true; }},
      {"without an engine: asking", [&] { return none.AskInfo({"198.18.0.2"}); }, Outcome::NoEngine,
       [] { return true; }},
  };
  for (const auto& c : cases) {
    const TOutcome outcome = c.act();
    lan.RunFor(500);
    EXPECT_EQ(outcome.Kind, c.outcome) << c.name;
    EXPECT_TRUE(c.seen()) << c.name;
  }
  EXPECT_EQ(in.SendPrivate({"198.18.0.2", "198.18.0.99"}, "two").Unreached,
            std::vector<std::string>{"198.18.0.99"});
  // Nothing the peer without an engine was asked reached the LAN.
  EXPECT_TRUE(off.host.Sent().empty());
}

}  // namespace
}  // namespace plumo::coretest
