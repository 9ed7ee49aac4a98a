// SPDX-License-Identifier: GPL-3.0-or-later
// The roll-call of a message to everybody with 1,000 recipients, as a window would see it: the
// confirmations come through the engine over one and a half seconds (the message and its resend),
// and the delivery-marks timer fires
// every TDeliveries::kMarkIntervalMs of that time. Reported: how often the window redraws the mark
// per second (marks_per_s), the event-loop time of each redraw (tick_us, tick_max_us), and of each
// confirmation the core takes in (confirm_us).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/chatcore.h"
#include "net/codec.h"
#include "support/datagrams.h"
#include "support/quiet_host.h"
#include "support/silent_surfaces.h"

namespace plumo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecipients = 1000;
// Confirmations count within the engine's window after a transmission: 600 readers confirm within
// 450 ms of the message, the other 400 within 450 ms of its resend a second later.
constexpr int kFirstRound = 600;
constexpr std::int64_t kRoundMs = 450;
constexpr std::int64_t kResendAtMs = TPlumo::kResendIntervalMs;
constexpr std::int64_t kSpreadMs = kResendAtMs + kRoundMs;

class CountingView : public NoConversations {
 public:
  void MarkChanged(const TDeliveryMark&) override { ++changes; }
  std::uint64_t changes = 0;
};

class SwitchTimers : public CoreTimers {
 public:
  void SetCoreTimer(CoreTimer timer, bool enabled, int) override {
    if (timer == CoreTimer::DeliveryMarks) marksOn = enabled;
  }
  bool marksOn = false;
};

class Program {
 public:
  // Without the history: the store's writer thread is not part of the event loop's cost.
  Program() : dir_("plumo-rollcall", "MyName=me\nKeepHistory=0\n") {
    core_ = std::make_unique<TChatCore>(
        dir_.Path(), CoreSurfaces{channels, inputs_, editor_, roster_, window_, sound_, timers, system_},
        host);
    if (!core_->FormCreate()) std::abort();
    const std::string block = U32ToBytes(0) + U32ToBytes(0);
    for (int i = 0; i < kRecipients; ++i) {
      addresses.push_back("10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
      Deliver(sim::Datagram(pkHello, 2, block, {"peer" + std::to_string(i), "1", "", "Main"}),
              addresses.back());
    }
  }
  void Deliver(const std::string& data, const std::string& from) { DeliverDatagram(*core_, data, from); }
  TChatCore& Core() { return *core_; }

  CountingView channels;
  SwitchTimers timers;
  sim::QuietHost host;
  std::vector<std::string> addresses;

 private:
  TBenchDirectory dir_;  // before core_, which goes first
  NoConversations inputs_;
  NoEditor editor_;
  NoRoster roster_;
  NoWindow window_;
  NoSound sound_;
  OneInterface system_;
  std::unique_ptr<TChatCore> core_;
};

double Micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

void BM_RollCall(benchmark::State& state) {
  Program program;
  double tickUs = 0;
  double tickMaxUs = 0;
  double confirmUs = 0;
  std::uint64_t ticks = 0;
  std::uint64_t redraws = 0;
  std::uint64_t confirmations = 0;
  std::int64_t spreadMs = 0;
  for (auto _ : state) {
    const MessageId id = program.Core().Intents().SendToEverybody("the roll-call", false, true).Id;
    const std::uint16_t seq = program.Core().Engine().LastSeq(pkMassMessage);
    const std::uint64_t before = program.channels.changes;
    const std::int64_t start = program.host.now;
    std::int64_t nextTick = start + TDeliveries::kMarkIntervalMs;
    for (int i = 0; i < kRecipients; ++i) {
      const bool second = i >= kFirstRound;
      if (second && i == kFirstRound) {
        program.host.now = start + kResendAtMs;
        program.Core().Engine().ResendTick();
      }
      program.host.now =
          second ? start + kResendAtMs + kRoundMs * (i - kFirstRound + 1) / (kRecipients - kFirstRound)
                 : start + kRoundMs * (i + 1) / kFirstRound;
      const std::string confirm =
          sim::Datagram(pkConfirm, static_cast<std::uint16_t>(i + 1),
                        sim::Be16(pkMassMessage) + sim::Be16(seq), {"peer" + std::to_string(i), "1"});
      const auto t0 = Clock::now();
      program.Deliver(confirm, program.addresses[static_cast<std::size_t>(i)]);
      confirmUs += Micros(Clock::now() - t0);
      ++confirmations;
      // The timer fires as a QTimer would while it is on.
      while (program.host.now >= nextTick) {
        if (program.timers.marksOn) {
          const auto t1 = Clock::now();
          program.Core().Delivery().Tick();
          const double us = Micros(Clock::now() - t1);
          tickUs += us;
          tickMaxUs = std::max(tickMaxUs, us);
          ++ticks;
        }
        nextTick += TDeliveries::kMarkIntervalMs;
      }
    }
    if (program.timers.marksOn) program.Core().Delivery().Tick();
    redraws += program.channels.changes - before;
    spreadMs += kSpreadMs;
    const TSentMessage* m = program.Core().Delivery().Find(id);
    if (!m || m->CountOf(RecipientStatus::Delivered) != kRecipients) {
      std::fprintf(stderr, "recipients %zu delivered %d users %zu\n", m ? m->Recipients.size() : 0,
                   m ? m->CountOf(RecipientStatus::Delivered) : -1,
                   program.Core().Engine().Users().Entries().size());
      state.SkipWithError("not every confirmation counted");
    }
  }
  state.counters["marks_per_s"] = static_cast<double>(redraws) * 1000.0 / static_cast<double>(spreadMs);
  state.counters["tick_us"] = ticks ? tickUs / static_cast<double>(ticks) : 0;
  state.counters["tick_max_us"] = tickMaxUs;
  state.counters["confirm_us"] = confirmations ? confirmUs / static_cast<double>(confirmations) : 0;
}
BENCHMARK(BM_RollCall)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plumo

BENCHMARK_MAIN();
