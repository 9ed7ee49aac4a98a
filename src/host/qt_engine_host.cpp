// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/qt_engine_host.h"

#include <QSocketNotifier>
#include <QTimer>

#include "core/surfaces.h"
#include "net/codec.h"
#include "net/nmudp.h"
#include "net/plumo.h"

namespace plumo {

QtEngineHost::QtEngineHost(QObject* parent)
    : QObject(parent),
      port_(kDefaultPort),
      resendTimer_(new QTimer(this)),
      presenceTimer_(new QTimer(this)),
      pingTimer_(new QTimer(this)),
      random_(std::random_device{}()) {
  resendTimer_->setSingleShot(false);
  presenceTimer_->setSingleShot(false);
  pingTimer_->setSingleShot(false);
  connect(resendTimer_, &QTimer::timeout, this, [this] {
    if (engine_ != nullptr) engine_->ResendTick();
  });
  connect(presenceTimer_, &QTimer::timeout, this, [this] {
    if (engine_ != nullptr) engine_->PresenceTick();
  });
  connect(pingTimer_, &QTimer::timeout, this, [this] {
    if (engine_ != nullptr) engine_->PingTick();
  });
}

QtEngineHost::~QtEngineHost() {
  engine_ = nullptr;
  CloseReceiver();
}

void QtEngineHost::Attach(TPlumo& engine) {
  engine_ = &engine;
}

void QtEngineHost::Detach() {
  engine_ = nullptr;
}

bool QtEngineHost::SendDatagram(const std::string& address, const std::string& data) {
  return SendUdp(address, port_, data);
}

std::int64_t QtEngineHost::NowMs() {
  return LocalClockMs();
}

QTimer* QtEngineHost::TimerOf(EngineTimer timer) const {
  switch (timer) {
    case EngineTimer::Resend:
      return resendTimer_;
    case EngineTimer::Presence:
      return presenceTimer_;
    case EngineTimer::Ping:
      break;
  }
  return pingTimer_;
}

void QtEngineHost::SetTimer(EngineTimer timer, bool enabled, int intervalMs) {
  QTimer* t = TimerOf(timer);
  if (!enabled) {
    t->stop();
    return;
  }
  t->setInterval(intervalMs);
  t->start();  // restarts the countdown when already running
}

bool QtEngineHost::TimerActive(EngineTimer timer) const {
  return TimerOf(timer)->isActive();
}

int QtEngineHost::TimerRemainingMs(EngineTimer timer) const {
  return TimerOf(timer)->remainingTime();
}

std::uint32_t QtEngineHost::Random(std::uint32_t n) {
  if (n == 0) return 0;
  return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random_);
}

void QtEngineHost::CloseReceiver() {
  if (notifier_ != nullptr) {
    // This may run from inside the notifier's own signal (the engine switches its receiving side
    // while handling a datagram), so the notifier is only disabled here and deleted later.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
  }
  receiver_.reset();
}

bool QtEngineHost::SetReceiving(bool on, int port) {
  port_ = port;
  CloseReceiver();
  receiveError_.clear();
  if (!on) return false;
  try {
    auto receiver = std::make_unique<TNMUDP>();
    receiver->SetLocalPort(port);
    receiver_ = std::move(receiver);
  } catch (const UDPSockError& e) {
    receiveError_ = e.what();
    return false;
  }
  if (!receiver_->Bound()) {
    receiveError_ = "port " + std::to_string(port) + " is in use";
    return false;
  }
  notifier_ = new QSocketNotifier(receiver_->Fd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QtEngineHost::OnReadable);
  return true;
}

bool QtEngineHost::Receiving() const {
  return receiver_ != nullptr && receiver_->Bound();
}

// Takes every datagram that is waiting, up to kMaxDatagramsPerTurn, so that a burst is drained from
// the socket buffer at once instead of one datagram per turn of the event loop (the rest of a burst
// then waits in the buffer, and overflows it); the bound lets timers and other sockets run between
// turns of a flood.
void QtEngineHost::OnReadable() {
  for (int turn = 0; turn < kMaxDatagramsPerTurn; ++turn) {
    TNMUDP* receiver = receiver_.get();
    if (receiver == nullptr) return;
    // The datagram is copied out before the engine sees it: the engine may close or re-open the
    // receiving socket while it handles the datagram.
    bool got = false;
    long count = -1;
    std::string fromIP;
    int fromPort = 0;
    receiver->OnDataReceived = [&](TNMUDP&, int numberBytes, const std::string& ip, int sourcePort) {
      got = true;
      count = numberBytes;
      fromIP = ip;
      fromPort = sourcePort;
    };
    const bool read = receiver->ReceiveDatagram();
    receiver->OnDataReceived = nullptr;
    if (!read) return;  // nothing more is waiting
    if (!got || engine_ == nullptr) continue;
    if (count > 0) {
      receiver->CopyReceived(reinterpret_cast<char*>(received_.data()), static_cast<int>(received_.size()));
    }
    engine_->DataReceived(received_.data(), count, fromIP, fromPort);
    if (receiver_.get() != receiver) return;  // the engine switched its receiving side
  }
}

}  // namespace plumo
