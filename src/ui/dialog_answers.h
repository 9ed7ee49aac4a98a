// SPDX-License-Identifier: GPL-3.0-or-later
// DialogAnswers: the answers the main window's dialog boxes give without asking anyone. Tests (and
// scripted runs) queue answers here; while an answer is queued, the next input box takes it instead
// of opening. On a platform without a screen ("offscreen", "minimal") no dialog ever opens: an input
// box without a queued answer counts as cancelled, and a message box is only recorded.
#pragma once

#include <QMessageBox>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace plumo::ui {

class DialogAnswers {
 public:
  // Queues the answer of the next input box (code page 1251); nullopt: it is cancelled. The colour
  // dialog takes its answer from the same queue, as a colour name ("#RRGGBB").
  static void SetNextInputAnswer(std::optional<std::string> answer);
  // Takes the next queued answer: false when none is queued (the box must ask, or be cancelled
  // where nobody can answer). On true, answer holds the queued answer.
  static bool TakeInputAnswer(std::optional<std::string>& answer);
  // Whether dialogs may open: false on a platform with no screen.
  static bool CanAsk();
  // Titles of the input boxes and texts of the message boxes of this run, in order.
  static const std::vector<std::string>& Asked();
  static const std::vector<std::string>& Shown();
  static void RecordAsked(const std::string& title);
  static void RecordShown(const std::string& text);
  // Forgets queued answers and records.
  static void Reset();

 private:
  static std::deque<std::optional<std::string>>& Queue();
  static std::vector<std::string>& AskedList();
  static std::vector<std::string>& ShownList();
};

// A question with two answers (Yes/No, or Ok/Cancel with okCancel) in a box opened with open(), so
// no nested event loop runs: answered(true) for Yes or Ok. recorded is what DialogAnswers records as
// shown; a queued answer counts as Yes, a cancelled one (or none where nobody can answer) as No.
// asking, when given, is set while the box is open.
struct YesNoQuestion {
  QMessageBox::Icon Icon = QMessageBox::Question;
  QString Title = QStringLiteral("Plumo");
  QString Text;
  std::string Recorded;
  bool DefaultYes = false;
  bool OkCancel = false;
};
void AskYesNo(QWidget* parent, const YesNoQuestion& question, std::function<void(bool yes)> answered,
              bool* asking = nullptr);

}  // namespace plumo::ui
