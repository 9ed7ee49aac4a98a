// SPDX-License-Identifier: GPL-3.0-or-later
// TDeliveries: the ledger of sent messages (TDeliveryLedger, delivery.h). The intents record every
// private message, bell and message to everybody they send; the presenter hands over the engine's
// delivery reports and acknowledgements and the peers that come back. Each sent message gets a row
// in the console (and in its peer's open message tab) with a status mark at its end; marks change in
// place at most kMarkIntervalMs apart (the DeliveryMarks timer), never once per confirmation, while
// followers (the headless JSON) hear of every change at once. Private messages for a peer who is not
// there wait in the history store and go out when the peer is back. Texts are code page 1251.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/delivery.h"
#include "core/settings.h"
#include "core/slots.h"
#include "core/surfaces.h"
#include "core/texts.h"

namespace plumo {

class TChatHistory;
class TFeedback;
class TPrivateTalk;
class TTabStrips;

class TDeliveries final : public TDeliveryLedger {
 public:
  // The least time between two changes of one mark on the screen.
  static constexpr int kMarkIntervalMs = 250;
  // The most waiting messages per peer and in all.
  static constexpr int kWaitingPerPeer = 20;
  static constexpr int kWaitingTotal = 200;
  // The most messages (sent, and received ones asking to be acknowledged) kept in memory: past it
  // the oldest that have settled are forgotten (their status stays in the history).
  static constexpr std::size_t kKeptMessages = 1000;

  TDeliveries(const TSettings& settings, TMsgINISupp& messages, const TClock& clock,
              const TEngineSlot& engine, TTabStrips& tabs, TFeedback& feedback, TPrivateTalk& privateTalk,
              TChatHistory& history, WindowSurface& window, CoreTimers& timers);
  ~TDeliveries() override;
  TDeliveries(const TDeliveries&) = delete;
  TDeliveries& operator=(const TDeliveries&) = delete;

  // After the history opened: ids continue after the highest one it holds, and the messages that
  // waited when the program ended wait again.
  void Start();

  // --- What the intents call.
  // The id of the next message (taken: the next call gives the one after it).
  MessageId NextId() { return ++lastId_; }
  // A message has left (message.Id from NextId): its row and mark, its followers.
  void Sent(TSentMessage message);
  // Keeps a private message for nick, who is not there (address: where it was last seen; keyHex:
  // its key, empty for none); the id, or 0 when it was not kept (the reason is told in the console).
  MessageId Keep(const std::string& nick, const std::string& address, const std::string& text);
  // Asks once per message tab (tab: its name) whether to keep a message for the absent nick;
  // yes keeps it (and the later ones of that tab without asking). KeepForAbsent keeps at once.
  void OfferKeeping(const std::string& tab, const std::string& nick, const std::string& address,
                    const std::string& text);
  // Whether the settings keep such messages without asking.
  bool KeepsForAbsent() const { return settings_.KeepForAbsent; }

  // --- What the presenter calls.
  void Report(const TDeliveryReport& report);
  void Acknowledged(const std::string& nick, const std::string& address, std::uint16_t seq);
  // A received message to everybody asks to be acknowledged: its id (for the history and the mark).
  MessageId AskedToAcknowledge(const std::string& nick, const std::string& address, std::uint16_t seq);
  // The mark of a received message that asks to be acknowledged.
  TDeliveryMark ReceivedMark(MessageId id) const;
  // A peer joined, came back from offline, or showed its key: the messages waiting for it go out.
  void PeerSeen(const std::string& nick, const std::string& address);
  // The DeliveryMarks timer: the marks that changed since the last tick are redrawn and stored.
  void Tick();

  // --- TDeliveryLedger.
  const TSentMessage* Find(MessageId id) const override;
  void Activate(MessageId id, TDeliveryMark::Action action) override;
  int SendAgain(MessageId id) override;
  bool Acknowledge(MessageId id) override;
  int CancelWaiting(MessageId id) override;
  std::vector<const TSentMessage*> Waiting() const override;
  void Follow(TDeliveryObserver& observer) override { observers_.push_back(&observer); }

  // The mark a sent message shows now.
  TDeliveryMark MarkOf(const TSentMessage& message) const;
  // The message a confirmation or acknowledgement of (type, seq) from address belongs to: by the
  // recipient's own number, else (a message to everybody answered by a peer that came after it was
  // sent) by the message's number; nullptr for none.
  TSentMessage* MessageFor(std::uint16_t type, std::uint16_t seq, const std::string& address);
  // The recipient of message at address; a peer not listed yet joins a message to everybody (and
  // nullptr for the others).
  TRecipient* RecipientAt(TSentMessage& message, const std::string& nick, const std::string& address);
  // The row of a sent message: "[14:02:05] -> anna: first words..." (time: when it was sent).
  std::string Row(const TSentMessage& message, const std::string& time) const;
  // Shows the messages still waiting for a recipient of the message tab at index in it, each with
  // its mark (a tab opened again, or after a restart, still lists them and can cancel them).
  void ShowWaitingIn(int tab);
  // One recipient's status in words: "delivered 14:02", "not delivered: no answer".
  std::string StatusText(const TRecipient& recipient) const;
  // Marks drawn on the screen since the start (the benchmark counts them).
  std::uint64_t MarksDrawn() const { return marksDrawn_; }

 private:
  struct TAsked {
    std::string Nick;
    std::string Address;
    std::uint16_t Seq = 0;
    bool Done = false;
    std::int64_t AtMs = 0;
  };
  TSentMessage* Mutable(MessageId id);
  // The message and recipient a datagram (type, seq) to address belongs to.
  void Index(const TSentMessage& message, std::size_t recipient);
  void Changed(TSentMessage& message, int recipient);
  // Sends a private message to nick at address as its key says; false when it could not go.
  bool SendPrivateCopy(TSentMessage& message, TRecipient& recipient);
  std::string Fmt(const char* key, const std::vector<std::string>& args) const;
  void Persist(const TSentMessage& message);
  // Forgets the oldest settled messages past kKeptMessages.
  void Prune();

  const TSettings& settings_;
  TTexts texts_;
  const TClock& clock_;
  const TEngineSlot& engine_;
  TTabStrips& tabs_;
  TFeedback& feedback_;
  TPrivateTalk& private_;
  TChatHistory& history_;
  WindowSurface& window_;
  CoreTimers& timers_;
  MessageId lastId_ = 0;
  std::map<MessageId, TSentMessage> messages_;
  std::map<MessageId, TAsked> asked_;
  // (packet type << 16 | seq, address) -> message id.
  std::map<std::pair<std::uint32_t, std::string>, MessageId> bySeq_;
  std::set<MessageId> dirty_;
  std::map<MessageId, TDeliveryMark> drawn_;
  bool timerOn_ = false;
  std::uint64_t marksDrawn_ = 0;
  // The answer each message tab gave to "deliver when ... comes back?".
  std::map<std::string, bool> keepAnswers_;
  std::vector<TDeliveryObserver*> observers_;
  // Set while the object lives: an answer that comes after it is gone does nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace plumo
