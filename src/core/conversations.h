// SPDX-License-Identifier: GPL-3.0-or-later
// TConversationList: the conversations of one tab strip (channels with the console, or the line
// editor with the reply tabs) and which one is displayed. The core decides here; the attached
// ConversationView mirrors every change on the screen. Names compare without regard to case.
// With a window set (the channels while the history store keeps their lines) a conversation shows at
// most that many of its newest rows: a tenth of the window past it, the oldest go down to the window
// in one step (so dropping happens once per so many lines, not with every line), and the view drops
// them too (OldestDropped); the history pages them back from the store.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/shown_rows.h"
#include "core/surfaces.h"

namespace plumo {

class TConversationList {
 public:
  explicit TConversationList(ConversationView& view) : view_(view) {}

  // Called with the index of every conversation inserted, after the view has it (a part that shows
  // rows of its own in new tabs: messages still waiting for the peer of a message tab).
  std::function<void(int index)> OnAdded;

  int Count() const { return static_cast<int>(items_.size()); }
  int CurrentIndex() const { return current_; }
  // The conversation at index; index must be valid.
  Conversation& At(int index) { return items_[static_cast<std::size_t>(index)]; }
  const Conversation& At(int index) const { return items_[static_cast<std::size_t>(index)]; }
  const std::vector<Conversation>& Items() const { return items_; }
  // Index of the conversation with that name, or -1.
  int IndexOf(const std::string& name) const;
  std::string CurrentName() const {
    return current_ >= 0 && current_ < Count() ? At(current_).Name : std::string();
  }

  // Inserts at index (appends when index is Count()); a name already present is refused (-1).
  int Insert(int index, const Conversation& conversation);
  int Add(const Conversation& conversation) { return Insert(Count(), conversation); }
  // Displays the conversation at index (stashing the current one). False for an invalid index.
  bool Show(int index);
  // Removes the conversation at index; when it was displayed, the one that moves into its place
  // (or the new last one) is displayed.
  void Close(int index);
  // Appends a line to the named conversation; -1 when there is none. stored says whether it is a
  // line the history keeps (when the history keeps lines at all, see SetStoredLines); a line that
  // is only shown (a notice in a channel) is not.
  int AddLine(const std::string& name, const std::string& line, bool stored = true);
  void SetMode(int index, ViewMode mode);
  // Copies every conversation's icon to the tabs (OnStatusChange).
  void RefreshIcons() { view_.IconsChanged(items_); }
  void ScrollToEnd() { view_.ScrollToEnd(); }
  // A page of stored lines above what the conversation shows; the last of them a divider (not
  // stored) when divider is set.
  void AddHistory(int index, const std::vector<std::string>& lines, bool divider = false);
  void ShowHistoryRow(int index, int row) { view_.ShowHistoryRow(index, row); }
  // A notice shown with the conversation at index, outside its text; index must be valid.
  void AddNotice(int index, const std::string& line);
  // A delivery mark at the end of the row last added to the conversation at index, and a change
  // of a mark wherever it is shown.
  void AddMark(int index, const TDeliveryMark& mark) {
    if (index >= 0 && index < Count()) view_.MarkAdded(index, mark);
  }
  void ChangeMark(const TDeliveryMark& mark) { view_.MarkChanged(mark); }

  // The most rows each conversation shows (0, the default: all of them).
  void SetWindow(int rows) { window_ = rows; }
  int Window() const { return window_; }
  // Tells whether the history keeps the lines added from now on (false, the default: nothing is).
  void SetStoredLines(std::function<bool()> stored) { storedLines_ = std::move(stored); }
  // The user emptied the display of the conversation at index (its menu's Clear): scrolling up then
  // pages back from the newest stored line before what it shows again.
  void Cleared(int index) {
    if (index >= 0 && index < Count()) Rows(index).Clear();
  }
  // What the conversation at index shows, row by row; index must be valid.
  TShownRows& Rows(int index) { return rows_[static_cast<std::size_t>(index)]; }

 private:
  // Drops the oldest rows of the conversation at index past the window.
  void Trim(int index);

  ConversationView& view_;
  std::vector<Conversation> items_;
  std::vector<TShownRows> rows_;  // rows_[i] belongs to items_[i]
  int window_ = 0;
  std::function<bool()> storedLines_;
  int current_ = -1;
};

}  // namespace plumo
