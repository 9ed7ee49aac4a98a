// SPDX-License-Identifier: GPL-3.0-or-later
// TSender: what the editor sends. Enter in line mode submits the line (history, console command,
// else a channel line); reply tabs compose private and mass messages and send them to their
// recipients.
#pragma once

#include <functional>
#include <string>

#include "core/console_commands.h"
#include "core/input_history.h"
#include "core/intents.h"
#include "core/roster_list.h"
#include "core/slots.h"
#include "core/tabstrips.h"
#include "core/texts.h"

namespace plumo {

// What a send operation of the core did.
enum class SendOutcome {
  Sent,         // every datagram left
  Nothing,      // nothing to send (blank text, the console tab, no engine)
  TooLong,      // refused: the text does not fit one datagram; nothing was sent
  Unreachable,  // a recipient has left or is offline; the others got it
  Refused,      // a recipient's key rules stopped it (Outcome::Refused); the draft stays
};

class TSender {
 public:
  TSender(InputEditor& editor, TMsgINISupp& messages, const TEngineSlot& engine, TTabStrips& tabs,
          TRosterList& roster, TInputHistory& history, TConsoleCommands& commands, TIntents& intents)
      : editor_(editor),
        texts_(messages),
        engine_(engine),
        tabs_(tabs),
        roster_(roster),
        history_(history),
        commands_(commands),
        intents_(intents) {}

  // Enter in line mode: into the history, then a console command, else SendMes.
  void SubmitLine();
  // The line editor's text to the active channel; nothing on the console tab or for blank text.
  SendOutcome SendMes();
  // Opens a reply tab to the selected roster rows (mass false) or to everybody (mass true);
  // "NoUsersSelect" when a private message has nobody selected.
  void ComposeMessage(bool mass);
  // Sends the active reply tab. Sent when every recipient got it; Nothing for blank text; TooLong
  // when it does not fit one datagram; Unreachable when a recipient has left or is offline (named
  // in the console); Refused when a recipient's key rules stopped it (the draft stays). sendClear:
  // the user chose clear text for this message to a peer whose program no longer encrypts (the
  // window's "Send in clear text").
  SendOutcome SendComposedMessage(bool sendClear = false);
  // Ctrl+Enter in a reply tab: send; close on success, show the console on failure. Returns
  // whether the tab was closed.
  bool SendReply(bool sendClear = false);
  // A private message to every roster entry with that nick, through a reply tab and the reply send
  // path; "CantSendMessage" when no entry has the nick.
  bool SendPrivateByNick(const std::string& nick, const std::string& text);
  // Up and Down in line mode: the editor gets the recalled line.
  void RecallOlder();
  void RecallNewer();

  // Asked when a message tab sends a message to everybody: whether its readers are asked to
  // acknowledge it (the window's "Ask readers to acknowledge"); without it they are not.
  std::function<bool()> AskAcknowledge;

 private:
  InputEditor& editor_;
  TTexts texts_;
  const TEngineSlot& engine_;
  TTabStrips& tabs_;
  TRosterList& roster_;
  TInputHistory& history_;
  TConsoleCommands& commands_;
  TIntents& intents_;
};

}  // namespace plumo
