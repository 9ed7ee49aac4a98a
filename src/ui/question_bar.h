// SPDX-License-Identifier: GPL-3.0-or-later
// TQuestionBar: a yes/no question asked inline, in a line of the message tab, without a box and
// without waiting ("anna is not here: deliver when anna comes back?"). Questions asked while one is
// shown wait their turn; each gets exactly one answer. Forget() answers every open question no (the
// window closes).
#pragma once

#include <QFrame>

#include <deque>
#include <functional>
#include <utility>

class QLabel;
class QPushButton;

namespace plumo::ui {

class TQuestionBar : public QFrame {
  Q_OBJECT

 public:
  explicit TQuestionBar(QWidget* parent = nullptr);
  ~TQuestionBar() override;

  // Shows question (or queues it behind the one shown); answered is called once with the answer.
  void Ask(const QString& question, std::function<void(bool yes)> answered);
  // The captions of the two buttons (the language file's Yes and No).
  void SetButtonTexts(const QString& yes, const QString& no);
  // Every open question is answered no.
  void Forget();
  bool Asking() const { return !questions_.empty(); }
  // Called when the bar appears or disappears (the window gives the editor the rest of the height).
  std::function<void()> OnShownChanged;

 private:
  void Answer(bool yes);
  void ShowFirst();

  QLabel* text_ = nullptr;
  QPushButton* yes_ = nullptr;
  QPushButton* no_ = nullptr;
  std::deque<std::pair<QString, std::function<void(bool)>>> questions_;
};

}  // namespace plumo::ui
