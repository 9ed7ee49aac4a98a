// SPDX-License-Identifier: GPL-3.0-or-later
// The headless peer's ingest of private messages: datagrams handed to the engine of a client core
// with no window (every surface does nothing), each raising the event the core presents as a reply
// tab and a stored line. BM_Ingest/0 takes plain messages from a peer without a key, BM_Ingest/1
// encrypted ones (envelope version 1, between identity keys) from a peer whose key came in its
// hello's tag (opened, counter checked, key sighted, receipt made), BM_Ingest/2 the same as version 2
// (between medium-term keys, forward secrecy). The messages are built before the clock runs: sealing
// is the sender's cost.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/chatcore.h"
#include "core/private_talk.h"
#include "net/codec.h"
#include "secure/private_box.h"
#include "support/datagrams.h"
#include "support/quiet_host.h"
#include "support/silent_surfaces.h"

namespace plumo {
namespace {

constexpr int kMessages = 20000;

// A core named "me" at 198.18.0.1 that knows anna (198.18.0.10, with a key) and bob (198.18.0.11,
// without one).
class Program {
 public:
  Program() : dir_("plumo-ingest", "MyName=me\n") {
    core_ = std::make_unique<TChatCore>(
        dir_.Path(), CoreSurfaces{channels_, inputs_, editor_, roster_, window_, sound_, timers_, system_},
        host_);
    if (!core_->FormCreate()) std::abort();
    const std::string block = U32ToBytes(0) + U32ToBytes(0);
    anna_.RenewMedium(TPrivateTalk::MediumNow());
    const std::string tag =
        "\x01PLUMO/1 k=" + secure::KeyText(anna_.Public()) + " e=" + secure::MediumText(*anna_.Medium());
    Deliver(sim::Datagram(pkHello, 2, block, {"anna", "1", "", "Main", tag}), "198.18.0.10");
    Deliver(sim::Datagram(pkHello, 2, block, {"bob", "1", "", "Main"}), "198.18.0.11");
  }
  void Deliver(const std::string& data, const std::string& from) { DeliverDatagram(*core_, data, from); }
  // The private messages to ingest, as datagrams.
  std::vector<std::string> Messages(int version, int count) {
    const bool encrypted = version != 0;
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
      const std::string text = "message number " + std::to_string(i) +
                               " about the game tonight, and who brings "
                               "the ball, the drinks and the keys to the gym";
      std::string field = text;
      const secure::TIdentity& own = core_->PrivateTalk().Keyring().Identity();
      if (version == 1)
        field = secure::Seal(anna_, ownKey(), ++counter_, secure::BodyKind::Text, "anna", text)->Field;
      if (version == 2)
        field = secure::Seal(anna_, ownKey(), *own.Medium(), TPrivateTalk::MediumNow(), ++counter_,
                             secure::BodyKind::Text, "anna", text)
                    ->Field;
      out.push_back(sim::Datagram(pkPrivateMessage, static_cast<std::uint16_t>(i % 65000 + 1), "",
                                  {encrypted ? "anna" : "bob", "me", field}));
    }
    return out;
  }
  const secure::PublicKey& ownKey() { return core_->PrivateTalk().Keyring().Identity().Public(); }

 private:
  TBenchDirectory dir_;  // before core_, which goes first
  NoConversations channels_;
  NoConversations inputs_;
  NoEditor editor_;
  NoRoster roster_;
  NoWindow window_;
  NoSound sound_;
  NoTimers timers_;
  OneInterface system_;
  sim::QuietHost host_;
  std::unique_ptr<TChatCore> core_;
  secure::TIdentity anna_ = secure::TIdentity::Generate();
  std::uint64_t counter_ = 0;
};

void BM_Ingest(benchmark::State& state) {
  secure::SecureInit();
  const bool encrypted = state.range(0) != 0;
  Program program;
  const std::vector<std::string> messages = program.Messages(static_cast<int>(state.range(0)), kMessages);
  const std::string from = encrypted ? "198.18.0.10" : "198.18.0.11";
  std::size_t next = 0;
  for (auto _ : state) program.Deliver(messages[next++ % messages.size()], from);
  state.SetItemsProcessed(state.iterations());
  state.counters["bytes_per_message"] = static_cast<double>(messages.front().size());
}
BENCHMARK(BM_Ingest)->Arg(0)->Arg(1)->Arg(2)->Iterations(kMessages)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace plumo

BENCHMARK_MAIN();
