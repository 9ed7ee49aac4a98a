// SPDX-License-Identifier: GPL-3.0-or-later
// The command language of the headless peer: which lines are sent, which are commands and which
// are refused; quoted nicks; nick matching regardless of case; state names.
#include "app/headless_commands.h"

#include <gtest/gtest.h>

#include "lang/codepage.h"

namespace plumo {
namespace {

TEST(HeadlessCommands, LinesAreTextCommandsOrRefused) {
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
    const TypedLine typed = ClassifyLine(c.line);
    EXPECT_EQ(typed.Kind, c.kind) << c.line;
    EXPECT_EQ(typed.Word, c.word) << c.line;
    EXPECT_EQ(typed.Rest, c.rest) << c.line;
  }
  // Every listed command is recognised as such, whatever the letter case.
  for (const auto& command : HeadlessCommands())
    EXPECT_EQ(ClassifyLine(std::string(command.Name) + " x").Kind, TypedLine::Command) << command.Name;
}

TEST(HeadlessCommands, NickArguments) {
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

TEST(HeadlessCommands, NicksMatchRegardlessOfCaseAndCloseOnesAreNamed) {
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

TEST(HeadlessCommands, StatesByNameOrNumber) {
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

}  // namespace
}  // namespace plumo
