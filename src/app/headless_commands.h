// SPDX-License-Identifier: GPL-3.0-or-later
// The command language of the headless peer without the peer: which lines are commands, their
// arguments (quoted nicks), nick matching, state names and the help table. Text is code page 1251.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plumo {

// One command of the headless peer, as /help lists it.
struct HeadlessCommand {
  const char* Name;  // "/msg"
  const char* Args;  // "NICK TEXT"
  const char* What;  // one line
};
const std::vector<HeadlessCommand>& HeadlessCommands();

// What a typed line is: text for the channel ("//" at the start stands for a literal "/"), one of
// the commands (Word is its name as listed, typed in any letter case; Rest what follows the first
// blank), or a line starting with "/" that names no command.
struct TypedLine {
  enum LineKind { Text, Command, Unknown } Kind = Text;
  std::string Word;
  std::string Rest;  // the text for Text
};
TypedLine ClassifyLine(const std::string& line);

// A nick at the start of text: a word, or a quoted nick that may hold blanks ("John Smith").
// Rest is what follows after the blank. Nothing when text starts with an unclosed quote or is empty.
struct NickArgument {
  std::string Nick;
  std::string Rest;
};
std::optional<NickArgument> TakeNick(const std::string& text);

// The distinct nicks of the roster that typed names: the nick written exactly when some entry has
// it, else every nick equal to it regardless of letter case (Cyrillic included).
std::vector<std::string> MatchNicks(const std::vector<std::string>& roster, const std::string& typed);
// Nicks that resemble typed (one contains the other regardless of case, or at most two letters
// differ), each once, at most five, for "no such nick" notices.
std::vector<std::string> CloseNicks(const std::vector<std::string>& roster, const std::string& typed);

// The state menu tag for "active"/"1", "dnd"/"4", "offline"/"5" (any letter case).
std::optional<int> ParseStateName(const std::string& word);

}  // namespace plumo
