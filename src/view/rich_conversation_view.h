// SPDX-License-Identifier: GPL-3.0-or-later
// RichConversationView: the core's ConversationView over a view manager alone. It mirrors every change
// of the core's conversation list on the manager's conversations, index for index, and keeps nothing
// of its own: the shown conversation's display mode comes with the change.
// Tabs are not its business; a window adapter derives from it and mirrors the same calls on its tab
// strip.
#pragma once

#include <string>
#include <vector>

#include "core/surfaces.h"
#include "view/rich_edits.h"

namespace plumo {

class RichConversationView : public ConversationView {
 public:
  // views must outlive this object.
  explicit RichConversationView(TVRichEdits& views);

  void ConversationAdded(int index, const Conversation& conversation) override;
  void ConversationRemoved(int index) override;
  // Displays `to` in its mode; the conversation displayed before leaves the control with its content.
  // A `to` outside the list leaves the current conversation as it is.
  void CurrentChanged(int from, int to, ViewMode mode) override;
  void LineAdded(int index, const std::string& name, const std::string& line) override;
  // Icons are drawn on tabs, which the window keeps.
  void IconsChanged(const std::vector<Conversation>& conversations) override;
  // Reconfigures the control when the conversation is the current one; any other conversation takes
  // its mode when it is shown.
  void ModeChanged(int index, ViewMode mode) override;
  void ScrollToEnd() override;
  void HistoryAdded(int index, const std::vector<std::string>& lines) override;
  void ShowHistoryRow(int index, int row) override;
  void OldestDropped(int index, int rows) override;
  // A notice is one more line of the conversation (a channel's log shows it in place).
  void NoticeAdded(int index, const std::string& name, const std::string& line) override;
  void MarkAdded(int index, const TDeliveryMark& mark) override;
  void MarkChanged(const TDeliveryMark& mark) override;

  TVRichEdits& Views() const { return views_; }

 private:
  TVRichEdits& views_;
};

}  // namespace plumo
