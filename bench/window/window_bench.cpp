// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and idle costs of the real windowed program: the time from starting the process to the
// first paint of its window, and the resident memory and wake-ups per minute of the idle window.
// Each run starts the built `plumo` in a fresh program directory; it needs a display (DISPLAY) and
// should run where the program has a network address of its own (bench/window/run.sh provides
// both: a network namespace and a virtual display).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One started program: its directory, process and standard error.
class Program {
 public:
  Program() {
    char pattern[] = "/tmp/plumo-bench-XXXXXX";
    dir_ = mkdtemp(pattern);
    std::ofstream(dir_ + "/chat.ini") << "[Main]\nLanguage=english.lng\nMyName=bench\n";
    int err[2];
    if (pipe(err) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(err[1], STDERR_FILENO);
      close(err[0]);
      setenv("PLUMO_REPORT_FIRST_PAINT", "1", 1);
      execl(PLUMO_PROGRAM, PLUMO_PROGRAM, "--dir", dir_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(err[1]);
    err_ = err[0];
  }
  ~Program() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    close(err_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Waits (at most 20 s) for the program to report its first paint.
  bool WaitForFirstPaint() {
    std::string seen;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
      pollfd p{err_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[512];
      const ssize_t n = read(err_, buffer, sizeof buffer);
      if (n <= 0) return false;
      seen.append(buffer, static_cast<std::size_t>(n));
      if (seen.find("plumo: first paint") != std::string::npos) return true;
    }
    return false;
  }

  // A field ("VmRSS", "voluntary_ctxt_switches") of /proc/<pid>/status, summed over every thread
  // for the switch counts.
  long Status(const std::string& key, bool allThreads) const {
    long sum = 0;
    const std::string base = "/proc/" + std::to_string(pid_);
    auto read = [&](const std::string& path) {
      std::ifstream in(path);
      std::string line;
      while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0) sum += std::stol(line.substr(key.size() + 1));
      }
    };
    if (!allThreads) {
      read(base + "/status");
      return sum;
    }
    for (const auto& task : fs::directory_iterator(base + "/task")) read(task.path().string() + "/status");
    return sum;
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int err_ = -1;
};

void BM_StartupToFirstPaint(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr) {
    state.SkipWithError("no DISPLAY: run bench/window/run.sh");
    return;
  }
  for (auto _ : state) {
    const auto start = Clock::now();
    Program program;
    if (!program.WaitForFirstPaint()) {
      state.SkipWithError("the program did not paint its window");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}
BENCHMARK(BM_StartupToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The window left alone for a minute after it settled: resident memory, and how often its threads
// woke up (context switches), which shows busy polling if there is any.
void BM_IdleWindow(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr) {
    state.SkipWithError("no DISPLAY: run bench/window/run.sh");
    return;
  }
  const int idleSeconds =
      std::getenv("PLUMO_BENCH_IDLE_SECONDS") ? std::atoi(std::getenv("PLUMO_BENCH_IDLE_SECONDS")) : 60;
  for (auto _ : state) {
    Program program;
    if (!program.WaitForFirstPaint()) {
      state.SkipWithError("the program did not paint its window");
      return;
    }
    sleep(3);
    const long before =
        program.Status("voluntary_ctxt_switches", true) + program.Status("nonvoluntary_ctxt_switches", true);
    sleep(static_cast<unsigned>(idleSeconds));
    const long after =
        program.Status("voluntary_ctxt_switches", true) + program.Status("nonvoluntary_ctxt_switches", true);
    state.counters["rss_MB"] = static_cast<double>(program.Status("VmRSS", false)) / 1024.0;
    state.counters["wakeups_per_min"] = static_cast<double>(after - before) * 60.0 / idleSeconds;
  }
}
BENCHMARK(BM_IdleWindow)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
