// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM reach the program on its event loop.
#include "host/quit_signals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>

namespace plumo {
namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "quit_signals_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

TEST(QuitSignals, EachSignalCallsBackOnceOnTheEventLoopAndLeavingRestoresTheDefault) {
  App();
  for (const int signal : {SIGINT, SIGTERM}) {
    int calls = 0;
    {
      const QuitSignals quit([&calls] { ++calls; });
      ASSERT_TRUE(quit.Active());
      // Only one watch at a time: the handler has one pipe to write to.
      const QuitSignals second([] { ADD_FAILURE() << "the second watch was called"; });
      EXPECT_FALSE(second.Active());

      ASSERT_EQ(std::raise(signal), 0);
      EXPECT_EQ(calls, 0) << "called from inside the handler";
      QElapsedTimer waited;
      waited.start();
      while (calls == 0 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      EXPECT_EQ(calls, 1) << signal;
    }
    struct sigaction now {};
    ASSERT_EQ(sigaction(signal, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << signal;
  }
}

}  // namespace
}  // namespace plumo
