// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/headless.h"

#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/conversation_log.h"
#include "app/json_out.h"
#include "app/program_setup.h"
#include "app/qt_sound_output.h"
#include "app/terminal_console.h"
#include "core/chatcore.h"
#include "core/console_commands.h"
#include "host/core_timers.h"
#include "host/qt_engine_host.h"
#include "host/quit_signals.h"
#include "lang/codepage.h"
#include "lang/smiley_codes.h"
#include "lang/text_helpers.h"

namespace plumo {

namespace fs = std::filesystem;

std::string DefaultProgramDir() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != 0) {
    return std::string(xdg) + "/plumo";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0) {
    return std::string(home) + "/.config/plumo";
  }
  return "plumo";
}

std::string ShippedDataDir(const std::string& programPath) {
  std::error_code ec;
  const fs::path exeDir = fs::absolute(fs::path(programPath), ec).parent_path();
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  const fs::path selfDir = ec ? exeDir : exe.parent_path();
  // The build puts the shipped files next to the program; an installed copy under share/plumo.
  for (const fs::path& dir : {selfDir, selfDir / ".." / "share" / "plumo", exeDir}) {
    std::error_code probe;
    if (fs::is_directory(dir / "lang", probe)) return (dir.lexically_normal()).string();
  }
  return {};
}

int CopyShippedFiles(const std::string& dir, const std::string& programPath) {
  const std::string data = ShippedDataDir(programPath);
  if (data.empty()) return 0;
  int copied = 0;
  const struct {
    const char* Folder;
    const char* Extension;
    fs::path To;
  } kinds[] = {{"lang", ".lng", fs::path(dir)}, {"sounds", ".wav", fs::path(dir) / "sounds"}};
  for (const auto& kind : kinds) {
    std::error_code listError;
    for (const auto& entry : fs::directory_iterator(fs::path(data) / kind.Folder, listError)) {
      if (entry.path().extension() != kind.Extension) continue;
      std::error_code copyError;
      fs::create_directories(kind.To, copyError);
      // A file of the same name in the user's directory is the user's and stays.
      if (fs::copy_file(entry.path(), kind.To / entry.path().filename(), fs::copy_options::skip_existing,
                        copyError))
        ++copied;
    }
  }
  return copied;
}

namespace {

// Standard output, written from the event loop without waiting for its reader (see TOutputQueue);
// set up by the Printer.
TOutputQueue* stdoutQueue = nullptr;

// Writes one line to standard output, or queues it while the reader is not taking more.
void Emit(const std::string& line) {
  if (stdoutQueue) {
    stdoutQueue->Push(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Writes one problem (code page 1251) to standard error, as safe for a terminal as standard output.
void PrintProblem(const std::string& text) {
  std::fprintf(stderr, "plumo: %s\n", TerminalText(Cp1251ToUtf8(text)).c_str());
}

class Printer {
 public:
  // How long the peer waits at exit for a reader that is not taking its last lines.
  static constexpr int kExitDrainMs = 5000;

  // Needs the application object: queued lines are written as the event loop sees the reader ready.
  explicit Printer(bool json)
      : json_(json), ansi_(!json && isatty(STDOUT_FILENO) != 0), queue_(STDOUT_FILENO, json) {
    std::fflush(stdout);
    stdoutQueue = &queue_;
    if (queue_.WatchFd() >= 0) {
      writable_ = std::make_unique<QSocketNotifier>(queue_.WatchFd(), QSocketNotifier::Write);
      writable_->setEnabled(false);
      QObject::connect(writable_.get(), &QSocketNotifier::activated, [this] { Flush(); });
      // Checked after every turn of the event loop: a line queued during it starts the watch.
      QObject::connect(QCoreApplication::eventDispatcher(), &QAbstractEventDispatcher::aboutToBlock,
                       [this] { Flush(); });
    }
  }
  ~Printer() { stdoutQueue = nullptr; }
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;
  // The readable report of dropped lines in the language file's words (code page 1251).
  void SetDropText(const std::string& text) { queue_.SetDropText(Cp1251ToUtf8(text)); }
  // At exit: the last lines, if the reader takes them in time.
  void Drain() { queue_.Drain(kExitDrainMs); }
  bool Json() const { return json_; }
  void ViewLine(const std::string& view, const std::string& line) {
    if (json_) {
      Emit("{\"view\":" + JsonString(view) + ",\"line\":" + JsonString(line) + "}");
    } else {
      Emit(ReadableLine("[" + view + "] ", false) + ReadableLine(line, ansi_));
    }
  }
  void Event(const std::string& body) {
    if (json_) Emit("{\"event\":" + body + "}");
  }

 private:
  void Flush() {
    const bool waiting = !queue_.Flush();
    if (writable_ && writable_->isEnabled() != waiting) writable_->setEnabled(waiting);
  }

  bool json_;
  bool ansi_;
  TOutputQueue queue_;
  std::unique_ptr<QSocketNotifier> writable_;
};

// Holds everything the peer reports until start-up has finished, so that the first line of output
// is always the ready line; from then on it passes output on at once.
class OutputGate {
 public:
  void Run(std::function<void()> write) {
    if (open_) {
      write();
    } else {
      held_.push_back(std::move(write));
    }
  }
  void Open() {
    open_ = true;
    for (auto& write : held_) write();
    held_.clear();
  }

 private:
  bool open_ = false;
  std::vector<std::function<void()>> held_;
};

// The conversations of one tab strip. In JSON mode a line of a message tab names its peers
// ("Recipients"), a key that stays the same for every message with those peers.
class HeadlessConversations : public ConversationView {
 public:
  HeadlessConversations(Printer& out, OutputGate& gate) : out_(out), gate_(gate) {}
  void ConversationAdded(int index, const Conversation& conversation) override {
    if (index >= 0 && static_cast<std::size_t>(index) <= recipients_.size())
      recipients_.insert(recipients_.begin() + index, conversation.Recipients);
  }
  void ConversationRemoved(int index) override {
    if (index >= 0 && static_cast<std::size_t>(index) < recipients_.size())
      recipients_.erase(recipients_.begin() + index);
  }
  void CurrentChanged(int, int, ViewMode) override {}
  void LineAdded(int index, const std::string& name, const std::string& line) override {
    const std::string recipients = index >= 0 && static_cast<std::size_t>(index) < recipients_.size()
                                       ? recipients_[index]
                                       : std::string();
    gate_.Run([this, name, line, recipients] {
      // A message tab's peers: "addr" of a received message, ",addr,addr" of a draft.
      std::string list;
      for (const std::string& peer : SplitCommas(recipients)) {
        if (!peer.empty() && peer[0] != '@') list += (list.empty() ? "" : ",") + JsonString(peer);
      }
      if (!out_.Json() || list.empty()) {
        out_.ViewLine(name, line);
        return;
      }
      Emit("{\"view\":" + JsonString(name) + ",\"line\":" + JsonString(line) + ",\"Recipients\":[" + list +
           "]}");
    });
  }
  void IconsChanged(const std::vector<Conversation>&) override {}
  void ModeChanged(int, ViewMode) override {}
  void ScrollToEnd() override {}
  // Stored lines are printed on request (/history), not when a channel opens.
  void HistoryAdded(int, const std::vector<std::string>&) override {}
  void OldestDropped(int, int) override {}
  void ShowHistoryRow(int, int) override {}
  // Printed as a line of the conversation it belongs to.
  void NoticeAdded(int index, const std::string& name, const std::string& line) override {
    LineAdded(index, name, line);
  }
  // Delivery marks reach the output as JSON objects from the ledger, not as rows.
  void MarkAdded(int /*index*/, const TDeliveryMark& /*mark*/) override {}
  void MarkChanged(const TDeliveryMark& /*mark*/) override {}

 private:
  Printer& out_;
  OutputGate& gate_;
  std::vector<std::string> recipients_;
};

class HeadlessEditor : public InputEditor {
 public:
  std::string ContentToMarkup() override { return text_; }
  std::string PlainText() override { return text_; }
  void ClearInput() override { text_.clear(); }
  void SetText(const std::string& text) override { text_ = text; }

 private:
  std::string text_;
};

class HeadlessRoster : public RosterView {
 public:
  void RosterRebuilt(const std::vector<RosterRow>&) override {}
  void RowIconChanged(int, int) override {}
  void TotalChanged(const std::string&) override {}
  void SelectionChanged(const std::vector<RosterRow>&) override {}
};

class HeadlessWindow : public WindowSurface {
 public:
  void SetCaption(const std::string&) override {}
  // Nobody is there to answer: a question is cancelled at once (the commands call the intents,
  // which ask nothing).
  void AskText(const std::string&, const std::string&, const std::string&, TextAnswer answered) override {
    answered(std::nullopt);
  }
  // The headless editor holds code-page text already, so nothing is ever lost at this point.
  void ConfirmLostCharacters(const std::string&, const std::vector<TUnencodableChar>&,
                             std::function<void(bool)> answered) override {
    answered(true);
  }
  void ShowMessage(const std::string& text) override { PrintProblem(text); }
};

// Every engine event is reported as a JSON line before the core presents it.
class JsonEventTap final : public TPlumoEventsForward {
 public:
  JsonEventTap(TPlumoEvents& handlers, Printer& out, OutputGate& gate, TChatCore& core)
      : TPlumoEventsForward(handlers), out_(out), gate_(gate), core_(core) {}
  // Called after the core has handled each event: the peer reports what changed in the roster.
  void SetFollower(std::function<void()> followed) { followed_ = std::move(followed); }

  void OnNewUser(const TMStigs& f, const std::string& a) override {
    Report("\"OnNewUser\",\"Fields\":" + JsonFields(f) + ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnNewUser(f, a);
    Followed();
  }
  void OnUserExit(const TMStigs& f, const std::string& a) override {
    Report("\"OnUserExit\",\"Fields\":" + JsonFields(f) + ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnUserExit(f, a);
    Followed();
  }
  void OnTopicChange(const std::string& c) override {
    std::string body = "\"OnTopicChange\",\"ChannelName\":" + JsonString(c);
    for (const auto& t : core_.Topics()) {
      if (t.Name != c) continue;
      body += ",\"Topic\":" + JsonString(t.Topic) + ",\"SetterNick\":" + JsonString(t.SetterNick) +
              ",\"SetterAddress\":" + JsonString(t.SetterAddress) +
              ",\"TopicTime\":" + std::to_string(t.TopicTime);
    }
    Report(body);
    TPlumoEventsForward::OnTopicChange(c);
    Followed();
  }
  void OnChannelLine(const TMStigs& f, const std::string& c, const std::string& t) override {
    const std::string nick = f.empty() ? std::string() : f[0];
    Report("\"OnChannelLine\",\"Fields\":" + JsonFields(f) + ",\"Channel\":" + JsonString(c) +
           ",\"Text\":" + JsonString(t) + ",\"Nick\":" + JsonString(nick) +
           ",\"Address\":" + JsonString(core_.EventSender()));
    TPlumoEventsForward::OnChannelLine(f, c, t);
    Followed();
  }
  void OnPrivateMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    // An opened envelope is reported with the text and nick inside it, and "encrypted" true: a field
    // of its own, which no nick or text can imitate. A step of the key check is not a message.
    const secure::TOpened* opened = core_.PrivateTalk().Opened(t);
    if (opened ? opened->Kind == secure::BodyKind::Text : !secure::IsEnvelope(t)) {
      TMStigs fields = f;
      if (opened && fields.size() > 2) fields[2] = opened->Body;
      const std::string& nick = opened ? opened->Nick : (f.empty() ? std::string() : f[0]);
      Report("\"OnPrivateMessage\",\"Fields\":" + JsonFields(fields) +
             ",\"Text\":" + JsonString(opened ? opened->Body : t) + ",\"Address\":" + JsonString(a) +
             ",\"Nick\":" + JsonString(nick) + ",\"encrypted\":" + (opened ? "true" : "false"));
    }
    TPlumoEventsForward::OnPrivateMessage(f, t, a);
    Followed();
  }
  void OnMassMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    Report("\"OnMassMessage\",\"Fields\":" + JsonFields(f) + ",\"Text\":" + JsonString(t) +
           ",\"Address\":" + JsonString(a) + ",\"Nick\":" + JsonString(f.empty() ? std::string() : f[0]));
    TPlumoEventsForward::OnMassMessage(f, t, a);
    Followed();
  }
  void OnConfirm(const AChuvakInfo& en, std::uint16_t type) override {
    Report("\"OnConfirm\",\"Entry\":" + JsonEntry(en) + ",\"PacketType\":" + std::to_string(type));
    TPlumoEventsForward::OnConfirm(en, type);
    Followed();
  }
  void OnUserLost(const std::string& n, const AChuvakInfo& en) override {
    Report("\"OnUserLost\",\"Nick\":" + JsonString(n) + ",\"Entry\":" + JsonEntry(en));
    TPlumoEventsForward::OnUserLost(n, en);
    Followed();
  }
  void OnUserState(const AChuvakInfo& en, char old) override {
    // The state is announced twice at start-up; a repeat that changes nothing is reported once.
    const std::string key = en.Address + "\n" + en.Nick;
    const std::string now = std::string(1, en.State) + en.StateDescription;
    auto known = states_.find(key);
    const bool repeat = old == en.State && known != states_.end() && known->second == now;
    states_[key] = now;
    if (!repeat)
      Report("\"OnUserState\",\"Entry\":" + JsonEntry(en) +
             ",\"OldState\":" + JsonString(std::string(1, old)));
    TPlumoEventsForward::OnUserState(en, old);
    Followed();
  }
  void OnUnknownCommand(const std::string& t) override {
    Report("\"OnUnknownCommand\",\"Text\":" + JsonString(t));
    TPlumoEventsForward::OnUnknownCommand(t);
    Followed();
  }
  void OnNickChange(const TMStigs& f, const std::string& n, const std::string& a) override {
    Report("\"OnNickChange\",\"Fields\":" + JsonFields(f) + ",\"NewNick\":" + JsonString(n) +
           ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnNickChange(f, n, a);
    Followed();
  }
  void OnInfo(const TMStigs& f, const std::string& i, const std::string& a) override {
    Report("\"OnInfo\",\"Fields\":" + JsonFields(f) + ",\"InfoText\":" + JsonString(i) +
           ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnInfo(f, i, a);
    Followed();
  }
  void OnSendError() override {
    Report("\"OnSendError\"");
    TPlumoEventsForward::OnSendError();
    Followed();
  }
  void OnBell(const AChuvakInfo& en, std::uint16_t n) override {
    Report("\"OnBell\",\"Entry\":" + JsonEntry(en) + ",\"BellNumber\":" + std::to_string(n));
    TPlumoEventsForward::OnBell(en, n);
    Followed();
  }

 private:
  void Followed() {
    if (followed_) followed_();
  }
  void Report(std::string body) {
    gate_.Run([this, body = std::move(body)] { out_.Event(body); });
  }
  Printer& out_;
  OutputGate& gate_;
  TChatCore& core_;
  std::map<std::string, std::string> states_;
  std::function<void()> followed_;
};

// For a person at a terminal: private messages and bells ring the terminal's bell.
class BellTap final : public TPlumoEventsForward {
 public:
  BellTap(TPlumoEvents& handlers, TerminalConsole& terminal, TPrivateTalk& privateTalk)
      : TPlumoEventsForward(handlers), terminal_(terminal), private_(privateTalk) {}
  void OnPrivateMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    // A step of a key check is no message.
    const secure::TOpened* opened = private_.Opened(t);
    if (opened == nullptr || opened->Kind == secure::BodyKind::Text) terminal_.Bell();
    TPlumoEventsForward::OnPrivateMessage(f, t, a);
  }
  void OnBell(const AChuvakInfo& en, std::uint16_t n) override {
    terminal_.Bell();
    TPlumoEventsForward::OnBell(en, n);
  }

 private:
  TerminalConsole& terminal_;
  TPrivateTalk& private_;
};

// What became of the messages the peer sent: one JSON object per change; without --json, a line
// when a private message or bell reaches its end (a roll-call is asked for with /rollcall).
class DeliveryPrinter final : public TDeliveryObserver {
 public:
  DeliveryPrinter(Printer& out, OutputGate& gate, TChatCore& core) : out_(out), gate_(gate), core_(core) {}
  void DeliveryChanged(const TSentMessage& message, int recipient) override {
    const std::string mark = core_.Delivery().MarkOf(message).Text;
    if (out_.Json()) {
      std::string json = JsonDelivery(message, recipient, mark);
      gate_.Run([json = std::move(json)] { Emit(json); });
      return;
    }
    if (message.Kind == MessageKind::Everybody || recipient < 0) return;
    const TRecipient& r = message.Recipients[static_cast<std::size_t>(recipient)];
    if (r.Status == RecipientStatus::Sending) return;
    const std::string line = Cp1251ToUtf8("[" + std::to_string(message.Id) + "] " + r.Nick + " [" +
                                          r.Address + "]: " + core_.Delivery().StatusText(r));
    gate_.Run([line] { Emit(line); });
  }
  void AcknowledgeAsked(MessageId id, const std::string& nick, const std::string& address, bool acknowledged,
                        std::int64_t atMs) override {
    if (out_.Json()) {
      std::string json = JsonAcknowledge(id, nick, address, acknowledged, atMs);
      gate_.Run([json = std::move(json)] { Emit(json); });
    } else if (!acknowledged) {
      const std::string line = Cp1251ToUtf8("[" + std::to_string(id) + "] " + nick + " [" + address +
                                            "]: " + core_.Delivery().ReceivedMark(id).Tooltip + " (/ack " +
                                            std::to_string(id) + ")");
      gate_.Run([line] { Emit(line); });
    }
  }

 private:
  Printer& out_;
  OutputGate& gate_;
  TChatCore& core_;
};

std::string StateName(char state) {
  switch (state) {
    case '1':
      return "active";
    case '3':
      return "away";
    case '4':
      return "dnd";
    case '5':
      return "offline";
    default:
      return std::string(1, state);
  }
}

// The peer's side of the command table (core/console_commands.h): the commands and the lines it
// reads, and what only it does (the chosen channel, the lists it prints, the end).
class Session final : public TCommandFront {
 public:
  Session(QCoreApplication& app, TChatCore& core, Printer& out) : app_(app), core_(core), out_(out) {
    channel_ = core_.Channels().CurrentName();
  }

  // The channel plain lines go to (code page 1251).
  const std::string& Channel() const { return channel_; }

  void Quit() override {
    if (quitting_) return;
    quitting_ = true;
    // Topics heard from others are kept too, not only the window group.
    core_.SaveAllSettings();
    core_.FormClose();
    core_.FormDestroy();
    app_.quit();
  }

  // Reports peers that came into or left the roster since the last look ({"peer":…} objects); the
  // engine's user list says whether anything changed at all.
  void ReportPeers() {
    if (!out_.Json() || quitting_ || !core_.HasEngine()) return;
    const std::uint64_t version = core_.Engine().Users().Version();
    if (looked_ && version == version_) return;
    looked_ = true;
    version_ = version;
    std::map<std::string, RosterRow> now;
    for (const auto& peer : core_.Peers()) now[peer.Address + "\n" + peer.Nick] = peer;
    for (const auto& [key, peer] : now) {
      if (!peers_.count(key)) Emit("{\"peer\":" + JsonEntry(peer) + ",\"present\":true}");
    }
    for (const auto& [key, peer] : peers_) {
      if (!now.count(key)) Emit("{\"peer\":" + JsonEntry(peer) + ",\"present\":false}");
    }
    peers_ = std::move(now);
  }

  // An engine event was handled: the roster may have changed with it, or right after it (a lost peer
  // is removed after its event), so it is looked at once the engine has finished, once for a burst.
  void RosterEvent() {
    if (lookPending_) return;
    lookPending_ = true;
    QMetaObject::invokeMethod(
        &app_,
        [this] {
          lookPending_ = false;
          ReportPeers();
        },
        Qt::QueuedConnection);
  }

  // One line of standard input (UTF-8).
  void Command(const std::string& input) {
    if (quitting_) return;
    // The terminal's text becomes code page 1251 here: an emoji the chat has a smiley for becomes
    // the smiley's code, and the user is told which other characters will travel as "?".
    const std::string utf8 = ReplaceEmoji(input, EmojiSmileys(core_.Settings().SmileTable.Entries()));
    const std::vector<TUnencodableChar> lost = UnencodableChars(utf8);
    // The warning is UTF-8 already (it shows the characters themselves).
    if (!lost.empty()) NoticeUtf8(UnencodableWarning(core_.Messages().GetMessage(kCantEncodeKey), lost));
    std::string line = Utf8ToCp1251(utf8);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const TypedLine typed = ClassifyLine(line, CommandFront::Headless);
    if (typed.Kind == TypedLine::Unknown) {
      Problem(Fmt("CommandUnknown", {typed.Word}));
    } else if (typed.Kind == TypedLine::Text) {
      SayInChannel(typed.Rest);
    } else {
      RunCommandLine(core_.Intents(), *this, line);
    }
    // What the command changed in the roster (the own nick) is reported at once.
    ReportPeers();
  }

  // --- TCommandFront.
  CommandFront Kind() const override { return CommandFront::Headless; }
  bool ShowRollCall(const TSentMessage& message) override {
    if (!out_.Json()) return false;
    Emit(JsonRollCall(message, core_.Delivery().MarkOf(message).Text));
    return true;
  }
  std::string Channel() override { return channel_; }
  // Notices of the peer's own (answers to commands): standard output, {"notice":…} in JSON.
  void Notice(const std::string& text) override { NoticeUtf8(Cp1251ToUtf8(text)); }
  void NoticeUtf8(const std::string& utf8) {
    if (out_.Json()) {
      Emit("{\"notice\":" + JsonStringUtf8(utf8) + "}");
    } else {
      Emit(utf8);
    }
  }
  // Problems with a command: standard error, and {"error":…} on standard output in JSON.
  void Problem(const std::string& text) override {
    PrintProblem(text);
    if (out_.Json()) Emit("{\"error\":" + JsonString(text) + "}");
  }
  void ChannelsChanged(bool joined) override {
    const TConversationList& channels = core_.Channels();
    if (joined) {
      channel_ = channels.CurrentName();
    } else if (channels.IndexOf(channel_) < 0) {
      // The chosen channel is gone: lines go to the one shown now, or the first channel.
      core_.Tabs().SelectChannelTab(channels.CurrentIndex() > 0 ? channels.CurrentIndex() : 1);
      channel_ = channels.CurrentName();
    }
  }
  void ChooseChannel(const std::string& rest) override {
    const int index = core_.Channels().IndexOf(rest);
    if (rest.empty()) {
      Problem(Fmt("UsageChannel", {}));
    } else if (!core_.Tabs().SelectChannelTab(index)) {
      // A channel this peer does not have: say how to make it.
      Problem(core_.Tabs().ChannelChangeText(TTabStrips::ChannelChange::NotOpen, rest));
    } else {
      channel_ = core_.Channels().CurrentName();
    }
  }
  void ListChannels() override {
    const std::vector<TChannelTopic> topics = core_.Topics();
    if (out_.Json()) {
      std::string list = "{\"channels\":[";
      for (std::size_t i = 0; i < topics.size(); ++i) {
        const TChannelTopic& t = topics[i];
        list += std::string(i > 0 ? "," : "") + "{\"Name\":" + JsonString(t.Name) +
                ",\"Topic\":" + JsonString(t.Topic) + ",\"SetterNick\":" + JsonString(t.SetterNick) +
                ",\"SetterAddress\":" + JsonString(t.SetterAddress) +
                ",\"TopicTime\":" + std::to_string(t.TopicTime) + "}";
      }
      Emit(list + "]}");
    } else {
      for (const auto& t : topics)
        Emit(Cp1251ToUtf8((t.Name == channel_ ? "* " : "  ") + t.Name + "  " + t.Topic));
    }
  }
  void ListRoster() override {
    const std::vector<RosterRow> peers = core_.Peers();
    if (out_.Json()) {
      std::string list = "{\"roster\":[";
      for (std::size_t i = 0; i < peers.size(); ++i) {
        if (i > 0) list += ",";
        list += JsonEntry(peers[i]);
      }
      Emit(list + "]}");
    } else {
      const TMessageScope scope(core_.Messages());
      for (const auto& peer : peers) {
        std::string state = core_.Own().StateCaption(peer.State);
        if (state.empty() || state == kMissingText) state = StateName(peer.State);
        Emit(Cp1251ToUtf8(
            peer.Nick + " [" + peer.Address + "] " + state +
            (peer.Description.empty() || peer.Description == " " ? "" : ": " + peer.Description)));
      }
    }
  }
  // "/history [N]": the chosen channel's last N stored lines, oldest first.
  void ListHistory(const std::string& rest) override {
    if (!HistoryAvailable()) return;
    int count = 20;
    if (!rest.empty()) {
      const std::optional<std::uint16_t> n = ParseBellNumber(rest);
      if (!n || *n == 0) {
        Problem(Fmt("UsageHistory", {}));
        return;
      }
      count = *n;
    }
    THistoryStore& store = *core_.ChatHistory().Store();
    const std::vector<THistoryLine> lines = store.Last({ConversationKind::Channel, channel_}, count);
    if (out_.Json()) {
      std::string list = "{\"history\":[";
      for (std::size_t i = 0; i < lines.size(); ++i) list += (i > 0 ? "," : "") + HistoryEntry(lines[i]);
      Emit(list + "]}");
    } else {
      for (const auto& line : lines) Emit(HistoryEntry(line));
    }
  }
  // "/search TEXT": the newest 50 matches in all stored history.
  void Search(const std::string& query) override {
    if (TrimText(query).empty()) {
      Problem(Fmt("UsageSearch", {}));
      return;
    }
    if (!HistoryAvailable()) return;
    const std::vector<THistoryHit> hits = core_.ChatHistory().Search(query, 50);
    if (out_.Json()) {
      std::string list = "{\"search\":" + JsonString(query) + ",\"results\":[";
      for (std::size_t i = 0; i < hits.size(); ++i)
        list += (i > 0 ? "," : "") + HistoryEntry(hits[i].Line, &hits[i].Marked);
      Emit(list + "]}");
    } else {
      for (const auto& hit : hits) Emit(HistoryEntry(hit.Line, &hit.Marked));
      Notice(Fmt(hits.size() == 1 ? "SearchOneMatch" : "SearchMatches", {std::to_string(hits.size())}));
    }
  }

 private:
  // A language text, and one with its "%s" filled.
  std::string Text(const char* key) {
    const TMessageScope scope(core_.Messages());
    return core_.Messages().GetMessage(key);
  }
  // With its arguments filled; the argument after them is a double quote, which a language file
  // cannot hold.
  std::string Fmt(const char* key, std::vector<std::string> args) {
    args.emplace_back("\"");
    return FormatText(Text(key), args);
  }

  // A plain line goes to the channel last chosen with /channel, whatever tab a notice showed since.
  void SayInChannel(const std::string& text) {
    if (channel_ == "#") {
      Problem(Fmt("ConsoleChosen", {}));
      return;
    }
    const int index = core_.Channels().IndexOf(channel_);
    if (index <= 0) {
      Problem(Fmt("ChannelGone", {channel_}));
      return;
    }
    // The channel is shown, so that a refusal is told there too.
    if (core_.Tabs().Channels().CurrentIndex() != index) core_.Tabs().Channels().Show(index);
    core_.Intents().Say(channel_, text);
  }

  // One stored line: readable text, or an object with every field in JSON.
  std::string HistoryEntry(const THistoryLine& line, const std::string* marked = nullptr) {
    if (!out_.Json()) {
      const std::string topic = core_.Messages().GetMessage("HistoryTopic");
      if (!marked) return Cp1251ToUtf8(TChatHistory::Text(line, topic));
      std::string text = *marked;
      std::replace(text.begin(), text.end(), kMatchOpen, '[');
      std::replace(text.begin(), text.end(), kMatchClose, ']');
      THistoryLine shown = line;
      shown.Plain = text;
      return Cp1251ToUtf8(TChatHistory::Caption(line.Conversation) + " " + TChatHistory::Text(shown, topic));
    }
    static const char* const kKinds[] = {"channel", "topic", "private", "mass", "notice"};
    static const char* const kConversationKinds[] = {"channel", "peer", "everybody"};
    std::string json =
        "{\"Id\":" + std::to_string(line.Id) + ",\"Time\":" + std::to_string(line.TimeMs) + ",\"Kind\":\"" +
        kKinds[static_cast<int>(line.Kind)] + "\",\"Outgoing\":" + (line.Outgoing ? "true" : "false") +
        ",\"ConversationKind\":\"" + kConversationKinds[static_cast<int>(line.Conversation.Kind)] +
        "\",\"Conversation\":" + JsonString(line.Conversation.Name) +
        ",\"PeerNick\":" + JsonString(line.PeerNick) +
        ",\"SenderAddress\":" + JsonString(line.SenderAddress) +
        ",\"SenderNick\":" + JsonString(line.SenderNick) + ",\"Text\":" + JsonString(line.Markup) +
        ",\"Plain\":" + JsonString(line.Plain) + ",\"MessageId\":" + std::to_string(line.Message) +
        ",\"Status\":" + JsonString(line.Status);
    if (marked) json += ",\"Marked\":" + JsonString(*marked);
    return json + "}";
  }

  bool HistoryAvailable() {
    if (core_.ChatHistory().Enabled()) return true;
    Problem(Text("HistoryNotKept"));
    return false;
  }

  QCoreApplication& app_;
  TChatCore& core_;
  Printer& out_;
  std::string channel_;
  std::map<std::string, RosterRow> peers_;
  std::uint64_t version_ = 0;
  bool looked_ = false;
  bool lookPending_ = false;
  bool quitting_ = false;
};

}  // namespace

int RunHeadless(int argc, char** argv, const HeadlessOptions& options) {
  // A reader of the output that goes away only makes writes fail; the peer still leaves in order
  // when its input ends.
  std::signal(SIGPIPE, SIG_IGN);
  if (!PrepareProgramDir(options.Dir, options.ProgramPath)) return 1;
  if (!LanguageFileThere(options.Dir, options.Language)) return 2;

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Plumo"));

  Printer out(options.Json);
  OutputGate gate;
  HeadlessConversations channels(out, gate);
  HeadlessConversations inputs(out, gate);
  HeadlessEditor editor;
  HeadlessRoster roster;
  HeadlessWindow window;
  QtSoundOutput sound;
  QtCoreTimers timers;
  PosixSystem system;
  QtEngineHost host;

  CoreSurfaces surfaces{channels, inputs, editor, roster, window, sound, timers, system};
  std::unique_ptr<ConversationLog> log;
  if (!OpenConversationLog(options.LogFile, log)) return 1;
  // Built before the core and destroyed after it: the core's farewell still passes through it.
  std::unique_ptr<JsonEventTap> tap;
  std::unique_ptr<BellTap> bellTap;
  std::unique_ptr<DeliveryPrinter> deliveryPrinter;
  TerminalConsole terminal;
  TChatCore core(FsPath(fs::absolute(options.Dir).lexically_normal()), log ? log->Wrap(surfaces) : surfaces,
                 host, AttachTo(host));
  // --lang is a choice of the user's, kept in chat.ini as the window's language menu keeps it.
  if (!options.Language.empty()) core.SetLanguageOverride(fs::path(options.Language).filename().string());
  core.SetShippedLanguages(ShippedLanguageDir(options.ProgramPath));
  timers.Connect(core);
  deliveryPrinter = std::make_unique<DeliveryPrinter>(out, gate, core);
  core.Delivery().Follow(*deliveryPrinter);
  // Wrapped as soon as they are wired, so that events raised during start-up (a failing first
  // announcement) are reported too.
  if (out.Json()) {
    core.SetEventTap([&tap, &out, &gate, &core](TPlumoEvents& handlers) {
      tap = std::make_unique<JsonEventTap>(handlers, out, gate, core);
      return tap.get();
    });
  } else if (isatty(STDOUT_FILENO) != 0) {
    core.SetEventTap([&bellTap, &terminal, &core](TPlumoEvents& handlers) {
      bellTap = std::make_unique<BellTap>(handlers, terminal, core.PrivateTalk());
      return bellTap.get();
    });
  }

  if (!core.FormCreate()) {
    // Another copy (or another program) has the port: this one sent nothing and ends.
    if (!core.StartError().empty()) {
      PrintProblem(core.StartError());
      if (out.Json()) Emit("{\"error\":" + JsonString(core.StartError()) + "}");
    }
    return 3;
  }
  {
    const TIdentity me = core.Identity();
    if (out.Json()) {
      Emit("{\"ready\":true,\"schema\":" + std::to_string(kJsonSchemaVersion) +
           ",\"Version\":" + JsonString(TChatCore::kVersion) + ",\"Nick\":" + JsonString(me.Nick) +
           ",\"MyAddress\":" + JsonString(me.Address) + ",\"BroadcastAddress\":" + JsonString(me.Broadcast) +
           ",\"Channel\":" + JsonString(core.Tabs().Channels().CurrentName()) + "}");
    } else {
      const TMessageScope scope(core.Messages());
      const std::string address =
          me.Address.empty() ? core.Messages().GetMessage("HeadlessNoNetwork") : me.Address;
      Emit(Cp1251ToUtf8(FormatText(
          core.Messages().GetMessage("HeadlessReady"),
          {TChatCore::kVersion, me.Nick, address, me.Broadcast, core.Tabs().Channels().CurrentName()})));
    }
  }
  out.SetDropText(core.Messages().GetMessage("OutputDropped"));
  if (!options.Language.empty()) core.SaveAllSettings();
  // What start-up said comes after the ready line.
  gate.Open();

  Session session(app, core, out);
  session.ReportPeers();
  // Peers that come and go are reported as the engine's events change the roster.
  if (tap) tap->SetFollower([&session] { session.RosterEvent(); });

  // A person at a terminal edits lines with a prompt that names the channel, and history.
  const auto prompt = [&session] { return TerminalText(Cp1251ToUtf8("[" + session.Channel() + "] ")); };
  if (!out.Json() && TerminalConsole::Wanted()) {
    terminal.SetPrompt(prompt());
    const bool editing = terminal.Start(
        app,
        [&session, &terminal, &prompt](const std::string& line) {
          session.Command(line);
          terminal.SetPrompt(prompt());
        },
        [&session] { session.Quit(); }, (fs::path(options.Dir) / ".headless_history").string());
    if (editing) {
      // SIGINT and SIGTERM end the program in order as well.
      const QuitSignals quitSignals([&session] { session.Quit(); });
      const int code = app.exec();
      terminal.Stop();
      std::fflush(stdout);
      std::_Exit(code);
    }
  }

  // Standard input is read on its own thread (it may be a terminal, a pipe or a file) and each
  // line handed to the event loop; the end of input closes the program as closing the window does.
  std::thread reader([&app, &session] {
    std::string line;
    while (std::getline(std::cin, line)) {
      QMetaObject::invokeMethod(
          &app, [&session, line] { session.Command(line); }, Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(
        &app, [&session] { session.Quit(); }, Qt::QueuedConnection);
  });
  reader.detach();

  // SIGINT and SIGTERM end the program in order as well.
  const QuitSignals quitSignals([&session] { session.Quit(); });
  const int code = app.exec();
  // The reader thread may still wait for input; leave without unwinding it.
  out.Drain();
  std::fflush(stdout);
  std::_Exit(code);
}

}  // namespace plumo
