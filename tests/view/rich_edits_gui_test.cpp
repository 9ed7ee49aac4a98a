// SPDX-License-Identifier: GPL-3.0-or-later
#include <QElapsedTimer>
#include <QScrollBar>
#include <QThread>

#include <functional>

#include "view_fixture.h"

namespace plumo::testing {
namespace {

using ViewsTest = ViewFixture;

TEST_F(ViewsTest, LinesForAHiddenConversationAreQueuedAndShownInOrderFormatted) {
  Open("#", ModeLog);
  ASSERT_TRUE(Add("Main", ModeLog));
  EXPECT_TRUE(views->AddLine(1, "#^FF0000one"));
  EXPECT_TRUE(views->AddLine(1, "two"));
  EXPECT_FALSE(views->AddLine(2, "x"));
  EXPECT_FALSE(views->AddLine(-1, "x"));
  EXPECT_TRUE(views->AddLine(0, "console"));
  EXPECT_TRUE(views->AddLine(0, "console 2"));
  EXPECT_EQ(views->ViewAt(1).PendingLines.size(), 2u);
  ASSERT_TRUE(Show("Main"));
  EXPECT_EQ(Plain(), QStringLiteral("one\ntwo"));
  EXPECT_EQ(ColorAt(0), QColor(255, 0, 0));
  EXPECT_EQ(ColorAt(IndexOf("two")), QColor(Qt::black));
  EXPECT_TRUE(views->ViewAt(1).PendingLines.empty());
  // While the window is hidden even the current conversation queues, and the control shows nothing.
  views->SetWindowVisible(false);
  EXPECT_TRUE(views->AddLine(1, "three"));
  EXPECT_EQ(views->Displayed(), nullptr);
  EXPECT_EQ(Plain(), QString());
  EXPECT_EQ(views->ViewAt(1).Content->toPlainText(), QStringLiteral("one\ntwo"));
  views->SetWindowVisible(true);
  EXPECT_EQ(Plain(), QStringLiteral("one\ntwo\nthree"));
  // The console kept its own content.
  ASSERT_TRUE(Show("#"));
  EXPECT_EQ(Plain(), QStringLiteral("console\nconsole 2"));
}

TEST_F(ViewsTest, IndicesOutsideTheListAreRefusedAndChangeNothing) {
  Open("~", ModeSingleLine);
  EXPECT_FALSE(views->InsertView(-1));
  EXPECT_FALSE(views->InsertView(2));
  EXPECT_FALSE(views->ShowView(-1, ModeLog));
  EXPECT_FALSE(views->ShowView(1, ModeLog));
  EXPECT_FALSE(views->RemoveView(1));
  EXPECT_THROW(views->ViewAt(1), std::out_of_range);
  EXPECT_EQ(views->Count(), 1);
  EXPECT_EQ(&views->CurrentView(), &views->ViewAt(0));
  EXPECT_EQ(views->CurrentMode(), ModeSingleLine);
  // Removing the current conversation leaves none current and the control on an empty document.
  Type(QStringLiteral("draft"));
  ASSERT_TRUE(views->RemoveView(0));
  EXPECT_EQ(views->CurrentIndex(), -1);
  EXPECT_THROW(views->CurrentView(), std::out_of_range);
  EXPECT_EQ(Plain(), QString());
  EXPECT_FALSE(views->ClearInput());
}

TEST_F(ViewsTest, ModeSwitchesKeepTheContent) {
  UseSmileys();
  Open("~", ModeSingleLine);
  EXPECT_FALSE(control->AcceptLineBreaks());
  Type(QStringLiteral("a :) #^FF0000b"));
  views->FormatView();
  const std::string before = Markup();
  EXPECT_EQ(before, "a :) #^FF0000b");
  // A selection (a double click toggles the mode) keeps its colours and pictures.
  Caret(static_cast<int>(Plain().size()), 0);
  list->SetMode(0, ModeMultiLine);
  EXPECT_EQ(views->CurrentMode(), ModeMultiLine);
  EXPECT_TRUE(control->AcceptLineBreaks());
  EXPECT_EQ(control->height(), views->MultiLineHeight);
  EXPECT_EQ(Markup(), before);
  list->SetMode(0, ModeSingleLine);
  EXPECT_EQ(control->height(), views->SingleLineHeight);
  EXPECT_EQ(Markup(), before);
  // A new own colour is for text typed next, not for the selected text.
  views->SetOwnColor(RgbToColor("008000"));
  EXPECT_EQ(Markup(), before);
  Caret(0);
  // Enter does not break a single line; it is left to the window.
  Key(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  EXPECT_EQ(Doc().blockCount(), 1);
  views->ApplyMode(ModeLog);
  EXPECT_TRUE(control->isReadOnly());
}

TEST_F(ViewsTest, ClearInputEmptiesTheEditorButKeepsItUsable) {
  Open("~", ModeSingleLine);
  Type(QStringLiteral("sent"));
  EXPECT_TRUE(views->ClearInput());
  EXPECT_EQ(Plain(), QString());
  Type(QStringLiteral("next"));
  ASSERT_TRUE(Show("~"));
  EXPECT_EQ(Plain(), QStringLiteral("next"));
}

TEST_F(ViewsTest, HidingAndSwitchingWhileHiddenNeverOverwriteAConversation) {
  Open("#", ModeLog);
  Line("#", "keep me");
  ASSERT_TRUE(Add("Main", ModeLog));
  views->SetWindowVisible(false);
  views->SetWindowVisible(false);
  // The tab changes twice while the window is hidden; a line arrives meanwhile.
  ASSERT_TRUE(Show("Main"));
  Line("#", "queued");
  ASSERT_TRUE(Show("#"));
  EXPECT_EQ(views->Displayed(), nullptr);
  views->SetWindowVisible(true);
  EXPECT_EQ(Plain(), QStringLiteral("keep me\nqueued"));
  ASSERT_TRUE(Show("Main"));
  EXPECT_EQ(Plain(), QString());
}

TEST_F(ViewsTest, QueuedLinesOfADraftAreFormattedOnceLikeInALog) {
  // What an invalid marker leaves behind must not become a marker when the draft is shown.
  const char* line = "#^#^FF0000FF0000xy";
  Open("#", ModeLog);
  Line("#", line);
  const QString in_log = Plain();
  ASSERT_EQ(in_log, QStringLiteral("#^FF0000xy"));
  ASSERT_TRUE(Add("draft", ModeReply));
  Line("draft", line);
  ASSERT_TRUE(Show("draft"));
  EXPECT_EQ(Plain(), in_log);
  EXPECT_EQ(ColorAt(IndexOf("FF0000xy")), QColor(255, 0, 0));
  // Nor when more lines arrive later.
  ASSERT_TRUE(Show("#"));
  Line("draft", "a second line long enough to reach over the first");
  ASSERT_TRUE(Show("draft"));
  EXPECT_TRUE(Plain().startsWith(in_log + QLatin1Char('\n'))) << Plain().toStdString();
}

TEST_F(ViewsTest, ClosingADraftLeavesTheNeighboursQuoteProtected) {
  Open("~", ModeSingleLine);
  for (const char* name : {"a", "b"}) {
    ASSERT_TRUE(Add(name, ModeReply));
    Line(name, std::string("quote ") + name);
  }
  ASSERT_TRUE(Show("b"));
  ASSERT_TRUE(Show("a"));
  list->Close(1);
  ASSERT_EQ(Plain(), QStringLiteral("quote b"));
  Caret(0);
  Key(Qt::Key_Delete);
  EXPECT_EQ(Plain(), QStringLiteral("quote b"));
}

// Runs the event loop until done() holds or two seconds have passed; false on the timeout.
template <typename Done>
bool RunUntil(Done done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > 2000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

QString Lines(int from, int to) {
  QStringList lines;
  for (int i = from; i < to; ++i) lines << QStringLiteral("line %1").arg(i);
  return lines.join(QLatin1Char('\n'));
}

TEST_F(ViewsTest, LinesOfTheDisplayedLogWaitForOneFlushAndReadersSeeThemAll) {
  struct Case {
    TViewMode mode;
    bool waits;  // the lines wait for a flush instead of being appended one by one
  };
  const Case cases[] = {{ModeLog, true}, {ModeReply, false}, {ModeMultiLine, false}, {ModeSingleLine, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::string name = "conversation " + std::to_string(c.mode);
    Open(name, c.mode);
    const QTextDocument& raw = *views->CurrentView().Content;
    for (int i = 0; i < 3; ++i) Line(name, "line " + std::to_string(i));
    EXPECT_EQ(raw.toPlainText().isEmpty(), c.waits);
    // Every reader flushes first.
    EXPECT_EQ(QString::fromStdString(Markup()),
              Lines(0, 3).replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
    for (int i = 3; i < 5; ++i) Line(name, "line " + std::to_string(i));
    EXPECT_EQ(Plain(), Lines(0, 5));
    EXPECT_EQ(raw.toPlainText(), Lines(0, 5));
    // Received lines of a reply draft are its quote, however they arrived.
    EXPECT_EQ(views->CurrentView().ProtectedLength, c.mode == ModeReply ? Plain().size() : 0);
  }
}

TEST_F(ViewsTest, AFloodIsAppendedInOrderByFlushesFromTheEventLoop) {
  Open("Main", ModeLog);
  const QTextDocument& raw = *views->CurrentView().Content;
  const int count = TVRichEdits::kMaxFlushLines * 2 + 7;
  for (int i = 0; i < count; ++i) Line("Main", "line " + std::to_string(i));
  EXPECT_EQ(raw.toPlainText(), QString());
  // The loop appends at most kMaxFlushLines at a time, so that it is never blocked for long.
  ASSERT_TRUE(RunUntil([&] { return raw.blockCount() > 1; }));
  EXPECT_EQ(raw.toPlainText(), Lines(0, TVRichEdits::kMaxFlushLines));
  ASSERT_TRUE(RunUntil([&] { return views->CurrentView().PendingLines.empty(); }));
  EXPECT_EQ(raw.toPlainText(), Lines(0, count));
  QTextCursor end(&Doc());
  end.movePosition(QTextCursor::End);
  EXPECT_EQ(control->textCursor().position(), end.position());
  // Scrolled to the end: the caret at the end is in view, the start of the log is not.
  EXPECT_TRUE(control->viewport()->rect().contains(control->cursorRect()));
  EXPECT_GT(control->verticalScrollBar()->value(), 0);
}

TEST_F(ViewsTest, ABoundedLogDropsWholeLinesFromTheTopQueuedOnesIncluded) {
  // A window of four rows: past five the oldest go down to four. A line with a break is one row,
  // each line of a history page one row; rows still queued (for a flush of the shown log, or for a
  // conversation not shown) go before they are formatted.
  list->SetWindow(4);
  Open("Main", ModeLog);
  ASSERT_TRUE(Add("Other", ModeLog));
  for (const std::string name : {"Main", "Other"}) {
    SCOPED_TRACE(name);
    const int index = list->IndexOf(name);
    list->AddHistory(index, {"stored 1", "stored 2"});
    Line(name, "two\r\nparts");
    if (name == "Main") views->Flush();
    for (const char* line : {"three", "four", "five"}) Line(name, line);
    EXPECT_EQ(list->Rows(index).Rows(), 4);  // the stored lines went
    Line(name, "six");
    Line(name, "seven");  // "two parts" (in the document) and "three" (queued) go
    ASSERT_TRUE(Show(name));
    EXPECT_EQ(Plain(), QStringLiteral("four\nfive\nsix\nseven"));
    Line(name, "eight");
    Line(name, "nine");
    EXPECT_EQ(Plain(), QStringLiteral("six\nseven\neight\nnine"));
    // Dropping more rows than there are empties the log, which takes new lines as before.
    ASSERT_TRUE(views->DropOldest(index, 9));
    EXPECT_EQ(Plain(), QString());
    Line(name, "ten");
    ASSERT_TRUE(views->PrependLines(index, {"old"}));
    ASSERT_TRUE(views->DropOldest(index, 1));
    EXPECT_EQ(Plain(), QStringLiteral("ten"));
  }
  EXPECT_FALSE(views->DropOldest(2, 1));
}

class QueuedLinesTest : public ViewFixture {
 public:
  using ViewFixture::list;
  using ViewFixture::Show;
  using ViewFixture::views;
};

struct QueuedStep {
  const char* what;
  const char* line;  // added to the log before the step, if any
  std::function<void(QueuedLinesTest&)> act;
  const char* raw;  // the log's document right after the step, without a flush
};

TEST_F(QueuedLinesTest, WhatWaitsForAFlushIsNeitherLostNorShownAfterAClear) {
  ASSERT_TRUE(Add("other", ModeLog));
  Open("Main", ModeLog);
  const QueuedStep steps[] = {
      {"a line waits", "a", [](QueuedLinesTest&) {}, ""},
      {"hiding the window appends it", nullptr, [](QueuedLinesTest& t) { t.views->SetWindowVisible(false); },
       "a"},
      {"lines queued while hidden", "b", [](QueuedLinesTest& t) { t.views->SetWindowVisible(true); }, "a\nb"},
      {"switching away appends what waits", "c", [](QueuedLinesTest& t) { t.Show("other"); }, "a\nb\nc"},
      {"switching back", nullptr, [](QueuedLinesTest& t) { t.Show("Main"); }, "a\nb\nc"},
      {"clearing drops what waits", "d", [](QueuedLinesTest& t) { t.views->ClearView(); }, ""},
      {"a mode change appends what waits as a log line, not as a quote", "e",
       [](QueuedLinesTest& t) { t.list->SetMode(t.list->IndexOf("Main"), ModeReply); }, "e"},
  };
  for (const QueuedStep& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.line != nullptr) Line("Main", step.line);
    step.act(*this);
    EXPECT_EQ(views->ViewAt(list->IndexOf("Main")).Content->toPlainText(), QString::fromUtf8(step.raw));
  }
  EXPECT_EQ(views->CurrentView().ProtectedLength, 0);
}

class ReplyTest : public ViewFixture {
 protected:
  void SetUp() override {
    ViewFixture::SetUp();
    UseSmileys();
    ASSERT_TRUE(Add("[10:00] ,Ann->", ModeReply));
    Line("[10:00] ,Ann->", "#^666666[10:00] #^000000Ann: hello :)");
    Line("[10:00] ,Ann->", "second line");
    ASSERT_TRUE(Show("[10:00] ,Ann->"));
    quote = Plain();
    ASSERT_EQ(views->CurrentView().ProtectedLength, quote.size());
  }

  // The quote is the text after the reply area.
  bool QuoteIntact() {
    return Plain().endsWith(quote) && views->ContentToMarkup().find("Ann: hello :)") != std::string::npos;
  }
  int Boundary() { return static_cast<int>(Plain().size() - quote.size()); }

  QString quote;
};

TEST_F(ReplyTest, TheReplyAreaStaysEditable) {
  Type(QStringLiteral("thanks "));
  Key(Qt::Key_Backspace);
  Type(QStringLiteral("!\n"));
  EXPECT_TRUE(Plain().startsWith(QStringLiteral("thanks!\n")));
  EXPECT_TRUE(QuoteIntact());
  EXPECT_EQ(Markup().substr(0, 8), "thanks!\r");
}

TEST_F(ReplyTest, TheQuoteSurvivesEveryKindOfEdit) {
  Type(QStringLiteral("re: "));
  const int l = Boundary();
  // Delete at the boundary, and Backspace, typing and Enter inside the quote.
  Caret(l);
  Key(Qt::Key_Delete);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  Caret(l + 3);
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Backspace, Qt::ControlModifier);
  Type(QStringLiteral("xy\n"));
  Key(Qt::Key_K, Qt::ControlModifier);
  // A selection reaching into the quote: typing, Delete, Backspace, cut, paste.
  Caret(l + 5, 1);
  Type(QStringLiteral("z"));
  Key(Qt::Key_Delete);
  Key(Qt::Key_Backspace);
  Key(Qt::Key_X, Qt::ControlModifier);
  Key(Qt::Key_V, Qt::ControlModifier);
  Paste(QStringLiteral("pasted"));
  EXPECT_FALSE(control->DeleteSelection());
  // An input method committing text inside the quote.
  Caret(l + 2);
  QInputMethodEvent ime(QString(), {});
  ime.setCommitString(QStringLiteral("ime"));
  QApplication::sendEvent(control.get(), &ime);
  // Dropping text into the quote.
  QMimeData mime;
  mime.setText(QStringLiteral("dropped"));
  QTextCursor inside(&Doc());
  inside.setPosition(Plain().size() - 2);
  const QPointF at = control->cursorRect(inside).center();
  QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(control->viewport(), &drop);
  EXPECT_TRUE(QuoteIntact()) << Plain().toStdString();
  EXPECT_TRUE(Plain().startsWith(QStringLiteral("re: ")));
  // Edits that stay in the reply area still work, right up to the boundary.
  Caret(Boundary());
  Key(Qt::Key_Backspace);
  Type(QStringLiteral("!"));
  Caret(0);
  Paste(QStringLiteral(" ok\t"));  // pasted text is trimmed
  EXPECT_TRUE(Plain().startsWith(QStringLiteral("okre:!")));
  EXPECT_TRUE(QuoteIntact());
}

TEST_F(ReplyTest, AllowProtectedEditLetsExactlyOneChangeThrough) {
  views->CurrentView().AllowProtectedEdit = true;
  Caret(0);
  Key(Qt::Key_Delete);
  EXPECT_EQ(Plain(), quote.mid(1));
  Key(Qt::Key_Delete);
  EXPECT_EQ(Plain(), quote.mid(1));
  EXPECT_FALSE(views->CurrentView().AllowProtectedEdit);
}

TEST_F(ReplyTest, LinesAddedToAnOpenDraftJoinTheQuote) {
  Type(QStringLiteral("re"));
  Line("[10:00] ,Ann->", "third");
  Caret(Boundary() + 1);
  Type(QStringLiteral("x"));
  EXPECT_TRUE(Plain().endsWith(QStringLiteral("second line\nthird")));
}

class SmileyRoundTripTest : public ViewFixture {
 protected:
  void SetUp() override {
    ViewFixture::SetUp();
    UseSmileys();
    Open("~", ModeMultiLine);
  }
  void TypeAndFormat(const QString& text) {
    Type(text);
    views->FormatView();
  }
};

TEST_F(SmileyRoundTripTest, CodesBecomePicturesAndComeBackInTableOrder) {
  TypeAndFormat(QStringLiteral("a:):)b ;) :)) :P"));
  // ':)' is listed before ':))', so ':))' shows ':)' as a picture followed by ')'; ':P' has no picture.
  EXPECT_EQ(Visible(), QStringLiteral("a@@b @ @) :P"));
  EXPECT_EQ(views->CurrentView().SmileyCount(), 4);
  EXPECT_EQ(Markup(), "a:):)b ;) :)) :P");
  // Typing continues after the last picture.
  TypeAndFormat(QStringLiteral("!"));
  EXPECT_EQ(Markup(), "a:):)b ;) :)) :P!");
}

TEST_F(SmileyRoundTripTest, DeletionsAndPastesAroundPicturesKeepEveryCode) {
  TypeAndFormat(QStringLiteral("1:)2;)3:)4"));
  ASSERT_EQ(Visible(), QStringLiteral("1@2@3@4"));
  // Delete the middle picture with Backspace.
  Caret(4);
  Key(Qt::Key_Backspace);
  EXPECT_EQ(Markup(), "1:)23:)4");
  // Paste text with a code between a picture and its neighbour.
  Caret(2);
  Paste(QStringLiteral("  ;)x  "));
  EXPECT_EQ(Visible(), QStringLiteral("1@@x23@4"));
  EXPECT_EQ(Markup(), "1:);)x23:)4");
  // Copying a selection with pictures gives their codes; removing it leaves the others intact.
  Caret(4, 1);
  std::unique_ptr<QMimeData> copied(control->createMimeDataFromSelection());
  EXPECT_EQ(copied->text(), QStringLiteral(":);)x"));
  EXPECT_EQ(views->SelectionToMarkup(true), ":);)x");
  EXPECT_TRUE(control->DeleteSelection());
  EXPECT_EQ(Markup(), "123:)4");
  Caret(0);
  Key(Qt::Key_Delete);
  EXPECT_EQ(Markup(), "23:)4");
  // Typed right after a picture, text is plain text, not part of the picture.
  Caret(3);
  Type(QStringLiteral("y"));
  EXPECT_EQ(Markup(), "23:)y4");
}

TEST_F(SmileyRoundTripTest, KeysThatInsertNothingLeaveTheSelectionAsItIs) {
  TypeAndFormat(QStringLiteral("a :)"));
  // A selection ending right after a picture, then Ctrl+C and Ctrl+A.
  Caret(static_cast<int>(Plain().size()), 0);
  Key(Qt::Key_C, Qt::ControlModifier, QString(QChar(3)));
  Key(Qt::Key_A, Qt::ControlModifier, QString(QChar(1)));
  EXPECT_EQ(Markup(), "a :)");
  // Typing over it replaces it with plain text.
  Caret(static_cast<int>(Plain().size()), 2);
  Type(QStringLiteral("x"));
  EXPECT_EQ(Visible(), QStringLiteral("a x"));
  EXPECT_EQ(Markup(), "a x");
  // The same in a read-only log with hidden markers and a link.
  views->HotNicks = true;
  Open("Main", ModeLog);
  Line("Main", ":#ann^#K: :) www.example.org :)");
  const QString shown = Visible();
  Caret(static_cast<int>(Plain().size()), 0);
  Key(Qt::Key_C, Qt::ControlModifier, QString(QChar(3)));
  Key(Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
  EXPECT_EQ(Visible(), shown);
  EXPECT_EQ(FormatAt(IndexOf("ann")).anchorHref(), QStringLiteral(":#ann"));
  EXPECT_EQ(views->SelectionToMarkup(false), ":#ann^#K: :) www.example.org :)");
}

TEST_F(SmileyRoundTripTest, StashAndShowKeepPictures) {
  TypeAndFormat(QStringLiteral("x :) y"));
  Open("other", ModeMultiLine);
  ASSERT_TRUE(Show("~"));
  EXPECT_EQ(Visible(), QStringLiteral("x @ y"));
  EXPECT_EQ(Markup(), "x :) y");
}

}  // namespace
}  // namespace plumo::testing
