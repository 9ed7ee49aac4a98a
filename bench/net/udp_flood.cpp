// SPDX-License-Identifier: GPL-3.0-or-later
// The two ends of the flood benchmark (bench/net/flood_netns.sh), meant to run inside network
// namespaces only.
//
//   bench_udp_flood send ADDRESS RATE SECONDS   channel lines from "flood" to ADDRESS:8177, paced to
//                                               RATE per second; prints how many left
//   bench_udp_flood bare                        a bare receive loop on port 8177 with the peer's
//                                               receive buffer; stops 1 s after the last datagram and
//                                               prints the datagrams and the CPU seconds they took
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/codec.h"
#include "net/nmudp.h"

using namespace plumo;

namespace {

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Send(const char* address, long rate, double seconds) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kDefaultPort);
  ::inet_aton(address, &to.sin_addr);
  SeqCounters counters;
  const long total = static_cast<long>(static_cast<double>(rate) * seconds);
  const auto start = std::chrono::steady_clock::now();
  long sent = 0;
  for (long n = 0; n < total; ++n) {
    // Paced: datagram n leaves at n / rate seconds.
    const auto due = start + std::chrono::nanoseconds(n * 1'000'000'000 / rate);
    while (std::chrono::steady_clock::now() < due) {
    }
    const std::string data =
        MakeHeader(counters, pkChannelLine) + JoinFields({"flood", "Main", "line " + std::to_string(n)});
    if (::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0) ++sent;
  }
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("sent %ld in %.2f s (%.0f per second)\n", sent, took, static_cast<double>(sent) / took);
  ::close(fd);
  return 0;
}

int Bare() {
  TNMUDP socket;
  socket.SetLocalPort(kDefaultPort);
  if (!socket.Bound()) {
    std::fprintf(stderr, "port %d is taken\n", kDefaultPort);
    return 1;
  }
  long count = 0;
  double cpuAtFirst = 0;
  socket.OnDataReceived = [&](TNMUDP&, int bytes, const std::string&, int) { count += bytes > 0; };
  pollfd p{socket.Fd(), POLLIN, 0};
  std::printf("ready, buffer %d bytes\n", socket.ReceiveBufferBytes());
  std::fflush(stdout);
  while (true) {
    const int ready = ::poll(&p, 1, count == 0 ? 60'000 : 1000);
    if (ready <= 0) break;
    if (count == 0) cpuAtFirst = CpuSeconds();
    while (socket.ReceiveDatagram()) {
    }
  }
  const double cpu = CpuSeconds() - cpuAtFirst;
  std::printf("received %ld, cpu %.3f s, %.2f us per datagram\n", count, cpu,
              count ? cpu * 1e6 / static_cast<double>(count) : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "send" && argc == 5) return Send(argv[2], std::atol(argv[3]), std::atof(argv[4]));
  if (mode == "bare") return Bare();
  std::fprintf(stderr, "usage: bench_udp_flood send ADDRESS RATE SECONDS | bare\n");
  return 2;
}
