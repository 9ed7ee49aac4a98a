// SPDX-License-Identifier: GPL-3.0-or-later
// SimLan: a simulated LAN of protocol engines on one virtual clock, for tests.
//
// Every engine runs on a SimHost, the test implementation of PlumoHost. A SimHost has its own
// address (198.18.0.x in the tests), a clock that is the LAN's virtual clock plus an optional
// per-host offset, three timers and a seeded random source. Nothing happens on its own: RunFor and
// RunUntil step the LAN, each step jumping the clock to the earliest datagram delivery or timer
// deadline and handling that one event (deliveries before timers at the same instant, hosts in the
// order they were added). Runs are exactly repeatable for a given seed.
//
// Sending: a datagram to "255.255.255.255" reaches every host whose receiving side is on, the
// sender included; any other address reaches the host with that address (or nobody). Each
// directed link (sender, receiver) has a LinkProfile that may lose, duplicate, delay, jitter and
// reorder datagrams, drawn from a generator seeded from the LAN seed and the two addresses, so the
// fate of the datagrams on one link does not depend on traffic elsewhere. A host's own broadcasts
// come back over its loopback link, which is perfect unless a profile is set for it.
//
// Typical use:
//   SimLan lan(42);
//   TPlumo& a = lan.AddEngine("198.18.0.1");
//   TPlumo& b = lan.AddEngine("198.18.0.2");
//   lan.SetAllLinks({.loss = 0.2});
//   StartUp(a, "anna"); StartUp(b, "boris");
//   lan.RunFor(60'000);
// An engine built elsewhere (for instance inside the client core) is driven by creating it on
// lan.AddHost(address) and handing it over with Attach.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <queue>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "net/host.h"
#include "net/plumo.h"

namespace plumo::sim {

inline constexpr const char* kBroadcast = "255.255.255.255";
// Virtual wall-clock time at which every LAN starts (14 November 2023, in local milliseconds).
inline constexpr std::int64_t kStartMs = 1'700'000'000'000;

// A small deterministic generator (xoshiro256**), identical on every platform.
class SimRandom {
 public:
  explicit SimRandom(std::uint64_t seed);
  std::uint64_t Next();
  // Uniform in [0, 1).
  double Uniform();
  // Uniform in [0, n); 0 when n is 0.
  std::uint32_t Below(std::uint32_t n);
  bool Chance(double p) { return p > 0 && Uniform() < p; }

 private:
  std::uint64_t s_[4];
};

// How one direction of a link treats datagrams. Probabilities lie in [0, 1].
struct LinkProfile {
  double loss = 0.0;
  double duplicate = 0.0;  // a second copy, with its own delay, arrives as well
  double reorder = 0.0;    // the datagram is held back by reorderDelayMs, so later ones overtake it
  int delayMs = 1;         // base one-way delay
  int jitterMs = 0;        // extra delay drawn uniformly from 0 to jitterMs
  int reorderDelayMs = 40;
};

// One datagram on its way from a sender to one receiver.
struct SimDatagram {
  std::int64_t sentMs = 0;
  std::string from;  // sender's address
  std::string dest;  // address text the sender used ("255.255.255.255" for a broadcast)
  std::string to;    // receiver's address
  std::string data;
};

// One datagram as its sender handed it to the host.
struct SentRecord {
  std::int64_t atMs = 0;
  std::string dest;
  std::string data;
};

class SimLan;

// The test host of one engine. Public members may be changed by tests at any time.
class SimHost final : public PlumoHost {
 public:
  SimHost(SimLan& lan, std::string address, std::uint64_t seed);

  bool SendDatagram(const std::string& address, const std::string& data) override;
  std::int64_t NowMs() override;
  void SetTimer(EngineTimer timer, bool enabled, int intervalMs) override;
  std::uint32_t Random(std::uint32_t n) override;
  bool SetReceiving(bool on, int port) override;

  const std::string& Address() const { return address_; }
  // The engine this host drives, or nullptr.
  TPlumo* Engine() const { return engine_; }
  bool Receiving() const { return receiving_; }
  bool TimerEnabled(EngineTimer timer) const { return timers_[Slot(timer)].enabled; }
  int TimerInterval(EngineTimer timer) const { return timers_[Slot(timer)].intervalMs; }
  // Virtual LAN time of the timer's next expiry (meaningless while it is disabled).
  std::int64_t TimerDeadline(EngineTimer timer) const { return timers_[Slot(timer)].deadlineMs; }
  // Datagrams sent by this host since the last ClearSent, in order.
  const std::vector<SentRecord>& Sent() const { return sent_; }
  void ClearSent() { sent_.clear(); }

  // Added to the LAN's clock in NowMs: a machine whose wall clock is off.
  std::int64_t clockOffsetMs = 0;
  // When set, Random draws from it instead of the seeded generator.
  std::function<std::uint32_t(std::uint32_t n)> randomSource;
  // SendDatagram fails (returns false, nothing leaves) while this is true.
  bool failSends = false;
  // SetReceiving(true) fails, as when another program holds the port.
  bool portTaken = false;

 private:
  friend class SimLan;
  struct Timer {
    bool enabled = false;
    int intervalMs = 0;
    std::int64_t deadlineMs = 0;
    std::uint64_t generation = 0;  // bumped at every change; older entries of the LAN's queue are stale
  };
  static int Slot(EngineTimer timer) { return static_cast<int>(timer); }
  void Reset();

  // Arms slot's timer at deadline and tells the LAN.
  void Arm(int slot, std::int64_t deadlineMs);

  SimLan& lan_;
  std::size_t index_ = 0;  // position among the LAN's hosts
  std::string address_;
  SimRandom random_;
  TPlumo* engine_ = nullptr;
  std::unique_ptr<TPlumo> owned_;
  bool receiving_ = false;
  Timer timers_[3];
  std::vector<SentRecord> sent_;
};

class SimLan {
 public:
  explicit SimLan(std::uint64_t seed = 1);
  ~SimLan();
  SimLan(const SimLan&) = delete;
  SimLan& operator=(const SimLan&) = delete;

  // Adds a host with no engine; build one on it and hand it over with Attach.
  SimHost& AddHost(const std::string& address);
  // Adds a host with an engine owned by the LAN; MyAddress is set to the address.
  TPlumo& AddEngine(const std::string& address);
  // Builds a fresh owned engine on the host (set the host's randomSource first to choose its
  // Jitter). An engine already there is destroyed without a farewell, as in a crash: its timers
  // stop, and datagrams still on their way to the host reach the new engine.
  TPlumo& StartEngine(const std::string& address);
  // Lets the host drive an engine owned elsewhere (built on this host); nullptr detaches it.
  void Attach(SimHost& host, TPlumo* engine);

  // The host with this address; Host throws when there is none, FindHost gives nullptr.
  SimHost& Host(const std::string& address);
  SimHost* FindHost(const std::string& address);
  TPlumo& Engine(const std::string& address);
  const std::vector<std::unique_ptr<SimHost>>& Hosts() const { return hosts_; }

  // Link behaviour. A profile set for one direction overrides the default for all links.
  void SetAllLinks(const LinkProfile& profile) { default_ = profile; }
  void SetLink(const std::string& from, const std::string& to, const LinkProfile& profile);
  // Sets both directions between a and b.
  void SetLinks(const std::string& a, const std::string& b, const LinkProfile& profile);
  // Called for every datagram before its link profile applies; returning true drops it.
  std::function<bool(const SimDatagram&)> dropIf;
  // Called once for every datagram a host sends, before it fans out to receivers; returning true
  // drops it for all of them (it still counts as sent by the host).
  std::function<bool(const std::string& from, const std::string& dest, const std::string& data)> dropSend;
  // Called for every datagram just before it reaches its receiver.
  std::function<void(const SimDatagram&)> onDeliver;
  // Links without a profile of their own and a perfect default keep no state at all: for LANs of
  // hundreds of hosts, whose every pair would otherwise hold a link. Set it before any traffic.
  bool statelessPerfectLinks = false;

  // Delivers data to the host at to as if sent by from (which need not be a host), after delayMs,
  // bypassing link profiles and dropIf.
  void Inject(const std::string& from, const std::string& to, std::string data, std::int64_t delayMs = 0);

  std::int64_t NowMs() const { return nowMs_; }
  // Handles every event due within ms, then leaves the clock at now + ms.
  void RunFor(std::int64_t ms);
  // Steps until pred() holds (checked before the first step and after each one) or limitMs of
  // virtual time have passed; returns pred().
  bool RunUntil(const std::function<bool()>& pred, std::int64_t limitMs);
  // Handles the single next event if it is due at or before untilMs; false when there is none.
  bool Step(std::int64_t untilMs);

  struct Stats {
    std::uint64_t sent = 0;       // datagrams handed to the LAN, one per receiver
    std::uint64_t delivered = 0;  // datagrams handed to an engine
    std::uint64_t lost = 0;       // dropped by loss or dropIf
    std::uint64_t duplicated = 0;
  };
  const Stats& Statistics() const { return stats_; }

 private:
  friend class SimHost;
  struct Link {
    LinkProfile profile;
    bool custom = false;
    SimRandom random;
  };
  struct InFlight {
    std::int64_t atMs;
    std::uint64_t order;
    SimDatagram datagram;
    bool operator>(const InFlight& other) const {
      return atMs != other.atMs ? atMs > other.atMs : order > other.order;
    }
  };

  void Send(SimHost& from, const std::string& dest, const std::string& data);
  void Route(SimHost& from, SimHost& to, const std::string& dest, const std::string& data);
  void Schedule(std::int64_t atMs, SimDatagram datagram);
  // Timer expiries in the order the hosts' timers fire: by deadline, then host, then slot (a
  // stale entry, whose timer changed since, is skipped when it comes up).
  struct TimerEntry {
    std::int64_t atMs;
    std::size_t host;
    int slot;
    std::uint64_t generation;
    bool operator>(const TimerEntry& o) const {
      if (atMs != o.atMs) return atMs > o.atMs;
      if (host != o.host) return host > o.host;
      return slot > o.slot;
    }
  };
  void QueueTimer(const SimHost& host, int slot);
  Link& LinkFor(const std::string& from, const std::string& to);

  std::uint64_t seed_;
  std::int64_t nowMs_ = kStartMs;
  std::uint64_t order_ = 0;
  LinkProfile default_;
  std::vector<std::unique_ptr<SimHost>> hosts_;
  std::unordered_map<std::string, SimHost*> byAddress_;
  std::map<std::pair<std::string, std::string>, Link> links_;
  std::priority_queue<InFlight, std::vector<InFlight>, std::greater<>> queue_;
  std::priority_queue<TimerEntry, std::vector<TimerEntry>, std::greater<>> timers_;
  Stats stats_;
};

}  // namespace plumo::sim
