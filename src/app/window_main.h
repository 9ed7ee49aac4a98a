// SPDX-License-Identifier: GPL-3.0-or-later
// The windowed program: the main window over the client core, on the Qt event loop with real UDP,
// the real clock and sound. It starts and ends as the headless peer does, over the same core.
#pragma once

#include <string>

namespace plumo {

struct WindowOptions {
  std::string Dir;          // the program's directory (chat.ini, language files, sounds/)
  std::string ProgramPath;  // argv[0], to find the shipped language files
  std::string LogFile;      // --log: the conversation log, none when empty
  std::string Language;     // --lang: the language file chosen for this and later runs
};

// Runs the windowed program until its window is closed. Returns the exit code.
int RunWindow(int argc, char** argv, const WindowOptions& options);

}  // namespace plumo
