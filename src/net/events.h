// SPDX-License-Identifier: GPL-3.0-or-later
// TPlumoEvents: the one listener of a protocol engine. A host program implements every method
// (they are pure, so a listener that forgets one does not compile) and hands the listener to
// TPlumo::SetEvents. The engine calls it synchronously from inside DataReceived, ResendTick,
// PresenceTick and the send operations; text arguments are valid only during the call.
//
// A listener may call the engine's send operations from inside an event, but must not destroy the
// engine, remove roster entries, or throw.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/codec.h"
#include "net/users.h"

namespace plumo {

// What an OnNotice tells the user about.
enum class EngineNotice {
  // The roster holds TUsers::kMaxEntries peers: datagrams from further addresses are handled, but
  // their senders are not added. Raised once, the first time an address is turned away.
  RosterFull,
  // A datagram waiting for the confirmation of nick at addresses[0] (a private message, mass message
  // or bell: packetType) left the engine before it was confirmed or had used its tries: it will not be
  // resent, and may not have arrived.
  NotDelivered,
  // A second address took a nick that another address in the roster uses: addresses lists the
  // addresses using nick (the first TPlumo::kNickSharedListed, the one heard first first), raised
  // for the second to that many and then at each doubling. Either may be an impostor; the wire
  // cannot tell.
  NickShared,
};

// How a datagram that awaited one peer's confirmation ended, as OnDelivery reports it.
enum class DeliveryOutcome : std::uint8_t {
  Delivered,    // the peer confirmed it (with the receipt, where one was awaited)
  NoAnswer,     // the tries and the grace time after the last one passed without a confirmation
  PeerLeft,     // the peer said farewell before confirming
  PeerLost,     // the peer fell silent and left the roster before confirming
  PeerOffline,  // the peer confirmed while its state is offline: its program does not show it
  Overwritten,  // more datagrams awaited confirmations than the engine keeps: the oldest was given up
};

// One pending item's end (or its late confirmation), for a listener that follows each message.
struct TDeliveryReport {
  std::uint16_t PacketType = 0;  // pkPrivateMessage, pkMassMessage or pkBell
  std::uint16_t Seq = 0;         // the number the send used (TPlumo::LastSeq right after it)
  std::string Nick;
  std::string Address;
  DeliveryOutcome Outcome = DeliveryOutcome::Delivered;
  std::int64_t AtMs = 0;  // the host's clock (NowMs) at the confirmation or at the end
  // Delivered after this item had been reported with another outcome (a confirmation that came
  // late, or a receipt after the tries): the later report wins.
  bool Late = false;
};

class TPlumoEvents {
 public:
  virtual ~TPlumoEvents() = default;

  // A hello, the engine's own included. address is the sender's.
  virtual void OnNewUser(const TMStigs& fields, const std::string& address) = 0;
  // A farewell, whether or not the sender was in the roster.
  virtual void OnUserExit(const TMStigs& fields, const std::string& address) = 0;
  // A known channel's topic was replaced by a peer's newer one.
  virtual void OnTopicChange(const std::string& channelName) = 0;
  // A channel line, the engine's own included, once per sequence number.
  virtual void OnChannelLine(const TMStigs& fields, const std::string& channel, const std::string& text) = 0;
  // A private message to the own nick, once per sequence number, unless the own state is offline.
  virtual void OnPrivateMessage(const TMStigs& fields, const std::string& text,
                                const std::string& address) = 0;
  // A mass message from another peer, once per sequence number, unless the own state is offline.
  virtual void OnMassMessage(const TMStigs& fields, const std::string& text, const std::string& address) = 0;
  // A peer confirmed a datagram this engine was waiting for.
  virtual void OnConfirm(const AChuvakInfo& entry, std::uint16_t packetType) = 0;
  // A peer stayed silent too long; it is removed from the roster after the event.
  virtual void OnUserLost(const std::string& nick, const AChuvakInfo& entry) = 0;
  // A peer announced a new state.
  virtual void OnUserState(const AChuvakInfo& entry, char oldState) = 0;
  // A datagram of a type the protocol does not know; text is the report to show.
  virtual void OnUnknownCommand(const std::string& text) = 0;
  // A known peer took another nick (a peer starting again comes from the empty nick).
  virtual void OnNickChange(const TMStigs& fields, const std::string& newNick,
                            const std::string& address) = 0;
  // The information a peer sent in answer to RequestInfo.
  virtual void OnInfo(const TMStigs& fields, const std::string& infoText, const std::string& address) = 0;
  // The host could not send a datagram.
  virtual void OnSendError() = 0;
  // A peer rang a bell; a resent bell rings again.
  virtual void OnBell(const AChuvakInfo& entry, std::uint16_t bellNumber) = 0;
  // Something the user should know about the engine's own limits or the roster (see EngineNotice).
  virtual void OnNotice(EngineNotice kind, const std::string& nick, const std::vector<std::string>& addresses,
                        std::uint16_t packetType) = 0;
  // The Tag or TagMissing of entry changed: a tag seen, changed or seen missing, forgotten because the
  // peer started again, or carried over to the new nick of a nick change. Not raised when an entry goes.
  virtual void OnTag(const AChuvakInfo& entry) = 0;
  // Every item awaiting a peer's confirmation ends with exactly one report: Delivered, or one of
  // the other outcomes (and then, should the confirmation still come, a Delivered one marked Late).
  virtual void OnDelivery(const TDeliveryReport& report) = 0;
  // The peer acknowledged our mass message number seq, which asked for it (TPlumo::kAckRequest).
  virtual void OnAcknowledge(const AChuvakInfo& entry, std::uint16_t seq) = 0;
};

// A listener that passes every event on to another one: the base of listeners that watch the events
// (a log, a test) and leave presenting them to the listener they wrap.
class TPlumoEventsForward : public TPlumoEvents {
 public:
  explicit TPlumoEventsForward(TPlumoEvents& inner) : inner_(inner) {}

  void OnNewUser(const TMStigs& f, const std::string& a) override { inner_.OnNewUser(f, a); }
  void OnUserExit(const TMStigs& f, const std::string& a) override { inner_.OnUserExit(f, a); }
  void OnTopicChange(const std::string& c) override { inner_.OnTopicChange(c); }
  void OnChannelLine(const TMStigs& f, const std::string& c, const std::string& t) override {
    inner_.OnChannelLine(f, c, t);
  }
  void OnPrivateMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    inner_.OnPrivateMessage(f, t, a);
  }
  void OnMassMessage(const TMStigs& f, const std::string& t, const std::string& a) override {
    inner_.OnMassMessage(f, t, a);
  }
  void OnConfirm(const AChuvakInfo& e, std::uint16_t type) override { inner_.OnConfirm(e, type); }
  void OnUserLost(const std::string& n, const AChuvakInfo& e) override { inner_.OnUserLost(n, e); }
  void OnUserState(const AChuvakInfo& e, char old) override { inner_.OnUserState(e, old); }
  void OnUnknownCommand(const std::string& t) override { inner_.OnUnknownCommand(t); }
  void OnNickChange(const TMStigs& f, const std::string& n, const std::string& a) override {
    inner_.OnNickChange(f, n, a);
  }
  void OnInfo(const TMStigs& f, const std::string& i, const std::string& a) override {
    inner_.OnInfo(f, i, a);
  }
  void OnSendError() override { inner_.OnSendError(); }
  void OnBell(const AChuvakInfo& e, std::uint16_t n) override { inner_.OnBell(e, n); }
  void OnNotice(EngineNotice k, const std::string& n, const std::vector<std::string>& a,
                std::uint16_t t) override {
    inner_.OnNotice(k, n, a, t);
  }
  void OnTag(const AChuvakInfo& e) override { inner_.OnTag(e); }
  void OnDelivery(const TDeliveryReport& r) override { inner_.OnDelivery(r); }
  void OnAcknowledge(const AChuvakInfo& e, std::uint16_t seq) override { inner_.OnAcknowledge(e, seq); }

 private:
  TPlumoEvents& inner_;
};

}  // namespace plumo
