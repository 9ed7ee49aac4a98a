// SPDX-License-Identifier: GPL-3.0-or-later
// The input editor's keyboard rules (RxRichEdit2KeyDown and RxRichEdit2KeyUp) and its small mode
// rules: the line / multi-line toggle, the editor menu's multi-line item, the next-tab index of
// Ctrl+Tab and Shift+Tab, and which stored height a dragged splitter sets. Pure decisions without
// a display: the window maps its key events to EditorKeyEvent and carries out what comes back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/surfaces.h"

namespace plumo {

// The keys the editor's rules tell apart. The window maps Return and the keypad's Enter to Enter,
// a Shift+Tab that the toolkit reports as a back-tab to Tab with Shift held, the letter T in any
// keyboard layout (by key position) to T, and Shift, Ctrl and Alt of either side to Shift, Ctrl, Alt.
enum class EditorKey : std::uint8_t {
  Enter,
  Esc,
  Up,
  Down,
  Tab,
  F5,
  F6,
  T,
  Backspace,
  Shift,
  Ctrl,
  Alt,
  Other
};

// What a key down asks the main window to do (TChatCore operations named after the arrow).
enum class EditorAction : std::uint8_t {
  None,               // nothing; the control gets the key unless the decision consumes it
  ToggleLineMode,     // RxRichEdit2DblClick: ToggledLineMode, then ScrollToEnd of the channel view
  SubmitLine,         // SubmitLine
  SendReplyAndClose,  // SendReply: SendComposedMessage; true closes the tab, false ActivateConsole
  CloseReplyTab,      // CloseMessageTab; the typed reply is discarded
  ClearInput,         // the editor is emptied
  RosterUp,           // MoveRosterSelection with RosterMove::Up (core/roster_moves.h)
  RosterDown,
  RosterExtendUp,
  RosterExtendDown,
  HistoryOlder,      // RecallOlder: text := HistoryOlder, FormatView, caret to the end
  HistoryNewer,      // RecallNewer
  CompleteNick,      // CompleteNick (core/nick_completion.h)
  NextMessageTab,    // SelectMessageTab(NextTabIndex(message tab, count))
  NextChannelTab,    // SelectChannelTab(NextTabIndex(channel tab, count))
  ComposePrivate,    // ComposeMessage(false)
  ComposeMass,       // ComposeMessage(true)
  ChangeTopic,       // ChangeTopic
  RetypeNextLayout,  // RetypeInNextLayout
};

// One key event of the editor with what the rules look at.
struct EditorKeyEvent {
  EditorKey Key = EditorKey::Other;
  bool Ctrl = false;  // modifier state at the time of the key
  bool Shift = false;
  ViewMode Mode = ModeSingleLine;  // the active mode of InputViews
  int PendingSyntheticKeys = 0;    // synthesized key strokes still to come (RetypeInNextLayout)
  // Tab: the text before the caret ends in a word to complete. At an empty draft or after a blank a
  // plain Tab is not the editor's: it moves the keyboard on to the next control.
  bool WordBeforeCaret = true;
};

struct KeyDownDecision {
  EditorAction Action = EditorAction::None;
  bool Consumed = false;  // true: the control must not process the key
};

// The key-down rule table: the first matching row gives the action and whether the key is
// consumed; while synthetic keys are pending, and for a key or mode no row names (ModeLog, Other),
// the result is None and not consumed. The editor menu's "send" item (N13) is EditorKeyDown of
// Enter with Ctrl, its "cancel" item (N14) EditorKeyDown of Esc, both with no pending keys.
KeyDownDecision EditorKeyDown(const EditorKeyEvent& event);

struct KeyUpDecision {
  bool FormatView = false;  // run FormatView on the editor
  bool Consumed = false;
  bool RemoveTabs = false;       // strip every tab character from the editor's text
  int PendingSyntheticKeys = 0;  // the new count the window keeps
};

// The key-up rules: while synthetic keys are pending each key other than Shift, Ctrl and Alt counts
// one down and nothing else happens; otherwise FormatView runs unless Ctrl is held, Shift+Enter and
// Ctrl+Enter in modes 1 and 2 are consumed, and Tab strips tab characters. A negative pending count
// counts as none and comes back as 0.
KeyUpDecision EditorKeyUp(const EditorKeyEvent& event);

// The mode after a line / multi-line toggle (double click, menu N11, Shift+Enter, Esc in mode 1):
// 0 and 1 swap, every other mode stays as it is.
ViewMode ToggledLineMode(ViewMode mode);

// The editor menu's "Многострочный редактор" item (PopupMenu4Popup): checked in mode 1, enabled
// in every mode but the reply mode 2.
struct MultiLineItemState {
  bool Checked = false;
  bool Enabled = false;
};
MultiLineItemState MultiLineMenuItem(ViewMode mode);

// The tab Ctrl+Tab and Shift+Tab go to: the next one, or 0 after the last. A count of 0 or less, or
// a current index outside the strip, gives 0 (selecting it then fails harmlessly on an empty strip).
int NextTabIndex(int current, int count);

// Which editor height a dragged splitter (Splitter2CanResize) sets. A reply tab's height is half the
// panel, computed and not stored: dragging it leaves the stored line-mode heights alone.
enum class EditorHeightSlot : std::uint8_t { SingleLine, MultiLine, Reply };
// MultiLine in mode 1, Reply in mode 2, SingleLine otherwise.
EditorHeightSlot SplitterHeightSlot(ViewMode mode);

// The height the editor takes in mode for text that needs textHeight pixels: the line editor (mode 0)
// grows from its set height to fit its wrapped text, up to a third of sharedHeight (the height it
// shares with the channel view), so that a long line is seen whole instead of behind a scroll bar;
// every other mode keeps its set height. Never below setHeight.
int EditorFitHeight(ViewMode mode, int setHeight, int textHeight, int sharedHeight);

}  // namespace plumo
