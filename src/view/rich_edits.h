// TVRichEdits: one rich-text control showing many named conversations (TVRichedit), one at a time.
// Each conversation keeps its own text document (colours, links, hidden markers, pictures with their
// codes), so showing a conversation swaps documents instead of re-reading its content. Lines for a
// conversation that is not displayed (or while the window is hidden) are queued and formatted once
// when it is shown; lines added to the displayed conversation are formatted alone, so adding a line
// costs the same however long the conversation is. Lines and markup are code-page 1251 text.
#pragma once

#include <QColor>
#include <QObject>
#include <QTextDocument>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/surfaces.h"
#include "lang/text_helpers.h"
#include "view/smileys.h"

class QTabBar;

namespace plumo {

class RichTextControl;

// How the control is set up for a conversation: the core's display modes, so one program can use
// both. ModeSingleLine: editable, Enter inserts no line break, no word wrap. ModeMultiLine: editable,
// word wrap. ModeReply: as ModeMultiLine, taller; the quoted conversation after the reply is
// protected. ModeLog: read-only, word wrap, fills the remaining space.
using TViewMode = ViewMode;

// One conversation: its document, the lines waiting for it, and what the tabs and drafts keep with it.
class TVRichedit {
 public:
  TVRichedit();
  ~TVRichedit();
  TVRichedit(const TVRichedit&) = delete;
  TVRichedit& operator=(const TVRichedit&) = delete;

  // The conversation's formatted content; displayed in the control while the conversation is shown.
  std::unique_ptr<QTextDocument> Content;
  // Marked-up lines (each already ending in "#^000000") waiting to be shown, in arrival order.
  std::vector<std::string> PendingLines;
  TViewMode Mode = ModeSingleLine;
  // Lets the next user change of protected text through; cleared after every decision.
  bool AllowProtectedEdit = false;
  // Length of the protected quote at the end of a reply draft.
  int ProtectedLength = 0;
  int IconIndex = 0;
  bool Seen = false;
  std::string Recipients;
  bool MassMessage = false;

  // Number of smiley pictures in the content.
  int SmileyCount() const;
};

class TVRichEdits : public QObject {
 public:
  // control and tabs are not owned and may be null (then nothing is displayed; tests use this).
  TVRichEdits(RichTextControl* control, QTabBar* tabs);
  ~TVRichEdits() override;

  // Set by the owner after construction.
  const SmileyPictures* SmileyImages = nullptr;
  const std::vector<SmileyCode>* SmileyCodes = nullptr;
  int SingleLineHeight = 25;
  int MultiLineHeight = 50;
  int ReplyHeight = 100;
  bool HotNicks = false;
  // Lines are displayed at once only while the main window is shown.
  bool WindowVisible = false;
  // Called by ApplyMode with the height of modes 0 to 2; without it the control's height is fixed.
  std::function<void(int height)> OnHeight;

  // Appends the record under name unless the name is registered (letter case ignored) or record is null.
  bool AddView(const std::string& name, std::unique_ptr<TVRichedit> record);
  // Displays the conversation: its mode, its content, its queued lines (formatted), caret at the start
  // for replies and logs. False for an unknown index or name.
  bool ShowView(int index);
  bool ShowViewByName(const std::string& name);
  // Takes the conversation off the control (its document keeps the content). False when unknown.
  bool StashView(int index);
  bool StashViewByName(const std::string& name);
  // Adds line + "#^000000": displayed and formatted at once when the conversation is shown and the
  // window visible (result: its line index), otherwise queued (result -1). Unknown name: -1.
  int AddLine(const std::string& name, const std::string& line);
  // Removes the conversation at index (callers pass the current one, never 0) and shows its neighbour.
  void CloseView(int index);

  // Applies mode to the control and stores it in the current conversation; the content is kept.
  void SetMode(TViewMode mode);
  // Configures the control for mode; an unknown value only sets CurrentMode.
  void ApplyMode(TViewMode mode);
  // Formats the displayed conversation (all of it except a protected quote).
  void FormatView();
  // The whole displayed content as markup for sending, trimmed.
  std::string ContentToMarkup() const;
  // The selected text with pictures as their codes, without colour markers; "" for an empty selection.
  // remove_smileys is accepted for callers that delete the selection next: pictures carry their codes,
  // so nothing needs to be forgotten.
  std::string SelectionToMarkup(bool remove_smileys) const;
  // Empties the displayed conversation.
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
  bool ProtectChange(int start, int end, bool delete_key);

  // Lookups; an unknown name or index throws std::out_of_range.
  TVRichedit& ViewByName(const std::string& name);
  TVRichedit& ViewAt(int index);
  TVRichedit& CurrentView();
  int IndexOf(const std::string& name) const;  // -1 when unknown
  const std::string& NameAt(int index) const;
  int Count() const { return static_cast<int>(views_.size()); }

  TViewMode CurrentMode() const { return current_mode_; }
  int CurrentIndex() const { return current_index_; }
  TColor OwnColor() const { return own_color_; }
  bool Updating() const { return updating_; }
  RichTextControl* Control() const { return control_; }
  // The conversation whose document the control shows, or null while stashed.
  TVRichedit* Displayed() const { return displayed_; }
  // The document the operations work on: the displayed conversation's, or the empty stand-in.
  QTextDocument& Document() const;

 private:
  struct Entry {
    std::string name;
    std::unique_ptr<TVRichedit> record;
  };

  // Appends one line at the end of doc, in a new paragraph when new_paragraph is set; returns its
  // first position.
  static int AppendLine(QTextDocument& doc, const std::string& line, bool new_paragraph);
  // Formats lines, each alone, in a scratch document that is never laid out, then appends them to doc
  // in one insertion, so the view lays them out once. Returns the position of the first.
  int AppendFormatted(QTextDocument& doc, const std::vector<std::string>& lines) const;
  int FormatDocRange(QTextDocument& doc, int from, int to) const;
  void Attach(TVRichedit* record);
  int TextLength() const;
  QColor DefaultColor() const;
  void ResetTyping();

  RichTextControl* control_ = nullptr;
  QTabBar* tabs_ = nullptr;
  std::vector<Entry> views_;
  TVRichedit* displayed_ = nullptr;
  std::unique_ptr<QTextDocument> blank_;
  TViewMode current_mode_ = ModeSingleLine;
  TColor own_color_ = 0;
  bool updating_ = false;
  int current_index_ = -1;
};

}  // namespace plumo
