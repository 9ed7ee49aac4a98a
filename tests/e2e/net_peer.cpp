// SPDX-License-Identifier: GPL-3.0-or-later
// plumo_net_peer: one protocol engine on a Qt event loop and the real UDP transport, driven by
// commands on standard input and reporting every engine event as one line on standard output.
// End-to-end tests run one in each network namespace; people use it to watch the protocol.
//
// Usage: plumo_net_peer [--port P] [--address A]
// Commands (one a line; text is UTF-8 and travels as code page 1251):
//   nick NAME | state C [DESCRIPTION] | channel NAME [TOPIC] | about TEXT | hello
//   line CHANNEL TEXT | msg NICK ADDRESS TEXT | mass TEXT | bell NICK ADDRESS NUMBER
//   topic CHANNEL TEXT | info NICK ADDRESS | roster | status | active 0|1 | exit | quit
// Output lines begin with the event name (OnNewUser, OnChannelLine, ...), "Ready", "Status",
// "Roster", "Refused" or "Error".
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "host/qt_engine_host.h"
#include "lang/codepage.h"
#include "net/plumo.h"

namespace {

using plumo::TMStigs;

// Writes one output line at once, so a reader sees whole lines in order.
void Emit(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Engine text for the terminal: UTF-8, with line breaks shown as \r and \n so one event stays one line.
std::string Show(const std::string& cp1251) {
  std::string out;
  for (char c : plumo::Cp1251ToUtf8(cp1251)) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Field(const TMStigs& fields, std::size_t i) {
  return i < fields.size() ? Show(fields[i]) : std::string();
}

// Splits off the first blank-separated word of rest.
std::string NextWord(std::string_view& rest) {
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  const std::size_t end = rest.find(' ');
  std::string word(rest.substr(0, end));
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return word;
}

class Peer final : public plumo::TPlumoEvents {
 public:
  Peer(int port, const std::string& address) : engine_(host_, port) {
    engine_.MyAddress = address;
    host_.Attach(engine_);
    engine_.SetEvents(this);
    Emit("Ready bound=" + std::string(engine_.Receiving() ? "1" : "0") + " port=" + std::to_string(port));
  }
  ~Peer() { host_.Detach(); }

  // Runs one command line; false when the peer should stop.
  bool Command(const std::string& utf8Line) {
    const std::string line = plumo::Utf8ToCp1251(utf8Line);
    std::string_view rest = line;
    const std::string cmd = NextWord(rest);
    const std::string text(rest);
    if (cmd.empty()) return true;
    if (cmd == "quit") return false;
    if (cmd == "nick") {
      Check(cmd, engine_.SetNick(NextWord(rest)));
    } else if (cmd == "state") {
      const std::string state = NextWord(rest);
      engine_.StateDescription = std::string(rest);
      if (state.empty()) {
        Emit("Refused " + cmd);
      } else {
        Check(cmd, engine_.SetState(state[0]));
      }
    } else if (cmd == "channel") {
      const std::string name = NextWord(rest);
      engine_.AddChannel(name, std::string(rest), engine_.Nick(), engine_.MyAddress, engine_.UnixNow());
    } else if (cmd == "about") {
      engine_.AboutText = text;
    } else if (cmd == "hello") {
      if (engine_.Channels().empty()) engine_.AddChannel("Main", "", "", "", 0);
      Check(cmd, engine_.SendHello());
    } else if (cmd == "line") {
      const std::string channel = NextWord(rest);
      Check(cmd, engine_.SendChannelLine(channel, std::string(rest), engine_.BroadcastAddress));
    } else if (cmd == "msg") {
      const std::string nick = NextWord(rest);
      const std::string address = NextWord(rest);
      Check(cmd, engine_.SendPrivateMessage(nick, std::string(rest), address));
    } else if (cmd == "mass") {
      Check(cmd, engine_.SendMassMessage(text));
    } else if (cmd == "bell") {
      const std::string nick = NextWord(rest);
      const std::string address = NextWord(rest);
      const int index = engine_.Users().Find(nick, address);
      const plumo::AChuvakInfo* entry = engine_.Users().Entry(index);
      if (entry == nullptr) {
        Emit("Error no such user " + Show(nick) + " " + address);
      } else {
        Check(cmd,
              engine_.SendBell(*entry, static_cast<std::uint16_t>(std::atoi(std::string(rest).c_str()))));
      }
    } else if (cmd == "topic") {
      const std::string channel = NextWord(rest);
      Check(cmd, engine_.SetTopic(channel, std::string(rest), engine_.UnixNow()));
    } else if (cmd == "info") {
      const std::string nick = NextWord(rest);
      const int index = engine_.Users().Find(nick, NextWord(rest));
      if (index < 0) {
        Emit("Error no such user " + Show(nick));
      } else {
        Check(cmd, engine_.RequestInfo(index));
      }
    } else if (cmd == "roster") {
      const auto& entries = engine_.Users().Entries();
      for (std::size_t i = 0; i < entries.size(); ++i) {
        Emit("Roster " + std::to_string(i) + " " + Show(entries[i]->Nick) + " " + entries[i]->Address + " " +
             std::string(1, entries[i]->State));
      }
      Emit("RosterEnd " + std::to_string(entries.size()));
    } else if (cmd == "status") {
      Emit("Status bound=" + std::string(engine_.Receiving() ? "1" : "0") + " nick=" + Show(engine_.Nick()) +
           " users=" + std::to_string(engine_.Users().Count()));
    } else if (cmd == "active") {
      engine_.SetActive(text == "1");
      Emit("Status bound=" + std::string(engine_.Receiving() ? "1" : "0"));
    } else if (cmd == "exit") {
      Check(cmd, engine_.SendExit());
    } else {
      Emit("Error unknown command " + Show(cmd));
    }
    return true;
  }

 private:
  // Only a refusal is reported; a command with nothing to send stays silent, as one that was sent.
  static void Check(const std::string& cmd, plumo::SendResult result) {
    if (result == plumo::SendResult::TooLong) Emit("Refused " + cmd);
  }

  void OnNewUser(const TMStigs& f, const std::string& address) override {
    Emit("OnNewUser " + Field(f, 0) + " " + address);
  }
  void OnUserExit(const TMStigs& f, const std::string& address) override {
    Emit("OnUserExit " + Field(f, 0) + " " + address);
  }
  void OnTopicChange(const std::string& channel) override {
    const plumo::TChanel* c = engine_.FindChannel(channel);
    Emit("OnTopicChange " + Show(channel) + " " + (c != nullptr ? Show(c->Topic) : std::string()));
  }
  void OnChannelLine(const TMStigs& f, const std::string& channel, const std::string& text) override {
    Emit("OnChannelLine " + Show(channel) + " " + Field(f, 0) + " " + Show(text));
  }
  void OnPrivateMessage(const TMStigs& f, const std::string& text, const std::string& address) override {
    Emit("OnPrivateMessage " + Field(f, 0) + " " + address + " " + Show(text));
  }
  void OnMassMessage(const TMStigs& f, const std::string& text, const std::string& address) override {
    Emit("OnMassMessage " + Field(f, 0) + " " + address + " " + Show(text));
  }
  void OnConfirm(const plumo::AChuvakInfo& entry, std::uint16_t type) override {
    Emit("OnConfirm " + std::to_string(type) + " " + Show(entry.Nick) + " " + entry.Address);
  }
  void OnUserLost(const std::string& nick, const plumo::AChuvakInfo& entry) override {
    Emit("OnUserLost " + Show(nick) + " " + entry.Address);
  }
  void OnUserState(const plumo::AChuvakInfo& entry, char oldState) override {
    Emit("OnUserState " + Show(entry.Nick) + " " + entry.Address + " " + std::string(1, oldState) + " " +
         std::string(1, entry.State));
  }
  void OnUnknownCommand(const std::string& text) override { Emit("OnUnknownCommand " + Show(text)); }
  void OnNickChange(const TMStigs& f, const std::string& newNick, const std::string& address) override {
    Emit("OnNickChange " + Field(f, 0) + " " + Show(newNick) + " " + address);
  }
  void OnInfo(const TMStigs& f, const std::string& info, const std::string& address) override {
    Emit("OnInfo " + Field(f, 0) + " " + address + " " + Show(info));
  }
  void OnSendError() override { Emit("OnSendError"); }
  void OnBell(const plumo::AChuvakInfo& entry, std::uint16_t number) override {
    Emit("OnBell " + Show(entry.Nick) + " " + entry.Address + " " + std::to_string(number));
  }
  void OnNotice(plumo::EngineNotice kind, const std::string& nick, const std::vector<std::string>& addresses,
                std::uint16_t type) override {
    std::string line = "OnNotice " + std::to_string(static_cast<int>(kind)) + " " + Show(nick);
    for (const auto& a : addresses) line += " " + a;
    Emit(line + " " + std::to_string(type));
  }
  void OnTag(const plumo::AChuvakInfo&) override {}
  void OnDelivery(const plumo::TDeliveryReport&) override {}
  void OnAcknowledge(const plumo::AChuvakInfo&, std::uint16_t) override {}

  plumo::QtEngineHost host_;
  plumo::TPlumo engine_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int port = plumo::kDefaultPort;
  std::string address = "127.0.0.1";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    if (option == "--port") {
      port = std::atoi(argv[i + 1]);
    } else if (option == "--address") {
      address = argv[i + 1];
    } else {
      std::fprintf(stderr, "usage: %s [--port P] [--address A]\n", argv[0]);
      return 1;
    }
  }

  Peer peer(port, address);
  std::string pending;
  ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0) return;  // nothing there after all
    if (n == 0) {       // end of input ends the peer
      input.setEnabled(false);
      QCoreApplication::quit();
      return;
    }
    pending.append(chunk, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      bool go_on = true;
      try {
        go_on = peer.Command(line);
      } catch (const std::exception& e) {
        Emit(std::string("Error ") + e.what());
      }
      if (!go_on) {
        input.setEnabled(false);
        QCoreApplication::quit();
        return;
      }
    }
  });
  return QCoreApplication::exec();
}
