// SPDX-License-Identifier: GPL-3.0-or-later
// TChatCore: the main window's logic without the window, and the front that the windows call. It
// owns the settings, the language components, the protocol engine and the collaborators that each
// keep one concern: the tab strips and console (TTabStrips), sending (TSender), the roster rows and
// bells (TRosterList), the own state and nick (TOwnState), sounds (TSoundBoard), the input history
// (TInputHistory), console commands (TConsoleCommands) and the presentation of engine events
// (TEventPresenter), and the conversation history (TChatHistory), which follows every line shown
// through TLineEvents. It builds each collaborator with exactly what that one uses (seams, settings,
// texts, the clock, the engine slot, the collaborators it calls) and offers the hosts what they do.
// It reaches the screen only through the seams of core/surfaces.h, so the windowed program and the
// headless peer are two thin hosts over it.
//
// Error policy. Nothing here throws out of an engine event, a timer or a user action: the engine
// reports socket failures through its OnSendError event, send operations return what they did
// (SendOutcome), parsers return an optional, and problems the user should see become red console
// lines. Saving settings never fails loudly (a full disk must not stop the chat). The one failure
// that ends the program is a start-up without a usable engine (FormCreate returns false).
//
// Re-entrancy. Everything runs on the host's one event loop. Questions to the user (AskText) never
// run a nested loop: the answer arrives later as a call of its own, and the code that asked checks
// then that what it asked about still exists. Datagrams and timers may arrive between the question
// and the answer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/chat_history.h"
#include "core/clock.h"
#include "core/console_commands.h"
#include "core/deliveries.h"
#include "core/editor_commands.h"
#include "core/feedback.h"
#include "core/input_history.h"
#include "core/intents.h"
#include "core/line_events.h"
#include "core/ownstate.h"
#include "core/presenter.h"
#include "core/private_talk.h"
#include "core/roster_list.h"
#include "core/sender.h"
#include "core/slots.h"
#include "core/soundboard.h"
#include "core/surfaces.h"
#include "core/tabstrips.h"
#include "net/host.h"

namespace plumo {

// The own peer as the hosts show it.
struct TIdentity {
  std::string Nick;
  std::string Address;  // empty while there is no network
  std::string Broadcast;
  char State = '1';
};

// A channel and its topic as the hosts show it.
struct TChannelTopic {
  std::string Name;
  std::string Topic;
  std::string SetterNick;
  std::string SetterAddress;
  std::uint32_t TopicTime = 0;
};

class TChatCore {
 public:
  static constexpr const char* kVersion = kPlumoVersion;

  // appDir: the program's directory (chat.ini, language files, sounds/). engineHost: the host the
  // engine is built on at start-up; attach (optional) is called with the new engine so that the
  // host can drive it, and with nullptr before it is destroyed.
  TChatCore(FsPath appDir, CoreSurfaces surfaces, PlumoHost& engineHost,
            std::function<void(TPlumo*)> attach = {});
  ~TChatCore();
  TChatCore(const TChatCore&) = delete;
  TChatCore& operator=(const TChatCore&) = delete;

  // A host that watches the engine's events sets this before FormCreate: it is called with the
  // core's own listener as soon as the engine exists, before the first announcement, and returns the
  // listener the engine is to call (one that passes every event on to the core's, see
  // TPlumoEventsForward), so that it sees every event, including those raised during start-up.
  using EventTap = std::function<TPlumoEvents*(TPlumoEvents& core)>;
  void SetEventTap(EventTap tap) { eventTap_ = std::move(tap); }

  // --- Start-up and shutdown.
  // The creation sequence of the main window. False when the program is to end: Quitting is then
  // set, and StartError says why when there is something to tell (the port is taken by another
  // program; nothing was sent then), in the language file's words (code page 1251).
  bool FormCreate();
  const std::string& StartError() const { return startError_; }
  // A language file for this run instead of the one chat.ini names (set before FormCreate).
  void SetLanguageOverride(std::string file) { languageOverride_ = std::move(file); }
  // The folder of the shipped language files, where a text missing from the chosen file is read.
  void SetShippedLanguages(FsPath dir) { mis_->SetShippedDir(std::move(dir)); }
  // Closing the window: saves the window group and the history.
  void FormClose();
  // Announces the leave and releases the engine (once).
  void FormDestroy();
  // The full save (the settings dialog loses activation): every group of chat.ini.
  void SaveAllSettings();
  // The window was shown or hidden: lines are shown and the roster rebuilt only while it is shown.
  void SetWindowVisible(bool visible);

  // --- The collaborators a window works with, handed to it as they are (each one concern).
  TTabStrips& Tabs() { return tabs_; }
  TSender& Sending() { return sender_; }
  TRosterList& Roster() { return roster_; }
  TOwnState& Own() { return own_; }
  TSoundBoard& Sounds() { return sounds_; }
  // What a user can do, for the front ends that call it directly.
  TIntents& Intents() { return intents_; }
  TEditorCommands& Editor() { return editorCommands_; }
  // Private conversations: keys, locks, the tab status and the six-digit check.
  TPrivateTalk& PrivateTalk() { return privateTalk_; }
  TChatHistory& ChatHistory() { return chatHistory_; }
  // What became of every message sent: marks, roll-calls, acknowledgements, waiting messages.
  TDeliveries& Delivery() { return delivery_; }
  // The lines the user sent, recalled with Up and Down.
  TInputHistory& InputHistory() { return history_; }
  // The listener of the engine's events (a host that re-attaches the engine or taps it).
  TPlumoEvents& Events() { return presenter_; }

  // --- What hosts do.
  // The conversations of the two tab strips and which one is shown (a tab is shown through Tabs).
  const TConversationList& Channels() const { return tabs_.Channels(); }
  const TConversationList& Inputs() const { return tabs_.Inputs(); }
  // A line in the console; a red one.
  void ConsoleAdd(const std::string& line) { tabs_.ConsoleAdd(line); }
  void ConsoleError(const std::string& text) { tabs_.ConsoleError(text); }
  // Tells something the user has to notice at once, where the user is looking (TFeedback::Tell).
  void Tell(const std::string& colour, const std::string& text, const std::string& title,
            const TFeedbackPlace& place = {}) {
    feedback_.Tell(colour, text, title, place);
  }
  // Runs a console command typed in the editor ("/help", ...); false when line is none.
  bool RunCommand(const std::string& line) { return commands_.Run(line); }
  // The roster menu's "about the user": "/about" for the selected rows.
  void AboutSelectedUsers() { commands_.AboutUserClick(); }
  // The conversation of the tab shown in the channel strip (channelStrip) or the message strip;
  // nullopt for the line editor and drafts to several peers.
  std::optional<TConversationKey> ShownConversation(bool channelStrip) const;
  // The user scrolled to the top of the channel shown: its next older page of history goes above.
  bool LoadOlderHistory() { return chatHistory_.LoadOlder(tabs_.Channels().CurrentIndex()); }

  // --- What hosts show.
  TIdentity Identity() const;
  // The own information text that peers get when they ask (empty without an engine), and setting it
  // as the user's own: it is kept in chat.ini at once.
  std::string InfoText() const { return engine_ ? engine_->AboutText : std::string(); }
  void SetInfoText(const std::string& text);
  // The address of the peer whose datagram raised the event being handled (empty otherwise).
  std::string EventSender() const { return engine_ ? engine_->ReceivingFrom() : std::string(); }
  // Every peer of the roster in the engine's order, unsorted and unselected.
  std::vector<RosterRow> Peers() const;
  // The channels of the tab strip (not the console) with their topics, in tab order.
  std::vector<TChannelTopic> Topics();
  TSettings& Settings() { return settings_; }
  TMsgINISupp& Messages() { return *mis_; }
  // The caption component; the window calls ApplyLanguage on it each time it is shown.
  TLngINISupp& Captions() { return *lns_; }
  const FsPath& AppDir() const { return appDir_; }
  FsPath IniPath() const { return appDir_ / "chat.ini"; }
  bool Quitting() const { return quitting_; }
  // The program is really to end (the exit commands): hiding the window no longer minimizes.
  void SetQuitting() { quitting_ = true; }
  bool HasEngine() const { return engine_ != nullptr; }
  // The engine itself, for tests that check what it did; hosts use Identity and Peers.
  TPlumo& Engine() { return *engine_; }

 private:
  class LanguageBridge;
  void WireEvents();
  TSaveContext SaveContext(bool withTopics);

  PlumoHost& engineHost_;
  std::function<void(TPlumo*)> attach_;
  EventTap eventTap_;
  TSettings settings_;
  std::unique_ptr<LanguageBridge> languageBridge_;
  std::unique_ptr<TLngINISupp> lns_;
  std::unique_ptr<TMsgINISupp> mis_;
  FsPath appDir_;
  CoreSurfaces surfaces_;
  TTexts texts_;
  TClock clock_;
  TEngineSlot engineSlot_;
  TWindowShown windowShown_;
  TLineEvents lines_;
  TSoundBoard sounds_;
  TTabStrips tabs_;
  TChatHistory chatHistory_;
  TRosterList roster_;
  TInputHistory history_;
  TOwnState own_;
  TFeedback feedback_;
  TPrivateTalk privateTalk_;
  TDeliveries delivery_;
  TIntents intents_;
  TConsoleCommands commands_;
  TSender sender_;
  TEventPresenter presenter_;
  TEditorCommands editorCommands_;
  std::unique_ptr<TPlumo> engine_;
  bool quitting_ = false;
  bool destroyed_ = false;
  std::string startError_;
  std::string languageOverride_;
};

}  // namespace plumo
