// SPDX-License-Identifier: GPL-3.0-or-later
// TOwnState: the user's own state, description and nick, and what changes them by itself: the
// state menu, the window's activation and deactivation (away), the desktop's idle time (away after
// some minutes without input, when the user chose that instead), the screen saver, the list of
// programs that set a state while they run (Timer2), and the network watch that waits for a usable
// address (Timer1).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/slots.h"
#include "core/soundboard.h"
#include "core/tabstrips.h"
#include "core/texts.h"
#include "lang/fs_path.h"

namespace plumo {

// The picture of a state in the main image list; -1 for a character that is no state.
int StateImageIndex(char state);
// The caption of a state ("WinState1".."WinState5" of the language file); empty for other characters.
std::string StateCaption(TMsgINISupp& mis, char state);

class TOwnState {
 public:
  static constexpr int kTimer1Ms = 5000;
  static constexpr int kTimer2Ms = 10000;
  // How often the idle time is read: while present, and while away for want of input (so that the
  // first key brings the user back at once).
  static constexpr int kIdleWatchMs = 5000;
  static constexpr int kIdleAwayWatchMs = 1000;

  // idle: the desktop's idle time, null where there is none. iniPath is chat.ini (the nick list);
  // saveUserChanges keeps a chosen state or nick at once.
  TOwnState(TSettings& settings, TMsgINISupp& messages, const TEngineSlot& engine,
            const TWindowShown& windowShown, WindowSurface& window, CoreTimers& timers, SystemInfo& system,
            IdleSource* idle, FsPath iniPath, std::function<void()> saveUserChanges, TTabStrips& tabs,
            TSoundBoard& sounds)
      : settings_(settings),
        texts_(messages),
        engine_(engine),
        windowShown_(windowShown),
        window_(window),
        timers_(timers),
        system_(system),
        idle_(idle),
        iniPath_(std::move(iniPath)),
        saveUserChanges_(std::move(saveUserChanges)),
        tabs_(tabs),
        sounds_(sounds) {}

  // Start-up: the stored state and description are announced and become the saved ones.
  void Start(char state, const std::string& description);
  // A choice in the state menu (1, 4 or 5); 4 and 5 ask for the description first.
  void StateMenuClick(int tag);
  // Sets state 1, 4 or 5 with description (kept in chat.ini for 4 and 5; 1 has none).
  void ChooseState(int tag, const std::string& description);
  // The description chat.ini keeps for state 4 or 5 (the language file's when none).
  std::string StoredStateDescr(int tag) const;
  void WindowActivated();
  void WindowDeactivated();
  // A start that does not show the window (StartHidden): the user is not in the window until its
  // first activation, so the state is away meanwhile and the program list runs.
  void StartInactive();
  // The screen saver starts; fromHook: through the application message hook (no state condition).
  void ScreenSaverStarted(bool fromHook);
  // The state of the last listed program found running, or back to the saved state.
  void ApplyAutoStates();
  // The network watch: switches the chat on once an address other than 127.0.0.1 exists.
  void Timer1Timer();
  void Timer2Timer();
  // "Away after AwayIdleMinutes minutes without input" (the settings) replaces "away when the
  // window loses activation" while it is chosen and the desktop tells its idle time: input in any
  // program counts as presence. Only the active state turns away, and input brings back the state
  // the user chose; do not disturb, offline, the screen saver and the program list are left alone.
  bool IdleRuleInForce() const;
  // Starts or stops the idle watch after the setting changed (start-up, the settings dialog); the
  // rule switched off while it had made the user away brings the user back if the window is active.
  void IdleSettingChanged();
  // A look at the idle time (the IdleWatch timer).
  void IdleWatchTimer();
  // Switches the network watch on (no usable address, a send error); a running watch keeps its
  // countdown, so a burst of send errors does not push its next look further away.
  void StartNetworkWatch() { SetTimer1(true); }
  // Enter in the nick box (addToList) or a choice from its list.
  void NickEntered(const std::string& text, bool addToList);
  // Fills the nick box from the settings.
  void LoadNicks();
  // The caption of a state ("WinState1".."WinState5"); empty for other characters.
  std::string StateCaption(char state) const { return plumo::StateCaption(texts_.Messages(), state); }

  char SavedState() const { return savedState_; }
  const std::string& SavedDescr() const { return savedDescr_; }
  bool WindowActive() const { return windowActive_; }
  const std::string& LastMatchedProgram() const { return lastMatchedProgram_; }
  bool Timer1Enabled() const { return timer1_; }
  bool Timer2Enabled() const { return timer2_; }
  bool IdleWatchEnabled() const { return idleWatchMs_ > 0; }
  const std::vector<std::string>& NickItems() const { return nickItems_; }

 private:
  void SetTimer1(bool on);
  void SetTimer2(bool on);
  // Runs the idle watch every intervalMs (0: stops it).
  void SetIdleWatch(int intervalMs);
  // Sets the state with a description, as chosen in the state menu.
  void ApplyChosenState(int tag, const std::string& description);
  // The engine's state and description become the ones restored after automatic states.
  void RememberState();
  // The window is left: '1' becomes '2', the program list starts.
  void Leave();
  // '1' becomes '2' (recorded as the saved state); any other state stays.
  void BecomeAway();

  TSettings& settings_;
  TTexts texts_;
  const TEngineSlot& engine_;
  const TWindowShown& windowShown_;
  WindowSurface& window_;
  CoreTimers& timers_;
  SystemInfo& system_;
  IdleSource* idle_;
  FsPath iniPath_;
  std::function<void()> saveUserChanges_;
  TTabStrips& tabs_;
  TSoundBoard& sounds_;
  char savedState_ = '1';
  std::string savedDescr_ = " ";
  bool windowActive_ = true;
  bool timer1_ = false;
  bool timer2_ = false;
  int idleWatchMs_ = 0;
  std::string lastMatchedProgram_;
  std::vector<std::string> nickItems_;
};

// The first interface address of the interface list (SystemInfo::Interfaces) other than 127.0.0.1,
// equal to preferred when one is given; "127.0.0.1" when there is none.
std::string FindLocalAddress(const std::string& interfaces, const std::string& preferred);
// The broadcast address of the interface whose address is addr (the first non-loopback one when
// addr is empty); "255.255.255.255" when there is none.
std::string FindBroadcastAddress(const std::string& interfaces, const std::string& addr);

}  // namespace plumo
