// SPDX-License-Identifier: GPL-3.0-or-later
// Two engines on two hosts of a virtual LAN talk over real UDP: hello, a channel line, a private
// message and its confirmation, all through the limited broadcast address and unicast.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "netns_support.h"

namespace plumo {
namespace {

using testing::ChildProcess;
using testing::RunNetnsScript;

constexpr int kWaitMs = 5000;

class PeerE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = "pe" + std::to_string(::getpid() % 1000000);
    std::string why;
    if (RunNetnsScript(prefix_, "check", &why) != 0) {
      GTEST_SKIP() << "SKIPPED: network namespaces cannot be made here: " << why;
    }
    std::string output;
    ASSERT_EQ(RunNetnsScript(prefix_, "up 2", &output), 0) << output;
    up_ = true;
  }

  void TearDown() override {
    alice_.reset();
    bob_.reset();
    if (up_) {
      std::string output;
      EXPECT_EQ(RunNetnsScript(prefix_, "down", &output), 0) << output;
    }
  }

  std::unique_ptr<ChildProcess> StartPeer(int host) {
    const std::string address = "198.18.0." + std::to_string(10 + host);
    auto peer = std::make_unique<ChildProcess>(std::vector<std::string>{
        PLUMO_NETNS_SCRIPT, "exec", std::to_string(host), PLUMO_NET_PEER, "--address", address});
    return peer;
  }

  std::string prefix_;
  bool up_ = false;
  std::unique_ptr<ChildProcess> alice_;
  std::unique_ptr<ChildProcess> bob_;
};

TEST_F(PeerE2eTest, HelloChannelLinePrivateMessageAndConfirmation) {
  ::setenv("PLUMO_NS_PREFIX", prefix_.c_str(), 1);
  alice_ = StartPeer(1);
  bob_ = StartPeer(2);
  ChildProcess& alice = *alice_;
  ChildProcess& bob = *bob_;
  ASSERT_TRUE(alice.WaitForLine("Ready bound=1 port=8177", kWaitMs)) << alice.Transcript();
  ASSERT_TRUE(bob.WaitForLine("Ready bound=1 port=8177", kWaitMs)) << bob.Transcript();

  for (auto [peer, nick] : {std::pair{&alice, "alice"}, std::pair{&bob, "bob"}}) {
    peer->Send(std::string("nick ") + nick);
    peer->Send("channel Main");
    peer->Send("state 1");
    peer->Send("hello");
  }
  // A hello reaches the other host and comes back to its sender.
  EXPECT_TRUE(alice.WaitForLine("OnNewUser bob 198.18.0.12", kWaitMs)) << alice.Transcript();
  EXPECT_TRUE(alice.WaitForLine("OnNewUser alice 198.18.0.11", kWaitMs)) << alice.Transcript();
  EXPECT_TRUE(bob.WaitForLine("OnNewUser alice 198.18.0.11", kWaitMs)) << bob.Transcript();
  EXPECT_TRUE(bob.WaitForLine("OnNewUser bob 198.18.0.12", kWaitMs)) << bob.Transcript();

  alice.Send("line Main good morning, everyone");
  EXPECT_TRUE(bob.WaitForLine("OnChannelLine Main alice good morning, everyone", kWaitMs))
      << bob.Transcript();
  EXPECT_TRUE(alice.WaitForLine("OnChannelLine Main alice good morning, everyone", kWaitMs))
      << alice.Transcript();

  alice.Send("msg bob 198.18.0.12 just for you");
  EXPECT_TRUE(bob.WaitForLine("OnPrivateMessage alice 198.18.0.11 just for you", kWaitMs))
      << bob.Transcript();
  EXPECT_TRUE(alice.WaitForLine("OnConfirm 15 bob 198.18.0.12", kWaitMs)) << alice.Transcript();

  // Once confirmed the message is not resent (the resend timer runs every second), and nothing
  // is raised twice.
  bob.Drain(2500);
  alice.Drain(100);
  EXPECT_EQ(bob.CountLines("OnPrivateMessage alice 198.18.0.11 just for you"), 1) << bob.Transcript();
  EXPECT_EQ(bob.CountLines("OnChannelLine Main alice good morning, everyone"), 1) << bob.Transcript();
  EXPECT_EQ(alice.CountLines("OnConfirm 15 bob 198.18.0.12"), 1) << alice.Transcript();
  EXPECT_EQ(alice.CountLines("OnSendError"), 0) << alice.Transcript();

  alice.Send("quit");
  bob.Send("quit");
  EXPECT_EQ(alice.Finish(kWaitMs), 0) << alice.Transcript();
  EXPECT_EQ(bob.Finish(kWaitMs), 0) << bob.Transcript();
}

TEST_F(PeerE2eTest, SecondPeerOnOneHostIsDeafButItsSendsArrive) {
  ::setenv("PLUMO_NS_PREFIX", prefix_.c_str(), 1);
  alice_ = StartPeer(1);
  ASSERT_TRUE(alice_->WaitForLine("Ready bound=1 port=8177", kWaitMs)) << alice_->Transcript();
  bob_ = StartPeer(1);
  ASSERT_TRUE(bob_->WaitForLine("Ready bound=0 port=8177", kWaitMs)) << bob_->Transcript();

  alice_->Send("nick alice");
  bob_->Send("nick bob");
  bob_->Send("channel Main");
  bob_->Send("state 1");
  bob_->Send("hello");
  EXPECT_TRUE(alice_->WaitForLine("OnNewUser bob 198.18.0.11", kWaitMs)) << alice_->Transcript();
  bob_->Drain(300);
  EXPECT_EQ(bob_->CountLines("OnNewUser bob 198.18.0.11"), 0) << bob_->Transcript();
}

}  // namespace
}  // namespace plumo
