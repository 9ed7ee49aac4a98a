// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/roll_call_dialog.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "core/texts.h"
#include "lang/lng.h"
#include "ui/qt_text.h"

namespace plumo::ui {

namespace {

enum Column { NickColumn, AddressColumn, StateColumn, ReceivedColumn, AcknowledgedColumn, ColumnCount };

// The first words of a message, for the dialog's head line.
constexpr qsizetype kMessageChars = 120;

const char* ReasonKey(DeliveryOutcome reason) {
  switch (reason) {
    case DeliveryOutcome::Delivered:
    case DeliveryOutcome::NoAnswer:
      break;
    case DeliveryOutcome::PeerLeft:
      return "DeliveryPeerLeft";
    case DeliveryOutcome::PeerLost:
      return "DeliveryPeerLost";
    case DeliveryOutcome::PeerOffline:
      return "DeliveryPeerOffline";
    case DeliveryOutcome::Overwritten:
      return "DeliveryOverwritten";
  }
  return "DeliveryNoAnswer";
}

}  // namespace

TRollCallDialog::TRollCallDialog(TDeliveryLedger& ledger, TextLookup text, MessageId id, QWidget* parent)
    : QDialog(parent), ledger_(ledger), text_(std::move(text)), id_(id) {
  setObjectName(QStringLiteral("RollCallDialog"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(Text("RollCallTitle"));
  auto* layout = new QVBoxLayout(this);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("RollCallMessage"));
  message_->setWordWrap(true);
  layout->addWidget(message_);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("RollCallSummary"));
  QFont bold = summary_->font();
  bold.setBold(true);
  summary_->setFont(bold);
  layout->addWidget(summary_);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("RollCallList"));
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAlternatingRowColors(true);
  list_->setColumnCount(ColumnCount);
  list_->setHeaderLabels(Text("RollCallColumns").split(QLatin1Char(',')));
  list_->header()->setStretchLastSection(true);
  list_->setMinimumSize(520, 220);
  layout->addWidget(list_, 1);
  auto* buttons = new QHBoxLayout;
  sendAgain_ = new QPushButton(Text("RollCallSendAgain"), this);
  sendAgain_->setObjectName(QStringLiteral("RollCallSendAgain"));
  sendAgain_->setAutoDefault(false);
  buttons->addWidget(sendAgain_);
  buttons->addStretch(1);
  auto* close = new QPushButton(Text("ButtonClose"), this);
  close->setObjectName(QStringLiteral("RollCallClose"));
  close->setAutoDefault(false);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(sendAgain_, &QPushButton::clicked, this, [this] {
    ledger_.SendAgain(id_);
    Refresh();
  });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  close->setFocus();
  Refresh();
}

TRollCallDialog::~TRollCallDialog() = default;

QString TRollCallDialog::Text(const char* key, const std::vector<std::string>& args) const {
  const std::string format = text_ ? text_(key) : std::string(key);
  return FromCp1251(args.empty() ? format : FormatText(format, args));
}

// The words of the marks, per recipient.
QString TRollCallDialog::StateText(const TRecipient& recipient) const {
  switch (recipient.Status) {
    case RecipientStatus::Sending:
      return Text("DeliverySending");
    case RecipientStatus::Delivered:
      return Text(recipient.Later ? "DeliveredLater" : "Delivered", {TimeText(recipient.AtMs)});
    case RecipientStatus::NotDelivered:
      return Text("NotDeliveredBecause", {ToCp1251(Text(ReasonKey(recipient.Reason)))});
    case RecipientStatus::Waiting:
      return Text("DeliveryWaiting", {recipient.Nick});
    case RecipientStatus::Cancelled:
      return Text("DeliveryCancelled");
  }
  return {};
}

void TRollCallDialog::Refresh() {
  const TSentMessage* message = ledger_.Find(id_);
  if (message == nullptr) {
    list_->clear();
    summary_->clear();
    sendAgain_->setEnabled(false);
    return;
  }
  QString head = FromCp1251(message->Text).simplified();
  if (head.size() > kMessageChars) head = head.left(kMessageChars) + QChar(0x2026);
  message_->setText(head);
  const int total = static_cast<int>(message->Recipients.size());
  int delivered = 0;
  int acknowledged = 0;
  for (const TRecipient& r : message->Recipients) {
    delivered += r.Status == RecipientStatus::Delivered ? 1 : 0;
    acknowledged += r.Acknowledged ? 1 : 0;
  }
  summary_->setText(message->AskedAcknowledge
                        ? Text("RollCallAcknowledged", {std::to_string(delivered), std::to_string(total),
                                                        std::to_string(acknowledged)})
                        : Text("RollCall", {std::to_string(delivered), std::to_string(total)}));
  list_->setColumnHidden(AcknowledgedColumn, !message->AskedAcknowledge);
  // Rows stay the ledger's recipients, index for index, so a refresh moves nothing under the user.
  while (list_->topLevelItemCount() > total) delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
  while (list_->topLevelItemCount() < total) new QTreeWidgetItem(list_);
  const QString no = Text("ButtonNo");
  const QColor missing(0xC6, 0x28, 0x28);
  for (int i = 0; i < total; ++i) {
    const TRecipient& r = message->Recipients[static_cast<std::size_t>(i)];
    QTreeWidgetItem* item = list_->topLevelItem(i);
    const bool got = r.Status == RecipientStatus::Delivered;
    item->setText(NickColumn, FromCp1251(r.Nick));
    item->setText(AddressColumn, FromCp1251(r.Address));
    item->setText(StateColumn, StateText(r));
    item->setText(ReceivedColumn, got ? FromCp1251(TimeText(r.AtMs)) : no);
    item->setText(AcknowledgedColumn, r.Acknowledged ? FromCp1251(TimeText(r.AcknowledgedAtMs)) : no);
    const QBrush colour = got ? QBrush() : QBrush(missing);
    for (int c = 0; c < ColumnCount; ++c) item->setForeground(c, colour);
  }
  sendAgain_->setEnabled(delivered < total);
  for (int c = 0; c + 1 < ColumnCount; ++c) list_->resizeColumnToContents(c);
}

}  // namespace plumo::ui
