// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/question_bar.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace plumo::ui {

TQuestionBar::TQuestionBar(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("QuestionBar"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 2, 1);
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("QuestionText"));
  text_->setWordWrap(true);
  layout->addWidget(text_, 1);
  yes_ = new QPushButton(this);
  yes_->setObjectName(QStringLiteral("QuestionYes"));
  yes_->setAutoDefault(false);
  no_ = new QPushButton(this);
  no_->setObjectName(QStringLiteral("QuestionNo"));
  no_->setAutoDefault(false);
  layout->addWidget(yes_, 0);
  layout->addWidget(no_, 0);
  connect(yes_, &QPushButton::clicked, this, [this] { Answer(true); });
  connect(no_, &QPushButton::clicked, this, [this] { Answer(false); });
  hide();
}

TQuestionBar::~TQuestionBar() = default;

void TQuestionBar::SetButtonTexts(const QString& yes, const QString& no) {
  yes_->setText(yes);
  no_->setText(no);
}

void TQuestionBar::Ask(const QString& question, std::function<void(bool yes)> answered) {
  questions_.emplace_back(question, std::move(answered));
  if (questions_.size() == 1) ShowFirst();
}

void TQuestionBar::Forget() {
  while (!questions_.empty()) Answer(false);
}

void TQuestionBar::Answer(bool yes) {
  if (questions_.empty()) return;
  // The question leaves before its answer runs: the answer may ask the next one.
  std::function<void(bool)> answered = std::move(questions_.front().second);
  questions_.pop_front();
  ShowFirst();
  if (answered) answered(yes);
}

void TQuestionBar::ShowFirst() {
  const bool was = !isHidden();
  if (!questions_.empty()) text_->setText(questions_.front().first);
  setVisible(!questions_.empty());
  if (was != !isHidden() && OnShownChanged) OnShownChanged();
}

}  // namespace plumo::ui
