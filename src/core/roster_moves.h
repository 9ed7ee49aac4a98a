// SPDX-License-Identifier: GPL-3.0-or-later
// The roster list's selection moves from the editor (Ctrl or Shift with Up and Down) and the roster
// panel's rules that need no display: the tip of a row, the width of its only column, and where the
// application-wide wheel hook sends a wheel turn. Rows are in the list's order (sorted by nick).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/editor_keys.h"
#include "net/users.h"

namespace plumo {

// Which rows of ListView1 are selected; element i is row i.
using RosterSelection = std::vector<bool>;

enum class RosterMove : std::uint8_t {
  Up,          // Ctrl+Up
  Down,        // Ctrl+Down
  ExtendUp,    // Shift+Up
  ExtendDown,  // Shift+Down
};

// The roster move an editor action asks for; nullopt for every action that is not a roster move.
std::optional<RosterMove> RosterMoveOf(EditorAction action);

// The index of the first (topmost) selected row; nullopt when none is selected.
std::optional<std::size_t> FirstSelected(const RosterSelection& selection);
// The indices of the selected rows in order.
std::vector<int> SelectedRows(const RosterSelection& selection);

// The selection after one move, all relative to the first selected row f of n rows; the other
// selected rows stay selected. Up: f > 0 selects f-1 and deselects f; else f (if any) is deselected
// and row n-1 selected. Down: f < n-1 selects f+1 and deselects f; else f (if any) is deselected and
// row 0 selected. ExtendUp adds f-1, or row n-1 with no selection or f = 0. ExtendDown adds f+1, or
// row 0 with no selection or f = n-1. An empty roster comes back unchanged.
RosterSelection MoveRosterSelection(RosterSelection selection, RosterMove move);

// The tip of a roster row (ListView1InfoTip): nick, address, state caption, state description (left
// out when blank) and the whole seconds since the entry was last heard, filled into lastHeard (the
// language file's "Last heard %s s ago"), joined by CR LF. A last-heard time after nowMs (the clock
// was set back) counts as 0 seconds.
std::string RosterTip(const AChuvakInfo& entry, std::string_view stateCaption, const std::string& lastHeard,
                      std::int64_t nowMs);

// The control under the pointer when the wheel turns.
enum class WheelTarget : std::uint8_t { TabMessages, TabChanels, Roster, Other };
// The key the wheel hook sends to that control as a key-down.
enum class WheelKey : std::uint8_t { None, Left, Right, Up, Down };

// AppMessageHook's wheel redirection: over a tab strip Left for a positive delta (turned away from
// the user) and Right otherwise, over the roster Up or Down likewise, nothing over any other
// control. The hook never marks the wheel event handled, so it still reaches its own target.
WheelKey WheelRedirectKey(WheelTarget target, int delta);

}  // namespace plumo
