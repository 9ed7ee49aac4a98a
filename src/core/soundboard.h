// SPDX-License-Identifier: GPL-3.0-or-later
// TSoundBoard: the event sounds and bells. The sound table in force decides whether an event
// sounds and which file it plays, and completes itself with defaults as events occur; the mute
// button switches the table's "mute" entry.
#pragma once

#include <cstdint>
#include <string>

#include "core/settings.h"
#include "core/surfaces.h"
#include "lang/fs_path.h"

namespace plumo {

class TSoundBoard {
 public:
  // appDir: the program's directory, whose "sounds" folder holds the default files.
  TSoundBoard(FsPath appDir, TSettings& settings, SoundOutput& sound, SystemInfo& system,
              WindowSurface& window)
      : appDir_(std::move(appDir)), settings_(settings), sound_(sound), system_(system), window_(window) {}

  // Plays the sound of an event key ("chat_line", "message", ...), registering the event on its
  // first occurrence and its default file ("<key>.wav") on its second; an empty file name is
  // replaced by the default one the same way. The table never holds a name twice through this.
  void PlayEventSound(const std::string& key);
  // Plays the file of a bell number from the bell table; nothing for an unknown number.
  void PlayBell(std::uint16_t number);
  // The mute button.
  void MuteClick();
  // The sound table of a state's set ([SOUNDS0..2]); states without a set keep the table.
  void LoadSoundsForState(char state);
  // The state ('1', '4' or '5') whose set the table in force holds: the last one loaded, or the one
  // named by AdoptTableAs at start-up. An edit of that set is an edit of the sounds in force.
  char SetInForce() const { return setInForce_; }
  // The table read from the file is the set of state (the state chosen when it was saved).
  void AdoptTableAs(char state);
  // Shows the mute button's picture for the table in force.
  void UpdateMuteImage();

 private:
  // The file to play for a name of the sound tables (code-page text): the name as it stands, else
  // in the "sounds" folder; empty when neither exists.
  FsPath ResolveSoundFile(const std::string& file) const;

  FsPath appDir_;
  TSettings& settings_;
  SoundOutput& sound_;
  SystemInfo& system_;
  WindowSurface& window_;
  char setInForce_ = '1';
};

}  // namespace plumo
