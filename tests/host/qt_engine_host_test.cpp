// SPDX-License-Identifier: GPL-3.0-or-later
// The clock, random source and timers of the Qt host.
#include "host/qt_engine_host.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <set>
#include <thread>

namespace plumo {
namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "host_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

std::int64_t UtcMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old, hadOld_ = true;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (hadOld_) {
      ::setenv("TZ", saved_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::string saved_;
  bool hadOld_ = false;
};

TEST(QtEngineHostTest, ClockCountsLocalWallTimeAsIfItWereUniversal) {
  QtEngineHost host;
  {
    // POSIX zone text: "XYZ-3" lies three hours east of Greenwich.
    ScopedTimeZone zone("XYZ-3");
    EXPECT_NEAR(static_cast<double>(host.NowMs() - UtcMs()), 3 * 3600 * 1000.0, 2000.0);
  }
  {
    ScopedTimeZone zone("XYZ+5:30");
    EXPECT_NEAR(static_cast<double>(host.NowMs() - UtcMs()), -5.5 * 3600 * 1000.0, 2000.0);
  }
  {
    ScopedTimeZone zone("UTC0");
    EXPECT_NEAR(static_cast<double>(host.NowMs() - UtcMs()), 0.0, 2000.0);
  }
}

TEST(QtEngineHostTest, RandomStaysInRangeAndCoversIt) {
  QtEngineHost host;
  EXPECT_EQ(host.Random(0), 0u);
  EXPECT_EQ(host.Random(1), 0u);
  std::set<std::uint32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::uint32_t v = host.Random(20);
    ASSERT_LT(v, 20u);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 20u);
  EXPECT_LT(host.Random(0xFFFFFFFFu), 0xFFFFFFFFu);
}

TEST(QtEngineHostTest, EnablingARunningTimerRestartsItsCountdown) {
  App();
  QtEngineHost host;
  EXPECT_FALSE(host.TimerActive(EngineTimer::Resend));
  host.SetTimer(EngineTimer::Resend, true, 1000);
  host.SetTimer(EngineTimer::Presence, true, 30007);
  EXPECT_TRUE(host.TimerActive(EngineTimer::Resend));
  EXPECT_GT(host.TimerRemainingMs(EngineTimer::Presence), 29000);

  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  QCoreApplication::processEvents();
  EXPECT_LE(host.TimerRemainingMs(EngineTimer::Resend), 700);
  host.SetTimer(EngineTimer::Resend, true, 1000);
  EXPECT_GT(host.TimerRemainingMs(EngineTimer::Resend), 900);

  host.SetTimer(EngineTimer::Resend, false, 1000);
  EXPECT_FALSE(host.TimerActive(EngineTimer::Resend));
  EXPECT_TRUE(host.TimerActive(EngineTimer::Presence));
}

TEST(QtEngineHostTest, TimersRepeatUntilSwitchedOff) {
  App();
  QtEngineHost host;
  host.SetTimer(EngineTimer::Resend, true, 20);
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 150) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_TRUE(host.TimerActive(EngineTimer::Resend));  // not single-shot
  host.SetTimer(EngineTimer::Resend, false, 20);
  EXPECT_FALSE(host.TimerActive(EngineTimer::Resend));
}

}  // namespace
}  // namespace plumo
