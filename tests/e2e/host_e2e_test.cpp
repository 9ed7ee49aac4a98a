// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt host delivering real datagrams to a real engine, inside a private network namespace.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "host/qt_engine_host.h"
#include "net/codec.h"
#include "net/nmudp.h"
#include "net/plumo.h"
#include "netns_support.h"
#include "support/recorder.h"

namespace plumo {
namespace {

constexpr int kPort = 8177;

class HostE2eTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skipReason_ = testing::EnterPrivateNetwork(); }
  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << "SKIPPED (no private network namespace): " << skipReason_;
    static int argc = 1;
    static char name[] = "host_e2e_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
  }

  // A channel line from "carol" whose datagram is exactly size bytes long.
  std::string ChannelLine(std::size_t size) {
    std::string datagram = MakeHeader(counters_, pkChannelLine) + JoinFields({"carol", "Main"});
    const std::size_t textLength = size - datagram.size() - 1;
    datagram += JoinFields({std::string(textLength, 't')});
    return datagram;
  }

  static bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return done();
  }

  static std::string skipReason_;
  SeqCounters counters_;
};

std::string HostE2eTest::skipReason_;

TEST_F(HostE2eTest, DeliversFullSizeDatagramsAndDropsLongerOnes) {
  QtEngineHost host;
  TPlumo engine(host, kPort);
  host.Attach(engine);
  ASSERT_TRUE(engine.Receiving()) << host.ReceiveError();
  std::vector<std::size_t> lengths;
  std::vector<std::string> senders;
  sim::EventRecorder recorder(engine);
  recorder.then = [&](const sim::EngineEvent& e) {
    if (e.kind != sim::Ev::ChannelLine) return;
    lengths.push_back(e.text.size());
    senders.push_back(e.nick);
  };

  ASSERT_TRUE(SendUdp("127.0.0.1", kPort, ChannelLine(TNMUDP::kBufferSize + 1)));
  ASSERT_TRUE(SendUdp("127.0.0.1", kPort, ChannelLine(TNMUDP::kBufferSize)));
  ASSERT_TRUE(PumpUntil([&] { return !lengths.empty(); }));
  PumpUntil([] { return false; }, 100);
  ASSERT_EQ(lengths.size(), 1u);
  EXPECT_EQ(lengths[0], TNMUDP::kBufferSize - 5 - 6 - 5 - 1);  // header, "carol\0", "Main\0", final zero
  EXPECT_EQ(senders[0], "carol");
  EXPECT_EQ(engine.Users().Find("carol", "127.0.0.1"), 0);
}

// A burst sent while the program is busy waits whole in the socket buffer, and one readiness event
// takes up to kMaxDatagramsPerTurn of it.
TEST_F(HostE2eTest, ABurstWaitsWholeAndIsTakenManyPerReadiness) {
  QtEngineHost host;
  TPlumo engine(host, kPort);
  host.Attach(engine);
  ASSERT_TRUE(engine.Receiving()) << host.ReceiveError();
  sim::EventRecorder recorder(engine, {.answerGaps = false});
  std::size_t lines = 0;
  recorder.then = [&](const sim::EngineEvent& e) { lines += e.kind == sim::Ev::ChannelLine; };
  const std::size_t burst = 3000;
  for (std::size_t n = 0; n < burst; ++n) ASSERT_TRUE(SendUdp("127.0.0.1", kPort, ChannelLine(200)));
  QCoreApplication::processEvents();
  const std::size_t firstTurn = lines;
  PumpUntil([&] { return lines == burst; });
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(lines, burst);  // nothing lost in the socket buffer
  EXPECT_GE(firstTurn, static_cast<std::size_t>(QtEngineHost::kMaxDatagramsPerTurn) / 2);
}

TEST_F(HostE2eTest, EngineMayReopenItsSocketWhileHandlingADatagram) {
  QtEngineHost host;
  TPlumo engine(host, kPort);
  host.Attach(engine);
  int lines = 0;
  sim::EventRecorder recorder(engine);
  recorder.then = [&](const sim::EngineEvent& e) {
    if (e.kind != sim::Ev::ChannelLine) return;
    ++lines;
    engine.SetActive(false);
    engine.SetActive(true);
  };
  for (int expected = 1; expected <= 3; ++expected) {
    ASSERT_TRUE(SendUdp("127.0.0.1", kPort, ChannelLine(40)));
    ASSERT_TRUE(PumpUntil([&] { return lines == expected; })) << "datagram " << expected;
  }
  EXPECT_TRUE(engine.Receiving());
}

TEST_F(HostE2eTest, SecondEngineOnThePortIsDeafAndSaysWhy) {
  QtEngineHost firstHost;
  TPlumo first(firstHost, kPort);
  QtEngineHost secondHost;
  TPlumo second(secondHost, kPort);
  EXPECT_TRUE(first.Receiving());
  EXPECT_FALSE(second.Receiving());
  EXPECT_FALSE(secondHost.Receiving());
  EXPECT_NE(secondHost.ReceiveError().find("8177"), std::string::npos) << secondHost.ReceiveError();

  // Switching the first one off frees the port for the second.
  first.SetActive(false);
  second.SetActive(true);
  EXPECT_TRUE(second.Receiving());
}

}  // namespace
}  // namespace plumo
