// SPDX-License-Identifier: GPL-3.0-or-later
// Output helpers of the headless peer: JSON text values, the readable forms of line markup, and
// the queue that writes standard output without ever making the peer wait for its reader.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/surfaces.h"
#include "net/codec.h"
#include "net/users.h"

namespace plumo {

// A code page 1251 text as a quoted JSON string (UTF-8, control characters escaped).
std::string JsonString(const std::string& cp1251);
// The same for a text that is UTF-8 already.
std::string JsonStringUtf8(std::string_view utf8);
// ["a","b",...]
std::string JsonFields(const TMStigs& fields);
// {"Address":...,"Nick":...,"State":...,"StateDescription":...}
std::string JsonEntry(const AChuvakInfo& entry);
std::string JsonEntry(const RosterRow& row);

// Delivery status (core/delivery.h). One change of a sent message: {"delivery":{...}} with the
// message's counts and mark, and the recipient that changed (recipient >= 0) or every recipient
// (recipient -1: the message is new).
std::string JsonDelivery(const TSentMessage& message, int recipient, const std::string& mark);
// The answer to /rollcall: {"rollcall":{...}} with every recipient.
std::string JsonRollCall(const TSentMessage& message, const std::string& mark);
// A received message to everybody that asks to be acknowledged, or was: {"acknowledge":{...}}.
std::string JsonAcknowledge(MessageId id, const std::string& nick, const std::string& address,
                            bool acknowledged, std::int64_t atMs);

// A marked-up line (code page 1251) as UTF-8 text, read by the grammar of lang/markup.h: colour
// codes become 24-bit terminal colours (ansi) or disappear, the markers of nick pairs disappear, line
// breaks become "\n".
std::string ReadableLine(const std::string& line, bool ansi);

// A UTF-8 text made safe to print to a terminal: no text from a peer may move the cursor, clear the
// screen, set the title or the clipboard. Control characters become visible: a tab a space, the other
// C0 controls and DEL caret notation ("^[", "^G", "^?"), C1 controls (U+0080..U+009F) and bytes that
// are not UTF-8 U+FFFD. Line breaks stay, and so do the two colour sequences ReadableLine writes
// ("ESC[0m", "ESC[38;2;R;G;Bm"), which markup lets any peer produce anyway.
std::string TerminalText(std::string_view utf8);

// Lines for a reader that may stop reading (a pipe, a terminal, a socket): a write never waits.
// What the reader does not take at once waits in a queue of at most `limit` bytes, written as the
// reader takes more (Flush, when WatchFd is writable). When the queue would grow past its bound, the
// oldest waiting lines are dropped, whole; once the reader has taken everything before them, one
// line reports how many: {"dropped":N} in JSON mode, a text line otherwise. A line is never cut
// (a long one that was started is finished). To a regular file writes go straight through.
// In text mode every line is passed through TerminalText, so nothing a peer sends reaches a terminal
// raw; JSON lines are escaped already.
// When the reader has gone (the pipe is broken), lines are discarded; the program ignores SIGPIPE.
class TOutputQueue {
 public:
  static constexpr std::size_t kDefaultLimit = std::size_t{4} << 20;

  // fd stays open and in the mode it is in: its description may be shared with other processes
  // (a terminal is often standard input too), so a non-blocking one of our own is opened where
  // the system allows it, and writes are polled where it does not.
  TOutputQueue(int fd, bool json, std::size_t limit = kDefaultLimit);
  ~TOutputQueue();
  TOutputQueue(const TOutputQueue&) = delete;
  TOutputQueue& operator=(const TOutputQueue&) = delete;

  // Queues one line (the line end is added) and writes what the reader takes now.
  void Push(std::string line);
  // Writes what the reader takes now; true when nothing waits any more.
  bool Flush();
  // Waits at most timeoutMs for the reader to take everything (at exit); true when it did.
  bool Drain(int timeoutMs);

  // The descriptor whose writability lets Flush go on; -1 when writes never wait.
  int WatchFd() const;
  bool Waiting() const { return !queue_.empty(); }
  std::size_t PendingBytes() const { return pending_; }
  std::uint64_t DroppedLines() const { return dropped_; }
  // The report line for n dropped lines (without the line end).
  std::string DropReport(std::uint64_t n) const;
  // The readable report's text (UTF-8, "%s" for the number), from the language file.
  void SetDropText(std::string text) { dropText_ = std::move(text); }

 private:
  enum class Mode { Direct, Socket, Own, Polled };
  struct Entry {
    std::string Text;       // with its line end; empty for a report not yet due
    std::uint64_t Gap = 0;  // for a report: the lines dropped at this place
  };
  // Bytes of data taken now (0 when the reader is full); -1 when the reader has gone.
  long WriteSome(const char* data, std::size_t size);
  void DropOldest();

  std::string dropText_ = "[output] %s lines dropped: the reader did not keep up";
  int fd_;
  int own_ = -1;  // our non-blocking descriptor of the same reader (Mode::Own)
  Mode mode_ = Mode::Polled;
  bool json_;
  std::size_t limit_;
  std::deque<Entry> queue_;
  std::size_t headDone_ = 0;  // bytes of the first entry already written
  std::size_t pending_ = 0;   // bytes waiting in the queue
  std::uint64_t dropped_ = 0;
  bool gone_ = false;
};

}  // namespace plumo
