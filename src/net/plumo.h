// SPDX-License-Identifier: GPL-3.0-or-later
// TPlumo: the protocol engine of one running program. It turns user actions into datagrams and
// received datagrams into roster changes, answers and events, and keeps delivery reliable with
// confirmations, resends, gap recovery and presence pings. It does no I/O of its own: a PlumoHost
// sends for it, tells the time, runs its three timers and draws random numbers; the host delivers
// datagrams to DataReceived and timer expiries to ResendTick, PresenceTick and PingTick, one at a time.
// What the engine has to tell goes to one listener, a TPlumoEvents set with SetEvents.
//
// Errors. Nothing leaves the engine as an exception: not its entry points (DataReceived, the
// ticks), not its send operations, not the events it raises. Each kind of failure has one channel:
// - A received datagram that breaks the reading rules is dropped without a report; one of a type
//   the protocol does not know is reported through OnUnknownCommand.
// - A send operation returns a SendResult saying what the engine did: it handed a datagram to the
//   host (Sent); it refused because a receiver would not take a datagram that long (TooLong: nothing
//   sent and no sequence number used; SetNick and SetTopic change nothing either, while SetState
//   and RequestInfo keep the local change they stand for); or it had nothing to send (Nothing: an
//   unknown roster index, a topic time in the future, a topic or query while the own entry is not
//   yet in the roster).
// - The host failing to send a datagram it was handed is reported through OnSendError, from the
//   send operation, a resend or an answer alike: the result tells what the engine did, the event
//   what the network did.
// The engine relies on its host and its listener not to throw either; it does not catch on their
// behalf. Only running out of memory is not handled.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "net/codec.h"
#include "net/envelope_guard.h"
#include "net/events.h"
#include "net/host.h"
#include "net/users.h"

namespace plumo {

// What a send operation did; see the error policy above.
enum class SendResult {
  Sent,     // handed to the host (whose failure, if any, is reported through OnSendError)
  TooLong,  // refused: the datagram would be longer than a receiver takes (kMaxDatagram)
  Nothing,  // nothing needed sending (unknown roster index, topic from the future, own entry unknown)
};

// One kept datagram, resendable until the ring overwrites it.
struct CmdRec {
  std::uint16_t PacketType = 0;
  std::uint16_t Seq = 0;
  std::string Dest;
  std::string Data;
};

// One channel and its topic.
struct TChanel {
  std::string Name;
  std::string Topic;
  std::uint32_t TopicTime = 0;
  std::string SetterAddress;
  std::string SetterNick;
};

class TPlumo {
 public:
  static constexpr std::size_t kHistorySize = 255;
  static constexpr int kResendIntervalMs = 1000;
  static constexpr int kPresenceIntervalMs = 30000;
  static constexpr std::uint8_t kTries = 5;
  // Each run draws the counter of every packet type with host.Random(kSeqStartRange), so that its
  // first number of a type lies between 1 and 32768 (see StartCounters).
  static constexpr std::uint32_t kSeqStartRange = 0x8000;
  // A confirmation counts for a datagram still being resent only when it comes within this time of
  // the datagram's last transmission to the confirming peer (see TakeConfirmation).
  static constexpr std::int64_t kConfirmWindowMs = 500;
  // Channels learned from the network (topics of channels this program has not joined). A LAN has a
  // handful; past this many, a datagram naming yet another channel is handled without adding it,
  // so a flood of invented names cannot grow the list (and the hello that names it) without end.
  static constexpr std::size_t kMaxLearnedChannels = 256;
  // What one asking address can get back through resend requests: a token bucket of datagrams and
  // bytes, full at the start and refilled per second. A burst covers a real gap (a few seconds of
  // a busy channel); a stream of requests, forged or not, gets back at most the refill rate, so the
  // bytes sent stay a small fraction of the bytes asked once requests keep coming.
  static constexpr double kResendBurstDatagrams = 64;
  static constexpr double kResendDatagramsPerSecond = 8;
  static constexpr double kResendBurstBytes = 16 * 1024;
  static constexpr double kResendBytesPerSecond = 2 * 1024;
  // Addresses one NickShared notice names (the first ones heard).
  static constexpr std::size_t kNickSharedListed = 8;
  // Pings a presence tick sends at once; the rest go out one per PingTick, spread over half the
  // period, so that many peers falling silent together do not make a burst of pings.
  static constexpr std::size_t kPingBurst = 8;
  // Pings one roster list may cause (see CompareRoster).
  static constexpr std::size_t kMaxPingsPerList = 32;
  // Kept datagrams still waiting for a confirmation when the ring overwrites them; past this many
  // the oldest is given up and reported (EngineNotice::NotDelivered).
  static constexpr std::size_t kHeldLimit = kHistorySize;
  // Topic text stored for a channel whose topic time lies in the future (code page 1251).
  static const std::string kFutureTopicText;
  // Prefix of the unknown-command report (code page 1251).
  static const std::string kUnknownCommandText;
  // A hidden field is a peer's tag only in one of its three places (the last field of a hello after
  // a channel name, field 3 of a confirmation of a hello, field 4 of a pong) and only when it starts
  // with this prefix followed by a blank or nothing, and is at most kMaxTagBytes long.
  static constexpr std::string_view kTagPrefix = "\x01PLUMO/1";
  static constexpr std::size_t kMaxTagBytes = 200;
  // An entry heard without a tag is pinged for it at first sight and once more this much later, at
  // most twice (pings to a nick pinged within the presence period are not sent again, PingOnce).
  static constexpr std::int64_t kTagPingRetryMs = 60000;
  // All tag pings together draw on one budget: kTagPingBurst at once, refilled at that many per
  // presence period, so that a flood of forged addresses gets a few pings, not one each.
  static constexpr double kTagPingBurst = static_cast<double>(kPingBurst);
  // Acknowledgements between Plumo peers, in fields no other program reads: a mass message asking
  // its readers to acknowledge it carries kAckRequest as field 2; a reader acknowledges with a
  // confirmation of that message carrying kAck as field 3, sent to the asker alone.
  static constexpr std::string_view kAckRequest = "\x01PLUMO/1 ack?";
  static constexpr std::string_view kAck = "\x01PLUMO/1 ack";
  // After the last try of an item, a confirmation still counts for this long before the item is
  // reported NoAnswer (a peer that answers late is delivered, not "not delivered").
  static constexpr std::int64_t kDeliveryGraceMs = 3000;
  // Own mass messages that asked to be acknowledged whose acknowledgements are still taken (the
  // latest ones); an acknowledgement of an older one is ignored.
  static constexpr std::size_t kAskedKept = 32;

  // Builds the engine on port and opens the receiving side through the host.
  TPlumo(PlumoHost& host, int port = kDefaultPort);
  ~TPlumo();
  TPlumo(const TPlumo&) = delete;
  TPlumo& operator=(const TPlumo&) = delete;

  // The listener of the engine's events (nullptr: events are skipped). Not owned; it must outlive
  // the engine or be replaced first.
  void SetEvents(TPlumoEvents* events) { events_ = events; }
  TPlumoEvents* Events() const { return events_; }

  // The own tag (kTagPrefix and items), appended as a hidden field to hellos, to confirmations of
  // hellos and to pongs, and the reason to ping peers heard without one. Empty (the default): none
  // of this, the datagrams are byte for byte those of a program without tags. A tag holding a zero
  // byte cannot be one field and is taken as empty.
  void SetTag(std::string tag) {
    tag_ = tag.find('\0') == std::string::npos ? std::move(tag) : std::string();
  }
  const std::string& Tag() const { return tag_; }
  // The judge of received private messages whose text may be an envelope (nullptr, the default:
  // every private message follows the engine's own rules). Not owned; it must outlive the engine or
  // be replaced first.
  void SetEnvelopeGuard(TEnvelopeGuard* guard) { guard_ = guard; }
  TEnvelopeGuard* EnvelopeGuard() const { return guard_; }

  // Pings of the last presence tick still to go out.
  std::size_t QueuedPings() const { return pingQueue_.size(); }

  // Written directly by the main window.
  std::string MyAddress;
  std::string BroadcastAddress = "255.255.255.255";
  std::string AboutText;
  std::string VersionText;
  std::string StateDescription;

  // Read-only state.
  const std::string& Nick() const { return nick_; }
  char State() const { return state_; }
  int Port() const { return port_; }
  int Jitter() const { return jitter_; }
  std::uint8_t QuietTicks() const { return quietTicks_; }
  const std::vector<CmdRec>& History() const { return history_; }
  std::size_t HistoryPos() const { return historyPos_; }
  const SeqCounters& Counters() const { return counters_; }
  TUsers& Users() { return users_; }
  const TUsers& Users() const { return users_; }
  const std::vector<std::unique_ptr<TChanel>>& Channels() const { return channels_; }
  // Kept datagrams moved out of the ring because they still wait for a confirmation.
  const std::deque<CmdRec>& Held() const { return held_; }
  // Whether the receiving socket is bound (false while switched off or when the port was taken).
  bool Receiving() const { return receiving_; }
  // The source address of the datagram being handled, for a listener that wants to know who sent
  // what an event reports (a channel line carries only the sender's nick); empty outside an event
  // raised by a received datagram.
  const std::string& ReceivingFrom() const { return receivingFrom_; }
  // The number of the datagram being handled (0 outside an event raised by a received datagram).
  std::uint16_t ReceivingSeq() const { return receivingSeq_; }

  // Numbers every type from 1 and takes any matching confirmation at any time, as programs did
  // before the delivery guards described in delivery.cpp. Only for tests that show what the guards
  // prevent; call it before the engine sends anything.
  void DropDeliveryGuards();

  // Switches the receiving side and the timers on or off; sending works either way.
  void SetActive(bool active);

  // Channel list (no datagram), indexed by name: FindChannel gives the first channel of a name.
  int AddChannel(const std::string& name, const std::string& topic, const std::string& setterNick,
                 const std::string& setterAddress, std::uint32_t topicTime);
  TChanel* ChannelAt(int index);
  TChanel* FindChannel(const std::string& name);

  // Send operations, each returning what it did (see SendResult).
  SendResult SendHello();
  SendResult SendChannelLine(const std::string& channel, const std::string& text, const std::string& address);
  // With a receipt, the recipient's confirmation counts only when it carries that receipt as its
  // hidden field, and the message ends with a NotDelivered notice when the tries run out without it.
  SendResult SendPrivateMessage(const std::string& toNick, const std::string& text,
                                const std::string& address, std::string receipt = {});
  // askAcknowledge: Plumo readers are asked to acknowledge it (kAckRequest).
  SendResult SendMassMessage(const std::string& text, bool askAcknowledge = false);
  // Whether a received mass message (its fields) asks to be acknowledged.
  static bool AsksAcknowledge(const TMStigs& fields);
  // Acknowledges mass message seq of the peer at address: a confirmation of it carrying kAck, sent
  // to that address only.
  SendResult SendAcknowledge(const std::string& address, std::uint16_t seq);
  // Sends the kept datagram (type, seq) again to address alone, and gives the entry at address a
  // pending item with fresh tries (replacing one that ended; an item still running gets its tries
  // back). Nothing when the datagram has left the ring and the held list, was sent to another
  // address, or no entry has that address. receipt: awaited when the entry holds no item of the
  // datagram any more (an item that is there keeps its own).
  SendResult SendAgain(const std::string& address, std::uint16_t type, std::uint16_t seq,
                       std::string receipt = {});
  // The sequence number the last datagram of type used (right after a send: that send's number).
  std::uint16_t LastSeq(std::uint16_t type) const { return counters_.Current(type); }
  // Confirms the datagram whose header (type and number) is given. hidden, when not empty, goes out
  // as field 3 (a receipt); else a confirmation of a hello carries the own tag there. A hidden field
  // that would make the datagram too long is left off.
  SendResult SendConfirm(const std::uint8_t header[4], const std::string& hidden = {});
  SendResult SendExit();
  SendResult RequestResend(int userIndex, std::uint16_t packetType, std::uint16_t firstSeq,
                           std::uint16_t lastSeq);
  SendResult SendRosterList();
  SendResult SendPing(const std::string& targetNick);
  SendResult SendPong(const std::string& askerNick);
  SendResult SetNick(const std::string& newNick);
  SendResult SetTopic(const std::string& channel, const std::string& topic, std::uint32_t topicTime);
  SendResult SendTopicQuery(const std::string& channel);
  SendResult SetState(char newState);
  SendResult RequestInfo(int userIndex);
  SendResult SendInfo(int userIndex);
  SendResult SendBell(const AChuvakInfo& entry, std::uint16_t bellNumber);

  // Entry points for the host.
  // A received datagram; a negative length is a failed receive and is ignored.
  void DataReceived(const std::uint8_t* data, long length, const std::string& fromIP, int port);
  void ResendTick();
  void PresenceTick();
  void PingTick();

  // Incoming logic, public so that its rules can be driven directly.
  void ApplyState(int userIndex, char stateChar, const std::string& description, bool notify);
  void ApplyTopic(std::uint32_t topicTime, std::uint32_t senderClock, const std::string& nick,
                  const std::string& channel, const std::string& topic);
  void AnswerTopicQuery(std::uint32_t topicTime, std::uint32_t senderClock, const std::string& nick,
                        const std::string& channel);
  void ResendRange(const std::string& address, std::uint16_t packetType, std::uint16_t firstSeq,
                   std::uint16_t lastSeq);
  void CompareRoster(const TMStigs& names);

  // The own clock as a protocol time value.
  std::uint32_t UnixNow() const;
  // Seconds of silence after which a peer may be pinged (30 + Jitter).
  int PingThreshold() const { return 30 + jitter_; }

 private:
  // Builds header (advancing the type's counter) + block + fields and hands it to SendTo; a kept
  // datagram goes into the ring first. TooLong leaves everything, the counter included, alone.
  SendResult Send(const std::string& dest, std::uint16_t type, const std::string& block,
                  const std::string& fields, bool keep);
  void SendTo(const std::string& address, const std::string& data);
  void StartCounters();
  // Whether a confirmation from the entry (with hidden field 3) counts for a pending item, which it
  // removes, reporting Delivered (PeerOffline when the confirmer is offline). acknowledgement: it is
  // an acknowledgement of one of our asking mass messages, which counts at any time.
  bool TakeConfirmation(int userIndex, std::uint16_t type, std::uint16_t seq, const std::string& hidden,
                        bool offline, bool acknowledgement);
  // Whether a confirmation of mass message seq carrying kAck answers one of ours that asked for it;
  // fresh is set when the entry at address had not acknowledged it yet (and now has).
  bool TakeAcknowledgement(const std::string& address, std::uint16_t seq, bool& fresh);
  // A confirmation (header: the confirmed type and number) sent to dest; see SendConfirm.
  SendResult ConfirmTo(const std::string& dest, const std::uint8_t header[4], const std::string& hidden);
  // Queues the report of a pending item of entry; TellUntold raises it.
  void Report(const AChuvakInfo& entry, const PendingItem& item, DeliveryOutcome outcome, bool late = false);
  // Reports every item of entry that has not ended with outcome: the entry is going.
  void EndAll(const AChuvakInfo& entry, DeliveryOutcome outcome);
  // Raises the queued reports and NotDelivered notices, in order. Reports are queued where the engine
  // is in the middle of a change and raised at the end of the operation, because a listener may send
  // from inside the event; one raised while telling others is told by the same loop.
  void TellUntold();
  void RememberSent(const std::string& dest, std::uint16_t type, const std::string& data);
  void EnableResendTimer(bool on);
  void EnablePresenceTimer(bool on);
  // Starts the resend timer after a send that awaits confirmations.
  void AwaitConfirmations();
  int FindOrAddSender(const std::string& nick, const std::string& address);
  bool OwnEntryKnown() const;
  // Pings nick unless a roster list made it ping nick within the presence period; true when sent.
  bool PingOnce(const std::string& nick);
  // Tags: stores what the tag position of a confirmation of a hello or of a pong held (field: empty
  // when it had none), and sets an entry's tag, raising OnTag when it changed.
  void ReadTag(int userIndex, const std::string& field);
  void SetEntryTag(int userIndex, const std::string& tag, bool missing);
  // Pings the entry for its tag when it is still unknown and its pings are due (first sight, then
  // kTagPingRetryMs later) and the shared budget allows.
  void TagPing(int userIndex);
  // Takes bytes of a resend answer from the asking address's bucket; false when it cannot pay.
  bool TakeResendBudget(const std::string& address, std::size_t bytes);
  // Whether a pending item of some entry still awaits the kept datagram (type, seq): it has tries
  // left, or its last one went out less than kDeliveryGraceMs ago.
  bool Awaited(std::uint16_t type, std::uint16_t seq) const;
  // Gives up the pending items for (type, seq) and tells the listener each was not delivered.
  void GiveUp(std::uint16_t type, std::uint16_t seq);
  void Notice(EngineNotice kind, const std::string& nick, const std::vector<std::string>& addresses,
              std::uint16_t type = 0);
  void Dispatch(std::uint16_t type, std::uint16_t seq, const std::uint8_t* data, std::size_t length,
                const std::string& fromIP);

  PlumoHost& host_;
  int port_;
  int jitter_ = 0;
  std::uint8_t quietTicks_ = 0;
  std::string nick_;
  char state_ = '\0';
  SeqCounters counters_;
  std::vector<CmdRec> history_;
  std::size_t historyPos_ = 0;
  std::vector<std::unique_ptr<TChanel>> channels_;
  std::unordered_map<std::string, std::size_t> channelIndex_;
  std::size_t learnedChannels_ = 0;
  std::deque<CmdRec> held_;
  // Reports and NotDelivered notices not raised yet (TellUntold).
  struct Untold {
    bool Notice = false;  // an EngineNotice::NotDelivered for Report's nick, address and type
    TDeliveryReport Report;
  };
  std::deque<Untold> untold_;
  bool telling_ = false;
  // Own asking mass messages (kAskedKept, oldest first) and the addresses that acknowledged each.
  struct Asked {
    std::uint16_t Seq = 0;
    std::unordered_set<std::string> By;
  };
  std::deque<Asked> asked_;
  struct Bucket {
    double Datagrams = kResendBurstDatagrams;
    double Bytes = kResendBurstBytes;
    std::int64_t AtMs = 0;
  };
  std::unordered_map<std::string, Bucket> resendBuckets_;
  std::unordered_map<std::string, std::int64_t> pingedAt_;
  std::deque<std::string> pingQueue_;
  bool rosterFullNoticed_ = false;
  TUsers users_;
  TPlumoEvents* events_ = nullptr;
  std::string tag_;
  TEnvelopeGuard* guard_ = nullptr;
  double tagPingTokens_ = kTagPingBurst;
  std::int64_t tagPingRefillMs_ = 0;
  bool guards_ = true;
  bool receiving_ = false;
  std::string receivingFrom_;
  std::uint16_t receivingSeq_ = 0;
};

}  // namespace plumo
