// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intents.h"

#include "core/chat_history.h"
#include "core/deliveries.h"
#include "core/feedback.h"
#include "core/ownstate.h"
#include "core/private_talk.h"
#include "core/roster_list.h"
#include "core/tabstrips.h"
#include "core/texts.h"

namespace plumo {

void TIntents::ReportTooLong(bool inMessageTab, const char* key) {
  feedback_.Tell(kRed, texts_.MsgAlone(key), "Plumo", TFeedbackPlace{inMessageTab, {}});
}

TOutcome TIntents::Say(const std::string& channel, const std::string& text) {
  TPlumo* engine = Engine();
  if (!engine) return {Outcome::NoEngine, {}};
  const int index = tabs_.Channels().IndexOf(channel);
  if (index <= 0) return {Outcome::NoChannel, {}};
  const std::string line = TrimText(text);
  if (line.empty()) return {};
  if (engine->SendChannelLine(tabs_.Channels().At(index).Name, line, engine->BroadcastAddress) ==
      SendResult::TooLong) {
    ReportTooLong(false);
    return {Outcome::TooLong, {}};
  }
  return {Outcome::Sent, {}};
}

TOutcome TIntents::SendToEverybody(const std::string& text, bool inMessageTab, bool askAcknowledge) {
  TPlumo* engine = Engine();
  if (!engine) return {Outcome::NoEngine, {}};
  const std::string message = TrimText(text);
  if (message.empty()) return {};
  if (engine->SendMassMessage(message, askAcknowledge) == SendResult::TooLong) {
    ReportTooLong(inMessageTab);
    return {Outcome::TooLong, {}};
  }
  // The roll-call counts everybody in the roster now; a peer that confirms later joins it.
  TSentMessage sent;
  sent.Id = delivery_.NextId();
  sent.Kind = MessageKind::Everybody;
  sent.Text = message;
  sent.Seq = engine->LastSeq(pkMassMessage);
  sent.AskedAcknowledge = askAcknowledge;
  for (const auto& entry : engine->Users().Entries()) {
    if (entry->Address == engine->MyAddress) continue;
    TRecipient r;
    r.Nick = entry->Nick;
    r.Address = entry->Address;
    sent.Recipients.push_back(std::move(r));
  }
  lines_.Message(HistoryKind::Mass, true, "@", std::string(), message, static_cast<std::int64_t>(sent.Id));
  const MessageId id = sent.Id;
  delivery_.Sent(std::move(sent));
  return {Outcome::Sent, {}, id};
}

TOutcome TIntents::KeepForAbsent(const std::string& nick, const std::string& address,
                                 const std::string& text) {
  const std::string message = TrimText(text);
  if (message.empty()) return {};
  const MessageId id = delivery_.Keep(nick, address, message);
  if (id == 0) return {};
  lines_.Message(HistoryKind::Private, true, address, nick, message, static_cast<std::int64_t>(id));
  return {Outcome::Sent, {}, id};
}

TOutcome TIntents::SendPrivate(const std::vector<std::string>& addresses, const std::string& text,
                               const std::vector<std::string>& nicks, bool inMessageTab, bool sendClear) {
  TPlumo* engine = Engine();
  if (!engine) return {Outcome::NoEngine, {}};
  const std::string message = TrimText(text);
  if (message.empty()) return {};
  TOutcome outcome{Outcome::Sent, {}};
  TSentMessage sentMessage;
  sentMessage.Kind = MessageKind::Private;
  sentMessage.Text = message;
  // Recipients not there, for whom the message may be kept: nick and address.
  std::vector<std::pair<std::string, std::string>> absent;
  bool tooLong = false;
  bool sealedTooLong = false;
  std::vector<std::string> refusals;
  {
    const TMessageScope scope(texts_.Messages());
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      const std::string& address = addresses[i];
      if (address.empty()) continue;
      // Collect the targets first, so that the loop does not depend on the roster staying put.
      std::vector<std::pair<std::string, std::string>> targets;
      std::string offlineNick;
      for (const auto& entry : engine->Users().Entries()) {
        if (entry->Address != address) continue;
        if (entry->State != stOffline) {
          targets.emplace_back(entry->Nick, entry->Address);
        } else if (offlineNick.empty()) {
          offlineNick = entry->Nick;
        }
      }
      for (const auto& [nick, addr] : targets) {
        const TPrivateRoute route = private_.Route(nick, addr);
        SendResult sent = SendResult::Sent;
        TRecipient recipient;
        recipient.Nick = nick;
        recipient.Address = addr;
        if (route.How == TPrivateRoute::Encrypted) recipient.KeyHex = secure::KeyText(*route.Key);
        if (route.How == TPrivateRoute::Encrypted) {
          const std::optional<secure::TSealed> sealed = private_.Seal(*route.Key, engine->Nick(), message);
          if (!sealed) {
            refusals.push_back(private_.RefusalText({TPrivateRoute::NoIdentity, route.Key}, nick));
            outcome.Unreached.push_back(addr);
            continue;
          }
          sent = engine->SendPrivateMessage(nick, sealed->Field, addr, sealed->Receipt);
          if (sent == SendResult::TooLong) sealedTooLong = true;
        } else if (route.How == TPrivateRoute::Clear || (route.How == TPrivateRoute::AskClear && sendClear)) {
          sent = engine->SendPrivateMessage(nick, message, addr);
          if (sent == SendResult::TooLong) tooLong = true;
        } else {
          refusals.push_back(private_.RefusalText(route, nick));
          outcome.Unreached.push_back(addr);
          continue;
        }
        if (sent == SendResult::TooLong) continue;
        if (sentMessage.Id == 0) sentMessage.Id = delivery_.NextId();
        recipient.Seq = engine->LastSeq(pkPrivateMessage);
        sentMessage.Recipients.push_back(std::move(recipient));
        lines_.Message(HistoryKind::Private, true, addr, nick, message,
                       static_cast<std::int64_t>(sentMessage.Id));
      }
      if (targets.empty()) {
        outcome.Kind = Outcome::Unreachable;
        outcome.Unreached.push_back(address);
        if (nicks.size() > i)
          tabs_.ConsoleError(texts_.Msg("CantSendMessage") + " " + nicks[i] + "[" + address + "]");
        const std::string nick = nicks.size() > i && !nicks[i].empty() ? nicks[i] : offlineNick;
        if (!nick.empty()) absent.emplace_back(nick, address);
      }
    }
  }
  if (sentMessage.Id != 0) {
    outcome.Id = sentMessage.Id;
    delivery_.Sent(std::move(sentMessage));
  }
  // Kept for when they come back: as the settings say, or as the user answers in the message tab.
  const int tab = tabs_.Inputs().CurrentIndex();
  for (const auto& [nick, address] : absent) {
    if (inMessageTab && tab > 0) {
      delivery_.OfferKeeping(tabs_.Inputs().At(tab).Name, nick, address, message);
    } else if (delivery_.KeepsForAbsent()) {
      const TOutcome kept = KeepForAbsent(nick, address, message);
      if (outcome.Id == 0) outcome.Id = kept.Id;
    }
  }
  for (const auto& refusal : refusals)
    feedback_.Tell(kRed, refusal, "Plumo", TFeedbackPlace{inMessageTab, {}});
  if (!refusals.empty()) outcome.Kind = Outcome::Refused;
  if (tooLong || sealedTooLong) {
    ReportTooLong(inMessageTab, sealedTooLong ? "EncryptedTooLong" : "MessageTooLong");
    outcome.Kind = Outcome::TooLong;
  }
  return outcome;
}

TOutcome TIntents::RingBell(const std::string& address, std::uint16_t number) {
  TPlumo* engine = Engine();
  if (!engine) return {Outcome::NoEngine, {}};
  for (const auto& entry : engine->Users().Entries()) {
    if (entry->Address != address) continue;
    if (engine->SendBell(*entry, number) != SendResult::Sent) return {Outcome::Unreachable, {}};
    TSentMessage sent;
    sent.Id = delivery_.NextId();
    sent.Kind = MessageKind::Bell;
    sent.Text = std::to_string(number);
    sent.Seq = engine->LastSeq(pkBell);
    TRecipient r;
    r.Nick = entry->Nick;
    r.Address = entry->Address;
    sent.Recipients.push_back(std::move(r));
    const MessageId id = sent.Id;
    delivery_.Sent(std::move(sent));
    return {Outcome::Sent, {}, id};
  }
  return {Outcome::Unreachable, {address}};
}

TOutcome TIntents::SetState(int tag, const std::optional<std::string>& description) {
  if (!Engine()) return {Outcome::NoEngine, {}};
  if (tag != 1 && tag != 4 && tag != 5) return {Outcome::BadArgument, {}};
  if (tag == 1 || description) {
    own_.ChooseState(tag, description.value_or(" "));
  } else {
    std::string stored;
    {
      const TMessageScope scope(texts_.Messages());
      stored = own_.StoredStateDescr(tag);
    }
    own_.ChooseState(tag, stored);
  }
  return {Outcome::Sent, {}};
}

TOutcome TIntents::SetNick(const std::string& nick) {
  TPlumo* engine = Engine();
  if (!engine) return {Outcome::NoEngine, {}};
  const bool bad = nick.size() > kMaxNickLength;
  if (!bad && TrimText(nick).empty()) return {};
  // The nick box's Enter: a refusal is told in the console, a new nick joins the box's list.
  own_.NickEntered(nick, true);
  return {bad ? Outcome::BadNick : Outcome::Sent, {}};
}

TOutcome TIntents::SetTopic(const std::string& channel, const std::string& text) {
  if (!Engine()) return {Outcome::NoEngine, {}};
  if (tabs_.Channels().IndexOf(channel) <= 0) return {Outcome::NoChannel, {}};
  return {tabs_.SetTopicText(channel, text) ? Outcome::Sent : Outcome::Nothing, {}};
}

TOutcome TIntents::AskInfo(const std::vector<std::string>& addresses) {
  TPlumo* engine = Engine();
  if (!engine) return {Outcome::NoEngine, {}};
  bool asked = false;
  for (const std::string& address : addresses) {
    const auto& entries = engine->Users().Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i]->Address != address) continue;
      engine->RequestInfo(static_cast<int>(i));
      asked = true;
    }
  }
  return {asked ? Outcome::Sent : Outcome::Nothing, {}};
}

std::vector<RosterRow> TIntents::Peers() const {
  std::vector<RosterRow> peers;
  const TPlumo* engine = Engine();
  if (!engine) return peers;
  for (const auto& entry : engine->Users().Entries()) {
    RosterRow row;
    row.Nick = entry->Nick;
    row.Address = entry->Address;
    row.State = entry->State;
    row.Description = entry->StateDescription;
    row.Icon = StateImageIndex(entry->State);
    peers.push_back(std::move(row));
  }
  return peers;
}

}  // namespace plumo
