// SPDX-License-Identifier: GPL-3.0-or-later
// TKeyDialog: "Check key…" of the roster menu. It shows what the program knows of one peer's key
// (nick, address, whether the key is checked), the safety number the two users read to each other
// in a fixed-width grid, both fingerprints, "Mark as checked" / "Clear check", and the six-digit
// check: "Compare six digits" asks the peer's program, both screens show the same six digits, and
// each user answers "Same" or "Different". The dialog only shows and asks; the keyring and the check
// live in the core's TPrivateTalk, whose OnCheck progress the window hands to ShowCheck. Marks go
// through TPrivateTalk, which tells the window (OnLockChanged) to repaint the locks.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

#include "core/private_talk.h"

class QLabel;
class QPushButton;

namespace plumo::ui {

class TKeyDialog : public QDialog {
  Q_OBJECT

 public:
  // A language text (code page 1251) by its message key.
  using TextLookup = std::function<std::string(const char* key)>;

  TKeyDialog(TPrivateTalk& talk, TextLookup text, std::string nick, std::string address,
             QWidget* parent = nullptr);
  ~TKeyDialog() override;

  const std::string& Nick() const { return nick_; }
  const std::string& Address() const { return address_; }
  // The key the peer at nick and address has shown, if any.
  std::optional<secure::PublicKey> Key() const;
  // Shows a step of the six-digit check; steps of a check with another key are not this dialog's.
  void ShowCheck(const TKeyCheckState& state);
  // Reads the key, its mark and the fingerprints again (the window calls it when a key's status
  // changed: TPrivateTalk::OnLockChanged).
  void Refresh();
  // The 60 digits of a safety number as three rows of four groups of five, whatever separates them in
  // number; number unchanged when it does not hold 60 digits.
  static QString SafetyGrid(const std::string& number);

 protected:
  void done(int result) override;

 private:
  QString Text(const char* key, const std::vector<std::string>& args = {}) const;
  void SetChecked(bool checked);
  // The check's part of the dialog for a phase.
  void ShowPhase(TKeyCheckState::Phase phase, const std::string& code);

  TPrivateTalk& talk_;
  TextLookup text_;
  std::string nick_;
  std::string address_;
  // The key whose fingerprints the dialog shows: the one "Mark as checked" marks.
  std::optional<secure::PublicKey> shown_;
  TKeyCheckState::Phase phase_ = TKeyCheckState::Idle;
  bool answeredSame_ = false;  // "Same" was clicked; the peer's answer is awaited
  QLabel* peer_ = nullptr;
  QLabel* state_ = nullptr;
  QLabel* safetyTitle_ = nullptr;
  QLabel* safety_ = nullptr;
  QLabel* peerPrintTitle_ = nullptr;
  QLabel* peerPrint_ = nullptr;
  QLabel* ownPrint_ = nullptr;
  QPushButton* mark_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* compare_ = nullptr;
  QLabel* checkState_ = nullptr;
  QLabel* code_ = nullptr;
  QPushButton* same_ = nullptr;
  QPushButton* different_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace plumo::ui
