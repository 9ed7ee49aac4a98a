// SPDX-License-Identifier: GPL-3.0-or-later
// Line editing for a person at a terminal (the headless peer without --json, standard input and
// output both terminals): a prompt, editing keys and history from the readline library, and the
// peer's output printed above the line being typed instead of through it.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace plumo {

class TerminalConsole {
 public:
  // Whether both standard input and standard output are terminals.
  static bool Wanted();

  // Takes the terminal over: everything written to standard output from now on is printed above
  // the edited line. line gets each entered line (UTF-8), end the end of input (Ctrl+D). The
  // history is read from and written to historyFile (none when empty). False when the terminal
  // cannot be taken over (output then goes on as before).
  bool Start(QObject& loop, std::function<void(const std::string&)> line, std::function<void()> end,
             std::string historyFile);
  // Gives the terminal back: the edited line goes, standard output is the terminal again and what
  // was written to it last is printed. Safe to call twice.
  void Stop();
  void SetPrompt(const std::string& prompt);
  // A terminal bell, heard whatever is being typed.
  void Bell();

  ~TerminalConsole() { Stop(); }

 private:
  static void OnLine(char* text);
  void PrintPending();
  void Write(const std::string& text);

  static TerminalConsole* active_;
  QObject* loop_ = nullptr;
  std::function<void(const std::string&)> line_;
  std::function<void()> end_;
  std::string history_;
  std::string prompt_ = "> ";
  int terminal_ = -1;  // the terminal that standard output was
  int pipeRead_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::string pending_;  // output not yet printed (whole lines are printed)
  bool inputEnded_ = false;
};

}  // namespace plumo
