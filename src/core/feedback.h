// SPDX-License-Identifier: GPL-3.0-or-later
// TFeedback: what the user has to notice at once (a message refused as too long, a bell, a message
// that was not delivered) is told where the user is looking, not only in the console. The console
// keeps its line as ever; the same line also goes into the conversation where it happened, and
// while the window is away the desktop shows a notification. The window and the headless peer
// only show what is decided here.
#pragma once

#include <string>

#include "core/ownstate.h"
#include "core/settings.h"
#include "core/slots.h"
#include "core/tabstrips.h"

namespace plumo {

// Where a notice belongs besides the console.
struct TFeedbackPlace {
  // It happened in the message tab shown (a reply or a message to everybody that was refused).
  bool InMessageTab = false;
  // The peer it concerns (address), whose open message tab gets it; empty for none.
  std::string PeerAddress;
};

class TFeedback {
 public:
  TFeedback(const TSettings& settings, WindowSurface& window, const TWindowShown& windowShown,
            TTabStrips& tabs, const TOwnState& own)
      : settings_(settings), window_(window), windowShown_(windowShown), tabs_(tabs), own_(own) {}

  // Tells text (code page 1251, without markup) in colour (a "#^RRGGBB" marker): in the console;
  // in the message tab shown when it happened there, else in the open message tab of the peer it
  // concerns; in the channel shown (unless that is the console) whenever that message tab is not
  // the one shown, so the user sees it; and, while the window is hidden or inactive and the
  // settings ask for notifications, as a desktop notification titled title.
  void Tell(const std::string& colour, const std::string& text, const std::string& title,
            const TFeedbackPlace& place);
  // The message tab (index in the message strip) whose conversation is with the peer at address;
  // -1 when none is open.
  int PeerMessageTab(const std::string& address) const;

 private:
  const TSettings& settings_;
  WindowSurface& window_;
  const TWindowShown& windowShown_;
  TTabStrips& tabs_;
  const TOwnState& own_;
};

}  // namespace plumo
