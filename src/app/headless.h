// The headless peer: the program without a window, driven by commands on standard input and
// reporting on standard output (JSON lines with --json, readable text otherwise). It starts and
// ends exactly as the windowed program does, over the same client core.
#pragma once

#include <string>
#include <vector>

namespace plumo {

struct HeadlessOptions {
  std::string dir;  // the program's directory (chat.ini, language files, sounds/)
  bool json = false;
  std::string programPath;  // argv[0], to find the shipped language files
  std::string logFile;      // --log: the conversation log, none when empty
};

// Runs the headless peer until /quit or the end of standard input. Returns the exit code.
int RunHeadless(int argc, char** argv, const HeadlessOptions& options);

// The default program directory: $XDG_CONFIG_HOME/plumo, or ~/.config/plumo.
std::string DefaultProgramDir();
// Copies the shipped language files into dir when it holds no "*.lng" file; returns how many.
int CopyShippedLanguages(const std::string& dir, const std::string& programPath);

}  // namespace plumo
