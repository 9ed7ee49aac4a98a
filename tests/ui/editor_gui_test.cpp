// SPDX-License-Identifier: GPL-3.0-or-later
// The input editor of the real main window: its key table and modes, history, roster moves, nick
// completion, reply tabs with their protected quote, the colour menu, re-typing in another keyboard
// layout, characters the wire cannot carry, and captions from another language file.
#include <QAction>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QScrollBar>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>

#include "../support/virtual_display.h"
#include "core/nick_completion.h"
#include "platform/keyboard_x11.h"
#include "view/markup.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

QStringList SelectedNicks(const WindowPeer& peer) {
  QStringList nicks;
  QModelIndexList rows = peer.Roster()->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end());
  for (const QModelIndex& row : rows) nicks << row.data().toString();
  return nicks;
}

void PutCaret(const WindowPeer& peer, int position, int anchor = -1) {
  QTextCursor cursor(peer.Editor()->document());
  cursor.setPosition(anchor < 0 ? position : anchor);
  cursor.setPosition(position, QTextCursor::KeepAnchor);
  peer.Editor()->setTextCursor(cursor);
}
// Chooses the item of the layout menu whose caption is name.
void ChooseLayout(const WindowPeer& peer, const QString& name) {
  QMenu* layouts = peer.Find<QMenu>("N26");
  emit layouts->aboutToShow();
  for (QAction* item : layouts->actions()) {
    if (item->text() == name) {
      item->trigger();
      return;
    }
  }
  ADD_FAILURE() << "no layout " << name.toStdString();
}
QString CheckedLayout(const WindowPeer& peer) {
  QMenu* layouts = peer.Find<QMenu>("N26");
  emit layouts->aboutToShow();
  for (QAction* item : layouts->actions()) {
    if (item->isChecked()) return item->text();
  }
  return {};
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (saved_) {
      ::setenv(name_, saved_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// Each step acts on what the steps before it left; the editor's text, mode (by its tab count and
// height) and the roster selection are checked after each.
TEST_F(WindowTest, EditorKeysDriveModesHistoryAndTheRoster) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  const int lineHeight = alice.Editor()->height();
  const struct {
    const char* name;
    std::function<void()> act;
    QString text;
    bool tall;  // multi-line mode: the editor is taller than in line mode
    QStringList selected;
  } steps[] = {
      {"typing", [&] { alice.Type(QStringLiteral("first")); }, QStringLiteral("first"), false, {}},
      {"Enter sends the line", [&] { alice.Key(Qt::Key_Return); }, QString(), false, {}},
      {"Up recalls it", [&] { alice.Key(Qt::Key_Up); }, QStringLiteral("first"), false, {}},
      {"Down goes back to the empty line", [&] { alice.Key(Qt::Key_Down); }, QString(), false, {}},
      {"Shift+Enter: multi-line", [&] { alice.Key(Qt::Key_Return, Qt::ShiftModifier); }, QString(), true, {}},
      {"Enter breaks the line there",
       [&] {
         alice.Type(QStringLiteral("a"));
         alice.Key(Qt::Key_Return);
         alice.Type(QStringLiteral("b"));
       },
       QStringLiteral("a\nb"),
       true,
       {}},
      {"Ctrl+Enter sends it", [&] { alice.Key(Qt::Key_Return, Qt::ControlModifier); }, QString(), true, {}},
      {"Esc: back to line mode", [&] { alice.Key(Qt::Key_Escape); }, QString(), false, {}},
      {"Ctrl+Down selects the first row",
       [&] { alice.Key(Qt::Key_Down, Qt::ControlModifier); },
       QString(),
       false,
       {QStringLiteral("alice")}},
      {"Ctrl+Down again moves to bob",
       [&] { alice.Key(Qt::Key_Down, Qt::ControlModifier); },
       QString(),
       false,
       {QStringLiteral("bob")}},
      {"Shift+Up adds the row above",
       [&] { alice.Key(Qt::Key_Up, Qt::ShiftModifier); },
       QString(),
       false,
       {QStringLiteral("alice"), QStringLiteral("bob")}},
      {"Esc empties the line",
       [&] {
         alice.Type(QStringLiteral("draft"));
         alice.Key(Qt::Key_Escape);
       },
       QString(),
       false,
       {QStringLiteral("alice"), QStringLiteral("bob")}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_EQ(alice.EditorText(), step.text);
    EXPECT_EQ(alice.Editor()->height() > lineHeight, step.tall);
    EXPECT_EQ(SelectedNicks(alice), step.selected);
  }
  // Both lines reached bob, the multi-line one with its line break.
  TRY_EQ(bob.DisplayText().contains(QStringLiteral("alice: a\nb")), true);
  EXPECT_TRUE(bob.DisplayText().contains(QStringLiteral("alice: first")));
}

TEST_F(WindowTest, TabCompletesANickInItsColourAndSelectsItsRow) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bobby");
  WaitForRosters({&alice, &bob});
  alice.Type(QStringLiteral("hi bo"));
  alice.Key(Qt::Key_Tab);
  EXPECT_EQ(alice.EditorText(), QStringLiteral("hi bobby"));
  EXPECT_EQ(SelectedNicks(alice), QStringList{QStringLiteral("bobby")});
  QTextCursor cursor(alice.Editor()->document());
  cursor.setPosition(5);  // inside the nick
  EXPECT_EQ(cursor.charFormat().foreground().color(), ToQColor(kNickColor));
  alice.Type(QStringLiteral("!"));
  EXPECT_EQ(alice.EditorText(), QStringLiteral("hi bobby!"));
}

TEST_F(WindowTest, AReplyQuotesWhatItAnswersAndCtrlEnterSendsAndClosesIt) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  PrivateMessageToReplyTab(alice, bob, QStringLiteral("lunch?"));

  // The quote sits after the caret and cannot be deleted; the reply goes before it.
  const QString quoted = bob.EditorText();
  EXPECT_TRUE(quoted.contains(QStringLiteral("lunch?")));
  QTextCursor end = bob.Editor()->textCursor();
  end.movePosition(QTextCursor::End);
  bob.Editor()->setTextCursor(end);
  bob.Key(Qt::Key_Backspace);
  EXPECT_EQ(bob.EditorText(), quoted);
  QTextCursor start = bob.Editor()->textCursor();
  start.movePosition(QTextCursor::Start);
  bob.Editor()->setTextCursor(start);
  bob.Type(QStringLiteral("yes"));
  bob.Key(Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(TabTexts(bob.Messages()), (Texts{"~"}));

  // alice gets the answer with the exchange it answers.
  TRY_EQ(alice.Messages()->count(), 2);
  alice.ClickTab(alice.Messages(), 1);
  EXPECT_TRUE(alice.EditorText().contains(QStringLiteral("yes")));
  EXPECT_TRUE(alice.EditorText().contains(QStringLiteral("lunch?")));
  // Esc closes a reply tab without sending.
  alice.Key(Qt::Key_Escape);
  EXPECT_EQ(TabTexts(alice.Messages()), (Texts{"~"}));
}

TEST_F(WindowTest, TheColourMenuListsTheCustomColoursAndSetsTheTypingColour) {
  WindowPeer alice(lan, "198.18.0.11", "alice", "CustomColors=Red=0000FF,Broken=00GG00,Sea=FF8000\n");
  QMenu* colours = alice.Find<QMenu>("PopupMenu6");
  emit colours->aboutToShow();
  QStringList captions;
  for (QAction* item : colours->actions()) captions << item->text();
  // "OtherColor", the separator, then the entries that are colours (blue first in the file).
  ASSERT_EQ(captions.size(), 4);
  EXPECT_EQ(captions.mid(2), (QStringList{QStringLiteral("Red"), QStringLiteral("Sea")}));
  colours->actions()[2]->trigger();
  alice.Type(QStringLiteral("x"));
  EXPECT_EQ(alice.Editor()->textColor(), QColor(255, 0, 0));
}

TEST_F(WindowTest, CtrlBackspaceRetypesTheDraftInTheNextLayout) {
  ::setenv("XKB_DEFAULT_LAYOUT", "us,ru", 1);
  WindowPeer alice(lan, "198.18.0.11", "alice");
  alice.Type(QStringLiteral("ghbdtn"));
  alice.Key(Qt::Key_Backspace, Qt::ControlModifier);
  EXPECT_EQ(alice.EditorText(), QString::fromUtf8("привет"));
  // The layout menu lists the layout after the current one first and the current one (checked)
  // last; choosing a layout re-types the selection only, and nothing without one.
  QMenu* layouts = alice.Find<QMenu>("N26");
  emit layouts->aboutToShow();
  ASSERT_EQ(layouts->actions().size(), 2);
  EXPECT_TRUE(layouts->actions()[1]->isChecked());
  layouts->actions()[1]->trigger();  // the current layout, with nothing selected
  EXPECT_EQ(alice.EditorText(), QString::fromUtf8("привет"));
  alice.Editor()->selectAll();
  emit layouts->aboutToShow();
  layouts->actions()[0]->trigger();  // US
  EXPECT_EQ(alice.EditorText(), QStringLiteral("ghbdtn"));
  ::unsetenv("XKB_DEFAULT_LAYOUT");
}

// On a real display with two layouts: re-typing follows the layout the desktop has active, also after
// the user switched it with the desktop's own key, and leaves the caret after the re-typed text.
TEST_F(WindowTest, RetypingFollowsTheDesktopLayoutAndTypingGoesOnAfterIt) {
  testing::VirtualDisplay display;
  if (display.Name().empty() || !display.SetLayouts(QStringLiteral("us,ru")))
    GTEST_SKIP() << "no virtual X server with setxkbmap";
  const ScopedEnv onDisplay("DISPLAY", display.Name());
  WindowPeer alice(lan, "198.18.0.11", "alice");
  const QString russian = QStringLiteral("Russian");
  const QString english = QStringLiteral("English (US)");
  const struct {
    const char* name;
    std::function<void()> act;
    QString text;
    std::uint32_t group;  // the desktop's layout group afterwards
  } steps[] = {
      {"Ctrl+Backspace re-types in the next layout and switches the desktop to it",
       [&] {
         alice.TypeAtFocus(QStringLiteral("ghbdtn"));
         alice.Press(Qt::Key_Backspace, Qt::ControlModifier);
       },
       QString::fromUtf8("привет"), 1},
      {"typing goes on after the re-typed text", [&] { alice.TypeAtFocus(QStringLiteral("!")); },
       QString::fromUtf8("привет!"), 1},
      {"after the desktop's own switch back, Ctrl+Backspace re-types from it",
       [&] {
         alice.Press(Qt::Key_Escape);
         ASSERT_TRUE(LockX11LayoutGroup(0, display.Name()));
         alice.TypeAtFocus(QStringLiteral("vbh"));
         alice.Press(Qt::Key_Backspace, Qt::ControlModifier);
       },
       QString::fromUtf8("мир"), 1},
      {"the menu re-types a selection from the desktop's layout",
       [&] {
         alice.Press(Qt::Key_Escape);
         ASSERT_TRUE(LockX11LayoutGroup(0, display.Name()));
         alice.TypeAtFocus(QStringLiteral("lf"));
         alice.Editor()->selectAll();
         ChooseLayout(alice, russian);
       },
       QString::fromUtf8("да"), 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_EQ(alice.EditorText(), step.text);
    EXPECT_FALSE(alice.Editor()->textCursor().hasSelection());
    EXPECT_EQ(ReadX11Keyboard(display.Name()).Group, step.group);
  }
  // The menu marks the layout the desktop has active, whoever switched it.
  ASSERT_TRUE(LockX11LayoutGroup(0, display.Name()));
  EXPECT_EQ(CheckedLayout(alice), english);
}

// A reply's quote cannot be changed by the tools that insert text: the caret or the selection in the
// quote makes them do nothing, while in the reply area they work.
TEST_F(WindowTest, CompletionAndTheLayoutMenuLeaveAReplysQuoteAsItIs) {
  const ScopedEnv layouts("XKB_DEFAULT_LAYOUT", "us,ru");
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  PrivateMessageToReplyTab(alice, bob, QStringLiteral("lunch?"));
  const QString quoted = bob.EditorText();
  const int quoteAt = static_cast<int>(quoted.indexOf(QStringLiteral("alice")));
  const int lunchAt = static_cast<int>(quoted.indexOf(QStringLiteral("lunch")));
  ASSERT_GE(quoteAt, 0);
  ASSERT_GE(lunchAt, 0);
  const struct {
    const char* name;
    std::function<void()> act;
    QString text;
  } steps[] = {
      {"Tab after a nick's beginning inside the quote",
       [&] {
         PutCaret(bob, quoteAt + 2);
         bob.Press(Qt::Key_Tab);
       },
       quoted},
      {"a layout chosen for a selection inside the quote",
       [&] {
         PutCaret(bob, lunchAt + 5, lunchAt);
         ChooseLayout(bob, QStringLiteral("Russian"));
       },
       quoted},
      {"Tab in the reply area completes",
       [&] {
         PutCaret(bob, 0);
         bob.TypeAtFocus(QStringLiteral("al"));
         bob.Press(Qt::Key_Tab);
       },
       QStringLiteral("alice") + quoted},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_EQ(bob.EditorText(), step.text);
  }
}

// Pasting (Ctrl+V at the focus, or the editor menu's Paste) keeps a pasted text's lines: the line
// editor switches to multi-line mode for them. A long line makes the line editor grow to show it, up
// to a third of the height it shares with the channel view, and sending shrinks it back.
TEST_F(WindowTest, PastedLinesAreKeptAndALongLineGrowsTheLineEditor) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  alice.form->resize(800, 600);
  QTest::qWait(1);
  const int lineHeight = alice.Editor()->height();
  const int third = alice.Find<QWidget>("Splitter2")->height() / 3;
  QString longLine;
  for (int i = 0; i < 40; ++i) longLine += QStringLiteral("word%1 ").arg(i);
  QString endless;
  for (int i = 0; i < 30; ++i) endless += longLine;
  const auto clear = [&] {
    while (!alice.EditorText().isEmpty()) alice.Press(Qt::Key_Escape);
    alice.Press(Qt::Key_Escape);  // a line editor in multi-line mode goes back to line mode
  };
  const auto paste = [&](const QString& text) {
    clear();
    QApplication::clipboard()->setText(text);
    alice.Press(Qt::Key_V, Qt::ControlModifier);
  };
  enum class Height { Line, Taller, Third };
  const struct {
    const char* name;
    std::function<void()> act;
    QString text;
    ViewMode mode;
    Height height;
  } steps[] = {
      {"one pasted line, trimmed, stays in line mode", [&] { paste(QStringLiteral("  one line \n")); },
       QStringLiteral("one line"), ModeSingleLine, Height::Line},
      {"pasted lines switch to multi-line mode and keep their breaks",
       [&] { paste(QStringLiteral("one\r\ntwo")); }, QStringLiteral("one\ntwo"), ModeMultiLine,
       Height::Taller},
      {"the menu's Paste keeps them too",
       [&] {
         clear();
         QApplication::clipboard()->setText(QStringLiteral("a\nb"));
         alice.Find<QAction>("N7")->trigger();
       },
       QStringLiteral("a\nb"), ModeMultiLine, Height::Taller},
      {"a long line grows the line editor",
       [&] {
         clear();
         alice.TypeAtFocus(longLine);
       },
       longLine, ModeSingleLine, Height::Taller},
      {"sending shrinks it back", [&] { alice.Press(Qt::Key_Return); }, QString(), ModeSingleLine,
       Height::Line},
      {"an endless line stops at a third", [&] { paste(endless); }, endless.trimmed(), ModeSingleLine,
       Height::Third},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_EQ(alice.EditorText(), step.text);
    EXPECT_EQ(alice.core->Editor().ActiveMode(), step.mode);
    const int height = alice.Editor()->height();
    switch (step.height) {
      case Height::Line:
        EXPECT_EQ(height, lineHeight);
        break;
      case Height::Taller:
        EXPECT_GT(height, lineHeight);
        EXPECT_LT(height, third);
        break;
      case Height::Third:
        EXPECT_GE(height, third - 2);
        EXPECT_LE(height, third);
        break;
    }
    EXPECT_FALSE(alice.Editor()->horizontalScrollBar()->isVisible());
  }
}

// An emoji the chat has a smiley for travels as the smiley's code; the question names only what
// would really be lost, and until the user agrees the draft stays.
TEST_F(WindowTest, EmojiWithASmileyTravelAsItsCodeAndOnlyTheRestIsAskedAbout) {
  WindowPeer alice(lan, "198.18.0.11", "alice", "[smiles]\n:-)=0\n");
  WindowPeer bob(lan, "198.18.0.12", "bob");  // no smileys: bob reads the codes
  WaitForRosters({&alice, &bob});
  const struct {
    const char* name;
    const char* typed;
    const char* lost;  // what the question lists; null: no question
    const char* received;
  } cases[] = {
      {"an emoji with a smiley alone", "hi \U0001F600", nullptr, "alice: hi :-)"},
      {"another emoji beside it", "party \U0001F389 \U0001F642", "\U0001F389 \u2192 ?", "alice: party ? :-)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t asked = ui::DialogAnswers::Shown().size();
    alice.Editor()->insertPlainText(QString::fromUtf8(c.typed));  // as an input method or a paste puts it
    alice.Press(Qt::Key_Return);
    if (c.lost != nullptr) {
      // Nobody answers: the draft stays, its emoji now the smiley.
      ASSERT_EQ(ui::DialogAnswers::Shown().size(), asked + 1);
      const std::string question = ui::DialogAnswers::Shown().back();
      EXPECT_NE(question.find(c.lost), std::string::npos) << question;
      EXPECT_EQ(question.find("\U0001F642"), std::string::npos) << question;
      EXPECT_FALSE(alice.EditorText().isEmpty());
      EXPECT_FALSE(alice.EditorText().contains(QString::fromUtf8("\U0001F642")));
      ui::DialogAnswers::SetNextInputAnswer(std::string("send"));
      alice.Press(Qt::Key_Return);
    } else {
      EXPECT_EQ(ui::DialogAnswers::Shown().size(), asked);
    }
    EXPECT_EQ(alice.EditorText(), QString());
    TRY_EQ(bob.DisplayText().contains(QString::fromUtf8(c.received)), true);
  }
}

TEST_F(WindowTest, ASecondLanguageFileRecaptionsTheWindow) {
  // A second language file beside english.lng, made from it with two captions changed.
  const auto addPirate = [](const fs::path& dir) {
    std::ifstream in(dir / "english.lng");
    std::ofstream out(dir / "pirate.lng");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("Language=", 0) == 0) line = "Language=Pirate";
      if (line.rfind("N3=", 0) == 0) line = "N3=Scuttle";
      if (line.rfind("SpeedButton2=", 0) == 0) line = "SpeedButton2=Rigging";
      out << line << "\n";
    }
  };
  WindowPeer alice(lan, "198.18.0.11", "alice", {}, {}, addPirate);
  EXPECT_EQ(alice.Find<QAction>("N3")->text(), QStringLiteral("Close"));
  QAction* pirate = alice.Find<QAction>("Ppirate");
  ASSERT_NE(pirate, nullptr);
  pirate->trigger();
  EXPECT_EQ(alice.Find<QAction>("N3")->text(), QStringLiteral("Scuttle"));
  EXPECT_EQ(alice.Button("SpeedButton2")->text(), QStringLiteral("Rigging"));
  EXPECT_EQ(alice.core->Settings().Language, "pirate.lng");
}

// A colour code typed in the editor colours what is typed after it, and travels as markup.
TEST_F(WindowTest, AColourCodeTypedInTheEditorColoursWhatFollows) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  alice.Type(QStringLiteral("hello #^FF0000red"));
  QTextCursor cursor(alice.Editor()->document());
  cursor.setPosition(alice.Editor()->document()->characterCount() - 2);  // inside "red"
  EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(255, 0, 0));
  alice.Key(Qt::Key_Return);
  TRY_EQ(bob.DisplayText().contains(QStringLiteral("alice: hello red")), true);
  const QString shown = bob.DisplayText();
  QTextCursor atRed(bob.Display()->document());
  atRed.setPosition(static_cast<int>(shown.indexOf(QStringLiteral("red"))) + 1);
  EXPECT_EQ(atRed.charFormat().foreground().color(), QColor(255, 0, 0));
}

}  // namespace
}  // namespace plumo::uitest
