// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/conversation_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "app/json_out.h"
#include "lang/codepage.h"

namespace plumo {

std::string ConversationLogRecords(const std::string& conversation, const std::string& line) {
  std::string name = Cp1251ToUtf8(conversation);
  for (char& c : name) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  const std::string text = ReadableLine(line, false);
  std::string records;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    records += name + '\t' + text.substr(start, end - start) + '\n';
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return records;
}

class ConversationLog::LoggingView final : public ConversationView {
 public:
  LoggingView(ConversationView& inner, ConversationLog& log) : inner_(inner), log_(log) {}

  void ConversationAdded(int index, const Conversation& conversation) override {
    inner_.ConversationAdded(index, conversation);
  }
  void ConversationRemoved(int index) override { inner_.ConversationRemoved(index); }
  void CurrentChanged(int from, int to, ViewMode mode) override { inner_.CurrentChanged(from, to, mode); }
  void LineAdded(int index, const std::string& name, const std::string& line) override {
    inner_.LineAdded(index, name, line);
    log_.Append(name, line);
  }
  void IconsChanged(const std::vector<Conversation>& conversations) override {
    inner_.IconsChanged(conversations);
  }
  void ModeChanged(int index, ViewMode mode) override { inner_.ModeChanged(index, mode); }
  void ScrollToEnd() override { inner_.ScrollToEnd(); }
  // Stored lines of earlier runs were logged when they were shown first; only the view gets them.
  void HistoryAdded(int index, const std::vector<std::string>& lines) override {
    inner_.HistoryAdded(index, lines);
  }
  void ShowHistoryRow(int index, int row) override { inner_.ShowHistoryRow(index, row); }
  void OldestDropped(int index, int rows) override { inner_.OldestDropped(index, rows); }
  // The console has the same line already; a notice is logged under the conversation it is shown with.
  void NoticeAdded(int index, const std::string& name, const std::string& line) override {
    inner_.NoticeAdded(index, name, line);
    log_.Append(name, line);
  }
  void MarkAdded(int index, const TDeliveryMark& mark) override { inner_.MarkAdded(index, mark); }
  void MarkChanged(const TDeliveryMark& mark) override { inner_.MarkChanged(mark); }

 private:
  ConversationView& inner_;
  ConversationLog& log_;
};

std::unique_ptr<ConversationLog> ConversationLog::Open(const std::string& path, std::string* error) {
  std::unique_ptr<ConversationLog> log(new ConversationLog(path));
  errno = 0;
  log->file_.open(path, std::ios::out | std::ios::app | std::ios::binary);
  if (!log->file_.is_open()) {
    if (error != nullptr) *error = errno != 0 ? std::strerror(errno) : "cannot open the file";
    return nullptr;
  }
  return log;
}

ConversationLog::ConversationLog(std::string path) : path_(std::move(path)) {}

ConversationLog::~ConversationLog() = default;

CoreSurfaces ConversationLog::Wrap(const CoreSurfaces& s) {
  channels_ = std::make_unique<LoggingView>(s.Channels, *this);
  inputs_ = std::make_unique<LoggingView>(s.Inputs, *this);
  return CoreSurfaces{*channels_, *inputs_, s.Editor, s.Roster,   s.Window,
                      s.Sound,    s.Timers, s.System, s.Language, s.Idle};
}

void ConversationLog::Append(const std::string& conversation, const std::string& line) {
  file_ << ConversationLogRecords(conversation, line);
  file_.flush();
  if (!file_ && !failed_) {
    failed_ = true;
    std::fprintf(stderr, "plumo: writing the log file %s failed\n", path_.c_str());
  }
}

}  // namespace plumo
