// SPDX-License-Identifier: GPL-3.0-or-later
// EventRecorder: the listener of one engine for tests. It captures every engine event, and the
// roster's OnGap and OnChange, into a log that tests inspect. Like the main window, it answers
// OnGap with RequestResend unless told not to. Building it makes it the engine's listener and
// replaces the roster's two handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/plumo.h"

namespace plumo::sim {

enum class Ev {
  NewUser,
  UserExit,
  TopicChange,
  ChannelLine,
  PrivateMessage,
  MassMessage,
  Confirm,
  UserLost,
  UserState,
  UnknownCommand,
  NickChange,
  Info,
  SendError,
  Bell,
  Gap,
  Notice,
  Tag,
  Delivery,
  Acknowledge,
};

// One raised event with whatever it carried; fields that the event has not are left empty.
struct EngineEvent {
  Ev kind{};
  std::int64_t atMs = 0;
  TMStigs fields{};
  std::string address{};  // FromIP, or the entry's address
  std::string nick{};     // field 0, the entry's nick, the lost nick or the new nick
  std::string channel{};
  std::string text{};                 // line, message, information or report text
  std::uint16_t number = 0;           // confirmed packet type, bell number, or the gap's packet type
  std::uint16_t first = 0, last = 0;  // the gap's range
  char state = 0, oldState = 0;
  int userIndex = -1;
  EngineNotice notice{};    // Notice: its kind (addresses in fields, packet type in number)
  bool tagMissing = false;  // Tag: the entry's TagMissing (its Tag in text)
  // Delivery: the report (packet type in number, sequence number in first); Acknowledge: the
  // acknowledged number in first.
  DeliveryOutcome outcome{};
  bool late = false;
};

// Every field of an event in one line, for comparing event streams byte for byte.
std::string Describe(const EngineEvent& e);

class EventRecorder final : public TPlumoEvents {
 public:
  struct Options {
    bool answerGaps = true;  // call RequestResend from OnGap, as the main window does
  };
  // clock gives the time stamp of each event (0 without one).
  explicit EventRecorder(TPlumo& engine, std::function<std::int64_t()> clock = {});
  EventRecorder(TPlumo& engine, Options options, std::function<std::int64_t()> clock = {});
  // The engine keeps a pointer to its listener: a recorder stays where it was built. It does not
  // unset itself on destruction (its engine may be gone already), so an engine that outlives its
  // recorder must get another listener first.
  EventRecorder(const EventRecorder&) = delete;
  EventRecorder& operator=(const EventRecorder&) = delete;

  std::vector<EngineEvent> events;
  int rosterChanges = 0;
  // Runs after each event has been logged.
  std::function<void(const EngineEvent&)> then;

  std::size_t Count(Ev kind) const;
  std::vector<EngineEvent> Of(Ev kind) const;
  void Clear() {
    events.clear();
    rosterChanges = 0;
  }

  void OnNewUser(const TMStigs& fields, const std::string& address) override;
  void OnUserExit(const TMStigs& fields, const std::string& address) override;
  void OnTopicChange(const std::string& channelName) override;
  void OnChannelLine(const TMStigs& fields, const std::string& channel, const std::string& text) override;
  void OnPrivateMessage(const TMStigs& fields, const std::string& text, const std::string& address) override;
  void OnMassMessage(const TMStigs& fields, const std::string& text, const std::string& address) override;
  void OnConfirm(const AChuvakInfo& entry, std::uint16_t packetType) override;
  void OnUserLost(const std::string& nick, const AChuvakInfo& entry) override;
  void OnUserState(const AChuvakInfo& entry, char oldState) override;
  void OnUnknownCommand(const std::string& text) override;
  void OnNickChange(const TMStigs& fields, const std::string& newNick, const std::string& address) override;
  void OnInfo(const TMStigs& fields, const std::string& infoText, const std::string& address) override;
  void OnSendError() override;
  void OnBell(const AChuvakInfo& entry, std::uint16_t bellNumber) override;
  void OnNotice(EngineNotice kind, const std::string& nick, const std::vector<std::string>& addresses,
                std::uint16_t packetType) override;
  void OnTag(const AChuvakInfo& entry) override;
  void OnDelivery(const TDeliveryReport& report) override;
  void OnAcknowledge(const AChuvakInfo& entry, std::uint16_t seq) override;

 private:
  void Log(EngineEvent e);
  TPlumo& engine_;
  std::function<std::int64_t()> clock_;
};

}  // namespace plumo::sim
