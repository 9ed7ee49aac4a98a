// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown of the main window: the creation sequence, saving on close, the farewell.
#include "core/chatcore.h"

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

TChatCore::TChatCore(FsPath appDir, CoreSurfaces surfaces, PlumoHost& engineHost,
                     std::function<void(TPlumo*)> attach)
    : engineHost_(engineHost),
      attach_(std::move(attach)),
      languageBridge_(std::make_unique<LanguageBridge>(surfaces.Window, surfaces.Language)),
      lns_(std::make_unique<TLngINISupp>(appDir, *languageBridge_)),
      mis_(std::make_unique<TMsgINISupp>(
          appDir, lns_.get(), [this](const std::string& text) { languageBridge_->ShowMessage(text); })),
      appDir_(std::move(appDir)),
      surfaces_(surfaces),
      texts_(*mis_),
      clock_(surfaces.System),
      sounds_(appDir_, settings_, surfaces.Sound, surfaces.System, surfaces.Window),
      tabs_(
          surfaces.Channels, surfaces.Inputs, surfaces.Editor, surfaces.Window, *mis_, clock_, engineSlot_,
          windowShown_, lines_, IniPath(), [this] { SaveAllSettings(); }, sounds_),
      chatHistory_(settings_, clock_, engineSlot_, *mis_, tabs_.Channels(), tabs_.Inputs(), tabs_),
      roster_(surfaces.Roster, surfaces.Window, *mis_, clock_, engineSlot_, windowShown_, tabs_),
      history_(settings_.InputHistory),
      own_(
          settings_, *mis_, engineSlot_, windowShown_, surfaces.Window, surfaces.Timers, surfaces.System,
          surfaces.Idle, IniPath(), [this] { SaveAllSettings(); }, tabs_, sounds_),
      feedback_(settings_, surfaces.Window, windowShown_, tabs_, own_),
      privateTalk_(appDir_, engineSlot_, clock_, *mis_,
                   [this](const std::string& line, bool error, const std::string& peer) {
                     // A key change or downgrade is told where the user looks, and in the peer's tab.
                     if (!peer.empty()) {
                       feedback_.Tell(kRed, line, "Plumo", TFeedbackPlace{false, peer});
                     } else if (error) {
                       tabs_.ConsoleError(line);
                     } else {
                       tabs_.ConsoleAdd(kGrey + line);
                     }
                   }),
      delivery_(settings_, *mis_, clock_, engineSlot_, tabs_, feedback_, privateTalk_, chatHistory_,
                surfaces.Window, surfaces.Timers),
      intents_(engineSlot_, lines_, tabs_, roster_, own_, feedback_, chatHistory_, privateTalk_, delivery_,
               *mis_, surfaces.System),
      commands_(surfaces.Editor, tabs_, roster_, intents_),
      sender_(surfaces.Editor, *mis_, engineSlot_, tabs_, roster_, history_, commands_, intents_),
      presenter_(settings_, *mis_, clock_, engineSlot_, lines_, tabs_, roster_, sounds_, own_, feedback_,
                 privateTalk_, delivery_),
      editorCommands_(settings_, surfaces.Editor, surfaces.Window, *mis_, engineSlot_, IniPath(), tabs_,
                      sender_, roster_) {
  // The history keeps every line the conversations show.
  lines_.Follow(chatHistory_);
}

TChatCore::~TChatCore() {
  FormDestroy();
}

bool TChatCore::FormCreate() {
  // First step: settings file, flags and tables.
  quitting_ = false;
  TIniFile ini(IniPath());
  TSettingsEnv env;
  env.UserName = surfaces_.System.UserName();
  env.ComputerName = surfaces_.System.ComputerName();
  settings_ = LoadSettings(ini, env);
  if (!languageOverride_.empty()) settings_.Language = languageOverride_;

  // Language components.
  lns_->SetFileName(settings_.Language);
  mis_->SetFileName(settings_.Language);

  // Sounds, bells, history, states come with the settings; the mute picture follows the table.
  sounds_.UpdateMuteImage();
  history_.ResetCursor();
  own_.LoadNicks();

  // Channel tabs: the console "#" first, then one conversation per channel.
  TConversationList& channels = tabs_.Channels();
  const std::vector<std::string> tabs = ChannelTabs(settings_.Chanels);
  for (std::size_t i = 0; i < tabs.size(); ++i) {
    Conversation c;
    c.Name = tabs[i];
    c.IconIndex = i == 0 ? icon::kConsoleSeen : icon::kChannelCreated;
    c.Seen = true;
    c.Mode = ModeLog;
    channels.Add(c);
  }
  if (channels.Count() > 0) channels.Show(channels.Count() > 1 ? 1 : 0);
  chatHistory_.Open(appDir_ / kHistoryFile);
  delivery_.Start();

  // A value of the file that could not be used (an own colour that is not hexadecimal, say) is
  // reported; its default is in force.
  for (const auto& problem : settings_.Problems)
    tabs_.ConsoleError(problem.Key + ": " + FormatText(texts_.MsgAlone(problem.Text.c_str()), problem.Args));

  // The line editor tab.
  Conversation editor;
  editor.Name = "~";
  editor.IconIndex = icon::kConsoleSeen;
  editor.Seen = true;
  editor.Mode = ModeSingleLine;
  tabs_.Inputs().Add(editor);
  tabs_.Inputs().Show(0);

  // The engine.
  engine_ = std::make_unique<TPlumo>(engineHost_, kDefaultPort);
  engineSlot_.Set(engine_.get());
  if (attach_) attach_(engine_.get());
  engine_->VersionText = std::string(" Plumo ") + kVersion;

  const std::string interfaces = surfaces_.System.Interfaces();
  const std::string addr = FindLocalAddress(interfaces, "");
  // Another program holds the port (a second copy, say). A copy that hears nothing must say
  // nothing either: its hello, states and exit would come from the other copy's address and
  // confuse every roster. The engine is switched off and released before it sent anything.
  if (addr != "127.0.0.1" && !engine_->Receiving()) {
    engine_->SetActive(false);
    if (attach_) attach_(nullptr);
    engineSlot_.Set(nullptr);
    engine_.reset();
    quitting_ = true;
    startError_ = FormatText(texts_.MsgAlone("PortTaken"), {std::to_string(kDefaultPort)});
    return false;
  }
  if (addr == "127.0.0.1") {
    engine_->SetActive(false);
    own_.StartNetworkWatch();
  } else {
    const std::string& pref = settings_.MyIP;
    engine_->MyAddress = !pref.empty() && FindLocalAddress(interfaces, pref) == pref ? pref : addr;
    const std::string bc = FindBroadcastAddress(interfaces, addr);
    engine_->BroadcastAddress = !bc.empty() ? bc : settings_.Broadcast;
  }

  // The own key in the tag of the first hello, and the guard of received envelopes.
  privateTalk_.Start();

  mis_->BeginMessages();
  engine_->SetNick(settings_.MyName);
  engine_->AboutText = settings_.AboutPresent
                           ? settings_.About
                           : FormatText(texts_.Msg("About"), {env.ComputerName, env.UserName});

  // Channels with their stored topics.
  const std::string wellcom = texts_.Msg("Wellcom");
  const std::int64_t nowSeconds = clock_.NowSeconds();
  for (int i = 1; i < channels.Count(); ++i) {
    const std::string& name = channels.At(i).Name;
    const TTopicRecord t = ReadTopic(ini, name, wellcom, nowSeconds);
    engine_->AddChannel(name, t.Topic, t.SetterNick, t.SetterAddress, t.TopicTime);
  }
  channels.RefreshIcons();

  own_.Start(settings_.MyState, settings_.MyStateDescr);
  // A hidden start announces the away state from the first announcement on.
  if (settings_.StartHidden) own_.StartInactive();
  WireEvents();
  engine_->SetState(own_.SavedState());
  engine_->SendHello();

  if (settings_.StartHidden) surfaces_.Window.Minimize();
  tabs_.ConsoleAdd(kGrey + engine_->Nick() + " " + texts_.Msg("EnterToChat"));
  mis_->EndMessages();

  surfaces_.Window.SetTopicButtonEnabled(channels.CurrentIndex() >= 1);
  tabs_.TabChanelsChange();
  return true;
}

void TChatCore::WireEvents() {
  TPlumo& e = *engine_;
  e.Users().OnChange = [this](const TUsers::EntryList&) { roster_.Refresh(); };
  e.Users().OnGap = [this](int userIndex, std::uint16_t type, std::uint16_t first, std::uint16_t last) {
    engine_->RequestResend(userIndex, type, first, last);
  };
  TPlumoEvents* tapped = eventTap_ ? eventTap_(presenter_) : nullptr;
  e.SetEvents(tapped ? tapped : &presenter_);
}

TSaveContext TChatCore::SaveContext(bool withTopics) {
  settings_.Chanels.clear();
  for (const auto& c : tabs_.Channels().Items()) settings_.Chanels.push_back(c.Name);
  settings_.MyIP = engine_->MyAddress;
  settings_.Broadcast = engine_->BroadcastAddress;
  settings_.MyState = own_.SavedState();
  settings_.MyStateDescr = own_.SavedDescr();
  TSaveContext context;
  context.CurrentState = engine_->State();
  if (withTopics) {
    for (const auto& c : tabs_.Channels().Items()) {
      const TChanel* ch = engine_->FindChannel(c.Name);
      if (ch == nullptr || c.Name == "#") continue;
      context.Topics.push_back({ch->Name, ch->Topic, ch->TopicTime, ch->SetterAddress, ch->SetterNick});
    }
  }
  return context;
}

void TChatCore::FormClose() {
  if (!engine_) return;
  TIniFile ini(IniPath());
  SaveSettings(ini, settings_, SaveContext(false), false);  // failures while saving are ignored
}

void TChatCore::SaveAllSettings() {
  if (!engine_) return;
  TIniFile ini(IniPath());
  SaveSettings(ini, settings_, SaveContext(true), true);  // failures while saving are ignored
}

void TChatCore::FormDestroy() {
  if (destroyed_ || !engine_) return;
  destroyed_ = true;
  engine_->SendExit();
  privateTalk_.Stop();
  chatHistory_.Close();
  engine_->SetEvents(nullptr);
  if (attach_) attach_(nullptr);
  engineSlot_.Set(nullptr);
  engine_.reset();
}

void TChatCore::SetWindowVisible(bool visible) {
  windowShown_.Set(visible);
  if (visible) roster_.Refresh();
}

void TChatCore::SetInfoText(const std::string& text) {
  if (!engine_) return;
  engine_->AboutText = text;
  settings_.About = text;
  settings_.AboutPresent = true;
  SaveAllSettings();
}

TIdentity TChatCore::Identity() const {
  if (!engine_) return {};
  return {engine_->Nick(), engine_->MyAddress, engine_->BroadcastAddress, engine_->State()};
}

std::vector<RosterRow> TChatCore::Peers() const {
  return intents_.Peers();
}

std::optional<TConversationKey> TChatCore::ShownConversation(bool channelStrip) const {
  return channelStrip ? chatHistory_.ChannelKey(tabs_.Channels().CurrentIndex())
                      : chatHistory_.MessageKey(tabs_.Inputs().CurrentIndex());
}

std::vector<TChannelTopic> TChatCore::Topics() {
  std::vector<TChannelTopic> topics;
  if (!engine_) return topics;
  for (const auto& c : tabs_.Channels().Items()) {
    if (c.Name == "#") continue;
    if (const TChanel* ch = engine_->FindChannel(c.Name))
      topics.push_back({ch->Name, ch->Topic, ch->SetterNick, ch->SetterAddress, ch->TopicTime});
  }
  return topics;
}

}  // namespace plumo
