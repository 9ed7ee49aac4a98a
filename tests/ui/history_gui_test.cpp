// SPDX-License-Identifier: GPL-3.0-or-later
// The conversation history in the window: a restarted window shows a channel's stored lines above
// the new ones, loads older ones when scrolled to the top, finds text in the display (Ctrl+F) and
// searches all history (Ctrl+Shift+F), opening a result at its line.
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextEdit>
#include <QTreeWidget>

#include "window_fixture.h"

namespace plumo::uitest {
namespace {

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
