// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/key_dialog.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "lang/lng.h"
#include "ui/qt_text.h"

namespace plumo::ui {

namespace {

QLabel* NewLabel(QWidget* parent, const char* name, bool wrap = true) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(wrap);
  return label;
}

QPushButton* NewButton(QWidget* parent, const char* name) {
  auto* button = new QPushButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

// Digits that the eye follows along a row: fixed width, selectable for a copy.
void Digits(QLabel* label, qreal scale) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSizeF(font.pointSizeF() * scale);
  label->setFont(font);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setWordWrap(false);
}

}  // namespace

TKeyDialog::TKeyDialog(TPrivateTalk& talk, TextLookup text, std::string nick, std::string address,
                       QWidget* parent)
    : QDialog(parent),
      talk_(talk),
      text_(std::move(text)),
      nick_(std::move(nick)),
      address_(std::move(address)) {
  setObjectName(QStringLiteral("KeyDialog"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(Text("KeyTitle", {nick_}));

  auto* layout = new QVBoxLayout(this);
  peer_ = NewLabel(this, "KeyPeer");
  QFont bold = peer_->font();
  bold.setBold(true);
  peer_->setFont(bold);
  peer_->setText(Text("KeyPeer", {nick_, address_}));
  layout->addWidget(peer_);
  state_ = NewLabel(this, "KeyState");
  layout->addWidget(state_);

  safetyTitle_ = NewLabel(this, "SafetyNumberTitle");
  safetyTitle_->setText(Text("KeySafetyNumber"));
  layout->addWidget(safetyTitle_);
  safety_ = NewLabel(this, "SafetyNumber");
  Digits(safety_, 1.3);
  safety_->setContentsMargins(12, 4, 12, 4);
  layout->addWidget(safety_);

  peerPrintTitle_ = NewLabel(this, "PeerFingerprintTitle");
  peerPrintTitle_->setText(Text("KeyPeerFingerprint", {nick_}));
  layout->addWidget(peerPrintTitle_);
  peerPrint_ = NewLabel(this, "PeerFingerprint");
  Digits(peerPrint_, 1.0);
  layout->addWidget(peerPrint_);
  auto* ownTitle = NewLabel(this, "OwnFingerprintTitle");
  ownTitle->setText(Text("KeyOwnFingerprint"));
  layout->addWidget(ownTitle);
  ownPrint_ = NewLabel(this, "OwnFingerprint");
  Digits(ownPrint_, 1.0);
  layout->addWidget(ownPrint_);

  auto* marks = new QHBoxLayout;
  mark_ = NewButton(this, "MarkChecked");
  mark_->setText(Text("KeyMarkChecked"));
  clear_ = NewButton(this, "ClearCheck");
  clear_->setText(Text("KeyClearCheck"));
  marks->addWidget(mark_);
  marks->addWidget(clear_);
  marks->addStretch(1);
  layout->addLayout(marks);

  auto* line = new QFrame(this);
  line->setObjectName(QStringLiteral("KeyCheckLine"));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout->addWidget(line);

  auto* hint = NewLabel(this, "CompareHint");
  hint->setText(Text("KeyCompareHint"));
  layout->addWidget(hint);
  auto* start = new QHBoxLayout;
  compare_ = NewButton(this, "CompareDigits");
  compare_->setText(Text("KeyCompare"));
  // Enter starts the check; while it runs the button is off, so Enter never answers "Same".
  compare_->setDefault(true);
  start->addWidget(compare_);
  start->addStretch(1);
  layout->addLayout(start);
  checkState_ = NewLabel(this, "CheckState");
  layout->addWidget(checkState_);
  code_ = NewLabel(this, "CheckCode");
  Digits(code_, 2.6);
  code_->setAlignment(Qt::AlignCenter);
  layout->addWidget(code_);
  auto* answers = new QHBoxLayout;
  answers->addStretch(1);
  same_ = NewButton(this, "SameDigits");
  same_->setText(Text("KeySame"));
  different_ = NewButton(this, "DifferentDigits");
  different_->setText(Text("KeyDifferent"));
  cancel_ = NewButton(this, "CancelCheck");
  cancel_->setText(Text("ButtonCancel"));
  answers->addWidget(same_);
  answers->addWidget(different_);
  answers->addWidget(cancel_);
  answers->addStretch(1);
  layout->addLayout(answers);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  auto* close = NewButton(this, "KeyClose");
  close->setText(Text("ButtonClose"));
  bottom->addWidget(close);
  layout->addLayout(bottom);

  connect(mark_, &QPushButton::clicked, this, [this] { SetChecked(true); });
  connect(clear_, &QPushButton::clicked, this, [this] { SetChecked(false); });
  connect(compare_, &QPushButton::clicked, this, [this] {
    // Progress arrives through ShowCheck; a check that cannot start says so at once.
    if (!talk_.StartCheck(nick_, address_)) ShowPhase(TKeyCheckState::Cancelled, {});
  });
  connect(same_, &QPushButton::clicked, this, [this] {
    answeredSame_ = true;
    talk_.ConfirmCheck(true);
    if (phase_ == TKeyCheckState::Compare) ShowPhase(phase_, code_->text().toStdString());
  });
  connect(different_, &QPushButton::clicked, this, [this] { talk_.ConfirmCheck(false); });
  connect(cancel_, &QPushButton::clicked, this, [this] { talk_.CancelCheck(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  // The keyboard starts on Close: a Space meant for another window marks nothing and answers nothing.
  close->setFocus();

  Refresh();
  ShowPhase(TKeyCheckState::Idle, {});
}

TKeyDialog::~TKeyDialog() = default;

QString TKeyDialog::Text(const char* key, const std::vector<std::string>& args) const {
  const std::string format = text_ ? text_(key) : std::string(key);
  return FromCp1251(args.empty() ? format : FormatText(format, args));
}

std::optional<secure::PublicKey> TKeyDialog::Key() const {
  return talk_.Ready() ? talk_.KeyOfPeer(nick_, address_) : std::nullopt;
}

QString TKeyDialog::SafetyGrid(const std::string& number) {
  std::string digits;
  for (const char c : number)
    if (c >= '0' && c <= '9') digits += c;
  if (digits.size() != 60) return QString::fromStdString(number);
  QString grid;
  for (std::size_t group = 0; group < 12; ++group) {
    if (group > 0) grid += group % 4 == 0 ? QStringLiteral("\n") : QStringLiteral("  ");
    grid += QString::fromStdString(digits.substr(group * 5, 5));
  }
  return grid;
}

void TKeyDialog::Refresh() {
  const std::optional<secure::PublicKey> key = Key();
  const bool usable = key.has_value() && talk_.Ready();
  shown_ = key;
  if (key) talk_.KeyShown(*key);
  ownPrint_->setText(QString::fromStdString(talk_.OwnFingerprint()));
  for (QWidget* w : {static_cast<QWidget*>(safetyTitle_), static_cast<QWidget*>(safety_),
                     static_cast<QWidget*>(peerPrintTitle_), static_cast<QWidget*>(peerPrint_)})
    w->setVisible(key.has_value());
  if (!key) {
    state_->setText(Text("KeyNoKey", {nick_}));
    mark_->setEnabled(false);
    clear_->setEnabled(false);
    compare_->setEnabled(false);
    return;
  }
  safety_->setText(SafetyGrid(talk_.SafetyNumber(*key)));
  peerPrint_->setText(QString::fromStdString(secure::Fingerprint(*key)));
  const LockMark lock = talk_.Lock(nick_, address_);
  const TKnownKey* known = talk_.Keyring().Find(*key);
  const bool checked = known != nullptr && known->Checked;
  state_->setText(lock == LockMark::Changed ? Text("KeyIsChanged")
                  : checked                 ? Text("KeyIsChecked")
                                            : Text("KeyNotChecked"));
  mark_->setEnabled(!checked);
  clear_->setEnabled(checked);
  compare_->setEnabled(usable && phase_ != TKeyCheckState::Waiting && phase_ != TKeyCheckState::Compare);
}

void TKeyDialog::SetChecked(bool checked) {
  // Only the key the dialog shows is marked; one that came since is shown first.
  if (shown_ && Key() == shown_) talk_.SetChecked(*shown_, checked);
  Refresh();
}

void TKeyDialog::ShowCheck(const TKeyCheckState& state) {
  const std::optional<secure::PublicKey> key = Key();
  if (!key || state.Peer != *key) return;
  ShowPhase(state.What, state.Code);
  if (state.What == TKeyCheckState::Matched) Refresh();
}

void TKeyDialog::ShowPhase(TKeyCheckState::Phase phase, const std::string& code) {
  if (phase != TKeyCheckState::Compare) answeredSame_ = false;
  phase_ = phase;
  const bool running = phase == TKeyCheckState::Waiting || phase == TKeyCheckState::Compare;
  QString message;
  QString colour;
  switch (phase) {
    case TKeyCheckState::Idle:
      break;
    case TKeyCheckState::Waiting:
      message = Text("KeyCheckWaiting", {nick_});
      break;
    case TKeyCheckState::Compare:
      message = answeredSame_ ? Text("KeyCheckAnswered", {nick_}) : Text("KeyCheckCompare", {nick_});
      break;
    case TKeyCheckState::Matched:
      message = Text("KeyCheckMatched", {nick_});
      colour = QStringLiteral("#1B7F2F");
      break;
    case TKeyCheckState::Mismatch:
      message = Text("KeyCheckMismatch");
      colour = QStringLiteral("#C62828");
      break;
    case TKeyCheckState::Cancelled:
      message = Text("KeyCheckCancelled");
      break;
  }
  checkState_->setText(message);
  checkState_->setStyleSheet(colour.isEmpty() ? QString() : QStringLiteral("color: %1;").arg(colour));
  checkState_->setVisible(!message.isEmpty());
  code_->setText(QString::fromStdString(code));
  code_->setVisible(phase == TKeyCheckState::Compare && !code.empty());
  same_->setVisible(phase == TKeyCheckState::Compare && !answeredSame_);
  different_->setVisible(phase == TKeyCheckState::Compare && !answeredSame_);
  cancel_->setVisible(running);
  compare_->setEnabled(!running && Key().has_value() && talk_.Ready());
  adjustSize();
}

// Closing the dialog while its check runs cancels the check: nobody is left to answer it.
void TKeyDialog::done(int result) {
  const std::optional<secure::PublicKey> key = Key();
  if ((phase_ == TKeyCheckState::Waiting || phase_ == TKeyCheckState::Compare) && key &&
      talk_.Check().Peer == *key)
    talk_.CancelCheck();
  QDialog::done(result);
}

}  // namespace plumo::ui
