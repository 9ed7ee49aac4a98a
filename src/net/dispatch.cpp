// SPDX-License-Identifier: GPL-3.0-or-later
// The receive side of the engine: reading rules, handling of every packet type, states and topics.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>

#include "net/plumo.h"

namespace plumo {

namespace {

// Read-only view of one accepted datagram.
struct Datagram {
  const std::uint8_t* Data;
  std::size_t Length;
  TMStigs Fields;

  const std::string& Field(std::size_t k) const {
    static const std::string kEmpty;
    return k < Fields.size() ? Fields[k] : kEmpty;
  }
  std::uint16_t U16(std::size_t offset) const { return BytesToU16(Data[offset], Data[offset + 1]); }
  // The state field at k (one character, else no state) with the description after it (may be absent).
  bool StateAt(std::size_t k, char& state) const {
    if (Field(k).size() != 1) return false;
    state = Field(k)[0];
    return true;
  }
  std::uint32_t U32(std::size_t offset) const {
    return BytesToU32(Data[offset], Data[offset + 1], Data[offset + 2], Data[offset + 3]);
  }
};

// The fewest fields each type needs before a handler acts on it.
bool HasMinimumFields(std::uint16_t type, const TMStigs& f) {
  switch (type) {
    case pkPing:
    case pkInfoReply:
      return f.size() >= 2 && !f[0].empty();
    case pkPong:
      return f.size() >= 2 && !f[1].empty();
    case pkNickChange:
      return f.size() >= 2;
    default:
      return !f.empty() && !f[0].empty();
  }
}

// Whether a field in one of the tag positions is a tag: the prefix, then a blank or nothing.
bool IsTag(const std::string& field) {
  constexpr std::string_view kPrefix = TPlumo::kTagPrefix;
  return field.size() <= TPlumo::kMaxTagBytes && field.starts_with(kPrefix) &&
         (field.size() == kPrefix.size() || field[kPrefix.size()] == ' ');
}

}  // namespace

void TPlumo::DataReceived(const std::uint8_t* data, long length, const std::string& fromIP, int /*port*/) {
  EnableResendTimer(false);
  if (length >= static_cast<long>(kHeaderSize) && length <= static_cast<long>(kBufferSize) &&
      data[0] == kMarker) {
    receivingFrom_ = fromIP;
    receivingSeq_ = BytesToU16(data[3], data[4]);
    Dispatch(BytesToU16(data[1], data[2]), BytesToU16(data[3], data[4]), data,
             static_cast<std::size_t>(length), fromIP);
    receivingFrom_.clear();
    receivingSeq_ = 0;
  }
  EnableResendTimer(true);
  TellUntold();
}

int TPlumo::FindOrAddSender(const std::string& nick, const std::string& address) {
  int i = users_.Find(nick, address);
  if (i >= 0) return i;
  i = users_.AddOrUpdate(nick, address);
  if (i < 0) {
    if (!rosterFullNoticed_) Notice(EngineNotice::RosterFull, nick, {address});
    rosterFullNoticed_ = true;
    return i;
  }
  // A nick now carried by a second address: say so when another address takes it; past a few, only
  // at each doubling, so that a flood of one nick from many addresses stays a handful of notices.
  if (!nick.empty() && !(nick == nick_ && address == MyAddress)) {
    const std::size_t n = users_.NickCount(nick);
    if (n > 1 && (n <= kNickSharedListed || (n & (n - 1)) == 0))
      Notice(EngineNotice::NickShared, nick, users_.AddressesOf(nick, kNickSharedListed));
  }
  return i;
}

void TPlumo::Dispatch(std::uint16_t type, std::uint16_t seq, const std::uint8_t* data, std::size_t length,
                      const std::string& fromIP) {
  if (!IsKnownPacketType(type)) {
    if (events_) events_->OnUnknownCommand(kUnknownCommandText + std::to_string(type) + " " + fromIP);
    return;
  }
  const std::size_t offset = FieldOffset(type);
  Datagram d{data, length, SplitFields(data, length, offset)};
  // Every type with a number block needs at least one field after it, so the block lies inside.
  if (length < offset || !HasMinimumFields(type, d.Fields)) return;
  const TMStigs& fields = d.Fields;
  const std::uint8_t* header = data + 1;
  auto isRepeat = [&](int i) { return users_.FindReceived(i, type, seq) >= 0; };

  switch (type) {
    case pkHello: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      // A hello is sent only at start-up, when the peer's counters begin again at 1: its old numbers must
      // not make its new datagrams look like repeats, even when its nick change from the empty nick was lost.
      // Only a hello that differs from an earlier one means a restart: a copy of the same hello carries the
      // same number and clock, and the first hello heard may arrive after the peer's first datagrams.
      const std::uint64_t stamp = (std::uint64_t{1} << 48) | (std::uint64_t{d.U32(9)} << 16) | seq;
      // The tag is the last field, after at least one channel name (field 3).
      const bool tagged = fields.size() > 4 && IsTag(fields.back());
      if (AChuvakInfo* e = users_.Entry(i)) {
        const bool restart = e->LastHello != 0 && e->LastHello != stamp;
        if (restart) users_.ForgetReceived(i);
        e->LastHello = stamp;
        // A new run announces its tag afresh (and may announce none); a hello without one proves nothing.
        if (restart) {
          e->TagPings = 0;
          SetEntryTag(i, tagged ? fields.back() : std::string(), false);
        } else if (tagged) {
          SetEntryTag(i, fields.back(), false);
        }
      }
      if (events_) events_->OnNewUser(fields, fromIP);
      ApplyTopic(d.U32(5), d.U32(9), d.Field(0), d.Field(3), d.Field(2));
      if (char state; d.Field(0) != nick_ && d.StateAt(1, state)) ApplyState(i, state, {}, false);
      ConfirmTo(BroadcastAddress, header, {});
      break;
    }
    case pkChannelLine: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      if (!isRepeat(i)) {
        if (events_) events_->OnChannelLine(fields, d.Field(1), d.Field(2));
        users_.RecordReceived(i, type, seq);
      }
      users_.Touch(i);
      break;
    }
    case pkPrivateMessage: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      // An envelope is judged before the sequence record: its authenticated counter decides what is a
      // repeat, so that forged datagrams that took the sender's next numbers cannot make it vanish, and
      // a refused one leaves the record alone.
      const TEnvelopeVerdict verdict =
          guard_ ? guard_->Judge(fields, d.Field(2), fromIP) : TEnvelopeVerdict{};
      if (verdict.Verdict == TEnvelopeVerdict::Refused) break;
      if (verdict.Verdict != TEnvelopeVerdict::NotEnvelope) {
        if (verdict.Verdict == TEnvelopeVerdict::Fresh) {
          if (d.Field(1) == nick_ && state_ != stOffline && events_)
            events_->OnPrivateMessage(fields, d.Field(2), fromIP);
          users_.RecordReceived(i, type, seq);
        }
        users_.Touch(i);
        ConfirmTo(BroadcastAddress, header, verdict.Receipt);
        break;
      }
      if (!isRepeat(i)) {
        if (d.Field(1) == nick_ && state_ != stOffline && events_) {
          events_->OnPrivateMessage(fields, d.Field(2), fromIP);
        }
        users_.RecordReceived(i, type, seq);
      }
      users_.Touch(i);
      ConfirmTo(BroadcastAddress, header, {});
      break;
    }
    case pkMassMessage: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      if (!isRepeat(i)) {
        const bool own = fromIP == MyAddress && d.Field(0) == nick_;
        if (!own && state_ != stOffline && events_) events_->OnMassMessage(fields, d.Field(1), fromIP);
        users_.RecordReceived(i, type, seq);
      }
      users_.Touch(i);
      ConfirmTo(BroadcastAddress, header, {});
      break;
    }
    case pkConfirm: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      const std::uint16_t confirmedType = d.U16(5);
      const std::uint16_t confirmedSeq = d.U16(7);
      char state = 0;
      const bool hasState = d.StateAt(1, state);
      bool freshAck = false;
      const bool ack = i >= 0 && confirmedType == pkMassMessage && d.Field(3) == kAck &&
                       TakeAcknowledgement(fromIP, confirmedSeq, freshAck);
      if (TakeConfirmation(i, confirmedType, confirmedSeq, d.Field(3), hasState && state == stOffline, ack) &&
          events_)
        events_->OnConfirm(*users_.Entry(i), confirmedType);
      if (ack) {
        TellUntold();  // the delivery before the acknowledgement that implies it
        if (const AChuvakInfo* e = users_.Entry(i); e && freshAck && events_)
          events_->OnAcknowledge(*e, confirmedSeq);
      }
      if (hasState) ApplyState(i, state, d.Field(2), false);
      if (confirmedType == pkHello) ReadTag(i, d.Field(3));
      users_.Touch(i);
      break;
    }
    case pkExit:
      // What the peer still had to confirm ends here: it said farewell first.
      if (const int i = users_.Find(d.Field(0), fromIP); i >= 0) {
        EndAll(*users_.Entry(i), DeliveryOutcome::PeerLeft);
        users_.Delete(i);
      }
      if (events_) events_->OnUserExit(fields, fromIP);
      break;
    case pkResendRequest: {
      if (fromIP == MyAddress) break;
      const int i = FindOrAddSender(d.Field(0), fromIP);
      ResendRange(fromIP, d.U16(5), d.U16(7), d.U16(9));
      users_.Touch(i);
      break;
    }
    case pkRosterList: {
      const int i = users_.Find(d.Field(0), fromIP);
      if (fromIP != MyAddress) CompareRoster(fields);
      if (i >= 0) users_.Touch(i);
      break;
    }
    case pkPing: {
      if (d.Field(1) == nick_) SendPong(d.Field(0));
      users_.Touch(FindOrAddSender(d.Field(0), fromIP));
      break;
    }
    case pkPong: {
      const int i = FindOrAddSender(d.Field(1), fromIP);
      users_.Touch(i);
      if (char state; d.StateAt(2, state)) ApplyState(i, state, d.Field(3), true);
      ReadTag(i, d.Field(4));
      break;
    }
    case pkNickChange: {
      // The tag belongs to the program at the address, so it goes with the new nick; a change from the
      // empty nick is a program starting again, which announces its tag afresh.
      // What it still has to confirm goes with it too: the same program confirms under the new nick.
      std::string tag;
      bool missing = false;
      std::uint8_t pings = 0;
      std::int64_t pingAt = 0;
      std::vector<PendingItem> pending;
      if (AChuvakInfo* old = users_.Entry(users_.Find(d.Field(0), fromIP))) {
        pending = std::move(old->Pending);
        if (!d.Field(0).empty()) {
          tag = old->Tag;
          missing = old->TagMissing;
          pings = old->TagPings;
          pingAt = old->TagPingAtMs;
        }
      }
      const bool removed = users_.Remove(d.Field(0), fromIP);
      if (removed && events_) events_->OnNickChange(fields, d.Field(1), fromIP);
      const int i = FindOrAddSender(d.Field(1), fromIP);
      users_.Touch(i);
      if (AChuvakInfo* e = users_.Entry(i); e && removed) {
        e->Pending.insert(e->Pending.end(), pending.begin(), pending.end());
        e->TagPings = pings;
        e->TagPingAtMs = pingAt;
        if (!tag.empty() || missing) SetEntryTag(i, tag, missing);
      }
      break;
    }
    case pkTopic: {
      users_.Touch(FindOrAddSender(d.Field(0), fromIP));
      if (fields.size() > 2) ApplyTopic(d.U32(5), d.U32(9), d.Field(0), d.Field(1), d.Field(2));
      break;
    }
    case pkTopicQuery: {
      users_.Touch(FindOrAddSender(d.Field(0), fromIP));
      if (fields.size() >= 2) AnswerTopicQuery(d.U32(5), d.U32(9), d.Field(0), d.Field(1));
      break;
    }
    case pkStateChange: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      users_.Touch(i);
      if (char state; d.StateAt(1, state)) ApplyState(i, state, d.Field(2), true);
      break;
    }
    case pkInfoRequest: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      SendInfo(i);
      users_.Touch(i);
      break;
    }
    case pkInfoReply: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      if (AChuvakInfo* e = users_.Entry(i); e && e->InfoRequested) {
        e->InfoRequested = false;
        if (events_) events_->OnInfo(fields, d.Field(1), fromIP);
      }
      users_.Touch(i);
      break;
    }
    case pkBell: {
      const int i = FindOrAddSender(d.Field(0), fromIP);
      if (const AChuvakInfo* e = users_.Entry(i); e && events_) events_->OnBell(*e, d.U16(5));
      users_.Touch(i);
      ConfirmTo(BroadcastAddress, header, {});
      break;
    }
    default:
      break;
  }
  if (!tag_.empty() && fromIP != MyAddress) TagPing(users_.Find(std::string(), fromIP));
}

void TPlumo::ReadTag(int userIndex, const std::string& field) {
  if (IsTag(field)) {
    SetEntryTag(userIndex, field, false);
  } else {
    SetEntryTag(userIndex, std::string(), true);
  }
}

void TPlumo::SetEntryTag(int userIndex, const std::string& tag, bool missing) {
  AChuvakInfo* e = users_.Entry(userIndex);
  if (!e || (e->Tag == tag && e->TagMissing == missing)) return;
  e->Tag = tag;
  e->TagMissing = missing;
  if (events_) events_->OnTag(*e);
}

// At first sight, and once more kTagPingRetryMs after the first ping while the tag is still unknown;
// an entry whose ping the budget did not allow is tried again at the next datagram or presence tick.
void TPlumo::TagPing(int userIndex) {
  AChuvakInfo* e = users_.Entry(userIndex);
  if (!e || tag_.empty() || !e->Tag.empty() || e->TagMissing || e->Nick.empty() || e->TagPings >= 2) return;
  if (e->Nick == nick_ && e->Address == MyAddress) return;
  const std::int64_t now = host_.NowMs();
  if (e->TagPings > 0 && std::llabs(now - e->TagPingAtMs) < kTagPingRetryMs) return;
  const double periods = static_cast<double>(std::llabs(now - tagPingRefillMs_)) / kPresenceIntervalMs;
  tagPingTokens_ = std::min(kTagPingBurst, tagPingTokens_ + periods * kTagPingBurst);
  tagPingRefillMs_ = now;
  if (tagPingTokens_ < 1) return;
  ++e->TagPings;
  e->TagPingAtMs = now;
  // A nick pinged within the presence period (for a roster list, or another entry of that nick) is
  // not pinged again: that ping's pong brings the tag as well.
  const std::string nick = e->Nick;
  if (PingOnce(nick)) tagPingTokens_ -= 1;
}

void TPlumo::ApplyState(int userIndex, char stateChar, const std::string& description, bool notify) {
  AChuvakInfo* e = users_.Entry(userIndex);
  if (!e || !IsStateChar(stateChar)) return;
  const char old = e->State;
  e->State = stateChar;
  e->StateDescription = description;
  if (notify && events_) events_->OnUserState(*e, old);
}

void TPlumo::ApplyTopic(std::uint32_t topicTime, std::uint32_t senderClock, const std::string& nick,
                        const std::string& channel, const std::string& topic) {
  const std::uint32_t now = UnixNow();
  const std::uint32_t adjusted = now - senderClock + topicTime;  // the peer's time moved onto our clock
  if (channel.empty() || nick.empty() || topic.empty() || topicTime == 0) return;
  if (adjusted > now || channel == "#") return;
  if (TChanel* c = FindChannel(channel)) {
    const bool ownChanged = nick == nick_ && c->Topic != topic;
    if (!ownChanged && std::int64_t{adjusted} - std::int64_t{c->TopicTime} <= 30) return;
    c->Topic = topic;
    c->TopicTime = adjusted;
    c->SetterNick = nick;
    if (events_) events_->OnTopicChange(c->Name);
  } else if (learnedChannels_ < kMaxLearnedChannels) {
    ++learnedChannels_;
    AddChannel(channel, topic, nick, {}, adjusted);
  }
}

void TPlumo::AnswerTopicQuery(std::uint32_t topicTime, std::uint32_t senderClock, const std::string& nick,
                              const std::string& channel) {
  const std::uint32_t now = UnixNow();
  if (channel.empty() || nick.empty() || topicTime == 0 || topicTime > now) return;
  const std::uint32_t adjusted = now - senderClock + topicTime;
  const TChanel* c = FindChannel(channel);
  if (!c || nick == nick_) return;
  // Answer only when the own topic is more than 5 seconds newer than the asker's.
  if (std::int64_t{adjusted} + 5 >= std::int64_t{c->TopicTime}) return;
  if (host_.Random(static_cast<std::uint32_t>(users_.Count())) != 1) return;
  const TChanel copy = *c;
  SetTopic(copy.Name, copy.Topic, copy.TopicTime);
}

// Each distinct nick is pinged at most once per list, and at most once per presence period however
// many lists name it (PingOnce); and one list sends at most kMaxPingsPerList pings. A list of a
// thousand names, or of one name a thousand times, costs a few pings, not one per name; names past
// the limit are pinged for a later list, since the ones already pinged are skipped then.
void TPlumo::CompareRoster(const TMStigs& names) {
  std::unordered_set<std::string> listed;
  std::size_t budget = kMaxPingsPerList;
  if (names.size() > static_cast<std::size_t>(users_.Count())) {
    for (const auto& name : names) {
      if (budget == 0) break;
      if (name.empty() || name == nick_ || !listed.insert(name).second) continue;
      if (users_.Find(name, BroadcastAddress) < 0 && PingOnce(name)) --budget;
    }
    return;
  }
  for (const auto& name : names) {
    if (!name.empty()) listed.insert(name);
  }
  for (int i = 0; i < users_.Count() && budget > 0; ++i) {
    const std::string nick = users_.Entry(i)->Nick;
    if (listed.insert(nick).second && PingOnce(nick)) --budget;
  }
}

bool TPlumo::PingOnce(const std::string& nick) {
  const std::int64_t now = host_.NowMs();
  auto [it, added] = pingedAt_.try_emplace(nick, now);
  if (!added) {
    if (std::llabs(now - it->second) < kPresenceIntervalMs) return false;
    it->second = now;
  }
  SendPing(nick);
  // Forget pings older than a period once the table grows, so that it stays about the roster's size.
  if (pingedAt_.size() > 2 * static_cast<std::size_t>(TUsers::kMaxEntries)) {
    std::erase_if(pingedAt_,
                  [now](const auto& p) { return std::llabs(now - p.second) >= kPresenceIntervalMs; });
  }
  return true;
}

}  // namespace plumo
