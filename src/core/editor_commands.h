// SPDX-License-Identifier: GPL-3.0-or-later
// TEditorCommands: carries out what the editor's key rules (core/editor_keys.h) decide, so that the
// window only maps its key events and shows the result. Nick completion and re-typing in another
// keyboard layout work on the editor's text and caret and are the window's to carry out.
#pragma once

#include <functional>
#include <string>

#include "core/editor_keys.h"
#include "core/roster_list.h"
#include "core/sender.h"
#include "core/settings.h"
#include "core/slots.h"
#include "core/tabstrips.h"
#include "core/texts.h"
#include "lang/fs_path.h"

namespace plumo {

class TEditorCommands {
 public:
  // iniPath is chat.ini, which keeps the editor's heights.
  TEditorCommands(TSettings& settings, InputEditor& editor, WindowSurface& window, TMsgINISupp& messages,
                  const TEngineSlot& engine, FsPath iniPath, TTabStrips& tabs, TSender& sender,
                  TRosterList& roster)
      : settings_(settings),
        editor_(editor),
        window_(window),
        texts_(messages),
        engine_(engine),
        iniPath_(std::move(iniPath)),
        tabs_(tabs),
        sender_(sender),
        roster_(roster) {}

  // A key went down in the editor: the rules decide, the core carries out its part. The result says
  // whether the control must not process the key, and which action the window still has to carry
  // out (CompleteNick, RetypeNextLayout; None when nothing is left to it).
  KeyDownDecision KeyDown(EditorKey key, bool ctrl, bool shift, int pendingSyntheticKeys,
                          bool wordBeforeCaret = true);
  // Carries out one action; false for the actions that are the window's. Sending a line or a reply
  // whose text has characters the wire cannot carry asks the user first; the answer sends it or
  // keeps the draft.
  bool Run(EditorAction action);
  // A text with line breaks is being pasted into the editor: the line editor in line mode switches
  // to multi-line mode, so the breaks are kept instead of joining the lines. True when the active
  // mode keeps line breaks now.
  bool LinesPasted();
  // The line editor switches between line and multi-line mode (double click, menu, Shift+Enter,
  // Esc in multi-line mode); a reply tab stays as it is.
  void ToggleLineMode();
  // The message-tab menu's "send": the active reply tab is sent and then closed whatever the
  // result (a failure has been named in the console). Characters the wire cannot carry are shown
  // first; declining keeps the tab and its draft.
  void SendAndCloseReplyTab();
  // The user dragged the editor to height: it becomes the height of the active mode and is kept in
  // chat.ini ("SingleLineH" or "MultiLineH"); a reply tab's height follows the window and is not kept.
  // False when nothing was stored.
  bool EditorHeightDragged(int height);
  // The active mode of the input editor.
  ViewMode ActiveMode() const;

 private:
  // Runs send now, or after the user agreed that the lost characters become "?". Emoji the chat
  // has smileys for become the smileys' codes first, so they are not counted as lost.
  void SendAfterCheck(const std::function<void()>& send);

  TSettings& settings_;
  InputEditor& editor_;
  WindowSurface& window_;
  TTexts texts_;
  const TEngineSlot& engine_;
  FsPath iniPath_;
  TTabStrips& tabs_;
  TSender& sender_;
  TRosterList& roster_;
};

}  // namespace plumo
