// SPDX-License-Identifier: GPL-3.0-or-later
// What the conversations show, told to whoever keeps it (the conversation history). The parts of
// the core that show lines (the tab strips, the presenter of the engine's events, the sender) tell
// each line here as they show it and know nothing of who follows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/history_store.h"

namespace plumo {

class TLineObserver {
 public:
  virtual ~TLineObserver() = default;
  // A line said in a channel (text as its sender wrote it, code page 1251).
  virtual void ChannelLine(const std::string& channel, const std::string& address, const std::string& nick,
                           const std::string& text) = 0;
  // A channel's topic was shown as changed.
  virtual void Topic(const std::string& channel, const std::string& address, const std::string& nick,
                     const std::string& text) = 0;
  // A private or mass message received from, or sent to, a peer (peerAddress "@" for own mass
  // messages). messageId: the delivery ledger's id of a sent message (or of a received one that asks
  // to be acknowledged), 0 for none.
  virtual void Message(HistoryKind kind, bool outgoing, const std::string& peerAddress,
                       const std::string& peerNick, const std::string& text, std::int64_t messageId) = 0;
  // A line in the console.
  virtual void Notice(const std::string& line) = 0;
  // A channel tab was opened at index (its earlier lines may go above what it shows).
  virtual void ChannelOpened(int index) = 0;
  // The channel's tab was closed with what it showed.
  virtual void ChannelClosed(const std::string& channel) = 0;
};

// The one place the showing parts tell their lines: passes each on to every follower, in the order
// they began to follow.
class TLineEvents final : public TLineObserver {
 public:
  void Follow(TLineObserver& observer) { observers_.push_back(&observer); }

  void ChannelLine(const std::string& channel, const std::string& address, const std::string& nick,
                   const std::string& text) override {
    for (auto* o : observers_) o->ChannelLine(channel, address, nick, text);
  }
  void Topic(const std::string& channel, const std::string& address, const std::string& nick,
             const std::string& text) override {
    for (auto* o : observers_) o->Topic(channel, address, nick, text);
  }
  void Message(HistoryKind kind, bool outgoing, const std::string& peerAddress, const std::string& peerNick,
               const std::string& text, std::int64_t messageId) override {
    for (auto* o : observers_) o->Message(kind, outgoing, peerAddress, peerNick, text, messageId);
  }
  void Notice(const std::string& line) override {
    for (auto* o : observers_) o->Notice(line);
  }
  void ChannelOpened(int index) override {
    for (auto* o : observers_) o->ChannelOpened(index);
  }
  void ChannelClosed(const std::string& channel) override {
    for (auto* o : observers_) o->ChannelClosed(channel);
  }

 private:
  std::vector<TLineObserver*> observers_;
};

}  // namespace plumo
