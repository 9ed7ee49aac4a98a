// SPDX-License-Identifier: GPL-3.0-or-later
// Small decisions of the main window that need no display: the items of the own-state menu, how
// wheel turns over the tab strips and the roster become single key presses, and where the window
// opens on the screen it has.
#pragma once

#include <string>
#include <vector>

#include "core/roster_moves.h"

namespace plumo {

class TMsgINISupp;

// One item of the own-state menu PopupMenu9.
struct StateMenuItem {
  int Tag = 0;           // the state number, 1, 4 or 5
  std::string Caption;   // "WinState" + tag, with " (" + description + ")" on the saved state
  int Image = -1;        // StateImageIndex of the state
  bool Checked = false;  // the saved state's item; its picture goes on ToolButton5
};

// The own-state menu as it is rebuilt on every popup: the states 1, 4 and 5 in this order (away and
// screen saver are never offered), the saved one checked and carrying its description.
std::vector<StateMenuItem> StateMenuItems(TMsgINISupp& mis, char savedState, const std::string& savedDescr);

// The message-tab menu PopupMenu3 opens on a right-button release only over the active tab, and
// never over the line editor's tab 0. tabUnderCursor is -1 when no tab is under the cursor.
bool MessageTabMenuOpens(int tabUnderCursor, int activeTab);

// The console-command menu PopupMenu7 (ToolButton4): its captions in tag order; a choice inserts the
// caption into the editor.
std::vector<std::string> CommandMenuItems();

// One notch of a mouse wheel, in the toolkit's units of an eighth of a degree.
inline constexpr int kWheelNotch = 120;

// A wheel event over target with a vertical delta. pending carries the part of a notch that fine
// wheels and touch pads deliver in small steps; a turn in the other direction starts afresh. Once a
// whole notch has come together the key of WheelRedirectKey is returned (one key per notch, so one
// turn moves one tab or one row); None until then, for a zero delta, and over any other control.
WheelKey WheelTurn(WheelTarget target, int delta, int& pending);

// A rectangle of the screen in pixels.
struct ScreenRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;

  bool operator==(const ScreenRect&) const = default;
};

// The smallest main window that still shows the editor, a channel and a usable roster.
inline constexpr int kMinWindowWidth = 640;
inline constexpr int kMinWindowHeight = 480;

// Where the main window opens: the stored place (FormL, FormT, FormW, FormH) moved and shrunk to lie
// inside the screen's available area, so that a window stored on a larger screen opens whole on a
// laptop. Without a stored size (a width or height of 0 or less: a new installation) the window
// takes four fifths of the area's width and nearly all its height, at most 1400 x 1000 and at least
// the minimum window, centred.
ScreenRect WindowPlace(const ScreenRect& stored, const ScreenRect& available);

}  // namespace plumo
