// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/simlan.h"

#include <limits>
#include <stdexcept>

namespace plumo::sim {

namespace {

std::uint64_t SplitMix(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// FNV-1a, so that link seeds depend only on the addresses, not on the standard library.
std::uint64_t Hash(std::string_view text, std::uint64_t h = 0xCBF29CE484222325ULL) {
  for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ULL;
  return h;
}

std::uint64_t Rotl(std::uint64_t x, int k) {
  return (x << k) | (x >> (64 - k));
}

}  // namespace

SimRandom::SimRandom(std::uint64_t seed) {
  for (auto& s : s_) s = SplitMix(seed);
}

std::uint64_t SimRandom::Next() {
  const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
  const std::uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = Rotl(s_[3], 45);
  return result;
}

double SimRandom::Uniform() {
  return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::uint32_t SimRandom::Below(std::uint32_t n) {
  return n == 0 ? 0 : static_cast<std::uint32_t>(Next() % n);
}

// ---------------------------------------------------------------------------------------------

SimHost::SimHost(SimLan& lan, std::string address, std::uint64_t seed)
    : lan_(lan), address_(std::move(address)), random_(seed) {}

bool SimHost::SendDatagram(const std::string& address, const std::string& data) {
  if (failSends) return false;
  sent_.push_back({lan_.NowMs(), address, data});
  lan_.Send(*this, address, data);
  return true;
}

std::int64_t SimHost::NowMs() {
  return lan_.NowMs() + clockOffsetMs;
}

void SimHost::SetTimer(EngineTimer timer, bool enabled, int intervalMs) {
  const int slot = Slot(timer);
  Timer& t = timers_[slot];
  t.enabled = enabled;
  t.intervalMs = intervalMs > 0 ? intervalMs : 1;
  ++t.generation;
  if (enabled) Arm(slot, lan_.NowMs() + t.intervalMs);
}

void SimHost::Arm(int slot, std::int64_t deadlineMs) {
  Timer& t = timers_[slot];
  t.deadlineMs = deadlineMs;
  ++t.generation;
  lan_.QueueTimer(*this, slot);
}

std::uint32_t SimHost::Random(std::uint32_t n) {
  if (randomSource) return n == 0 ? 0 : randomSource(n) % n;
  return random_.Below(n);
}

bool SimHost::SetReceiving(bool on, int /*port*/) {
  receiving_ = on && !portTaken;
  return receiving_;
}

void SimHost::Reset() {
  for (auto& t : timers_) t = Timer{.generation = t.generation + 1};
  receiving_ = false;
}

// ---------------------------------------------------------------------------------------------

SimLan::SimLan(std::uint64_t seed) : seed_(seed) {}

SimLan::~SimLan() {
  // Engines are destroyed first: their destructors may still talk to their hosts.
  for (auto& host : hosts_) host->owned_.reset();
}

SimHost& SimLan::AddHost(const std::string& address) {
  if (byAddress_.count(address)) throw std::invalid_argument("SimLan: address in use: " + address);
  hosts_.push_back(std::make_unique<SimHost>(*this, address, seed_ ^ Hash(address)));
  hosts_.back()->index_ = hosts_.size() - 1;
  byAddress_[address] = hosts_.back().get();
  return *hosts_.back();
}

TPlumo& SimLan::AddEngine(const std::string& address) {
  AddHost(address);
  return StartEngine(address);
}

TPlumo& SimLan::StartEngine(const std::string& address) {
  SimHost& host = Host(address);
  host.engine_ = nullptr;
  host.owned_.reset();
  host.Reset();
  host.owned_ = std::make_unique<TPlumo>(host);
  host.owned_->MyAddress = address;
  host.engine_ = host.owned_.get();
  return *host.engine_;
}

void SimLan::Attach(SimHost& host, TPlumo* engine) {
  host.engine_ = engine;
  // Timers that came due while the host had no engine fire now that it has one.
  for (int slot = 0; slot < 3; ++slot) {
    if (host.timers_[slot].enabled) QueueTimer(host, slot);
  }
}

void SimLan::QueueTimer(const SimHost& host, int slot) {
  const SimHost::Timer& t = host.timers_[slot];
  timers_.push({t.deadlineMs, host.index_, slot, t.generation});
}

SimHost* SimLan::FindHost(const std::string& address) {
  auto it = byAddress_.find(address);
  return it == byAddress_.end() ? nullptr : it->second;
}

SimHost& SimLan::Host(const std::string& address) {
  SimHost* host = FindHost(address);
  if (!host) throw std::invalid_argument("SimLan: no host " + address);
  return *host;
}

TPlumo& SimLan::Engine(const std::string& address) {
  SimHost& host = Host(address);
  if (!host.engine_) throw std::invalid_argument("SimLan: no engine on " + address);
  return *host.engine_;
}

SimLan::Link& SimLan::LinkFor(const std::string& from, const std::string& to) {
  auto key = std::make_pair(from, to);
  auto it = links_.find(key);
  if (it == links_.end()) {
    const std::uint64_t linkSeed = seed_ ^ Hash(to, Hash(from)) * 31;
    it = links_.emplace(key, Link{LinkProfile{}, false, SimRandom(linkSeed)}).first;
  }
  return it->second;
}

void SimLan::SetLink(const std::string& from, const std::string& to, const LinkProfile& profile) {
  Link& link = LinkFor(from, to);
  link.profile = profile;
  link.custom = true;
}

void SimLan::SetLinks(const std::string& a, const std::string& b, const LinkProfile& profile) {
  SetLink(a, b, profile);
  SetLink(b, a, profile);
}

void SimLan::Send(SimHost& from, const std::string& dest, const std::string& data) {
  if (dropSend && dropSend(from.address_, dest, data)) return;
  if (dest == kBroadcast) {
    for (auto& host : hosts_) {
      if (host->receiving_) Route(from, *host, dest, data);
    }
  } else if (SimHost* to = FindHost(dest); to && to->receiving_) {
    Route(from, *to, dest, data);
  }
}

void SimLan::Route(SimHost& from, SimHost& to, const std::string& dest, const std::string& data) {
  ++stats_.sent;
  SimDatagram datagram{nowMs_, from.address_, dest, to.address_, data};
  if (dropIf && dropIf(datagram)) {
    ++stats_.lost;
    return;
  }
  // The loopback path is perfect unless a test set it up otherwise.
  const LinkProfile perfect{0, 0, 0, 0, 0, 0};
  if (statelessPerfectLinks && default_.loss == 0 && default_.duplicate == 0 && default_.reorder == 0 &&
      default_.jitterMs == 0 && !links_.count({from.address_, to.address_})) {
    Schedule(nowMs_ + (&from == &to ? 0 : default_.delayMs), std::move(datagram));
    return;
  }
  Link& link = LinkFor(from.address_, to.address_);
  const LinkProfile& p = link.custom ? link.profile : (&from == &to ? perfect : default_);
  // Every draw is made whatever the outcome, so one datagram always consumes the same randomness.
  const bool lost = link.random.Chance(p.loss);
  const bool duplicate = link.random.Chance(p.duplicate);
  auto delay = [&] {
    std::int64_t d = p.delayMs + link.random.Below(static_cast<std::uint32_t>(p.jitterMs) + 1);
    if (link.random.Chance(p.reorder)) d += p.reorderDelayMs;
    return d;
  };
  const std::int64_t first = delay();
  const std::int64_t second = delay();
  if (lost) {
    ++stats_.lost;
    return;
  }
  if (duplicate) {
    ++stats_.duplicated;
    Schedule(nowMs_ + second, datagram);
  }
  Schedule(nowMs_ + first, std::move(datagram));
}

void SimLan::Schedule(std::int64_t atMs, SimDatagram datagram) {
  queue_.push(InFlight{atMs, order_++, std::move(datagram)});
}

void SimLan::Inject(const std::string& from, const std::string& to, std::string data, std::int64_t delayMs) {
  Schedule(nowMs_ + delayMs, SimDatagram{nowMs_, from, to, to, std::move(data)});
}

bool SimLan::Step(std::int64_t untilMs) {
  std::int64_t next = queue_.empty() ? std::numeric_limits<std::int64_t>::max() : queue_.top().atMs;
  // The earliest live timer of a host with an engine; stale entries are dropped, and a timer of a
  // host without an engine waits for Attach to queue it again.
  SimHost* timerHost = nullptr;
  int timerSlot = 0;
  while (!timers_.empty()) {
    const TimerEntry top = timers_.top();
    SimHost& host = *hosts_[top.host];
    const SimHost::Timer& t = host.timers_[top.slot];
    if (!t.enabled || t.generation != top.generation || !host.engine_) {
      timers_.pop();
      continue;
    }
    // Strictly earlier only: at equal times deliveries go first, then hosts in order.
    if (top.atMs < next) {
      next = top.atMs;
      timerHost = &host;
      timerSlot = top.slot;
    }
    break;
  }
  if (next > untilMs) return false;
  nowMs_ = next;
  if (timerHost) {
    timers_.pop();
    // A repeating timer; the tick may stop or restart it.
    timerHost->Arm(timerSlot, nowMs_ + timerHost->timers_[timerSlot].intervalMs);
    if (timerSlot == 0) {
      timerHost->engine_->ResendTick();
    } else if (timerSlot == 1) {
      timerHost->engine_->PresenceTick();
    } else {
      timerHost->engine_->PingTick();
    }
    return true;
  }
  SimDatagram datagram = std::move(const_cast<InFlight&>(queue_.top()).datagram);
  queue_.pop();
  SimHost* to = FindHost(datagram.to);
  if (!to || !to->receiving_ || !to->engine_) return true;
  ++stats_.delivered;
  if (onDeliver) onDeliver(datagram);
  // An exactly sized heap copy, so that the sanitizers catch any read past the datagram.
  auto bytes = std::make_unique<std::uint8_t[]>(datagram.data.size());
  std::copy(datagram.data.begin(), datagram.data.end(), bytes.get());
  to->engine_->DataReceived(bytes.get(), static_cast<long>(datagram.data.size()), datagram.from,
                            kDefaultPort);
  return true;
}

void SimLan::RunFor(std::int64_t ms) {
  const std::int64_t until = nowMs_ + ms;
  while (Step(until)) {
  }
  nowMs_ = until;
}

bool SimLan::RunUntil(const std::function<bool()>& pred, std::int64_t limitMs) {
  const std::int64_t until = nowMs_ + limitMs;
  while (!pred()) {
    if (!Step(until)) {
      nowMs_ = until;
      return pred();
    }
  }
  return true;
}

}  // namespace plumo::sim
