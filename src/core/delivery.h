// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery status: what became of every private message, bell and message to everybody the user
// sent, per recipient, as the engine's confirmations tell it; the roll-call of a message to
// everybody with its acknowledgements; and private messages kept for a peer who is not there, sent
// when that peer comes back. Both front ends read it: the window draws a mark at each sent message's
// line (ConversationView::MarkAdded / MarkChanged) and the headless peer prints one JSON object per
// change (TDeliveryObserver).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/events.h"

namespace plumo {

// A sent message (or a received one that asks to be acknowledged) as the user names it: the id the
// send returned, "/resend ID", "/rollcall ID". Ids count up from 1 through one run and continue
// after the highest one the history holds; 0 is none.
using MessageId = std::uint64_t;

enum class MessageKind : std::uint8_t { Private, Everybody, Bell };

// Where one recipient's copy stands.
enum class RecipientStatus : std::uint8_t {
  Sending,       // sent, neither confirmed nor given up yet
  Delivered,     // confirmed by the recipient (by its key's receipt for a sealed message)
  NotDelivered,  // the engine gave up (Reason says why); "Send again" / "/resend ID"
  Waiting,       // kept (on disk) until the recipient comes back
  Cancelled,     // a waiting copy the user cancelled
};

struct TRecipient {
  std::string Nick;
  std::string Address;
  std::string KeyHex;  // the key a sealed copy went to (the person), empty for clear text
  RecipientStatus Status = RecipientStatus::Sending;
  DeliveryOutcome Reason = DeliveryOutcome::Delivered;  // NotDelivered: why
  std::int64_t AtMs = 0;  // local clock (LocalClockMs) of the confirmation or the last change
  bool Later = false;     // delivered after a "not delivered", or after waiting
  bool Acknowledged = false;
  std::int64_t AcknowledgedAtMs = 0;
  // The engine's number of the datagram this recipient's copy went in (a private message goes to
  // each recipient in a datagram of its own); 0 while waiting.
  std::uint16_t Seq = 0;
};

struct TSentMessage {
  MessageId Id = 0;
  MessageKind Kind = MessageKind::Private;
  std::int64_t SentAtMs = 0;  // local clock
  std::string Text;           // markup as sent (a bell: its number)
  std::uint16_t PacketType = 0;
  std::uint16_t Seq = 0;  // the engine's number for it (0 while waiting)
  bool AskedAcknowledge = false;
  std::vector<TRecipient> Recipients;

  int CountOf(RecipientStatus status) const;
  int AcknowledgedCount() const;
};

// What a status mark at a message's line shows and what clicking it does. Texts are code page 1251.
struct TDeliveryMark {
  enum class Action : std::uint8_t {
    None,           // nothing to do (sending, delivered)
    RollCall,       // show who has it and who is missing (TDeliveryLedger::Find)
    SendAgain,      // TDeliveryLedger::SendAgain
    Acknowledge,    // a received message that asks for it: TDeliveryLedger::Acknowledge
    CancelWaiting,  // TDeliveryLedger::CancelWaiting
  };
  MessageId Id = 0;
  int Icon = -1;        // an icon:: index, -1 for none
  std::string Text;     // short: "delivered 14:02", "received by 27 of 30", "Acknowledge"
  std::string Tooltip;  // the detail: times, reasons, who
  Action Click = Action::None;
  bool operator==(const TDeliveryMark&) const = default;
};

// Follows every change of every message's status, one call per change (the headless JSON).
class TDeliveryObserver {
 public:
  virtual ~TDeliveryObserver() = default;
  // recipient: the index in message.Recipients that changed, or -1 when the message itself is new.
  virtual void DeliveryChanged(const TSentMessage& message, int recipient) = 0;
  // A received message to everybody asks to be acknowledged (acknowledged false, with the id its
  // Acknowledge mark carries), or the user acknowledged it (true, at atMs, local clock).
  virtual void AcknowledgeAsked(MessageId /*id*/, const std::string& /*nick*/, const std::string& /*address*/,
                                bool /*acknowledged*/, std::int64_t /*atMs*/) {}
};

// The ledger of sent messages (TChatCore::Delivery()). The window and the headless commands act on
// messages through it by id; the engine's reports reach it through the presenter.
class TDeliveryLedger {
 public:
  virtual ~TDeliveryLedger() = default;
  // The message with id (sent this run, or read back from the history), or nullptr.
  virtual const TSentMessage* Find(MessageId id) const = 0;
  // What a click on the mark with id and action does (the window calls this; the headless
  // commands call the named operations below).
  virtual void Activate(MessageId id, TDeliveryMark::Action action) = 0;
  // Sends again to every recipient of id that has not got it (not delivered: by unicast, the kept
  // datagram when the engine still has it, else a new copy); the number of recipients sent to.
  virtual int SendAgain(MessageId id) = 0;
  // Acknowledges the received message to everybody with id (its Acknowledge mark); false when it
  // does not ask for it or was acknowledged already.
  virtual bool Acknowledge(MessageId id) = 0;
  // Cancels the waiting copies of id; the number cancelled.
  virtual int CancelWaiting(MessageId id) = 0;
  // Messages kept for peers who are not there, oldest first.
  virtual std::vector<const TSentMessage*> Waiting() const = 0;
  virtual void Follow(TDeliveryObserver& observer) = 0;
};

}  // namespace plumo
