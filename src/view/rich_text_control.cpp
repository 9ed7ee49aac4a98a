// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/rich_text_control.h"

#include <QAbstractTextDocumentLayout>
#include <QDropEvent>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextCursor>
#include <QToolTip>

#include "view/markup.h"

namespace plumo {
namespace {

bool IsLineBreakKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// The range a deleting key removes when nothing is selected (as QTextEdit deletes it).
bool DeletionRange(const QKeyEvent* event, const QTextCursor& cursor, int& start, int& end) {
  QTextCursor c(cursor.document());
  const int pos = cursor.position();
  c.setPosition(pos);
  start = pos;
  end = pos;
  if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier)) {
    start = std::max(0, pos - 1);
  } else if (event->matches(QKeySequence::Delete)) {
    end = pos + 1;
  } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
    c.movePosition(QTextCursor::PreviousWord);
    start = c.position();
  } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
    c.movePosition(QTextCursor::NextWord);
    end = c.position();
  } else if (event->matches(QKeySequence::DeleteEndOfLine)) {
    c.movePosition(QTextCursor::EndOfBlock);
    end = std::max(c.position(), pos + 1);
  } else if (event->matches(QKeySequence::DeleteCompleteLine)) {
    c.movePosition(QTextCursor::StartOfBlock);
    start = c.position();
    c.movePosition(QTextCursor::EndOfBlock);
    end = c.position() + 1;
  } else {
    return false;
  }
  return true;
}

// True when the key puts text (or, where line breaks are accepted, a line break) into the control.
bool InsertsText(const QKeyEvent* event, bool acceptLineBreaks) {
  const QString text = event->text();
  const bool types = !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == QLatin1Char('\t'));
  return types || (IsLineBreakKey(event) && acceptLineBreaks);
}

}  // namespace

RichTextControl::RichTextControl(QWidget* parent) : QTextEdit(parent) {
  setAcceptRichText(false);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setUndoRedoEnabled(false);
  setMouseTracking(true);
}

bool RichTextControl::EditAllowed(int start, int end, bool deleteKey) const {
  return !protect_ || protect_(std::min(start, end), std::max(start, end), deleteKey);
}

bool RichTextControl::DeleteSelection() {
  QTextCursor c = textCursor();
  if (!c.hasSelection() || !EditAllowed(c.selectionStart(), c.selectionEnd())) return false;
  c.removeSelectedText();
  setTextCursor(c);
  return true;
}

bool RichTextControl::InsertText(QTextCursor& cursor, const QString& text, const QTextCharFormat* format) {
  if (isReadOnly() || !EditAllowed(cursor.selectionStart(), cursor.selectionEnd())) return false;
  if (format != nullptr) {
    cursor.insertText(text, *format);
  } else {
    cursor.insertText(text);
  }
  setTextCursor(cursor);
  return true;
}

void RichTextControl::CleanTypingFormat() {
  if (isReadOnly()) return;
  QTextCursor selected = textCursor();
  if (selected.hasSelection()) {
    // A format set now would restyle the selected text (its pictures would lose their codes). The
    // text about to be inserted replaces the selection, so the selection goes first.
    selected.removeSelectedText();
    setTextCursor(selected);
  }
  QTextCharFormat f = currentCharFormat();
  const bool dirty = f.hasProperty(kHiddenProperty) || f.isAnchor() || f.hasProperty(kSmileyCodeProperty) ||
                     f.boolProperty(kAutoLinkProperty) || f.isImageFormat();
  if (!dirty) return;
  QTextCharFormat clean;
  // Typing keeps the colour markup reads there (a hidden marker's colour from before it was hidden).
  const QColor colour = MarkupColor(f, QColor());
  if (colour.isValid()) clean.setForeground(colour);
  QTextCursor c = textCursor();
  c.setCharFormat(clean);  // only the typing format: the cursor has no selection here
  setCurrentCharFormat(clean);
}

bool RichTextControl::KeyAllowed(QKeyEvent* event) const {
  if (isReadOnly() || !protect_) return true;
  const QTextCursor c = textCursor();
  const int s = c.selectionStart();
  const int e = c.selectionEnd();
  const bool deleteKey = event->matches(QKeySequence::Delete);
  if (event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Paste)) return EditAllowed(s, e);
  int ds = 0;
  int de = 0;
  if (DeletionRange(event, c, ds, de)) {
    if (c.hasSelection()) return EditAllowed(s, e, deleteKey);
    return ds == de || EditAllowed(ds, de, deleteKey);
  }
  return !InsertsText(event, acceptLineBreaks_) || EditAllowed(s, e);
}

void RichTextControl::keyPressEvent(QKeyEvent* event) {
  if (IsLineBreakKey(event) && !acceptLineBreaks_) {
    event->ignore();
    return;
  }
  if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
    event->accept();  // program rewrites are not undoable steps, so neither is typing
    return;
  }
  if (!KeyAllowed(event)) {
    event->accept();
    return;
  }
  if (InsertsText(event, acceptLineBreaks_)) CleanTypingFormat();
  QTextEdit::keyPressEvent(event);
}

void RichTextControl::inputMethodEvent(QInputMethodEvent* event) {
  if (!isReadOnly() && protect_ &&
      (!event->commitString().isEmpty() || !event->preeditString().isEmpty() ||
       event->replacementLength() > 0)) {
    const QTextCursor c = textCursor();
    int s = c.selectionStart();
    int e = c.selectionEnd();
    if (!c.hasSelection() && (event->replacementStart() != 0 || event->replacementLength() != 0)) {
      s = c.position() + event->replacementStart();
      e = s + event->replacementLength();
    }
    if (!EditAllowed(s, e)) {
      event->accept();
      return;
    }
  }
  if (!event->commitString().isEmpty() || !event->preeditString().isEmpty()) CleanTypingFormat();
  QTextEdit::inputMethodEvent(event);
}

void RichTextControl::mousePressEvent(QMouseEvent* event) {
  pressedAnchor_ = event->button() == Qt::LeftButton ? anchorAt(event->position().toPoint()) : QString();
  pressedAt_ = event->position().toPoint();
  QTextEdit::mousePressEvent(event);
}

void RichTextControl::mouseMoveEvent(QMouseEvent* event) {
  viewport()->setCursor(anchorAt(event->position().toPoint()).isEmpty() ? Qt::IBeamCursor
                                                                        : Qt::PointingHandCursor);
  // Dragging text away would move it out of the document; while the selection reaches protected
  // text the control offers the drag as a copy only.
  const QTextCursor c = textCursor();
  const bool guard = (event->buttons() & Qt::LeftButton) && !isReadOnly() && protect_ && c.hasSelection() &&
                     !EditAllowed(c.selectionStart(), c.selectionEnd());
  if (guard) setReadOnly(true);
  QTextEdit::mouseMoveEvent(event);
  if (guard) setReadOnly(false);
}

void RichTextControl::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const QString anchor = event->button() == Qt::LeftButton ? anchorAt(at) : QString();
  const bool click = !anchor.isEmpty() && anchor == pressedAnchor_ &&
                     (at - pressedAt_).manhattanLength() < 4 && !textCursor().hasSelection();
  pressedAnchor_.clear();
  QTextEdit::mouseReleaseEvent(event);
  if (!click) return;
  if (anchor.startsWith(QLatin1String(kMarkLinkScheme))) {
    emit MarkClicked(anchor);
  } else {
    emit LinkClicked(anchor);
  }
}

bool RichTextControl::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QPointF at =
        QPointF(help->pos()) + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int hit = document()->documentLayout()->hitTest(at, Qt::ExactHit);
    QString tip;
    if (hit >= 0 && hit < document()->characterCount() - 1) {
      // The format of the character at hit is the one a cursor after it reports.
      QTextCursor cursor(document());
      cursor.setPosition(hit + 1);
      tip = cursor.charFormat().toolTip();
    }
    if (!tip.isEmpty()) {
      QToolTip::showText(help->globalPos(), tip, viewport());
      return true;
    }
  }
  return QTextEdit::viewportEvent(event);
}

void RichTextControl::dropEvent(QDropEvent* event) {
  if (!isReadOnly() && protect_) {
    const int at = cursorForPosition(event->position().toPoint()).position();
    bool allowed = EditAllowed(at, at);
    if (allowed && event->source() == this && event->dropAction() == Qt::MoveAction) {
      const QTextCursor c = textCursor();
      allowed = EditAllowed(c.selectionStart(), c.selectionEnd());
    }
    if (!allowed) {
      event->ignore();
      return;
    }
  }
  QTextEdit::dropEvent(event);
}

bool RichTextControl::canInsertFromMimeData(const QMimeData* source) const {
  return source->hasText();
}

QMimeData* RichTextControl::createMimeDataFromSelection() const {
  auto* mime = new QMimeData;
  const QTextCursor c = textCursor();
  mime->setText(copy_ ? copy_(c.selectionStart(), c.selectionEnd()) : c.selectedText());
  return mime;
}

void RichTextControl::insertFromMimeData(const QMimeData* source) {
  if (isReadOnly() || !source->hasText()) return;
  QString text = TrimControls(source->text());
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  const QTextCursor selected = textCursor();
  if (!EditAllowed(selected.selectionStart(), selected.selectionEnd())) return;
  if (!acceptLineBreaks_ && text.contains(QLatin1Char('\n')) && lineBreaksPasted_) lineBreaksPasted_();
  if (!acceptLineBreaks_) text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  CleanTypingFormat();
  QTextCursor c = textCursor();
  const QTextCharFormat typing = currentCharFormat();
  if (InsertText(c, text, &typing)) emit Pasted();
}

}  // namespace plumo
