// SPDX-License-Identifier: GPL-3.0-or-later
// The headless peer: the program without a window, driven by commands on standard input and
// reporting on standard output (JSON lines with --json, readable text otherwise). It starts and
// ends exactly as the windowed program does, over the same client core.
#pragma once

#include <string>
#include <vector>

namespace plumo {

struct HeadlessOptions {
  std::string Dir;  // the program's directory (chat.ini, language files, sounds/)
  bool Json = false;
  std::string ProgramPath;  // argv[0], to find the shipped language files
  std::string LogFile;      // --log: the conversation log, none when empty
  std::string Language;     // --lang: the language file for this run, chat.ini's when empty
};

// The version of the JSON objects' schema (docs/headless.md), given in the ready object.
inline constexpr int kJsonSchemaVersion = 1;

// Runs the headless peer until /quit or the end of standard input. Returns the exit code.
int RunHeadless(int argc, char** argv, const HeadlessOptions& options);

// The default program directory: $XDG_CONFIG_HOME/plumo, or ~/.config/plumo.
std::string DefaultProgramDir();
// The program's data folder (holding lang/): next to the program in a build, share/plumo under the
// install prefix once installed; empty when neither exists.
std::string ShippedDataDir(const std::string& programPath);
// Copies each shipped language file (lang/*.lng) that dir lacks into it, and each shipped sound
// (sounds/*.wav) that dir/sounds lacks into that folder; a file of the same name there is the
// user's and is kept. Returns how many were copied.
int CopyShippedFiles(const std::string& dir, const std::string& programPath);

}  // namespace plumo
