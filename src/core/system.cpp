// SPDX-License-Identifier: GPL-3.0-or-later
// The operating-system side of the core: interface list, running programs, user and computer
// name, local clock.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/surfaces.h"
#include "lang/codepage.h"

namespace plumo {

namespace {

std::string Dotted(const sockaddr* sa) {
  if (sa == nullptr || sa->sa_family != AF_INET) return "0.0.0.0";
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
  return text;
}

std::uint32_t Raw(const sockaddr* sa) {
  if (sa == nullptr || sa->sa_family != AF_INET) return 0;
  return reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr;
}

std::string BaseName(std::string path) {
  const auto deleted = path.rfind(" (deleted)");
  if (deleted != std::string::npos && deleted + 10 == path.size()) path.erase(deleted);
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string ListInterfaces() {
  // The interface query of the original platform filled a 1024-byte buffer with 76-byte records.
  constexpr int kMaxInterfaces = 13;
  std::string out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  int n = 0;
  for (ifaddrs* it = list; it != nullptr && n < kMaxInterfaces; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
    const unsigned flags = it->ifa_flags;
    std::string broadcast;
    // An address configured without a broadcast address reports its own address (or none) there;
    // the broadcast address of its subnet is meant.
    const std::uint32_t given = (flags & IFF_BROADCAST) != 0 ? Raw(it->ifa_broadaddr) : 0;
    if (given != 0 && given != Raw(it->ifa_addr)) {
      broadcast = Dotted(it->ifa_broadaddr);
    } else {
      in_addr b{};
      b.s_addr = Raw(it->ifa_addr) | ~Raw(it->ifa_netmask);
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &b, text, sizeof text);
      broadcast = text;
    }
    const std::string num = std::to_string(n);
    const char* type = (flags & IFF_LOOPBACK) != 0      ? "LOOPBACK"
                       : (flags & IFF_POINTOPOINT) != 0 ? "POINTTOPOINT"
                                                        : "NORMAL";
    out += "IP" + num + "=" + Dotted(it->ifa_addr) + "\n\r";
    out += "Mask" + num + "=" + Dotted(it->ifa_netmask) + "\n\r";
    out += "Broadcast" + num + "=" + broadcast + "\n\r";
    out += "IfUP" + num + "=" + ((flags & IFF_UP) != 0 ? "1" : "0") + "\n\r";
    out += "Broadcasts" + num + "=" + ((flags & IFF_BROADCAST) != 0 ? "1" : "0") + "\n\r";
    out += "Type" + num + "=" + type + "\n\r";
    ++n;
  }
  freeifaddrs(list);
  return out;
}

std::vector<std::string> ListRunningPrograms(const std::string& procRoot) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator dir(procRoot, ec);
  if (ec) return names;
  for (const auto& entry : dir) {
    const std::string pid = entry.path().filename().string();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code linkError;
    const fs::path exe = fs::read_symlink(entry.path() / "exe", linkError);
    std::string name;
    if (!linkError) name = BaseName(exe.string());
    if (name.empty()) {
      // Processes of other users hide their executable; the first command-line word names it.
      std::ifstream cmdline(entry.path() / "cmdline", std::ios::binary);
      std::string argv0;
      std::getline(cmdline, argv0, '\0');
      name = BaseName(argv0);
    }
    if (name.empty()) {
      std::ifstream comm(entry.path() / "comm");
      std::getline(comm, name);
    }
    if (!name.empty()) names.push_back(Utf8ToCp1251(name));
  }
  return names;
}

std::string PosixSystem::Interfaces() {
  return ListInterfaces();
}

std::vector<std::string> PosixSystem::RunningPrograms() {
  return ListRunningPrograms();
}

std::string PosixSystem::UserName() {
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_name != nullptr && *pw->pw_name != 0) {
    return std::string(pw->pw_name).substr(0, 254);
  }
  return "Unknown";
}

std::string PosixSystem::ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == 0) return "Unknown";
  return name;
}

std::int64_t LocalClockMs() {
  const auto now = std::chrono::system_clock::now();
  const std::int64_t ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return ms;
  return ms + std::int64_t{local.tm_gmtoff} * 1000;
}

std::int64_t PosixSystem::NowLocalMs() {
  return LocalClockMs();
}

bool PosixSystem::FileExists(const FsPath& path) {
  std::error_code ec;
  return !path.Empty() && std::filesystem::is_regular_file(path.Native(), ec);
}

}  // namespace plumo
