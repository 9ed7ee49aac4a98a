// The two tab strips: the console, channel switching with its caption and topic query, message
// tabs, and changing a channel's topic.
#include "core/chatcore.h"

namespace plumo {

void TChatCore::ConsoleAdd(const std::string& line) {
  if (channels_.Count() == 0) return;
  Conversation& console = channels_.At(0);
  console.IconIndex = channels_.CurrentIndex() == 0 ? icon::kConsoleSeen : icon::kConsoleUnseen;
  console.Seen = true;
  channels_.AddLine(console.Name, line);
  channels_.RefreshIcons();
}

bool TChatCore::ActivateConsole() {
  return SelectChannelTab(0);
}

void TChatCore::ShowChannelTopicCaption(const TChanel& ch) {
  caption_ = ch.Topic + " (" + ch.SetterNick + ")" + " Plumo " + kVersion;
  s_.window.SetCaption(caption_);
}

void TChatCore::TabChanelsChange() {
  const int index = channels_.CurrentIndex();
  if (index < 0 || !engine_) return;
  if (index == 0) {
    caption_ = MsgAlone("Console") + " Plumo " + kVersion;
    s_.window.SetCaption(caption_);
  } else {
    const std::string& name = channels_.At(index).Name;
    if (const TChanel* ch = engine_->FindChannel(name)) {
      ShowChannelTopicCaption(*ch);
      engine_->SendTopicQuery(name);
    } else {
      engine_->SetTopic(name, MsgAlone("WhatTopicThere"), NowSeconds() - 999999999U);
    }
  }
  s_.window.SetTopicButtonEnabled(index != 0);
  s_.window.SetCommandButtonEnabled(index == 0);
  channels_.ScrollToEnd();
}

bool TChatCore::SelectChannelTab(int index) {
  if (index < 0 || index >= channels_.Count()) return false;
  channels_.Show(index);
  TabChanelsChange();
  channels_.At(index).Seen = true;
  channels_.At(index).IconIndex = index == 0 ? icon::kConsoleSeen : icon::kChannelSeen;
  if (windowVisible_) s_.editor.Focus();
  channels_.RefreshIcons();
  return true;
}

bool TChatCore::SelectMessageTab(int index) {
  if (index < 0 || index >= inputs_.Count()) return false;
  inputs_.Show(index);
  inputs_.At(index).Seen = true;
  if (windowVisible_) s_.editor.Focus();
  inputs_.RefreshIcons();
  return true;
}

void TChatCore::CloseMessageTab() {
  const int index = inputs_.CurrentIndex();
  if (index > 0) inputs_.Close(index);
  inputs_.RefreshIcons();
}

void TChatCore::ChangeTopic() {
  const int index = channels_.CurrentIndex();
  if (index <= 0) return;
  const std::string& name = channels_.At(index).Name;
  const TChanel* ch = engine_->FindChannel(name);
  const std::string current = ch ? ch->Topic : std::string();
  mis_->BeginMessages();
  const std::string title = Msg("ChanelTopic") + " " + name;
  const std::string prompt = Msg("Topic");
  mis_->EndMessages();
  std::string answer = current;
  if (!s_.window.InputBox(title, prompt, answer)) answer = current;
  if (answer != current) SetTopicText(answer);
}

bool TChatCore::SetTopicText(const std::string& text) {
  const int index = channels_.CurrentIndex();
  if (index <= 0 || !engine_) return false;
  const std::string name = channels_.At(index).Name;
  const TChanel* ch = engine_->FindChannel(name);
  if (text == (ch ? ch->Topic : std::string())) return false;
  engine_->SetTopic(name, " [ " + text + " : " + engine_->Nick() + "]", NowSeconds());
  HandleTopicChange(name);
  return true;
}

void TChatCore::ShowTopic() {
  const int index = channels_.CurrentIndex();
  if (index > 0) HandleTopicChange(channels_.At(index).Name);
}

}  // namespace plumo
