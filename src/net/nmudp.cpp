// SPDX-License-Identifier: GPL-3.0-or-later
// POSIX implementation of the receiving UDP socket and the one-shot send path.
#include "net/nmudp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace plumo {

namespace {

// Reports level texts only when the caller asked for that much detail.
constexpr int kLevelDetail = 8;
constexpr int kLevelTrace = 16;

std::string ErrorText(int number) {
  return "Unknown Error No. " + std::to_string(number);
}

int NewUdpSocket() {
  return ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

}  // namespace

TNMUDP::TNMUDP() {
  ReportStatus(kLevelDetail, "Initializing socket");
  Open();
}

TNMUDP::~TNMUDP() {
  Close();
}

void TNMUDP::ReportStatus(int level, const std::string& text) {
  if (level > ReportLevel) return;
  lastStatus_ = text;
  if (OnStatus) OnStatus(*this, text);
}

void TNMUDP::Open() {
  fd_ = NewUdpSocket();
  if (fd_ < 0) {
    lastError_ = errno;
    ReportStatus(kLevelTrace, "Checking Error In Error Manager");
    const std::string text = ErrorText(lastError_);
    ReportStatus(kLevelDetail, "Looking Up Error Message" + text);
    throw UDPSockError(text);
  }
}

void TNMUDP::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  bound_ = false;
}

void TNMUDP::SetLocalPort(int port) {
  Close();
  Open();
  localPort_ = port;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  // A privileged process may go past the system's limit (SO_RCVBUFFORCE); others get up to it.
  const int want = kReceiveBufferBytes;
  if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) != 0) {
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
  }
  // No address reuse: when another socket holds the port this bind fails and the socket stays deaf.
  bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
  if (!bound_) lastError_ = errno;
}

int TNMUDP::ReceiveBufferBytes() const {
  int size = 0;
  socklen_t length = sizeof size;
  if (fd_ < 0 || ::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, &length) != 0) return 0;
  return size;
}

bool TNMUDP::ReceiveDatagram() {
  if (fd_ < 0) return false;
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  // MSG_TRUNC makes the kernel report the datagram's real length, so a datagram longer than the
  // buffer is recognised (and dropped whole) instead of being handed on cut short.
  const ssize_t n =
      ::recvfrom(fd_, buffer_, kBufferSize, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    return false;  // nothing (more) was waiting
  }
  if (n < 0 || n > kBufferSize) {
    if (n < 0) lastError_ = errno;
    count_ = -1;
  } else {
    count_ = static_cast<int>(n);
  }
  if (!OnDataReceived) return true;
  char text[INET_ADDRSTRLEN] = "0.0.0.0";
  int port = 0;
  if (n >= 0 && from.sin_family == AF_INET) {
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    port = ntohs(from.sin_port);
  }
  OnDataReceived(*this, count_, text, port);
  return true;
}

int TNMUDP::CopyReceived(char* buffer, int capacity) const {
  if (count_ <= 0 || buffer == nullptr) return 0;
  const int n = count_ < capacity ? count_ : capacity;
  if (n <= 0) return 0;
  std::memcpy(buffer, buffer_, static_cast<std::size_t>(n));
  return n;
}

unsigned ResolveAddress(const std::string& text) {
  in_addr dotted{};
  if (::inet_aton(text.c_str(), &dotted) != 0) return dotted.s_addr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  unsigned result = htonl(INADDR_BROADCAST);
  if (!text.empty() && ::getaddrinfo(text.c_str(), nullptr, &hints, &found) == 0) {
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
        result = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
        break;
      }
    }
  }
  if (found != nullptr) ::freeaddrinfo(found);
  return result;
}

bool SendUdp(const std::string& address, int port, const std::string& data) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return false;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = address == "255.255.255.255" ? htonl(INADDR_BROADCAST) : ResolveAddress(address);
  const ssize_t sent =
      ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  ::close(fd);
  return sent >= 0 && static_cast<std::size_t>(sent) == data.size();
}

}  // namespace plumo
