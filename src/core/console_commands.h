// SPDX-License-Identifier: GPL-3.0-or-later
// TConsoleCommands: the commands typed in the editor that the program carries out itself instead of
// sending: "/info [nick]", "/help", "/about [nick|*]", "/netstat",
// "/clearhistory [*]", "/join NAME", "/leave [NAME]". Their answers go to the console.
#pragma once

#include <string>

#include "core/context.h"
#include "core/ownstate.h"
#include "core/roster_list.h"
#include "core/tabstrips.h"

namespace plumo {

class TConsoleCommands {
 public:
  TConsoleCommands(TCoreContext& ctx, TTabStrips& tabs, TRosterList& roster, TOwnState& own)
      : c_(ctx), tabs_(tabs), roster_(roster), own_(own) {}

  // Runs line when it is a console command (it begins with "/" and names one); false otherwise,
  // and for "/about" when nobody was asked.
  bool Run(const std::string& line);
  // The roster menu's "about the user": "/about" for the selected rows, then the console.
  void AboutUserClick();

 private:
  TCoreContext& c_;
  TTabStrips& tabs_;
  TRosterList& roster_;
  TOwnState& own_;
};

}  // namespace plumo
