// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/conversation_tabs.h"

#include <QSignalBlocker>
#include <QTabBar>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

#include "images/images.h"
#include "ui/qt_text.h"
#include "view/rich_text_control.h"

namespace plumo::ui {

// Which tab exists and which is current is the core's to say; this class moves the strip.
ConversationTabs::ConversationTabs(QTabBar& tabs, RichTextControl& control)
    : RichConversationView(views_), tabs_(tabs), control_(control), views_(&control) {
  views_.MarkPicture = [](int image) { return MainPixmap(image, 16).toImage(); };
  QObject::connect(&control_, &RichTextControl::MarkClicked, &views_, [this](const QString& link) {
    const std::optional<TMarkClick> click = ParseMarkLink(link);
    if (click && OnMarkClicked) OnMarkClicked(click->Id, click->Click);
  });
}

void ConversationTabs::Configure(const ViewSettings& settings, std::function<void(int height)> onHeight) {
  views_.SingleLineHeight = settings.SingleLineHeight;
  views_.MultiLineHeight = settings.MultiLineHeight;
  views_.HotNicks = settings.HotNicks;
  views_.SmileyImages = settings.Pictures;
  views_.SmileyCodes = settings.Codes;
  views_.OnHeight = std::move(onHeight);
  views_.ApplyMode(views_.CurrentMode());
}

void ConversationTabs::MarkChanged(const TDeliveryMark& mark) {
  RichConversationView::MarkChanged(mark);
  const int current = views_.CurrentIndex();
  for (std::size_t i = 0; i < noticeMarks_.size(); ++i) {
    for (TDeliveryMark& kept : noticeMarks_[i]) {
      if (kept.Id != mark.Id) continue;
      kept = mark;
      if (static_cast<int>(i) == current && OnShown) OnShown();
    }
  }
  if (OnMarkChanged) OnMarkChanged(mark);
}

void ConversationTabs::SetReplyHeight(int height) {
  views_.ReplyHeight = height;
}

void ConversationTabs::SetOwnColor(TColor color) {
  views_.SetOwnColor(color);
}

void ConversationTabs::SetWindowVisible(bool visible) {
  views_.SetWindowVisible(visible);
  if (visible) views_.ScrollToEnd();
}

void ConversationTabs::ClearView() {
  views_.ClearView();
}

QString ConversationTabs::SelectionText() const {
  return FromCp1251(views_.SelectionToMarkup(false));
}

bool ConversationTabs::InsertAtCaret(const QString& text) {
  // The menus insert as typing would: never into a protected quote.
  QTextCursor cursor = control_.textCursor();
  if (!control_.InsertText(cursor, text)) return false;
  views_.FormatView();
  return true;
}

void ConversationTabs::FormatView() {
  views_.FormatView();
}

void ConversationTabs::RemoveTabs() {
  QTextDocument& doc = views_.Document();
  QTextCursor found = doc.find(QStringLiteral("\t"));
  while (!found.isNull()) {
    found.removeSelectedText();
    found = doc.find(QStringLiteral("\t"), found);
  }
}

void ConversationTabs::SetCurrentTab(int index) {
  const QSignalBlocker block(&tabs_);
  tabs_.setCurrentIndex(index);
}

void ConversationTabs::ConversationAdded(int index, const Conversation& conversation) {
  RichConversationView::ConversationAdded(index, conversation);
  if (index >= 0 && static_cast<std::size_t>(index) <= notices_.size()) {
    notices_.insert(notices_.begin() + index, std::vector<std::string>{});
    noticeMarks_.insert(noticeMarks_.begin() + index, std::vector<TDeliveryMark>{});
    lastWasNotice_.insert(lastWasNotice_.begin() + index, false);
  }
  const QSignalBlocker block(&tabs_);
  tabs_.insertTab(index, MainImage(conversation.IconIndex), FromCp1251(conversation.Name));
  // A hidden strip does not tell its layout that its size changed; the first tab gives it a height.
  tabs_.updateGeometry();
}

void ConversationTabs::ConversationRemoved(int index) {
  RichConversationView::ConversationRemoved(index);
  if (index >= 0 && static_cast<std::size_t>(index) < notices_.size()) {
    notices_.erase(notices_.begin() + index);
    noticeMarks_.erase(noticeMarks_.begin() + index);
    lastWasNotice_.erase(lastWasNotice_.begin() + index);
  }
  const QSignalBlocker block(&tabs_);
  tabs_.removeTab(index);
  tabs_.updateGeometry();
}

void ConversationTabs::CurrentChanged(int from, int to, ViewMode mode) {
  RichConversationView::CurrentChanged(from, to, mode);
  SetCurrentTab(to);
  if (OnShown) OnShown();
}

void ConversationTabs::NoticeAdded(int index, const std::string& name, const std::string& line) {
  if (!OnShown) {
    RichConversationView::NoticeAdded(index, name, line);
    return;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= notices_.size()) return;
  notices_[static_cast<std::size_t>(index)].push_back(line);
  noticeMarks_[static_cast<std::size_t>(index)].emplace_back();
  lastWasNotice_[static_cast<std::size_t>(index)] = true;
  if (index == views_.CurrentIndex()) OnShown();
}

void ConversationTabs::LineAdded(int index, const std::string& name, const std::string& line) {
  RichConversationView::LineAdded(index, name, line);
  if (index >= 0 && static_cast<std::size_t>(index) < lastWasNotice_.size())
    lastWasNotice_[static_cast<std::size_t>(index)] = false;
}

void ConversationTabs::MarkAdded(int index, const TDeliveryMark& mark) {
  const auto at = static_cast<std::size_t>(index);
  if (index < 0 || at >= lastWasNotice_.size() || !lastWasNotice_[at] || noticeMarks_[at].empty()) {
    RichConversationView::MarkAdded(index, mark);
    return;
  }
  noticeMarks_[at].back() = mark;
  if (index == views_.CurrentIndex() && OnShown) OnShown();
}

const std::vector<TDeliveryMark>& ConversationTabs::NoticeMarks(int index) const {
  static const std::vector<TDeliveryMark> kNone;
  return index >= 0 && static_cast<std::size_t>(index) < noticeMarks_.size()
             ? noticeMarks_[static_cast<std::size_t>(index)]
             : kNone;
}

const std::vector<std::string>& ConversationTabs::Notices(int index) const {
  static const std::vector<std::string> kNone;
  return index >= 0 && static_cast<std::size_t>(index) < notices_.size()
             ? notices_[static_cast<std::size_t>(index)]
             : kNone;
}

void ConversationTabs::IconsChanged(const std::vector<Conversation>& conversations) {
  const int count = std::min(tabs_.count(), static_cast<int>(conversations.size()));
  for (int i = 0; i < count; ++i) {
    tabs_.setTabIcon(i, MainImage(conversations[static_cast<std::size_t>(i)].IconIndex));
  }
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

std::vector<TUnencodableChar> InputEditorAdapter::LostCharacters() {
  // What is sent: smiley pictures count as their codes, not as the object character that holds them.
  return UnencodableChars(inputs_.views_.ContentToText().toStdString());
}

void InputEditorAdapter::ReplaceEmoji(const std::vector<EmojiSmiley>& smileys) {
  QTextDocument& doc = inputs_.views_.Document();
  bool replaced = false;
  for (const EmojiSmiley& smiley : smileys) {
    const QString emoji = QString::fromStdString(smiley.Emoji);
    const QString code = FromCp1251(smiley.Code);
    QTextCursor found = doc.find(emoji, 0, QTextDocument::FindCaseSensitively);
    while (!found.isNull()) {
      found.insertText(code);
      replaced = true;
      found = doc.find(emoji, found, QTextDocument::FindCaseSensitively);
    }
  }
  // The codes become the smileys' pictures, as if they had been typed.
  if (replaced) inputs_.views_.FormatView();
}

void InputEditorAdapter::Focus() {
  inputs_.control_.setFocus();
}

}  // namespace plumo::ui
