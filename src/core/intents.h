// SPDX-License-Identifier: GPL-3.0-or-later
// TIntents: what a user can do in the chat, as calls with arguments that return what happened. The
// window's gestures ask first (a box, the editor, the selection) and then call the same doing; the
// headless peer calls these directly. Side effects the user must see (a red console line for a text
// that is too long, a recipient that cannot be reached) are shown here, as the window showed them;
// the outcome tells the caller what happened, so that it can add its own word.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/line_events.h"
#include "core/slots.h"
#include "core/surfaces.h"
#include "core/texts.h"
#include "lang/lng.h"
#include "net/plumo.h"

namespace plumo {

class TChatHistory;
class TDeliveries;
class TFeedback;
class TOwnState;
class TPrivateTalk;
class TRosterList;
class TTabStrips;

// What an intent did.
enum class Outcome : std::uint8_t {
  Sent,         // done: every datagram left (or the change was made)
  Nothing,      // nothing to do: blank text, an unchanged topic, nobody to ask
  TooLong,      // refused: the text does not fit one datagram; nothing was sent
  Unreachable,  // a recipient has left or is offline (Unreached names it); the others got it
  BadNick,      // a nick the protocol does not allow; the nick stays
  BadArgument,  // a state that cannot be chosen, a bell number out of range
  NoChannel,    // the channel has no tab here, or it is the console
  NoEngine,     // the chat is off (no network, or the program is ending)
  Refused,      // a recipient's key rules stopped a private message to it (its key changed since it
                // was checked, its program no longer encrypts, the own identity is damaged): that
                // recipient got nothing (Unreached names it) and the draft is to stay
};

struct TOutcome {
  Outcome Kind = Outcome::Nothing;
  // Unreachable: the addresses that got nothing.
  std::vector<std::string> Unreached;
  // The delivery ledger's id of what was sent (or kept for an absent peer); 0 when nothing was.
  MessageId Id = 0;
};

class TIntents {
 public:
  // engine: the protocol engine, or nothing while there is none (before start-up, without network,
  // after the farewell). Every message sent is told to lines.
  TIntents(const TEngineSlot& engine, TLineObserver& lines, TTabStrips& tabs, TRosterList& roster,
           TOwnState& own, TFeedback& feedback, TChatHistory& history, TPrivateTalk& privateTalk,
           TDeliveries& delivery, TMsgINISupp& messages, SystemInfo& system)
      : engine_(engine),
        lines_(lines),
        tabs_(tabs),
        roster_(roster),
        own_(own),
        feedback_(feedback),
        history_(history),
        private_(privateTalk),
        delivery_(delivery),
        texts_(messages),
        system_(system) {}

  // A line in the named channel (the text trimmed); a refusal is told in the console and the
  // channel shown.
  TOutcome Say(const std::string& channel, const std::string& text);
  // A private message to every entry at each address that is not offline. nicks (in the order of
  // addresses, may be shorter) name an unreachable recipient in the console. inMessageTab: typed in
  // the message tab shown, where a refusal is told as well. Each recipient goes as its key says
  // (TPrivateTalk::Route): sealed to a peer with a key, in clear text to one without; a recipient
  // whose key changed since it was checked, or whose program no longer encrypts, gets nothing
  // (Refused) unless sendClear: the user chose clear text for this message (to the latter only).
  // A recipient who is not there (left, lost or offline) gets the message kept for when it comes
  // back when the settings say so (KeepForAbsent), or, typed in a message tab, when the user says
  // yes to the question asked once per tab. The outcome's Id is the message's.
  TOutcome SendPrivate(const std::vector<std::string>& addresses, const std::string& text,
                       const std::vector<std::string>& nicks = {}, bool inMessageTab = false,
                       bool sendClear = false);
  // A message to everybody; askAcknowledge: Plumo readers are asked to acknowledge it.
  TOutcome SendToEverybody(const std::string& text, bool inMessageTab = false, bool askAcknowledge = false);
  // Keeps a private message for nick (last seen at address) until it comes back (Sent with the
  // id; Nothing when it was not kept, with the reason in the console).
  TOutcome KeepForAbsent(const std::string& nick, const std::string& address, const std::string& text);
  // Bell number to the first entry at address.
  TOutcome RingBell(const std::string& address, std::uint16_t number);
  // State 1 (active), 4 (do not disturb) or 5 (offline), as the state menu chooses it; for 4 and 5
  // the description (kept in chat.ini for the next time), or the stored one when none is given.
  TOutcome SetState(int tag, const std::optional<std::string>& description);
  // The own nick; BadNick (with a red console line) when the protocol does not allow it.
  TOutcome SetNick(const std::string& nick);
  // The topic of the named channel (text as typed; it travels wrapped with the own nick); Nothing
  // when it equals the current topic's text.
  TOutcome SetTopic(const std::string& channel, const std::string& text);
  // Asks every entry at each address for its information text; Nothing when nobody was asked.
  TOutcome AskInfo(const std::vector<std::string>& addresses);

  // --- What the commands read and change besides the intents.
  TPlumo* Engine() const { return engine_.Get(); }
  TTabStrips& Tabs() { return tabs_; }
  TRosterList& Roster() { return roster_; }
  TOwnState& Own() { return own_; }
  TChatHistory& History() { return history_; }
  TPrivateTalk& Private() { return private_; }
  TDeliveries& Delivery() { return delivery_; }
  TMsgINISupp& Messages() { return texts_.Messages(); }
  const TTexts& Texts() const { return texts_; }
  SystemInfo& System() { return system_; }
  // Every entry of the engine's user list (nick, address, state, description), unsorted.
  std::vector<RosterRow> Peers() const;

 private:
  // The red line for a text refused as too long: in the console and where it was typed.
  void ReportTooLong(bool inMessageTab, const char* key = "MessageTooLong");

  const TEngineSlot& engine_;
  TLineObserver& lines_;
  TTabStrips& tabs_;
  TRosterList& roster_;
  TOwnState& own_;
  TFeedback& feedback_;
  TChatHistory& history_;
  TPrivateTalk& private_;
  TDeliveries& delivery_;
  TTexts texts_;
  SystemInfo& system_;
};

}  // namespace plumo
