// SPDX-License-Identifier: GPL-3.0-or-later
// TTabStrips: the two tab strips and what they show. The channel strip holds the console "#" and
// one tab per channel; the message strip holds the line editor "~" and the reply tabs. Here live
// the console's lines, switching tabs with the window caption and the topic query, opening and
// closing reply tabs, and showing and changing a channel's topic.
#pragma once

#include <string>

#include "core/context.h"
#include "core/conversations.h"
#include "core/editor_keys.h"
#include "core/soundboard.h"

namespace plumo {

class TTabStrips {
 public:
  TTabStrips(TCoreContext& ctx, TSoundBoard& sounds)
      : c_(ctx), sounds_(sounds), channels_(ctx.Surfaces.Channels), inputs_(ctx.Surfaces.Inputs) {}

  TConversationList& Channels() { return channels_; }
  TConversationList& Inputs() { return inputs_; }

  // A line in the console tab (every program notice goes there); marks the tab unless it is shown.
  void ConsoleAdd(const std::string& line);
  // A red console line, "#^FF0000" + the text.
  void ConsoleError(const std::string& text) { ConsoleAdd(kRed + text); }
  bool ActivateConsole() { return SelectChannelTab(0); }
  // Shows a tab, marks it seen and focuses the editor; false for an invalid index.
  bool SelectChannelTab(int index);
  bool SelectMessageTab(int index);
  // A click on a channel tab marks the clicked tab seen (a change of tab comes as SelectChannelTab);
  // a click on the message strip marks the active tab seen and focuses the editor. Neither shows
  // the tab again nor asks for the topic.
  void ChannelTabClicked(int index);
  void MessageTabClicked();
  // Ctrl+Tab and Shift+Tab: the next tab, the first after the last.
  void NextMessageTab() { SelectMessageTab(NextTabIndex(inputs_.CurrentIndex(), inputs_.Count())); }
  void NextChannelTab() { SelectChannelTab(NextTabIndex(channels_.CurrentIndex(), channels_.Count())); }
  // Closes the active reply tab (never tab 0).
  void CloseMessageTab();
  // Opens and shows a reply tab to recipients (",addr,addr" or "@..."), captioned with the time and
  // names; returns its index.
  int OpenReplyTab(const std::string& recipients, const std::string& names, bool mass);

  // The topic button: asks for a new topic of the active channel, then sets it (unless cancelled or
  // unchanged, or the channel is gone by the time the answer comes).
  void ChangeTopic();
  // Sets the topic of the named channel without asking; false on the console, for an unknown tab,
  // or when unchanged.
  bool SetTopicText(const std::string& channel, const std::string& text);
  // Sets the active channel's topic.
  bool SetTopicText(const std::string& text) { return SetTopicText(channels_.CurrentName(), text); }
  // Shows the active channel's topic again.
  void ShowTopic();
  // A channel's topic changed: the line in the channel and in the console, the tab mark, the
  // caption when it is shown, the sound. The history stores it with senderAddress (the datagram's
  // sender for a received topic, which the channel record does not keep), else the record's.
  void ShowTopicChange(const std::string& channelName, const std::string& senderAddress = {});
  // The channel tab change: caption, topic query, toolbar buttons.
  void TabChanelsChange();
  std::string WindowCaption() const { return caption_; }

 private:
  void ShowChannelTopicCaption(const TChanel& ch);
  void FocusEditor() {
    if (c_.WindowVisible) c_.Surfaces.Editor.Focus();
  }

  TCoreContext& c_;
  TSoundBoard& sounds_;
  TConversationList channels_;
  TConversationList inputs_;
  std::string caption_;
};

}  // namespace plumo
