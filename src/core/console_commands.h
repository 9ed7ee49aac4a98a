// SPDX-License-Identifier: GPL-3.0-or-later
// TConsoleCommands: the commands typed in the editor that the program carries out itself instead of
// sending: "/info [nick]", "/help", "/about [nick|*]", "/netstat",
// "/clearhistory [*]", "/join NAME", "/leave [NAME]". Their answers go to the console.
#pragma once

#include <string>

#include "core/chat_history.h"
#include "core/ownstate.h"
#include "core/roster_list.h"
#include "core/slots.h"
#include "core/tabstrips.h"
#include "core/texts.h"

namespace plumo {

class TConsoleCommands {
 public:
  TConsoleCommands(InputEditor& editor, SystemInfo& system, TMsgINISupp& messages, const TEngineSlot& engine,
                   TChatHistory& chatHistory, TTabStrips& tabs, TRosterList& roster, TOwnState& own)
      : editor_(editor),
        system_(system),
        texts_(messages),
        engine_(engine),
        chatHistory_(chatHistory),
        tabs_(tabs),
        roster_(roster),
        own_(own) {}

  // Runs line when it is a console command (it begins with "/" and names one); false otherwise,
  // and for "/about" when nobody was asked.
  bool Run(const std::string& line);
  // The roster menu's "about the user": "/about" for the selected rows, then the console.
  void AboutUserClick();

 private:
  InputEditor& editor_;
  SystemInfo& system_;
  TTexts texts_;
  const TEngineSlot& engine_;
  TChatHistory& chatHistory_;
  TTabStrips& tabs_;
  TRosterList& roster_;
  TOwnState& own_;
};

}  // namespace plumo
