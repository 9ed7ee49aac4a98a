// SPDX-License-Identifier: GPL-3.0-or-later
// Idle LANs of many engines on the simulated LAN: every engine starts, announces itself and then
// stays quiet, as most peers do most of the time. Reported per engine and minute of virtual time:
// datagrams sent and received (by packet type), the roster size each engine reaches, and how many
// roster lists left or were refused for not fitting one datagram.
//
//   bench_scale_sim ENGINES [MINUTES]      (default 60 minutes)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/datagrams.h"
#include "support/simlan.h"

using namespace plumo;

namespace {

std::string Address(int n) {
  return "10.0." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
}

const char* TypeName(std::uint16_t type) {
  switch (type) {
    case pkHello:
      return "hello";
    case pkConfirm:
      return "confirm";
    case pkRosterList:
      return "roster";
    case pkPing:
      return "ping";
    case pkPong:
      return "pong";
    case pkStateChange:
      return "state";
    case pkNickChange:
      return "nick";
    default:
      return "other";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_scale_sim ENGINES [MINUTES]\n");
    return 2;
  }
  const int engines = std::atoi(argv[1]);
  const int minutes = argc > 2 ? std::atoi(argv[2]) : 60;
  sim::SimLan lan(2024);
  lan.statelessPerfectLinks = true;
  std::vector<TPlumo*> all;
  // Start-ups spread over the first ten seconds, as people arrive. Every peer confirms every hello
  // with a broadcast, so each arrival costs as many confirmations as there are peers, each received
  // by every peer: the start-up of the whole LAN is cubic in its size. Those confirmations are
  // counted and dropped, so that the run measures the quiet LAN that follows.
  std::uint64_t helloConfirms = 0;
  lan.dropSend = [&](const std::string&, const std::string&, const std::string& data) {
    const bool helloConfirm =
        sim::TypeOf(data) == pkConfirm && data.size() > 6 &&
        static_cast<std::uint8_t>(data[5]) * 256 + static_cast<std::uint8_t>(data[6]) == pkHello;
    helloConfirms += helloConfirm ? static_cast<std::uint64_t>(engines) : 0;
    return helloConfirm;
  };
  // Each engine is built when its peer arrives, so that the timers of the engines run out of step,
  // as on a real LAN (engines built at one instant would tick together, ping together and skew the
  // figures).
  for (int n = 0; n < engines; ++n) {
    lan.RunFor(std::max(1, 10'000 / engines));
    all.push_back(&lan.AddEngine(Address(n)));
    sim::StartUp(*all.back(), "peer" + std::to_string(n));
  }
  lan.RunFor(1000);
  lan.dropSend = nullptr;
  std::printf("start-up: %llu receptions of hello confirmations left out (%.1f per peer)\n",
              static_cast<unsigned long long>(helloConfirms), static_cast<double>(helloConfirms) / engines);
  std::map<std::string, std::uint64_t> received;
  lan.onDeliver = [&](const sim::SimDatagram& d) { ++received[d.to]; };

  std::printf("engines %d, minutes %d\n", engines, minutes);
  std::printf("%6s %10s %10s %8s %8s %8s  %s\n", "minute", "sent/peer", "recv/peer", "roster", "minRost",
              "lists", "sent by type (all engines)");
  std::uint64_t totalSent = 0, totalReceived = 0, listsSent = 0;
  for (int minute = 1; minute <= minutes; ++minute) {
    for (const auto& h : lan.Hosts()) h->ClearSent();
    received.clear();
    lan.RunFor(60'000);
    std::uint64_t sent = 0, lists = 0;
    std::map<std::string, std::uint64_t> byType;
    for (const auto& h : lan.Hosts()) {
      sent += h->Sent().size();
      for (const auto& s : h->Sent()) {
        ++byType[TypeName(sim::TypeOf(s.data))];
        lists += sim::TypeOf(s.data) == pkRosterList;
      }
    }
    std::uint64_t recv = 0;
    for (const auto& [to, n] : received) recv += n;
    int maxRoster = 0, minRoster = engines + 1;
    for (TPlumo* e : all) {
      maxRoster = std::max(maxRoster, e->Users().Count());
      minRoster = std::min(minRoster, e->Users().Count());
    }
    std::string types;
    for (const auto& [name, n] : byType) types += name + "=" + std::to_string(n) + " ";
    std::printf("%6d %10.1f %10.1f %8d %8d %8llu  %s\n", minute, static_cast<double>(sent) / engines,
                static_cast<double>(recv) / engines, maxRoster, minRoster,
                static_cast<unsigned long long>(lists), types.c_str());
    std::fflush(stdout);
    totalSent += sent;
    totalReceived += recv;
    listsSent += lists;
  }
  // What one engine's roster list would need: every nick and its zero byte after the header.
  std::size_t listBytes = kHeaderSize;
  for (const auto& entry : all[0]->Users().Entries()) listBytes += entry->Nick.size() + 1;
  std::printf(
      "mean per peer and minute: sent %.1f, received %.1f; roster lists sent %llu; one roster list "
      "would be %zu bytes (a datagram holds %zu)\n",
      static_cast<double>(totalSent) / engines / minutes,
      static_cast<double>(totalReceived) / engines / minutes, static_cast<unsigned long long>(listsSent),
      listBytes, kMaxDatagram);
  return 0;
}
