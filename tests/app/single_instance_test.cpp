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

void RunEventsUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
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

// Both ends check the other's user from the kernel. Tests cannot switch user without root, so a
// copy is told to trust another user id, which the test process (the other end) does not have.
TEST(SingleInstance, OnlyCopiesOfTheSameUserAreBelievedAndObeyed) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  const uid_t us = SingleInstance::CurrentUser();
  const uid_t other = us + 1;

  struct Case {
    const char* what;
    uid_t listenerTrusts;
    uid_t askerTrusts;
    bool believed;  // the later copy ends, thinking the first came forward
    int forwards;   // the first copy came forward
  };
  const Case cases[] = {
      {"same user", us, us, true, 1},
      // The first copy is another user's to the caller: a request from a stranger is not obeyed.
      {"caller of another user", other, us, true, 0},
      // A listener of another user holds the name: the later copy starts rather than end.
      {"listener of another user", us, other, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int forwards = 0;
    SingleInstance first(TestName(c.what), c.listenerTrusts);
    ASSERT_TRUE(first.Listen([&forwards] { ++forwards; }));
    SingleInstance second(TestName(c.what), c.askerTrusts);
    EXPECT_EQ(second.AskRunningCopy(), c.believed);
    // Time for a request to arrive, were it sent or obeyed.
    RunEventsUntil([&] { return forwards != 0; }, c.forwards == 0 ? 500 : 3000);
    EXPECT_EQ(forwards, c.forwards);
  }
}

}  // namespace
}  // namespace plumo
