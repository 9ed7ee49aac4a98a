// SPDX-License-Identifier: GPL-3.0-or-later
// The rest of a window as a core sees it when nothing is on the screen: every surface does nothing,
// every question is declined, and the system has one interface at 198.18.0.1 (for benchmarks that
// drive a whole core without a display).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/chatcore.h"

namespace plumo {

class NoConversations : public ConversationView {
 public:
  void ConversationAdded(int, const Conversation&) override {}
  void ConversationRemoved(int) override {}
  void CurrentChanged(int, int, ViewMode) override {}
  void LineAdded(int, const std::string&, const std::string&) override {}
  void IconsChanged(const std::vector<Conversation>&) override {}
  void ModeChanged(int, ViewMode) override {}
  void ScrollToEnd() override {}
  void HistoryAdded(int, const std::vector<std::string>&) override {}
  void OldestDropped(int, int) override {}
  void ShowHistoryRow(int, int) override {}
  void NoticeAdded(int, const std::string&, const std::string&) override {}
  void MarkAdded(int, const TDeliveryMark&) override {}
  void MarkChanged(const TDeliveryMark&) override {}
};
class NoEditor : public InputEditor {
 public:
  std::string ContentToMarkup() override { return {}; }
  std::string PlainText() override { return {}; }
  void ClearInput() override {}
  void SetText(const std::string&) override {}
};
class NoRoster : public RosterView {
 public:
  void RosterRebuilt(const std::vector<RosterRow>&) override {}
  void RowIconChanged(int, int) override {}
  void TotalChanged(const std::string&) override {}
  void SelectionChanged(const std::vector<RosterRow>&) override {}
};
class NoWindow : public WindowSurface {
 public:
  void SetCaption(const std::string&) override {}
  void AskText(const std::string&, const std::string&, const std::string&, TextAnswer answered) override {
    answered(std::nullopt);
  }
  void ConfirmLostCharacters(const std::string&, const std::vector<TUnencodableChar>&,
                             std::function<void(bool)> answered) override {
    answered(false);
  }
};
class NoSound : public SoundOutput {
 public:
  void PlayFile(const FsPath&) override {}
};
class NoTimers : public CoreTimers {
 public:
  void SetCoreTimer(CoreTimer, bool, int) override {}
};
class OneInterface : public SystemInfo {
 public:
  std::string Interfaces() override {
    return "IP0=198.18.0.1\n\rMask0=255.255.255.0\n\rBroadcast0=198.18.0.255\n\rIfUP0=1\n\rBroadcasts0=1\n\r"
           "Type0=NORMAL\n\r";
  }
  std::vector<std::string> RunningPrograms() override { return {}; }
  std::string UserName() override { return "me"; }
  std::string ComputerName() override { return "box"; }
  std::int64_t NowLocalMs() override { return LocalClockMs(); }
  bool FileExists(const FsPath&) override { return false; }
};

}  // namespace plumo
