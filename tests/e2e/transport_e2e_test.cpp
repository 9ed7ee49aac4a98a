// SPDX-License-Identifier: GPL-3.0-or-later
// The receiving socket and the send path on real sockets, inside a private network namespace.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <string>
#include <vector>

#include "net/nmudp.h"
#include "netns_support.h"

namespace plumo {
namespace {

constexpr int kPort = 8177;

class TransportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { skipReason_ = testing::EnterPrivateNetwork(); }
  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << "SKIPPED (no private network namespace): " << skipReason_;
  }

  struct Received {
    int count = -2;
    std::string fromIP;
    int port = 0;
    std::string bytes;
  };

  // Waits for the socket to become readable and takes one datagram through ReceiveDatagram.
  static Received ReceiveOne(TNMUDP& socket, int timeoutMs = 2000) {
    Received r;
    pollfd p{socket.Fd(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return r;
    socket.OnDataReceived = [&r](TNMUDP& sender, int count, const std::string& ip, int port) {
      r.count = count;
      r.fromIP = ip;
      r.port = port;
      char copy[TNMUDP::kBufferSize];
      r.bytes.assign(copy, static_cast<std::size_t>(sender.CopyReceived(copy, sizeof copy)));
    };
    socket.ReceiveDatagram();
    socket.OnDataReceived = nullptr;
    return r;
  }

  static bool Readable(const TNMUDP& socket, int timeoutMs) {
    pollfd p{socket.Fd(), POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
  }

  // Sends data from a socket bound to sourcePort, so that the reported source port is known.
  static void SendFrom(int sourcePort, const std::string& data) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(sourcePort));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(data.size()));
    ::close(fd);
  }

  static std::string skipReason_;
};

std::string TransportTest::skipReason_;

TEST_F(TransportTest, DatagramOfBufferSizeArrivesWholeAndLongerOneIsAFailedReceive) {
  TNMUDP socket;
  socket.SetLocalPort(kPort);
  ASSERT_TRUE(socket.Bound());

  std::string full(TNMUDP::kBufferSize, '\0');
  for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<char>(i * 7 + 1);
  ASSERT_TRUE(SendUdp("127.0.0.1", kPort, full));
  Received r = ReceiveOne(socket);
  EXPECT_EQ(r.count, TNMUDP::kBufferSize);
  EXPECT_EQ(r.bytes, full);

  ASSERT_TRUE(SendUdp("127.0.0.1", kPort, full + "x"));
  r = ReceiveOne(socket);
  EXPECT_EQ(r.count, -1);
  EXPECT_TRUE(r.bytes.empty());
  EXPECT_EQ(socket.ReceivedCount(), -1);

  // The failed receive consumed the long datagram and nothing of it is left over.
  ASSERT_TRUE(SendUdp("127.0.0.1", kPort, "next"));
  r = ReceiveOne(socket);
  EXPECT_EQ(r.count, 4);
  EXPECT_EQ(r.bytes, "next");
  EXPECT_FALSE(Readable(socket, 50));
}

TEST_F(TransportTest, ReportsSourceAsDottedDecimalAndPortInHostOrder) {
  TNMUDP socket;
  socket.SetLocalPort(kPort);
  ASSERT_TRUE(socket.Bound());
  SendFrom(40001, "abc");
  const Received r = ReceiveOne(socket);
  EXPECT_EQ(r.count, 3);
  EXPECT_EQ(r.fromIP, "127.0.0.1");
  EXPECT_EQ(r.port, 40001);
}

TEST_F(TransportTest, EmptyDatagramIsAReceiveOfZeroBytes) {
  TNMUDP socket;
  socket.SetLocalPort(kPort);
  SendFrom(40002, "");
  const Received r = ReceiveOne(socket);
  EXPECT_EQ(r.count, 0);
  EXPECT_TRUE(r.bytes.empty());
}

TEST_F(TransportTest, SpuriousReadinessNeitherBlocksNorRaisesAnEvent) {
  TNMUDP socket;
  socket.SetLocalPort(kPort);
  bool raised = false;
  socket.OnDataReceived = [&raised](TNMUDP&, int, const std::string&, int) { raised = true; };
  socket.ReceiveDatagram();  // nothing is waiting: must return at once
  EXPECT_FALSE(raised);
}

TEST_F(TransportTest, SecondBinderIsDeafButCanSend) {
  TNMUDP first;
  first.SetLocalPort(kPort);
  TNMUDP second;
  second.SetLocalPort(kPort);
  EXPECT_TRUE(first.Bound());
  EXPECT_FALSE(second.Bound());
  EXPECT_EQ(second.LocalPort(), kPort);

  EXPECT_TRUE(SendUdp("127.0.0.1", kPort, "from the second program"));
  EXPECT_FALSE(Readable(second, 100));
  const Received r = ReceiveOne(first);
  EXPECT_EQ(r.bytes, "from the second program");

  // Re-binding after the first one let go of the port works.
  first.SetLocalPort(kPort + 1);
  second.SetLocalPort(kPort);
  EXPECT_TRUE(second.Bound());
}

TEST_F(TransportTest, ResolveAddressTakesDottedTextThenHostNamesElseAllOnes) {
  EXPECT_EQ(ResolveAddress("10.0.0.5"), htonl(0x0A000005));
  EXPECT_EQ(ResolveAddress("192.168.0.7"), htonl(0xC0A80007));
  EXPECT_EQ(ResolveAddress("localhost"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ResolveAddress("no-such-host.invalid"), 0xFFFFFFFFu);
  EXPECT_EQ(ResolveAddress(""), 0xFFFFFFFFu);
  EXPECT_EQ(ResolveAddress("255.255.255.255"), 0xFFFFFFFFu);
}

TEST_F(TransportTest, SendFailureIsReported) {
  // No route leaves a namespace that only has lo, and a datagram larger than UDP allows never leaves.
  EXPECT_FALSE(SendUdp("198.18.0.99", kPort, "x"));
  EXPECT_FALSE(SendUdp("127.0.0.1", kPort, std::string(70000, 'x')));
}

TEST_F(TransportTest, SocketThatCannotBeCreatedRaisesUDPSockErrorWithTheErrorNumber) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  // Use up the descriptors allowed, so that the next socket fails with EMFILE.
  rlimit tight = saved;
  tight.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  std::vector<int> filler;
  for (int fd; (fd = ::socket(AF_INET, SOCK_DGRAM, 0)) >= 0;) filler.push_back(fd);
  // The exception is looked at only after the descriptors are back: the sanitizers need some.
  std::exception_ptr error;
  try {
    TNMUDP socket;
  } catch (...) {
    error = std::current_exception();
  }
  const bool sent = SendUdp("127.0.0.1", kPort, "x");
  for (int fd : filler) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  std::string message;
  try {
    if (error) std::rethrow_exception(error);
  } catch (const UDPSockError& e) {
    message = e.what();
  }
  EXPECT_EQ(message, "Unknown Error No. " + std::to_string(EMFILE));
  EXPECT_FALSE(sent);
}

}  // namespace
}  // namespace plumo
