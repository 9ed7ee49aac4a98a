// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/delivery_face.h"

#include <QCheckBox>
#include <QWidget>

#include "ui/conversation_tabs.h"
#include "ui/qt_text.h"

namespace plumo::ui {

TDeliveryFace::TDeliveryFace(QWidget& window, QWidget& panel, ConversationTabs& channels,
                             ConversationTabs& inputs, TextLookup text)
    : QObject(&window), window_(window), text_(std::move(text)) {
  setObjectName(QStringLiteral("DeliveryFace"));
  ask_ = new QCheckBox(&panel);
  ask_->setObjectName(QStringLiteral("AskAcknowledge"));
  ask_->setFocusPolicy(Qt::NoFocus);  // the keyboard stays in the editor
  ask_->hide();
  questions_ = new TQuestionBar(&panel);
  const auto clicked = [this](MessageId id, TDeliveryMark::Action action) { MarkClicked(id, action); };
  const auto changed = [this](const TDeliveryMark& mark) {
    if (rollCall_ && rollCall_->Id() == mark.Id) rollCall_->Refresh();
  };
  for (ConversationTabs* tabs : {&channels, &inputs}) {
    tabs->OnMarkClicked = clicked;
    tabs->OnMarkChanged = changed;
  }
  Retranslate();
}

TDeliveryFace::~TDeliveryFace() = default;

QString TDeliveryFace::Text(const char* key) const {
  return FromCp1251(text_ ? text_(key) : std::string(key));
}

void TDeliveryFace::Retranslate() {
  ask_->setText(Text("AskAcknowledge"));
  questions_->SetButtonTexts(Text("ButtonYes"), Text("ButtonNo"));
}

void TDeliveryFace::MarkClicked(MessageId id, TDeliveryMark::Action action) {
  if (action == TDeliveryMark::Action::RollCall) {
    OpenRollCall(id);
    return;
  }
  if (ledger_ != nullptr) ledger_->Activate(id, action);
}

void TDeliveryFace::OpenRollCall(MessageId id) {
  if (ledger_ == nullptr || ledger_->Find(id) == nullptr) return;
  if (rollCall_ && rollCall_->Id() != id) {
    rollCall_->close();
    rollCall_ = nullptr;
  }
  if (!rollCall_) rollCall_ = new TRollCallDialog(*ledger_, text_, id, &window_);
  rollCall_->Refresh();
  rollCall_->show();
  rollCall_->raise();
  rollCall_->activateWindow();
}

void TDeliveryFace::ShowAskAcknowledge(bool massMessage) {
  // A message to everybody starts without the request.
  if (massMessage && ask_->isHidden()) ask_->setChecked(false);
  ask_->setVisible(massMessage);
}

bool TDeliveryFace::AskAcknowledgeChecked() const {
  return !ask_->isHidden() && ask_->isChecked();
}

void TDeliveryFace::ClearAskAcknowledge() {
  ask_->setChecked(false);
}

void TDeliveryFace::Close() {
  questions_->Forget();
  if (rollCall_) rollCall_->close();
}

}  // namespace plumo::ui
