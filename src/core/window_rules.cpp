// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window_rules.h"

#include <algorithm>

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

ScreenRect WindowPlace(const ScreenRect& stored, const ScreenRect& available) {
  if (available.Width <= 0 || available.Height <= 0) return stored;  // no screen to fit
  ScreenRect place = stored;
  if (stored.Width <= 0 || stored.Height <= 0) {
    place.Width = std::clamp(available.Width * 4 / 5, kMinWindowWidth, 1400);
    place.Height = std::clamp(available.Height * 9 / 10, kMinWindowHeight, 1000);
    place.Width = std::min(place.Width, available.Width);
    place.Height = std::min(place.Height, available.Height);
    place.Left = available.Left + (available.Width - place.Width) / 2;
    place.Top = available.Top + (available.Height - place.Height) / 2;
    return place;
  }
  place.Width = std::min(place.Width, available.Width);
  place.Height = std::min(place.Height, available.Height);
  place.Left = std::clamp(place.Left, available.Left, available.Left + available.Width - place.Width);
  place.Top = std::clamp(place.Top, available.Top, available.Top + available.Height - place.Height);
  return place;
}

}  // namespace plumo
