// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/screensaver_watch.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <vector>

namespace plumo {
namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "screensaver_watch_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

int g_messages = 0;

TEST(ScreenSaverWatchTest, WithoutABusItIsQuietAndNotConnected) {
  App();
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/plumo-test-bus");
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) { ++g_messages; });
  {
    const ScreenSaverWatch session;
    EXPECT_FALSE(session.IsConnected());
    const ScreenSaverWatch unreachable(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/other"), QStringLiteral("none")));
    EXPECT_FALSE(unreachable.IsConnected());
  }
  qInstallMessageHandler(previous);
  EXPECT_EQ(g_messages, 0);
}

// A private message bus for the tests below, stopped with the fixture.
class ScreenSaverBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
      GTEST_SKIP() << "dbus-daemon is not installed";
    }
    daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                  QStringLiteral("--print-address")});
    while (daemon_.waitForStarted(5000) && !daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
    }
    const QString address = QString::fromUtf8(daemon_.readLine().trimmed());
    if (address.isEmpty()) GTEST_SKIP() << "dbus-daemon did not start";
    listener_ = QDBusConnection::connectToBus(address, QStringLiteral("listener"));
    sender_ = QDBusConnection::connectToBus(address, QStringLiteral("sender"));
    ASSERT_TRUE(listener_.isConnected() && sender_.isConnected());
  }
  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
    QDBusConnection::disconnectFromBus(QStringLiteral("sender"));
    daemon_.terminate();
    daemon_.waitForFinished(5000);
  }

  QProcess daemon_;
  QDBusConnection listener_{QString()};
  QDBusConnection sender_{QString()};
};

struct Announcement {
  const char* path;
  const char* interface;
  bool active;
};

TEST_F(ScreenSaverBusTest, ReportsEachStartOnce) {
  const char* kFree = "org.freedesktop.ScreenSaver";
  struct Row {
    const char* what;
    std::vector<Announcement> signals_sent;
    int starts;
  };
  const Row rows[] = {
      {"long path", {{"/org/freedesktop/ScreenSaver", kFree, true}}, 1},
      {"short path", {{"/ScreenSaver", kFree, true}}, 1},
      {"own interface", {{"/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", true}}, 1},
      {"both paths", {{"/ScreenSaver", kFree, true}, {"/org/freedesktop/ScreenSaver", kFree, true}}, 1},
      {"stop and start",
       {{"/ScreenSaver", kFree, true}, {"/ScreenSaver", kFree, false}, {"/ScreenSaver", kFree, true}},
       2},
      {"stop only", {{"/ScreenSaver", kFree, false}}, 0},
      {"other interface", {{"/ScreenSaver", "org.example.Other", true}}, 0},
  };
  const QString mark = QStringLiteral("/mark"), test = QStringLiteral("plumo.test"),
                done = QStringLiteral("Done");
  for (const Row& row : rows) {
    ScreenSaverWatch watch(listener_);
    ASSERT_TRUE(watch.IsConnected());
    int starts = 0;
    QObject::connect(&watch, &ScreenSaverWatch::Activated, [&starts] { ++starts; });
    // The bus takes one sender's messages in order: when the mark arrives, so have the signals
    // before it. A call answered by the bus makes sure it has taken the subscriptions first.
    QEventLoop loop;
    listener_.connect(QString(), mark, test, done, &loop, SLOT(quit()));
    ASSERT_TRUE(listener_.interface()->registeredServiceNames().isValid());
    for (const Announcement& a : row.signals_sent) {
      QDBusMessage message = QDBusMessage::createSignal(
          QString::fromLatin1(a.path), QString::fromLatin1(a.interface), QStringLiteral("ActiveChanged"));
      message << a.active;
      ASSERT_TRUE(sender_.send(message));
    }
    ASSERT_TRUE(sender_.send(QDBusMessage::createSignal(mark, test, done)));
    QTimer::singleShot(10000, &loop, [&loop] { loop.exit(1); });
    const bool marked = loop.exec() == 0;
    listener_.disconnect(QString(), mark, test, done, &loop, SLOT(quit()));
    ASSERT_TRUE(marked) << row.what;
    EXPECT_EQ(starts, row.starts) << row.what;
  }
}

}  // namespace
}  // namespace plumo
