// SPDX-License-Identifier: GPL-3.0-or-later
// TCoreContext: what every part of the client core shares: the program's directory, the screen
// seams, the settings, the language texts, the engine (null before start-up and after the
// farewell) and the clock. TChatCore owns it and hands it by reference to its collaborators, each
// of which keeps its own state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/settings.h"
#include "core/surfaces.h"
#include "core/texts.h"
#include "lang/lng.h"
#include "net/plumo.h"

namespace plumo {

class TChatHistory;

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

// What a send operation of the core did.
enum class SendOutcome {
  Sent,         // every datagram left
  Nothing,      // nothing to send (blank text, the console tab, no engine)
  TooLong,      // refused: the text does not fit one datagram; nothing was sent
  Unreachable,  // a recipient has left or is offline; the others got it
};

struct TCoreContext {
  TCoreContext(FsPath dir, CoreSurfaces surfaces, TSettings& settings, TMsgINISupp& messages)
      : AppDir(std::move(dir)), Surfaces(surfaces), Settings(settings), Messages(messages) {}

  FsPath AppDir;
  CoreSurfaces Surfaces;
  TSettings& Settings;
  TMsgINISupp& Messages;
  TPlumo* Engine = nullptr;
  // The conversation history every shown line is handed to; set by TChatCore.
  TChatHistory* History = nullptr;
  // Whether the main window is shown (the roster is rebuilt and the editor focused only then).
  bool WindowVisible = true;
  // Writes what the user changed (nick, chosen state, a topic) to chat.ini at once, so that a
  // restart or a crash keeps it; set by TChatCore to its full save.
  std::function<void()> OnSaveUserChanges;
  void SaveUserChanges() const {
    if (OnSaveUserChanges) OnSaveUserChanges();
  }

  FsPath IniPath() const { return AppDir / "chat.ini"; }
  // A language text; inside a lookup period when several are read together (TMessageScope).
  std::string Msg(const char* key) const { return Messages.GetMessage(key); }
  // One language text in a lookup period of its own.
  std::string MsgAlone(const char* key) const {
    const TMessageScope scope(Messages);
    return Messages.GetMessage(key);
  }
  // The time of day as the lines show it, the date and time, and seconds since 1970 of the local
  // clock.
  std::string NowTime() const;
  std::string NowDateTime() const;
  std::uint32_t NowSeconds() const;
};

}  // namespace plumo
