// SPDX-License-Identifier: GPL-3.0-or-later
// Resident memory of the program whose channel display takes a long run of channel lines: datagrams
// from ten peers into the engine of a client core with the real channel display in a shown window
// (flood_program.h), in batches of kBatch lines, each batch appended to the log and painted before the
// next. Counters: resident memory (MB) before the lines, after the first 100,000 and after all of
// them, and the ratio of the last two; the heap's bytes in use at the same points (the rest of the
// resident memory is code, Qt's caches and heap kept for reuse). The history store commits what it
// has queued before each measure. The second argument keeps history (1, the display then keeps
// a window of the newest lines) or not (0, it keeps every line).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <fstream>

#include "flood_program.h"

namespace plumo::flood {
namespace {

constexpr long kBatch = 500;
constexpr long kFirstCheck = 100'000;

double ResidentMb() {
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Bytes the program's heap holds in use (not what it keeps for reuse), in MB.
double HeapInUseMb() {
  return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

fs::path LanguageFile() {
  const char* source = std::getenv("PLUMO_SOURCE_DIR");
  return fs::path(source != nullptr ? source : PLUMO_DEFAULT_SOURCE_DIR) / "data" / "lang" / "english.lng";
}

void BM_MemoryAfterLines(benchmark::State& state) {
  const long lines = state.range(0);
  const bool keepHistory = state.range(1) != 0;
  for (auto _ : state) {
    Program program(LanguageFile(), keepHistory ? "KeepHistory=1\n" : "KeepHistory=0\n");
    const double before = ResidentMb();
    double atFirstCheck = 0;
    double heapAtFirstCheck = 0;
    // The lines the store has queued are committed before each measure, so that both see the same.
    THistoryStore* store = program.Core().ChatHistory().Store();
    const double cpu0 = CpuSeconds();
    while (program.Sent() < lines) {
      for (long n = 0; n < kBatch && program.Sent() < lines; ++n) program.DeliverLine();
      program.Views().Flush();
      QCoreApplication::processEvents();
      if (program.Sent() == kFirstCheck) {
        if (store != nullptr) store->Flush();
        atFirstCheck = ResidentMb();
        heapAtFirstCheck = HeapInUseMb();
      }
    }
    const double cpu = CpuSeconds() - cpu0;
    if (store != nullptr) store->Flush();
    const double after = ResidentMb();
    state.counters["rss_before_mb"] = before;
    state.counters["rss_100k_mb"] = atFirstCheck;
    state.counters["rss_end_mb"] = after;
    state.counters["end_per_100k"] = atFirstCheck > 0 ? after / atFirstCheck : 0;
    state.counters["heap_100k_mb"] = heapAtFirstCheck;
    state.counters["heap_end_mb"] = HeapInUseMb();
    state.counters["kept_blocks"] = program.ShownBlocks();
    state.counters["cpu_us_per_line"] = cpu * 1e6 / static_cast<double>(lines);
    if (program.LastShown() != lines - 1) state.SkipWithError("the log does not end with the last line");
  }
}
BENCHMARK(BM_MemoryAfterLines)
    ->Args({1'000'000, 1})
    ->Args({100'000, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace
}  // namespace plumo::flood

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
