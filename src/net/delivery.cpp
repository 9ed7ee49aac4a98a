// Reliable delivery: the ring of kept datagrams, resends of unconfirmed ones and answers to resend requests.
#include <algorithm>
#include <unordered_map>

#include "net/plumo.h"

namespace plumo {

void TPlumo::RememberSent(const std::string& dest, std::uint16_t type, const std::string& data) {
  CmdRec rec{type, counters_.Current(type), dest, data};
  if (history_.size() < kHistorySize) {
    history_.push_back(std::move(rec));
    historyPos_ = 0;
    return;
  }
  if (historyPos_ >= kHistorySize) historyPos_ = 0;
  history_[historyPos_] = std::move(rec);
  if (historyPos_ < kHistorySize) ++historyPos_;
}

void TPlumo::ResendRange(const std::string& address, std::uint16_t packetType, std::uint16_t firstSeq,
                         std::uint16_t lastSeq) {
  // Wrap-aware: a range that crosses 65535 -> 0 still covers the numbers in between.
  const std::uint16_t span = static_cast<std::uint16_t>(lastSeq - firstSeq);
  for (const auto& rec : history_) {
    if (rec.PacketType != packetType) continue;
    if (static_cast<std::uint16_t>(rec.Seq - firstSeq) > span) continue;
    if (rec.Dest == address || rec.Dest == BroadcastAddress) SendTo(address, rec.Data);
  }
}

void TPlumo::ResendTick() {
  EnableResendTimer(false);
  // Slots of the ring by (type, number), so that each pending item finds its records directly.
  std::unordered_multimap<std::uint32_t, std::size_t> slots;
  slots.reserve(history_.size());
  for (std::size_t s = 0; s < history_.size(); ++s) {
    slots.emplace((std::uint32_t{history_[s].PacketType} << 16) | history_[s].Seq, s);
  }
  const int count = users_.Count();
  for (int e = 0; e < count; ++e) {
    AChuvakInfo* entry = users_.Entry(e);
    if (!entry || entry->Pending.empty()) continue;
    const std::string address = entry->Address;
    std::vector<bool> gone(entry->Pending.size(), false);
    for (std::size_t p = 0; p < entry->Pending.size(); ++p) {
      PendingItem& item = entry->Pending[p];
      auto [first, last] = slots.equal_range((std::uint32_t{item.PacketType} << 16) | item.Seq);
      if (first == last) {
        gone[p] = true;  // its datagram has left the ring: it can never be resent
        continue;
      }
      // Records in slot order, as the ring holds them.
      std::vector<std::size_t> matching;
      for (auto it = first; it != last; ++it) matching.push_back(it->second);
      std::sort(matching.begin(), matching.end());
      for (std::size_t s : matching) {
        const CmdRec& rec = history_[s];
        if ((rec.Dest == address || rec.Dest == BroadcastAddress) && item.TriesLeft > 0) {
          SendTo(address, rec.Data);
          --item.TriesLeft;
          EnableResendTimer(true);
        }
      }
    }
    std::size_t keep = 0;
    for (std::size_t p = 0; p < entry->Pending.size(); ++p) {
      if (!gone[p]) entry->Pending[keep++] = entry->Pending[p];
    }
    entry->Pending.resize(keep);
  }
}

}  // namespace plumo
