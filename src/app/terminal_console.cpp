// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/terminal_console.h"

#include <fcntl.h>
#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <QMetaObject>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace plumo {

TerminalConsole* TerminalConsole::active_ = nullptr;

namespace {
std::unique_ptr<QSocketNotifier> inputNotifier;
}  // namespace

bool TerminalConsole::Wanted() {
  return isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0;
}

bool TerminalConsole::Start(QObject& loop, std::function<void(const std::string&)> line,
                            std::function<void()> end, std::string historyFile) {
  if (active_ != nullptr) return false;
  std::fflush(stdout);
  int out[2];
  if (pipe(out) != 0) return false;
  terminal_ = dup(STDOUT_FILENO);
  if (terminal_ < 0 || dup2(out[1], STDOUT_FILENO) < 0) {
    close(out[0]);
    close(out[1]);
    if (terminal_ >= 0) close(terminal_);
    terminal_ = -1;
    return false;
  }
  close(out[1]);
  fcntl(out[0], F_SETFD, FD_CLOEXEC);
  fcntl(terminal_, F_SETFD, FD_CLOEXEC);
  pipeRead_ = out[0];
  loop_ = &loop;
  line_ = std::move(line);
  end_ = std::move(end);
  history_ = std::move(historyFile);
  active_ = this;

  // The peer's output arrives through the pipe on its own thread, so that a burst of output can
  // never block the event loop that prints it.
  reader_ = std::thread([this] {
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeRead_, buffer, sizeof buffer)) > 0) {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        pending_.append(buffer, static_cast<std::size_t>(n));
      }
      QMetaObject::invokeMethod(
          loop_, [this] { PrintPending(); }, Qt::QueuedConnection);
    }
  });

  rl_outstream = fdopen(dup(terminal_), "w");
  if (!history_.empty()) read_history(history_.c_str());
  rl_callback_handler_install(prompt_.c_str(), &TerminalConsole::OnLine);
  inputNotifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(inputNotifier.get(), &QSocketNotifier::activated, [] {
    if (active_ != nullptr && !active_->inputEnded_) rl_callback_read_char();
  });
  return true;
}

void TerminalConsole::OnLine(char* text) {
  TerminalConsole* self = active_;
  if (self == nullptr) return;
  if (text == nullptr) {
    self->inputEnded_ = true;
    inputNotifier.reset();
    rl_callback_handler_remove();
    self->Write("\n");
    if (self->end_) self->end_();
    return;
  }
  const std::string entered(text);
  std::free(text);
  if (!entered.empty()) add_history(entered.c_str());
  if (self->line_) self->line_(entered);
}

void TerminalConsole::PrintPending() {
  std::string lines;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t end = pending_.rfind('\n');
    if (end == std::string::npos) return;
    lines = pending_.substr(0, end + 1);
    pending_.erase(0, end + 1);
  }
  if (active_ != this || inputEnded_) {
    Write(lines);
    return;
  }
  // The edited line steps aside, the output is printed, and the line comes back as it was.
  char* typed = rl_copy_text(0, rl_end);
  const int point = rl_point;
  rl_save_prompt();
  rl_replace_line("", 0);
  rl_redisplay();
  Write(lines);
  rl_restore_prompt();
  rl_replace_line(typed, 0);
  rl_point = point;
  rl_redisplay();
  std::free(typed);
}

void TerminalConsole::Write(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(terminal_, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void TerminalConsole::SetPrompt(const std::string& prompt) {
  prompt_ = prompt;
  if (active_ == this && !inputEnded_) {
    rl_set_prompt(prompt_.c_str());
    rl_redisplay();
  }
}

void TerminalConsole::Bell() {
  if (terminal_ >= 0) {
    Write("\a");
  } else {
    [[maybe_unused]] const auto n = write(STDOUT_FILENO, "\a", 1);
  }
}

void TerminalConsole::Stop() {
  if (active_ != this) return;
  inputNotifier.reset();
  if (!inputEnded_) {
    rl_callback_handler_remove();
    Write("\n");
  }
  if (!history_.empty()) write_history(history_.c_str());
  // Standard output becomes the terminal again, which closes the pipe: the reader ends after the
  // last output, which is printed here.
  std::fflush(stdout);
  dup2(terminal_, STDOUT_FILENO);
  if (reader_.joinable()) reader_.join();
  close(pipeRead_);
  active_ = nullptr;
  Write(pending_);
  pending_.clear();
  close(terminal_);
  terminal_ = -1;
}

}  // namespace plumo
