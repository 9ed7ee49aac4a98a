// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/presenter.h"

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
    const TMessageScope scope(texts_.Messages());
    tabs_.ConsoleAdd(kOlive + "[" + clock_.NowTime() + "] " + texts_.Msg("NewUser") + " : " + Field0(fields) +
                     " [" + address + "]");
  }
  sounds_.PlayEventSound("join_network");
  delivery_.PeerSeen(Field0(fields), address);
}

void TEventPresenter::OnUserExit(const TMStigs& fields, const std::string& address) {
  {
    const TMessageScope scope(texts_.Messages());
    tabs_.ConsoleAdd(kGrey + "[" + clock_.NowTime() + "] " + texts_.Msg("UserExit") + " : " + Field0(fields) +
                     " [" + address + "]");
  }
  sounds_.PlayEventSound("leave_network");
}

void TEventPresenter::OnUserLost(const std::string& nick, const AChuvakInfo& entry) {
  const TMessageScope scope(texts_.Messages());
  tabs_.ConsoleAdd(kGrey + "[" + clock_.NowTime() + "] " + texts_.Msg("UserLost") + " : " + nick + " [" +
                   entry.Address + "]");
}

void TEventPresenter::OnUserState(const AChuvakInfo& entry, char oldState) {
  roster_.UpdateState(entry);
  const char now = entry.State;
  if (oldState == stOffline && now != stOffline) delivery_.PeerSeen(entry.Nick, entry.Address);
  if (oldState == now || now == stAway || (oldState == stAway && now == stActive)) return;
  const TMessageScope scope(texts_.Messages());
  tabs_.ConsoleAdd(kGrey + "[" + clock_.NowTime() + "] " +
                   FormatOptional(texts_.Msg("UserChangeStatus"),
                                  {entry.Nick, own_.StateCaption(now), entry.StateDescription}, 2));
}

void TEventPresenter::OnTopicChange(const std::string& channelName) {
  tabs_.ShowTopicChange(channelName, engine_ ? engine_->ReceivingFrom() : std::string());
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
  lines_.ChannelLine(channels.At(index).Name, engine_ ? engine_->ReceivingFrom() : std::string(), nick, text);
  if (settings_.ChanelHotNik) nick = NickPair(nick);
  channels.AddLine(channel, kGrey + "[" + clock_.NowTime() + "] " + kBlack + nick + ": " + text);
  channels.RefreshIcons();
  sounds_.PlayEventSound("chat_line");
}

void TEventPresenter::AddReceivedMessage(const std::string& caption, int iconIndex,
                                         const std::string& address, const std::string& nick,
                                         const std::string& quote, const std::string& text,
                                         const std::string& warning) {
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
  inputs.AddLine(caption, kCrLf + kGrey + ">" + quote +
                              (warning.empty() ? std::string() : kCrLf + kRed + warning) +
                              ColourCode(settings_.MyColor) + kCrLf + text);
  inputs.RefreshIcons();
}

void TEventPresenter::OnPrivateMessage(const TMStigs& fields, const std::string& text,
                                       const std::string& address) {
  const std::optional<secure::TOpened> opened = private_.TakeOpened(text);
  if (opened && opened->Kind != secure::BodyKind::Text) return;  // a step of the key check
  if (!opened && secure::IsEnvelope(text)) {
    // An envelope the guard did not open (the own identity is damaged): never shown as text.
    private_.EnvelopeDropped(address);
    return;
  }
  // An opened message is labelled with the nick inside it; the datagram's nick is only a hint.
  const std::string& nick = opened ? opened->Nick : Field0(fields);
  const std::string& body = opened ? opened->Body : text;
  lines_.Message(HistoryKind::Private, false, address, nick, body, 0);
  const std::string t = clock_.NowTime();
  const std::string mark = opened ? " " + private_.EncryptedMark() : std::string();
  const std::string warning = !opened && private_.ClearFromKeyedPeer(nick, address)
                                  ? texts_.MsgAlone("ClearFromKeyedPeer")
                                  : std::string();
  AddReceivedMessage("[" + t + "] " + "<-" + nick, opened ? icon::kPrivateEncrypted : icon::kPrivate, address,
                     nick, nick + " [" + t + "]" + mark, body, warning);
  sounds_.PlayEventSound("message");
}

void TEventPresenter::OnTag(const AChuvakInfo& entry) {
  // An entry forgotten because its program started again (no tag, not missing) says nothing yet.
  if (entry.TagMissing) {
    private_.TagSeen(entry.Nick, entry.Address, {});
  } else if (!entry.Tag.empty()) {
    private_.TagSeen(entry.Nick, entry.Address, entry.Tag);
    // A key seen again may be the one a waiting message was sealed to.
    delivery_.PeerSeen(entry.Nick, entry.Address);
  }
}

void TEventPresenter::OnMassMessage(const TMStigs& fields, const std::string& text,
                                    const std::string& address) {
  if (settings_.DesableMultiMessage) return;
  // A message that asks to be acknowledged gets an Acknowledge mark with an id of its own.
  const MessageId asked = engine_ && TPlumo::AsksAcknowledge(fields)
                              ? delivery_.AskedToAcknowledge(Field0(fields), address, engine_->ReceivingSeq())
                              : 0;
  lines_.Message(HistoryKind::Mass, false, address, Field0(fields), text, static_cast<std::int64_t>(asked));
  const std::string t = clock_.NowTime();
  const std::string caption = "[" + t + "] " + "<-@" + Field0(fields);
  AddReceivedMessage(caption, icon::kMass, address, Field0(fields),
                     Field0(fields) + " " + texts_.MsgAlone("MultiMessage") + " [" + t + "] ", text);
  if (asked != 0) tabs_.Inputs().AddMark(tabs_.Inputs().IndexOf(caption), delivery_.ReceivedMark(asked));
  sounds_.PlayEventSound("mass_message");
}

void TEventPresenter::OnConfirm(const AChuvakInfo& entry, std::uint16_t packetType) {
  // A message to everybody is followed by its roll-call mark instead of a line per reader.
  if (packetType == pkMassMessage) return;
  const char* key = nullptr;
  if (packetType == pkPrivateMessage) {
    key = "Message_received";
  } else if (packetType == pkBell) {
    key = "Bell_received";
  } else {
    return;
  }
  {
    const TMessageScope scope(texts_.Messages());
    tabs_.ConsoleAdd(kOlive +
                     FormatText(texts_.Msg(key), {clock_.NowTime(), entry.Nick, entry.StateDescription}));
  }
  sounds_.PlayEventSound("confirm");
}

void TEventPresenter::OnUnknownCommand(const std::string& text) {
  tabs_.ConsoleAdd(clock_.NowDateTime() + " " + text);
}

void TEventPresenter::OnNickChange(const TMStigs& fields, const std::string& newNick,
                                   const std::string& address) {
  const TMessageScope scope(texts_.Messages());
  tabs_.ConsoleAdd(kGrey + FormatText(texts_.Msg("User_change_Nik"),
                                      {clock_.NowTime(), Field0(fields), newNick, address}));
}

void TEventPresenter::OnInfo(const TMStigs& fields, const std::string& infoText, const std::string& address) {
  const TMessageScope scope(texts_.Messages());
  tabs_.ConsoleAdd(kCrLf + kCrLf + kCrLf + kGrey +
                   FormatText(texts_.Msg("Info"), {clock_.NowTime(), Field0(fields), address, infoText}));
}

void TEventPresenter::OnSendError() {
  own_.StartNetworkWatch();
}

void TEventPresenter::OnBell(const AChuvakInfo& entry, std::uint16_t bellNumber) {
  if (engine_ && engine_->State() == stOffline) return;
  const std::string text =
      FormatText(texts_.MsgAlone("Bell"), {clock_.NowTime(), entry.Nick, std::to_string(bellNumber)});
  feedback_.Tell(kOlive, text, entry.Nick, TFeedbackPlace{false, entry.Address});
  sounds_.PlayBell(bellNumber);
}

void TEventPresenter::OnNotice(EngineNotice kind, const std::string& nick,
                               const std::vector<std::string>& addresses, std::uint16_t /*packetType*/) {
  std::string list;
  for (const auto& a : addresses) list += (list.empty() ? "" : ", ") + a;
  if (kind == EngineNotice::NickShared && engine_) {
    const std::size_t all = engine_->Users().NickCount(nick);
    if (all > addresses.size()) list += ", ... (" + std::to_string(all) + ")";
  }
  const char* key = "";
  switch (kind) {
    case EngineNotice::RosterFull:
      key = "RosterFull";
      break;
    case EngineNotice::NotDelivered:
      key = "NotDelivered";
      break;
    case EngineNotice::NickShared:
      key = "NickShared";
      break;
  }
  const std::string text = clock_.NowTime() + " " + FormatText(texts_.MsgAlone(key), {nick, list});
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
