// SPDX-License-Identifier: GPL-3.0-or-later
// Roster selection moves and the roster panel's display rules; see roster_moves.h.
#include "core/roster_moves.h"

#include <algorithm>

#include "core/texts.h"
#include "lang/lng.h"

namespace plumo {

std::optional<RosterMove> RosterMoveOf(EditorAction action) {
  switch (action) {
    case EditorAction::RosterUp:
      return RosterMove::Up;
    case EditorAction::RosterDown:
      return RosterMove::Down;
    case EditorAction::RosterExtendUp:
      return RosterMove::ExtendUp;
    case EditorAction::RosterExtendDown:
      return RosterMove::ExtendDown;
    default:
      return std::nullopt;
  }
}

std::optional<std::size_t> FirstSelected(const RosterSelection& selection) {
  const auto it = std::find(selection.begin(), selection.end(), true);
  if (it == selection.end()) return std::nullopt;
  return static_cast<std::size_t>(it - selection.begin());
}

std::vector<int> SelectedRows(const RosterSelection& selection) {
  std::vector<int> rows;
  for (std::size_t i = 0; i < selection.size(); ++i) {
    if (selection[i]) rows.push_back(static_cast<int>(i));
  }
  return rows;
}

RosterSelection MoveRosterSelection(RosterSelection selection, RosterMove move) {
  if (selection.empty()) return selection;
  const std::size_t last = selection.size() - 1;
  const std::optional<std::size_t> first = FirstSelected(selection);
  switch (move) {
    case RosterMove::Up:
      if (first && *first > 0) {
        selection[*first - 1] = true;
        selection[*first] = false;
      } else {
        // Deselect before selecting: in a one-row list the row is both.
        if (first) selection[*first] = false;
        selection[last] = true;
      }
      break;
    case RosterMove::Down:
      if (first && *first < last) {
        selection[*first + 1] = true;
        selection[*first] = false;
      } else {
        if (first) selection[*first] = false;
        selection[0] = true;
      }
      break;
    case RosterMove::ExtendUp:
      selection[first && *first > 0 ? *first - 1 : last] = true;
      break;
    case RosterMove::ExtendDown:
      selection[first && *first < last ? *first + 1 : 0] = true;
      break;
  }
  return selection;
}

std::string RosterTip(const AChuvakInfo& entry, std::string_view stateCaption, const std::string& lastHeard,
                      std::int64_t nowMs) {
  const std::int64_t seconds = std::max<std::int64_t>(0, (nowMs - entry.LastSeen) / 1000);
  std::string tip = entry.Nick;
  tip += "\r\n" + entry.Address;
  tip += "\r\n";
  tip += stateCaption;
  if (!TrimText(entry.StateDescription).empty()) tip += "\r\n" + entry.StateDescription;
  tip += "\r\n" + FormatText(lastHeard, {std::to_string(seconds)});
  return tip;
}

WheelKey WheelRedirectKey(WheelTarget target, int delta) {
  const bool away = delta > 0;
  switch (target) {
    case WheelTarget::TabMessages:
    case WheelTarget::TabChanels:
      return away ? WheelKey::Left : WheelKey::Right;
    case WheelTarget::Roster:
      return away ? WheelKey::Up : WheelKey::Down;
    default:
      return WheelKey::None;
  }
}

}  // namespace plumo
