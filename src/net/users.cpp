// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/users.h"

#include <utility>

#include "net/codec.h"

namespace plumo {

namespace {
bool IsWildcardAddress(const std::string& address) {
  return address == "255.255.255.255" || address == "0.0.0.0";
}
}  // namespace

bool ReceivedItem::WasSeen(std::uint16_t seq) const {
  const int behind = SeqDistance(seq, LastSeq);
  if (behind < 0 || behind >= kWindow) return false;
  return (Seen[behind / 64] >> (behind % 64)) & 1U;
}

void ReceivedItem::MarkSeen(std::uint16_t seq) {
  const int behind = SeqDistance(seq, LastSeq);
  if (behind < 0 || behind >= kWindow) return;
  Seen[behind / 64] |= std::uint64_t{1} << (behind % 64);
}

void ReceivedItem::Advance(int distance) {
  constexpr int kWords = kWindow / 64;
  if (distance >= kWindow) {
    for (auto& w : Seen) w = 0;
    return;
  }
  // Shift the whole window towards older numbers by distance bits.
  const int words = distance / 64;
  const int bits = distance % 64;
  for (int i = kWords - 1; i >= 0; --i) {
    const int from = i - words;
    std::uint64_t value = from >= 0 ? Seen[from] << bits : 0;
    if (bits != 0 && from - 1 >= 0) value |= Seen[from - 1] >> (64 - bits);
    Seen[i] = value;
  }
}

TUsers::TUsers(Clock clock) : clock_(std::move(clock)) {}

int TUsers::FirstWithNick(const std::string& nick) const {
  auto it = byNick_.find(nick);
  if (it == byNick_.end() || it->second.empty()) return -1;
  return *it->second.begin();
}

int TUsers::Find(const std::string& nick, const std::string& address) const {
  if (nick.empty() && address.empty()) return -1;
  int best = -1;
  if (auto it = byAddress_.find(address); it != byAddress_.end()) {
    if (nick.empty() || entries_[static_cast<std::size_t>(it->second)]->Nick == nick) best = it->second;
  }
  if (IsWildcardAddress(address)) {
    const int first = FirstWithNick(nick);
    if (first >= 0 && (best < 0 || first < best)) best = first;
  }
  return best;
}

void TUsers::IndexNick(int index) {
  byNick_[entries_[static_cast<std::size_t>(index)]->Nick].insert(index);
}

void TUsers::UnindexNick(int index) {
  auto it = byNick_.find(entries_[static_cast<std::size_t>(index)]->Nick);
  if (it == byNick_.end()) return;
  it->second.erase(index);
  if (it->second.empty()) byNick_.erase(it);
}

std::vector<std::string> TUsers::AddressesOf(const std::string& nick, std::size_t limit) const {
  std::vector<std::string> out;
  if (auto it = byNick_.find(nick); it != byNick_.end()) {
    for (int i : it->second) {
      if (out.size() >= limit) break;
      out.push_back(entries_[static_cast<std::size_t>(i)]->Address);
    }
  }
  return out;
}

std::size_t TUsers::NickCount(const std::string& nick) const {
  const auto it = byNick_.find(nick);
  return it == byNick_.end() ? 0 : it->second.size();
}

void TUsers::Changed(TRosterChange change) {
  ++version_;
  lastChange_ = std::move(change);
  if (OnChange) OnChange(entries_);
}

int TUsers::AddOrUpdate(const std::string& nick, const std::string& address) {
  int i = Find(std::string(), address);
  TRosterChange change{TRosterChange::Added, i, nick, {}, address};
  if (i >= 0) {
    auto& entry = *entries_[static_cast<std::size_t>(i)];
    change.Kind = TRosterChange::Renamed;
    change.OldNick = entry.Nick;
    if (entry.Nick != nick) {
      UnindexNick(i);
      entry.Nick = nick;
      IndexNick(i);
    }
  } else {
    if (Count() >= kMaxEntries) {
      full_ = true;
      return -1;
    }
    auto entry = std::make_unique<AChuvakInfo>();
    entry->Address = address;
    entry->Nick = nick;
    entry->LastSeen = clock_();
    entries_.push_back(std::move(entry));
    i = Count() - 1;
    byAddress_.emplace(address, i);
    IndexNick(i);
    change.Index = i;
  }
  Changed(std::move(change));
  Touch(i);
  return i;
}

void TUsers::RemoveAt(int index) {
  TRosterChange change{TRosterChange::Removed,
                       index,
                       entries_[static_cast<std::size_t>(index)]->Nick,
                       {},
                       entries_[static_cast<std::size_t>(index)]->Address};
  entries_.erase(entries_.begin() + index);
  full_ = false;
  // Positions after the removed entry shift down: rebuild both indexes.
  byAddress_.clear();
  byNick_.clear();
  for (int i = 0; i < Count(); ++i) {
    byAddress_.emplace(entries_[static_cast<std::size_t>(i)]->Address, i);
    IndexNick(i);
  }
  Changed(std::move(change));
}

bool TUsers::Remove(const std::string& nick, const std::string& address) {
  const int i = Find(nick, address);
  if (i < 0) return false;
  RemoveAt(i);
  return true;
}

bool TUsers::Delete(int index) {
  if (!InRange(index)) return false;
  RemoveAt(index);
  return true;
}

AChuvakInfo* TUsers::Entry(int index) {
  return InRange(index) ? entries_[static_cast<std::size_t>(index)].get() : nullptr;
}

const AChuvakInfo* TUsers::Entry(int index) const {
  return InRange(index) ? entries_[static_cast<std::size_t>(index)].get() : nullptr;
}

void TUsers::Touch(int index) {
  if (auto* e = Entry(index)) e->LastSeen = clock_();
}

void TUsers::AddPending(int index, std::uint16_t packetType, std::uint16_t seq, std::string receipt) {
  if (auto* e = Entry(index)) e->Pending.push_back({packetType, seq, 5, clock_(), std::move(receipt)});
}

bool TUsers::RemovePending(int index, std::uint16_t packetType, std::uint16_t seq) {
  auto* e = Entry(index);
  if (!e) return false;
  for (auto it = e->Pending.begin(); it != e->Pending.end(); ++it) {
    if (it->PacketType == packetType && it->Seq == seq) {
      e->Pending.erase(it);
      return true;
    }
  }
  return false;
}

void TUsers::RecordReceived(int index, std::uint16_t packetType, std::uint16_t seq) {
  auto* e = Entry(index);
  if (!e) return;
  for (auto& item : e->Received) {
    if (item.PacketType != packetType) continue;
    const int ahead = SeqDistance(item.LastSeq, seq);
    if (ahead <= -ReceivedItem::kWindow) {
      // No copy of a number this old can still come: the sender resends only from its ring of 255
      // kept datagrams. The peer has started afresh at a lower place (its hello and nick change
      // were lost) and numbers from there on.
      item = ReceivedItem{};
      item.PacketType = packetType;
      item.LastSeq = seq;
      item.MarkSeen(seq);
      return;
    }
    if (ahead <= 0) {
      item.MarkSeen(seq);  // a repeat, or a late number filling an earlier gap
      return;
    }
    const std::uint16_t firstMissing = static_cast<std::uint16_t>(item.LastSeq + 1);
    item.Advance(ahead);
    item.LastSeq = seq;
    item.MarkSeen(seq);
    // Raised after the item is updated, so that a handler sees a consistent roster.
    if (ahead > 1 && OnGap) OnGap(index, packetType, firstMissing, static_cast<std::uint16_t>(seq - 1));
    return;
  }
  ReceivedItem item;
  item.PacketType = packetType;
  item.LastSeq = seq;
  item.MarkSeen(seq);
  e->Received.push_back(item);
}

void TUsers::ForgetReceived(int index) {
  if (auto* e = Entry(index)) e->Received.clear();
}

int TUsers::FindReceived(int index, std::uint16_t packetType, std::uint16_t seq) const {
  const auto* e = Entry(index);
  if (!e) return -1;
  for (std::size_t k = 0; k < e->Received.size(); ++k) {
    if (e->Received[k].PacketType == packetType)
      return e->Received[k].WasSeen(seq) ? static_cast<int>(k) : -1;
  }
  return -1;
}

}  // namespace plumo
