// SPDX-License-Identifier: GPL-3.0-or-later
// Reliable delivery: the numbering of datagrams, the ring of kept datagrams, confirmations, resends
// of unconfirmed datagrams and answers to resend requests.
//
// A confirmation names only the packet type and number it confirms, and it is broadcast. When a
// peer confirms somebody else's datagram (or its own mass message) that carries the same type and
// number as one of ours still waiting for that peer, and our datagram was lost, taking that
// confirmation for ours would end the resends and lose the datagram for good. Two things keep
// such confirmations rare and harmless:
// - Numbers: every run starts the counter of every type at its own random place, so the numbers
//   of two programs meet only by chance (programs that all began at 1 met all the time).
// - Time: a confirmation is sent the moment a datagram arrives, and on a LAN it is back within
//   milliseconds of the transmission it answers. While a datagram is still being resent, only a
//   confirmation that comes within kConfirmWindowMs of its last transmission to that peer counts;
//   a later one answers somebody else's. Were it ours after all (a peer that stalled), the next
//   resend is confirmed in time; and once the tries are used up, any confirmation counts.
// A pending item already belongs to the peer at the confirmation's source address, so a
// confirmation from one peer never touches what another peer owes.
//
// Receipts. A private message sent as an envelope awaits a receipt: a hidden field (field 3) that
// only its recipient can make, and only after opening it. Such an item counts as confirmed only by a
// confirmation from its entry carrying exactly that receipt, at any time, also after the tries; a
// confirmation without it (forged, an impostor at the address, another program) never ends the
// resends. When the tries are used up without it, the user is told it was not delivered (and a
// receipt that still comes later confirms it after all). Resends send the kept bytes, the same
// envelope, so the recipient's guard sees a repeat and confirms it with the same receipt.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/plumo.h"

namespace plumo {

// The lower half of the range leaves at least 32767 numbers before a counter wraps. A peer that knew
// our previous run and misses our new hello (and nick change) sees our new numbers either ahead of
// the old ones, as a gap it asks us to fill (we answer nothing: the ring holds only this run), or
// far behind them, as a new numbering (TUsers::RecordReceived).
void TPlumo::StartCounters() {
  for (std::uint16_t type = pkHello; type <= pkBell; ++type) {
    auto start = static_cast<std::uint16_t>(host_.Random(kSeqStartRange));
    if (type == pkHello) start &= 0xFFFE;  // each hello moves the counter twice: its numbers stay even
    counters_.Set(type, start);
  }
}

void TPlumo::DropDeliveryGuards() {
  guards_ = false;
  for (std::uint16_t type = pkHello; type <= pkBell; ++type) counters_.Set(type, 0);
}

namespace {
// Compares a received receipt with the awaited one in time that depends only on their lengths, so that
// a forger learns nothing from how fast a guess is turned down.
bool SameReceipt(const std::string& awaited, const std::string& received) {
  if (awaited.size() != received.size()) return false;
  unsigned difference = 0;
  for (std::size_t k = 0; k < awaited.size(); ++k) {
    difference |= static_cast<unsigned char>(awaited[k]) ^ static_cast<unsigned char>(received[k]);
  }
  return difference == 0;
}

// Whether the user is still to be told if the item ends unconfirmed: it has tries left, or it awaits a
// receipt and its end has not been told yet.
bool Undecided(const PendingItem& item) {
  return item.TriesLeft > 0 || (!item.Receipt.empty() && !item.NotDeliveredTold);
}
}  // namespace

// An acknowledgement is sent to us alone and names a mass message of ours that asked for it, so it
// answers nobody else's datagram: it counts without the window.
bool TPlumo::TakeConfirmation(int userIndex, std::uint16_t type, std::uint16_t seq, const std::string& hidden,
                              bool offline, bool acknowledgement) {
  AChuvakInfo* entry = users_.Entry(userIndex);
  if (!entry) return false;
  for (auto it = entry->Pending.begin(); it != entry->Pending.end(); ++it) {
    if (it->PacketType != type || it->Seq != seq) continue;
    if (!it->Receipt.empty()) {
      if (!SameReceipt(it->Receipt, hidden)) return false;
    } else if (!acknowledgement && guards_ && it->TriesLeft > 0 &&
               host_.NowMs() - it->SentMs > kConfirmWindowMs) {
      return false;
    }
    // An offline peer's program confirms what it does not show. After another end has been
    // reported, only a confirmation that means delivered is worth a second report.
    if (!it->Ended) {
      Report(*entry, *it, offline ? DeliveryOutcome::PeerOffline : DeliveryOutcome::Delivered);
    } else if (!offline) {
      Report(*entry, *it, DeliveryOutcome::Delivered, true);
    }
    entry->Pending.erase(it);
    return true;
  }
  return false;
}

bool TPlumo::TakeAcknowledgement(const std::string& address, std::uint16_t seq, bool& fresh) {
  fresh = false;
  const auto it = std::find_if(asked_.begin(), asked_.end(), [&](const Asked& a) { return a.Seq == seq; });
  if (it == asked_.end()) return false;
  fresh = it->By.insert(address).second;
  return true;
}

void TPlumo::Report(const AChuvakInfo& entry, const PendingItem& item, DeliveryOutcome outcome, bool late) {
  untold_.push_back({false, TDeliveryReport{.PacketType = item.PacketType,
                                            .Seq = item.Seq,
                                            .Nick = entry.Nick,
                                            .Address = entry.Address,
                                            .Outcome = outcome,
                                            .AtMs = host_.NowMs(),
                                            .Late = late}});
}

void TPlumo::EndAll(const AChuvakInfo& entry, DeliveryOutcome outcome) {
  for (const PendingItem& item : entry.Pending) {
    if (!item.Ended) Report(entry, item, outcome);
  }
}

void TPlumo::TellUntold() {
  if (telling_) return;
  telling_ = true;
  while (!untold_.empty()) {
    const Untold u = std::move(untold_.front());
    untold_.pop_front();
    if (u.Notice) {
      Notice(EngineNotice::NotDelivered, u.Report.Nick, {u.Report.Address}, u.Report.PacketType);
    } else if (events_) {
      events_->OnDelivery(u.Report);
    }
  }
  telling_ = false;
}

namespace {
// Types whose kept datagrams can wait for confirmations (AddPending).
bool CanBePending(std::uint16_t type) {
  return type == pkPrivateMessage || type == pkMassMessage || type == pkBell;
}
}  // namespace

// Items that have not ended have tries left or are in their grace time after the last one.
bool TPlumo::Awaited(std::uint16_t type, std::uint16_t seq) const {
  for (const auto& entry : users_.Entries()) {
    for (const auto& item : entry->Pending) {
      if (item.PacketType == type && item.Seq == seq && !item.Ended) return true;
    }
  }
  return false;
}

// Called while a send is putting its datagram into the ring: what it has to tell is queued.
void TPlumo::GiveUp(std::uint16_t type, std::uint16_t seq) {
  for (int e = 0; e < users_.Count(); ++e) {
    AChuvakInfo* entry = users_.Entry(e);
    auto& pending = entry->Pending;
    const auto it = std::find_if(pending.begin(), pending.end(),
                                 [&](const PendingItem& p) { return p.PacketType == type && p.Seq == seq; });
    if (it == pending.end()) continue;
    if (Undecided(*it))
      untold_.push_back({true, {.PacketType = type, .Nick = entry->Nick, .Address = entry->Address}});
    if (!it->Ended) Report(*entry, *it, DeliveryOutcome::Overwritten);
    pending.erase(it);
  }
}

// The ring keeps the last kHistorySize kept datagrams. One that a peer still has to confirm, with
// tries left or in the grace time after its last one, is not lost when the ring comes round to its
// slot (a burst of confirmations can fill the ring within a second): it moves to held_, where
// ResendTick still finds it until it is confirmed or its item has ended. Only past kHeldLimit such
// datagrams is the oldest given up, and then the user is told.
void TPlumo::RememberSent(const std::string& dest, std::uint16_t type, const std::string& data) {
  CmdRec rec{type, counters_.Current(type), dest, data};
  if (history_.size() < kHistorySize) {
    history_.push_back(std::move(rec));
    historyPos_ = 0;
    return;
  }
  if (historyPos_ >= kHistorySize) historyPos_ = 0;
  CmdRec& slot = history_[historyPos_];
  if (guards_ && CanBePending(slot.PacketType) && Awaited(slot.PacketType, slot.Seq)) {
    held_.push_back(std::move(slot));
    if (held_.size() > kHeldLimit) {
      const CmdRec oldest = std::move(held_.front());
      held_.pop_front();
      GiveUp(oldest.PacketType, oldest.Seq);
    }
  }
  slot = std::move(rec);
  if (historyPos_ < kHistorySize) ++historyPos_;
}

bool TPlumo::TakeResendBudget(const std::string& address, std::size_t bytes) {
  const std::int64_t now = host_.NowMs();
  auto [it, added] = resendBuckets_.try_emplace(address);
  Bucket& b = it->second;
  if (added) {
    b.AtMs = now;
    // Once many addresses have asked, forget those whose buckets have refilled (a forgotten asker
    // starts full, as it would be by now); should even that leave too many, forget all but this one.
    const auto limit = static_cast<std::size_t>(TUsers::kMaxEntries);
    if (resendBuckets_.size() > limit) {
      const auto refillMs = static_cast<std::int64_t>(1000 * kResendBurstBytes / kResendBytesPerSecond);
      std::erase_if(resendBuckets_, [&](const auto& p) {
        return p.first != address && std::llabs(now - p.second.AtMs) > refillMs;
      });
    }
    if (resendBuckets_.size() > 2 * limit) {
      std::erase_if(resendBuckets_, [&](const auto& p) { return p.first != address; });
    }
  }
  const double seconds = static_cast<double>(std::llabs(now - b.AtMs)) / 1000.0;
  b.AtMs = now;
  b.Datagrams = std::min(kResendBurstDatagrams, b.Datagrams + seconds * kResendDatagramsPerSecond);
  b.Bytes = std::min(kResendBurstBytes, b.Bytes + seconds * kResendBytesPerSecond);
  const auto need = static_cast<double>(bytes);
  if (b.Datagrams < 1 || b.Bytes < need) return false;
  b.Datagrams -= 1;
  b.Bytes -= need;
  return true;
}

void TPlumo::ResendRange(const std::string& address, std::uint16_t packetType, std::uint16_t firstSeq,
                         std::uint16_t lastSeq) {
  // Wrap-aware: a range that crosses 65535 -> 0 still covers the numbers in between. No gap that a
  // resend can fill is longer than the ring: a longer range (an inverted one reads as almost the
  // whole circle) is cut to the ring's size from its first number.
  auto span = static_cast<std::uint16_t>(lastSeq - firstSeq);
  if (span >= kHistorySize) span = static_cast<std::uint16_t>(kHistorySize - 1);
  AChuvakInfo* asker = users_.Entry(users_.Find(std::string(), address));
  // Records in number order from firstSeq, so that a budget running out keeps the oldest ones.
  std::vector<const CmdRec*> wanted;
  for (const auto& rec : history_) {
    if (rec.PacketType != packetType) continue;
    if (static_cast<std::uint16_t>(rec.Seq - firstSeq) > span) continue;
    if (rec.Dest != address && rec.Dest != BroadcastAddress) continue;
    wanted.push_back(&rec);
  }
  std::sort(wanted.begin(), wanted.end(), [&](const CmdRec* a, const CmdRec* b) {
    return static_cast<std::uint16_t>(a->Seq - firstSeq) < static_cast<std::uint16_t>(b->Seq - firstSeq);
  });
  for (const CmdRec* rec : wanted) {
    if (!TakeResendBudget(address, rec->Data.size())) break;
    SendTo(address, rec->Data);
    if (!asker) continue;
    // The asker's confirmation of this copy is as good as one of a resend.
    for (auto& item : asker->Pending) {
      if (item.PacketType == rec->PacketType && item.Seq == rec->Seq) item.SentMs = host_.NowMs();
    }
  }
}

void TPlumo::ResendTick() {
  EnableResendTimer(false);
  // Records by (type, number), the ring's in slot order and then the held ones, so that each
  // pending item finds its records directly.
  std::vector<const CmdRec*> records;
  records.reserve(history_.size() + held_.size());
  for (const auto& rec : history_) records.push_back(&rec);
  for (const auto& rec : held_) records.push_back(&rec);
  std::unordered_multimap<std::uint32_t, std::size_t> slots;
  slots.reserve(records.size());
  for (std::size_t s = 0; s < records.size(); ++s) {
    slots.emplace((std::uint32_t{records[s]->PacketType} << 16) | records[s]->Seq, s);
  }
  // Items ending not delivered are told after the loop (TellUntold): a listener may send from inside
  // the event, which adds pending items and must not happen while they are being walked.
  const std::int64_t now = host_.NowMs();
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
        if (Undecided(item))
          untold_.push_back({true, {.PacketType = item.PacketType, .Nick = entry->Nick, .Address = address}});
        if (!item.Ended)
          Report(*entry, item, item.TriesLeft > 0 ? DeliveryOutcome::Overwritten : DeliveryOutcome::NoAnswer);
        continue;
      }
      if (item.TriesLeft == 0) {
        // An item awaiting a receipt whose last try went out a tick ago without it: not delivered.
        // It stays, so that a right receipt coming late still confirms it.
        if (!item.Receipt.empty() && !item.NotDeliveredTold) {
          untold_.push_back({true, {.PacketType = item.PacketType, .Nick = entry->Nick, .Address = address}});
          item.NotDeliveredTold = true;
        }
        // Any item: no answer once the grace time after the last try has passed. It stays as well,
        // so that a confirmation that still comes is reported as a late delivery.
        if (!item.Ended) {
          if (now - item.SentMs >= kDeliveryGraceMs) {
            Report(*entry, item, DeliveryOutcome::NoAnswer);
            item.Ended = true;
          } else {
            EnableResendTimer(true);
          }
        }
        continue;
      }
      std::vector<std::size_t> matching;
      for (auto it = first; it != last; ++it) matching.push_back(it->second);
      std::sort(matching.begin(), matching.end());
      for (std::size_t s : matching) {
        const CmdRec& rec = *records[s];
        if ((rec.Dest == address || rec.Dest == BroadcastAddress) && item.TriesLeft > 0) {
          SendTo(address, rec.Data);
          --item.TriesLeft;
          item.SentMs = now;
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
  // A held datagram that nobody awaits any more is done with.
  std::erase_if(held_, [this](const CmdRec& rec) { return !Awaited(rec.PacketType, rec.Seq); });
  TellUntold();
}

SendResult TPlumo::SendAgain(const std::string& address, std::uint16_t type, std::uint16_t seq,
                             std::string receipt) {
  const int i = users_.Find(std::string(), address);
  AChuvakInfo* entry = users_.Entry(i);
  if (!entry || !CanBePending(type)) return SendResult::Nothing;
  const auto kept = [&](const CmdRec& rec) {
    return rec.PacketType == type && rec.Seq == seq && (rec.Dest == address || rec.Dest == BroadcastAddress);
  };
  std::string data;
  if (const auto it = std::find_if(history_.begin(), history_.end(), kept); it != history_.end()) {
    data = it->Data;
  } else if (const auto h = std::find_if(held_.begin(), held_.end(), kept); h != held_.end()) {
    data = h->Data;
  } else {
    return SendResult::Nothing;
  }
  const auto item = std::find_if(entry->Pending.begin(), entry->Pending.end(),
                                 [&](const PendingItem& p) { return p.PacketType == type && p.Seq == seq; });
  if (item == entry->Pending.end()) {
    users_.AddPending(i, type, seq, std::move(receipt));
  } else {
    item->TriesLeft = kTries;
    item->SentMs = host_.NowMs();
    item->NotDeliveredTold = false;
    item->Ended = false;
  }
  SendTo(address, data);
  AwaitConfirmations();
  TellUntold();
  return SendResult::Sent;
}

}  // namespace plumo
