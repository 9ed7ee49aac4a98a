// TChatCore: the main window's logic without the window. It owns the settings tables, the
// language components, the protocol engine and the two conversation lists, runs the start-up and
// shutdown sequences, presents every engine event as lines, tab icons, roster rows and sounds,
// and carries out the user's actions (sending, console commands, tabs, topic, own state, nick,
// bells). It reaches the screen only through the interfaces of core/surfaces.h, so the windowed
// program and the headless peer are two thin hosts over it. Single-threaded: every call comes
// from the host's one event loop.
//
// The work is spread over one file per concern: startup.cpp, presentation.cpp, sounds.cpp,
// console.cpp, sending.cpp, tabs.cpp, ownstate.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/conversations.h"
#include "core/settings.h"
#include "core/surfaces.h"
#include "lang/lng.h"
#include "net/host.h"
#include "net/plumo.h"

namespace plumo {

// Everything the host hands the core. All references must outlive the core.
// A bell number as the user types it: one to five digits naming a bell that fits the 16-bit number
// a bell travels as (five digits reach 99999, and a larger number would ring another bell than the
// one asked for); nullopt for anything else.
std::optional<std::uint16_t> ParseBellNumber(std::string_view text);

struct CoreSurfaces {
  ConversationView& channels;  // TabChanels + the channel display
  ConversationView& inputs;    // TabMessages + the input editor's conversations
  InputEditor& editor;
  RosterView& roster;
  WindowSurface& window;
  SoundOutput& sound;
  CoreTimers& timers;
  SystemInfo& system;
  // The windows whose captions the language file sets; may be null (no windows).
  TLanguageHost* language = nullptr;
};

class TChatCore {
 public:
  static constexpr int kTimer1Ms = 5000;
  static constexpr int kTimer2Ms = 10000;
  static constexpr const char* kVersion = PLUMO_VERSION_TEXT;

  // appDir: the program's directory (chat.ini, language files, sounds/). engineHost: the host the
  // engine is built on at start-up; attach (optional) is called with the new engine so that the
  // host can drive it, and with nullptr before it is destroyed.
  TChatCore(std::string appDir, CoreSurfaces surfaces, PlumoHost& engineHost,
            std::function<void(TPlumo*)> attach = {});
  ~TChatCore();
  TChatCore(const TChatCore&) = delete;
  TChatCore& operator=(const TChatCore&) = delete;

  // A host that watches the engine's events sets this before FormCreate: it is called with the
  // engine as soon as the core has filled the event slots, before the first announcement, so that
  // it can wrap them and see every event, including those raised during start-up.
  void SetEventTap(std::function<void(TPlumo&)> tap) { eventTap_ = std::move(tap); }

  // --- Start-up and shutdown (startup.cpp).
  // The creation sequence of the main window. False when it failed from the address selection on
  // (Quitting is then set and the program is to end without a message).
  bool FormCreate();
  // Closing the window: saves the window group and the history.
  void FormClose();
  // Announces the leave and releases the engine (once).
  void FormDestroy();
  // The broadcast address of the interface whose address is addr (the first non-loopback one when
  // addr is empty), "255.255.255.255" when there is none.
  std::string FindBroadcastAddress(const std::string& addr);
  // The first interface address other than 127.0.0.1 (equal to preferred when one is given), else
  // "127.0.0.1".
  std::string FindLocalAddress(const std::string& preferred);

  // --- Engine event presentation (presentation.cpp). Wired to the engine's slots at start-up.
  void HandleNewUser(const TMStigs& fields, const std::string& address);
  void HandleUserExit(const TMStigs& fields, const std::string& address);
  void HandleTopicChange(const std::string& channelName);
  void HandleChannelLine(const TMStigs& fields, const std::string& channel, const std::string& text);
  void HandlePrivateMessage(const TMStigs& fields, const std::string& text, const std::string& address);
  void HandleMassMessage(const TMStigs& fields, const std::string& text, const std::string& address);
  void HandleConfirm(const AChuvakInfo& entry, std::uint16_t packetType);
  void HandleUserLost(const std::string& nick, const AChuvakInfo& entry);
  void HandleUserState(const AChuvakInfo& entry, char oldState);
  void HandleUnknownCommand(const std::string& text);
  void HandleNickChange(const TMStigs& fields, const std::string& newNick, const std::string& address);
  void HandleInfo(const TMStigs& fields, const std::string& infoText, const std::string& address);
  void HandleSendError();
  void HandleBell(const AChuvakInfo& entry, std::uint16_t bellNumber);
  void RefreshUserList();

  // --- Sounds (sounds.cpp).
  void PlayEventSound(const std::string& key);
  void PlayBell(std::uint16_t number);
  // The mute button.
  void MuteClick();
  // The sound table of a state's set ([SOUNDS0..2]); states without a set keep the table.
  void LoadSoundsForState(char state);

  // --- Tabs, console, topic (tabs.cpp).
  void ConsoleAdd(const std::string& line);
  bool ActivateConsole();
  bool SelectChannelTab(int index);
  bool SelectMessageTab(int index);
  // Closes the active reply tab (never tab 0).
  void CloseMessageTab();
  // The topic button: asks for a new topic of the active channel.
  void ChangeTopic();
  // Sets the active channel's topic to text without asking (false on the console or when unchanged).
  bool SetTopicText(const std::string& text);
  // Shows the active channel's topic again.
  void ShowTopic();
  std::string WindowCaption() const { return caption_; }

  // --- Composing and sending (sending.cpp).
  // Enter in line mode: history, console command, else SendMes.
  void SubmitLine();
  void SendMes();
  // Opens a reply tab to the selected roster rows, or to everybody.
  void ComposeMessage(bool mass);
  bool SendComposedMessage();
  // Ctrl+Enter in a reply tab: send; close on success, show the console on failure. Returns
  // whether the tab was closed.
  bool SendReply();
  // A private message to every roster entry with that nick, through a reply tab and the reply
  // send path; "CantSendMessage" when no entry has the nick.
  bool SendPrivateByNick(const std::string& nick, const std::string& text);
  // Up and Down in line mode: the editor gets the recalled line.
  void RecallOlder();
  void RecallNewer();
  void AddToHistory(const std::string& line);
  std::string HistoryOlder();
  std::string HistoryNewer();
  const std::vector<std::string>& InputHistory() const { return settings_.InputHistory; }

  // --- Console commands (console.cpp).
  bool RunConsoleCommand(const std::string& line);

  // --- Own state, nick, automatic modes, network watch (ownstate.cpp).
  // A choice in the state menu (1, 4 or 5); 4 and 5 ask for the description.
  void StateMenuClick(int tag);
  void WindowActivated();
  void WindowDeactivated();
  // The screen saver starts; fromHook: through the application message hook (no state condition).
  void ScreenSaverStarted(bool fromHook);
  void ApplyAutoStates();
  void Timer1Timer();
  void Timer2Timer();
  // Enter in the nick box (addToList) or a choice from its list.
  void NickEntered(const std::string& text, bool addToList);
  // The caption of a state ("WinState1".."WinState5"); empty for other characters.
  std::string StateCaption(char state);
  static int StateImageIndex(char state);

  // --- Roster panel.
  // The selection of the roster list (row indices of Rows()).
  void SetRosterSelection(const std::vector<int>& rows);
  const std::vector<RosterRow>& Rows() const { return rows_; }
  // Sends bell number to the first selected row; "NoUsersSelect" when none.
  void SendBellToSelected(std::uint16_t number);
  // The roster menu's chosen bell: asks for the number ("NumBell", default "0", cancel gives "0")
  // until ParseBellNumber accepts the answer, then sends it to the first selected row.
  void ChosenBellClick();
  // The roster menu's "about the user": "/about" for the first selected row, then the console.
  void AboutUserClick();
  // Sends bell number to the first roster entry with that nick; "NoUsersSelect" when none.
  bool SendBellToNick(const std::string& nick, std::uint16_t number);
  void SetWindowVisible(bool visible);

  // --- State for hosts and tests.
  TPlumo& Engine() { return *engine_; }
  bool HasEngine() const { return engine_ != nullptr; }
  TSettings& Settings() { return settings_; }
  TConversationList& Channels() { return channels_; }
  TConversationList& Inputs() { return inputs_; }
  TMsgINISupp& Messages() { return *mis_; }
  // The caption component; the window calls ApplyLanguage on it each time it is shown.
  TLngINISupp& Captions() { return *lns_; }
  const std::string& AppDir() const { return appDir_; }
  std::string IniPath() const { return appDir_ + "/chat.ini"; }
  char SavedState() const { return savedState_; }
  const std::string& SavedDescr() const { return savedDescr_; }
  bool WindowActive() const { return windowActive_; }
  bool Quitting() const { return quitting_; }
  const std::string& LastMatchedProgram() const { return lastMatchedProgram_; }
  std::uint32_t OwnColor() const { return ownColor_; }
  bool Timer1Enabled() const { return timer1_; }
  bool Timer2Enabled() const { return timer2_; }
  const std::vector<std::string>& NickItems() const { return nickItems_; }
  // T: the time of day as the lines show it.
  std::string NowTime();
  std::string NowDateTime();
  // Seconds since 1970 of the local clock.
  std::uint32_t NowSeconds();

 private:
  class LanguageBridge;
  std::string Msg(const char* key) { return mis_->GetMessage(key); }
  // One message looked up in a lookup period of its own.
  std::string MsgAlone(const char* key) {
    const TMessageScope scope(*mis_);
    return Msg(key);
  }
  void SetTimer1(bool on);
  void SetTimer2(bool on);
  void WireEvents();
  void UpdateMuteImage();
  void ShowChannelTopicCaption(const TChanel& ch);
  // The channel tab change handler: caption, topic query, buttons.
  void TabChanelsChange();
  std::string ResolveSoundFile(const std::string& file);
  // Opens and shows a reply tab; returns its index.
  int OpenReplyTab(const std::string& recipients, const std::string& names, bool mass);
  // The red console line for a text the engine refused as too long for one datagram.
  void ReportTooLong();
  // The red console line "NoUsersSelect", then the console is shown.
  void ReportNoUserSelected();

  std::string appDir_;
  CoreSurfaces s_;
  PlumoHost& engineHost_;
  std::function<void(TPlumo*)> attach_;
  std::function<void(TPlumo&)> eventTap_;
  std::unique_ptr<LanguageBridge> languageBridge_;
  std::unique_ptr<TLngINISupp> lns_;
  std::unique_ptr<TMsgINISupp> mis_;
  std::unique_ptr<TPlumo> engine_;
  TSettings settings_;
  TConversationList channels_;
  TConversationList inputs_;
  std::vector<RosterRow> rows_;
  std::vector<std::string> nickItems_;
  std::string caption_;
  std::uint32_t ownColor_ = 0;
  std::uint8_t historyCursor_ = 0;
  char savedState_ = '1';
  std::string savedDescr_ = " ";
  bool windowActive_ = true;
  bool windowVisible_ = true;
  bool quitting_ = false;
  bool destroyed_ = false;
  bool timer1_ = false;
  bool timer2_ = false;
  std::string lastMatchedProgram_;
};

}  // namespace plumo
