// SPDX-License-Identifier: GPL-3.0-or-later
// Standard output of the headless peer with a reader that stops reading: writing never waits, the
// waiting lines stay within their bound, and the reader learns how many lines it missed.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "app/json_out.h"
#include "lang/markup.h"

namespace plumo {
namespace {

TEST(OutputQueue, AStalledReaderNeverBlocksTheWriterAndLearnsWhatWasDropped) {
  struct Case {
    const char* name;
    bool socket;
    bool json;
    std::string report;  // the report line up to its number
  };
  const std::vector<Case> cases = {
      {"pipe, json", false, true, "{\"dropped\":"},
      {"pipe, text", false, false, "[output] "},
      {"socket, json", true, true, "{\"dropped\":"},
  };
  std::signal(SIGPIPE, SIG_IGN);  // as the headless peer does: a reader gone makes writes fail
  constexpr int kLines = 100000;
  constexpr std::size_t kLimit = 64 * 1024;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int fds[2];
    ASSERT_EQ(c.socket ? ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) : ::pipe(fds), 0);
    const int reader = fds[c.socket ? 1 : 0];
    const int writer = fds[c.socket ? 0 : 1];
    std::vector<std::string> got;
    std::uint64_t reported = 0;
    {
      TOutputQueue out(writer, c.json, kLimit);
      // Nobody reads: every push returns at once and the queue stays within its bound.
      std::size_t most = 0;
      for (int i = 0; i < kLines; ++i) {
        out.Push("line " + std::to_string(i));
        most = std::max(most, out.PendingBytes());
      }
      EXPECT_LE(most, kLimit + 16);
      EXPECT_GT(out.DroppedLines(), 0u);
      EXPECT_EQ(::fcntl(writer, F_GETFL) & O_NONBLOCK, 0);  // the shared description is left alone

      // The reader catches up.
      std::string text;
      for (bool done = false; !done;) {
        done = out.Flush();
        char buffer[65536];
        for (pollfd p{reader, POLLIN, 0}; ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);) {
          const ssize_t n = ::read(reader, buffer, sizeof buffer);
          if (n <= 0) break;
          text.append(buffer, static_cast<std::size_t>(n));
        }
      }
      for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        if (line.rfind(c.report, 0) == 0) {
          reported += std::stoull(line.substr(c.report.size()));
        } else {
          got.push_back(line);
        }
      }
      EXPECT_EQ(reported, out.DroppedLines());
    }
    // Every line arrived whole and in order, or was counted as dropped; the newest arrived.
    EXPECT_EQ(got.size() + reported, static_cast<std::size_t>(kLines));
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), "line " + std::to_string(kLines - 1));
    long previous = -1;
    for (const auto& line : got) {
      ASSERT_EQ(line.rfind("line ", 0), 0u) << line;
      const long n = std::stol(line.substr(5));
      ASSERT_GT(n, previous);
      previous = n;
    }

    // A reader that has gone: lines are discarded, nothing waits.
    ::close(reader);
    TOutputQueue out(writer, c.json, kLimit);
    for (int i = 0; i < 1000; ++i) out.Push(std::string(100, 'x'));
    EXPECT_FALSE(out.Waiting());
    ::close(writer);
  }
}

// What a peer sends is printed as text, never obeyed by the terminal: control characters become
// visible, while the readable line's own colours, line breaks and ordinary text pass unchanged.
TEST(OutputQueue, TextLinesReachTheTerminalWithoutControlCharacters) {
  struct Case {
    const char* name;
    std::string line;
    std::string shown;
  };
  const std::string colour =
      ReadableLine(ColourCode(0x0000FF) + "red", true);  // ReadableLine's own escape sequences
  const std::vector<Case> cases = {
      {"window title",
       "a\x1b]0;owned\x07"
       "b",
       "a^[]0;owned^Gb"},
      {"clear screen", "\x1b[2J\x1b[Hhi", "^[[2J^[[Hhi"},
      {"bell and delete", "ding\x07\x7f", "ding^G^?"},
      {"carriage return", "safe\rfake", "safe^Mfake"},
      {"C1 CSI",
       "x\xc2\x9b"
       "2Jy",
       "x\xef\xbf\xbd"
       "2Jy"},
      {"byte that is no UTF-8",
       "x\x9b"
       "2J",
       "x\xef\xbf\xbd"
       "2J"},
      {"tab", "a\tb", "a b"},
      {"Russian text and a line break", "Привет, мир!\nвторая «строка» — ок",
       "Привет, мир!\nвторая «строка» — ок"},
      {"readable colours", colour, colour},
  };
  ASSERT_NE(colour.find('\x1b'), std::string::npos);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
      TOutputQueue out(fds[1], false);
      out.Push(c.line);
      ASSERT_TRUE(out.Drain(1000));
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    EXPECT_EQ(text, c.shown + "\n");
  }
}

}  // namespace
}  // namespace plumo
