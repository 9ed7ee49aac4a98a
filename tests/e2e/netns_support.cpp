// SPDX-License-Identifier: GPL-3.0-or-later
#include "netns_support.h"

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plumo::testing {

std::string EnterPrivateNetwork() {
  if (::geteuid() != 0) return "a private network namespace needs root";
  if (::unshare(CLONE_NEWNET) != 0)
    return std::string("unshare(CLONE_NEWNET) failed: ") + std::strerror(errno);
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::string("socket failed: ") + std::strerror(errno);
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  ::close(fd);
  return ok ? std::string() : "cannot bring lo up in the private namespace";
}

std::string OwnNetnsPrefix(const std::string& fallback) {
  const char* chosen = std::getenv("PLUMO_NS_PREFIX");
  std::string base =
      chosen != nullptr && std::strlen(chosen) <= 2 && std::strlen(chosen) > 0 ? chosen : fallback;
  // netns.sh takes at most nine characters: two, five digits and the closing letter.
  return base + std::to_string(::getpid() % 100000) + "n";
}

int RunNetnsScript(const std::string& prefix, const std::string& args, std::string* output) {
  const std::string command =
      "PLUMO_NS_PREFIX='" + prefix + "' '" + std::string(PLUMO_NETNS_SCRIPT) + "' " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char chunk[512];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) text.append(chunk, n);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int toChild[2];
  int fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0) return;
  if (::pipe2(fromChild, O_CLOEXEC) != 0) {
    ::close(toChild[0]);
    ::close(toChild[1]);
    return;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::dup2(toChild[0], STDIN_FILENO);
    ::dup2(fromChild[1], STDOUT_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
}

ChildProcess::~ChildProcess() {
  Finish(3000);
}

void ChildProcess::Send(const std::string& line) {
  if (in_ < 0) return;
  const std::string data = line + "\n";
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(in_, data.data() + done, data.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

bool ChildProcess::ReadSome(int timeoutMs) {
  if (out_ < 0) return false;
  pollfd p{out_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return false;
  char chunk[4096];
  const ssize_t n = ::read(out_, chunk, sizeof chunk);
  if (n <= 0) {
    ::close(out_);
    out_ = -1;
    return false;
  }
  partial_.append(chunk, static_cast<std::size_t>(n));
  std::size_t end;
  while ((end = partial_.find('\n')) != std::string::npos) {
    lines_.push_back(partial_.substr(0, end));
    partial_.erase(0, end + 1);
  }
  return true;
}

bool ChildProcess::WaitForLine(const std::string& line, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (CountLines(line) == 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0 || out_ < 0) return false;
    ReadSome(static_cast<int>(left));
  }
  return true;
}

void ChildProcess::Drain(int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0 || out_ < 0) return;
    ReadSome(static_cast<int>(left));
  }
}

int ChildProcess::CountLines(const std::string& line) const {
  return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

std::string ChildProcess::Transcript() const {
  std::string text;
  for (const std::string& l : lines_) text += "  " + l + "\n";
  return text;
}

int ChildProcess::Finish(int timeoutMs) {
  if (in_ >= 0) {
    ::close(in_);
    in_ = -1;
  }
  if (pid_ <= 0) return -1;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  pid_t done = 0;
  while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    if (out_ >= 0) {
      Drain(20);
    } else {
      ::usleep(20000);
    }
  }
  if (done == 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  while (ReadSome(0)) {
  }
  if (out_ >= 0) ::close(out_);
  out_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace plumo::testing
