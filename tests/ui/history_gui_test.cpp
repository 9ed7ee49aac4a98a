// SPDX-License-Identifier: GPL-3.0-or-later
// The conversation history in the window: a restarted window shows a channel's stored lines above
// the new ones, loads older ones when scrolled to the top, finds text in the display (Ctrl+F) and
// searches all history (Ctrl+Shift+F), opening a result at its line.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTreeWidget>

#include "window_fixture.h"

namespace plumo::uitest {
namespace {

// The peer's program closes and starts again at another address with the history it kept.
std::unique_ptr<WindowPeer> Restart(std::unique_ptr<WindowPeer> peer, sim::SimLan& lan,
                                    const std::string& address, const std::string& nick,
                                    const std::string& ini = {}) {
  peer->form->close();
  peer->core.reset();
  auto keep = std::make_shared<::plumo::testing::TempDir>();
  const fs::path stored = fs::path(keep->Path()) / "history.db";
  fs::copy_file(peer->dir / "history.db", stored);
  peer.reset();
  return std::make_unique<WindowPeer>(
      lan, address, nick, ini, std::vector<std::string>{},
      [&](const fs::path& dir) { fs::copy_file(stored, dir / "history.db"); });
}

TEST_F(WindowTest, ARestartedWindowShowsFindsAndSearchesTheStoredHistory) {
  // A window of the smallest size, so that 40 lines need the scroll bar whatever the screen.
  const std::string ini = "HistoryLines=40\nFormW=640\nFormH=480\n";
  auto alice = std::make_unique<WindowPeer>(lan, "198.18.0.11", "alice", ini);
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({alice.get(), &bob});
  for (int i = 1; i <= 60; ++i) {
    bob.Type(QStringLiteral("line %1 of the past").arg(i));
    bob.Key(Qt::Key_Return);
    lan.RunFor(20);
  }
  TRY_EQ(alice->DisplayText().contains(QStringLiteral("line 60 of the past")), true);
  // Closing commits the history; the file outlives the program's directory in a folder of its own.
  alice->form->close();
  alice->core.reset();
  ::plumo::testing::TempDir keep;
  const fs::path stored = fs::path(keep.Path()) / "history.db";
  fs::copy_file(alice->dir / "history.db", stored);
  alice.reset();

  WindowPeer again(lan, "198.18.0.13", "alice", ini, {},
                   [&](const fs::path& dir) { fs::copy_file(stored, dir / "history.db"); });
  // The last 40 lines, oldest first, then the divider; nothing older yet.
  const QString shown = again.DisplayText();
  EXPECT_FALSE(shown.contains(QStringLiteral("line 20 of the past")));
  EXPECT_LT(shown.indexOf(QStringLiteral("line 21 of the past")),
            shown.indexOf(QStringLiteral("line 60 of")));
  EXPECT_LT(shown.indexOf(QStringLiteral("line 60 of")),
            shown.indexOf(QStringLiteral("----- earlier -----")));

  // Scrolled to the top, the older lines come above.
  QScrollBar* bar = again.Display()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  bar->setValue(bar->minimum());
  EXPECT_TRUE(again.DisplayText().startsWith(QStringLiteral("[")));
  EXPECT_TRUE(again.DisplayText().contains(QStringLiteral("line 1 of the past")));
  EXPECT_GT(bar->value(), bar->minimum());  // the lines read before stay in view

  // Ctrl+F: every match counted, the newest current.
  QApplication::setActiveWindow(again.form.get());
  QTest::keyClick(again.Display(), Qt::Key_F, Qt::ControlModifier);
  auto* find = again.Find<QLineEdit>("FindEdit");
  ASSERT_NE(find, nullptr);
  QTest::keyClicks(find, QStringLiteral("of the past"));
  EXPECT_EQ(again.form->FindBar().MatchCount(), 60);
  EXPECT_EQ(again.Find<QLabel>("FindCount")->text(), QStringLiteral("60/60"));
  QTest::keyClick(find, Qt::Key_Return);
  EXPECT_EQ(again.form->FindBar().CurrentMatch(), 0);  // wraps to the first
  QTest::keyClick(find, Qt::Key_Escape);
  EXPECT_TRUE(again.Display()->extraSelections().isEmpty());

  // Ctrl+Shift+F: the search of all history; a phrase, newest first, the words marked; choosing a
  // result shows its line selected in its channel.
  again.ClickTab(again.Channels(), 0);
  QTest::keyClick(again.Display(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  auto* query = again.Find<QLineEdit>("SearchEdit");
  ASSERT_NE(query, nullptr);
  QTest::keyClicks(query, QStringLiteral("\"line 7 of\""));
  QTest::keyClick(query, Qt::Key_Return);
  ui::THistorySearch& search = again.form->HistorySearch();
  ASSERT_EQ(search.ResultCount(), 1);
  auto* results = again.Find<QTreeWidget>("SearchResults");
  const auto* marked = qobject_cast<QLabel*>(results->itemWidget(results->topLevelItem(0), 3));
  ASSERT_NE(marked, nullptr);
  EXPECT_TRUE(marked->text().contains(QStringLiteral(">line 7 of</b> the past")))
      << marked->text().toStdString();
  EXPECT_EQ(results->topLevelItem(0)->text(2), QStringLiteral("bob"));
  ASSERT_TRUE(search.Choose(0));
  EXPECT_EQ(again.Channels()->tabText(again.Channels()->currentIndex()), QStringLiteral("Main"));
  EXPECT_TRUE(again.Display()->textCursor().selectedText().contains(QStringLiteral("line 7 of the past")))
      << again.Display()->textCursor().selectedText().toStdString()
      << again.Display()->textCursor().position();
}

TEST_F(WindowTest, AMessageTabToOnePeerShowsTheMessagesExchangedWithIt) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  auto* pane = bob.Find<QTextEdit>("PeerHistory");
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(pane->isHidden());

  PrivateMessageToReplyTab(alice, bob, QStringLiteral("first question"));
  TRY_EQ(pane->isHidden(), false);
  EXPECT_TRUE(pane->toPlainText().contains(QStringLiteral("alice: first question")));
  // The answer goes into the history as well, with the direction shown.
  bob.Type(QStringLiteral("first answer"));
  bob.Key(Qt::Key_Return, Qt::ControlModifier);
  TRY_EQ(bob.Messages()->count(), 1);
  EXPECT_TRUE(pane->isHidden());  // the line editor has no history of its own

  PrivateMessageToReplyTab(alice, bob, QStringLiteral("second question"));
  TRY_EQ(pane->isHidden(), false);
  const QString text = pane->toPlainText();
  EXPECT_LT(text.indexOf(QStringLiteral("alice: first question")),
            text.indexOf(QStringLiteral("-> alice: first answer")));
  EXPECT_LT(text.indexOf(QStringLiteral("-> alice: first answer")),
            text.indexOf(QStringLiteral("alice: second question")));
}

}  // namespace
}  // namespace plumo::uitest

namespace plumo::uitest {
namespace {

// A stored message of several lines (a multi-line channel line, a reply above its quote) keeps its
// line breaks where the history shows it again, and a search result after it still opens at its
// own line.
TEST_F(WindowTest, StoredMessagesKeepTheirLineBreaks) {
  auto alice = std::make_unique<WindowPeer>(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({alice.get(), &bob});
  // Shift+Enter switches the editor to several lines; Ctrl+Enter sends them.
  bob.Press(Qt::Key_Return, Qt::ShiftModifier);
  bob.TypeAtFocus(QStringLiteral("first row"));
  bob.Press(Qt::Key_Return);
  bob.TypeAtFocus(QStringLiteral("second row"));
  bob.Press(Qt::Key_Return, Qt::ControlModifier);
  bob.Press(Qt::Key_Return, Qt::ShiftModifier);
  bob.TypeAtFocus(QStringLiteral("after it"));
  bob.Press(Qt::Key_Return);
  TRY_EQ(alice->DisplayText().contains(QStringLiteral("after it")), true);
  EXPECT_TRUE(alice->DisplayText().contains(QStringLiteral("first row\nsecond row")));

  // alice answers bob's question; the reply carries the question as its quote.
  PrivateMessageToReplyTab(bob, *alice, QStringLiteral("question"));
  alice->TypeAtFocus(QStringLiteral("answer"));
  alice->Press(Qt::Key_Return, Qt::ControlModifier);
  TRY_EQ(alice->Messages()->count(), 1);
  PrivateMessageToReplyTab(bob, *alice, QStringLiteral("once more"));
  auto* pane = alice->Find<QTextEdit>("PeerHistory");
  TRY_EQ(pane->isHidden(), false);
  const QString exchanged = pane->toPlainText();
  const QStringList paneLines = exchanged.split(QLatin1Char('\n'));
  const auto answer = std::find_if(paneLines.begin(), paneLines.end(),
                                   [](const QString& l) { return l.contains(QStringLiteral("-> bob: ")); });
  ASSERT_NE(answer, paneLines.end()) << exchanged.toStdString();
  EXPECT_TRUE(answer->endsWith(QStringLiteral("-> bob: answer"))) << exchanged.toStdString();
  EXPECT_TRUE(exchanged.contains(QStringLiteral("\n>bob"))) << exchanged.toStdString();

  alice = Restart(std::move(alice), lan, "198.18.0.13", "alice");
  const QString shown = alice->DisplayText();
  EXPECT_TRUE(shown.contains(QStringLiteral("bob: first row\nsecond row"))) << shown.toStdString();
  alice->Press(Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  auto* query = alice->Find<QLineEdit>("SearchEdit");
  ASSERT_NE(query, nullptr);
  QTest::keyClicks(query, QStringLiteral("\"after it\""));
  QTest::keyClick(query, Qt::Key_Return);
  ASSERT_EQ(alice->form->HistorySearch().ResultCount(), 1);
  ASSERT_TRUE(alice->form->HistorySearch().Choose(0));
  EXPECT_TRUE(alice->Display()->textCursor().selectedText().endsWith(QStringLiteral("bob: after it")))
      << alice->Display()->textCursor().selectedText().toStdString();
}

// Searching all history names the conversation with everybody and counts the matches in words,
// and a chosen result of a message to everybody (or to one peer) shows that conversation's stored
// messages with the line marked, in the message tab it already has.
TEST_F(WindowTest, ASearchResultOfAMessageToEverybodyShowsThatConversation) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  for (const QString& text : {QStringLiteral("hello everybody"), QStringLiteral("hello again")}) {
    QTest::mouseClick(alice.Button("ToolButton2"), Qt::LeftButton);
    alice.TypeAtFocus(text);
    alice.Press(Qt::Key_Return, Qt::ControlModifier);
    TRY_EQ(alice.Messages()->count(), 1);
  }
  PrivateMessageToReplyTab(bob, alice, QStringLiteral("hello alice"));
  ASSERT_EQ(alice.Messages()->count(), 2);

  alice.Press(Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  auto* query = alice.Find<QLineEdit>("SearchEdit");
  ASSERT_NE(query, nullptr);
  QTest::keyClicks(query, QStringLiteral("hello"));
  EXPECT_EQ(alice.Find<QPushButton>("SearchButton")->text(), QStringLiteral("Search"));
  QTest::mouseClick(alice.Find<QPushButton>("SearchButton"), Qt::LeftButton);
  ASSERT_EQ(alice.form->HistorySearch().ResultCount(), 3);
  EXPECT_EQ(alice.Find<QLabel>("SearchStatus")->text(), QStringLiteral("Matches: 3"));
  auto* results = alice.Find<QTreeWidget>("SearchResults");
  EXPECT_EQ(results->topLevelItem(1)->text(1), QStringLiteral("Everybody"));
  EXPECT_EQ(results->topLevelItem(2)->text(1), QStringLiteral("Everybody"));

  auto* pane = alice.Find<QTextEdit>("PeerHistory");
  // Each result is chosen with Enter on its row; newest first.
  const struct {
    int row;
    int tabs;  // message tabs afterwards
    const char* icon;
    QString marked;
  } steps[] = {
      {2, 3, "mass", QStringLiteral("-> @: hello everybody")},
      {1, 3, "mass", QStringLiteral("-> @: hello again")},
      {0, 3, "private", QStringLiteral("bob: hello alice")},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.row);
    results->setCurrentItem(results->topLevelItem(step.row));
    results->setFocus();
    QTest::keyClick(results, Qt::Key_Return);
    EXPECT_EQ(alice.Messages()->count(), step.tabs);
    const Conversation& shown = alice.core->Inputs().At(alice.core->Inputs().CurrentIndex());
    EXPECT_EQ(shown.MassMessage, std::string(step.icon) == "mass");
    ASSERT_FALSE(pane->isHidden());
    // A sent message's line ends with its stored delivery status in brackets.
    const QString selected = pane->textCursor().selectedText();
    EXPECT_TRUE(selected.endsWith(step.marked) || selected.contains(step.marked + QStringLiteral("  [")))
        << selected.toStdString();
  }
}

}  // namespace
}  // namespace plumo::uitest
