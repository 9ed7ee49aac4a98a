// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intents.h"

#include "core/chat_history.h"
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

TOutcome TIntents::SendToEverybody(const std::string& text, bool inMessageTab) {
  TPlumo* engine = Engine();
  if (!engine) return {Outcome::NoEngine, {}};
  const std::string message = TrimText(text);
  if (message.empty()) return {};
  if (engine->SendMassMessage(message) == SendResult::TooLong) {
    ReportTooLong(inMessageTab);
    return {Outcome::TooLong, {}};
  }
  lines_.Message(HistoryKind::Mass, true, "@", std::string(), message);
  return {Outcome::Sent, {}};
}

TOutcome TIntents::SendPrivate(const std::vector<std::string>& addresses, const std::string& text,
                               const std::vector<std::string>& nicks, bool inMessageTab, bool sendClear) {
  TPlumo* engine = Engine();
  if (!engine) return {Outcome::NoEngine, {}};
  const std::string message = TrimText(text);
  if (message.empty()) return {};
  TOutcome outcome{Outcome::Sent, {}};
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
      for (const auto& entry : engine->Users().Entries()) {
        if (entry->Address == address && entry->State != stOffline)
          targets.emplace_back(entry->Nick, entry->Address);
      }
      for (const auto& [nick, addr] : targets) {
        const TPrivateRoute route = private_.Route(nick, addr);
        SendResult sent = SendResult::Sent;
        if (route.How == TPrivateRoute::Encrypted) {
          const std::optional<secure::TSealed> sealed =
              private_.Seal(*route.Key, addr, engine->Nick(), message);
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
        if (sent != SendResult::TooLong) lines_.Message(HistoryKind::Private, true, addr, nick, message);
      }
      if (targets.empty()) {
        outcome.Kind = Outcome::Unreachable;
        outcome.Unreached.push_back(address);
        if (nicks.size() > i)
          tabs_.ConsoleError(texts_.Msg("CantSendMessage") + " " + nicks[i] + "[" + address + "]");
      }
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
    return {engine->SendBell(*entry, number) == SendResult::Sent ? Outcome::Sent : Outcome::Unreachable, {}};
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
