// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/json_out.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>

#include "lang/codepage.h"
#include "lang/lng.h"
#include "lang/markup.h"
#include "lang/text_helpers.h"

namespace plumo {

std::string JsonString(const std::string& cp1251) {
  return JsonStringUtf8(Cp1251ToUtf8(cp1251));
}

std::string JsonStringUtf8(std::string_view utf8) {
  std::string out = "\"";
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string JsonFields(const TMStigs& fields) {
  std::string out = "[";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ",";
    out += JsonString(fields[i]);
  }
  return out + "]";
}

namespace {
std::string JsonPeer(const std::string& address, const std::string& nick, char state,
                     const std::string& description) {
  return "{\"Address\":" + JsonString(address) + ",\"Nick\":" + JsonString(nick) +
         ",\"State\":" + JsonString(std::string(1, state)) +
         ",\"StateDescription\":" + JsonString(description) + "}";
}
}  // namespace

std::string JsonEntry(const AChuvakInfo& entry) {
  return JsonPeer(entry.Address, entry.Nick, entry.State, entry.StateDescription);
}

std::string JsonEntry(const RosterRow& row) {
  return JsonPeer(row.Address, row.Nick, row.State, row.Description);
}

namespace {

const char* KindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::Everybody:
      return "everybody";
    case MessageKind::Bell:
      return "bell";
    case MessageKind::Private:
      break;
  }
  return "private";
}

const char* StatusName(RecipientStatus status) {
  switch (status) {
    case RecipientStatus::Delivered:
      return "delivered";
    case RecipientStatus::NotDelivered:
      return "not-delivered";
    case RecipientStatus::Waiting:
      return "waiting";
    case RecipientStatus::Cancelled:
      return "cancelled";
    case RecipientStatus::Sending:
      break;
  }
  return "sending";
}

const char* ReasonName(DeliveryOutcome outcome) {
  switch (outcome) {
    case DeliveryOutcome::NoAnswer:
      return "no-answer";
    case DeliveryOutcome::PeerLeft:
      return "peer-left";
    case DeliveryOutcome::PeerLost:
      return "peer-lost";
    case DeliveryOutcome::PeerOffline:
      return "peer-offline";
    case DeliveryOutcome::Overwritten:
      return "overwritten";
    case DeliveryOutcome::Delivered:
      break;
  }
  return "delivered";
}

const char* Bool(bool value) {
  return value ? "true" : "false";
}

std::string JsonRecipient(const TRecipient& r) {
  return "{\"Nick\":" + JsonString(r.Nick) + ",\"Address\":" + JsonString(r.Address) +
         ",\"Key\":" + JsonString(r.KeyHex) + ",\"Status\":\"" + StatusName(r.Status) + "\",\"Reason\":" +
         (r.Status == RecipientStatus::NotDelivered ? "\"" + std::string(ReasonName(r.Reason)) + "\""
                                                    : "null") +
         ",\"At\":" + std::to_string(r.AtMs) + ",\"Later\":" + Bool(r.Later) +
         ",\"Acknowledged\":" + Bool(r.Acknowledged) +
         ",\"AcknowledgedAt\":" + std::to_string(r.AcknowledgedAtMs) + "}";
}

// The keys every object about a sent message has.
std::string JsonMessage(const TSentMessage& m, const std::string& mark) {
  return "\"Id\":" + std::to_string(m.Id) + ",\"Kind\":\"" + KindName(m.Kind) +
         "\",\"Sent\":" + std::to_string(m.SentAtMs) + ",\"Text\":" + JsonString(m.Text) +
         ",\"AskAcknowledge\":" + Bool(m.AskedAcknowledge) +
         ",\"Delivered\":" + std::to_string(m.CountOf(RecipientStatus::Delivered)) +
         ",\"Total\":" + std::to_string(m.Recipients.size()) +
         ",\"AcknowledgedCount\":" + std::to_string(m.AcknowledgedCount()) + ",\"Mark\":" + JsonString(mark);
}

std::string JsonRecipients(const TSentMessage& m) {
  std::string list = "[";
  for (std::size_t i = 0; i < m.Recipients.size(); ++i)
    list += (i > 0 ? "," : "") + JsonRecipient(m.Recipients[i]);
  return list + "]";
}

}  // namespace

std::string JsonDelivery(const TSentMessage& message, int recipient, const std::string& mark) {
  std::string json = "{\"delivery\":{" + JsonMessage(message, mark);
  if (recipient >= 0 && static_cast<std::size_t>(recipient) < message.Recipients.size()) {
    json += ",\"Recipient\":" + JsonRecipient(message.Recipients[static_cast<std::size_t>(recipient)]);
  } else {
    json += ",\"Recipients\":" + JsonRecipients(message);
  }
  return json + "}}";
}

std::string JsonRollCall(const TSentMessage& message, const std::string& mark) {
  return "{\"rollcall\":{" + JsonMessage(message, mark) + ",\"Recipients\":" + JsonRecipients(message) + "}}";
}

std::string JsonAcknowledge(MessageId id, const std::string& nick, const std::string& address,
                            bool acknowledged, std::int64_t atMs) {
  return "{\"acknowledge\":{\"Id\":" + std::to_string(id) + ",\"Nick\":" + JsonString(nick) +
         ",\"Address\":" + JsonString(address) + ",\"Acknowledged\":" + Bool(acknowledged) +
         ",\"At\":" + std::to_string(atMs) + "}}";
}

std::string ReadableLine(const std::string& line, bool ansi) {
  std::string out;
  bool coloured = false;
  MarkupRules rules;
  rules.Links = false;
  for (const MarkupPiece& piece : ParseMarkup(line, rules)) {
    switch (piece.Kind) {
      case MarkupKind::Colour:
        if (!ansi) break;
        if (piece.Colour == 0) {
          out += "\x1b[0m";  // black text is the terminal's own colour
          coloured = false;
        } else {
          out += "\x1b[38;2;" + std::to_string(piece.Colour & 0xFF) + ";" +
                 std::to_string((piece.Colour >> 8) & 0xFF) + ";" +
                 std::to_string((piece.Colour >> 16) & 0xFF) + "m";
          coloured = true;
        }
        break;
      case MarkupKind::NickOpen:
      case MarkupKind::NickClose:
        break;
      case MarkupKind::Break:
        out += '\n';
        break;
      default:
        out.append(line, piece.Begin, piece.End - piece.Begin);
    }
  }
  if (coloured) out += "\x1b[0m";
  return Cp1251ToUtf8(out);
}

namespace {
// The length of the colour sequence ReadableLine writes at text[i] ("ESC[0m", "ESC[38;2;R;G;Bm"),
// or 0 when there is none.
std::size_t ColourSequenceAt(std::string_view text, std::size_t i) {
  static constexpr std::string_view kReset = "\x1b[0m";
  static constexpr std::string_view kRgb = "\x1b[38;2;";
  if (text.substr(i, kReset.size()) == kReset) return kReset.size();
  if (text.substr(i, kRgb.size()) != kRgb) return 0;
  std::size_t at = i + kRgb.size();
  for (int number = 0; number < 3; ++number) {
    const std::size_t digits = at;
    while (at < text.size() && at - digits < 3 && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == digits || at >= text.size() || text[at] != (number < 2 ? ';' : 'm')) return 0;
    ++at;
  }
  return at - i;
}

// The length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there begins none.
std::size_t Utf8LengthAt(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead < 0x80   ? 1
                             : lead < 0xC2 ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  return length;
}
}  // namespace

std::string TerminalText(std::string_view utf8) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c == '\x1b') {
      if (const std::size_t colour = ColourSequenceAt(utf8, i); colour > 0) {
        out.append(utf8, i, colour);
        i += colour;
        continue;
      }
    }
    if (c == '\n') {
      out += '\n';
      ++i;
    } else if (c == '\t') {
      out += ' ';
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      out += '^';
      out += static_cast<char>(c ^ 0x40);  // ESC is "^[", BEL "^G", DEL "^?"
      ++i;
    } else if (const std::size_t length = Utf8LengthAt(utf8, i);
               length == 0 || (c == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0)) {
      out += kReplacement;  // not UTF-8, or a C1 control (U+0080..U+009F)
      i += length == 0 ? 1 : length;
    } else {
      out.append(utf8, i, length);
      i += length;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// TOutputQueue

TOutputQueue::TOutputQueue(int fd, bool json, std::size_t limit) : fd_(fd), json_(json), limit_(limit) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    mode_ = Mode::Direct;
  } else if (S_ISSOCK(st.st_mode)) {
    mode_ = Mode::Socket;
  } else {
    // A description of our own (pipe, terminal), so that O_NONBLOCK touches nobody else's.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    own_ = ::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    mode_ = own_ >= 0 ? Mode::Own : Mode::Polled;
  }
}

TOutputQueue::~TOutputQueue() {
  if (own_ >= 0) ::close(own_);
}

int TOutputQueue::WatchFd() const {
  switch (mode_) {
    case Mode::Direct:
      return -1;
    case Mode::Own:
      return own_;
    default:
      return fd_;
  }
}

std::string TOutputQueue::DropReport(std::uint64_t n) const {
  if (json_) return "{\"dropped\":" + std::to_string(n) + "}";
  return FormatText(dropText_, {std::to_string(n)});
}

long TOutputQueue::WriteSome(const char* data, std::size_t size) {
  for (;;) {
    ssize_t n;
    switch (mode_) {
      case Mode::Direct:
        n = ::write(fd_, data, size);
        break;
      case Mode::Socket:
        n = ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        break;
      case Mode::Own:
        n = ::write(own_, data, size);
        break;
      case Mode::Polled: {
        // Without a description of our own: a pipe that polls writable takes PIPE_BUF bytes at once.
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 0) <= 0) return 0;
        if (p.revents & (POLLERR | POLLNVAL)) return -1;
        if (!(p.revents & POLLOUT)) return 0;
        n = ::write(fd_, data, size < PIPE_BUF ? size : PIPE_BUF);
        break;
      }
    }
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

bool TOutputQueue::Flush() {
  while (!queue_.empty() && !gone_) {
    Entry& e = queue_.front();
    if (e.Text.empty()) {
      // The reader has taken everything before the dropped lines: the report is due.
      e.Text = DropReport(e.Gap) + "\n";
      pending_ += e.Text.size();
    }
    while (headDone_ < e.Text.size()) {
      const long n = WriteSome(e.Text.data() + headDone_, e.Text.size() - headDone_);
      if (n < 0) {
        gone_ = true;  // the reader has gone: nothing will be read any more
        break;
      }
      if (n == 0) return false;
      headDone_ += static_cast<std::size_t>(n);
      pending_ -= static_cast<std::size_t>(n);
    }
    if (gone_) break;
    queue_.pop_front();
    headDone_ = 0;
  }
  if (gone_) {
    queue_.clear();
    pending_ = 0;
    headDone_ = 0;
  }
  return true;
}

void TOutputQueue::DropOldest() {
  // A line the reader has begun is finished. The report of a run of dropped lines stands where the
  // run began and counts every line dropped after it; a report not yet begun takes in the next run.
  const std::size_t at = headDone_ > 0 ? 1 : 0;
  if (at >= queue_.size()) return;
  Entry& first = queue_[at];
  if (first.Gap == 0) {
    pending_ -= first.Text.size();
    first = Entry{{}, 1};
    ++dropped_;
    return;
  }
  if (at + 1 >= queue_.size()) return;
  pending_ -= first.Text.size();
  first.Text.clear();  // due again later, with the larger count
  Entry& victim = queue_[at + 1];
  pending_ -= victim.Text.size();
  first.Gap += victim.Gap > 0 ? victim.Gap : 1;
  if (victim.Gap == 0) ++dropped_;
  queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(at + 1));
}

void TOutputQueue::Push(std::string line) {
  if (gone_) return;
  if (!json_) line = TerminalText(line);
  line += '\n';
  pending_ += line.size();
  queue_.push_back(Entry{std::move(line), 0});
  if (Flush()) return;
  while (pending_ > limit_) {
    const std::size_t before = pending_;
    DropOldest();
    if (pending_ == before) break;  // only a line already begun is left
  }
}

bool TOutputQueue::Drain(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Flush()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) return false;
    pollfd p{WatchFd(), POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(left < 100 ? left : 100)) < 0 && errno != EINTR) return false;
  }
  return true;
}

}  // namespace plumo
