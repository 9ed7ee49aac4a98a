// SPDX-License-Identifier: GPL-3.0-or-later
// RichTextControl: the rich-text widget a view manager shows its conversations in. On top of QTextEdit
// it reports link clicks, copies and pastes markup as plain text (pictures as their codes), and asks
// a protection filter before any user edit (typing, deleting, cutting, pasting, dropping, input
// methods, dragging text away) and before every insertion the program makes for the user
// (InsertText), so that the protected quote of a reply draft cannot change.
#pragma once

#include <QTextEdit>

#include <functional>

namespace plumo {

// The target of a clickable delivery mark starts with this: "plumo-mark:ID:ACTION".
inline constexpr char kMarkLinkScheme[] = "plumo-mark:";

class RichTextControl : public QTextEdit {
  Q_OBJECT

 public:
  // Decides one user edit that replaces [start, end) (start == end for a pure insertion);
  // deleteKey is set when the edit comes from the Delete key. True lets it happen.
  using ProtectFilter = std::function<bool(int start, int end, bool deleteKey)>;
  // Turns [start, end) into the plain text that a copy puts on the clipboard.
  using CopyFilter = std::function<QString(int start, int end)>;

  explicit RichTextControl(QWidget* parent = nullptr);

  void SetProtectFilter(ProtectFilter filter) { protect_ = std::move(filter); }
  void SetCopyFilter(CopyFilter filter) { copy_ = std::move(filter); }
  // Without line breaks (single-line editing) Enter and Return are left to the parent.
  void SetAcceptLineBreaks(bool accept) { acceptLineBreaks_ = accept; }
  // Asked when text with line breaks is pasted or dropped while line breaks are not accepted; the
  // owner may switch the control to accept them (then the breaks are kept). Without it, or when
  // the control still refuses line breaks afterwards, the lines are joined with blanks.
  void SetLineBreaksPasted(std::function<void()> handler) { lineBreaksPasted_ = std::move(handler); }
  bool AcceptLineBreaks() const { return acceptLineBreaks_; }

  // True when the filter lets the user replace [start, end).
  bool EditAllowed(int start, int end, bool deleteKey = false) const;
  // Deletes the selection when the filter allows it; false when refused or nothing is selected.
  bool DeleteSelection();
  // Every insertion the program makes for the user (pastes, menus, completion, re-typing) goes
  // through here, so none can reach protected text: text replaces the selection of cursor (a
  // cursor on this control's document) in format (the typing format when null), the caret goes
  // after it and the control's cursor becomes it. False, and nothing changes, when the filter
  // refuses the change.
  bool InsertText(QTextCursor& cursor, const QString& text, const QTextCharFormat* format = nullptr);

 signals:
  // A click (press and release without moving) on a link; `link` is the link's target.
  void LinkClicked(const QString& link);
  // The same click on a delivery mark (a link whose target starts with kMarkLinkScheme).
  void MarkClicked(const QString& link);
  // Text was pasted (Ctrl+V, the owner's menu through paste(), the middle button) or dropped in;
  // the owner formats it.
  void Pasted();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Shows the tool tip of the text under the mouse (a delivery mark's detail).
  bool viewportEvent(QEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  QMimeData* createMimeDataFromSelection() const override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  bool KeyAllowed(QKeyEvent* event) const;
  // Typed text must not continue a hidden marker, a link or a picture.
  void CleanTypingFormat();

  ProtectFilter protect_;
  CopyFilter copy_;
  std::function<void()> lineBreaksPasted_;
  bool acceptLineBreaks_ = true;
  QString pressedAnchor_;
  QPoint pressedAt_;
};

}  // namespace plumo
