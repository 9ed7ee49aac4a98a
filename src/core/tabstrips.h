// SPDX-License-Identifier: GPL-3.0-or-later
// TTabStrips: the two tab strips and what they show. The channel strip holds the console "#" and
// one tab per channel; the message strip holds the line editor "~" and the reply tabs. Here live
// the console's lines, switching tabs with the window caption, the topic line and the topic query,
// opening and closing channel tabs and reply tabs, and showing and changing a channel's topic.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/conversations.h"
#include "core/editor_keys.h"
#include "core/line_events.h"
#include "core/slots.h"
#include "core/soundboard.h"
#include "core/tab_control.h"
#include "core/texts.h"
#include "lang/fs_path.h"

namespace plumo {

class TTabStrips final : public TTabControl {
 public:
  // channels and inputs: the views of the two strips. Every line shown is told to lines; iniPath is
  // chat.ini (stored topics), saveUserChanges keeps the list of channel tabs.
  TTabStrips(ConversationView& channels, ConversationView& inputs, InputEditor& editor, WindowSurface& window,
             TMsgINISupp& messages, const TClock& clock, const TEngineSlot& engine,
             const TWindowShown& windowShown, TLineObserver& lines, FsPath iniPath,
             std::function<void()> saveUserChanges, TSoundBoard& sounds)
      : editor_(editor),
        window_(window),
        texts_(messages),
        clock_(clock),
        engine_(engine),
        windowShown_(windowShown),
        lines_(lines),
        iniPath_(std::move(iniPath)),
        saveUserChanges_(std::move(saveUserChanges)),
        sounds_(sounds),
        channels_(channels),
        inputs_(inputs) {}

  TConversationList& Channels() { return channels_; }
  TConversationList& Inputs() { return inputs_; }
  const TConversationList& Channels() const { return channels_; }
  const TConversationList& Inputs() const { return inputs_; }

  // A line in the console tab (every program notice goes there); marks the tab unless it is shown.
  void ConsoleAdd(const std::string& line) override;
  // A console line the history does not keep (a sent message's delivery row: the message itself is
  // kept in its conversation, and a search would find it twice).
  void ConsoleShow(const std::string& line);
  bool ActivateConsole() { return SelectChannelTab(0); }
  // Shows a tab, marks it seen and focuses the editor; false for an invalid index.
  bool SelectChannelTab(int index) override;
  bool SelectMessageTab(int index) override;
  // A click on a channel tab marks the clicked tab seen (a change of tab comes as SelectChannelTab);
  // a click on the message strip marks the active tab seen and focuses the editor. Neither shows
  // the tab again nor asks for the topic.
  void ChannelTabClicked(int index);
  // The display menu's Clear emptied the shown channel's view: its rows are counted again from
  // nothing, so that scrolling up pages every cleared line back from the history.
  void ShownChannelCleared() { channels_.Cleared(channels_.CurrentIndex()); }
  void MessageTabClicked();
  // Ctrl+Tab and Shift+Tab: the next tab, the first after the last.
  void NextMessageTab() { SelectMessageTab(NextTabIndex(inputs_.CurrentIndex(), inputs_.Count())); }
  void NextChannelTab() { SelectChannelTab(NextTabIndex(channels_.CurrentIndex(), channels_.Count())); }
  // Closes the active reply tab (never tab 0).
  void CloseMessageTab();
  // Opens and shows a reply tab to recipients (",addr,addr" or "@..."), captioned with the time and
  // names; returns its index.
  int OpenReplyTab(const std::string& recipients, const std::string& names, bool mass) override;

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
  // A line in the console tab (stored: one the history keeps); false when there is no console.
  bool AddConsoleLine(const std::string& line, bool stored);
  // The caption and the topic line of the shown channel.
  void ShowChannelTopic(const TChanel& ch);
  bool IsUnset(const TChanel& ch) const;
  void FocusEditor() {
    if (windowShown_.Visible()) editor_.Focus();
  }

  InputEditor& editor_;
  WindowSurface& window_;
  TTexts texts_;
  const TClock& clock_;
  const TEngineSlot& engine_;
  const TWindowShown& windowShown_;
  TLineObserver& lines_;
  FsPath iniPath_;
  std::function<void()> saveUserChanges_;
  TSoundBoard& sounds_;
  TConversationList channels_;
  TConversationList inputs_;
  std::string caption_;
};

}  // namespace plumo
