// SPDX-License-Identifier: GPL-3.0-or-later
// TRollCallDialog: who has a sent message and who is missing. Opened by a click on the roll-call
// mark of a message to everybody ("received by 27 of 30"), it lists every recipient the core's
// delivery ledger holds (nick, address, state, when it was received and, when the message asked for
// it, when it was acknowledged) and offers "Send again to the missing". The ledger decides; the
// dialog shows it and is read again whenever the message's mark changes (Refresh), so it stays live
// while open.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "core/delivery.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace plumo::ui {

class TRollCallDialog : public QDialog {
  Q_OBJECT

 public:
  // A language text (code page 1251) by its message key.
  using TextLookup = std::function<std::string(const char* key)>;

  // ledger must outlive the dialog.
  TRollCallDialog(TDeliveryLedger& ledger, TextLookup text, MessageId id, QWidget* parent = nullptr);
  ~TRollCallDialog() override;

  MessageId Id() const { return id_; }
  // Reads the message's recipients again, keeping the rows (and the selection) where they are.
  void Refresh();

 private:
  QString Text(const char* key, const std::vector<std::string>& args = {}) const;
  QString StateText(const TRecipient& recipient) const;

  TDeliveryLedger& ledger_;
  TextLookup text_;
  MessageId id_ = 0;
  QLabel* message_ = nullptr;
  QLabel* summary_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QPushButton* sendAgain_ = nullptr;
};

}  // namespace plumo::ui
