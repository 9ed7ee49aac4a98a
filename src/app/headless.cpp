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
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/conversation_log.h"
#include "app/headless_commands.h"
#include "app/json_out.h"
#include "app/program_setup.h"
#include "app/qt_sound_output.h"
#include "app/terminal_console.h"
#include "core/chatcore.h"
#include "host/core_timers.h"
#include "host/qt_engine_host.h"
#include "host/quit_signals.h"
#include "lang/codepage.h"
#include "lang/smiley_codes.h"
#include "lang/text_helpers.h"
#include "lang/textcase.h"

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
  void ShowHistoryRow(int, int) override {}
  // Printed as a line of the conversation it belongs to.
  void NoticeAdded(int index, const std::string& name, const std::string& line) override {
    LineAdded(index, name, line);
  }

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
  // Answers at once with the text a command gave, or cancels.
  void AskText(const std::string&, const std::string&, const std::string&, TextAnswer answered) override {
    std::optional<std::string> given;
    given.swap(Answer);
    answered(given);
  }
  // The headless editor holds code-page text already, so nothing is ever lost at this point.
  void ConfirmLostCharacters(const std::string&, const std::vector<TUnencodableChar>&,
                             std::function<void(bool)> answered) override {
    answered(true);
  }
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "plumo: %s\n", Cp1251ToUtf8(text).c_str());
  }
  // The answer the next input box gives; none means the box is cancelled.
  std::optional<std::string> Answer;
};

// Every engine event is reported as a JSON line before the core presents it.
class JsonEventTap final : public TPlumoEventsForward {
 public:
  JsonEventTap(TPlumoEvents& handlers, Printer& out, OutputGate& gate, TChatCore& core)
      : TPlumoEventsForward(handlers), out_(out), gate_(gate), core_(core) {}

  void OnNewUser(const TMStigs& f, const std::string& a) override {
    Report("\"OnNewUser\",\"Fields\":" + JsonFields(f) + ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnNewUser(f, a);
  }
  void OnUserExit(const TMStigs& f, const std::string& a) override {
    Report("\"OnUserExit\",\"Fields\":" + JsonFields(f) + ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnUserExit(f, a);
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
  }
  void OnChannelLine(const TMStigs& f, const std::string& c, const std::string& t) override {
    const std::string nick = f.empty() ? std::string() : f[0];
    Report("\"OnChannelLine\",\"Fields\":" + JsonFields(f) + ",\"Channel\":" + JsonString(c) +
           ",\"Text\":" + JsonString(t) + ",\"Nick\":" + JsonString(nick) +
           ",\"Address\":" + JsonString(core_.EventSender()));
    TPlumoEventsForward::OnChannelLine(f, c, t);
  }
  void OnPrivateMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    Report("\"OnPrivateMessage\",\"Fields\":" + JsonFields(f) + ",\"Text\":" + JsonString(t) +
           ",\"Address\":" + JsonString(a) + ",\"Nick\":" + JsonString(f.empty() ? std::string() : f[0]));
    TPlumoEventsForward::OnPrivateMessage(f, t, a);
  }
  void OnMassMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    Report("\"OnMassMessage\",\"Fields\":" + JsonFields(f) + ",\"Text\":" + JsonString(t) +
           ",\"Address\":" + JsonString(a) + ",\"Nick\":" + JsonString(f.empty() ? std::string() : f[0]));
    TPlumoEventsForward::OnMassMessage(f, t, a);
  }
  void OnConfirm(const AChuvakInfo& en, std::uint16_t type) override {
    Report("\"OnConfirm\",\"Entry\":" + JsonEntry(en) + ",\"PacketType\":" + std::to_string(type));
    TPlumoEventsForward::OnConfirm(en, type);
  }
  void OnUserLost(const std::string& n, const AChuvakInfo& en) override {
    Report("\"OnUserLost\",\"Nick\":" + JsonString(n) + ",\"Entry\":" + JsonEntry(en));
    TPlumoEventsForward::OnUserLost(n, en);
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
  }
  void OnUnknownCommand(const std::string& t) override {
    Report("\"OnUnknownCommand\",\"Text\":" + JsonString(t));
    TPlumoEventsForward::OnUnknownCommand(t);
  }
  void OnNickChange(const TMStigs& f, const std::string& n, const std::string& a) override {
    Report("\"OnNickChange\",\"Fields\":" + JsonFields(f) + ",\"NewNick\":" + JsonString(n) +
           ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnNickChange(f, n, a);
  }
  void OnInfo(const TMStigs& f, const std::string& i, const std::string& a) override {
    Report("\"OnInfo\",\"Fields\":" + JsonFields(f) + ",\"InfoText\":" + JsonString(i) +
           ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnInfo(f, i, a);
  }
  void OnSendError() override {
    Report("\"OnSendError\"");
    TPlumoEventsForward::OnSendError();
  }
  void OnBell(const AChuvakInfo& en, std::uint16_t n) override {
    Report("\"OnBell\",\"Entry\":" + JsonEntry(en) + ",\"BellNumber\":" + std::to_string(n));
    TPlumoEventsForward::OnBell(en, n);
  }

 private:
  void Report(std::string body) {
    gate_.Run([this, body = std::move(body)] { out_.Event(body); });
  }
  Printer& out_;
  OutputGate& gate_;
  TChatCore& core_;
  std::map<std::string, std::string> states_;
};

// For a person at a terminal: private messages and bells ring the terminal's bell.
class BellTap final : public TPlumoEventsForward {
 public:
  BellTap(TPlumoEvents& handlers, TerminalConsole& terminal)
      : TPlumoEventsForward(handlers), terminal_(terminal) {}
  void OnPrivateMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    terminal_.Bell();
    TPlumoEventsForward::OnPrivateMessage(f, t, a);
  }
  void OnBell(const AChuvakInfo& en, std::uint16_t n) override {
    terminal_.Bell();
    TPlumoEventsForward::OnBell(en, n);
  }

 private:
  TerminalConsole& terminal_;
};

// The first word of a command line and the rest after one blank.
std::pair<std::string, std::string> SplitWord(const std::string& text) {
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos) return {text, {}};
  return {text.substr(0, blank), text.substr(blank + 1)};
}

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

std::string JoinNicks(const std::vector<std::string>& nicks) {
  std::string text;
  for (const auto& nick : nicks) text += (text.empty() ? "" : ", ") + nick;
  return text;
}

class Session {
 public:
  Session(QCoreApplication& app, TChatCore& core, HeadlessEditor& editor, HeadlessWindow& window,
          Printer& out)
      : app_(app), core_(core), editor_(editor), window_(window), out_(out) {
    channel_ = core_.Tabs().Channels().CurrentName();
  }

  // The channel plain lines go to (code page 1251).
  const std::string& Channel() const { return channel_; }

  void Quit() {
    if (quitting_) return;
    quitting_ = true;
    // Topics heard from others are kept too, not only the window group.
    core_.SaveAllSettings();
    core_.FormClose();
    core_.FormDestroy();
    app_.quit();
  }

  // Reports peers that came into or left the roster since the last look ({"peer":…} objects).
  void ReportPeers() {
    if (!out_.Json() || quitting_) return;
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

  // One line of standard input (UTF-8).
  void Command(const std::string& input) {
    if (quitting_) return;
    // The terminal's text becomes code page 1251 here: an emoji the chat has a smiley for becomes
    // the smiley's code, and the user is told which other characters will travel as "?".
    const std::string utf8 = ReplaceEmoji(input, EmojiSmileys(core_.Settings().SmileTable.Entries()));
    const std::vector<TUnencodableChar> lost = UnencodableChars(utf8);
    if (!lost.empty()) Notice(UnencodableWarning(core_.Messages().GetMessage(kCantEncodeKey), lost));
    std::string line = Utf8ToCp1251(utf8);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const TypedLine typed = ClassifyLine(line);
    if (typed.Kind == TypedLine::Unknown) {
      Problem("unknown command " + typed.Word +
              " (nothing was sent); /help lists the commands, "
              "// at the start sends a line beginning with /");
      return;
    }
    if (typed.Kind == TypedLine::Text) {
      SayInChannel(typed.Rest);
      return;
    }
    const std::string& word = typed.Word;
    const std::string& rest = typed.Rest;
    const int messageTabs = core_.Tabs().Inputs().Count();
    if (word == "/quit") {
      Quit();
    } else if (word == "/channel") {
      const int index = core_.Tabs().Channels().IndexOf(rest);
      if (rest.empty()) {
        Problem("usage: /channel NAME; /channels lists them");
      } else if (!core_.Tabs().SelectChannelTab(index)) {
        // A channel this peer does not have: say how to make it.
        Problem(core_.Tabs().ChannelChangeText(TTabStrips::ChannelChange::NotOpen, rest));
      } else {
        channel_ = core_.Tabs().Channels().CurrentName();
      }
    } else if (word == "/join") {
      const TTabStrips::ChannelChange change = core_.Tabs().JoinChannel(rest);
      if (change == TTabStrips::ChannelChange::Opened || change == TTabStrips::ChannelChange::Shown) {
        channel_ = core_.Tabs().Channels().CurrentName();
      } else {
        Problem(core_.Tabs().ChannelChangeText(change, rest));
      }
    } else if (word == "/leave") {
      const std::string name = TrimText(rest).empty() ? channel_ : rest;
      const TTabStrips::ChannelChange change = core_.Tabs().LeaveChannel(name);
      if (change != TTabStrips::ChannelChange::Closed) {
        Problem(core_.Tabs().ChannelChangeText(change, name));
      } else if (core_.Tabs().Channels().IndexOf(channel_) < 0) {
        // The chosen channel is gone: lines go to the one shown now, or the first channel.
        TConversationList& channels = core_.Tabs().Channels();
        core_.Tabs().SelectChannelTab(channels.CurrentIndex() > 0 ? channels.CurrentIndex() : 1);
        channel_ = channels.CurrentName();
      }
    } else if (word == "/channels") {
      PrintChannels();
    } else if (word == "/msg") {
      const std::optional<NickArgument> arg = TakeNick(rest);
      if (!arg || arg->Rest.empty()) {
        Problem("usage: /msg NICK TEXT (quote a nick with blanks: /msg \"John Smith\" hi)");
      } else if (const auto nicks = RosterNicks(arg->Nick); !nicks.empty()) {
        for (const auto& nick : nicks) core_.Sending().SendPrivateByNick(nick, arg->Rest);
      }
    } else if (word == "/mass") {
      if (rest.empty()) {
        Problem("usage: /mass TEXT");
      } else {
        core_.Sending().ComposeMessage(true);
        editor_.SetText(rest);
        core_.Sending().SendReply();
      }
    } else if (word == "/bell") {
      const std::optional<NickArgument> arg = TakeNick(rest);
      // Without a number, bell 0 rings.
      const std::optional<std::uint16_t> n =
          !arg || arg->Rest.empty() ? std::uint16_t{0} : ParseBellNumber(arg->Rest);
      if (!arg) {
        Problem("usage: /bell NICK [N]");
      } else if (!n) {
        Problem("bell number must be 0 to 65535: " + arg->Rest);
      } else if (const auto nicks = RosterNicks(arg->Nick); !nicks.empty()) {
        core_.Roster().SendBellToNick(nicks.front(), *n);
      }
    } else if (word == "/nick") {
      ChangeNick(rest);
    } else if (word == "/state") {
      const auto [tag, description] = SplitWord(rest);
      const std::optional<int> state = ParseStateName(tag);
      if (!state) {
        Problem("usage: /state active|dnd|offline [DESCRIPTION] (or 1, 4, 5)");
        return;
      }
      if (!description.empty()) window_.Answer = description;
      core_.Own().StateMenuClick(*state);
      window_.Answer.reset();
    } else if (word == "/topic") {
      Topic(rest);
    } else if (word == "/select") {
      std::vector<std::string> nicks;
      std::string remaining = rest;
      while (const std::optional<NickArgument> arg = TakeNick(remaining)) {
        for (const auto& nick : RosterNicks(arg->Nick)) nicks.push_back(nick);
        remaining = arg->Rest;
      }
      core_.Roster().Refresh();
      std::vector<int> rows;
      for (std::size_t i = 0; i < core_.Roster().Rows().size(); ++i) {
        for (const auto& nick : nicks) {
          if (core_.Roster().Rows()[i].Nick == nick) rows.push_back(static_cast<int>(i));
        }
      }
      core_.Roster().SetSelection(rows);
    } else if (word == "/roster") {
      PrintRoster();
    } else if (word == "/help") {
      PrintHelp();
    } else if (word == "/history") {
      PrintHistory(rest);
    } else if (word == "/search") {
      PrintSearch(rest);
    } else if (word == "/clearhistory") {
      ClearHistory(rest);
    } else {
      // "/info", "/about", "/netstat": console commands of the line editor, typed on the console
      // so that one that finds nothing to do ("/about" with nobody selected) is not said anywhere.
      core_.Tabs().Channels().Show(0);
      core_.Tabs().SelectMessageTab(0);
      editor_.SetText(line);
      core_.Sending().SubmitLine();
    }
    // A message tab that a failed /msg or /mass left open is dropped: the notice said why, and
    // plain lines go on to the chosen channel.
    while (core_.Tabs().Inputs().Count() > messageTabs && core_.Tabs().Inputs().CurrentIndex() >= messageTabs)
      core_.Tabs().CloseMessageTab();
  }

 private:
  // Notices of the peer's own (answers to commands): standard output, {"notice":…} in JSON.
  void Notice(const std::string& text) {
    if (out_.Json()) {
      Emit("{\"notice\":" + JsonString(text) + "}");
    } else {
      Emit(Cp1251ToUtf8(text));
    }
  }
  // Problems with a command: standard error, and {"error":…} on standard output in JSON.
  void Problem(const std::string& text) {
    std::fprintf(stderr, "plumo: %s\n", Cp1251ToUtf8(text).c_str());
    if (out_.Json()) Emit("{\"error\":" + JsonString(text) + "}");
  }

  // A plain line goes to the channel last chosen with /channel, whatever tab a notice showed since.
  void SayInChannel(const std::string& text) {
    if (channel_ == "#") {
      Problem("the console \"#\" is chosen, which sends nothing: choose a channel with /channel NAME");
      return;
    }
    const int index = core_.Tabs().Channels().IndexOf(channel_);
    if (index <= 0) {
      Problem("the channel " + channel_ + " has no tab any more: choose one with /channel NAME");
      return;
    }
    // Shown without the tab change's topic query: the user did not switch channels.
    if (core_.Tabs().Channels().CurrentIndex() != index) core_.Tabs().Channels().Show(index);
    core_.Tabs().SelectMessageTab(0);
    editor_.SetText(text);
    core_.Sending().SubmitLine();
  }

  // The roster's nicks that the typed nick names, each once, or the typed text itself when it is a
  // peer's address (a nick that two addresses use is reached by address); a notice when none.
  std::vector<std::string> RosterNicks(const std::string& typed) {
    std::vector<std::string> roster;
    for (const auto& peer : core_.Peers()) {
      if (peer.Address == typed) return {typed};
      if (std::find(roster.begin(), roster.end(), peer.Nick) == roster.end()) roster.push_back(peer.Nick);
    }
    std::vector<std::string> nicks = MatchNicks(roster, typed);
    if (nicks.empty()) {
      const std::vector<std::string> close = CloseNicks(roster, typed);
      Problem("no peer is called " + typed +
              (close.empty() ? std::string() : "; close: " + JoinNicks(close)));
    }
    return nicks;
  }

  void ChangeNick(const std::string& nick) {
    if (nick.empty()) {
      Problem("usage: /nick NEW");
      return;
    }
    const std::string me = core_.Identity().Address;
    for (const auto& peer : core_.Peers()) {
      if (peer.Address != me && Cp1251UpperCase(peer.Nick) == Cp1251UpperCase(nick)) {
        Notice("warning: " + peer.Address + " is called " + peer.Nick +
               " already; the others cannot tell the two of you apart");
        break;
      }
    }
    core_.Own().NickEntered(nick, true);
  }

  // "/topic" shows the chosen channel's topic; "/topic TEXT" sets it; "/topic """ clears it.
  void Topic(const std::string& text) {
    const int index = core_.Tabs().Channels().IndexOf(channel_);
    if (channel_ == "#" || index <= 0) {
      Problem("the console has no topic: choose a channel with /channel NAME");
      return;
    }
    if (text.empty()) {
      for (const auto& t : core_.Topics()) {
        if (t.Name != channel_) continue;
        Notice("topic of " + t.Name + ": " + t.Topic + " (set by " +
               (t.SetterNick.empty() ? std::string("nobody") : t.SetterNick + " [" + t.SetterAddress + "]") +
               (t.TopicTime != 0 ? ", " + TopicTimeText(t.TopicTime) : std::string()) + ")");
      }
      return;
    }
    if (core_.Tabs().Channels().CurrentIndex() != index) core_.Tabs().Channels().Show(index);
    window_.Answer = text == "\"\"" ? std::string() : text;
    core_.Tabs().ChangeTopic();
    window_.Answer.reset();
  }

  static std::string TopicTimeText(std::uint32_t seconds) {
    const std::time_t t = seconds;
    char text[32];
    std::tm utc{};
    gmtime_r(&t, &utc);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
  }

  void PrintChannels() {
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

  void PrintHelp() {
    std::string text = "Plumo " + std::string(TChatCore::kVersion) +
                       " headless. A line without \"/\" goes to the chosen channel (\"//\" sends a "
                       "line that starts with \"/\"). Commands:";
    Notice(text);
    for (const auto& c : HeadlessCommands()) {
      std::string usage = std::string(c.Name) + (*c.Args != 0 ? " " + std::string(c.Args) : std::string());
      if (usage.size() < 34) usage.resize(34, ' ');
      Notice("  " + usage + " " + c.What);
    }
  }

  // One stored line: readable text, or an object with every field in JSON.
  std::string HistoryEntry(const THistoryLine& line, const std::string* marked = nullptr) {
    if (!out_.Json()) {
      if (!marked) return Cp1251ToUtf8(TChatHistory::Text(line));
      std::string text = *marked;
      std::replace(text.begin(), text.end(), kMatchOpen, '[');
      std::replace(text.begin(), text.end(), kMatchClose, ']');
      THistoryLine shown = line;
      shown.Plain = text;
      return Cp1251ToUtf8(TChatHistory::Caption(line.Conversation) + " " + TChatHistory::Text(shown));
    }
    static const char* const kKinds[] = {"channel", "topic", "private", "mass", "notice"};
    static const char* const kConversationKinds[] = {"channel", "peer", "everybody"};
    std::string json = "{\"Id\":" + std::to_string(line.Id) + ",\"Time\":" + std::to_string(line.TimeMs) +
                       ",\"Kind\":\"" + kKinds[static_cast<int>(line.Kind)] +
                       "\",\"Outgoing\":" + (line.Outgoing ? "true" : "false") + ",\"ConversationKind\":\"" +
                       kConversationKinds[static_cast<int>(line.Conversation.Kind)] +
                       "\",\"Conversation\":" + JsonString(line.Conversation.Name) +
                       ",\"PeerNick\":" + JsonString(line.PeerNick) +
                       ",\"SenderAddress\":" + JsonString(line.SenderAddress) +
                       ",\"SenderNick\":" + JsonString(line.SenderNick) +
                       ",\"Text\":" + JsonString(line.Markup) + ",\"Plain\":" + JsonString(line.Plain);
    if (marked) json += ",\"Marked\":" + JsonString(*marked);
    return json + "}";
  }

  bool HistoryAvailable() {
    if (core_.ChatHistory().Enabled()) return true;
    Problem("the conversation history is off (KeepHistory=0 in chat.ini, or the store failed)");
    return false;
  }

  // "/history [N]": the chosen channel's last N stored lines, oldest first.
  void PrintHistory(const std::string& rest) {
    if (!HistoryAvailable()) return;
    int count = 20;
    if (!rest.empty()) {
      const std::optional<std::uint16_t> n = ParseBellNumber(rest);
      if (!n || *n == 0) {
        Problem("usage: /history [N] (N from 1 to 65535)");
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
  void PrintSearch(const std::string& query) {
    if (TrimText(query).empty()) {
      Problem("usage: /search TEXT (\"a phrase\", word* for words that start so)");
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
      Notice(std::to_string(hits.size()) + (hits.size() == 1 ? " match" : " matches"));
    }
  }

  void ClearHistory(const std::string& rest) {
    if (!HistoryAvailable()) return;
    if (TrimText(rest) == "*") {
      core_.ChatHistory().DeleteAll();
    } else {
      core_.ChatHistory().Delete({ConversationKind::Channel, channel_});
    }
  }

  void PrintRoster() {
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

  QCoreApplication& app_;
  TChatCore& core_;
  HeadlessEditor& editor_;
  HeadlessWindow& window_;
  Printer& out_;
  std::string channel_;
  std::map<std::string, RosterRow> peers_;
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
  TerminalConsole terminal;
  TChatCore core(FsPath(fs::absolute(options.Dir).lexically_normal()), log ? log->Wrap(surfaces) : surfaces,
                 host, AttachTo(host));
  // --lang is a choice of the user's, kept in chat.ini as the window's language menu keeps it.
  if (!options.Language.empty()) core.SetLanguageOverride(fs::path(options.Language).filename().string());
  timers.Connect(core);
  // Wrapped as soon as they are wired, so that events raised during start-up (a failing first
  // announcement) are reported too.
  if (out.Json()) {
    core.SetEventTap([&tap, &out, &gate, &core](TPlumoEvents& handlers) {
      tap = std::make_unique<JsonEventTap>(handlers, out, gate, core);
      return tap.get();
    });
  } else if (isatty(STDOUT_FILENO) != 0) {
    core.SetEventTap([&bellTap, &terminal](TPlumoEvents& handlers) {
      bellTap = std::make_unique<BellTap>(handlers, terminal);
      return bellTap.get();
    });
  }

  if (!core.FormCreate()) {
    // Another copy (or another program) has the port: this one sent nothing and ends.
    if (!core.StartError().empty()) {
      std::fprintf(stderr, "plumo: %s\n", Cp1251ToUtf8(core.StartError()).c_str());
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
      Emit(Cp1251ToUtf8("Plumo " + std::string(TChatCore::kVersion) + " headless: " + me.Nick + " at " +
                        (me.Address.empty() ? std::string("(no network)") : me.Address) + ", broadcast " +
                        me.Broadcast + ". Lines go to " + core.Tabs().Channels().CurrentName() +
                        "; /help lists the commands, /quit leaves."));
    }
  }
  if (!options.Language.empty()) core.SaveAllSettings();
  // What start-up said comes after the ready line.
  gate.Open();

  Session session(app, core, editor, window, out);
  session.ReportPeers();
  // Peers that come and go are reported as they show up in the roster.
  QTimer peerWatch;
  QObject::connect(&peerWatch, &QTimer::timeout, [&session] { session.ReportPeers(); });
  peerWatch.start(500);

  // A person at a terminal edits lines with a prompt that names the channel, and history.
  const auto prompt = [&session] { return Cp1251ToUtf8("[" + session.Channel() + "] "); };
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
