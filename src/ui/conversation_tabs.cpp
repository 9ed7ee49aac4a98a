#include "ui/conversation_tabs.h"

#include <QSignalBlocker>
#include <QTabBar>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

#include "ui/main_icons.h"
#include "ui/qt_text.h"
#include "view/rich_text_control.h"

namespace plumo::ui {

// The view manager gets no tab strip: which tab exists and which is current is the core's to say,
// and this class moves the strip.
ConversationTabs::ConversationTabs(QTabBar& tabs, RichTextControl& control)
    : tabs_(tabs), control_(control), views_(&control, nullptr) {}

void ConversationTabs::Configure(const ViewSettings& settings, std::function<void(int height)> onHeight) {
  views_.SingleLineHeight = settings.singleLineHeight;
  views_.MultiLineHeight = settings.multiLineHeight;
  views_.HotNicks = settings.hotNicks;
  views_.SmileyImages = settings.pictures;
  views_.SmileyCodes = settings.codes;
  views_.OnHeight = std::move(onHeight);
  views_.ApplyMode(views_.CurrentMode());
}

void ConversationTabs::SetReplyHeight(int height) {
  views_.ReplyHeight = height;
}

void ConversationTabs::SetOwnColor(TColor color) {
  views_.SetOwnColor(color);
}

void ConversationTabs::SetWindowVisible(bool visible) {
  views_.WindowVisible = visible;
  const int current = views_.CurrentIndex();
  if (current < 0 || current >= views_.Count()) return;
  if (visible) {
    views_.ShowView(current);
    views_.ScrollToEnd();
  } else {
    views_.StashView(current);
  }
}

void ConversationTabs::ClearView() {
  views_.ClearView();
}

QString ConversationTabs::SelectionText() const {
  return FromCp1251(views_.SelectionToMarkup(false));
}

void ConversationTabs::InsertAtCaret(const QString& text) {
  QTextCursor cursor = control_.textCursor();
  cursor.insertText(text);
  control_.setTextCursor(cursor);
  views_.FormatView();
}

void ConversationTabs::FormatView() {
  views_.FormatView();
}

void ConversationTabs::SetCurrentTab(int index) {
  const QSignalBlocker block(&tabs_);
  tabs_.setCurrentIndex(index);
}

void ConversationTabs::ConversationAdded(int index, const Conversation& conversation) {
  // The view manager appends; the core's lists only ever add at the end.
  auto record = std::make_unique<TVRichedit>();
  record->Mode = conversation.Mode;
  views_.AddView(conversation.Name, std::move(record));
  const QSignalBlocker block(&tabs_);
  tabs_.insertTab(index, MainIcon(conversation.IconIndex), FromCp1251(conversation.Name));
  // A hidden strip does not tell its layout that its size changed; the first tab gives it a height.
  tabs_.updateGeometry();
}

void ConversationTabs::ConversationRemoved(int index) {
  views_.CloseView(index);
  const QSignalBlocker block(&tabs_);
  tabs_.removeTab(index);
  tabs_.updateGeometry();
}

void ConversationTabs::CurrentChanged(int from, int to) {
  if (from >= 0 && from < views_.Count() && from != to) views_.StashView(from);
  views_.ShowView(to);
  SetCurrentTab(to);
}

void ConversationTabs::LineAdded(int, const std::string& name, const std::string& line) {
  views_.AddLine(name, line);
}

void ConversationTabs::IconsChanged(const std::vector<Conversation>& conversations) {
  const int count = std::min(tabs_.count(), static_cast<int>(conversations.size()));
  for (int i = 0; i < count; ++i) {
    tabs_.setTabIcon(i, MainIcon(conversations[static_cast<std::size_t>(i)].IconIndex));
  }
}

void ConversationTabs::ModeChanged(int index, ViewMode mode) {
  if (index < 0 || index >= views_.Count()) return;
  if (index == views_.CurrentIndex()) {
    views_.SetMode(mode);
  } else {
    views_.ViewAt(index).Mode = mode;
  }
}

void ConversationTabs::ScrollToEnd() {
  views_.ScrollToEnd();
}

void InputEditorAdapter::FormatView() {
  inputs_.views_.FormatView();
}

std::string InputEditorAdapter::ContentToMarkup() {
  return inputs_.views_.ContentToMarkup();
}

std::string InputEditorAdapter::PlainText() {
  return ToCp1251(inputs_.views_.Document().toPlainText());
}

void InputEditorAdapter::ClearInput() {
  inputs_.views_.ClearInput();
}

void InputEditorAdapter::SetText(const std::string& text) {
  QString plain = FromCp1251(text);
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QTextCursor cursor(&inputs_.views_.Document());
  cursor.select(QTextCursor::Document);
  cursor.insertText(plain);
  cursor.movePosition(QTextCursor::End);
  inputs_.control_.setTextCursor(cursor);
}

void InputEditorAdapter::Focus() {
  inputs_.control_.setFocus();
}

}  // namespace plumo::ui
