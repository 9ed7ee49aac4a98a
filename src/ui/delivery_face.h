// SPDX-License-Identifier: GPL-3.0-or-later
// TDeliveryFace: the main window's part of delivery status. The marks themselves are drawn by the
// views (RichConversationView); this class answers a click on a mark (the roll-call of a message to
// everybody opens TRollCallDialog, every other action goes to the core's delivery ledger), keeps an
// open roll-call live as its mark changes, owns the "Ask readers to acknowledge" check box of a
// message to everybody and the inline yes/no line of the message tab (TQuestionBar). The ledger
// decides everything; the window places the two widgets.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

#include "core/delivery.h"
#include "ui/question_bar.h"
#include "ui/roll_call_dialog.h"

class QCheckBox;
class QWidget;

namespace plumo::ui {

class ConversationTabs;

class TDeliveryFace : public QObject {
  Q_OBJECT

 public:
  using TextLookup = TRollCallDialog::TextLookup;

  // The conversations' marks become clickable; window is the dialogs' parent. The widgets are made
  // as children of panel (the message tab's column), hidden.
  TDeliveryFace(QWidget& window, QWidget& panel, ConversationTabs& channels, ConversationTabs& inputs,
                TextLookup text);
  ~TDeliveryFace() override;

  // The core's ledger (null: marks do nothing).
  void Attach(TDeliveryLedger* ledger) { ledger_ = ledger; }
  // A click on a mark: what the mark with id asks for.
  void MarkClicked(MessageId id, TDeliveryMark::Action action);
  // The roll-call of id, opened (or raised) as a dialog of its own.
  void OpenRollCall(MessageId id);
  TRollCallDialog* RollCall() const { return rollCall_; }

  // The check box shows while the message tab composes a message to everybody; its state is kept
  // until the message went.
  void ShowAskAcknowledge(bool massMessage);
  bool AskAcknowledgeChecked() const;
  void ClearAskAcknowledge();
  QCheckBox* AskAcknowledgeBox() const { return ask_; }
  TQuestionBar* Questions() const { return questions_; }
  // The captions from the language file of the moment.
  void Retranslate();
  // The window closes: open questions are answered no, the roll-call closes.
  void Close();

 private:
  QString Text(const char* key) const;

  QWidget& window_;
  TextLookup text_;
  TDeliveryLedger* ledger_ = nullptr;
  QPointer<TRollCallDialog> rollCall_;
  QCheckBox* ask_ = nullptr;
  TQuestionBar* questions_ = nullptr;
};

}  // namespace plumo::ui
