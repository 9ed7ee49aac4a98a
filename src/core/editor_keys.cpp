// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's key tables and mode rules; see editor_keys.h.
#include "core/editor_keys.h"

#include <algorithm>

namespace plumo {

namespace {

KeyDownDecision Run(EditorAction action) {
  return {action, true};
}

constexpr KeyDownDecision kPassOn{EditorAction::None, false};

KeyDownDecision EnterDown(const EditorKeyEvent& e) {
  if (e.Shift) return Run(EditorAction::ToggleLineMode);
  if (e.Mode == ModeSingleLine || (e.Mode == ModeMultiLine && e.Ctrl)) return Run(EditorAction::SubmitLine);
  if (e.Mode == ModeReply && e.Ctrl) return Run(EditorAction::SendReplyAndClose);
  return kPassOn;  // the control inserts a line break
}

// Esc acts but is not consumed: the control has nothing to do with it.
KeyDownDecision EscDown(const EditorKeyEvent& e) {
  switch (e.Mode) {
    case ModeReply:
      return {EditorAction::CloseReplyTab, false};
    case ModeMultiLine:
      return {EditorAction::ToggleLineMode, false};
    case ModeSingleLine:
      return {EditorAction::ClearInput, false};
    default:
      return kPassOn;
  }
}

KeyDownDecision ArrowDown(const EditorKeyEvent& e) {
  const bool up = e.Key == EditorKey::Up;
  if (e.Ctrl) return Run(up ? EditorAction::RosterUp : EditorAction::RosterDown);
  if (e.Shift) return Run(up ? EditorAction::RosterExtendUp : EditorAction::RosterExtendDown);
  if (e.Mode == ModeSingleLine) return Run(up ? EditorAction::HistoryOlder : EditorAction::HistoryNewer);
  return kPassOn;  // caret movement in the multi-line and reply editors
}

KeyDownDecision TabDown(const EditorKeyEvent& e) {
  if (e.Ctrl) return Run(EditorAction::NextMessageTab);
  if (e.Shift) return Run(EditorAction::NextChannelTab);
  if (!e.WordBeforeCaret) return kPassOn;
  return Run(EditorAction::CompleteNick);
}

}  // namespace

KeyDownDecision EditorKeyDown(const EditorKeyEvent& e) {
  // Synthesized key strokes of a re-typing are being delivered: they are text for the control.
  if (e.PendingSyntheticKeys > 0) return kPassOn;
  switch (e.Key) {
    case EditorKey::Enter:
      return EnterDown(e);
    case EditorKey::Esc:
      return EscDown(e);
    case EditorKey::Up:
    case EditorKey::Down:
      return ArrowDown(e);
    case EditorKey::Tab:
      return TabDown(e);
    case EditorKey::F5:
      return Run(EditorAction::ComposePrivate);
    case EditorKey::F6:
      return Run(EditorAction::ComposeMass);
    case EditorKey::T:
      return e.Ctrl ? Run(EditorAction::ChangeTopic) : kPassOn;
    case EditorKey::Backspace:
      return e.Ctrl ? Run(EditorAction::RetypeNextLayout) : kPassOn;
    default:
      return kPassOn;
  }
}

KeyUpDecision EditorKeyUp(const EditorKeyEvent& e) {
  KeyUpDecision d;
  if (e.PendingSyntheticKeys > 0) {
    const bool modifier = e.Key == EditorKey::Shift || e.Key == EditorKey::Ctrl || e.Key == EditorKey::Alt;
    d.PendingSyntheticKeys = modifier ? e.PendingSyntheticKeys : e.PendingSyntheticKeys - 1;
    return d;
  }
  d.FormatView = !e.Ctrl;
  if (e.Key == EditorKey::Enter) {
    d.Consumed = e.Shift || (e.Ctrl && (e.Mode == ModeMultiLine || e.Mode == ModeReply));
  }
  d.RemoveTabs = e.Key == EditorKey::Tab;
  return d;
}

ViewMode ToggledLineMode(ViewMode mode) {
  if (mode == ModeSingleLine) return ModeMultiLine;
  if (mode == ModeMultiLine) return ModeSingleLine;
  return mode;
}

MultiLineItemState MultiLineMenuItem(ViewMode mode) {
  return {mode == ModeMultiLine, mode != ModeReply};
}

int NextTabIndex(int current, int count) {
  if (count <= 0 || current < 0 || current >= count - 1) return 0;
  return current + 1;
}

EditorHeightSlot SplitterHeightSlot(ViewMode mode) {
  if (mode == ModeMultiLine) return EditorHeightSlot::MultiLine;
  if (mode == ModeReply) return EditorHeightSlot::Reply;
  return EditorHeightSlot::SingleLine;
}

int EditorFitHeight(ViewMode mode, int setHeight, int textHeight, int sharedHeight) {
  if (mode != ModeSingleLine) return setHeight;
  return std::max(setHeight, std::min(textHeight, sharedHeight / 3));
}

}  // namespace plumo
