// SPDX-License-Identifier: GPL-3.0-or-later
// TTabStrips: the two tab strips and what they show. The channel strip holds the console "#" and
// one tab per channel; the message strip holds the line editor "~" and the reply tabs. Here live
// the console's lines, switching tabs with the window caption, the topic line and the topic query,
// opening and closing channel tabs and reply tabs, and showing and changing a channel's topic.
#pragma once

#include <string>
#include <vector>

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

  // What opening or closing a channel tab did.
  enum class ChannelChange {
    Opened,       // a new tab, shown and kept in chat.ini
    Shown,        // the channel had a tab already; it is shown
    Closed,       // the tab is gone, and gone from chat.ini
    BadName,      // no channel can have that name (see ChannelName)
    NotOpen,      // no tab of that name to close
    Console,      // the console is never closed
    LastChannel,  // the last channel stays
    NoEngine,     // before start-up or after the farewell
  };
  // "/join NAME", the "+" of the channel strip: opens a tab for the channel, with the spelling the
  // network uses when it knows the name in other letter case, and shows it (which asks the peers
  // for its topic); the tab list is kept in chat.ini at once. An open channel is only shown.
  ChannelChange JoinChannel(const std::string& name);
  // "/leave [NAME]": closes the channel's tab (the shown one for an empty name) and keeps the list.
  ChannelChange LeaveChannel(const std::string& name);
  // The "+" of the channel strip: asks for a channel's name, then joins it.
  void AskJoinChannel();
  // Channels the network named that have no tab here, in the order they were heard.
  std::vector<std::string> ChannelsToJoin() const;
  // The language text that tells the user why a change did not happen (empty when it did).
  std::string ChannelChangeText(ChannelChange change, const std::string& name) const;

  // The topic button: asks for a new topic of the active channel, then sets it (unless cancelled or
  // unchanged, or the channel is gone by the time the answer comes). The box offers the bare text
  // of the current topic, without the wrapping that names its setter.
  void ChangeTopic();
  // Sets the topic of the named channel without asking (text is what the user typed; it travels
  // wrapped with the own nick); false on the console, for an unknown tab, or when the text equals
  // the bare text of the current topic.
  bool SetTopicText(const std::string& channel, const std::string& text);
  // Sets the active channel's topic.
  bool SetTopicText(const std::string& text) { return SetTopicText(channels_.CurrentName(), text); }
  // Shows the active channel's topic again (also one nobody set: the user asked for it).
  void ShowTopic();
  // A channel's topic changed: the line in the channel and in the console, the tab mark, the
  // caption and the topic line when it is shown, the sound. The history stores it with
  // senderAddress (the datagram's sender for a received topic, which the channel record does not
  // keep), else the record's. A topic nobody ever set (IsUnsetTopic) is no change to announce: it
  // only refreshes the caption and the topic line, unless shown on request.
  void ShowTopicChange(const std::string& channelName, const std::string& senderAddress = {},
                       bool onRequest = false);
  // The channel tab change: caption, topic query, toolbar buttons.
  void TabChanelsChange();
  std::string WindowCaption() const { return caption_; }

 private:
  // The caption and the topic line of the shown channel.
  void ShowChannelTopic(const TChanel& ch);
  bool IsUnset(const TChanel& ch) const;
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
