// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/tabstrips.h"

#include <algorithm>

#include "core/channel_text.h"
#include "core/settings.h"
#include "core/texts.h"
#include "lang/text_helpers.h"
#include "lang/textcase.h"

namespace plumo {

void TTabStrips::ConsoleAdd(const std::string& line) {
  if (!AddConsoleLine(line, true)) return;
  lines_.Notice(line);
}

void TTabStrips::ConsoleShow(const std::string& line) {
  AddConsoleLine(line, false);
}

bool TTabStrips::AddConsoleLine(const std::string& line, bool stored) {
  if (channels_.Count() == 0) return false;
  Conversation& console = channels_.At(0);
  console.IconIndex = channels_.CurrentIndex() == 0 ? icon::kConsoleSeen : icon::kConsoleUnseen;
  console.Seen = true;
  channels_.AddLine(console.Name, line, stored);
  channels_.RefreshIcons();
  return true;
}

bool TTabStrips::IsUnset(const TChanel& ch) const {
  const TMessageScope scope(texts_.Messages());
  return IsUnsetTopic(ch, clock_.NowSeconds(), {texts_.Msg("Wellcom"), texts_.Msg("WhatTopicThere")});
}

void TTabStrips::ShowChannelTopic(const TChanel& ch) {
  const bool unset = IsUnset(ch);
  caption_ = ChannelCaption(ch, unset, kPlumoVersion);
  window_.SetCaption(caption_);
  // The line shows what the topic says, without markup; a set topic names its setter and time.
  const std::string text = TrimText(MarkupToPlain(unset ? ch.Topic : BareTopic(ch.Topic, ch.SetterNick)));
  if (unset || ch.SetterNick.empty()) {
    window_.SetTopicLine(text);
  } else {
    window_.SetTopicLine(FormatText(texts_.MsgAlone("TopicLine"),
                                    {text, ch.SetterNick, DateTimeText(UnixToLocalMs(ch.TopicTime))}));
  }
}

void TTabStrips::TabChanelsChange() {
  const int index = channels_.CurrentIndex();
  if (index < 0 || !engine_) return;
  if (index == 0) {
    caption_ = texts_.MsgAlone("Console") + " Plumo " + kPlumoVersion;
    window_.SetCaption(caption_);
    window_.SetTopicLine({});
  } else {
    const std::string& name = channels_.At(index).Name;
    if (const TChanel* ch = engine_->FindChannel(name)) {
      ShowChannelTopic(*ch);
      engine_->SendTopicQuery(name);
    } else {
      window_.SetTopicLine({});
      engine_->SetTopic(name, texts_.MsgAlone("WhatTopicThere"),
                        clock_.NowSeconds() - static_cast<std::uint32_t>(kPlaceholderTopicAge));
    }
  }
  window_.SetTopicButtonEnabled(index != 0);
  window_.SetCommandButtonEnabled(index == 0);
  channels_.ScrollToEnd();
}

bool TTabStrips::SelectChannelTab(int index) {
  if (index < 0 || index >= channels_.Count()) return false;
  channels_.Show(index);
  TabChanelsChange();
  channels_.At(index).Seen = true;
  channels_.At(index).IconIndex = index == 0 ? icon::kConsoleSeen : icon::kChannelSeen;
  FocusEditor();
  channels_.RefreshIcons();
  return true;
}

void TTabStrips::ChannelTabClicked(int index) {
  if (index < 0 || index >= channels_.Count()) return;
  channels_.At(index).Seen = true;
  channels_.At(index).IconIndex = index == 0 ? icon::kConsoleSeen : icon::kChannelSeen;
  channels_.RefreshIcons();
}

void TTabStrips::MessageTabClicked() {
  const int index = inputs_.CurrentIndex();
  if (index < 0) return;
  inputs_.At(index).Seen = true;
  FocusEditor();
  inputs_.RefreshIcons();
}

bool TTabStrips::SelectMessageTab(int index) {
  if (index < 0 || index >= inputs_.Count()) return false;
  inputs_.Show(index);
  inputs_.At(index).Seen = true;
  FocusEditor();
  inputs_.RefreshIcons();
  return true;
}

void TTabStrips::CloseMessageTab() {
  const int index = inputs_.CurrentIndex();
  if (index > 0) inputs_.Close(index);
  inputs_.RefreshIcons();
}

int TTabStrips::OpenReplyTab(const std::string& recipients, const std::string& names, bool mass) {
  // names is ",ann,bob" (or "@" and the mass message's name): the caption lists them "->ann, bob",
  // as a received message's tab reads "<-ann".
  std::vector<std::string> items = SplitCommas(names);
  if (!items[0].empty() && items[0][0] == '@') items[0].erase(0, 1);
  std::string shown;
  for (const std::string& name : items) {
    if (!name.empty()) shown += (shown.empty() ? "" : ", ") + name;
  }
  if (shown.empty() && mass) shown = texts_.MsgAlone("MultiMessage");
  const std::string caption = "[" + clock_.NowTime() + "] ->" + shown;
  Conversation c;
  c.Name = caption;
  c.IconIndex = mass ? icon::kMass : icon::kPrivate;
  c.Seen = true;
  c.Recipients = recipients;
  c.RecipientNames = names;
  c.MassMessage = mass;
  c.Mode = ModeReply;
  int index = inputs_.Add(c);
  if (index < 0) index = inputs_.IndexOf(caption);
  inputs_.Show(index);
  inputs_.RefreshIcons();
  FocusEditor();
  return index;
}

TTabStrips::ChannelChange TTabStrips::JoinChannel(const std::string& typed) {
  if (!engine_) return ChannelChange::NoEngine;
  const std::optional<std::string> valid = ChannelName(typed);
  if (!valid) return ChannelChange::BadName;
  if (const int open = channels_.IndexOf(*valid); open > 0) {
    SelectChannelTab(open);
    return ChannelChange::Shown;
  }
  std::string name = *valid;
  const TChanel* known = engine_->FindChannel(name);
  for (std::size_t i = 0; known == nullptr && i < engine_->Channels().size(); ++i) {
    const TChanel& heard = *engine_->Channels()[i];
    if (SameText1251(heard.Name, name)) {
      known = &heard;
      name = heard.Name;
    }
  }
  if (known == nullptr) {
    // A channel this program had open before may still have its topic in chat.ini.
    const TIniFile ini(iniPath_);
    const TTopicRecord t = ReadTopic(ini, name, texts_.MsgAlone("Wellcom"), clock_.NowSeconds());
    engine_->AddChannel(name, t.Topic, t.SetterNick, t.SetterAddress, t.TopicTime);
  }
  Conversation c;
  c.Name = name;
  c.IconIndex = icon::kChannelCreated;
  c.Seen = true;
  c.Mode = ModeLog;
  const int index = channels_.Add(c);
  if (index < 0) return ChannelChange::BadName;
  lines_.ChannelOpened(index);
  SelectChannelTab(index);
  saveUserChanges_();
  return ChannelChange::Opened;
}

TTabStrips::ChannelChange TTabStrips::LeaveChannel(const std::string& typed) {
  if (!engine_) return ChannelChange::NoEngine;
  const std::string name = TrimText(typed).empty() ? channels_.CurrentName() : TrimText(typed);
  const int index = channels_.IndexOf(name);
  if (index == 0 || name == "#") return ChannelChange::Console;
  if (index < 0) return ChannelChange::NotOpen;
  if (channels_.Count() <= 2) return ChannelChange::LastChannel;
  // The engine keeps the channel and its topic: it is one of the channels heard of, to join again.
  const std::string closed = channels_.At(index).Name;
  const bool shown = index == channels_.CurrentIndex();
  channels_.Close(index);
  lines_.ChannelClosed(closed);
  if (shown) {
    SelectChannelTab(channels_.CurrentIndex());
  } else {
    channels_.RefreshIcons();
  }
  saveUserChanges_();
  return ChannelChange::Closed;
}

void TTabStrips::AskJoinChannel() {
  texts_.Messages().BeginMessages();
  const std::string title = texts_.Msg("JoinChannel");
  const std::string prompt = texts_.Msg("ChannelName");
  texts_.Messages().EndMessages();
  window_.AskText(title, prompt, {}, [this](const std::optional<std::string>& answer) {
    if (!answer) return;
    const std::string problem = ChannelChangeText(JoinChannel(*answer), *answer);
    if (!problem.empty()) window_.ShowMessage(problem);
  });
}

std::vector<std::string> TTabStrips::ChannelsToJoin() const {
  std::vector<std::string> names;
  if (!engine_) return names;
  for (const auto& ch : engine_->Channels()) {
    if (ch->Name == "#" || channels_.IndexOf(ch->Name) >= 0) continue;
    // Peers may spell one channel in other letter case; it is offered once, as heard first.
    const bool listed = std::any_of(names.begin(), names.end(),
                                    [&](const std::string& name) { return SameText1251(name, ch->Name); });
    if (!listed) names.push_back(ch->Name);
  }
  return names;
}

std::string TTabStrips::ChannelChangeText(ChannelChange change, const std::string& name) const {
  const char* key = nullptr;
  switch (change) {
    case ChannelChange::BadName:
      key = "ChannelNameBad";
      break;
    case ChannelChange::NotOpen:
      key = "ChannelNotOpen";
      break;
    case ChannelChange::Console:
      key = "CantLeaveConsole";
      break;
    case ChannelChange::LastChannel:
      key = "CantLeaveLast";
      break;
    case ChannelChange::Opened:
    case ChannelChange::Shown:
    case ChannelChange::Closed:
    case ChannelChange::NoEngine:
      return {};
  }
  const std::string shown = TrimText(name);
  return FormatText(texts_.MsgAlone(key), {shown, std::to_string(kMaxChannelName)});
}

void TTabStrips::ChangeTopic() {
  const int index = channels_.CurrentIndex();
  if (index <= 0 || !engine_) return;
  const std::string name = channels_.At(index).Name;
  const TChanel* ch = engine_->FindChannel(name);
  // The user edits the text alone; a topic nobody set offers nothing to edit.
  const std::string current = ch && !IsUnset(*ch) ? BareTopic(ch->Topic, ch->SetterNick) : std::string();
  texts_.Messages().BeginMessages();
  const std::string title = texts_.Msg("ChanelTopic") + " " + name;
  const std::string prompt = texts_.Msg("Topic");
  texts_.Messages().EndMessages();
  // The answer may come after datagrams and timers have run: the topic is set on the channel that
  // was asked about, by name, and only if it still has a tab.
  window_.AskText(title, prompt, current, [this, name](const std::optional<std::string>& answer) {
    if (answer) SetTopicText(name, *answer);
  });
}

bool TTabStrips::SetTopicText(const std::string& channel, const std::string& text) {
  const int index = channels_.IndexOf(channel);
  if (index <= 0 || !engine_) return false;
  const std::string name = channels_.At(index).Name;
  const TChanel* ch = engine_->FindChannel(name);
  if (text == (ch && !IsUnset(*ch) ? BareTopic(ch->Topic, ch->SetterNick) : std::string())) return false;
  engine_->SetTopic(name, WrapTopic(text, engine_->Nick()), clock_.NowSeconds());
  ShowTopicChange(name);
  saveUserChanges_();
  return true;
}

void TTabStrips::ShowTopic() {
  const int index = channels_.CurrentIndex();
  if (index > 0) ShowTopicChange(channels_.At(index).Name, {}, true);
}

void TTabStrips::ShowTopicChange(const std::string& channelName, const std::string& senderAddress,
                                 bool onRequest) {
  if (!engine_) return;
  const TChanel* ch = engine_->FindChannel(channelName);
  if (ch == nullptr) return;
  const std::string when = DateTimeText(UnixToLocalMs(ch->TopicTime));
  const int index = channels_.IndexOf(channelName);
  const bool current = index >= 0 && index == channels_.CurrentIndex();
  if (current) ShowChannelTopic(*ch);
  // A peer's never-set topic (on first contact, say) replaced ours: nobody changed anything.
  if (!onRequest && IsUnset(*ch)) return;
  if (index >= 0) {
    channels_.At(index).IconIndex = current ? icon::kChannelSeen : icon::kChannelUnseen;
    channels_.At(index).Seen = current;
  }
  lines_.Topic(ch->Name, senderAddress.empty() ? ch->SetterAddress : senderAddress, ch->SetterNick,
               ch->Topic);
  {
    const TMessageScope scope(texts_.Messages());
    channels_.AddLine(channelName, "#^0022FF" + FormatText(texts_.Msg("TopicChange"),
                                                           {ch->SetterNick, ch->Topic + "#^0022FF", when}));
    ConsoleAdd("#^0022FF" + FormatText(texts_.Msg("TopicChangeC"),
                                       {ch->SetterNick, ch->Name, ch->Topic + "#^0022FF", when}));
  }
  sounds_.PlayEventSound("topic_change");
}

}  // namespace plumo
