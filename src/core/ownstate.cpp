// The own state: the state menu, activation and deactivation of the window, the screen saver, the
// program list, the nick box, the network watch; and bells sent from the roster.
#include <string>

#include "core/chatcore.h"
#include "core/texts.h"
#include "lang/textcase.h"

namespace plumo {

std::string TChatCore::StateCaption(char state) {
  if (state < '1' || state > '5') return {};
  return mis_->GetMessage(std::string("WinState") + state);
}

int TChatCore::StateImageIndex(char state) {
  switch (state) {
    case stActive:
      return 3;
    case stAway:
      return 83;
    case stScreenSaver:
      return 0;
    case stDoNotDisturb:
      return 1;
    case stOffline:
      return 2;
    default:
      return -1;
  }
}

void TChatCore::StateMenuClick(int tag) {
  if (!engine_) return;
  if (tag == 1) {
    engine_->StateDescription = " ";
    engine_->SetState(stActive);
    LoadSoundsForState(stActive);
  } else if (tag == 4 || tag == 5) {
    const char state = tag == 4 ? stDoNotDisturb : stOffline;
    TIniFile ini(IniPath());
    mis_->BeginMessages();
    std::string description = ReadStateDescr(ini, state, Msg(tag == 4 ? "StateDND" : "StateOffline"));
    const std::string title = Msg("State");
    const std::string prompt = Msg(tag == 4 ? "WinState4" : "WinState5");
    mis_->EndMessages();
    const std::string stored = description;
    if (!s_.window.InputBox(title, prompt, description)) description = stored;  // cancel keeps it
    engine_->StateDescription = description;
    WriteStateDescr(ini, state, description);
    LoadSoundsForState(state);
    engine_->SetState(state);
  } else {
    return;
  }
  s_.window.SetStateImage(StateImageIndex(static_cast<char>('0' + tag)));
  savedDescr_ = engine_->StateDescription;
  savedState_ = engine_->State();
  UpdateMuteImage();
}

void TChatCore::WindowActivated() {
  windowActive_ = true;
  {
    TIniFile ini(IniPath());
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
    LoadSoundsForState(engine_->State());
  }
}

void TChatCore::WindowDeactivated() {
  windowActive_ = false;
  {
    TIniFile ini(IniPath());
    WriteStartHidden(ini, true);
  }
  if (engine_ && engine_->State() == stActive) {
    engine_->SetState(stAway);
    savedState_ = stAway;
  }
  SetTimer2(true);
}

void TChatCore::ScreenSaverStarted(bool fromHook) {
  if (!engine_) return;
  if (fromHook || savedState_ == stActive) engine_->SetState(stScreenSaver);
}

void TChatCore::ApplyAutoStates() {
  if (!engine_) return;
  const std::vector<std::string> programs = s_.system.RunningPrograms();
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
  const bool matched = winner != nullptr;
  if (matched) {
    const auto& [name, value] = *winner;
    if (!(name == lastMatchedProgram_ && value[0] == engine_->State())) {
      const std::string descrKey = "Descr_" + name;
      if (list.Has(descrKey)) engine_->StateDescription = list.Value(descrKey);
      engine_->SetState(value[0]);
      LoadSoundsForState(value[0]);
      lastMatchedProgram_ = name;
    }
  }
  if (!matched) {
    engine_->StateDescription = savedDescr_;
    if (engine_->State() != savedState_) engine_->SetState(savedState_);
  }
}

void TChatCore::Timer1Timer() {
  if (!engine_) return;
  std::string a = FindLocalAddress(engine_->MyAddress);
  if (a == "127.0.0.1") a = FindLocalAddress("");
  {
    const TMessageScope scope(*mis_);
    if (a == "127.0.0.1") {
      engine_->SetActive(false);
      ConsoleAdd("#^FF0000" + Msg("ChatOff"));
    } else {
      engine_->MyAddress = a;
      engine_->SetActive(true);
      engine_->SendRosterList();
      ConsoleAdd("#^FF0000" + Msg("ChatOn"));
      SetTimer1(false);
    }
  }
  ActivateConsole();
}

void TChatCore::Timer2Timer() {
  ApplyAutoStates();
  if (!windowVisible_) s_.window.Minimize();
}

void TChatCore::NickEntered(const std::string& text, bool addToList) {
  if (!engine_) return;
  if (!TrimText(text).empty()) {
    engine_->SetNick(text);
    const std::string& nick = engine_->Nick();
    bool known = false;
    for (const auto& item : nickItems_) known = known || item == nick;
    if (addToList && !known) nickItems_.push_back(nick);
    settings_.MyName = nick;
    settings_.MyNiks = nickItems_;
  }
  s_.window.SetNickBox(nickItems_, engine_->Nick());
}

void TChatCore::SendBellToSelected(std::uint16_t number) {
  if (!engine_) return;
  for (const auto& row : rows_) {
    if (!row.Selected) continue;
    const int index = engine_->Users().Find(row.Nick, row.Address);
    if (const AChuvakInfo* entry = engine_->Users().Entry(index)) engine_->SendBell(*entry, number);
    return;
  }
  ReportNoUserSelected();
}

std::optional<std::uint16_t> ParseBellNumber(std::string_view text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  unsigned number = 0;
  for (const char c : text) number = number * 10 + static_cast<unsigned>(c - '0');
  if (number > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(number);
}

void TChatCore::ChosenBellClick() {
  const std::string title = MsgAlone("NumBell");
  std::optional<std::uint16_t> number;
  while (!number) {
    std::string answer = "0";
    if (!s_.window.InputBox(title, title, answer)) answer = "0";
    number = ParseBellNumber(answer);
  }
  SendBellToSelected(*number);
}

void TChatCore::AboutUserClick() {
  for (const auto& row : rows_) {
    if (!row.Selected) continue;
    RunConsoleCommand("/about " + row.Nick);
    ActivateConsole();
    return;
  }
}

bool TChatCore::SendBellToNick(const std::string& nick, std::uint16_t number) {
  if (!engine_) return false;
  for (const auto& entry : engine_->Users().Entries()) {
    if (entry->Nick == nick) return engine_->SendBell(*entry, number);
  }
  ReportNoUserSelected();
  return false;
}

}  // namespace plumo
