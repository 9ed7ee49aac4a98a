// SPDX-License-Identifier: GPL-3.0-or-later
// The program entry. "plumo [--dir DIR]" shows the chat window when a display is available and
// runs the headless peer otherwise, saying so; "plumo --headless [--dir DIR] [--json]" always runs
// the peer without a window. "--log FILE" keeps a plain-text log of the conversations in both.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/display.h"
#include "app/headless.h"
#include "app/window_main.h"
#include "core/texts.h"

namespace {

void Usage(FILE* to) {
  std::fprintf(to,
               "Usage: plumo [--headless] [--dir DIR] [--json] [--log FILE] [--lang FILE]\n"
               "  (none)      show the chat window; without a display, run the headless peer\n"
               "  --headless  run without a window, driven by commands on standard input\n"
               "  --dir DIR   the program's directory (chat.ini, language files, sounds/);\n"
               "              created if missing; default $XDG_CONFIG_HOME/plumo or ~/.config/plumo\n"
               "  --json      (headless) one JSON object per output line\n"
               "  --log FILE  append every line shown in a conversation to FILE as UTF-8 text,\n"
               "              one \"conversation<TAB>line\" record per line, colours removed\n"
               "  --lang FILE the language file (english.lng, russian.lng), kept in chat.ini\n"
               "  --version   the program's version\n"
               "  --help      this text\n"
               "In the headless peer, /help lists the commands.\n");
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  plumo::HeadlessOptions options;
  options.ProgramPath = argc > 0 ? argv[0] : "plumo";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--headless") {
      headless = true;
    } else if (arg == "--json") {
      options.Json = true;
    } else if (arg == "--dir" || arg == "--log" || arg == "--lang") {
      if (i + 1 >= argc || argv[i + 1][0] == 0) {
        std::fprintf(stderr, "plumo: %s needs a value\n", arg.c_str());
        Usage(stderr);
        return 2;
      }
      std::string& value = arg == "--dir" ? options.Dir : arg == "--log" ? options.LogFile : options.Language;
      value = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("plumo %s\n", plumo::kPlumoVersion);
      return 0;
    } else {
      std::fprintf(stderr, "plumo: unknown argument %s\n", arg.c_str());
      Usage(stderr);
      return 2;
    }
  }
  if (options.Dir.empty()) options.Dir = plumo::DefaultProgramDir();
  if (!headless && !plumo::DisplayAvailable()) {
    std::fprintf(stderr,
                 "plumo: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                 "running the headless peer\n");
    headless = true;
  }
  if (headless) return plumo::RunHeadless(argc, argv, options);
  return plumo::RunWindow(
      argc, argv, plumo::WindowOptions{options.Dir, options.ProgramPath, options.LogFile, options.Language});
}
