// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/editor_keys.h"

#include <gtest/gtest.h>

namespace plumo {
namespace {

using A = EditorAction;
using K = EditorKey;

struct DownRow {
  K key;
  bool ctrl;
  bool shift;
  ViewMode mode;
  int pending;
  A action;
  bool consumed;
};

TEST(EditorKeys, KeyDownTable) {
  const DownRow rows[] = {
      // Enter: Shift toggles in every mode (a reply tab stays a reply tab but the key is eaten).
      {K::Enter, false, true, ModeSingleLine, 0, A::ToggleLineMode, true},
      {K::Enter, true, true, ModeReply, 0, A::ToggleLineMode, true},
      {K::Enter, false, false, ModeSingleLine, 0, A::SubmitLine, true},
      {K::Enter, true, false, ModeSingleLine, 0, A::SubmitLine, true},
      {K::Enter, false, false, ModeMultiLine, 0, A::None, false},
      {K::Enter, true, false, ModeMultiLine, 0, A::SubmitLine, true},
      {K::Enter, false, false, ModeReply, 0, A::None, false},
      {K::Enter, true, false, ModeReply, 0, A::SendReplyAndClose, true},
      {K::Enter, true, false, ModeLog, 0, A::None, false},
      // Esc acts by mode and leaves the key to the control.
      {K::Esc, false, false, ModeReply, 0, A::CloseReplyTab, false},
      {K::Esc, false, false, ModeMultiLine, 0, A::ToggleLineMode, false},
      {K::Esc, true, false, ModeSingleLine, 0, A::ClearInput, false},
      {K::Esc, false, false, ModeLog, 0, A::None, false},
      // Arrows: Ctrl before Shift before history; the roster moves work in every mode.
      {K::Up, true, false, ModeReply, 0, A::RosterUp, true},
      {K::Down, true, true, ModeSingleLine, 0, A::RosterDown, true},
      {K::Up, false, true, ModeMultiLine, 0, A::RosterExtendUp, true},
      {K::Down, false, true, ModeSingleLine, 0, A::RosterExtendDown, true},
      {K::Up, false, false, ModeSingleLine, 0, A::HistoryOlder, true},
      {K::Down, false, false, ModeSingleLine, 0, A::HistoryNewer, true},
      {K::Up, false, false, ModeMultiLine, 0, A::None, false},
      {K::Down, false, false, ModeReply, 0, A::None, false},
      // Tab: Ctrl before Shift.
      {K::Tab, false, false, ModeSingleLine, 0, A::CompleteNick, true},
      {K::Tab, true, false, ModeReply, 0, A::NextMessageTab, true},
      {K::Tab, true, true, ModeSingleLine, 0, A::NextMessageTab, true},
      {K::Tab, false, true, ModeMultiLine, 0, A::NextChannelTab, true},
      {K::F5, true, true, ModeReply, 0, A::ComposePrivate, true},
      {K::F6, false, false, ModeSingleLine, 0, A::ComposeMass, true},
      {K::T, true, false, ModeSingleLine, 0, A::ChangeTopic, true},
      {K::T, false, true, ModeSingleLine, 0, A::None, false},
      {K::Backspace, true, false, ModeMultiLine, 0, A::RetypeNextLayout, true},
      {K::Backspace, false, false, ModeSingleLine, 0, A::None, false},
      {K::Other, true, true, ModeSingleLine, 0, A::None, false},
      {K::Shift, false, true, ModeSingleLine, 0, A::None, false},
      // Synthesized strokes still arriving: every key goes to the control untouched.
      {K::Enter, false, false, ModeSingleLine, 1, A::None, false},
      {K::F5, false, false, ModeSingleLine, 3, A::None, false},
      {K::Backspace, true, false, ModeSingleLine, 2, A::None, false},
      // A count that went below zero is no pending key.
      {K::F6, false, false, ModeSingleLine, -1, A::ComposeMass, true},
  };
  for (const DownRow& r : rows) {
    const KeyDownDecision d = EditorKeyDown({r.key, r.ctrl, r.shift, r.mode, r.pending});
    SCOPED_TRACE(testing::Message() << "key " << int(r.key) << " ctrl " << r.ctrl << " shift " << r.shift
                                    << " mode " << int(r.mode) << " pending " << r.pending);
    EXPECT_EQ(d.Action, r.action);
    EXPECT_EQ(d.Consumed, r.consumed);
  }
}

struct UpRow {
  K key;
  bool ctrl;
  bool shift;
  ViewMode mode;
  int pending;
  bool format;
  bool consumed;
  bool removeTabs;
  int pendingAfter;
};

TEST(EditorKeys, KeyUpTable) {
  const UpRow rows[] = {
      {K::Other, false, false, ModeSingleLine, 0, true, false, false, 0},
      {K::Other, true, false, ModeSingleLine, 0, false, false, false, 0},
      {K::Enter, false, true, ModeReply, 0, true, true, false, 0},
      {K::Enter, true, false, ModeSingleLine, 0, false, false, false, 0},
      {K::Enter, true, false, ModeMultiLine, 0, false, true, false, 0},
      {K::Enter, true, false, ModeReply, 0, false, true, false, 0},
      {K::Enter, false, false, ModeMultiLine, 0, true, false, false, 0},
      {K::Tab, false, false, ModeSingleLine, 0, true, false, true, 0},
      {K::Tab, true, false, ModeReply, 0, false, false, true, 0},
      // Pending synthesized strokes: a non-modifier counts one down, modifiers do not count.
      {K::Other, false, false, ModeSingleLine, 3, false, false, false, 2},
      {K::Tab, false, false, ModeSingleLine, 1, false, false, false, 0},
      {K::Enter, false, true, ModeSingleLine, 1, false, false, false, 0},
      {K::Shift, false, true, ModeSingleLine, 2, false, false, false, 2},
      {K::Ctrl, true, false, ModeSingleLine, 2, false, false, false, 2},
      {K::Alt, false, false, ModeSingleLine, 2, false, false, false, 2},
      {K::Other, false, false, ModeSingleLine, -4, true, false, false, 0},
  };
  for (const UpRow& r : rows) {
    const KeyUpDecision d = EditorKeyUp({r.key, r.ctrl, r.shift, r.mode, r.pending});
    SCOPED_TRACE(testing::Message() << "key " << int(r.key) << " ctrl " << r.ctrl << " shift " << r.shift
                                    << " mode " << int(r.mode) << " pending " << r.pending);
    EXPECT_EQ(d.FormatView, r.format);
    EXPECT_EQ(d.Consumed, r.consumed);
    EXPECT_EQ(d.RemoveTabs, r.removeTabs);
    EXPECT_EQ(d.PendingSyntheticKeys, r.pendingAfter);
  }
}

TEST(EditorKeys, ModeRulesPerMode) {
  struct Row {
    ViewMode mode;
    ViewMode toggled;
    bool checked;
    bool enabled;
    EditorHeightSlot slot;
  };
  const Row rows[] = {
      {ModeSingleLine, ModeMultiLine, false, true, EditorHeightSlot::SingleLine},
      {ModeMultiLine, ModeSingleLine, true, true, EditorHeightSlot::MultiLine},
      {ModeReply, ModeReply, false, false, EditorHeightSlot::Reply},
      {ModeLog, ModeLog, false, true, EditorHeightSlot::SingleLine},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(int(r.mode));
    EXPECT_EQ(ToggledLineMode(r.mode), r.toggled);
    EXPECT_EQ(MultiLineMenuItem(r.mode).Checked, r.checked);
    EXPECT_EQ(MultiLineMenuItem(r.mode).Enabled, r.enabled);
    EXPECT_EQ(SplitterHeightSlot(r.mode), r.slot);
  }
}

TEST(EditorKeys, NextTabIndexWrapsAfterTheLast) {
  const int rows[][3] = {
      // current, count, expected
      {0, 3, 1}, {1, 3, 2}, {2, 3, 0}, {0, 1, 0}, {5, 3, 0}, {-1, 3, 0}, {0, 0, 0},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(NextTabIndex(r[0], r[1]), r[2]) << r[0] << " of " << r[1];
  }
}

}  // namespace
}  // namespace plumo
