// SPDX-License-Identifier: GPL-3.0-or-later
// One window per user: a later copy reaches the running one, which comes forward; with nobody
// listening the later copy starts itself.
#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace plumo {
namespace {

QString TestName(const char* what) {
  return QStringLiteral("plumo-test-%1-%2").arg(getpid()).arg(QLatin1String(what));
}

void RunEventsUntil(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

TEST(SingleInstance, ALaterCopyBringsTheFirstForward) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  // Nobody listens: the copy starts.
  EXPECT_FALSE(SingleInstance(TestName("none")).AskRunningCopy(200));

  int forwards = 0;
  {
    SingleInstance first(TestName("live"));
    ASSERT_TRUE(first.Listen([&forwards] { ++forwards; }));
    SingleInstance second(TestName("live"));
    EXPECT_TRUE(second.AskRunningCopy());
    RunEventsUntil([&] { return forwards == 1; });
    EXPECT_EQ(forwards, 1);
  }
  // The first copy ended: nobody answers any more.
  EXPECT_FALSE(SingleInstance(TestName("live")).AskRunningCopy(200));

  // The name is free again for the next copy.
  SingleInstance next(TestName("live"));
  EXPECT_TRUE(next.Listen([] {}));
  EXPECT_FALSE(SingleInstance(TestName("live")).Listen([] {})) << "two copies cannot listen under one name";
}

}  // namespace
}  // namespace plumo
