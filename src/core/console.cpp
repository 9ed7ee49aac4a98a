// Console commands typed in the editor: "/info", "/help", "/about", "/netstat".
#include "core/chatcore.h"
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

bool TChatCore::RunConsoleCommand(const std::string& line) {
  const std::size_t slash = line.find('/');
  if (slash == std::string::npos || slash > 0) return false;
  const std::size_t blank = line.find(' ');
  const std::string word = Cp1251UpperCase(line.substr(0, blank));
  std::string arg = blank == std::string::npos ? std::string() : TrimText(line.substr(blank + 1));
  arg = Cp1251UpperCase(arg);

  if (word == "/INFO") {
    if (arg == "*") arg.clear();
    bool found = false;
    const TMessageScope scope(*mis_);
    for (const auto& row : rows_) {
      if (Cp1251UpperCase(row.Nick).compare(0, arg.size(), arg) != 0) continue;
      found = true;
      ConsoleAdd("#^666666Name: " + row.Nick + " ip= \\\\" + row.Address +
                 " state=" + StateCaption(row.State));
      s_.editor.ClearInput();
    }
    if (!found) ConsoleAdd(Msg("UserNotFound"));
    return true;
  }
  if (word == "/HELP") {
    ConsoleAdd(std::string("#^666666Plumo v. Plumo ") + kVersion + MsgAlone("ConsoleHelp"));
    s_.editor.ClearInput();
    return true;
  }
  if (word == "/ABOUT") {
    if (!engine_) return false;
    bool asked = false;
    for (const auto& row : rows_) {
      if (!row.Selected && arg != "*") continue;
      const int index = engine_->Users().Find(row.Nick, row.Address);
      if (index < 0) continue;
      engine_->RequestInfo(index);
      asked = true;
      if (inputs_.CurrentIndex() < 0 || inputs_.At(inputs_.CurrentIndex()).Mode != ModeReply)
        s_.editor.ClearInput();
    }
    return asked;
  }
  if (word == "/NETSTAT") {
    ConsoleAdd("#^666666" + AsCrLfLines(s_.system.Interfaces()));
    s_.editor.ClearInput();
    return true;
  }
  return false;
}

}  // namespace plumo
