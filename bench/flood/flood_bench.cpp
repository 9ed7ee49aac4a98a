// SPDX-License-Identifier: GPL-3.0-or-later
// A flood of channel lines through the real event loop: datagrams go into the engine of a client core
// whose channel display is a RichConversationView over a rich-text control shown in a window, at a
// target rate, while the channel's log is displayed. Measured: the rate at which lines reach the
// document, the largest gap between two ticks of a 10 ms timer (how long the loop was blocked), paints
// of the log and CPU time per line.
//
//   bench_flood [rate lines/s ...] [--seconds S] [--prefill N]
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise (xcb under xvfb-run).
#include "flood_program.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::vector<int> rates;
  double seconds = 3;
  int prefill = 1000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (arg == "--prefill" && i + 1 < argc) {
      prefill = std::atoi(argv[++i]);
    } else {
      rates.push_back(std::atoi(arg.c_str()));
    }
  }
  if (rates.empty()) rates = {1000, 5000, 10000};
  const char* source = std::getenv("PLUMO_SOURCE_DIR");
  const std::filesystem::path language =
      std::filesystem::path(source != nullptr ? source : PLUMO_DEFAULT_SOURCE_DIR) / "data" / "lang" /
      "english.lng";
  std::printf("platform %s, %.1f s per rate, %d lines in the log before\n",
              QGuiApplication::platformName().toUtf8().constData(), seconds, prefill);
  std::printf("%8s %8s %8s %10s %9s %9s %10s %9s %s\n", "target", "lines", "sent/s", "shown/s", "lag ms",
              "gap ms", "CPU us/ln", "paints/s", "");
  for (const int rate : rates) {
    plumo::flood::Program program(language);
    const plumo::flood::Result r = program.Flood(rate, seconds, prefill);
    std::printf("%8d %8ld %8.0f %10.0f %9.1f %9.1f %10.1f %9.1f %s\n", r.target, r.lines, r.offered,
                r.achieved, r.lagMs, r.maxGapMs, r.cpuUsPerLine, r.paintsPerSecond,
                !r.complete     ? "INCOMPLETE"
                : r.lastInPlace ? ""
                                : "OUT OF ORDER");
    std::fflush(stdout);
  }
  return 0;
}
