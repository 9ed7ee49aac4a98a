// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of DataReceived per datagram with rosters of 10, 250 and 1000 peers, and of ResendTick and
// PresenceTick at 1000 peers with a full ring of kept datagrams. The host drops every send.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "net/plumo.h"
#include "support/datagrams.h"
#include "support/quiet_host.h"

namespace {

using namespace plumo;

// Counts what the benchmarks look at; every other event is ignored.
struct Counter final : TPlumoEvents {
  std::size_t events = 0;
  void OnNewUser(const TMStigs&, const std::string&) override {}
  void OnUserExit(const TMStigs&, const std::string&) override {}
  void OnTopicChange(const std::string&) override {}
  void OnChannelLine(const TMStigs&, const std::string&, const std::string& text) override {
    events += text.size();
  }
  void OnPrivateMessage(const TMStigs&, const std::string& text, const std::string&) override {
    events += text.size();
  }
  void OnMassMessage(const TMStigs&, const std::string&, const std::string&) override {}
  void OnConfirm(const AChuvakInfo&, std::uint16_t) override { ++events; }
  void OnUserLost(const std::string&, const AChuvakInfo&) override {}
  void OnUserState(const AChuvakInfo&, char) override {}
  void OnUnknownCommand(const std::string&) override {}
  void OnNickChange(const TMStigs&, const std::string&, const std::string&) override {}
  void OnInfo(const TMStigs&, const std::string&, const std::string&) override {}
  void OnSendError() override {}
  void OnBell(const AChuvakInfo&, std::uint16_t) override {}
  void OnNotice(EngineNotice, const std::string&, const std::vector<std::string>&, std::uint16_t) override {}
  void OnTag(const AChuvakInfo&) override {}
  void OnDelivery(const TDeliveryReport&) override {}
  void OnAcknowledge(const AChuvakInfo&, std::uint16_t) override {}
};

// An engine whose roster holds itself and peers other engines, each announced by a hello.
struct Lan {
  sim::QuietHost host;
  TPlumo engine{host};
  std::vector<std::string> addresses, nicks;
  std::vector<std::uint16_t> seqs;
  Counter counter;

  explicit Lan(int peers) {
    engine.MyAddress = "198.18.0.1";
    engine.SetNick("me");
    engine.AddChannel("Main", "topic", "", "", 1000);
    engine.SetState(stActive);
    engine.SetEvents(&counter);
    Deliver(sim::Datagram(pkHello, 2, U32ToBytes(0) + U32ToBytes(0), {"me", "1", "", "Main"}),
            engine.MyAddress);
    for (int k = 0; k < peers; ++k) {
      addresses.push_back("198.18." + std::to_string(1 + k / 250) + "." + std::to_string(2 + k % 250));
      nicks.push_back("peer" + std::to_string(k));
      seqs.push_back(0);
      Deliver(sim::Datagram(pkHello, 2, U32ToBytes(0) + U32ToBytes(0), {nicks.back(), "1", "", "Main"}),
              addresses.back());
    }
  }
  void Deliver(const std::string& data, const std::string& from) {
    engine.DataReceived(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<long>(data.size()),
                        from, kDefaultPort);
  }
  // Peers in a scattered order, so that lookups do not follow the roster order.
  std::size_t Next(std::size_t& i) const {
    i = (i + 7919) % addresses.size();
    return i;
  }
};

// One channel line from a different peer each time, each with the next number from that peer.
void BM_ReceiveChannelLine(benchmark::State& state) {
  Lan lan(static_cast<int>(state.range(0)));
  std::vector<std::string> lines;
  for (const auto& nick : lan.nicks)
    lines.push_back(sim::Datagram(pkChannelLine, 0, "", {nick, "Main", "hello, world"}));
  std::size_t i = 0;
  for (auto _ : state) {
    const std::size_t k = lan.Next(i);
    std::string& line = lines[k];
    const std::uint16_t seq = ++lan.seqs[k];
    line[3] = static_cast<char>(seq >> 8);
    line[4] = static_cast<char>(seq & 0xFF);
    lan.Deliver(line, lan.addresses[k]);
  }
  benchmark::DoNotOptimize(lan.counter.events);
  state.SetItemsProcessed(state.iterations());
}

// One private message to the own nick; the engine answers with a (kept) confirmation.
void BM_ReceivePrivateMessage(benchmark::State& state) {
  Lan lan(static_cast<int>(state.range(0)));
  std::vector<std::string> messages;
  for (const auto& nick : lan.nicks)
    messages.push_back(sim::Datagram(pkPrivateMessage, 0, "", {nick, "me", "a word"}));
  std::size_t i = 0;
  for (auto _ : state) {
    const std::size_t k = lan.Next(i);
    std::string& message = messages[k];
    const std::uint16_t seq = ++lan.seqs[k];
    message[3] = static_cast<char>(seq >> 8);
    message[4] = static_cast<char>(seq & 0xFF);
    lan.Deliver(message, lan.addresses[k]);
  }
  benchmark::DoNotOptimize(lan.counter.events);
  state.SetItemsProcessed(state.iterations());
}

// The own private message to a peer and the peer's confirmation arriving (one datagram received).
void BM_SendPrivateMessageAndConfirm(benchmark::State& state) {
  Lan lan(static_cast<int>(state.range(0)));
  std::vector<std::string> confirms;
  for (const auto& nick : lan.nicks)
    confirms.push_back(sim::Datagram(pkConfirm, 1, "0000", {nick, "1", " "}));
  std::size_t i = 0;
  for (auto _ : state) {
    const std::size_t k = lan.Next(i);
    lan.engine.SendPrivateMessage(lan.nicks[k], "a word", lan.addresses[k]);
    const std::uint16_t seq = lan.engine.Counters().Current(pkPrivateMessage);
    std::string& confirm = confirms[k];
    confirm[5] = 0;
    confirm[6] = static_cast<char>(pkPrivateMessage);
    confirm[7] = static_cast<char>(seq >> 8);
    confirm[8] = static_cast<char>(seq & 0xFF);
    lan.Deliver(confirm, lan.addresses[k]);
  }
  if (lan.counter.events < static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("confirmations were not matched");
  state.SetItemsProcessed(state.iterations());
}

// Full ring: 255 kept datagrams, the last `pending` of them mass messages that every peer still has
// to confirm, with all their tries left (each tick resends every one of them).
void BM_ResendTick(benchmark::State& state) {
  Lan lan(static_cast<int>(state.range(0)));
  const int pending = static_cast<int>(state.range(1));
  for (int n = 0; n < 255 - pending; ++n)
    lan.engine.SendChannelLine("Main", "line", lan.engine.BroadcastAddress);
  for (int n = 0; n < pending; ++n) lan.engine.SendMassMessage("to everybody");
  for (auto _ : state) {
    state.PauseTiming();
    for (const auto& entry : lan.engine.Users().Entries()) {
      for (auto& item : entry->Pending) item.TriesLeft = 5;
    }
    state.ResumeTiming();
    lan.engine.ResendTick();
  }
  state.counters["resends/tick"] = static_cast<double>(lan.nicks.size()) * pending;
}

// Every peer silent between the ping threshold and three times it: each is pinged by chance.
void BM_PresenceTick(benchmark::State& state) {
  Lan lan(static_cast<int>(state.range(0)));
  for (int n = 0; n < 255; ++n) lan.engine.SendChannelLine("Main", "line", lan.engine.BroadcastAddress);
  lan.host.now += 2 * lan.engine.PingThreshold() * 1000;
  for (auto _ : state) lan.engine.PresenceTick();
  if (lan.engine.Users().Count() != static_cast<int>(lan.nicks.size()) + 1)
    state.SkipWithError("peers dropped");
}

BENCHMARK(BM_ReceiveChannelLine)->Arg(10)->Arg(250)->Arg(1000);
BENCHMARK(BM_ReceivePrivateMessage)->Arg(10)->Arg(250)->Arg(1000);
BENCHMARK(BM_SendPrivateMessageAndConfirm)->Arg(10)->Arg(250)->Arg(1000);
BENCHMARK(BM_ResendTick)->Args({1000, 0})->Args({1000, 1})->Args({1000, 16})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresenceTick)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
