// One window per user: a later copy reaches the running one, which comes forward; with nobody
// listening (or only the socket file of a copy that died) the later copy starts itself.
#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
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

TEST(SingleInstance, ALaterCopyBringsTheFirstForwardAndADeadOneIsReplaced) {
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

  // A copy that died left its socket file (bound, never answering); the next one takes it over.
  {
    const std::string path = (QDir::tempPath() + QLatin1Char('/') + TestName("dead")).toStdString();
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    EXPECT_FALSE(SingleInstance(TestName("dead")).AskRunningCopy(200));
    SingleInstance next(TestName("dead"));
    EXPECT_TRUE(next.Listen([] {}));
    EXPECT_TRUE(SingleInstance(TestName("dead")).AskRunningCopy());
  }
}

}  // namespace
}  // namespace plumo
