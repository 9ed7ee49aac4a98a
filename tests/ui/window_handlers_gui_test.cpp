// SPDX-License-Identifier: GPL-3.0-or-later
// The window's handlers of the tab strips, the roster panel, the editor tools and the toolbar menus,
// each group driven through the widgets as a user would.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QTextCursor>
#include <QTextDocument>

#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "images/images.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

int Count(const QString& text, const QString& part) {
  return static_cast<int>(text.count(part));
}

TEST_F(WindowTest, TheWheelMovesOneTabOrOneRosterRowPerNotch) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  alice.Key(Qt::Key_F6);  // a second message tab, active
  QTabBar* channels = alice.Channels();
  QTabBar* messages = alice.Messages();
  QWidget* roster = alice.Roster()->viewport();
  const auto turns = [&](QWidget* over, std::vector<int> deltas) {
    return [&alice, over, deltas] {
      for (const int delta : deltas) alice.Wheel(over, delta);
    };
  };
  const auto firstSelected = [&] {
    const RosterRow* row = alice.core->Roster().FirstSelected();
    return row ? row->Nick : std::string("-");
  };
  // Each step acts on the state the previous ones left.
  const struct {
    const char* name;
    std::function<void()> act;
    int channel;
    int message;
    std::string selected;
  } steps[] = {
      {"away over the channels", turns(channels, {120}), 0, 1, "-"},
      {"away at the console: no way round", turns(channels, {120}), 0, 1, "-"},
      {"eight fine steps are one notch", turns(channels, {-15, -15, -15, -15, -15, -15, -15, -15}), 1, 1,
       "-"},
      {"two notches in one event move once", turns(channels, {-240}), 2, 1, "-"},
      {"away over the messages", turns(messages, {120}), 2, 0, "-"},
      {"toward the user over the messages", turns(messages, {-120}), 2, 1, "-"},
      {"toward the user on the last message tab", turns(messages, {-120}), 2, 1, "-"},
      {"toward the user over the roster", turns(roster, {-120}), 2, 1, "alice"},
      {"again", turns(roster, {-120}), 2, 1, "bob"},
      {"away over the roster", turns(roster, {120}), 2, 1, "alice"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    alice.ExpectCurrentTabs(step.channel, step.message);
    EXPECT_EQ(firstSelected(), step.selected);
  }
}

// The image index a tab shows: the first main image whose picture the tab's icon shows.
std::vector<int> TabIcons(const QTabBar* tabs) {
  std::vector<int> icons;
  for (int i = 0; i < tabs->count(); ++i) {
    const QImage shown = tabs->tabIcon(i).pixmap(16, 16).toImage();
    int found = -1;
    for (const int image : {7, 8, 9, 18, 81, 31, 43}) {
      if (MainImage(image).pixmap(16, 16).toImage() == shown) {
        found = image;
        break;
      }
    }
    icons.push_back(found);
  }
  return icons;
}

TEST_F(WindowTest, TabIconsMarkWhatTheUserHasNotSeen) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  const auto bobSays = [&](const char* line) {
    bob.Type(QString::fromLatin1(line));
    bob.Key(Qt::Key_Return);
  };
  // Each step acts on the state the previous ones left.
  const struct {
    const char* name;
    std::function<void()> act;
    std::vector<int> channels;
    std::vector<int> messages;
  } steps[] = {
      {"at start the welcome line waits in the console", [] {}, {81, 7, 7, 7, 7}, {18}},
      {"the console is looked at", [&] { alice.ClickTab(alice.Channels(), 0); }, {18, 7, 7, 7, 7}, {18}},
      {"a line in Main while the console is shown", [&] { bobSays("news"); }, {18, 9, 7, 7, 7}, {18}},
      {"Main is looked at", [&] { alice.ClickTab(alice.Channels(), 1); }, {18, 8, 7, 7, 7}, {18}},
      {"a line in Main while it is shown", [&] { bobSays("more"); }, {18, 8, 7, 7, 7}, {18}},
      {"a message to everybody", [&] { alice.Key(Qt::Key_F6); }, {18, 8, 7, 7, 7}, {18, 43}},
      {"a private message",
       [&] {
         alice.ClickRosterRow(QStringLiteral("bob"));
         alice.Key(Qt::Key_F5);
       },
       {18, 8, 7, 7, 7},
       {18, 43, 31}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_TRUE(WaitFor([&] { return TabIcons(alice.Channels()) == step.channels; }));
    EXPECT_EQ(TabIcons(alice.Channels()), step.channels);
    EXPECT_EQ(TabIcons(alice.Messages()), step.messages);
  }
  // A click on the active channel tab asks nobody for its topic; a click on another one does.
  alice.host.ClearSent();
  alice.ClickTab(alice.Channels(), 1);
  EXPECT_TRUE(alice.host.Sent().empty());
  alice.ClickTab(alice.Channels(), 2);
  EXPECT_FALSE(alice.host.Sent().empty());
}

TEST_F(WindowTest, RosterPanelActionsUseTheFirstSelectedPeerOrSayNobodyIs) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  QApplication::setActiveWindow(alice.form.get());
  QListView* list = alice.Roster();
  const QString nobody = QStringLiteral("No user is selected.");
  const QPoint emptyPart(5, list->viewport()->height() - 5);
  // As a real double click comes: press, release, double click, release.
  const auto doubleClick = [list](QPoint at) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  };
  // Each step acts on the state the previous ones left.
  const struct {
    const char* name;
    std::function<void()> act;
    std::function<bool()> done;
  } steps[] = {
      {"N19 puts the first selected nick into the editor",
       [&] {
         list->selectAll();
         alice.Find<QAction>("N19")->trigger();
       },
       [&] { return alice.EditorText() == QStringLiteral("alice") && alice.Editor()->hasFocus(); }},
      {"N22 with nobody selected",
       [&] {
         list->clearSelection();
         alice.Find<QAction>("N22")->trigger();
       },
       [&] { return alice.Channels()->currentIndex() == 0 && Count(alice.DisplayText(), nobody) == 1; }},
      {"a double click on the empty part of the list, nobody selected", [&] { doubleClick(emptyPart); },
       [&] { return Count(alice.DisplayText(), nobody) == 2 && alice.Messages()->count() == 1; }},
      {"a double click on bob's row opens a message to him",
       [&] {
         const QModelIndex bobRow = list->model()->index(1, 0);
         doubleClick(list->visualRect(bobRow).center());
       },
       [&] {
         return alice.Messages()->count() == 2 && alice.Messages()->currentIndex() == 1 &&
                alice.Messages()->tabText(1).contains(QStringLiteral("bob"));
       }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_TRUE(WaitFor(step.done));
  }
}

TEST_F(WindowTest, EditorToolsInsertHotNicksAndSetTheTypingColour) {
  WindowPeer alice(lan, "198.18.0.11", "alice", "ChanelHotNik=1\n");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  RichTextControl* editor = alice.Editor();
  const auto clickLink = [&](const char* link) {
    return [&alice, link] { emit alice.Display()->LinkClicked(QString::fromLatin1(link)); };
  };
  const auto colourAt = [&](int position) {
    QTextCursor at(editor->document());
    at.setPosition(position);
    return at.charFormat().foreground().color();
  };
  const QColor black(0, 0, 0);
  const struct {
    const char* name;
    std::optional<std::string> answer;  // of the colour dialog, when the step opens it
    std::function<void()> act;
    QString text;  // the editor's text afterwards
    std::function<bool()> check;
  } steps[] = {
      {"a hot-nick link inserts the nick at the caret, then the caret goes to the end", std::nullopt,
       [&] {
         alice.Type(QStringLiteral("hi"));
         alice.Key(Qt::Key_Home);
         clickLink(":#bo")();
       },
       QStringLiteral(" bob hi"),
       [&] {
         return editor->textCursor().position() == 7 && colourAt(3) == QColor(0x88, 0x88, 0x66) &&
                editor->currentCharFormat().foreground().color() == black;
       }},
      {"a link that names no peer inserts nothing", std::nullopt, clickLink(":#zed"),
       QStringLiteral(" bob hi"), [] { return true; }},
      {"with channel hot nicks off a nick link inserts nothing", std::nullopt,
       [&] {
         alice.core->Settings().ChanelHotNik = false;
         clickLink(":#bob")();
       },
       QStringLiteral(" bob hi"), [] { return true; }},
      {"the colour dialog N17", std::string("#00ff00"), [&] { alice.ChooseFromMenu("PopupMenu6", 0); },
       QStringLiteral(" bob hi"), [&] { return editor->textColor() == QColor(0, 255, 0); }},
      {"the custom colour ColorC (blue first: red)", std::nullopt,
       [&] { alice.ChooseFromMenu("PopupMenu6", 4); }, QStringLiteral(" bob hi"),
       [&] { return editor->textColor() == QColor(255, 0, 0); }},
      {"the middle button copies the display's selection", std::nullopt,
       [&] {
         editor->clear();
         alice.ClickTab(alice.Channels(), 0);
         QTextCursor all(alice.Display()->document());
         all.select(QTextCursor::Document);
         alice.Display()->setTextCursor(all);
         QTest::mouseClick(alice.Display()->viewport(), Qt::MiddleButton);
       },
       QString(), [&] { return alice.EditorText().contains(QStringLiteral("alice has entered the chat.")); }},
      {"N16 empties the console", std::nullopt, [&] { alice.Find<QAction>("N16")->trigger(); }, QString(),
       [&] { return alice.DisplayText().isEmpty(); }},
      {"the topic button's right button shows the topic again", std::nullopt,
       [&] {
         alice.ClickTab(alice.Channels(), 1);
         alice.Find<QAction>("N16")->trigger();
         QTest::mouseClick(alice.Button("ToolButton6"), Qt::RightButton);
       },
       QString(), [&] { return alice.DisplayText().contains(QStringLiteral("Welcome")); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.answer) ui::DialogAnswers::SetNextInputAnswer(step.answer);
    step.act();
    if (!step.text.isNull()) {
      EXPECT_EQ(alice.EditorText(), step.text);
    }
    EXPECT_TRUE(WaitFor(step.check));
  }
  EXPECT_EQ(ui::DialogAnswers::Asked(), (std::vector<std::string>{"Color"}));
}

TEST_F(WindowTest, StateMenuNickListTabMenuSendAndExit) {
  WindowPeer alice(lan, "198.18.0.11", "alice", "MyNiks=alice,carol\n");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  QMenu* states = alice.Find<QMenu>("PopupMenu9");
  const auto stateMenu = [&] {
    emit states->aboutToShow();
    Texts captions;
    for (const QAction* item : states->actions()) {
      captions.push_back(item->text().toStdString() + (item->isChecked() ? " *" : ""));
    }
    return captions;
  };
  const auto image = [&] { return alice.Button("ToolButton5")->property("image").toInt(); };
  EXPECT_EQ(stateMenu(),
            (Texts{"Active *", "Do not disturb", "Offline"}));  // no brackets for a blank description
  EXPECT_EQ(image(), 3);
  ui::DialogAnswers::SetNextInputAnswer(std::string("gone"));
  alice.ChooseFromMenu("PopupMenu9", 5);
  EXPECT_EQ(stateMenu(), (Texts{"Active", "Do not disturb", "Offline (gone) *"}));
  EXPECT_EQ(image(), 2);

  // A nick chosen from the nick box's list is taken as it is, and the list stays.
  QComboBox* nicks = alice.Find<QComboBox>("ComboBox1");
  ASSERT_EQ(nicks->count(), 2);
  emit nicks->activated(1);
  EXPECT_EQ(alice.core->Engine().Nick(), "carol");
  EXPECT_EQ(nicks->count(), 2);

  // The tab menu's send: a character the wire cannot carry is shown first; declining keeps the tab.
  alice.Key(Qt::Key_F6);
  alice.Editor()->insertPlainText(QStringLiteral("cheers ") + QString::fromUtf8("\xF0\x9F\x98\x80"));
  ui::DialogAnswers::SetNextInputAnswer(std::nullopt);
  alice.Find<QAction>("N4")->trigger();
  EXPECT_EQ(alice.Messages()->count(), 2);
  EXPECT_EQ(ui::DialogAnswers::Shown().size(), 1U);
  ui::DialogAnswers::SetNextInputAnswer(std::string());
  alice.Find<QAction>("N4")->trigger();
  EXPECT_EQ(alice.Messages()->count(), 1);
  TRY_EQ(bob.Messages()->count(), 2);

  // The exit button ends the program for real.
  QTest::mouseClick(alice.Button("ToolButton7"), Qt::LeftButton);
  EXPECT_TRUE(alice.core->Quitting());
  EXPECT_FALSE(alice.core->HasEngine());
  EXPECT_FALSE(alice.form->isVisible());
}

TEST_F(WindowTest, TheEditorMenuCopiesPastesDeletesInsertsSmileysAndSwitchesModes) {
  WindowPeer alice(lan, "198.18.0.11", "alice", "[smiles]\n:)=0\n");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  QApplication::setActiveWindow(alice.form.get());
  RichTextControl* editor = alice.Editor();
  QClipboard* clipboard = QApplication::clipboard();
  QMenu* menu = alice.Find<QMenu>("PopupMenu4");
  const auto item = [&](const char* name) {
    return [&alice, name] { alice.Find<QAction>(name)->trigger(); };
  };
  const auto selectAll = [editor] { editor->selectAll(); };
  QAction* n11 = alice.Find<QAction>("N11");
  const auto mode = [&] { return alice.core->Editor().ActiveMode(); };
  // Each step acts on the state the previous ones left.
  const struct {
    const char* name;
    std::function<void()> act;
    std::function<bool()> done;
  } steps[] = {
      {"N9: a smiley goes in as its picture; N6 copies it as its code",
       [&] {
         alice.Type(QStringLiteral("hi "));
         alice.Find<QMenu>("N9")->actions().front()->trigger();
         selectAll();
         item("N6")();
       },
       [&] { return clipboard->text() == QStringLiteral("hi :)") && editor->toPlainText().size() == 4; }},
      {"N7 replaces the selection with the clipboard's text without blanks and controls",
       [&] {
         clipboard->setText(QStringLiteral("  pasted\t\r\n"));
         selectAll();
         item("N7")();
       },
       [&] { return alice.EditorText() == QStringLiteral("pasted"); }},
      {"N8 deletes the selection",
       [&] {
         selectAll();
         item("N8")();
       },
       [&] { return alice.EditorText().isEmpty(); }},
      {"N11 switches to the multi-line editor and the menu shows it",
       [&] {
         item("N11")();
         emit menu->aboutToShow();
       },
       [&] { return mode() == ModeMultiLine && n11->isChecked() && n11->isEnabled(); }},
      {"N13 sends as Ctrl+Enter does",
       [&] {
         alice.Type(QStringLiteral("from the menu"));
         item("N13")();
       },
       [&] {
         return alice.EditorText().isEmpty() && bob.DisplayText().contains(QStringLiteral("from the menu"));
       }},
      {"N14 acts as Esc: back to the line editor", item("N14"),
       [&] {
         emit menu->aboutToShow();
         return mode() == ModeSingleLine && !n11->isChecked();
       }},
      {"in a reply tab N11 is off",
       [&] {
         alice.Key(Qt::Key_F6);
         emit menu->aboutToShow();
       },
       [&] { return mode() == ModeReply && !n11->isEnabled(); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_TRUE(WaitFor(step.done)) << alice.EditorText().toStdString();
  }
}

// The channel view menu copies the selection as it stands (CopyText1), and offers it only when
// something is selected.
TEST_F(WindowTest, TheChannelViewMenuCopiesTheSelection) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  alice.Type(QStringLiteral("copy me"));
  alice.Key(Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return alice.DisplayText().contains(QStringLiteral("copy me")); }));
  QMenu* menu = alice.Find<QMenu>("PopupMenu5");
  QAction* copy = alice.Find<QAction>("CopyText1");
  QApplication::clipboard()->setText(QStringLiteral("before"));
  alice.Display()->moveCursor(QTextCursor::End);
  emit menu->aboutToShow();
  EXPECT_FALSE(copy->isEnabled());
  alice.Display()->find(QStringLiteral("copy me"), QTextDocument::FindBackward);
  emit menu->aboutToShow();
  ASSERT_TRUE(copy->isEnabled());
  copy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("copy me"));
  EXPECT_EQ(alice.EditorText(), QString());  // unlike N15, nothing goes into the editor
}

TEST_F(WindowTest, MenuInsertionsLeaveTheQuoteOfAReplyAlone) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  PrivateMessageToReplyTab(alice, bob, QStringLiteral("lunch?"));
  const QString quoted = bob.EditorText();
  ASSERT_TRUE(quoted.contains(QStringLiteral("lunch?")));
  QApplication::clipboard()->setText(QStringLiteral("pasted"));
  const struct {
    const char* name;
    std::function<void()> insert;
  } insertions[] = {
      {"N7", [&] { bob.Find<QAction>("N7")->trigger(); }},
      {"PopupMenu7", [&] { bob.ChooseFromMenu("PopupMenu7", 0); }},
      {"N19",
       [&] {
         bob.Roster()->selectAll();
         bob.Find<QAction>("N19")->trigger();
       }},
  };
  for (const auto& insertion : insertions) {
    SCOPED_TRACE(insertion.name);
    QTextCursor inQuote = bob.Editor()->textCursor();
    inQuote.movePosition(QTextCursor::End);
    inQuote.movePosition(QTextCursor::Left);
    bob.Editor()->setTextCursor(inQuote);
    insertion.insert();
    EXPECT_EQ(bob.EditorText(), quoted);
    // Before the quote the same insertion goes in.
    QTextCursor start = bob.Editor()->textCursor();
    start.movePosition(QTextCursor::Start);
    bob.Editor()->setTextCursor(start);
    insertion.insert();
    EXPECT_NE(bob.EditorText(), quoted);
    QTextCursor typed = bob.Editor()->textCursor();
    typed.setPosition(0);
    typed.setPosition(static_cast<int>(bob.EditorText().size() - quoted.size()), QTextCursor::KeepAnchor);
    typed.removeSelectedText();
    ASSERT_EQ(bob.EditorText(), quoted);
  }
}

TEST_F(WindowTest, ShowingTheWindowAppliesTheCaptionsEachTimeAndKeepsTheUserCount) {
  // A second language file beside english.lng, the same but for its name.
  const auto addPirate = [](const fs::path& dir) {
    std::ifstream in(dir / "english.lng");
    std::ofstream out(dir / "pirate.lng");
    std::string line;
    while (std::getline(in, line))
      out << (line.rfind("Language=", 0) == 0 ? "Language=Pirate" : line) << "\n";
  };
  WindowPeer alice(lan, "198.18.0.11", "alice", {}, {}, addPirate);
  const auto languageFile = [&](const char* name) { return alice.temp.Read(name); };
  const auto dropKey = [&](const char* name, const std::string& key) {
    std::istringstream in(languageFile(name));
    std::ostringstream out;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(key + "=", 0) != 0) out << line << "\n";
    }
    std::ofstream(alice.dir / name) << out.str();
  };
  const QString total = QStringLiteral("Total : 1");
  const struct {
    const char* name;
    std::function<void()> act;
    std::function<bool()> done;
  } steps[] = {
      {"a caption key deleted from the file comes back when the window is shown again",
       [&] {
         dropKey("english.lng", "SpeedButton2");
         alice.form->hide();
         alice.form->show();
       },
       [&] {
         return languageFile("english.lng").find("SpeedButton2=") != std::string::npos &&
                alice.Button("SpeedButton1")->text() == total;
       }},
      {"another language keeps the user count on its button",
       [&] { alice.Find<QAction>("Ppirate")->trigger(); },
       [&] {
         return alice.core->Settings().Language == "pirate.lng" &&
                alice.Button("SpeedButton1")->text() == total;
       }},
      {"the command menu inserts its command", [&] { alice.ChooseFromMenu("PopupMenu7", 1); },
       [&] { return alice.EditorText() == QStringLiteral("/info"); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_TRUE(WaitFor(step.done));
  }

  WindowPeer hidden(lan, "198.18.0.12", "bob", "StartHidden=1\n");
  EXPECT_TRUE(hidden.started);
  EXPECT_TRUE(hidden.form->windowState() & Qt::WindowMinimized);
}

}  // namespace
}  // namespace plumo::uitest
