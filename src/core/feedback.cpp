// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/feedback.h"

namespace plumo {

int TFeedback::PeerMessageTab(const std::string& address) const {
  if (address.empty()) return -1;
  const TConversationList& inputs = tabs_.Inputs();
  for (int i = 1; i < inputs.Count(); ++i) {
    const Conversation& c = inputs.At(i);
    // A received message's tab names its sender's address; a draft ",addr" (one peer only).
    if (!c.MassMessage && (c.Recipients == address || c.Recipients == "," + address)) return i;
  }
  return -1;
}

void TFeedback::Tell(const std::string& colour, const std::string& text, const std::string& title,
                     const TFeedbackPlace& place) {
  const std::string line = colour + text;
  tabs_.ConsoleAdd(line);
  TConversationList& inputs = tabs_.Inputs();
  TConversationList& channels = tabs_.Channels();
  const int shownTab = inputs.CurrentIndex();
  int messageTab = place.InMessageTab && shownTab > 0 ? shownTab : -1;
  if (messageTab < 0) messageTab = PeerMessageTab(place.PeerAddress);
  if (messageTab > 0) inputs.AddNotice(messageTab, line);
  // A message tab that is not shown hides its notice: the channel display, always in sight, gets it.
  if (messageTab != shownTab || messageTab <= 0) {
    if (channels.CurrentIndex() > 0) channels.AddLine(channels.CurrentName(), line, false);
  }
  const bool away = !windowShown_.Visible() || !own_.WindowActive();
  if (away && settings_.ShowBallonIfNotFocused) window_.Notify(title, text);
}

}  // namespace plumo
