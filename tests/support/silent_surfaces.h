// SPDX-License-Identifier: GPL-3.0-or-later
// The rest of a window as a core sees it when nothing is on the screen: every surface does nothing,
// every question is declined, and the system has one interface at 198.18.0.1 (for benchmarks that
// drive a whole core without a display).
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/chatcore.h"

#include <unistd.h>

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

#ifdef PLUMO_DEFAULT_SOURCE_DIR
// A program directory of a benchmark's core, removed again at the end: the English language file
// from the sources (PLUMO_SOURCE_DIR, else the tree it was built from) and a chat.ini whose [Main]
// section holds mainKeys ("Key=value" lines). Declare it before the core, which must go first.
class TBenchDirectory {
 public:
  TBenchDirectory(const std::string& name, const std::string& mainKeys)
      : path_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
    namespace fs = std::filesystem;
    fs::remove_all(path_);
    fs::create_directories(path_);
    const char* source = std::getenv("PLUMO_SOURCE_DIR");
    fs::copy_file(fs::path(source ? source : PLUMO_DEFAULT_SOURCE_DIR) / "data" / "lang" / "english.lng",
                  path_ / "english.lng");
    std::ofstream(path_ / "chat.ini") << "[Main]\nLanguage=english.lng\n" << mainKeys;
  }
  ~TBenchDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TBenchDirectory(const TBenchDirectory&) = delete;
  TBenchDirectory& operator=(const TBenchDirectory&) = delete;
  FsPath Path() const { return FsPath(path_); }

 private:
  std::filesystem::path path_;
};
#endif

// Hands a datagram to the core's engine as if it came from address on the chat's port.
inline void DeliverDatagram(TChatCore& core, const std::string& data, const std::string& from) {
  core.Engine().DataReceived(reinterpret_cast<const std::uint8_t*>(data.data()),
                             static_cast<long>(data.size()), from, kDefaultPort);
}

}  // namespace plumo
