// SPDX-License-Identifier: GPL-3.0-or-later
// TConversationList: the conversations of one tab strip (channels with the console, or the line
// editor with the reply tabs) and which one is displayed. The core decides here; the attached
// ConversationView mirrors every change on the screen. Names compare without regard to case.
#pragma once

#include <string>
#include <vector>

#include "core/surfaces.h"

namespace plumo {

class TConversationList {
 public:
  explicit TConversationList(ConversationView& view) : view_(view) {}

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
  // Appends a line to the named conversation; -1 when there is none.
  int AddLine(const std::string& name, const std::string& line);
  void SetMode(int index, ViewMode mode);
  // Copies every conversation's icon to the tabs (OnStatusChange).
  void RefreshIcons() { view_.IconsChanged(items_); }
  void ScrollToEnd() { view_.ScrollToEnd(); }
  void AddHistory(int index, const std::vector<std::string>& lines) { view_.HistoryAdded(index, lines); }
  void ShowHistoryRow(int index, int row) { view_.ShowHistoryRow(index, row); }
  // A notice shown with the conversation at index, outside its text; index must be valid.
  void AddNotice(int index, const std::string& line) { view_.NoticeAdded(index, At(index).Name, line); }

 private:
  ConversationView& view_;
  std::vector<Conversation> items_;
  int current_ = -1;
};

}  // namespace plumo
