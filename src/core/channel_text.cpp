// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/channel_text.h"

#include <algorithm>

#include "core/settings.h"
#include "core/texts.h"
#include "lang/inifile.h"

namespace plumo {

namespace {

// A placeholder topic is dated kPlaceholderTopicAge seconds back; a day of slack covers clocks set
// back since.
constexpr std::uint32_t kUnsetTopicAge = kPlaceholderTopicAge - 86400;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::string WrapTopic(const std::string& text, const std::string& nick) {
  return " [ " + text + " : " + nick + "]";
}

std::string BareTopic(const std::string& topic, const std::string& setterNick) {
  const std::size_t start = topic.find_first_not_of(' ');
  if (start == std::string::npos || topic[start] != '[' || topic.back() != ']') return topic;
  std::string inner = topic.substr(start + 1, topic.size() - start - 2);
  if (!inner.empty() && inner.front() == ' ') inner.erase(0, 1);
  // The nick the wrapping names is the setter's, unless a peer passed the topic on since.
  const std::string byNick = " : " + setterNick;
  if (!setterNick.empty() && EndsWith(inner, byNick)) return inner.substr(0, inner.size() - byNick.size());
  const std::size_t colon = inner.rfind(" : ");
  return colon == std::string::npos ? topic : inner.substr(0, colon);
}

bool IsUnsetTopic(const TChanel& channel, std::uint32_t now, const std::vector<std::string>& placeholders) {
  if (channel.TopicTime == 0) return true;
  if (channel.TopicTime <= now && now - channel.TopicTime >= kUnsetTopicAge) return true;
  return std::find(placeholders.begin(), placeholders.end(), channel.Topic) != placeholders.end();
}

std::string ChannelCaption(const TChanel& channel, bool unset, const std::string& version) {
  std::string caption = channel.Topic;
  if (!unset && !channel.SetterNick.empty()) caption += " (" + channel.SetterNick + ")";
  return caption + " Plumo " + version;
}

std::optional<std::string> ChannelName(const std::string& typed) {
  const std::string name = TrimText(typed);
  if (name.empty() || name == "#" || name.size() > kMaxChannelName || !TIniFile::IsValidKeyName(name))
    return std::nullopt;
  return name;
}

}  // namespace plumo
