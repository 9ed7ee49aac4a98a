// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/headless_commands.h"

#include <algorithm>

#include "lang/textcase.h"

namespace plumo {

const std::vector<HeadlessCommand>& HeadlessCommands() {
  static const std::vector<HeadlessCommand> kCommands = {
      {"/channel", "NAME", "choose the channel your plain lines go to (\"#\" is the console)"},
      {"/channels", "", "list the channels with their topics"},
      {"/join", "NAME", "open a channel (a new one too), kept for the next start, and choose it"},
      {"/leave", "[NAME]", "close the chosen channel, or the one named (not the console or the last one)"},
      {"/msg", "NICK TEXT", "private message to every peer with that nick (\"quote a nick with blanks\")"},
      {"/mass", "TEXT", "message to everybody"},
      {"/bell", "NICK [N]", "ring bell N (default 0) at that peer"},
      {"/nick", "NEW", "change your nick"},
      {"/state", "active|dnd|offline [TEXT]", "change your state (also 1, 4, 5), with a description"},
      {"/topic", "[TEXT]", "show the channel's topic; with TEXT set it; /topic \"\" clears it"},
      {"/select", "NICK [NICK...]", "select peers (for /about)"},
      {"/roster", "", "list the peers"},
      {"/info", "[NICK]", "the peers whose nick starts with NICK, with address and state"},
      {"/about", "[*]", "ask the selected peers (* every peer) for their information text"},
      {"/netstat", "", "the network interfaces"},
      {"/history", "[N]", "the chosen channel's last N stored lines (default 20)"},
      {"/search", "TEXT", "search all stored history (\"a phrase\", word* for a prefix)"},
      {"/clearhistory", "[*]", "forget the chosen channel's history (* all of it)"},
      {"/help", "", "this list"},
      {"/quit", "", "leave the chat"},
  };
  return kCommands;
}

TypedLine ClassifyLine(const std::string& line) {
  TypedLine typed;
  if (line.empty() || line[0] != '/') {
    typed.Rest = line;
    return typed;
  }
  if (line.size() > 1 && line[1] == '/') {
    typed.Rest = line.substr(1);
    return typed;
  }
  const std::size_t blank = line.find(' ');
  typed.Word = line.substr(0, blank);
  typed.Rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
  typed.Kind = TypedLine::Unknown;
  const std::string upper = Cp1251UpperCase(typed.Word);
  for (const auto& command : HeadlessCommands()) {
    if (upper != Cp1251UpperCase(command.Name)) continue;
    typed.Word = command.Name;
    typed.Kind = TypedLine::Command;
  }
  return typed;
}

std::optional<NickArgument> TakeNick(const std::string& text) {
  if (text.empty()) return std::nullopt;
  if (text[0] == '"') {
    const std::size_t close = text.find('"', 1);
    if (close == std::string::npos || close == 1) return std::nullopt;
    std::string rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    return NickArgument{text.substr(1, close - 1), rest};
  }
  const std::size_t blank = text.find(' ');
  if (blank == 0) return std::nullopt;
  if (blank == std::string::npos) return NickArgument{text, {}};
  return NickArgument{text.substr(0, blank), text.substr(blank + 1)};
}

std::vector<std::string> MatchNicks(const std::vector<std::string>& roster, const std::string& typed) {
  if (std::find(roster.begin(), roster.end(), typed) != roster.end()) return {typed};
  std::vector<std::string> found;
  const std::string upper = Cp1251UpperCase(typed);
  for (const auto& nick : roster) {
    if (Cp1251UpperCase(nick) == upper && std::find(found.begin(), found.end(), nick) == found.end())
      found.push_back(nick);
  }
  return found;
}

namespace {

// Levenshtein distance, stopping early: only "at most two" matters.
std::size_t Distance(const std::string& a, const std::string& b) {
  if (a.size() > b.size() + 2 || b.size() > a.size() + 2) return 3;
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

}  // namespace

std::vector<std::string> CloseNicks(const std::vector<std::string>& roster, const std::string& typed) {
  std::vector<std::string> close;
  const std::string upper = Cp1251UpperCase(typed);
  for (const auto& nick : roster) {
    if (close.size() == 5) break;
    const std::string other = Cp1251UpperCase(nick);
    const bool contains = !upper.empty() && !other.empty() &&
                          (other.find(upper) != std::string::npos || upper.find(other) != std::string::npos);
    if ((contains || Distance(upper, other) <= 2) &&
        std::find(close.begin(), close.end(), nick) == close.end())
      close.push_back(nick);
  }
  return close;
}

std::optional<int> ParseStateName(const std::string& word) {
  const std::string name = Cp1251UpperCase(word);
  if (name == "ACTIVE" || name == "1") return 1;
  if (name == "DND" || name == "4") return 4;
  if (name == "OFFLINE" || name == "5") return 5;
  return std::nullopt;
}

}  // namespace plumo
