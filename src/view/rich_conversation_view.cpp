#include "view/rich_conversation_view.h"

#include <utility>

namespace plumo {

RichConversationView::RichConversationView(TVRichEdits& views, ModeOf mode_of)
    : views_(views), mode_of_(std::move(mode_of)) {}

void RichConversationView::ConversationAdded(int index, const Conversation& /*conversation*/) {
  views_.InsertView(index);
}

void RichConversationView::ConversationRemoved(int index) {
  views_.RemoveView(index);
}

void RichConversationView::CurrentChanged(int /*from*/, int to) {
  if (to < 0 || to >= views_.Count()) return;
  views_.ShowView(to, mode_of_ ? mode_of_(to) : views_.CurrentMode());
}

void RichConversationView::LineAdded(int index, const std::string& /*name*/, const std::string& line) {
  views_.AddLine(index, line);
}

void RichConversationView::IconsChanged(const std::vector<Conversation>& /*conversations*/) {}

void RichConversationView::ModeChanged(int index, ViewMode mode) {
  if (index == views_.CurrentIndex()) views_.SetMode(mode);
}

void RichConversationView::ScrollToEnd() {
  views_.ScrollToEnd();
}

}  // namespace plumo
