// SPDX-License-Identifier: GPL-3.0-or-later
// The command table of the console and the headless peer: which lines are sent, which are
// commands and which are refused; quoted nicks; nick matching regardless of case; state names; each
// command reaching its intent or its front end; one /help listing every command of a front end.
#include "core/console_commands.h"

#include <algorithm>

#include "core_fixture.h"
#include "lang/codepage.h"
#include "lang/textcase.h"

namespace plumo::coretest {
namespace {

TEST(CommandTable, LinesAreTextCommandsOrRefused) {
  struct Case {
    const char* line;
    TypedLine::LineKind kind;
    const char* word;
    const char* rest;
  };
  const Case cases[] = {
      {"hello all", TypedLine::Text, "", "hello all"},
      {"", TypedLine::Text, "", ""},
      {"//me waves", TypedLine::Text, "", "/me waves"},
      {"/msg bob hi there", TypedLine::Command, "/msg", "bob hi there"},
      {"/MSG bob hi", TypedLine::Command, "/msg", "bob hi"},
      {"/topic", TypedLine::Command, "/topic", ""},
      {"/netstat", TypedLine::Command, "/netstat", ""},
      {"/foo bar", TypedLine::Unknown, "/foo", "bar"},
      {"/JOIN Lan party", TypedLine::Command, "/join", "Lan party"},
      {"/part Cs", TypedLine::Unknown, "/part", "Cs"},
      {"/me waves", TypedLine::Unknown, "/me", "waves"},
      {"/", TypedLine::Unknown, "/", ""},
      {"/msgbob hi", TypedLine::Unknown, "/msgbob", "hi"},
  };
  for (const Case& c : cases) {
    const TypedLine typed = ClassifyLine(c.line, CommandFront::Headless);
    EXPECT_EQ(typed.Kind, c.kind) << c.line;
    EXPECT_EQ(typed.Word, c.word) << c.line;
    EXPECT_EQ(typed.Rest, c.rest) << c.line;
  }
  // Every command of the table is one for its front ends only, whatever the letter case.
  for (const auto& command : CommandTable()) {
    for (const CommandFront front : {CommandFront::Window, CommandFront::Headless}) {
      const bool mine = command.Front == CommandFront::Both || command.Front == front;
      EXPECT_EQ(ClassifyLine(Cp1251UpperCase(command.Name) + " x", front).Kind,
                mine ? TypedLine::Command : TypedLine::Unknown)
          << command.Name;
    }
  }
}

TEST(CommandTable, NickArguments) {
  struct Case {
    const char* text;
    bool found;
    const char* nick;
    const char* rest;
  };
  const Case cases[] = {
      {"bob hi there", true, "bob", "hi there"},
      {"bob", true, "bob", ""},
      {"\"John Smith\" hello", true, "John Smith", "hello"},
      {"\"John Smith\"", true, "John Smith", ""},
      {"\"John Smith hello", false, "", ""},
      {"\"\" hi", false, "", ""},
      {" bob", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    const auto arg = TakeNick(c.text);
    ASSERT_EQ(arg.has_value(), c.found) << c.text;
    if (!arg) continue;
    EXPECT_EQ(arg->Nick, c.nick) << c.text;
    EXPECT_EQ(arg->Rest, c.rest) << c.text;
  }
}

TEST(CommandTable, NicksMatchRegardlessOfCaseAndCloseOnesAreNamed) {
  const std::string ivan = Utf8ToCp1251("Иван");
  const std::vector<std::string> roster = {"Bob", "bob", "anna", ivan, "Annabel", "cid"};
  struct Case {
    std::string typed;
    std::vector<std::string> matched;
  };
  const Case cases[] = {
      {"bob", {"bob"}},  // written exactly: only that one
      {"BOB", {"Bob", "bob"}}, {"ANNA", {"anna"}}, {Utf8ToCp1251("иВАН"), {ivan}}, {"nobody", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchNicks(roster, c.typed), c.matched) << c.typed;

  EXPECT_EQ(CloseNicks(roster, "ann"), (std::vector<std::string>{"anna", "Annabel"}));
  EXPECT_EQ(CloseNicks(roster, "cyd"), (std::vector<std::string>{"cid"}));
  EXPECT_EQ(CloseNicks(roster, Utf8ToCp1251("ивн")), (std::vector<std::string>{ivan}));
  EXPECT_TRUE(CloseNicks(roster, "zzzzzzzz").empty());
}

TEST(CommandTable, StatesByNameOrNumber) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"active", 1},
      {"ACTIVE", 1},
      {"1", 1},
      {"dnd", 4},
      {"4", 4},
      {"offline", 5},
      {"5", 5},
      {"away", std::nullopt},
      {"3", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [word, tag] : cases) EXPECT_EQ(ParseStateName(word), tag) << word;
}

// A front end that records what the commands asked of it.
class RecordingFront : public TCommandFront {
 public:
  explicit RecordingFront(CommandFront kind) : kind_(kind) {}
  CommandFront Kind() const override { return kind_; }
  std::string Channel() override { return channel; }
  void Notice(const std::string& text) override { said.push_back("notice " + text); }
  void Problem(const std::string& text) override { said.push_back("problem " + text); }
  void ChannelsChanged(bool joined) override { said.push_back(joined ? "joined" : "left"); }
  void ChooseChannel(const std::string& name) override { said.push_back("choose " + name); }
  void ListChannels() override { said.push_back("channels"); }
  void ListRoster() override { said.push_back("roster"); }
  void ListHistory(const std::string& rest) override { said.push_back("history " + rest); }
  void Search(const std::string& rest) override { said.push_back("search " + rest); }
  void Quit() override { said.push_back("quit"); }
  bool Said(const std::string& part) const {
    return std::any_of(said.begin(), said.end(),
                       [&](const auto& s) { return s.find(part) != std::string::npos; });
  }
  std::string channel = "Main";
  std::vector<std::string> said;

 private:
  CommandFront kind_;
};

bool AnyContains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const auto& l) { return l.find(part) != std::string::npos; });
}

bool AnyLine(const FakeConversations& views, const std::string& part) {
  return std::any_of(views.lines.begin(), views.lines.end(),
                     [&](const ViewLine& l) { return l.line.find(part) != std::string::npos; });
}

// Each command line reaches its intent (seen on the wire at the other peer) or its front end, and
// a problem with its arguments is told to the front end, not sent.
TEST(CommandTable, EachCommandReachesItsIntentOrFrontEnd) {
  sim::SimLan lan{5};
  Peer a{lan, "198.18.0.1", "anna"};
  Peer b{lan, "198.18.0.2", "bob"};
  ASSERT_TRUE(a.core->FormCreate());
  ASSERT_TRUE(b.core->FormCreate());
  lan.RunFor(2000);
  const struct {
    const char* line;
    bool ran;
    std::function<bool(const RecordingFront&)> check;
  } cases[] = {
      {"/MSG Bob psst", true, [&](auto&) { return AnyLine(b.inputs, "psst"); }},
      {"/msg nobody hi", true, [](auto& f) { return f.Said("problem no peer is called nobody"); }},
      {"/msg bob", true, [](auto& f) { return f.Said("problem usage: /msg NICK TEXT"); }},
      {"/mass to all", true, [&](auto&) { return AnyLine(b.inputs, "to all"); }},
      {"/bell bob 7", true, [&](auto&) { return AnyContains(b.Console(), "bell number 7"); }},
      {"/bell 198.18.0.2 9", true, [&](auto&) { return AnyContains(b.Console(), "bell number 9"); }},
      {"/bell bob x", true, [](auto& f) { return f.Said("problem bell number must be"); }},
      {"/state dnd out for lunch", true,
       [&](auto&) { return a.engine().State() == '4' && a.engine().StateDescription == "out for lunch"; }},
      {"/state away", true, [](auto& f) { return f.Said("problem usage: /state"); }},
      {"/topic fresh news", true,
       [&](auto&) { return b.engine().FindChannel("Main")->Topic.find("fresh news") != std::string::npos; }},
      {"/topic", true, [](auto& f) { return f.Said("notice topic of Main: ") && f.Said("(set by anna ["); }},
      {"/nick BOB", true,
       [&](auto& f) {
         return f.Said("notice warning: 198.18.0.2 is called bob") && a.engine().Nick() == "BOB";
       }},
      {"/join Games", true,
       [&](auto& f) { return f.Said("joined") && a.core->Tabs().Channels().IndexOf("Games") > 0; }},
      {"/leave Games", true,
       [&](auto& f) { return f.Said("left") && a.core->Tabs().Channels().IndexOf("Games") < 0; }},
      {"/leave #", true, [](auto& f) { return f.Said("problem The console cannot be closed"); }},
      {"/info bo", true, [&](auto&) { return AnyContains(a.Console(), "Name: bob ip= \\\\198.18.0.2"); }},
      {"/netstat", true, [&](auto&) { return AnyContains(a.Console(), "IP1=198.18.0.1"); }},
      {"/about *", true, [&](auto&) { return AnyContains(a.Console(), "About bob [198.18.0.2]"); }},
      {"/channel Cs", true, [](auto& f) { return f.Said("choose Cs"); }},
      {"/channels", true, [](auto& f) { return f.Said("channels"); }},
      {"/roster", true, [](auto& f) { return f.Said("roster"); }},
      {"/history 5", true, [](auto& f) { return f.Said("history 5"); }},
      {"/search a b", true, [](auto& f) { return f.Said("search a b"); }},
      {"/quit", true, [](auto& f) { return f.Said("quit"); }},
      {"/part Cs", false, [](auto& f) { return f.said.empty(); }},
      {"hello", false, [](auto& f) { return f.said.empty(); }},
  };
  for (const auto& c : cases) {
    RecordingFront front(CommandFront::Headless);
    EXPECT_EQ(RunCommandLine(a.core->Intents(), front, Utf8ToCp1251(c.line)), c.ran) << c.line;
    lan.RunFor(500);
    EXPECT_TRUE(c.check(front)) << c.line;
  }
  // The window has no /quit: the line is left to be sent as text.
  RecordingFront window(CommandFront::Window);
  EXPECT_FALSE(RunCommandLine(a.core->Intents(), window, "/quit"));
  EXPECT_TRUE(window.said.empty());
}

// One /help lists every command of the front end, each with its help text from the language file;
// the window's console adds its keys.
TEST(CommandTable, HelpListsEveryCommandOfTheFrontEnd) {
  sim::SimLan lan{6};
  Peer a{lan, "198.18.0.1", "anna"};
  ASSERT_TRUE(a.core->FormCreate());
  RecordingFront headless(CommandFront::Headless);
  ASSERT_TRUE(RunCommandLine(a.core->Intents(), headless, "/help"));
  ASSERT_TRUE(a.core->RunCommand("/help"));
  const std::string console = a.LastConsole();
  EXPECT_NE(console.find("Keys:"), std::string::npos);
  for (const auto& command : CommandTable()) {
    const std::string usage =
        std::string(command.Name) + (*command.Args ? " " + std::string(command.Args) : "");
    EXPECT_EQ(headless.Said("notice   " + usage + " - "), command.Front != CommandFront::Window)
        << command.Name;
    EXPECT_EQ(console.find(usage + " - ") != std::string::npos, command.Front != CommandFront::Headless)
        << command.Name;
  }
  for (const auto& line : headless.said) EXPECT_EQ(line.find(kMissingText), std::string::npos) << line;
  EXPECT_EQ(console.find(kMissingText), std::string::npos);
}

}  // namespace
}  // namespace plumo::coretest
