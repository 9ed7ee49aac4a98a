// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window_rules.h"

#include "core/ownstate.h"
#include "core/texts.h"
#include "lang/lng.h"

namespace plumo {

std::vector<StateMenuItem> StateMenuItems(TMsgINISupp& mis, char savedState, const std::string& savedDescr) {
  std::vector<StateMenuItem> items;
  const TMessageScope scope(mis);
  for (const int tag : {1, 4, 5}) {
    const char state = static_cast<char>('0' + tag);
    StateMenuItem item;
    item.Tag = tag;
    item.Caption = mis.GetMessage("WinState" + std::to_string(tag));
    item.Checked = state == savedState;
    // A blank description (the default is one space) adds nothing.
    if (item.Checked && !TrimText(savedDescr).empty()) item.Caption += " (" + savedDescr + ")";
    item.Image = StateImageIndex(state);
    items.push_back(std::move(item));
  }
  return items;
}

bool MessageTabMenuOpens(int tabUnderCursor, int activeTab) {
  return tabUnderCursor > 0 && tabUnderCursor == activeTab;
}

std::vector<std::string> CommandMenuItems() {
  return {"/help", "/info", "/about"};
}

WheelKey WheelTurn(WheelTarget target, int delta, int& pending) {
  if (target == WheelTarget::Other || delta == 0) return WheelKey::None;
  if ((pending > 0 && delta < 0) || (pending < 0 && delta > 0)) pending = 0;
  pending += delta;
  if (pending > -kWheelNotch && pending < kWheelNotch) return WheelKey::None;
  pending %= kWheelNotch;  // a burst of several notches in one event still moves once
  return WheelRedirectKey(target, delta);
}

}  // namespace plumo
