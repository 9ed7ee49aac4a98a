// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for tests that need real sockets: a private network namespace for the calling process,
// the virtual-LAN script, and a child process driven through its standard input and output.
#pragma once

#include <string>
#include <vector>

namespace plumo::testing {

// Moves the calling process into a new, empty network namespace with lo up, so that its sockets
// see nothing of the machine's own network. Returns an empty text on success, else why it failed
// (not root, no namespace support).
std::string EnterPrivateNetwork();

// A namespace prefix of this test process's own: PLUMO_NS_PREFIX (when set and short enough) or
// `fallback` (two letters), then the process id and a closing letter, so that no run's prefix is
// the beginning of another's (netns.sh down removes every namespace that starts with the prefix
// and goes on with digits).
std::string OwnNetnsPrefix(const std::string& fallback);

// Runs scripts/netns.sh with args and the given namespace prefix; returns its exit status and
// fills output with what it printed.
int RunNetnsScript(const std::string& prefix, const std::string& args, std::string* output = nullptr);

// A child process whose standard output is read line by line. It is killed when the test process
// dies, so that no program outlives a test that was stopped.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Send(const std::string& line);
  // Waits until a line equal to line has been printed (now or earlier). False on timeout.
  bool WaitForLine(const std::string& line, int timeoutMs);
  // Reads whatever arrives during ms milliseconds.
  void Drain(int ms);
  // How many printed lines so far equal line.
  int CountLines(const std::string& line) const;
  // Everything printed so far, for failure messages.
  std::string Transcript() const;
  // Closes standard input and waits for the exit; returns the exit status (-1 when killed).
  int Finish(int timeoutMs);
  // The process id (-1 once finished) and a signal to the process.
  int Pid() const { return pid_; }
  void Signal(int signal);

 private:
  bool ReadSome(int timeoutMs);

  int pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
};

}  // namespace plumo::testing
