// The program entry. "plumo --headless [--dir DIR] [--json]" runs the peer without a window; the
// windowed program is not part of this build yet.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/headless.h"

namespace {

void Usage(FILE* to) {
  std::fprintf(to,
               "Usage: plumo --headless [--dir DIR] [--json]\n"
               "  --headless  run without a window, driven by commands on standard input\n"
               "  --dir DIR   the program's directory (chat.ini, language files, sounds/);\n"
               "              created if missing; default $XDG_CONFIG_HOME/plumo or ~/.config/plumo\n"
               "  --json      one JSON object per output line\n");
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  plumo::HeadlessOptions options;
  options.programPath = argc > 0 ? argv[0] : "plumo";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--headless") {
      headless = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--dir" && i + 1 < argc) {
      options.dir = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "plumo: unknown argument %s\n", arg.c_str());
      Usage(stderr);
      return 2;
    }
  }
  if (!headless) {
    std::fprintf(stderr,
                 "plumo: the windowed program is not built yet.\n"
                 "Run the headless peer instead:  plumo --headless --dir ~/.config/plumo\n");
    return 2;
  }
  if (options.dir.empty()) options.dir = plumo::DefaultProgramDir();
  return plumo::RunHeadless(argc, argv, options);
}
