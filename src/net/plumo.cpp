// SPDX-License-Identifier: GPL-3.0-or-later
// Construction, the channel list, the transport switch and every send operation of the engine.
#include "net/plumo.h"

namespace plumo {

const std::string TPlumo::kFutureTopicText =
    "\xC2\xF0\xE5\xEC\xFF \xF2\xE5\xEC\xFB \xE5\xF9\xB8 \xED\xE5 \xED\xE0\xF1\xF2\xF3\xEF\xE8\xEB\xEE, "
    "\xEF\xF0\xEE\xE2\xE5\xF0\xFC\xF2\xE5 \xE2\xE0\xF8\xE8 \xF7\xE0\xF1\xFB. ";
const std::string TPlumo::kUnknownCommandText =
    "\xCD\xE5\xE8\xE7\xE2\xE5\xF1\xED\xE0\xFF \xEA\xEE\xEC\xE0\xED\xE4\xE0 ";

namespace {
std::string StateField(char state) {
  return std::string(1, state);
}
}  // namespace

TPlumo::TPlumo(PlumoHost& host, int port)
    : host_(host), port_(port), users_([this] { return host_.NowMs(); }) {
  EnableResendTimer(false);
  jitter_ = static_cast<int>(host_.Random(20));
  tagPingRefillMs_ = host_.NowMs();
  StartCounters();
  EnablePresenceTimer(true);
  receiving_ = host_.SetReceiving(true, port_);
}

TPlumo::~TPlumo() {
  host_.SetTimer(EngineTimer::Resend, false, kResendIntervalMs);
  host_.SetTimer(EngineTimer::Presence, false, kPresenceIntervalMs + jitter_);
  host_.SetTimer(EngineTimer::Ping, false, 0);
  host_.SetReceiving(false, port_);
}

std::uint32_t TPlumo::UnixNow() const {
  return plumo::UnixNow(host_.NowMs());
}

void TPlumo::EnableResendTimer(bool on) {
  host_.SetTimer(EngineTimer::Resend, on, kResendIntervalMs);
}

// The resend timer stops when a tick finds nothing to resend, and received datagrams start it again.
// A datagram just sent must not depend on one arriving: when it is lost on a quiet LAN, nothing does.
void TPlumo::AwaitConfirmations() {
  EnableResendTimer(true);
}

void TPlumo::EnablePresenceTimer(bool on) {
  host_.SetTimer(EngineTimer::Presence, on, kPresenceIntervalMs + jitter_);
}

void TPlumo::SetActive(bool active) {
  // Without a receiving socket the engine still sends; the next SetActive(true) tries again.
  host_.SetReceiving(false, port_);
  receiving_ = false;
  if (active) {
    receiving_ = host_.SetReceiving(true, port_);
    EnablePresenceTimer(true);
  } else {
    EnablePresenceTimer(false);
    EnableResendTimer(false);
    pingQueue_.clear();
    host_.SetTimer(EngineTimer::Ping, false, 0);
  }
}

int TPlumo::AddChannel(const std::string& name, const std::string& topic, const std::string& setterNick,
                       const std::string& setterAddress, std::uint32_t topicTime) {
  auto channel = std::make_unique<TChanel>();
  channel->Name = name;
  channel->Topic = topicTime > UnixNow() ? kFutureTopicText : topic;
  channel->TopicTime = topicTime;
  channel->SetterAddress = setterAddress;
  channel->SetterNick = setterNick;
  channels_.push_back(std::move(channel));
  channelIndex_.emplace(name, channels_.size() - 1);
  return static_cast<int>(channels_.size()) - 1;
}

TChanel* TPlumo::ChannelAt(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= channels_.size()) return nullptr;
  return channels_[static_cast<std::size_t>(index)].get();
}

TChanel* TPlumo::FindChannel(const std::string& name) {
  const auto it = channelIndex_.find(name);
  return it == channelIndex_.end() ? nullptr : channels_[it->second].get();
}

void TPlumo::Notice(EngineNotice kind, const std::string& nick, const std::vector<std::string>& addresses,
                    std::uint16_t type) {
  if (events_) events_->OnNotice(kind, nick, addresses, type);
}

bool TPlumo::OwnEntryKnown() const {
  return users_.Find(nick_, MyAddress) >= 0;
}

void TPlumo::SendTo(const std::string& address, const std::string& data) {
  const bool broadcast = address == BroadcastAddress;
  if (broadcast) quietTicks_ = 0;
  if (!host_.SendDatagram(broadcast ? std::string("255.255.255.255") : address, data) && events_) {
    events_->OnSendError();
  }
}

SendResult TPlumo::Send(const std::string& dest, std::uint16_t type, const std::string& block,
                        const std::string& fields, bool keep) {
  if (kHeaderSize + block.size() + fields.size() > kMaxDatagram) return SendResult::TooLong;
  std::string data = MakeHeader(counters_, type);
  data += block;
  data += fields;
  if (keep) RememberSent(dest, type, data);
  SendTo(dest, data);
  return SendResult::Sent;
}

SendResult TPlumo::SendHello() {
  std::vector<std::string_view> values{nick_, std::string_view(&state_, 1)};
  values.emplace_back(channels_.empty() ? std::string_view() : std::string_view(channels_[0]->Topic));
  for (const auto& c : channels_) values.emplace_back(c->Name);
  const std::uint32_t topicTime = channels_.empty() ? 0 : channels_[0]->TopicTime;
  const std::string block = U32ToBytes(topicTime) + U32ToBytes(UnixNow());
  std::string fields = JoinFields(values);
  if (kHeaderSize + block.size() + fields.size() > kMaxDatagram) return SendResult::TooLong;
  // The tag follows the last channel name, when there is one (field 3 is every receiver's first
  // channel) and when the hello stays within the limit with it; peers without the tag's ping learn
  // it from the confirmations of this hello or from a pong.
  if (!tag_.empty() && !channels_.empty() &&
      kHeaderSize + block.size() + fields.size() + tag_.size() + 1 <= kMaxDatagram) {
    fields += JoinFields({tag_});
  }
  // Hello numbers run 2, 4, 6, ...: the counter moves once more before the header takes it.
  counters_.Next(pkHello);
  return Send(BroadcastAddress, pkHello, block, fields, false);
}

SendResult TPlumo::SendChannelLine(const std::string& channel, const std::string& text,
                                   const std::string& address) {
  const SendResult result = Send(address, pkChannelLine, {}, JoinFields({nick_, channel, text}), true);
  TellUntold();
  return result;
}

SendResult TPlumo::SendPrivateMessage(const std::string& toNick, const std::string& text,
                                      const std::string& address, std::string receipt) {
  const SendResult result = Send(address, pkPrivateMessage, {}, JoinFields({nick_, toNick, text}), true);
  if (result != SendResult::Sent) return result;
  const int i = users_.Find(toNick, address);
  if (i >= 0) users_.AddPending(i, pkPrivateMessage, counters_.Current(pkPrivateMessage), std::move(receipt));
  AwaitConfirmations();
  TellUntold();
  return result;
}

SendResult TPlumo::SendMassMessage(const std::string& text, bool askAcknowledge) {
  std::vector<std::string_view> fields{nick_, text};
  if (askAcknowledge) fields.push_back(kAckRequest);
  const SendResult result = Send(BroadcastAddress, pkMassMessage, {}, JoinFields(fields), true);
  if (result != SendResult::Sent) return result;
  const std::uint16_t seq = counters_.Current(pkMassMessage);
  for (int i = 0; i < users_.Count(); ++i) {
    if (users_.Entry(i)->Nick != nick_) users_.AddPending(i, pkMassMessage, seq);
  }
  if (askAcknowledge) {
    asked_.push_back({seq, {}});
    if (asked_.size() > kAskedKept) asked_.pop_front();
  }
  AwaitConfirmations();
  TellUntold();
  return result;
}

bool TPlumo::AsksAcknowledge(const TMStigs& fields) {
  return fields.size() > 2 && fields[2] == kAckRequest;
}

SendResult TPlumo::SendConfirm(const std::uint8_t header[4], const std::string& hidden) {
  const SendResult result = ConfirmTo(BroadcastAddress, header, hidden);
  TellUntold();
  return result;
}

SendResult TPlumo::SendAcknowledge(const std::string& address, std::uint16_t seq) {
  if (address.empty()) return SendResult::Nothing;
  // A confirmation leaves off a hidden field that does not fit; without it, it would be no
  // acknowledgement.
  if (kHeaderSize + 4 + JoinFields({nick_, StateField(state_), StateDescription, kAck}).size() > kMaxDatagram)
    return SendResult::TooLong;
  const std::string header = U16ToBytes(pkMassMessage) + U16ToBytes(seq);
  const SendResult result =
      ConfirmTo(address, reinterpret_cast<const std::uint8_t*>(header.data()), std::string(kAck));
  TellUntold();
  return result;
}

SendResult TPlumo::ConfirmTo(const std::string& dest, const std::uint8_t header[4],
                             const std::string& hidden) {
  const std::string block(reinterpret_cast<const char*>(header), 4);
  std::string fields = JoinFields({nick_, StateField(state_), StateDescription});
  const bool ofHello = BytesToU16(header[0], header[1]) == pkHello;
  const std::string& extra = hidden.empty() && ofHello ? tag_ : hidden;
  if (!extra.empty() && kHeaderSize + block.size() + fields.size() + extra.size() + 1 <= kMaxDatagram) {
    fields += JoinFields({extra});
  }
  return Send(dest, pkConfirm, block, fields, true);
}

SendResult TPlumo::SendExit() {
  EnableResendTimer(false);
  return Send(BroadcastAddress, pkExit, {}, JoinFields({nick_}), false);
}

SendResult TPlumo::RequestResend(int userIndex, std::uint16_t packetType, std::uint16_t firstSeq,
                                 std::uint16_t lastSeq) {
  const AChuvakInfo* entry = users_.Entry(userIndex);
  if (!entry) return SendResult::Nothing;
  const std::string address = entry->Address;
  const std::string block = U16ToBytes(packetType) + U16ToBytes(firstSeq) + U16ToBytes(lastSeq);
  return Send(address, pkResendRequest, block, JoinFields({nick_}), false);
}

SendResult TPlumo::SendRosterList() {
  std::vector<std::string_view> values{nick_};
  for (const auto& e : users_.Entries()) {
    if (e->Nick != nick_) values.emplace_back(e->Nick);
  }
  return Send(BroadcastAddress, pkRosterList, {}, JoinFields(values), false);
}

SendResult TPlumo::SendPing(const std::string& targetNick) {
  return Send(BroadcastAddress, pkPing, {}, JoinFields({nick_, targetNick}), false);
}

SendResult TPlumo::SendPong(const std::string& askerNick) {
  std::string fields = JoinFields({askerNick, nick_, StateField(state_), StateDescription});
  if (!tag_.empty() && kHeaderSize + fields.size() + tag_.size() + 1 <= kMaxDatagram)
    fields += JoinFields({tag_});
  return Send(BroadcastAddress, pkPong, {}, fields, false);
}

SendResult TPlumo::SetNick(const std::string& newNick) {
  const SendResult result = Send(BroadcastAddress, pkNickChange, {}, JoinFields({nick_, newNick}), false);
  if (result == SendResult::Sent) nick_ = newNick;
  return result;
}

SendResult TPlumo::SetTopic(const std::string& channel, const std::string& topic, std::uint32_t topicTime) {
  if (topicTime > UnixNow()) return SendResult::Nothing;
  const std::string block = U32ToBytes(topicTime) + U32ToBytes(UnixNow());
  const std::string fields = JoinFields({nick_, channel, topic});
  if (kHeaderSize + block.size() + fields.size() > kMaxDatagram) return SendResult::TooLong;
  if (TChanel* c = FindChannel(channel)) {
    c->Topic = topic;
    c->TopicTime = topicTime;
    c->SetterNick = nick_;
    c->SetterAddress = MyAddress;
  }
  if (!OwnEntryKnown()) return SendResult::Nothing;
  return Send(BroadcastAddress, pkTopic, block, fields, false);
}

SendResult TPlumo::SendTopicQuery(const std::string& channel) {
  const TChanel* c = FindChannel(channel);
  if (!c || !OwnEntryKnown()) return SendResult::Nothing;
  const std::string block = U32ToBytes(c->TopicTime) + U32ToBytes(UnixNow());
  return Send(BroadcastAddress, pkTopicQuery, block, JoinFields({nick_, channel}), false);
}

SendResult TPlumo::SetState(char newState) {
  state_ = newState;
  return Send(BroadcastAddress, pkStateChange, {}, JoinFields({nick_, StateField(state_), StateDescription}),
              false);
}

SendResult TPlumo::RequestInfo(int userIndex) {
  AChuvakInfo* entry = users_.Entry(userIndex);
  if (!entry) return SendResult::Nothing;
  entry->InfoRequested = true;
  const std::string address = entry->Address;
  return Send(address, pkInfoRequest, {}, JoinFields({nick_}), false);
}

SendResult TPlumo::SendInfo(int userIndex) {
  const AChuvakInfo* entry = users_.Entry(userIndex);
  if (!entry) return SendResult::Nothing;
  const std::string address = entry->Address;
  return Send(address, pkInfoReply, {}, JoinFields({nick_, AboutText + "\r\n" + VersionText}), false);
}

SendResult TPlumo::SendBell(const AChuvakInfo& entry, std::uint16_t bellNumber) {
  const std::string address = entry.Address;
  const std::string nick = entry.Nick;
  const SendResult result = Send(address, pkBell, U16ToBytes(bellNumber), JoinFields({nick_}), true);
  if (result != SendResult::Sent) return result;
  const int i = users_.Find(nick, address);
  if (i >= 0) users_.AddPending(i, pkBell, counters_.Current(pkBell));
  AwaitConfirmations();
  TellUntold();
  return result;
}

}  // namespace plumo
