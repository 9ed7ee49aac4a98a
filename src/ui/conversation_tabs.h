// SPDX-License-Identifier: GPL-3.0-or-later
// The core's conversation seams on widgets. ConversationTabs mirrors one of the core's conversation
// lists (the channels with the console, or the line editor with the reply tabs) onto a QTabBar (tabs,
// current tab, icons) and onto a view manager (documents, lines, display modes); InputEditorAdapter is
// the core's input editor over the view manager of the message tabs. The core decides what a tab is;
// these classes only show it. Every call the window makes into a view manager is in this file.
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "core/surfaces.h"
#include "view/rich_conversation_view.h"
#include "view/rich_edits.h"
#include "view/smileys.h"

class QTabBar;

namespace plumo {

class RichTextControl;

namespace ui {

// How the views are set up from the settings; the pointers must outlive the ConversationTabs.
struct ViewSettings {
  int SingleLineHeight = 25;
  int MultiLineHeight = 50;
  bool HotNicks = false;
  const SmileyPictures* Pictures = nullptr;
  const std::vector<SmileyCode>* Codes = nullptr;
};

class ConversationTabs : public RichConversationView {
 public:
  // tabs and control must outlive this object.
  ConversationTabs(QTabBar& tabs, RichTextControl& control);

  // Heights, hot nicks and smileys; onHeight receives the editor height of the line, multi-line and
  // reply modes (the window gives it to its splitter).
  void Configure(const ViewSettings& settings, std::function<void(int height)> onHeight);
  void SetReplyHeight(int height);
  // The own colour of typed text.
  void SetOwnColor(TColor color);
  // Lines are displayed at once only while the window is shown; showing displays the current
  // conversation with what was queued for it.
  void SetWindowVisible(bool visible);
  // Empties the displayed conversation.
  void ClearView();
  // The selection with pictures as their codes ("" for none).
  QString SelectionText() const;
  // Inserts text at the caret (replacing the selection), formats it and leaves the caret after it;
  // false, and nothing changes, when the caret or the selection is in protected text.
  bool InsertAtCaret(const QString& text);
  // Re-formats what was typed in the displayed conversation.
  void FormatView();
  // Removes every tab character from the displayed conversation (the control accepts them, the
  // program does not keep them), keeping the caret where it was.
  void RemoveTabs();
  int Count() const { return views_.Count(); }
  RichTextControl& Control() const { return control_; }
  TVRichEdits& Manager() { return views_; }
  // Called after the displayed conversation changed, or a notice came for it (the window shows
  // what belongs to it).
  std::function<void()> OnShown;
  // A click on a clickable delivery mark of these conversations: the message id and what the mark
  // asks for (the window hands it to the core's delivery ledger).
  std::function<void(MessageId id, TDeliveryMark::Action action)> OnMarkClicked;
  // After a mark changed in place (an open roll-call reads its message again).
  std::function<void(const TDeliveryMark& mark)> OnMarkChanged;
  // The notices of the conversation at index, oldest first. A strip with OnShown keeps them beside
  // its conversations for the window to show; without it a notice is a line of the conversation.
  const std::vector<std::string>& Notices(int index) const;
  // The delivery marks of those notices, notice for notice (Id 0: none).
  const std::vector<TDeliveryMark>& NoticeMarks(int index) const;

  // ConversationView: the view manager's part is the base's; the tab strip follows here.
  void ConversationAdded(int index, const Conversation& conversation) override;
  void ConversationRemoved(int index) override;
  void CurrentChanged(int from, int to, ViewMode mode) override;
  void IconsChanged(const std::vector<Conversation>& conversations) override;
  void NoticeAdded(int index, const std::string& name, const std::string& line) override;
  void LineAdded(int index, const std::string& name, const std::string& line) override;
  // A mark for a notice kept beside the conversation goes with the notice.
  void MarkAdded(int index, const TDeliveryMark& mark) override;
  void MarkChanged(const TDeliveryMark& mark) override;

 private:
  friend class InputEditorAdapter;
  // Moves the strip to index without reporting it as a user's choice.
  void SetCurrentTab(int index);

  QTabBar& tabs_;
  RichTextControl& control_;
  TVRichEdits views_;
  std::vector<std::vector<std::string>> notices_;  // per conversation, index for index
  std::vector<std::vector<TDeliveryMark>> noticeMarks_;
  // Per conversation: its last row was a notice kept beside it (a mark then goes with the notice).
  std::vector<bool> lastWasNotice_;
};

class InputEditorAdapter : public InputEditor {
 public:
  explicit InputEditorAdapter(ConversationTabs& inputs) : inputs_(inputs) {}
  void FormatView() override;
  std::string ContentToMarkup() override;
  std::string PlainText() override;
  void ClearInput() override;
  void SetText(const std::string& text) override;
  void Focus() override;
  std::vector<TUnencodableChar> LostCharacters() override;
  void ReplaceEmoji(const std::vector<EmojiSmiley>& smileys) override;

 private:
  ConversationTabs& inputs_;
};

}  // namespace ui
}  // namespace plumo
