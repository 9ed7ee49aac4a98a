// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_answers.h"

#include <QGuiApplication>

namespace plumo::ui {

std::deque<std::optional<std::string>>& DialogAnswers::Queue() {
  static std::deque<std::optional<std::string>> queue;
  return queue;
}

std::vector<std::string>& DialogAnswers::AskedList() {
  static std::vector<std::string> list;
  return list;
}

std::vector<std::string>& DialogAnswers::ShownList() {
  static std::vector<std::string> list;
  return list;
}

void DialogAnswers::SetNextInputAnswer(std::optional<std::string> answer) {
  Queue().push_back(std::move(answer));
}

bool DialogAnswers::TakeInputAnswer(std::optional<std::string>& answer) {
  if (Queue().empty()) return false;
  answer = std::move(Queue().front());
  Queue().pop_front();
  return true;
}

bool DialogAnswers::CanAsk() {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

const std::vector<std::string>& DialogAnswers::Asked() {
  return AskedList();
}

const std::vector<std::string>& DialogAnswers::Shown() {
  return ShownList();
}

void DialogAnswers::RecordAsked(const std::string& title) {
  AskedList().push_back(title);
}

void DialogAnswers::RecordShown(const std::string& text) {
  ShownList().push_back(text);
}

void DialogAnswers::Reset() {
  Queue().clear();
  AskedList().clear();
  ShownList().clear();
}

void AskYesNo(QWidget* parent, const YesNoQuestion& question, std::function<void(bool yes)> answered,
              bool* asking) {
  DialogAnswers::RecordShown(question.Recorded);
  std::optional<std::string> queued;
  if (DialogAnswers::TakeInputAnswer(queued) || !DialogAnswers::CanAsk()) {
    answered(queued.has_value());
    return;
  }
  const QMessageBox::StandardButton yes = question.OkCancel ? QMessageBox::Ok : QMessageBox::Yes;
  const QMessageBox::StandardButton no = question.OkCancel ? QMessageBox::Cancel : QMessageBox::No;
  auto* box = new QMessageBox(question.Icon, question.Title, question.Text, yes | no, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setDefaultButton(question.DefaultYes ? yes : no);
  if (asking) *asking = true;
  QObject::connect(box, &QDialog::finished, box, [box, yes, asking, answered = std::move(answered)](int) {
    if (asking) *asking = false;
    answered(box->clickedButton() == box->button(yes));
  });
  box->open();
}

}  // namespace plumo::ui
