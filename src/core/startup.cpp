// Start-up and shutdown of the main window: the creation sequence, saving on close, the farewell.
#include <exception>

#include "core/chatcore.h"
#include "core/texts.h"

namespace plumo {

// The language components' view of the program: the host's windows when there are any, message
// boxes through the window surface otherwise.
class TChatCore::LanguageBridge : public TLanguageHost {
 public:
  LanguageBridge(WindowSurface& window, TLanguageHost* windows) : window_(window), windows_(windows) {}
  std::vector<TLanguageForm*> Forms() override {
    return windows_ ? windows_->Forms() : std::vector<TLanguageForm*>{};
  }
  void ShowMessage(const std::string& text) override {
    if (windows_) {
      windows_->ShowMessage(text);
    } else {
      window_.ShowMessage(text);
    }
  }
  bool HasLanguageMenu() const override { return windows_ && windows_->HasLanguageMenu(); }
  void BuildLanguageMenu(const std::vector<TLanguageEntry>& entries) override {
    if (windows_) windows_->BuildLanguageMenu(entries);
  }

 private:
  WindowSurface& window_;
  TLanguageHost* windows_;
};

TChatCore::TChatCore(std::string appDir, CoreSurfaces surfaces, PlumoHost& engineHost,
                     std::function<void(TPlumo*)> attach)
    : appDir_(std::move(appDir)),
      s_(surfaces),
      engineHost_(engineHost),
      attach_(std::move(attach)),
      channels_(surfaces.channels),
      inputs_(surfaces.inputs) {
  languageBridge_ = std::make_unique<LanguageBridge>(s_.window, s_.language);
  lns_ = std::make_unique<TLngINISupp>(appDir_, *languageBridge_);
  mis_ = std::make_unique<TMsgINISupp>(
      appDir_, lns_.get(), [this](const std::string& text) { languageBridge_->ShowMessage(text); });
}

TChatCore::~TChatCore() {
  FormDestroy();
}

std::string TChatCore::NowTime() {
  return TimeText(s_.system.NowLocalMs());
}

std::string TChatCore::NowDateTime() {
  return DateTimeText(s_.system.NowLocalMs());
}

std::uint32_t TChatCore::NowSeconds() {
  const std::int64_t ms = s_.system.NowLocalMs();
  return static_cast<std::uint32_t>(ms / 1000);
}

// Enabling a timer that already runs leaves its countdown alone: a burst of send errors must not
// keep pushing the network watch's next look further away.
void TChatCore::SetTimer1(bool on) {
  if (timer1_ == on) return;
  timer1_ = on;
  s_.timers.SetCoreTimer(CoreTimer::NetworkWatch, on, kTimer1Ms);
}

void TChatCore::SetTimer2(bool on) {
  if (timer2_ == on) return;
  timer2_ = on;
  s_.timers.SetCoreTimer(CoreTimer::ProgramList, on, kTimer2Ms);
}

bool TChatCore::FormCreate() {
  // First step: settings file, flags and tables.
  quitting_ = false;
  TIniFile ini(IniPath());
  TSettingsEnv env;
  env.UserName = s_.system.UserName();
  env.ComputerName = s_.system.ComputerName();
  settings_ = LoadSettings(ini, env);

  // Language components.
  lns_->SetFileName(settings_.Language);
  mis_->SetFileName(settings_.Language);

  // Sounds, bells, history, states come with the settings; the mute picture follows the table.
  UpdateMuteImage();
  historyCursor_ = 0;

  // Nick box.
  nickItems_ = settings_.MyNiks;
  s_.window.SetNickBox(nickItems_, settings_.MyName);

  // Channel tabs: the console "#" first, then one conversation per channel.
  const std::vector<std::string> tabs = ChannelTabs(settings_.Chanels);
  for (std::size_t i = 0; i < tabs.size(); ++i) {
    Conversation c;
    c.Name = tabs[i];
    c.IconIndex = i == 0 ? icon::kConsoleSeen : icon::kChannelCreated;
    c.Seen = true;
    c.Mode = ModeLog;
    channels_.Add(c);
  }
  if (channels_.Count() > 1) {
    channels_.Show(1);
  } else if (channels_.Count() == 1) {
    channels_.Show(0);
  }

  // Own colour; a value that is not hexadecimal is reported and black is used.
  ownColor_ = settings_.MyColor;
  for (const auto& problem : settings_.Problems) {
    ConsoleAdd("#^FF0000" + problem.Key + ": " + problem.Message);
  }

  // The line editor tab.
  Conversation editor;
  editor.Name = "~";
  editor.IconIndex = icon::kConsoleSeen;
  editor.Seen = true;
  editor.Mode = ModeSingleLine;
  inputs_.Add(editor);
  inputs_.Show(0);

  // The engine.
  engine_ = std::make_unique<TPlumo>(engineHost_, kDefaultPort);
  if (attach_) attach_(engine_.get());
  engine_->VersionText = std::string(" Plumo ") + kVersion;

  try {
    const std::string addr = FindLocalAddress("");
    if (addr == "127.0.0.1") {
      engine_->SetActive(false);
      SetTimer1(true);
    } else {
      const std::string& pref = settings_.MyIP;
      engine_->MyAddress = !pref.empty() && FindLocalAddress(pref) == pref ? pref : addr;
      const std::string bc = FindBroadcastAddress(addr);
      engine_->BroadcastAddress = !bc.empty() ? bc : settings_.Broadcast;
    }

    mis_->BeginMessages();
    engine_->SetNick(settings_.MyName);
    engine_->AboutText =
        settings_.AboutPresent ? settings_.About : FormatText(Msg("About"), {env.ComputerName, env.UserName});

    // Channels with their stored topics.
    const std::string wellcom = Msg("Wellcom");
    const std::int64_t nowSeconds = NowSeconds();
    for (int i = 1; i < channels_.Count(); ++i) {
      const std::string& name = channels_.At(i).Name;
      const TTopicRecord t = ReadTopic(ini, name, wellcom, nowSeconds);
      engine_->AddChannel(name, t.Topic, t.SetterNick, t.SetterAddress, t.TopicTime);
    }
    channels_.RefreshIcons();

    engine_->StateDescription = settings_.MyStateDescr;
    engine_->SetState(settings_.MyState);
    savedDescr_ = engine_->StateDescription;
    savedState_ = engine_->State();
    s_.window.SetStateImage(StateImageIndex(savedState_));

    WireEvents();
    engine_->SetState(savedState_);
    engine_->SendHello();

    if (settings_.StartHidden) s_.window.Minimize();
    ConsoleAdd("#^666666" + engine_->Nick() + " " + Msg("EnterToChat"));
    // Another program holds the port (a second copy, say): this one sends but hears nothing.
    if (addr != "127.0.0.1" && !engine_->Receiving()) {
      std::string text = Msg("PortBusy");
      if (text == kMissingText)
        text = "Port 8177 is taken by another program: nothing from the network will arrive.";
      ConsoleAdd("#^FF0000" + text);
    }
    mis_->EndMessages();

    s_.window.SetTopicButtonEnabled(channels_.CurrentIndex() >= 1);
    TabChanelsChange();
  } catch (const std::exception&) {
    quitting_ = true;
    return false;
  }
  return true;
}

void TChatCore::WireEvents() {
  TPlumo& e = *engine_;
  e.Users().OnChange = [this](const TUsers::EntryList&) { RefreshUserList(); };
  e.Users().OnGap = [this](int userIndex, std::uint16_t type, std::uint16_t first, std::uint16_t last) {
    engine_->RequestResend(userIndex, type, first, last);
  };
  e.OnNewUser = [this](const TMStigs& f, const std::string& a) { HandleNewUser(f, a); };
  e.OnUserExit = [this](const TMStigs& f, const std::string& a) { HandleUserExit(f, a); };
  e.OnTopicChange = [this](const std::string& c) { HandleTopicChange(c); };
  e.OnChannelLine = [this](const TMStigs& f, const std::string& c, const std::string& t) {
    HandleChannelLine(f, c, t);
  };
  e.OnPrivateMessage = [this](const TMStigs& f, const std::string& t, const std::string& a) {
    HandlePrivateMessage(f, t, a);
  };
  e.OnMassMessage = [this](const TMStigs& f, const std::string& t, const std::string& a) {
    HandleMassMessage(f, t, a);
  };
  e.OnConfirm = [this](const AChuvakInfo& en, std::uint16_t type) { HandleConfirm(en, type); };
  e.OnUserLost = [this](const std::string& n, const AChuvakInfo& en) { HandleUserLost(n, en); };
  e.OnUserState = [this](const AChuvakInfo& en, char old) { HandleUserState(en, old); };
  e.OnUnknownCommand = [this](const std::string& t) { HandleUnknownCommand(t); };
  e.OnNickChange = [this](const TMStigs& f, const std::string& n, const std::string& a) {
    HandleNickChange(f, n, a);
  };
  e.OnInfo = [this](const TMStigs& f, const std::string& i, const std::string& a) { HandleInfo(f, i, a); };
  e.OnSendError = [this] { HandleSendError(); };
  e.OnBell = [this](const AChuvakInfo& en, std::uint16_t n) { HandleBell(en, n); };
  if (eventTap_) eventTap_(e);
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

std::string TChatCore::FindBroadcastAddress(const std::string& addr) {
  const TNameValueList list = ParseNameValues(s_.system.Interfaces());
  const int n = FindInterface(list, addr);
  return n < 0 ? "255.255.255.255" : list.Value("Broadcast" + std::to_string(n));
}

std::string TChatCore::FindLocalAddress(const std::string& preferred) {
  const TNameValueList list = ParseNameValues(s_.system.Interfaces());
  const int n = FindInterface(list, preferred);
  return n < 0 ? "127.0.0.1" : list.Value("IP" + std::to_string(n));
}

void TChatCore::FormClose() {
  if (!engine_) return;
  TIniFile ini(IniPath());
  settings_.Chanels.clear();
  for (const auto& c : channels_.Items()) settings_.Chanels.push_back(c.Name);
  settings_.MyIP = engine_->MyAddress;
  settings_.Broadcast = engine_->BroadcastAddress;
  settings_.MyState = savedState_;
  settings_.MyStateDescr = savedDescr_;
  TSaveContext context;
  context.CurrentState = engine_->State();
  SaveSettings(ini, settings_, context, false);  // failures while saving are ignored
}

void TChatCore::FormDestroy() {
  if (destroyed_ || !engine_) return;
  destroyed_ = true;
  try {
    engine_->SendExit();
  } catch (const std::exception&) {
    // A failing farewell must not keep the program from ending.
  }
  if (attach_) attach_(nullptr);
  engine_.reset();
}

}  // namespace plumo
