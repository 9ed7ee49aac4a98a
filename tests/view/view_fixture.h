// SPDX-License-Identifier: GPL-3.0-or-later
// A shown view manager on a rich-text control for the view tests, driven as in the program by the
// core's conversation list through a RichConversationView, with helpers to read back what the
// document shows and to type into the control.
#pragma once

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/conversations.h"
#include "gui_app.h"
#include "view/markup.h"
#include "view/rich_conversation_view.h"
#include "view/rich_edits.h"
#include "view/rich_text_control.h"

namespace plumo::testing {

// Opens the protected clipboard hooks of the control to the tests.
class TestControl : public RichTextControl {
 public:
  using RichTextControl::createMimeDataFromSelection;
  using RichTextControl::insertFromMimeData;
};

class ViewFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    GuiApp();
    control = std::make_unique<TestControl>();
    control->resize(400, 300);
    control->show();
    views = std::make_unique<TVRichEdits>(control.get());
    views->SetWindowVisible(true);
    mirror = std::make_unique<RichConversationView>(*views);
    list = std::make_unique<TConversationList>(*mirror);
    for (int i = 0; i < 20; ++i) pictures.Append(DrawBuiltInSmiley(i));
    codes = ParseSmileyTable({{":)", "0"}, {"_;)", "1"}, {":))", "2"}, {":P", "99"}, {"B)", "x"}});
  }

  void TearDown() override {
    list.reset();
    mirror.reset();
    views.reset();
    control.reset();
  }

  // Adds a conversation in mode to the core's list without showing it; false when the list refuses it.
  bool Add(const std::string& name, TViewMode mode) {
    Conversation conversation;
    conversation.Name = name;
    conversation.Mode = mode;
    return list->Add(conversation) >= 0;
  }
  // Makes the named conversation the core's current one.
  bool Show(const std::string& name) { return list->Show(list->IndexOf(name)); }
  // Adds a conversation in mode and shows it.
  void Open(const std::string& name, TViewMode mode) {
    ASSERT_TRUE(Add(name, mode));
    ASSERT_TRUE(Show(name));
  }
  void Line(const std::string& name, const std::string& line) { ASSERT_GE(list->AddLine(name, line), 0); }

  void UseSmileys() {
    views->SmileyCodes = &codes;
    views->SmileyImages = &pictures;
  }

  QTextDocument& Doc() { return views->Document(); }
  QString Plain() { return Doc().toPlainText(); }
  // The text a reader sees: without hidden markers and with pictures as "@".
  QString Visible() {
    QString out;
    for (QTextBlock b = Doc().begin(); b.isValid(); b = b.next()) {
      if (b != Doc().begin()) out += QLatin1Char('\n');
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat f = it.fragment().charFormat();
        if (f.hasProperty(kHiddenProperty)) continue;
        out += IsSmiley(f) ? QString(it.fragment().length(), QLatin1Char('@')) : it.fragment().text();
      }
    }
    return out;
  }
  QTextCharFormat FormatAt(int pos) {
    QTextCursor c(&Doc());
    c.setPosition(pos + 1);
    return c.charFormat();
  }
  QColor ColorAt(int pos) { return FormatAt(pos).foreground().color(); }
  int IndexOf(const char* text) { return static_cast<int>(Plain().indexOf(QString::fromUtf8(text))); }

  // Types into the control the way a keyboard does.
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(control.get(), &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(control.get(), &release);
  }
  void Type(const QString& text) {
    for (QChar ch : text) {
      if (ch == QLatin1Char('\n')) {
        Key(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
      } else {
        Key(0, Qt::NoModifier, QString(ch));
      }
    }
  }
  void Caret(int pos, int anchor = -1) {
    QTextCursor c(&Doc());
    c.setPosition(anchor < 0 ? pos : anchor);
    if (anchor >= 0) c.setPosition(pos, QTextCursor::KeepAnchor);
    control->setTextCursor(c);
  }
  void Paste(const QString& text) {
    QMimeData mime;
    mime.setText(text);
    control->insertFromMimeData(&mime);
  }
  std::string Markup() { return views->ContentToMarkup(); }

  std::unique_ptr<TestControl> control;
  std::unique_ptr<TVRichEdits> views;
  std::unique_ptr<RichConversationView> mirror;
  std::unique_ptr<TConversationList> list;
  SmileyPictures pictures;
  std::vector<SmileyCode> codes;
};

}  // namespace plumo::testing
