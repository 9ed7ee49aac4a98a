// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/console_commands.h"

#include "core/chat_history.h"
#include "core/texts.h"
#include "lang/textcase.h"

namespace plumo {

namespace {

// Lines ended by CR, LF or CR LF, each written again with CR LF.
std::string AsCrLfLines(const std::string& text) {
  std::string out;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += line + "\r\n";
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) out += line + "\r\n";
  return out;
}

}  // namespace

bool TConsoleCommands::Run(const std::string& line) {
  const std::size_t slash = line.find('/');
  if (slash == std::string::npos || slash > 0) return false;
  const std::size_t blank = line.find(' ');
  const std::string word = Cp1251UpperCase(line.substr(0, blank));
  std::string arg = blank == std::string::npos ? std::string() : TrimText(line.substr(blank + 1));
  arg = Cp1251UpperCase(arg);

  if (word == "/INFO") {
    if (arg == "*") arg.clear();
    bool found = false;
    const TMessageScope scope(texts_.Messages());
    for (const auto& row : roster_.Rows()) {
      if (Cp1251UpperCase(row.Nick).compare(0, arg.size(), arg) != 0) continue;
      found = true;
      tabs_.ConsoleAdd(kGrey + "Name: " + row.Nick + " ip= \\\\" + row.Address +
                       " state=" + own_.StateCaption(row.State));
      editor_.ClearInput();
    }
    if (!found) tabs_.ConsoleAdd(texts_.Msg("UserNotFound"));
    return true;
  }
  if (word == "/HELP") {
    // The window's keys follow the commands in the same grey block.
    tabs_.ConsoleAdd(kGrey + "Plumo v. Plumo " + kPlumoVersion + texts_.MsgAlone("ConsoleHelp") +
                     texts_.MsgAlone("KeysHelp"));
    editor_.ClearInput();
    return true;
  }
  if (word == "/ABOUT") {
    if (!engine_) return false;
    bool asked = false;
    for (const auto& row : roster_.Rows()) {
      if (!row.Selected && arg != "*") continue;
      const int index = engine_->Users().Find(row.Nick, row.Address);
      if (index < 0) continue;
      engine_->RequestInfo(index);
      asked = true;
      const TConversationList& inputs = tabs_.Inputs();
      if (inputs.CurrentIndex() < 0 || inputs.At(inputs.CurrentIndex()).Mode != ModeReply)
        editor_.ClearInput();
    }
    return asked;
  }
  if (word == "/CLEARHISTORY") {
    // "/clearhistory" forgets the shown channel's history, "/clearhistory *" all of it.
    if (arg == "*") {
      chatHistory_.DeleteAll();
    } else if (const auto key = chatHistory_.ChannelKey(tabs_.Channels().CurrentIndex())) {
      chatHistory_.Delete(*key);
    }
    editor_.ClearInput();
    return true;
  }
  if (word == "/JOIN" || word == "/LEAVE") {
    // The name as typed: channel names keep their letter case.
    const std::string name = blank == std::string::npos ? std::string() : TrimText(line.substr(blank + 1));
    const TTabStrips::ChannelChange change =
        word == "/JOIN" ? tabs_.JoinChannel(name) : tabs_.LeaveChannel(name);
    const std::string problem = tabs_.ChannelChangeText(change, name);
    if (!problem.empty()) tabs_.ConsoleError(problem);
    editor_.ClearInput();
    return true;
  }
  if (word == "/NETSTAT") {
    tabs_.ConsoleAdd(kGrey + AsCrLfLines(system_.Interfaces()));
    editor_.ClearInput();
    return true;
  }
  return false;
}

void TConsoleCommands::AboutUserClick() {
  if (const RosterRow* row = roster_.FirstSelected()) {
    Run("/about " + row->Nick);
    tabs_.ActivateConsole();
  }
}

}  // namespace plumo
