// SPDX-License-Identifier: GPL-3.0-or-later
// TUsers: the engine's roster of known peers, one AChuvakInfo per sending address, in the order they
// were first heard. Lookups by address and by nick are indexed, so a roster of thousands of peers
// costs no more per datagram than a small one. Out-of-range indexes are ignored, never an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace plumo {

// A confirmation this engine still waits for from one peer.
struct PendingItem {
  std::uint16_t PacketType = 0;
  std::uint16_t Seq = 0;
  std::uint8_t TriesLeft = 5;
  std::int64_t SentMs = 0;  // local wall-clock milliseconds of the last transmission to the peer
  // Non-empty: only a confirmation whose hidden field (field 3) equals it counts, at any time, and
  // once the tries are used up unconfirmed the user is told (see delivery.cpp).
  std::string Receipt;
  bool NotDeliveredTold = false;  // that notice has been raised; a late right receipt still counts
  // The item's end has been reported with an outcome other than Delivered (TPlumoEvents::OnDelivery);
  // it stays so that a confirmation that still comes is reported Delivered, marked Late.
  bool Ended = false;
};

// The last sequence number received from one peer for one gap-tracked type, plus which of the
// kWindow numbers before it have been seen, so that a late repeat is recognised as one while a
// gap that a resend fills is still taken.
struct ReceivedItem {
  static constexpr int kWindow = 256;
  std::uint16_t PacketType = 0;
  std::uint16_t LastSeq = 0;
  // Bit k set: LastSeq - k was seen (bit 0 is LastSeq itself).
  std::uint64_t Seen[kWindow / 64] = {};

  bool WasSeen(std::uint16_t seq) const;
  void MarkSeen(std::uint16_t seq);
  // Moves LastSeq forward by distance numbers, shifting the window along.
  void Advance(int distance);
};

// One roster entry: what the engine knows of one peer.
struct AChuvakInfo {
  std::string Address;
  std::int64_t LastSeen = 0;  // local wall-clock milliseconds of the last datagram that touched it
  std::vector<PendingItem> Pending;
  std::vector<ReceivedItem> Received;
  std::string Nick;
  char State = '1';
  std::string StateDescription;
  bool InfoRequested = false;
  // Sequence number and sender's clock of the last hello heard from the peer (0: none yet). A hello is
  // sent once per start, so a different one means the peer started afresh; a copy of the same one does not.
  std::uint64_t LastHello = 0;
  // The hidden tag the peer's program announces (a field starting TPlumo::kTagPrefix on its hello,
  // on its confirmation of a hello, or on its pong), empty while none has been seen. TagMissing:
  // the last confirmation of a hello or pong from it came without one, so its program announces
  // none now (a hello without one proves nothing: a hello near the size limit leaves it off). Both
  // are forgotten when the peer starts again, and kept when it changes its nick.
  std::string Tag;
  bool TagMissing = false;
  // Pings sent to learn the tag (at most two) and the time of the last one.
  std::uint8_t TagPings = 0;
  std::int64_t TagPingAtMs = 0;
};

// The last change OnChange reported, so that a listener can follow the roster in steps proportional
// to what changed instead of rereading all of it.
struct TRosterChange {
  enum ChangeKind { Added, Renamed, Removed };
  ChangeKind Kind = Added;
  int Index = -1;  // the entry's position (for Removed: the position it had)
  std::string Nick;
  std::string OldNick;  // Renamed only
  std::string Address;
};

class TUsers {
 public:
  // The most entries the roster holds. A /16 network has 65,534 addresses, but a LAN where people chat
  // has tens to hundreds of peers, and one roster-list datagram names about two hundred; 4,096 leaves
  // ample room while keeping a flood of forged addresses from growing the roster without end.
  static constexpr int kMaxEntries = 4096;

  using EntryList = std::vector<std::unique_ptr<AChuvakInfo>>;
  using ChangeEvent = std::function<void(const EntryList&)>;
  using GapEvent = std::function<void(int userIndex, std::uint16_t packetType, std::uint16_t firstSeq,
                                      std::uint16_t lastSeq)>;
  using Clock = std::function<std::int64_t()>;

  // clock gives the local wall-clock milliseconds used for LastSeen.
  explicit TUsers(Clock clock);

  ChangeEvent OnChange;
  GapEvent OnGap;

  // The first entry (in roster order) whose nick equals nick and whose address equals address, or
  // equals nick while address is "255.255.255.255" or "0.0.0.0", or whose address equals address
  // while nick is empty. Both empty: -1.
  int Find(const std::string& nick, const std::string& address) const;
  // Renames the entry for address, or appends a new one; raises OnChange and touches the entry. A
  // new address while the roster holds kMaxEntries is not added: -1, and Full() turns true.
  int AddOrUpdate(const std::string& nick, const std::string& address);
  // Whether an address has been turned away because the roster was full (until an entry goes).
  bool Full() const { return full_; }
  // The addresses of the entries carrying nick, in roster order (at most limit of them).
  std::vector<std::string> AddressesOf(const std::string& nick, std::size_t limit = SIZE_MAX) const;
  // How many entries carry nick.
  std::size_t NickCount(const std::string& nick) const;
  // Counts every change reported through OnChange; LastChange is the latest one.
  std::uint64_t Version() const { return version_; }
  const TRosterChange& LastChange() const { return lastChange_; }
  bool Remove(const std::string& nick, const std::string& address);
  bool Delete(int index);
  AChuvakInfo* Entry(int index);
  const AChuvakInfo* Entry(int index) const;
  int Count() const { return static_cast<int>(entries_.size()); }
  const EntryList& Entries() const { return entries_; }
  void Touch(int index);

  // Adds an item sent now, with 5 tries, awaiting receipt when that is not empty.
  void AddPending(int index, std::uint16_t packetType, std::uint16_t seq, std::string receipt = {});
  bool RemovePending(int index, std::uint16_t packetType, std::uint16_t seq);

  // Records a gap-tracked number from the peer at index; a number more than one ahead of the last
  // one raises OnGap for the numbers in between, a number a whole window or more behind it starts
  // the type's record afresh (the peer started again). Numbers compare wrap-aware.
  void RecordReceived(int index, std::uint16_t packetType, std::uint16_t seq);
  // The position of the received item of this type when seq has already been recorded, or -1.
  int FindReceived(int index, std::uint16_t packetType, std::uint16_t seq) const;
  // Forgets every number received from the peer at index: it has started afresh and numbers again from 1.
  void ForgetReceived(int index);

 private:
  bool InRange(int index) const { return index >= 0 && index < Count(); }
  int FirstWithNick(const std::string& nick) const;
  void IndexNick(int index);
  void UnindexNick(int index);
  void RemoveAt(int index);
  void Changed(TRosterChange change);

  Clock clock_;
  EntryList entries_;
  // Address -> position. Positions shift on removal, which renumbers the index.
  std::unordered_map<std::string, int> byAddress_;
  // Nick -> positions of the entries carrying it, in roster order.
  std::unordered_map<std::string, std::set<int>> byNick_;
  bool full_ = false;
  std::uint64_t version_ = 0;
  TRosterChange lastChange_;
};

}  // namespace plumo
