// Presence: pings for silent peers, dropping lost ones, and the roster list of a quiet engine.
#include <cstdlib>

#include "net/plumo.h"

namespace plumo {

void TPlumo::PresenceTick() {
  EnablePresenceTimer(false);
  const std::int64_t L = PingThreshold();
  const std::int64_t now = host_.NowMs();
  std::vector<int> lost;
  const int count = users_.Count();
  for (int e = 0; e < count; ++e) {
    const AChuvakInfo* entry = users_.Entry(e);
    if (!entry || (entry->Nick == nick_ && entry->Address == MyAddress)) continue;
    const std::int64_t s = std::llabs(now - entry->LastSeen) / 1000;
    if (L <= s && s < 4 * L && (host_.Random(static_cast<std::uint32_t>(users_.Count())) == 1 || s > 3 * L)) {
      SendPing(entry->Nick);
    }
    if (s > 4 * L) {
      lost.push_back(e);
      if (events_) events_->OnUserLost(entry->Nick, *entry);
    }
  }
  if (quietTicks_ > 2) {
    SendRosterList();
  } else {
    ++quietTicks_;
  }
  // Highest position first, so that the positions still to delete stay valid.
  for (auto it = lost.rbegin(); it != lost.rend(); ++it) users_.Delete(*it);
  EnablePresenceTimer(true);
}

}  // namespace plumo
