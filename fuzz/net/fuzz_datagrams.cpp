// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary datagrams, and sequences of them from several addresses mixed with clock steps,
// timer ticks and own sends, into one engine. Each datagram is an exactly sized heap copy, so the
// sanitizers catch any read past its end. After every step the engine's lists must stay within
// bounds that follow from the input, and nothing it sends may exceed what a receiver takes.
//
// Input: a sequence of records, each starting with an operation byte (a truncated record ends it):
//   op % 8 == 0, 5, 6, 7: datagram: address byte, big-endian u16 length, that many bytes
//   op % 8 == 1: clock step: big-endian u16, in units of 100 ms (values above 60000 step backwards)
//   op % 8 == 2: ResendTick      op % 8 == 3: PresenceTick
//   op % 8 == 4: own send: kind byte, roster index byte
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "net/plumo.h"
#include "support/quiet_host.h"

namespace {

using namespace plumo;

const char* const kAddresses[] = {"198.18.0.1", "198.18.0.2", "198.18.0.3", "198.18.0.4",
                                  "198.18.0.5", "10.0.0.7",   "0.0.0.0",    "255.255.255.255"};

// Keeps the handlers' reads from being optimised away.
volatile std::size_t g_sink = 0;

void Check(bool ok) {
  if (!ok) std::abort();
}

// Reads everything each event is given, so that a bad argument shows up under the sanitizers.
struct Sink final : TPlumoEvents {
  std::size_t sum = 0;
  void Use(const TMStigs& f) {
    for (const auto& s : f) sum += s.size();
  }
  void Use(const AChuvakInfo& e) { sum += e.Nick.size() + e.Address.size() + e.StateDescription.size(); }
  void OnNewUser(const TMStigs& f, const std::string& a) override {
    Use(f);
    sum += a.size();
  }
  void OnUserExit(const TMStigs& f, const std::string& a) override {
    Use(f);
    sum += a.size();
  }
  void OnTopicChange(const std::string& c) override { sum += c.size(); }
  void OnChannelLine(const TMStigs& f, const std::string& c, const std::string& t) override {
    Use(f);
    sum += c.size() + t.size();
  }
  void OnPrivateMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    Use(f);
    sum += t.size() + a.size();
  }
  void OnMassMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    Use(f);
    sum += t.size() + a.size();
  }
  void OnConfirm(const AChuvakInfo& e, std::uint16_t type) override {
    Use(e);
    sum += type;
  }
  void OnUserLost(const std::string& n, const AChuvakInfo& e) override {
    Use(e);
    sum += n.size();
  }
  void OnUserState(const AChuvakInfo& e, char old) override {
    Use(e);
    sum += static_cast<unsigned char>(old);
  }
  void OnUnknownCommand(const std::string& t) override { sum += t.size(); }
  void OnNickChange(const TMStigs& f, const std::string& n, const std::string& a) override {
    Use(f);
    sum += n.size() + a.size();
  }
  void OnInfo(const TMStigs& f, const std::string& t, const std::string& a) override {
    Use(f);
    sum += t.size() + a.size();
  }
  void OnSendError() override { ++sum; }
  void OnBell(const AChuvakInfo& e, std::uint16_t n) override {
    Use(e);
    sum += n;
  }
  void OnNotice(EngineNotice k, const std::string& n, const std::vector<std::string>& a,
                std::uint16_t t) override {
    Use(a);
    sum += n.size() + t + static_cast<std::size_t>(k);
  }
  void OnTag(const AChuvakInfo& e) override { Use(e); }
  void OnDelivery(const TDeliveryReport& r) override { sum += r.Nick.size() + r.Seq; }
  void OnAcknowledge(const AChuvakInfo& e, std::uint16_t) override { Use(e); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sim::QuietHost host;
  TPlumo engine(host);
  engine.MyAddress = kAddresses[0];
  engine.SetNick("me");
  engine.AddChannel("Main", "topic", "", "", 1000);
  engine.SetState(stActive);
  Sink sink;
  engine.SetEvents(&sink);
  engine.Users().OnGap = [&](int i, std::uint16_t type, std::uint16_t first, std::uint16_t last) {
    engine.RequestResend(i, type, first, last);
  };

  std::set<std::string> senders;
  std::size_t datagrams = 0, ownSends = 0;
  std::size_t pos = 0;
  auto take = [&](std::size_t n) { return pos + n <= size ? (pos += n, true) : false; };
  while (take(1)) {
    const std::uint8_t op = data[pos - 1] % 8;
    if (op == 1) {
      if (!take(2)) break;
      const int step = data[pos - 2] * 256 + data[pos - 1];
      host.now += step <= 60000 ? std::int64_t{step} * 100 : -std::int64_t{step - 60000} * 100;
    } else if (op == 2) {
      engine.ResendTick();
    } else if (op == 3) {
      engine.PresenceTick();
    } else if (op == 4) {
      if (!take(2)) break;
      const std::uint8_t kind = data[pos - 2] % 4;
      const int index = data[pos - 1] % 10;
      const AChuvakInfo* entry = engine.Users().Entry(index);
      ++ownSends;
      if (kind == 0) engine.SendMassMessage("mass");
      if (kind == 1) engine.SendChannelLine("Main", "line", engine.BroadcastAddress);
      if (kind == 2 && entry) engine.SendPrivateMessage(entry->Nick, "pm", entry->Address);
      if (kind == 3 && entry) engine.SendBell(AChuvakInfo(*entry), 1);
    } else {
      if (!take(3)) break;
      const std::string from = kAddresses[data[pos - 3] % 8];
      const std::size_t length = std::size_t{data[pos - 2]} * 256 + data[pos - 1];
      const std::size_t available = std::min(length, size - pos);
      auto copy = std::make_unique<std::uint8_t[]>(available);
      std::copy(data + pos, data + pos + available, copy.get());
      pos += available;
      senders.insert(from);
      ++datagrams;
      engine.DataReceived(copy.get(), static_cast<long>(available), from, kDefaultPort);
    }
    // Bounds: one entry per sending address, at most the three tracked types per entry, one pending
    // item per own send, the ring's size, and at most one new channel per datagram.
    Check(engine.Users().Count() <= static_cast<int>(senders.size()));
    Check(engine.History().size() <= TPlumo::kHistorySize);
    Check(host.largest <= kMaxDatagram);  // a receiver would lose anything longer
    Check(engine.Channels().size() <= 1 + datagrams);
    for (const auto& e : engine.Users().Entries()) {
      Check(e->Received.size() <= 3);
      Check(e->Pending.size() <= ownSends);
    }
  }
  g_sink = g_sink + sink.sum;
  return 0;
}
