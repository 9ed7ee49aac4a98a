// SPDX-License-Identifier: GPL-3.0-or-later
// QtEngineHost: runs one protocol engine on the calling thread's Qt event loop. It owns the
// receiving UDP socket (watched by a QSocketNotifier), the engine's three repeating timers, the clock
// and the random source, and sends every datagram from a short-lived socket. Create the host, then
// the engine with the host (the engine opens its receiving side from its constructor), then Attach.
// Detach, or destroy the host, before the engine goes away.
#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "net/host.h"
#include "net/nmudp.h"

class QSocketNotifier;
class QTimer;

namespace plumo {

class TPlumo;

class QtEngineHost : public QObject, public PlumoHost {
  Q_OBJECT

 public:
  // Datagrams taken from the socket per readiness event at most.
  static constexpr int kMaxDatagramsPerTurn = 256;

  explicit QtEngineHost(QObject* parent = nullptr);
  ~QtEngineHost() override;

  // From now on received datagrams and timer expiries go to engine; before this they are dropped.
  void Attach(TPlumo& engine);
  void Detach();

  bool SendDatagram(const std::string& address, const std::string& data) override;
  std::int64_t NowMs() override;
  void SetTimer(EngineTimer timer, bool enabled, int intervalMs) override;
  std::uint32_t Random(std::uint32_t n) override;
  // Never throws: when no socket can be made the receiving side stays closed, false is returned
  // and ReceiveError() tells why.
  bool SetReceiving(bool on, int port) override;

  // The port datagrams are sent to (the one last given to SetReceiving).
  int Port() const { return port_; }
  bool Receiving() const;
  bool TimerActive(EngineTimer timer) const;
  // Milliseconds until the timer next fires, -1 while it is off.
  int TimerRemainingMs(EngineTimer timer) const;
  const std::string& ReceiveError() const { return receiveError_; }

 private:
  void OnReadable();
  void CloseReceiver();
  QTimer* TimerOf(EngineTimer timer) const;

  TPlumo* engine_ = nullptr;
  int port_;
  std::unique_ptr<TNMUDP> receiver_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer* resendTimer_;
  QTimer* presenceTimer_;
  QTimer* pingTimer_;
  std::mt19937 random_;
  std::string receiveError_;
  std::array<std::uint8_t, TNMUDP::kBufferSize> received_{};
};

}  // namespace plumo
