// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/tabstrips.h"

#include "core/chat_history.h"
#include "core/texts.h"

namespace plumo {

void TTabStrips::ConsoleAdd(const std::string& line) {
  if (channels_.Count() == 0) return;
  Conversation& console = channels_.At(0);
  console.IconIndex = channels_.CurrentIndex() == 0 ? icon::kConsoleSeen : icon::kConsoleUnseen;
  console.Seen = true;
  channels_.AddLine(console.Name, line);
  channels_.RefreshIcons();
  if (c_.History) c_.History->Notice(line);
}

void TTabStrips::ShowChannelTopicCaption(const TChanel& ch) {
  caption_ = ch.Topic + " (" + ch.SetterNick + ")" + " Plumo " + kPlumoVersion;
  c_.Surfaces.Window.SetCaption(caption_);
}

void TTabStrips::TabChanelsChange() {
  const int index = channels_.CurrentIndex();
  if (index < 0 || !c_.Engine) return;
  if (index == 0) {
    caption_ = c_.MsgAlone("Console") + " Plumo " + kPlumoVersion;
    c_.Surfaces.Window.SetCaption(caption_);
  } else {
    const std::string& name = channels_.At(index).Name;
    if (const TChanel* ch = c_.Engine->FindChannel(name)) {
      ShowChannelTopicCaption(*ch);
      c_.Engine->SendTopicQuery(name);
    } else {
      c_.Engine->SetTopic(name, c_.MsgAlone("WhatTopicThere"), c_.NowSeconds() - 999999999U);
    }
  }
  c_.Surfaces.Window.SetTopicButtonEnabled(index != 0);
  c_.Surfaces.Window.SetCommandButtonEnabled(index == 0);
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
  std::string shown;
  for (std::size_t at = 0; at <= names.size();) {
    std::size_t end = names.find(',', at);
    if (end == std::string::npos) end = names.size();
    std::string name = names.substr(at, end - at);
    if (at == 0 && !name.empty() && name[0] == '@') name.erase(0, 1);
    if (!name.empty()) shown += (shown.empty() ? "" : ", ") + name;
    at = end + 1;
  }
  if (shown.empty() && mass) shown = c_.MsgAlone("MultiMessage");
  const std::string caption = "[" + c_.NowTime() + "] ->" + shown;
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

void TTabStrips::ChangeTopic() {
  const int index = channels_.CurrentIndex();
  if (index <= 0 || !c_.Engine) return;
  const std::string name = channels_.At(index).Name;
  const TChanel* ch = c_.Engine->FindChannel(name);
  const std::string current = ch ? ch->Topic : std::string();
  c_.Messages.BeginMessages();
  const std::string title = c_.Msg("ChanelTopic") + " " + name;
  const std::string prompt = c_.Msg("Topic");
  c_.Messages.EndMessages();
  // The answer may come after datagrams and timers have run: the topic is set on the channel that
  // was asked about, by name, and only if it still has a tab.
  c_.Surfaces.Window.AskText(title, prompt, current, [this, name](const std::optional<std::string>& answer) {
    if (answer) SetTopicText(name, *answer);
  });
}

bool TTabStrips::SetTopicText(const std::string& channel, const std::string& text) {
  const int index = channels_.IndexOf(channel);
  if (index <= 0 || !c_.Engine) return false;
  const std::string name = channels_.At(index).Name;
  const TChanel* ch = c_.Engine->FindChannel(name);
  if (text == (ch ? ch->Topic : std::string())) return false;
  c_.Engine->SetTopic(name, " [ " + text + " : " + c_.Engine->Nick() + "]", c_.NowSeconds());
  ShowTopicChange(name);
  c_.SaveUserChanges();
  return true;
}

void TTabStrips::ShowTopic() {
  const int index = channels_.CurrentIndex();
  if (index > 0) ShowTopicChange(channels_.At(index).Name);
}

void TTabStrips::ShowTopicChange(const std::string& channelName, const std::string& senderAddress) {
  if (!c_.Engine) return;
  const TChanel* ch = c_.Engine->FindChannel(channelName);
  if (ch == nullptr) return;
  const std::string when = DateTimeText(UnixToLocalMs(ch->TopicTime));
  const int index = channels_.IndexOf(channelName);
  const bool current = index >= 0 && index == channels_.CurrentIndex();
  if (index >= 0) {
    channels_.At(index).IconIndex = current ? icon::kChannelSeen : icon::kChannelUnseen;
    channels_.At(index).Seen = current;
  }
  if (current) ShowChannelTopicCaption(*ch);
  if (c_.History) {
    c_.History->Topic(ch->Name, senderAddress.empty() ? ch->SetterAddress : senderAddress, ch->SetterNick,
                      ch->Topic);
  }
  {
    const TMessageScope scope(c_.Messages);
    channels_.AddLine(channelName, "#^0022FF" + FormatText(c_.Msg("TopicChange"),
                                                           {ch->SetterNick, ch->Topic + "#^0022FF", when}));
    ConsoleAdd("#^0022FF" +
               FormatText(c_.Msg("TopicChangeC"), {ch->SetterNick, ch->Name, ch->Topic + "#^0022FF", when}));
  }
  sounds_.PlayEventSound("topic_change");
}

}  // namespace plumo
