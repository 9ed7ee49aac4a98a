// SPDX-License-Identifier: GPL-3.0-or-later
// The narrow seams through which the client core reaches the screen, the speakers, the clock and
// the operating system. The windowed program implements them with widgets and Qt services, the
// headless peer by printing, and the tests with recording fakes. Every text is code page 1251.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/delivery.h"
#include "lang/codepage.h"
#include "lang/fs_path.h"
#include "lang/smiley_codes.h"

namespace plumo {

// Display modes of a conversation.
enum ViewMode : std::uint8_t { ModeSingleLine = 0, ModeMultiLine = 1, ModeReply = 2, ModeLog = 3 };

// Indices into the main image list: what the core and the windows show for states, tabs, menus and
// buttons. The pictures themselves are drawn by the window layer (src/images).
namespace icon {
// Own state and roster rows (see StateImageIndex).
inline constexpr int kScreenSaver = 0;
inline constexpr int kDoNotDisturb = 1;
inline constexpr int kOffline = 2;
inline constexpr int kActive = 3;
inline constexpr int kAway = 83;
// Tabs of the two strips.
inline constexpr int kChannelCreated = 7;
inline constexpr int kChannelSeen = 8;
inline constexpr int kChannelUnseen = 9;
inline constexpr int kConsoleSeen = 18;  // also the line editor's tab
inline constexpr int kConsoleUnseen = 81;
inline constexpr int kPrivate = 31;  // reply tab of a private message, the roster menu's "message"
inline constexpr int kMass = 43;     // reply tab of a mass message, the roster menu's "mass message"
// Roster menu.
inline constexpr int kBell = 29;      // send a bell
inline constexpr int kUserInfo = 45;  // ask about the user
// Mute button.
inline constexpr int kSound = 40;
inline constexpr int kMuted = 84;
// Toolbar buttons.
inline constexpr int kToolMessage = 85;
inline constexpr int kToolMassMessage = 86;
inline constexpr int kToolColour = 87;
inline constexpr int kToolConsole = 88;
inline constexpr int kToolState = 89;
inline constexpr int kToolTopic = 90;
inline constexpr int kToolExit = 91;
// Private conversations: a peer with a key, a checked key, a key that changed; the reply tab of an
// encrypted conversation.
inline constexpr int kLocked = 92;
inline constexpr int kLockChecked = 93;
inline constexpr int kLockChanged = 94;
inline constexpr int kPrivateEncrypted = 95;
// Delivery marks at sent messages' rows: sending, delivered, not delivered, waiting for the peer to
// come back; the roll-call of a message to everybody; the Acknowledge button of a received one.
inline constexpr int kDeliverySending = 96;
inline constexpr int kDelivered = 97;
inline constexpr int kNotDelivered = 98;
inline constexpr int kDeliveryWaiting = 99;
inline constexpr int kRollCall = 100;
inline constexpr int kAcknowledge = 101;
}  // namespace icon

// One conversation (one tab) as the core keeps it.
struct Conversation {
  std::string Name;
  int IconIndex = 0;
  bool Seen = false;
  ViewMode Mode = ModeLog;
  std::string Recipients;      // ",addr,addr" for a message draft
  std::string RecipientNames;  // ",nick,nick", the nick of each address of Recipients
  bool MassMessage = false;
};

// A tab strip with its conversations (the channel display or the input editor). The core owns the
// list and its current index and tells the view what changed, in the order it changes. Every
// method is pure, so that a view that wraps another (the conversation log) cannot leave one out
// and silently swallow it.
class ConversationView {
 public:
  virtual ~ConversationView() = default;
  // A conversation and its tab were inserted at index.
  virtual void ConversationAdded(int index, const Conversation& conversation) = 0;
  // The conversation at index and its tab were removed.
  virtual void ConversationRemoved(int index) = 0;
  // The displayed conversation changes from `from` (-1 for none) to `to`, shown in mode: stash the
  // old, show the new.
  virtual void CurrentChanged(int from, int to, ViewMode mode) = 0;
  // A marked-up line was appended to the conversation at index (shown at once or queued). The view
  // ends every line by switching back to black ("#^000000").
  virtual void LineAdded(int index, const std::string& name, const std::string& line) = 0;
  // The icons of the tabs changed; conversations[i] belongs to tab i.
  virtual void IconsChanged(const std::vector<Conversation>& conversations) = 0;
  // The conversation at index switched to another display mode.
  virtual void ModeChanged(int index, ViewMode mode) = 0;
  // The displayed log is scrolled to its end.
  virtual void ScrollToEnd() = 0;
  // Stored lines of earlier runs go above everything the conversation at index shows, oldest first
  // (the first page ends with a dividing line).
  virtual void HistoryAdded(int index, const std::vector<std::string>& lines) = 0;
  // The conversation at index is displayed scrolled to its stored line `row` (0 is the oldest line
  // added by HistoryAdded), which is marked.
  virtual void ShowHistoryRow(int index, int row) = 0;
  // The oldest `rows` rows of the conversation at index leave it (a row is what one LineAdded,
  // NoticeAdded or one line of HistoryAdded added), those still queued included.
  virtual void OldestDropped(int index, int rows) = 0;
  // A notice about the conversation at index (a refused message, a bell, a failed delivery) that is
  // shown with it but is never part of its text: not of a draft, nor of the quote a reply sends.
  virtual void NoticeAdded(int index, const std::string& name, const std::string& line) = 0;
  // A status mark belongs to the row LineAdded or NoticeAdded last added to the conversation at
  // index: drawn at the row's end, and clickable when its Click is not None (the window calls the
  // core's TDeliveryLedger::Activate(mark.Id, mark.Click)).
  virtual void MarkAdded(int index, const TDeliveryMark& mark) = 0;
  // The mark with mark.Id changed: replace it in place, wherever it is shown (nothing when its row
  // has been dropped). The core sends these at most a few times a second per mark.
  virtual void MarkChanged(const TDeliveryMark& mark) = 0;
};

// The input editor's content.
class InputEditor {
 public:
  virtual ~InputEditor() = default;
  // Applies the colour, nick and smiley passes to what was typed.
  virtual void FormatView() {}
  // The whole content as line markup (colour codes, smiley codes).
  virtual std::string ContentToMarkup() = 0;
  // The content as plain text.
  virtual std::string PlainText() = 0;
  // Empties the displayed conversation.
  virtual void ClearInput() = 0;
  // Replaces the content with text (history recall), caret at the end.
  virtual void SetText(const std::string& text) = 0;
  // Gives the editor the keyboard focus.
  virtual void Focus() {}
  // The characters of the content that code page 1251 cannot carry (they would travel as "?"), in
  // order of first appearance; empty for an editor whose text is already code page 1251.
  virtual std::vector<TUnencodableChar> LostCharacters() { return {}; }
  // Replaces every emoji of smileys in the content by its smiley code, shown as the smiley.
  virtual void ReplaceEmoji(const std::vector<EmojiSmiley>& /*smileys*/) {}
};

// One row of the roster list.
struct RosterRow {
  std::string Nick;
  std::string Address;
  char State = '1';
  std::string Description;  // the state description
  int Icon = icon::kActive;
  bool Selected = false;

  bool operator==(const RosterRow&) const = default;
};

// The roster list, its user counter and the own nick box.
class RosterView {
 public:
  virtual ~RosterView() = default;
  // The list was rebuilt: rows sorted by nick, with their selection.
  virtual void RosterRebuilt(const std::vector<RosterRow>& rows) = 0;
  virtual void RowIconChanged(int row, int icon) = 0;
  // The core moved the selection (keys in the editor); rows carry the new Selected flags.
  virtual void SelectionChanged(const std::vector<RosterRow>& rows) = 0;
  // The caption of the user-count button.
  virtual void TotalChanged(const std::string& caption) = 0;
};

// The answer to a question of the core: the text, or nullopt when the user cancelled.
using TextAnswer = std::function<void(const std::optional<std::string>& answer)>;

// The main window's frame: caption, toolbar buttons, nick box, dialog boxes.
class WindowSurface {
 public:
  virtual ~WindowSurface() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  // The line above the channel display: the shown channel's topic (empty on the console).
  virtual void SetTopicLine(const std::string& /*text*/) {}
  virtual void SetTopicButtonEnabled(bool /*enabled*/) {}
  virtual void SetCommandButtonEnabled(bool /*enabled*/) {}
  virtual void SetStateImage(int /*image*/) {}
  virtual void SetMuteImage(int /*image*/) {}
  // The nick box: its drop-down items and its text.
  virtual void SetNickBox(const std::vector<std::string>& /*items*/, const std::string& /*text*/) {}
  // Minimizes the program and hides it from the task bar (hidden start, program list).
  virtual void Minimize() {}
  // Asks for a text without waiting for it: answered is called once, later or at once, with the
  // text, or with nullopt when the user cancels. No nested event loop may run meanwhile, so the
  // core's state stays consistent; the caller checks on the answer that what it asked about still
  // exists. value is the text the box starts with.
  virtual void AskText(const std::string& title, const std::string& prompt, const std::string& value,
                       TextAnswer answered) = 0;
  // Tells the user which typed characters the wire cannot carry and what they become (message: the
  // code-page text of "CantEncode", with "%s" for the list), and asks whether to send anyway; like
  // AskText it does not wait. answered(false) keeps the draft as it is.
  virtual void ConfirmLostCharacters(const std::string& message, const std::vector<TUnencodableChar>& lost,
                                     std::function<void(bool send)> answered) = 0;
  // A yes/no question (code page 1251); like AskText it does not wait: answered(true) for yes. A
  // surface where nobody answers says no.
  // Overrides keep the answer for later, so it is taken by value.
  // NOLINTNEXTLINE(performance-unnecessary-value-param)
  virtual void AskYesNo(const std::string& /*question*/, std::function<void(bool yes)> answered) {
    const std::function<void(bool)> no = std::move(answered);
    no(false);
  }
  // A message box (language file warnings); like AskText it must not run a nested event loop.
  virtual void ShowMessage(const std::string& /*text*/) {}
  // A desktop notification (the window is away): a title and a plain text.
  virtual void Notify(const std::string& /*title*/, const std::string& /*text*/) {}
};

// Plays WAV files by name without blocking; a new sound cuts the one still playing.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  virtual void PlayFile(const FsPath& path) = 0;
};

// Timer1, Timer2, and the look at the desktop's idle time while "away when idle" is chosen.
// DeliveryMarks redraws the delivery marks that changed (TDeliveries::Tick).
enum class CoreTimer { NetworkWatch, ProgramList, IdleWatch, DeliveryMarks };

// Repeating timers of the main window. The host calls TChatCore::Timer1Timer / Timer2Timer.
class CoreTimers {
 public:
  virtual ~CoreTimers() = default;
  // Enables (restarting the countdown) or disables one repeating timer.
  virtual void SetCoreTimer(CoreTimer timer, bool enabled, int intervalMs) = 0;
};

// How long the desktop has had no keyboard or mouse input, in any program.
class IdleSource {
 public:
  virtual ~IdleSource() = default;
  // Milliseconds since the last input; nullopt when the desktop cannot tell (no X display, no
  // screen-saver extension).
  virtual std::optional<std::int64_t> IdleMs() = 0;
};

// What the core asks of the operating system.
class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // The local IPv4 interfaces as name=value entries, each followed by LF CR (see ListInterfaces).
  virtual std::string Interfaces() = 0;
  // File names (without folder) of the running processes, as code-page text like the program list
  // of the settings that they are compared with.
  virtual std::vector<std::string> RunningPrograms() = 0;
  virtual std::string UserName() = 0;
  virtual std::string ComputerName() = 0;
  // Local wall-clock milliseconds since 1970, counted as if local time were universal time.
  virtual std::int64_t NowLocalMs() = 0;
  // Whether a file exists (sound files).
  virtual bool FileExists(const FsPath& path) = 0;
};

class TLanguageHost;

// Everything the host hands the core. All references must outlive the core.
struct CoreSurfaces {
  ConversationView& Channels;  // TabChanels + the channel display
  ConversationView& Inputs;    // TabMessages + the input editor's conversations
  InputEditor& Editor;
  RosterView& Roster;
  WindowSurface& Window;
  SoundOutput& Sound;
  CoreTimers& Timers;
  SystemInfo& System;
  // The windows whose captions the language file sets; may be null (no windows).
  TLanguageHost* Language = nullptr;
  // The desktop's idle time; null where there is no desktop (the headless peer).
  IdleSource* Idle = nullptr;
};

// The real operating system: getifaddrs, /proc, getpwuid, gethostname, the system clock.
class PosixSystem : public SystemInfo {
 public:
  std::string Interfaces() override;
  std::vector<std::string> RunningPrograms() override;
  std::string UserName() override;
  std::string ComputerName() override;
  std::int64_t NowLocalMs() override;
  bool FileExists(const FsPath& path) override;
};

// The local wall clock in milliseconds since 1970, counted as if local time were universal time: the
// time every peer's clock and every line's time stamp use.
std::int64_t LocalClockMs();

// The interface list in the program's name=value form (IPn, Maskn, Broadcastn, IfUPn, Broadcastsn,
// Typen, each entry followed by LF CR) for the IPv4 interfaces getifaddrs reports, at most 13.
std::string ListInterfaces();
// File names of the running processes read from /proc/<pid>/exe (falling back to comm), converted
// from the system's UTF-8 to code-page text.
std::vector<std::string> ListRunningPrograms(const std::string& procRoot = "/proc");

}  // namespace plumo
