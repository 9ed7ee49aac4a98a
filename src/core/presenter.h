// SPDX-License-Identifier: GPL-3.0-or-later
// TEventPresenter: the handlers of the engine's events. Each writes its line into the right
// conversation with its colour and language text, marks the tab, updates the roster rows and
// plays the event's sound. The method names are the engine's event names.
#pragma once

#include <cstdint>
#include <string>

#include "core/clock.h"
#include "core/deliveries.h"
#include "core/feedback.h"
#include "core/line_events.h"
#include "core/ownstate.h"
#include "core/private_talk.h"
#include "core/roster_list.h"
#include "core/slots.h"
#include "core/soundboard.h"
#include "core/tabstrips.h"
#include "core/texts.h"

namespace plumo {

class TEventPresenter final : public TPlumoEvents {
 public:
  // Every line shown is told to lines.
  TEventPresenter(const TSettings& settings, TMsgINISupp& messages, const TClock& clock,
                  const TEngineSlot& engine, TLineObserver& lines, TTabStrips& tabs, TRosterList& roster,
                  TSoundBoard& sounds, TOwnState& own, TFeedback& feedback, TPrivateTalk& privateTalk,
                  TDeliveries& delivery)
      : settings_(settings),
        texts_(messages),
        clock_(clock),
        engine_(engine),
        lines_(lines),
        tabs_(tabs),
        roster_(roster),
        sounds_(sounds),
        own_(own),
        feedback_(feedback),
        private_(privateTalk),
        delivery_(delivery) {}

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
  // A red console line: the roster is full, a message was not delivered, or a nick is used by two
  // addresses (the language file's "RosterFull", "NotDelivered" and "NickShared", with %s for the
  // nick and the addresses). A message not delivered is told where the user is looking as well
  // (TFeedback).
  void OnNotice(EngineNotice kind, const std::string& nick, const std::vector<std::string>& addresses,
                std::uint16_t packetType) override;
  // A peer's tag: its key (or that its program no longer announces one) goes to the private talk.
  void OnTag(const AChuvakInfo& entry) override;
  // What became of a sent message, and a reader's acknowledgement: the delivery ledger's.
  void OnDelivery(const TDeliveryReport& report) override { delivery_.Report(report); }
  void OnAcknowledge(const AChuvakInfo& entry, std::uint16_t seq) override {
    delivery_.Acknowledged(entry.Nick, entry.Address, seq);
  }

 private:
  // Opens the reply tab of a received message, with the message quoted in it.
  // warning: a red line between the header and the text (a clear message from a peer with a key).
  void AddReceivedMessage(const std::string& caption, int iconIndex, const std::string& address,
                          const std::string& nick, const std::string& quote, const std::string& text,
                          const std::string& warning = {});

  const TSettings& settings_;
  TTexts texts_;
  const TClock& clock_;
  const TEngineSlot& engine_;
  TLineObserver& lines_;
  TTabStrips& tabs_;
  TRosterList& roster_;
  TSoundBoard& sounds_;
  TOwnState& own_;
  TFeedback& feedback_;
  TPrivateTalk& private_;
  TDeliveries& delivery_;
};

}  // namespace plumo
