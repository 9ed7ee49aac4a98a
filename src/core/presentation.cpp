// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/presenter.h"

#include "core/chat_history.h"
#include "core/texts.h"
#include "lang/markup.h"
#include "lang/text_helpers.h"

namespace plumo {

namespace {

const std::string kCrLf = "\r\n";

std::string Field0(const TMStigs& fields) {
  return fields.empty() ? std::string() : fields[0];
}

}  // namespace

void TEventPresenter::OnNewUser(const TMStigs& fields, const std::string& address) {
  {
    const TMessageScope scope(c_.Messages);
    tabs_.ConsoleAdd(kOlive + "[" + c_.NowTime() + "] " + c_.Msg("NewUser") + " : " + Field0(fields) + " [" +
                     address + "]");
  }
  sounds_.PlayEventSound("join_network");
}

void TEventPresenter::OnUserExit(const TMStigs& fields, const std::string& address) {
  {
    const TMessageScope scope(c_.Messages);
    tabs_.ConsoleAdd(kGrey + "[" + c_.NowTime() + "] " + c_.Msg("UserExit") + " : " + Field0(fields) + " [" +
                     address + "]");
  }
  sounds_.PlayEventSound("leave_network");
}

void TEventPresenter::OnUserLost(const std::string& nick, const AChuvakInfo& entry) {
  const TMessageScope scope(c_.Messages);
  tabs_.ConsoleAdd(kGrey + "[" + c_.NowTime() + "] " + c_.Msg("UserLost") + " : " + nick + " [" +
                   entry.Address + "]");
}

void TEventPresenter::OnUserState(const AChuvakInfo& entry, char oldState) {
  roster_.UpdateState(entry);
  const char now = entry.State;
  if (oldState == now || now == stAway || (oldState == stAway && now == stActive)) return;
  const TMessageScope scope(c_.Messages);
  tabs_.ConsoleAdd(kGrey + "[" + c_.NowTime() + "] " +
                   FormatOptional(c_.Msg("UserChangeStatus"),
                                  {entry.Nick, own_.StateCaption(now), entry.StateDescription}, 2));
}

void TEventPresenter::OnTopicChange(const std::string& channelName) {
  tabs_.ShowTopicChange(channelName, c_.Engine ? c_.Engine->ReceivingFrom() : std::string());
}

void TEventPresenter::OnChannelLine(const TMStigs& fields, const std::string& channel,
                                    const std::string& text) {
  if (channel == "#") return;
  TConversationList& channels = tabs_.Channels();
  const int index = channels.IndexOf(channel);
  if (index <= 0) return;  // no tab for it (the console takes no channel lines)
  const bool current = index == channels.CurrentIndex();
  channels.At(index).IconIndex = current ? icon::kChannelSeen : icon::kChannelUnseen;
  channels.At(index).Seen = current;
  std::string nick = Field0(fields);
  // Stored under the tab's name: a peer may write the channel's name in other letter case.
  if (c_.History) {
    c_.History->ChannelLine(channels.At(index).Name, c_.Engine ? c_.Engine->ReceivingFrom() : std::string(),
                            nick, text);
  }
  if (c_.Settings.ChanelHotNik) nick = NickPair(nick);
  channels.AddLine(channel, kGrey + "[" + c_.NowTime() + "] " + kBlack + nick + ": " + text);
  channels.RefreshIcons();
  sounds_.PlayEventSound("chat_line");
}

void TEventPresenter::AddReceivedMessage(const std::string& caption, int iconIndex,
                                         const std::string& address, const std::string& nick,
                                         const std::string& quote, const std::string& text) {
  Conversation c;
  c.Name = caption;
  c.IconIndex = iconIndex;
  c.Seen = false;
  c.Recipients = address;
  c.RecipientNames = nick;
  c.MassMessage = false;  // a reply goes to the sender alone
  c.Mode = ModeReply;
  TConversationList& inputs = tabs_.Inputs();
  // Two messages from one nick within the same second share the tab rather than lose one.
  inputs.Add(c);
  inputs.AddLine(caption, kCrLf + kGrey + ">" + quote + ColourCode(c_.Settings.MyColor) + kCrLf + text);
  inputs.RefreshIcons();
}

void TEventPresenter::OnPrivateMessage(const TMStigs& fields, const std::string& text,
                                       const std::string& address) {
  if (c_.History) c_.History->Message(HistoryKind::Private, false, address, Field0(fields), text);
  const std::string t = c_.NowTime();
  AddReceivedMessage("[" + t + "] " + "<-" + Field0(fields), icon::kPrivate, address, Field0(fields),
                     Field0(fields) + " [" + t + "]", text);
  sounds_.PlayEventSound("message");
}

void TEventPresenter::OnMassMessage(const TMStigs& fields, const std::string& text,
                                    const std::string& address) {
  if (c_.Settings.DesableMultiMessage) return;
  if (c_.History) c_.History->Message(HistoryKind::Mass, false, address, Field0(fields), text);
  const std::string t = c_.NowTime();
  AddReceivedMessage("[" + t + "] " + "<-@" + Field0(fields), icon::kMass, address, Field0(fields),
                     Field0(fields) + " " + c_.MsgAlone("MultiMessage") + " [" + t + "] ", text);
  sounds_.PlayEventSound("mass_message");
}

void TEventPresenter::OnConfirm(const AChuvakInfo& entry, std::uint16_t packetType) {
  const char* key = nullptr;
  if (packetType == pkPrivateMessage || packetType == pkMassMessage) {
    key = "Message_received";
  } else if (packetType == pkBell) {
    key = "Bell_received";
  } else {
    return;
  }
  {
    const TMessageScope scope(c_.Messages);
    tabs_.ConsoleAdd(kOlive + FormatText(c_.Msg(key), {c_.NowTime(), entry.Nick, entry.StateDescription}));
  }
  sounds_.PlayEventSound("confirm");
}

void TEventPresenter::OnUnknownCommand(const std::string& text) {
  tabs_.ConsoleAdd(c_.NowDateTime() + " " + text);
}

void TEventPresenter::OnNickChange(const TMStigs& fields, const std::string& newNick,
                                   const std::string& address) {
  const TMessageScope scope(c_.Messages);
  tabs_.ConsoleAdd(kGrey +
                   FormatText(c_.Msg("User_change_Nik"), {c_.NowTime(), Field0(fields), newNick, address}));
}

void TEventPresenter::OnInfo(const TMStigs& fields, const std::string& infoText, const std::string& address) {
  const TMessageScope scope(c_.Messages);
  tabs_.ConsoleAdd(kCrLf + kCrLf + kCrLf + kGrey +
                   FormatText(c_.Msg("Info"), {c_.NowTime(), Field0(fields), address, infoText}));
}

void TEventPresenter::OnSendError() {
  own_.StartNetworkWatch();
}

void TEventPresenter::OnBell(const AChuvakInfo& entry, std::uint16_t bellNumber) {
  if (c_.Engine && c_.Engine->State() == stOffline) return;
  const std::string text =
      FormatText(c_.MsgAlone("Bell"), {c_.NowTime(), entry.Nick, std::to_string(bellNumber)});
  feedback_.Tell(kOlive, text, entry.Nick, TFeedbackPlace{false, entry.Address});
  sounds_.PlayBell(bellNumber);
}

void TEventPresenter::OnNotice(EngineNotice kind, const std::string& nick,
                               const std::vector<std::string>& addresses, std::uint16_t /*packetType*/) {
  std::string list;
  for (const auto& a : addresses) list += (list.empty() ? "" : ", ") + a;
  if (kind == EngineNotice::NickShared && c_.Engine) {
    const std::size_t all = c_.Engine->Users().NickCount(nick);
    if (all > addresses.size()) list += ", ... (" + std::to_string(all) + ")";
  }
  const char* key = "";
  std::string fallback;
  switch (kind) {
    case EngineNotice::RosterFull:
      key = "RosterFull";
      fallback = "The list of users is full (" + std::to_string(TUsers::kMaxEntries) +
                 "): further addresses are not added.";
      break;
    case EngineNotice::NotDelivered:
      key = "NotDelivered";
      fallback = "The message to " + nick + " [" + list + "] was not delivered.";
      break;
    case EngineNotice::NickShared:
      key = "NickShared";
      fallback = "The nick " + nick + " is used by more than one address: " + list +
                 ". One of them may be someone else.";
      break;
  }
  std::string text = c_.MsgAlone(key);
  text = c_.NowTime() + " " + (text == kMissingText ? fallback : FormatText(text, {nick, list}));
  if (kind == EngineNotice::NotDelivered) {
    // The peer whose message tab is open, else the first.
    std::string peer = addresses.empty() ? std::string() : addresses[0];
    for (const auto& a : addresses) {
      if (feedback_.PeerMessageTab(a) > 0) {
        peer = a;
        break;
      }
    }
    feedback_.Tell(kRed, text, nick, TFeedbackPlace{false, peer});
    return;
  }
  tabs_.ConsoleError(text);
}

}  // namespace plumo
