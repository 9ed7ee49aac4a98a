// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/recorder.h"

#include <algorithm>

namespace plumo::sim {

namespace {
std::string Field0(const TMStigs& fields) {
  return fields.empty() ? std::string() : fields[0];
}
}  // namespace

EventRecorder::EventRecorder(TPlumo& engine, std::function<std::int64_t()> clock)
    : EventRecorder(engine, Options{}, std::move(clock)) {}

EventRecorder::EventRecorder(TPlumo& engine, Options options, std::function<std::int64_t()> clock)
    : engine_(engine), clock_(std::move(clock)) {
  engine.SetEvents(this);
  engine.Users().OnChange = [this](const TUsers::EntryList&) { ++rosterChanges; };
  engine.Users().OnGap = [this, options](int index, std::uint16_t type, std::uint16_t first,
                                         std::uint16_t last) {
    const AChuvakInfo* entry = engine_.Users().Entry(index);
    Log({.kind = Ev::Gap,
         .address = entry ? entry->Address : std::string(),
         .nick = entry ? entry->Nick : std::string(),
         .number = type,
         .first = first,
         .last = last,
         .userIndex = index});
    if (options.answerGaps) engine_.RequestResend(index, type, first, last);
  };
}

void EventRecorder::OnNewUser(const TMStigs& f, const std::string& address) {
  Log({.kind = Ev::NewUser, .fields = f, .address = address, .nick = Field0(f)});
}

void EventRecorder::OnUserExit(const TMStigs& f, const std::string& address) {
  Log({.kind = Ev::UserExit, .fields = f, .address = address, .nick = Field0(f)});
}

void EventRecorder::OnTopicChange(const std::string& channel) {
  Log({.kind = Ev::TopicChange, .channel = channel});
}

void EventRecorder::OnChannelLine(const TMStigs& f, const std::string& channel, const std::string& text) {
  Log({.kind = Ev::ChannelLine, .fields = f, .nick = Field0(f), .channel = channel, .text = text});
}

void EventRecorder::OnPrivateMessage(const TMStigs& f, const std::string& text, const std::string& address) {
  Log({.kind = Ev::PrivateMessage, .fields = f, .address = address, .nick = Field0(f), .text = text});
}

void EventRecorder::OnMassMessage(const TMStigs& f, const std::string& text, const std::string& address) {
  Log({.kind = Ev::MassMessage, .fields = f, .address = address, .nick = Field0(f), .text = text});
}

void EventRecorder::OnConfirm(const AChuvakInfo& entry, std::uint16_t type) {
  Log({.kind = Ev::Confirm, .address = entry.Address, .nick = entry.Nick, .number = type});
}

void EventRecorder::OnUserLost(const std::string& nick, const AChuvakInfo& entry) {
  Log({.kind = Ev::UserLost, .address = entry.Address, .nick = nick});
}

void EventRecorder::OnUserState(const AChuvakInfo& entry, char oldState) {
  Log({.kind = Ev::UserState,
       .address = entry.Address,
       .nick = entry.Nick,
       .text = entry.StateDescription,
       .state = entry.State,
       .oldState = oldState});
}

void EventRecorder::OnUnknownCommand(const std::string& text) {
  Log({.kind = Ev::UnknownCommand, .text = text});
}

void EventRecorder::OnNickChange(const TMStigs& f, const std::string& newNick, const std::string& address) {
  Log({.kind = Ev::NickChange, .fields = f, .address = address, .nick = newNick});
}

void EventRecorder::OnInfo(const TMStigs& f, const std::string& info, const std::string& address) {
  Log({.kind = Ev::Info, .fields = f, .address = address, .nick = Field0(f), .text = info});
}

void EventRecorder::OnSendError() {
  Log({.kind = Ev::SendError});
}

void EventRecorder::OnBell(const AChuvakInfo& entry, std::uint16_t bell) {
  Log({.kind = Ev::Bell, .address = entry.Address, .nick = entry.Nick, .number = bell});
}

void EventRecorder::OnNotice(EngineNotice kind, const std::string& nick,
                             const std::vector<std::string>& addresses, std::uint16_t packetType) {
  Log({.kind = Ev::Notice,
       .fields = addresses,
       .address = addresses.empty() ? std::string() : addresses[0],
       .nick = nick,
       .number = packetType,
       .notice = kind});
}

void EventRecorder::OnTag(const AChuvakInfo& entry) {
  Log({.kind = Ev::Tag,
       .address = entry.Address,
       .nick = entry.Nick,
       .text = entry.Tag,
       .tagMissing = entry.TagMissing});
}

void EventRecorder::OnDelivery(const TDeliveryReport& report) {
  Log({.kind = Ev::Delivery,
       .address = report.Address,
       .nick = report.Nick,
       .number = report.PacketType,
       .first = report.Seq,
       .outcome = report.Outcome,
       .late = report.Late});
}

void EventRecorder::OnAcknowledge(const AChuvakInfo& entry, std::uint16_t seq) {
  Log({.kind = Ev::Acknowledge, .address = entry.Address, .nick = entry.Nick, .first = seq});
}

void EventRecorder::Log(EngineEvent e) {
  e.atMs = clock_ ? clock_() : 0;
  events.push_back(std::move(e));
  if (then) then(events.back());
}

std::string Describe(const EngineEvent& e) {
  std::string s = std::to_string(static_cast<int>(e.kind)) + "@" + std::to_string(e.atMs);
  for (const auto& f : e.fields) s += "|" + f;
  s += "|a=" + e.address + "|n=" + e.nick + "|c=" + e.channel + "|t=" + e.text + "|" +
       std::to_string(e.number) + "," + std::to_string(e.first) + "," + std::to_string(e.last) + "," +
       e.state + e.oldState + "," + std::to_string(e.userIndex) + "," +
       std::to_string(static_cast<int>(e.notice)) + "," + std::to_string(static_cast<int>(e.outcome)) +
       (e.late ? "L" : "");
  return s;
}

std::size_t EventRecorder::Count(Ev kind) const {
  return static_cast<std::size_t>(
      std::count_if(events.begin(), events.end(), [kind](const EngineEvent& e) { return e.kind == kind; }));
}

std::vector<EngineEvent> EventRecorder::Of(Ev kind) const {
  std::vector<EngineEvent> out;
  for (const auto& e : events) {
    if (e.kind == kind) out.push_back(e);
  }
  return out;
}

}  // namespace plumo::sim
