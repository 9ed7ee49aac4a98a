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

}  // namespace plumo::ui
