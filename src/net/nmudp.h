// SPDX-License-Identifier: GPL-3.0-or-later
// TNMUDP: the long-lived receiving UDP socket, bound to 0.0.0.0 at LocalPort without address
// reuse, with a receive buffer of kReceiveBufferBytes (as far as the system allows) so that a burst
// waits in the kernel instead of being dropped. The owner watches Fd() for read readiness and calls
// ReceiveDatagram() until it returns false; each call reads one datagram into a 2048-byte buffer and
// raises OnDataReceived (a negative count means the receive failed, for example because the
// datagram was longer than the buffer).
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace plumo {

class UDPSockError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TNMUDP {
 public:
  static constexpr int kBufferSize = 2048;
  // Asked for at bind time: about 4,000 full-size or 8,000 short datagrams (the kernel counts its own
  // overhead per datagram), a quarter of a second of a 30,000-datagram-per-second flood.
  static constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
  // Throws UDPSockError when no socket can be created.
  TNMUDP();
  ~TNMUDP();
  TNMUDP(const TNMUDP&) = delete;
  TNMUDP& operator=(const TNMUDP&) = delete;

  // Not used by the engine; stored only.
  std::string RemoteHost;
  int RemotePort = 0;
  int ReportLevel = 1;

  std::function<void(TNMUDP& sender, int numberBytes, const std::string& fromIP, int port)> OnDataReceived;
  std::function<void(TNMUDP& sender, const std::string& status)> OnStatus;

  // Closes the socket, creates a new one and binds it to the port.
  void SetLocalPort(int port);
  int LocalPort() const { return localPort_; }
  // Whether the last bind succeeded; a second binder of a port stays deaf and can tell from this.
  bool Bound() const { return bound_; }
  int Fd() const { return fd_; }
  // Reads one datagram and raises OnDataReceived; false (and no event) when none was waiting.
  bool ReceiveDatagram();
  // The receive buffer the kernel granted, in bytes (0 without a socket).
  int ReceiveBufferBytes() const;
  // Copies the bytes of the last receive; returns their count (0 after a failed receive).
  int CopyReceived(char* buffer, int capacity) const;
  const char* Received() const { return buffer_; }
  int ReceivedCount() const { return count_; }
  const std::string& LastStatus() const { return lastStatus_; }
  int LastError() const { return lastError_; }

 private:
  void ReportStatus(int level, const std::string& text);
  void Open();
  void Close();

  int fd_ = -1;
  int localPort_ = 0;
  bool bound_ = false;
  char buffer_[kBufferSize] = {};
  int count_ = 0;
  int lastError_ = 0;
  std::string lastStatus_;
};

// Resolves an address text to an IPv4 address in network byte order: a dotted address, then a
// host-name lookup, else the all-ones address (so the datagram leaves as a limited broadcast).
unsigned ResolveAddress(const std::string& text);

// Sends one datagram from a short-lived socket with SO_BROADCAST to address:port. False on failure.
bool SendUdp(const std::string& address, int port, const std::string& data);

}  // namespace plumo
