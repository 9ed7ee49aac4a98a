// SPDX-License-Identifier: GPL-3.0-or-later
// TVRichEdits: one rich-text control showing many conversations (TVRichedit), one at a time. The
// conversations are known by their index alone: what a conversation is (its name, icon, display mode,
// recipients) belongs to the core's conversation list, which tells the view what changed (see
// RichConversationView); the view keeps only what the screen needs. Each conversation keeps its own
// text document (colours, links, hidden markers, pictures with their codes), so showing a conversation
// swaps documents instead of re-reading its content. Lines for a conversation that is not displayed
// (or while the window is hidden) are queued and formatted once when it is shown. Lines added to the
// displayed log are queued as well and appended together at the next flush, which runs from the event
// loop at most every kFlushIntervalMs, so a flood of lines pays one insertion, one layout and one
// paint per flush instead of per line; every operation that reads or changes the displayed document
// flushes first, so no caller sees a log without the lines added before. Lines added to a displayed
// editor conversation (a reply draft) are appended at once. Adding lines costs the same however long
// the conversation is. Lines and markup are code-page 1251 text. The first paragraph of each line
// carries kRowStart as its block state, so that DropOldest finds where a line ends whatever line
// breaks it has; how many lines a conversation keeps is the core's decision.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QObject>
#include <QTextDocument>
#include <QTimer>

#include <QTextCursor>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/surfaces.h"
#include "lang/text_helpers.h"
#include "view/smileys.h"

namespace plumo {

class RichTextControl;

// How the control is set up for a conversation: the core's display modes, so one program can use
// both. ModeSingleLine: editable, Enter inserts no line break, word wrap (the owner may let the
// control grow to show a long line whole). ModeMultiLine: editable,
// word wrap. ModeReply: as ModeMultiLine, taller; the quoted conversation after the reply is
// protected. ModeLog: read-only, word wrap, fills the remaining space.
using TViewMode = ViewMode;

// A delivery mark drawn at the end of a row, or waiting with its queued row.
struct TMarkSpot {
  TDeliveryMark Mark;
  // The mark's first position in the conversation's document: a cursor, so that it follows every
  // edit above it (lines prepended, the oldest dropped). Null while the row is queued.
  QTextCursor At;
  // Characters the drawn mark takes; -1 while its row is queued.
  int Length = -1;
};

// What a click on a mark asks for.
struct TMarkClick {
  MessageId Id = 0;
  TDeliveryMark::Action Click = TDeliveryMark::Action::None;
};
// Draws mark at position at of doc (the end of its row): a picture (picture(mark.Icon), none when
// null or empty) and the text, with the tooltip, as a link when a click does something; returns the
// characters it takes.
int DrawDeliveryMark(QTextDocument& doc, int at, const TDeliveryMark& mark,
                     const std::function<QImage(int icon)>& picture);
// The click a mark's link target stands for; nullopt for any other link.
std::optional<TMarkClick> ParseMarkLink(const QString& link);

// What the screen keeps of one conversation: its document, the lines waiting for it and the protection
// of a reply draft's quote.
class TVRichedit {
 public:
  TVRichedit();
  ~TVRichedit();
  TVRichedit(const TVRichedit&) = delete;
  TVRichedit& operator=(const TVRichedit&) = delete;

  // The conversation's formatted content; displayed in the control while the conversation is shown.
  std::unique_ptr<QTextDocument> Content;
  // Marked-up lines (each already ending in "#^000000") waiting to be shown, in arrival order: lines
  // that arrived while the conversation was not displayed, and for the displayed log the lines added
  // since the last flush.
  std::vector<std::string> PendingLines;
  // Lets the next user change of protected text through; cleared after every decision.
  bool AllowProtectedEdit = false;
  // Length of the protected quote at the end of a reply draft.
  int ProtectedLength = 0;
  // Paragraphs of stored history at the start of the content (PrependLines; DropOldest lowers it).
  int HistoryRows = 0;
  // The delivery marks of its rows by message id, drawn or queued with their rows.
  std::unordered_map<MessageId, TMarkSpot> Marks;
  // Marks of queued rows, oldest row first: the row's number counted from the first line ever
  // queued (PendingTaken + its index in PendingLines).
  std::deque<std::pair<std::uint64_t, MessageId>> QueuedMarks;
  // How many queued lines have left PendingLines from its front since the conversation began.
  std::uint64_t PendingTaken = 0;

  // Number of smiley pictures in the content.
  int SmileyCount() const;
};

class TVRichEdits : public QObject {
 public:
  // The longest a line added to the displayed log waits before it is appended: about one frame, short
  // enough to look immediate, long enough for a burst of lines to share one layout and paint.
  static constexpr int kFlushIntervalMs = 20;
  // At most this many lines are appended by one flush from the event loop (some 15 ms of formatting
  // and layout on a modest machine); a longer queue is appended by the following flushes, so that the
  // loop is never blocked for long. A flush asked for by a caller appends everything.
  static constexpr int kMaxFlushLines = 200;
  // The block state of the first paragraph of every line.
  static constexpr int kRowStart = 1;

  // control is not owned and may be null (then nothing is displayed; tests use this).
  explicit TVRichEdits(RichTextControl* control);
  ~TVRichEdits() override;

  // Set by the owner after construction.
  const SmileyPictures* SmileyImages = nullptr;
  const std::vector<SmileyCode>* SmileyCodes = nullptr;
  int SingleLineHeight = 25;
  int MultiLineHeight = 50;
  int ReplyHeight = 100;
  bool HotNicks = false;
  // A mark that ends the header (the first line) of an added line, shown as HeaderPicture instead
  // (the lock of an encrypted message). The picture carries the mark as its code, so the line's
  // markup (a reply's quote) still reads the mark. Only the header's very end is looked at: text a
  // sender chose (a nick, the message) cannot end a header.
  QString HeaderMark;
  QImage HeaderPicture;
  // Called by ApplyMode with the height of modes 0 to 2; without it the control's height is fixed.
  std::function<void(int height)> OnHeight;
  // The picture of a delivery mark's icon (an icon:: index); without it, or for a null image, a mark
  // is its text alone.
  std::function<QImage(int icon)> MarkPicture;

  // Inserts an empty conversation at index (Count() appends); false for an index outside 0..Count().
  bool InsertView(int index);
  // Removes the conversation at index, taking it off the control first when it is the current one
  // (then none is current until the next ShowView). False for an unknown index.
  bool RemoveView(int index);
  // Makes the conversation at index the current one and displays it in mode: the control configured
  // for mode, the conversation's content, its queued lines (formatted; in ModeReply they become the
  // protected quote), caret at the start. While the window is hidden the control is only configured
  // for mode; the conversation is displayed when the window is shown. False for an unknown index.
  bool ShowView(int index, TViewMode mode);
  // Adds line + "#^000000" to the conversation at index; false (nothing added) for an unknown index.
  // The line is queued while the conversation is not displayed and formatted when it is shown. In the
  // displayed log it is queued too and appended by the next flush (which scrolls the log to its end);
  // in a displayed editor conversation it is appended at once (in ModeReply it joins the protected
  // quote).
  bool AddLine(int index, const std::string& line);
  // Inserts lines (each formatted alone) above everything the conversation at index holds, each
  // one paragraph whose line breaks stay breaks, so that ShowRow finds a stored line by its number;
  // a displayed log keeps showing what it showed. False for an unknown index.
  bool PrependLines(int index, const std::vector<std::string>& lines);
  // Takes the oldest `rows` rows (a row is one AddLine or one line of PrependLines) away from the
  // conversation at index: from its document first, then from its queued lines. A displayed log
  // keeps showing what it showed. False for an unknown index.
  bool DropOldest(int index, int rows);
  // Draws mark at the end of the row last added to the conversation at index (with that row when it
  // is queued), replacing the conversation's mark of the same id. False for an unknown index or a
  // conversation without rows.
  bool AddMark(int index, const TDeliveryMark& mark);
  // Replaces the mark with mark.Id in place in every conversation that shows it; the number of
  // conversations that did. A mark whose row has left is forgotten.
  int ChangeMark(const TDeliveryMark& mark);
  // Displays the first paragraph of the conversation's line `row` (0 is the first) selected, scrolled
  // into view; false when the conversation is not the displayed one or has no such line.
  bool ShowRow(int index, int row);
  // Appends the lines queued for the displayed log now, in one insertion, and scrolls to the end.
  // Every reader below calls it; a caller that reads the document through other means (Displayed(),
  // ViewAt(i).Content, the control) calls it first.
  void Flush();
  // Lines are displayed only while the main window is shown (false after construction). Hiding takes
  // the current conversation off the control, so every line is queued from then on; showing displays
  // the current conversation again in CurrentMode with what was queued. Setting the state it already
  // has changes nothing.
  void SetWindowVisible(bool visible);
  bool WindowVisible() const { return windowVisible_; }

  // The current conversation switches to mode: the control is configured for it, the content kept.
  void SetMode(TViewMode mode) { ApplyMode(mode); }
  // Configures the control for mode; an unknown value only sets CurrentMode.
  void ApplyMode(TViewMode mode);
  // Formats the displayed conversation (all of it except a protected quote).
  void FormatView();
  // The whole displayed content as markup for sending, trimmed.
  std::string ContentToMarkup();
  // The same markup before it becomes code page 1251: what the user typed, pictures as their codes.
  QString ContentToText();
  // The selected text with pictures as their codes, without colour markers; "" for an empty selection.
  // removeSmileys is accepted for callers that delete the selection next: pictures carry their codes,
  // so nothing needs to be forgotten.
  std::string SelectionToMarkup(bool removeSmileys) const;
  // Empties the displayed conversation, lines still queued for it included.
  void ClearView();
  // Empties the displayed conversation after a message was sent; false when none is displayed.
  bool ClearInput();
  // In ModeLog: caret to the end, scrolled into view.
  void ScrollToEnd();
  // The user's own colour; outside ModeLog also the control's text and typing colour.
  void SetOwnColor(TColor color);
  // Suspends (on) or resumes (off) redrawing; calls do not nest.
  void SetUpdating(bool on);

  // Decides a user edit of [start, end) of the displayed conversation under its protection.
  bool ProtectChange(int start, int end, bool deleteKey);

  // Lookups; an unknown index, or no current conversation, throws std::out_of_range.
  TVRichedit& ViewAt(int index);
  TVRichedit& CurrentView();
  int Count() const { return static_cast<int>(views_.size()); }

  // The mode the control is configured for: the current conversation's, as last applied.
  TViewMode CurrentMode() const { return currentMode_; }
  // Index of the current conversation (displayed, or taken off while the window is hidden); -1 for none.
  int CurrentIndex() const;
  TColor OwnColor() const { return ownColor_; }
  bool Updating() const { return updating_; }
  RichTextControl* Control() const { return control_; }
  // The conversation whose document the control shows: the current one while the window is shown.
  TVRichedit* Displayed() const { return displayed_; }
  // The document the operations work on: the displayed conversation's (flushed), or the empty
  // stand-in.
  QTextDocument& Document();

 private:
  // The document the operations work on, as it is (without a flush).
  QTextDocument& Doc() const;
  // Lines added to the displayed conversation are queued for a flush (the displayed log on a control).
  bool Batching() const { return control_ != nullptr && currentMode_ == ModeLog; }
  // Starts the flush timer unless it runs: at once when the last flush is kFlushIntervalMs old,
  // otherwise when it will be.
  void ScheduleFlush();
  // Appends up to maxLines queued lines to the displayed conversation; a rest is left for the next
  // flush, which is scheduled.
  void FlushLines(std::size_t maxLines);
  // Appends formatted lines to the displayed conversation: in ModeReply they join the protected
  // quote, in ModeLog the log is scrolled to its end. queued: they are the first of its queued lines
  // (their marks come along).
  void AppendToDisplayed(const std::vector<std::string>& lines, bool queued);
  // Caret to the end of the displayed log, scrolled into view.
  void ScrollCaretToEnd();
  // Appends one line at the end of doc, in a new paragraph when newParagraph is set; returns its
  // first position. Line breaks in it start paragraphs, or with oneParagraph break the line inside
  // its paragraph.
  static int AppendLine(QTextDocument& doc, const std::string& line, bool newParagraph,
                        bool oneParagraph = false);
  // Appends lines at the end of doc, each in a paragraph (or with oneParagraph exactly one) of its
  // own and formatted alone, in one edit block, so that a view lays them out once. starts, when
  // given, receives the first position of every line.
  void AppendFormatted(QTextDocument& doc, const std::vector<std::string>& lines, bool oneParagraph = false,
                       std::vector<int>* starts = nullptr) const;
  // The first `count` queued lines of view left PendingLines: their marks are drawn at the ends of
  // the lines appended at starts (the lines' first positions), or forgotten without starts.
  void TakeQueued(TVRichedit& view, std::size_t count, const std::vector<int>* starts);
  // Draws mark at position at of doc (the end of its row); returns the characters it takes.
  int DrawMark(QTextDocument& doc, int at, const TDeliveryMark& mark) const;
  // Redraws the drawn mark spot as mark; false (and the spot is to be forgotten) when its row left.
  bool RedrawMark(TVRichedit& view, TMarkSpot& spot, const TDeliveryMark& mark);
  int FormatDocRange(QTextDocument& doc, int from, int to, bool typing = false) const;
  // HeaderMark at the end of the header of the line that starts at from becomes HeaderPicture.
  void MarkHeader(QTextDocument& doc, int from) const;
  void Attach(TVRichedit* record);
  int TextLength() const;
  QColor DefaultColor() const;
  void ResetTyping();

  RichTextControl* control_ = nullptr;
  std::vector<std::unique_ptr<TVRichedit>> views_;
  // The conversation the control belongs to, and the one it displays (null while the window is hidden,
  // otherwise equal to current_).
  TVRichedit* current_ = nullptr;
  TVRichedit* displayed_ = nullptr;
  std::unique_ptr<QTextDocument> blank_;
  TViewMode currentMode_ = ModeSingleLine;
  TColor ownColor_ = 0;
  bool updating_ = false;
  bool windowVisible_ = false;
  QTimer flushTimer_;
  QElapsedTimer lastFlush_;
};

}  // namespace plumo
