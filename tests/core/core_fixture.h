// SPDX-License-Identifier: GPL-3.0-or-later
// Client cores on the simulated LAN with recording fake surfaces: every line, icon, sound, timer
// and input box of a core is kept for the tests to inspect. Language texts come from the shipped
// english.lng.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../lang/tempdir.h"
#include "core/chatcore.h"
#include "core/texts.h"
#include "support/simlan.h"

namespace plumo::coretest {

namespace fs = std::filesystem;

struct ViewLine {
  std::string view;
  std::string line;
};

class FakeConversations : public ConversationView {
 public:
  // The shown conversation stays shown when others come and go before it, as on a tab bar.
  void ConversationAdded(int index, const Conversation& c) override {
    names.insert(names.begin() + index, c.Name);
    if (index <= std::ssize(shown)) shown.insert(shown.begin() + index, {});
    if (current >= index) ++current;
  }
  void ConversationRemoved(int index) override {
    names.erase(names.begin() + index);
    if (index < std::ssize(shown)) shown.erase(shown.begin() + index);
    if (current > index) --current;
  }
  void CurrentChanged(int, int to, ViewMode) override { current = to; }
  void LineAdded(int index, const std::string& name, const std::string& line) override {
    Shown(index).push_back(line);
    lines.push_back({name, line});
  }
  void IconsChanged(const std::vector<Conversation>& conversations) override {
    icons.clear();
    for (const auto& c : conversations) icons.push_back(c.IconIndex);
  }
  void ModeChanged(int, ViewMode) override {}
  void ScrollToEnd() override {}
  void HistoryAdded(int index, const std::vector<std::string>& added) override {
    history.push_back({index, added});
    auto& rows = Shown(index);
    rows.insert(rows.begin(), added.begin(), added.end());
  }
  void ShowHistoryRow(int, int) override {}
  void OldestDropped(int index, int rows) override {
    dropped += rows;
    auto& kept = Shown(index);
    kept.erase(kept.begin(), kept.begin() + std::min<std::ptrdiff_t>(rows, std::ssize(kept)));
  }
  void NoticeAdded(int index, const std::string& name, const std::string& line) override {
    Shown(index).push_back(line);
    notices.push_back({name, line});
  }
  void MarkAdded(int index, const TDeliveryMark& mark) override { marks.push_back({index, mark}); }
  void MarkChanged(const TDeliveryMark& mark) override { markChanges.push_back(mark); }
  // Lines of one conversation.
  std::vector<std::string> Of(const std::string& view) const {
    std::vector<std::string> out;
    for (const auto& l : lines) {
      if (l.view == view) out.push_back(l.line);
    }
    return out;
  }
  std::vector<std::string> names;
  std::vector<ViewLine> lines;
  std::vector<ViewLine> notices;                     // each NoticeAdded, in order
  std::vector<std::pair<int, TDeliveryMark>> marks;  // each MarkAdded: conversation index and mark
  std::vector<TDeliveryMark> markChanges;            // each MarkChanged, in order
  std::vector<int> icons;
  int current = -1;
  struct HistoryPage {
    int index;
    std::vector<std::string> lines;
  };
  std::vector<HistoryPage> history;  // each HistoryAdded, in order
  int dropped = 0;                   // rows all OldestDropped took away
  // What each conversation shows, row by row, as a view that follows every call would.
  std::vector<std::deque<std::string>> shown;
  std::deque<std::string>& Shown(int index) {
    if (index >= std::ssize(shown)) shown.resize(static_cast<std::size_t>(index) + 1);
    return shown[static_cast<std::size_t>(index)];
  }
};

class FakeEditor : public InputEditor {
 public:
  std::vector<TUnencodableChar> LostCharacters() override { return UnencodableChars(utf8); }
  std::string utf8;  // what the user typed, when the test checks characters the wire cannot carry
  std::string ContentToMarkup() override { return text; }
  std::string PlainText() override { return text; }
  void ClearInput() override { text.clear(); }
  void SetText(const std::string& t) override { text = t; }
  std::string text;
};

class FakeRoster : public RosterView {
 public:
  void RosterRebuilt(const std::vector<RosterRow>& r) override { rows = r; }
  void RowIconChanged(int row, int icon) override { rows.at(static_cast<std::size_t>(row)).Icon = icon; }
  void TotalChanged(const std::string& caption) override { total = caption; }
  void SelectionChanged(const std::vector<RosterRow>& r) override { rows = r; }
  std::vector<RosterRow> rows;
  std::string total;
};

class FakeWindow : public WindowSurface {
 public:
  void SetCaption(const std::string& c) override { caption = c; }
  void SetTopicLine(const std::string& text) override { topicLine = text; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void SetMuteImage(int image) override { muteImage = image; }
  void SetStateImage(int image) override { stateImage = image; }
  void Minimize() override { ++minimized; }
  // Answers at once: from answers one by one, then answer every time (none: cancelled); with
  // holdAnswers set, the question waits in held until the test answers it.
  void AskText(const std::string& title, const std::string&, const std::string& value,
               TextAnswer answered) override {
    boxTitles.push_back(title);
    boxValues.push_back(value);
    if (holdAnswers) {
      held.push_back(std::move(answered));
      return;
    }
    if (!answers.empty()) {
      const std::string first = answers.front();
      answers.erase(answers.begin());
      answered(first);
      return;
    }
    answered(answer);
  }
  void ConfirmLostCharacters(const std::string& message, const std::vector<TUnencodableChar>& lost,
                             std::function<void(bool)> answered) override {
    lostWarnings.push_back(UnencodableWarning(message, lost));
    answered(sendLost);
  }
  void Notify(const std::string& title, const std::string& text) override {
    notified.push_back({title, text});
  }
  std::vector<std::pair<std::string, std::string>> notified;  // title and text of each notification
  bool sendLost = false;
  std::vector<std::string> lostWarnings;  // UTF-8
  bool holdAnswers = false;
  std::vector<TextAnswer> held;
  std::vector<std::string> boxValues;
  std::vector<std::string> answers;   // given one by one first
  std::optional<std::string> answer;  // then this every time; none: the box is cancelled
  std::vector<std::string> boxTitles;
  std::string caption;
  std::string topicLine;
  std::vector<std::string> messages;  // message boxes
  int muteImage = -1;
  int stateImage = -1;
  int minimized = 0;
};

class FakeSound : public SoundOutput {
 public:
  void PlayFile(const FsPath& path) override { played.push_back(path.Utf8()); }
  std::vector<std::string> played;  // UTF-8
};

class FakeTimers : public CoreTimers {
 public:
  void SetCoreTimer(CoreTimer timer, bool enabled, int intervalMs) override {
    on[timer] = enabled;
    if (enabled) {
      ++starts[timer];
      interval[timer] = intervalMs;
    }
  }
  std::map<CoreTimer, bool> on;
  std::map<CoreTimer, int> starts;    // each start (re)starts the countdown
  std::map<CoreTimer, int> interval;  // of the last start
};

// The desktop's idle time on the LAN's clock: the time since the last Input(); unknown while
// `known` is false.
class FakeIdle : public IdleSource {
 public:
  explicit FakeIdle(sim::SimLan& lan) : lan_(lan), lastInputMs_(lan.NowMs()) {}
  std::optional<std::int64_t> IdleMs() override {
    if (!known) return std::nullopt;
    return lan_.NowMs() - lastInputMs_;
  }
  void Input() { lastInputMs_ = lan_.NowMs(); }
  bool known = true;

 private:
  sim::SimLan& lan_;
  std::int64_t lastInputMs_;
};

// The machine: its interfaces, programs, clock (the LAN's) and files.
class FakeSystem : public SystemInfo {
 public:
  explicit FakeSystem(sim::SimLan& lan) : lan_(lan) {}
  std::string Interfaces() override {
    std::string out;
    int n = 0;
    for (const auto& ip : addresses) {
      const std::string k = std::to_string(n++);
      const std::string bc = ip == "127.0.0.1" ? "127.255.255.255" : ip.substr(0, ip.rfind('.')) + ".255";
      out += "IP" + k + "=" + ip + "\n\rMask" + k + "=255.255.255.0\n\rBroadcast" + k + "=" + bc +
             "\n\rIfUP" + k + "=1\n\rBroadcasts" + k + "=1\n\rType" + k + "=" +
             (ip == "127.0.0.1" ? "LOOPBACK" : "NORMAL") + "\n\r";
    }
    return out;
  }
  std::vector<std::string> RunningPrograms() override { return programs; }
  std::string UserName() override { return userName; }
  std::string ComputerName() override { return "box"; }
  std::int64_t NowLocalMs() override { return lan_.NowMs() + clockOffsetMs; }
  bool FileExists(const FsPath& path) override { return files.count(path.Utf8()) != 0; }

  std::vector<std::string> addresses;
  std::vector<std::string> programs;
  std::string userName = "user";
  std::set<std::string> files;  // UTF-8
  // Added to the local clock: days passing without simulating them.
  std::int64_t clockOffsetMs = 0;

 private:
  sim::SimLan& lan_;
};

// A program directory as a test program starts in: the shipped english.lng and a chat.ini that
// chooses it and the nick, with extraIni appended.
inline void PrepareProgramDir(const fs::path& dir, const std::string& nick, const std::string& extraIni) {
  const char* source = std::getenv("PLUMO_SOURCE_DIR");
  fs::copy_file(fs::path(source ? source : ".") / "data" / "lang" / "english.lng", dir / "english.lng");
  std::ofstream(dir / "chat.ini") << "[Main]\nLanguage=english.lng\nMyName=" << nick << "\n" << extraIni;
}

// One program: its directory, fakes and core, on one host of the LAN.
struct Peer {
  Peer(sim::SimLan& lan, const std::string& address, const std::string& nick,
       const std::string& extraIni = {})
      : dir(temp.Path()), system(lan), idle(lan), host(lan.AddHost(address)) {
    PrepareProgramDir(dir, nick, extraIni);
    system.addresses = {"127.0.0.1", address};
    system.userName = nick;
    MakeCore(lan);
  }
  // The program ends and starts again over the same directory, with fresh channel and message views.
  void Restart(sim::SimLan& lan) {
    core.reset();
    channels = {};
    inputs = {};
    MakeCore(lan);
  }
  void MakeCore(sim::SimLan& lan) {
    core = std::make_unique<TChatCore>(
        FsPath(dir),
        CoreSurfaces{channels, inputs, editor, roster, window, sound, timers, system, nullptr, &idle}, host,
        [&lan, this](TPlumo* e) { lan.Attach(host, e); });
  }
  // The core goes before its directory.
  ~Peer() { core.reset(); }
  TPlumo& engine() { return core->Engine(); }
  std::vector<std::string> Console() const { return channels.Of("#"); }
  std::string LastConsole() const {
    const auto lines = Console();
    return lines.empty() ? std::string() : lines.back();
  }
  // Packet types sent since the last ClearSent.
  std::vector<int> SentTypes() const {
    std::vector<int> types;
    for (const auto& s : host.Sent()) {
      types.push_back(static_cast<unsigned char>(s.data[1]) * 256 + static_cast<unsigned char>(s.data[2]));
    }
    return types;
  }

  testing::TempDir temp;
  fs::path dir;
  FakeConversations channels;
  FakeConversations inputs;
  FakeEditor editor;
  FakeRoster roster;
  FakeWindow window;
  FakeSound sound;
  FakeTimers timers;
  FakeSystem system;
  FakeIdle idle;
  sim::SimHost& host;
  std::unique_ptr<TChatCore> core;
};

// "[HH:MM:SS] " at the LAN's current time.
inline std::string Stamp(sim::SimLan& lan) {
  return "[" + TimeText(lan.NowMs()) + "] ";
}

}  // namespace plumo::coretest
