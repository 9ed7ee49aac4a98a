#include "app/headless.h"

#include <fcntl.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/conversation_log.h"
#include "app/json_out.h"
#include "app/program_setup.h"
#include "app/qt_sound_output.h"
#include "core/chatcore.h"
#include "host/qt_engine_host.h"
#include "lang/codepage.h"

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

int CopyShippedLanguages(const std::string& dir, const std::string& programPath) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.path().extension() == ".lng") return 0;
  }
  // The build puts them in lang/ next to the binary; an installed copy in ../share/plumo/lang.
  const fs::path exeDir = fs::absolute(fs::path(programPath), ec).parent_path();
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  const fs::path selfDir = ec ? exeDir : exe.parent_path();
  int copied = 0;
  for (const fs::path& source :
       {selfDir / "lang", selfDir / ".." / "share" / "plumo" / "lang", exeDir / "lang"}) {
    std::error_code listError;
    for (const auto& entry : fs::directory_iterator(source, listError)) {
      if (entry.path().extension() != ".lng") continue;
      std::error_code copyError;
      fs::copy_file(entry.path(), fs::path(dir) / entry.path().filename(), fs::copy_options::skip_existing,
                    copyError);
      if (!copyError) ++copied;
    }
    if (copied > 0) break;
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

class HeadlessConversations : public ConversationView {
 public:
  explicit HeadlessConversations(Printer& out) : out_(out) {}
  void ConversationAdded(int, const Conversation&) override {}
  void ConversationRemoved(int) override {}
  void CurrentChanged(int, int, ViewMode) override {}
  void LineAdded(int, const std::string& name, const std::string& line) override {
    out_.ViewLine(name, line);
  }
  void IconsChanged(const std::vector<Conversation>&) override {}
  void ModeChanged(int, ViewMode) override {}

 private:
  Printer& out_;
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
    given.swap(answer);
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
  std::optional<std::string> answer;
};

class QtCoreTimers : public CoreTimers {
 public:
  QtCoreTimers() {
    timers_[0].setSingleShot(false);
    timers_[1].setSingleShot(false);
  }
  void Connect(TChatCore& core) {
    QObject::connect(&timers_[0], &QTimer::timeout, [&core] { core.Own().Timer1Timer(); });
    QObject::connect(&timers_[1], &QTimer::timeout, [&core] { core.Own().Timer2Timer(); });
  }
  void SetCoreTimer(CoreTimer timer, bool enabled, int intervalMs) override {
    QTimer& t = timers_[timer == CoreTimer::NetworkWatch ? 0 : 1];
    if (enabled) {
      t.start(intervalMs);
    } else {
      t.stop();
    }
  }

 private:
  QTimer timers_[2];
};

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const auto n = write(signalPipe[1], &c, 1);
}

// Every engine event is reported as a JSON line before the core presents it.
class JsonEventTap final : public TPlumoEventsForward {
 public:
  JsonEventTap(TPlumoEvents& core, Printer& out) : TPlumoEventsForward(core), out_(out) {}

  void OnNewUser(const TMStigs& f, const std::string& a) override {
    out_.Event("\"OnNewUser\",\"Fields\":" + JsonFields(f) + ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnNewUser(f, a);
  }
  void OnUserExit(const TMStigs& f, const std::string& a) override {
    out_.Event("\"OnUserExit\",\"Fields\":" + JsonFields(f) + ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnUserExit(f, a);
  }
  void OnTopicChange(const std::string& c) override {
    out_.Event("\"OnTopicChange\",\"ChannelName\":" + JsonString(c));
    TPlumoEventsForward::OnTopicChange(c);
  }
  void OnChannelLine(const TMStigs& f, const std::string& c, const std::string& t) override {
    out_.Event("\"OnChannelLine\",\"Fields\":" + JsonFields(f) + ",\"Channel\":" + JsonString(c) +
               ",\"Text\":" + JsonString(t));
    TPlumoEventsForward::OnChannelLine(f, c, t);
  }
  void OnPrivateMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    out_.Event("\"OnPrivateMessage\",\"Fields\":" + JsonFields(f) + ",\"Text\":" + JsonString(t) +
               ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnPrivateMessage(f, t, a);
  }
  void OnMassMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    out_.Event("\"OnMassMessage\",\"Fields\":" + JsonFields(f) + ",\"Text\":" + JsonString(t) +
               ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnMassMessage(f, t, a);
  }
  void OnConfirm(const AChuvakInfo& en, std::uint16_t type) override {
    out_.Event("\"OnConfirm\",\"Entry\":" + JsonEntry(en) + ",\"PacketType\":" + std::to_string(type));
    TPlumoEventsForward::OnConfirm(en, type);
  }
  void OnUserLost(const std::string& n, const AChuvakInfo& en) override {
    out_.Event("\"OnUserLost\",\"Nick\":" + JsonString(n) + ",\"Entry\":" + JsonEntry(en));
    TPlumoEventsForward::OnUserLost(n, en);
  }
  void OnUserState(const AChuvakInfo& en, char old) override {
    out_.Event("\"OnUserState\",\"Entry\":" + JsonEntry(en) +
               ",\"OldState\":" + JsonString(std::string(1, old)));
    TPlumoEventsForward::OnUserState(en, old);
  }
  void OnUnknownCommand(const std::string& t) override {
    out_.Event("\"OnUnknownCommand\",\"Text\":" + JsonString(t));
    TPlumoEventsForward::OnUnknownCommand(t);
  }
  void OnNickChange(const TMStigs& f, const std::string& n, const std::string& a) override {
    out_.Event("\"OnNickChange\",\"Fields\":" + JsonFields(f) + ",\"NewNick\":" + JsonString(n) +
               ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnNickChange(f, n, a);
  }
  void OnInfo(const TMStigs& f, const std::string& i, const std::string& a) override {
    out_.Event("\"OnInfo\",\"Fields\":" + JsonFields(f) + ",\"InfoText\":" + JsonString(i) +
               ",\"Address\":" + JsonString(a));
    TPlumoEventsForward::OnInfo(f, i, a);
  }
  void OnSendError() override {
    out_.Event("\"OnSendError\"");
    TPlumoEventsForward::OnSendError();
  }
  void OnBell(const AChuvakInfo& en, std::uint16_t n) override {
    out_.Event("\"OnBell\",\"Entry\":" + JsonEntry(en) + ",\"BellNumber\":" + std::to_string(n));
    TPlumoEventsForward::OnBell(en, n);
  }

 private:
  Printer& out_;
};

// The first word of a command line and the rest after one blank.
std::pair<std::string, std::string> SplitWord(const std::string& text) {
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos) return {text, {}};
  return {text.substr(0, blank), text.substr(blank + 1)};
}

class Session {
 public:
  Session(QCoreApplication& app, TChatCore& core, HeadlessEditor& editor, HeadlessWindow& window,
          Printer& out)
      : app_(app), core_(core), editor_(editor), window_(window), out_(out) {}

  void Quit() {
    if (quitting_) return;
    quitting_ = true;
    core_.FormClose();
    core_.FormDestroy();
    app_.quit();
  }

  // One line of standard input (UTF-8).
  void Command(const std::string& utf8) {
    if (quitting_) return;
    // The terminal's text becomes code page 1251 here; say which characters will travel as "?".
    const std::vector<TUnencodableChar> lost = UnencodableChars(utf8);
    if (!lost.empty())
      std::fprintf(stderr, "plumo: %s\n",
                   UnencodableWarning(core_.Messages().GetMessage(kCantEncodeKey), lost).c_str());
    std::string line = Utf8ToCp1251(utf8);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto [word, rest] = SplitWord(line);
    if (word == "/quit") {
      Quit();
    } else if (word == "/channel") {
      const int index = core_.Tabs().Channels().IndexOf(rest);
      if (!core_.Tabs().SelectChannelTab(index)) Problem("no channel tab " + rest);
    } else if (word == "/msg") {
      const auto [nick, text] = SplitWord(rest);
      core_.Sending().SendPrivateByNick(nick, text);
    } else if (word == "/mass") {
      core_.Sending().ComposeMessage(true);
      editor_.SetText(rest);
      core_.Sending().SendReply();
    } else if (word == "/bell") {
      const auto [nick, number] = SplitWord(rest);
      // Without a number, bell 0 rings.
      const std::optional<std::uint16_t> n = number.empty() ? std::uint16_t{0} : ParseBellNumber(number);
      if (!n) {
        Problem("bell number must be 0 to 65535: " + number);
      } else {
        core_.Roster().SendBellToNick(nick, *n);
      }
    } else if (word == "/nick") {
      core_.Own().NickEntered(rest, true);
    } else if (word == "/state") {
      const auto [tag, description] = SplitWord(rest);
      if (tag != "1" && tag != "4" && tag != "5") {
        Problem("state must be 1, 4 or 5");
        return;
      }
      if (!description.empty()) window_.answer = description;
      core_.Own().StateMenuClick(tag[0] - '0');
      window_.answer.reset();
    } else if (word == "/topic") {
      window_.answer = rest;
      core_.Tabs().ChangeTopic();
      window_.answer.reset();
    } else if (word == "/select") {
      std::vector<std::string> nicks;
      std::string remaining = rest;
      while (!remaining.empty()) {
        auto [nick, after] = SplitWord(remaining);
        if (!nick.empty()) nicks.push_back(nick);
        remaining = after;
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
    } else {
      // A line typed in the line editor of the active channel.
      core_.Tabs().SelectMessageTab(0);
      editor_.SetText(line);
      core_.Sending().SubmitLine();
    }
  }

 private:
  void Problem(const std::string& text) { std::fprintf(stderr, "plumo: %s\n", Cp1251ToUtf8(text).c_str()); }

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
      for (const auto& peer : peers) {
        Emit(Cp1251ToUtf8(peer.Nick + " [" + peer.Address + "] state " + std::string(1, peer.State) + " " +
                          peer.Description));
      }
    }
  }

  QCoreApplication& app_;
  TChatCore& core_;
  HeadlessEditor& editor_;
  HeadlessWindow& window_;
  Printer& out_;
  bool quitting_ = false;
};

}  // namespace

int RunHeadless(int argc, char** argv, const HeadlessOptions& options) {
  // A reader of the output that goes away only makes writes fail; the peer still leaves in order
  // when its input ends.
  std::signal(SIGPIPE, SIG_IGN);
  if (!PrepareProgramDir(options.dir, options.programPath)) return 1;

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Plumo"));

  Printer out(options.json);
  HeadlessConversations channels(out);
  HeadlessConversations inputs(out);
  HeadlessEditor editor;
  HeadlessRoster roster;
  HeadlessWindow window;
  QtSoundOutput sound;
  QtCoreTimers timers;
  PosixSystem system;
  QtEngineHost host;

  CoreSurfaces surfaces{channels, inputs, editor, roster, window, sound, timers, system};
  std::unique_ptr<ConversationLog> log;
  if (!OpenConversationLog(options.logFile, log)) return 1;
  // Built before the core and destroyed after it: the core's farewell still passes through it.
  std::unique_ptr<JsonEventTap> tap;
  TChatCore core(fs::absolute(options.dir).lexically_normal().string(), log ? log->Wrap(surfaces) : surfaces,
                 host, AttachTo(host));
  timers.Connect(core);
  // Wrapped as soon as they are wired, so that events raised during start-up (a failing first
  // announcement) are reported too.
  if (out.Json()) {
    core.SetEventTap([&tap, &out](TPlumoEvents& handlers) {
      tap = std::make_unique<JsonEventTap>(handlers, out);
      return tap.get();
    });
  }

  if (!core.FormCreate()) return 1;
  {
    const TIdentity me = core.Identity();
    if (out.Json()) {
      Emit("{\"ready\":true,\"Nick\":" + JsonString(me.Nick) + ",\"MyAddress\":" + JsonString(me.Address) +
           ",\"BroadcastAddress\":" + JsonString(me.Broadcast) + "}");
    } else {
      Emit(Cp1251ToUtf8("Plumo " + std::string(TChatCore::kVersion) + " headless: " + me.Nick + " at " +
                        (me.Address.empty() ? std::string("(no network)") : me.Address) + ", broadcast " +
                        me.Broadcast + ". Type a line to chat, /quit to leave."));
    }
  }

  Session session(app, core, editor, window, out);

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
  std::unique_ptr<QSocketNotifier> signalNotifier;
  if (pipe(signalPipe) == 0) {
    fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&session] { session.Quit(); });
  }

  const int code = app.exec();
  // The reader thread may still wait for input; leave without unwinding it.
  out.Drain();
  std::fflush(stdout);
  std::_Exit(code);
}

}  // namespace plumo
