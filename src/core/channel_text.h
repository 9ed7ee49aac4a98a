// SPDX-License-Identifier: GPL-3.0-or-later
// How channels and their topics are written: the wrapping " [ text : nick]" a topic set by a user
// travels in, the bare text the user edits again, whether a topic was ever set at all, the window
// caption and the line above the channel that show it, and which names a channel may have. Text is
// code page 1251.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/plumo.h"

namespace plumo {

// The longest channel name /join accepts (every hello carries every name).
inline constexpr std::size_t kMaxChannelName = 64;

// A topic a user typed, as it is set and sent: " [ " + text + " : " + nick + "]".
std::string WrapTopic(const std::string& text, const std::string& nick);
// The text a user typed inside a wrapped topic, with the wrapping of one level removed (also as
// chat.ini gives it back, without the leading blank); any other topic is returned as it is.
std::string BareTopic(const std::string& topic, const std::string& setterNick);

// A topic nobody ever set: the time zero, a time at least as old as the placeholder time that a
// program gives a channel without a stored topic (its start minus 999999999 seconds), or one of the
// placeholder texts (the welcome text, the question a new channel asks). Such a topic is shown, but
// learning it from a peer is no change worth announcing.
bool IsUnsetTopic(const TChanel& channel, std::uint32_t now, const std::vector<std::string>& placeholders);

// The window caption of a shown channel: the topic, the setter's nick in brackets when there is
// one, the program and its version.
std::string ChannelCaption(const TChanel& channel, bool unset, const std::string& version);

// The trimmed name when it can name a channel: not empty, not the console "#", at most
// kMaxChannelName characters, no control characters (a datagram field ends at a zero byte), and a
// valid chat.ini key (no "=", no leading "[") so that its topic can be kept.
std::optional<std::string> ChannelName(const std::string& typed);

}  // namespace plumo
