// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ownstate.h"

#include "core/texts.h"
#include "lang/textcase.h"

namespace plumo {

int StateImageIndex(char state) {
  switch (state) {
    case stActive:
      return icon::kActive;
    case stAway:
      return icon::kAway;
    case stScreenSaver:
      return icon::kScreenSaver;
    case stDoNotDisturb:
      return icon::kDoNotDisturb;
    case stOffline:
      return icon::kOffline;
    default:
      return -1;
  }
}

std::string StateCaption(TMsgINISupp& mis, char state) {
  if (state < '1' || state > '5') return {};
  return mis.GetMessage(std::string("WinState") + state);
}

// Enabling a timer that already runs leaves its countdown alone.
void TOwnState::SetTimer1(bool on) {
  if (timer1_ == on) return;
  timer1_ = on;
  timers_.SetCoreTimer(CoreTimer::NetworkWatch, on, kTimer1Ms);
}

void TOwnState::SetTimer2(bool on) {
  if (timer2_ == on) return;
  timer2_ = on;
  timers_.SetCoreTimer(CoreTimer::ProgramList, on, kTimer2Ms);
}

void TOwnState::SetIdleWatch(int intervalMs) {
  if (idleWatchMs_ == intervalMs) return;
  idleWatchMs_ = intervalMs;
  timers_.SetCoreTimer(CoreTimer::IdleWatch, intervalMs > 0, intervalMs);
}

void TOwnState::RememberState() {
  savedDescr_ = engine_->StateDescription;
  savedState_ = engine_->State();
}

void TOwnState::Start(char state, const std::string& description) {
  engine_->StateDescription = description;
  engine_->SetState(state);
  RememberState();
  sounds_.AdoptTableAs(savedState_);
  window_.SetStateImage(StateImageIndex(savedState_));
  IdleSettingChanged();
}

void TOwnState::StateMenuClick(int tag) {
  if (!engine_) return;
  if (tag == 1) {
    ChooseState(tag, " ");
    return;
  }
  if (tag != 4 && tag != 5) return;
  texts_.Messages().BeginMessages();
  const std::string stored = StoredStateDescr(tag);
  const std::string title = texts_.Msg("State");
  const std::string prompt = texts_.Msg(tag == 4 ? "WinState4" : "WinState5");
  texts_.Messages().EndMessages();
  // A cancelled box keeps the stored description; the state is set either way.
  window_.AskText(title, prompt, stored, [this, tag, stored](const std::optional<std::string>& answer) {
    if (!engine_) return;  // the program ended while the box was open
    ChooseState(tag, answer.value_or(stored));
  });
}

std::string TOwnState::StoredStateDescr(int tag) const {
  const TIniFile ini(iniPath_);
  return ReadStateDescr(ini, tag == 4 ? stDoNotDisturb : stOffline,
                        texts_.Msg(tag == 4 ? "StateDND" : "StateOffline"));
}

void TOwnState::ChooseState(int tag, const std::string& description) {
  if (!engine_ || (tag != 1 && tag != 4 && tag != 5)) return;
  if (tag != 1) {
    TIniFile file(iniPath_);
    WriteStateDescr(file, static_cast<char>('0' + tag), description);
  }
  ApplyChosenState(tag, tag == 1 ? std::string(" ") : description);
}

void TOwnState::ApplyChosenState(int tag, const std::string& description) {
  const char state = static_cast<char>('0' + tag);
  engine_->StateDescription = description;
  sounds_.LoadSoundsForState(state);
  engine_->SetState(state);
  window_.SetStateImage(StateImageIndex(state));
  RememberState();
  sounds_.UpdateMuteImage();
  saveUserChanges_();
}

void TOwnState::WindowActivated() {
  windowActive_ = true;
  {
    TIniFile ini(iniPath_);
    WriteStartHidden(ini, false);
  }
  SetTimer2(false);
  if (!engine_) return;
  if (engine_->State() == stAway) {
    engine_->SetState(stActive);
    savedState_ = stActive;
  } else {
    // Deactivation from '1' records '2'; when a listed program or the screen saver has replaced
    // the away state since, coming back still means the user is active, not away.
    if (savedState_ == stAway) savedState_ = stActive;
    engine_->StateDescription = savedDescr_;
    engine_->SetState(savedState_);
    sounds_.LoadSoundsForState(engine_->State());
  }
}

void TOwnState::WindowDeactivated() {
  {
    TIniFile ini(iniPath_);
    WriteStartHidden(ini, true);
  }
  Leave();
}

void TOwnState::StartInactive() {
  Leave();
}

void TOwnState::Leave() {
  windowActive_ = false;
  // Under the idle rule the user may well be working in another program: only idleness is away.
  if (!IdleRuleInForce()) BecomeAway();
  SetTimer2(true);
}

void TOwnState::BecomeAway() {
  if (engine_ && engine_->State() == stActive) {
    engine_->SetState(stAway);
    savedState_ = stAway;
  }
}

bool TOwnState::IdleRuleInForce() const {
  return settings_.AwayIdleMinutes > 0 && idle_ != nullptr && idle_->IdleMs().has_value();
}

void TOwnState::IdleSettingChanged() {
  if (IdleRuleInForce()) {
    if (idleWatchMs_ == 0) SetIdleWatch(kIdleWatchMs);
    return;
  }
  SetIdleWatch(0);
  // Away for want of input, with the window in front: the window's own rule says present.
  if (engine_ && windowActive_ && engine_->State() == stAway) {
    engine_->SetState(stActive);
    savedState_ = stActive;
  }
}

void TOwnState::IdleWatchTimer() {
  if (!engine_ || settings_.AwayIdleMinutes <= 0 || idle_ == nullptr) return;
  // A desktop that stops telling (its display went away) leaves the state as it is until it tells
  // again or the window's activation changes.
  const std::optional<std::int64_t> idle = idle_->IdleMs();
  if (!idle) return;
  TPlumo& engine = *engine_;
  if (*idle >= std::int64_t{settings_.AwayIdleMinutes} * 60000) {
    BecomeAway();
  } else {
    // Input since the user went away: the chosen state again. A state a listed program or the
    // screen saver put in place of away stays; the saved state is what the user chose either way.
    if (savedState_ == stAway) savedState_ = stActive;
    if (engine.State() == stAway) engine.SetState(stActive);
  }
  SetIdleWatch(engine.State() == stAway ? kIdleAwayWatchMs : kIdleWatchMs);
}

void TOwnState::ScreenSaverStarted(bool fromHook) {
  if (!engine_) return;
  if (fromHook || savedState_ == stActive) engine_->SetState(stScreenSaver);
}

void TOwnState::ApplyAutoStates() {
  if (!engine_) return;
  TPlumo& engine = *engine_;
  const std::vector<std::string> programs = system_.RunningPrograms();
  const TNameValueList& list = settings_.StateTable;
  // When several listed programs run, the entry nearest the end of the list wins. Only that one is
  // applied, so two running programs do not make the state flap (and be announced twice) each tick.
  const TNameValueList::Entry* winner = nullptr;
  for (const auto& entry : list.Entries()) {
    if (entry.second.empty()) continue;  // no state to apply
    for (const auto& program : programs) {
      if (SameText1251(program, entry.first)) {
        winner = &entry;
        break;
      }
    }
  }
  if (winner == nullptr) {
    engine.StateDescription = savedDescr_;
    if (engine.State() != savedState_) engine.SetState(savedState_);
    return;
  }
  const auto& [name, value] = *winner;
  if (name == lastMatchedProgram_ && value[0] == engine.State()) return;
  const std::string descrKey = "Descr_" + name;
  if (list.Has(descrKey)) engine.StateDescription = list.Value(descrKey);
  engine.SetState(value[0]);
  sounds_.LoadSoundsForState(value[0]);
  lastMatchedProgram_ = name;
}

void TOwnState::Timer1Timer() {
  if (!engine_) return;
  const std::string interfaces = system_.Interfaces();
  std::string a = FindLocalAddress(interfaces, engine_->MyAddress);
  if (a == "127.0.0.1") a = FindLocalAddress(interfaces, "");
  {
    const TMessageScope scope(texts_.Messages());
    if (a == "127.0.0.1") {
      engine_->SetActive(false);
      tabs_.ConsoleError(texts_.Msg("ChatOff"));
    } else {
      engine_->MyAddress = a;
      engine_->SetActive(true);
      if (!engine_->Receiving()) {
        // Another program took the port meanwhile: a copy that hears nothing says nothing, and the
        // watch tries again.
        engine_->SetActive(false);
        tabs_.ConsoleError(texts_.Msg("PortBusy"));
      } else {
        engine_->SendRosterList();
        tabs_.ConsoleError(texts_.Msg("ChatOn"));
        SetTimer1(false);
      }
    }
  }
  tabs_.ActivateConsole();
}

void TOwnState::Timer2Timer() {
  ApplyAutoStates();
  if (!windowShown_.Visible()) window_.Minimize();
}

void TOwnState::LoadNicks() {
  nickItems_ = settings_.MyNiks;
  window_.SetNickBox(nickItems_, settings_.MyName);
}

void TOwnState::NickEntered(const std::string& text, bool addToList) {
  if (!engine_) return;
  if (text.size() > kMaxNickLength) {
    // Refused: the nick stays as it was.
    tabs_.ConsoleError(
        FormatText(texts_.MsgAlone("NickRefused"),
                   {std::to_string(text.size()), std::to_string(kMaxNickLength), engine_->Nick()}));
  } else if (!TrimText(text).empty() && engine_->SetNick(text) == SendResult::Sent) {
    const std::string& nick = engine_->Nick();
    bool known = false;
    for (const auto& item : nickItems_) known = known || item == nick;
    if (addToList && !known) nickItems_.push_back(nick);
    settings_.MyName = nick;
    settings_.MyNiks = nickItems_;
    saveUserChanges_();
  }
  window_.SetNickBox(nickItems_, engine_->Nick());
}

namespace {

// The number n of the first interface "IPn" of the list other than 127.0.0.1 (the one whose
// address is addr when addr is given), or -1.
int FindInterface(const TNameValueList& list, const std::string& addr) {
  for (std::size_t n = 0; n < list.Count(); ++n) {
    const std::string key = "IP" + std::to_string(n);
    if (!list.Has(key)) continue;
    const std::string ip = list.Value(key);
    if (ip == "127.0.0.1" || (!addr.empty() && ip != addr)) continue;
    return static_cast<int>(n);
  }
  return -1;
}

}  // namespace

std::string FindBroadcastAddress(const std::string& interfaces, const std::string& addr) {
  const TNameValueList list = ParseNameValues(interfaces);
  const int n = FindInterface(list, addr);
  return n < 0 ? "255.255.255.255" : list.Value("Broadcast" + std::to_string(n));
}

std::string FindLocalAddress(const std::string& interfaces, const std::string& preferred) {
  const TNameValueList list = ParseNameValues(interfaces);
  const int n = FindInterface(list, preferred);
  return n < 0 ? "127.0.0.1" : list.Value("IP" + std::to_string(n));
}

}  // namespace plumo
