// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/conversations.h"

#include <algorithm>

#include "lang/textcase.h"

namespace plumo {

int TConversationList::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText1251(At(i).Name, name)) return i;
  }
  return -1;
}

int TConversationList::Insert(int index, const Conversation& conversation) {
  if (IndexOf(conversation.Name) >= 0 || index < 0 || index > Count()) return -1;
  items_.insert(items_.begin() + index, conversation);
  rows_.insert(rows_.begin() + index, TShownRows());
  if (current_ >= index) ++current_;
  view_.ConversationAdded(index, conversation);
  if (OnAdded) OnAdded(index);
  return index;
}

bool TConversationList::Show(int index) {
  if (index < 0 || index >= Count()) return false;
  const int from = current_;
  current_ = index;
  view_.CurrentChanged(from, index, items_[static_cast<std::size_t>(index)].Mode);
  return true;
}

void TConversationList::Close(int index) {
  if (index < 0 || index >= Count()) return;
  const bool wasCurrent = index == current_;
  items_.erase(items_.begin() + index);
  rows_.erase(rows_.begin() + index);
  view_.ConversationRemoved(index);
  if (wasCurrent) {
    current_ = -1;
    if (!items_.empty()) Show(index < Count() ? index : Count() - 1);
  } else if (current_ > index) {
    --current_;
  }
}

int TConversationList::AddLine(const std::string& name, const std::string& line, bool stored) {
  const int index = IndexOf(name);
  if (index < 0) return -1;
  Rows(index).Append(stored && storedLines_ && storedLines_());
  view_.LineAdded(index, At(index).Name, line);
  Trim(index);
  return index;
}

void TConversationList::AddNotice(int index, const std::string& line) {
  Rows(index).Append(false);
  view_.NoticeAdded(index, At(index).Name, line);
  Trim(index);
}

void TConversationList::AddHistory(int index, const std::vector<std::string>& lines, bool divider) {
  if (index < 0 || index >= Count()) return;
  Rows(index).Prepend(static_cast<int>(lines.size()), divider);
  view_.HistoryAdded(index, lines);
}

void TConversationList::Trim(int index) {
  const int dropped = Rows(index).Trim(window_, std::max(1, window_ / 10));
  if (dropped > 0) view_.OldestDropped(index, dropped);
}

void TConversationList::SetMode(int index, ViewMode mode) {
  if (index < 0 || index >= Count()) return;
  At(index).Mode = mode;
  view_.ModeChanged(index, mode);
}

}  // namespace plumo
