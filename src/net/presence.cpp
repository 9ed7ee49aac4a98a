// SPDX-License-Identifier: GPL-3.0-or-later
// Presence: pings for silent peers, dropping lost ones, and the roster list of a quiet engine.
#include <algorithm>
#include <cstdlib>

#include "net/plumo.h"

namespace plumo {

void TPlumo::PresenceTick() {
  EnablePresenceTimer(false);
  // L, 3 L and 4 L: the ping, certain-ping and loss thresholds, as the protocol names them.
  const std::int64_t L = PingThreshold();  // NOLINT(readability-identifier-naming)
  const std::int64_t now = host_.NowMs();
  std::vector<int> lost;
  std::vector<std::string> pings;
  const int count = users_.Count();
  for (int e = 0; e < count; ++e) {
    const AChuvakInfo* entry = users_.Entry(e);
    if (!entry || (entry->Nick == nick_ && entry->Address == MyAddress)) continue;
    const std::int64_t s = std::llabs(now - entry->LastSeen) / 1000;
    if (L <= s && s < 4 * L && (host_.Random(static_cast<std::uint32_t>(users_.Count())) == 1 || s > 3 * L)) {
      pings.push_back(entry->Nick);
    }
    if (s > 4 * L) {
      lost.push_back(e);
      EndAll(*entry, DeliveryOutcome::PeerLost);
      if (events_) events_->OnUserLost(entry->Nick, *entry);
    } else {
      TagPing(e);  // the second ping for a tag, or a first one the budget held back
    }
  }
  // The first few at once, the rest spread over half the period (PingTick).
  pingQueue_.clear();
  for (std::size_t k = 0; k < pings.size(); ++k) {
    if (k < kPingBurst) {
      SendPing(pings[k]);
    } else {
      pingQueue_.push_back(std::move(pings[k]));
    }
  }
  if (!pingQueue_.empty()) {
    const auto spacing = static_cast<int>(kPresenceIntervalMs / 2 / static_cast<int>(pingQueue_.size()));
    host_.SetTimer(EngineTimer::Ping, true, std::max(spacing, 1));
  }
  if (quietTicks_ > 2) {
    SendRosterList();
  } else {
    ++quietTicks_;
  }
  // Highest position first, so that the positions still to delete stay valid.
  for (auto it = lost.rbegin(); it != lost.rend(); ++it) users_.Delete(*it);
  EnablePresenceTimer(true);
  TellUntold();
}

void TPlumo::PingTick() {
  if (!pingQueue_.empty()) {
    const std::string nick = std::move(pingQueue_.front());
    pingQueue_.pop_front();
    // A peer heard from meanwhile, or gone, needs no ping any more.
    const int i = users_.Find(nick, BroadcastAddress);
    if (const AChuvakInfo* e = users_.Entry(i);
        e && std::llabs(host_.NowMs() - e->LastSeen) / 1000 >= PingThreshold())
      SendPing(nick);
  }
  if (pingQueue_.empty()) host_.SetTimer(EngineTimer::Ping, false, 0);
}

}  // namespace plumo
