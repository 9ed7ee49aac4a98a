// SPDX-License-Identifier: GPL-3.0-or-later
// The commands a user types ("/info", "/msg bob hi" ...): one table for the window's console tab and
// the headless peer, each command with its arguments, the language key of its help line, the front
// ends it is for and its handler over the intents (core/intents.h). What only a front end can do
// (print a list in its own format, choose the channel plain lines go to, end the program) it does
// through TCommandFront. TConsoleCommands is the window's front: answers go to the console. Text is
// code page 1251.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/intents.h"
#include "core/ownstate.h"
#include "core/roster_list.h"
#include "core/tabstrips.h"

namespace plumo {

// The front ends a command is for.
enum class CommandFront : std::uint8_t { Both, Window, Headless };

// The front end a command was typed in.
class TCommandFront {
 public:
  virtual ~TCommandFront() = default;
  virtual CommandFront Kind() const = 0;
  // The channel a command works on: the one shown in the window, the chosen one headless.
  virtual std::string Channel() = 0;
  // An answer to a command, and a problem with one (the window's console: a grey and a red line).
  virtual void Notice(const std::string& text) = 0;
  virtual void Problem(const std::string& text) = 0;
  // A command ran (the window empties its editor).
  virtual void Done() {}
  // A channel was joined (and shown) or left: the headless peer chooses again where lines go.
  virtual void ChannelsChanged(bool /*joined*/) {}
  // The headless peer's own commands; the window never reaches them.
  virtual void ChooseChannel(const std::string&) {}
  virtual void ListChannels() {}
  virtual void ListRoster() {}
  virtual void ListHistory(const std::string&) {}
  virtual void Search(const std::string&) {}
  virtual void Quit() {}
  // "/rollcall ID" for a front that prints it in a form of its own (JSON); false: as notices.
  virtual bool ShowRollCall(const TSentMessage& /*message*/) { return false; }
};

// One command of the table.
struct TCommand {
  const char* Name;     // "/msg", as /help lists it
  const char* Args;     // "NICK TEXT"
  const char* HelpKey;  // its help line in the language file
  CommandFront Front;
  // Runs it with the text after the name; false when it found nothing to do and the line is to be
  // taken as text instead (the window's "/about" with nobody selected).
  bool (*Run)(TIntents& intents, TCommandFront& front, const std::string& rest);
};
const std::vector<TCommand>& CommandTable();
// The command of the table called word (any letter case) that front may run; null when none.
const TCommand* FindCommand(const std::string& word, CommandFront front);
// The /help lines for front: one per command, "/name ARGS - help".
std::vector<std::string> HelpLines(TMsgINISupp& messages, CommandFront front);

// What a typed line is: text for a channel ("//" at the start stands for a literal "/"), one of
// front's commands (Word is its name as listed, typed in any letter case; Rest what follows the
// first blank), or a line starting with "/" that names none.
struct TypedLine {
  enum LineKind { Text, Command, Unknown } Kind = Text;
  std::string Word;
  std::string Rest;  // the text for Text
};
TypedLine ClassifyLine(const std::string& line, CommandFront front);

// The intent "run a console command", which both front ends call with themselves as front: runs line
// when it is one of front's commands; false otherwise, and when the command found nothing to do. It
// lives with the table rather than in TIntents, so that the table's handlers call the intents and
// nothing calls back.
bool RunCommandLine(TIntents& intents, TCommandFront& front, const std::string& line);

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

// The window's console tab as a front end of the commands.
class TConsoleCommands : public TCommandFront {
 public:
  TConsoleCommands(InputEditor& editor, TTabStrips& tabs, TRosterList& roster, TIntents& intents)
      : editor_(editor), tabs_(tabs), roster_(roster), intents_(intents) {}

  // Runs line when it is a command of the window (it begins with "/" and names one); false
  // otherwise, and for "/about" when nobody was asked.
  bool Run(const std::string& line) { return RunCommandLine(intents_, *this, line); }
  // The roster menu's "about the user": "/about" for the selected rows, then the console.
  void AboutUserClick();

  CommandFront Kind() const override { return CommandFront::Window; }
  std::string Channel() override { return tabs_.Channels().CurrentName(); }
  void Notice(const std::string& text) override;
  void Problem(const std::string& text) override { tabs_.ConsoleError(text); }
  void Done() override;

 private:
  InputEditor& editor_;
  TTabStrips& tabs_;
  TRosterList& roster_;
  TIntents& intents_;
};

}  // namespace plumo
