// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/rich_conversation_view.h"

namespace plumo {

RichConversationView::RichConversationView(TVRichEdits& views) : views_(views) {}

void RichConversationView::ConversationAdded(int index, const Conversation& /*conversation*/) {
  views_.InsertView(index);
}

void RichConversationView::ConversationRemoved(int index) {
  views_.RemoveView(index);
}

void RichConversationView::CurrentChanged(int /*from*/, int to, ViewMode mode) {
  if (to < 0 || to >= views_.Count()) return;
  views_.ShowView(to, mode);
}

void RichConversationView::LineAdded(int index, const std::string& /*name*/, const std::string& line) {
  views_.AddLine(index, line);
}

void RichConversationView::IconsChanged(const std::vector<Conversation>& /*conversations*/) {}

void RichConversationView::ModeChanged(int index, ViewMode mode) {
  if (index == views_.CurrentIndex()) views_.SetMode(mode);
}

void RichConversationView::HistoryAdded(int index, const std::vector<std::string>& lines) {
  views_.PrependLines(index, lines);
}

void RichConversationView::ShowHistoryRow(int index, int row) {
  views_.ShowRow(index, row);
}

void RichConversationView::OldestDropped(int index, int rows) {
  views_.DropOldest(index, rows);
}

void RichConversationView::NoticeAdded(int index, const std::string& /*name*/, const std::string& line) {
  views_.AddLine(index, line);
}

void RichConversationView::MarkAdded(int index, const TDeliveryMark& mark) {
  views_.AddMark(index, mark);
}

void RichConversationView::MarkChanged(const TDeliveryMark& mark) {
  views_.ChangeMark(mark);
}

void RichConversationView::ScrollToEnd() {
  views_.ScrollToEnd();
}

}  // namespace plumo
