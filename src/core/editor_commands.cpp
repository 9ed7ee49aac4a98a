// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/editor_commands.h"

#include "core/roster_moves.h"

namespace plumo {

ViewMode TEditorCommands::ActiveMode() const {
  const TConversationList& inputs = tabs_.Inputs();
  const int index = inputs.CurrentIndex();
  return index >= 0 ? inputs.At(index).Mode : ModeSingleLine;
}

KeyDownDecision TEditorCommands::KeyDown(EditorKey key, bool ctrl, bool shift, int pendingSyntheticKeys,
                                         bool wordBeforeCaret) {
  KeyDownDecision decision =
      EditorKeyDown({key, ctrl, shift, ActiveMode(), pendingSyntheticKeys, wordBeforeCaret});
  if (Run(decision.Action)) decision.Action = EditorAction::None;
  return decision;
}

bool TEditorCommands::EditorHeightDragged(int height) {
  const EditorHeightSlot slot = SplitterHeightSlot(ActiveMode());
  if (slot == EditorHeightSlot::Reply) return false;
  const bool multiLine = slot == EditorHeightSlot::MultiLine;
  (multiLine ? settings_.MultiLineH : settings_.SingleLineH) = height;
  TIniFile ini(iniPath_);
  WriteEditorHeight(ini, multiLine, height);
  return true;
}

void TEditorCommands::ToggleLineMode() {
  TConversationList& inputs = tabs_.Inputs();
  const int index = inputs.CurrentIndex();
  if (index < 0) return;
  const ViewMode mode = inputs.At(index).Mode;
  const ViewMode next = ToggledLineMode(mode);
  if (next != mode) inputs.SetMode(index, next);
  tabs_.Channels().ScrollToEnd();
}

bool TEditorCommands::LinesPasted() {
  if (ActiveMode() == ModeSingleLine) ToggleLineMode();
  return ActiveMode() != ModeSingleLine;
}

void TEditorCommands::SendAndCloseReplyTab() {
  if (tabs_.Inputs().CurrentIndex() <= 0) return;
  SendAfterCheck([this] {
    sender_.SendComposedMessage();
    tabs_.CloseMessageTab();
  });
}

void TEditorCommands::SendAfterCheck(const std::function<void()>& send) {
  std::vector<TUnencodableChar> lost = editor_.LostCharacters();
  if (!lost.empty()) {
    // An emoji the chat has a smiley for travels as the smiley's code; only the rest is lost.
    const std::vector<EmojiSmiley> smileys = EmojiSmileys(settings_.SmileTable.Entries());
    if (!smileys.empty()) {
      editor_.ReplaceEmoji(smileys);
      lost = editor_.LostCharacters();
    }
  }
  if (lost.empty()) {
    send();
    return;
  }
  window_.ConfirmLostCharacters(texts_.MsgAlone(kCantEncodeKey), lost, [this, send](bool agreed) {
    if (agreed && engine_) send();
  });
}

bool TEditorCommands::Run(EditorAction action) {
  switch (action) {
    case EditorAction::None:
      return true;
    case EditorAction::ToggleLineMode:
      ToggleLineMode();
      return true;
    case EditorAction::SubmitLine:
      SendAfterCheck([this] { sender_.SubmitLine(); });
      return true;
    case EditorAction::SendReplyAndClose:
      SendAfterCheck([this] { sender_.SendReply(); });
      return true;
    case EditorAction::CloseReplyTab:
      tabs_.CloseMessageTab();
      return true;
    case EditorAction::ClearInput:
      editor_.ClearInput();
      return true;
    case EditorAction::RosterUp:
    case EditorAction::RosterDown:
    case EditorAction::RosterExtendUp:
    case EditorAction::RosterExtendDown:
      roster_.Move(*RosterMoveOf(action));
      return true;
    case EditorAction::HistoryOlder:
      sender_.RecallOlder();
      return true;
    case EditorAction::HistoryNewer:
      sender_.RecallNewer();
      return true;
    case EditorAction::NextMessageTab:
      tabs_.NextMessageTab();
      return true;
    case EditorAction::NextChannelTab:
      tabs_.NextChannelTab();
      return true;
    case EditorAction::ComposePrivate:
      sender_.ComposeMessage(false);
      return true;
    case EditorAction::ComposeMass:
      sender_.ComposeMessage(true);
      return true;
    case EditorAction::ChangeTopic:
      tabs_.ChangeTopic();
      return true;
    case EditorAction::CompleteNick:
    case EditorAction::RetypeNextLayout:
      return false;
  }
  return false;
}

}  // namespace plumo
