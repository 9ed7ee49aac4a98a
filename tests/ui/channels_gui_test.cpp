// SPDX-License-Identifier: GPL-3.0-or-later
// Channel tabs people open and close in the window (typed commands, the "+" of the channel strip and
// its menu of channels heard on the network), and the topic line above the channel display.
#include <QAction>
#include <QLabel>

#include <functional>

#include "window_fixture.h"

namespace plumo::uitest {
namespace {

// Keys as a user's arrive: to the widget that has the focus in the peer's active window.
void TypeLine(const WindowPeer& peer, const QString& line) {
  QApplication::setActiveWindow(peer.form.get());
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  QTest::keyClicks(focus, line);
  QTest::keyClick(focus, Qt::Key_Return);
}

// Clicks the "+" of the channel strip and then the item of its menu captioned `item`.
void ChooseToJoin(const WindowPeer& peer, const QString& item) {
  QToolButton* plus = peer.Button("JoinChannel");
  ASSERT_NE(plus, nullptr);
  QTest::mouseClick(plus, Qt::LeftButton);
  QMenu* menu = peer.Find<QMenu>("JoinChannelMenu");
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  for (QAction* action : menu->actions()) {
    if (action->text() != item) continue;
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
    return;
  }
  QStringList shown;
  for (QAction* action : menu->actions()) shown << action->text();
  ADD_FAILURE() << "no item " << item.toStdString() << " in "
                << shown.join(QStringLiteral("|")).toStdString();
  menu->hide();
}

TEST_F(WindowTest, ChannelsOpenFromTheStripAndTheTopicLineFollowsTheShownChannel) {
  WindowPeer anna(lan, "198.18.0.11", "anna");
  WindowPeer bob(lan, "198.18.0.12", "bob", "Chanels=Main,\"Lan party\"\n");
  WaitForRosters({&anna, &bob});
  ASSERT_TRUE(bob.core->Tabs().SetTopicText("Lan party", "bring snacks"));
  ASSERT_TRUE(WaitFor([&] { return anna.core->Tabs().ChannelsToJoin().size() == 1; }));
  QLabel* topic = anna.Find<QLabel>("TopicLine");
  ASSERT_NE(topic, nullptr);
  const QString welcome = QStringLiteral("Welcome! No topic has been set yet.");
  const Texts standard = {"#", "Main", "Cs", "Quake", "StarCraft"};
  const auto with = [&](std::initializer_list<const char*> more) {
    Texts tabs = standard;
    tabs.insert(tabs.end(), more.begin(), more.end());
    return tabs;
  };

  // Each step acts on what the ones before left; `line` is the topic line's start (empty: hidden).
  const struct {
    const char* name;
    std::function<void()> act;
    Texts tabs;
    const char* shown;
    QString line;
  } steps[] = {
      {"the topic of the first channel", [] {}, standard, "Main", welcome},
      {"a typed /join", [&] { TypeLine(anna, QStringLiteral("/join Games")); }, with({"Games"}), "Games",
       welcome},
      {"a channel heard on the network", [&] { ChooseToJoin(anna, QStringLiteral("Lan party")); },
       with({"Games", "Lan party"}), "Lan party", QStringLiteral("bring snacks  (set by bob, ")},
      {"its topic changes",
       [&] {
         lan.RunFor(31000);
         bob.core->Tabs().SetTopicText("Lan party", "games at 8");
       },
       with({"Games", "Lan party"}), "Lan party", QStringLiteral("games at 8  (set by bob, ")},
      {"a new channel by name",
       [&] {
         ui::DialogAnswers::SetNextInputAnswer("Quiet room");
         ChooseToJoin(anna, QStringLiteral("New channel..."));
       },
       with({"Games", "Lan party", "Quiet room"}), "Quiet room", welcome},
      {"the console has no topic", [&] { anna.ClickTab(anna.Channels(), 0); },
       with({"Games", "Lan party", "Quiet room"}), "#", QString()},
      {"back on a channel", [&] { anna.ClickTab(anna.Channels(), 6); },
       with({"Games", "Lan party", "Quiet room"}), "Lan party", QStringLiteral("games at 8")},
      {"a typed /leave", [&] { TypeLine(anna, QStringLiteral("/leave")); }, with({"Games", "Quiet room"}),
       "Quiet room", welcome},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    TRY_EQ(TabTexts(anna.Channels()), step.tabs);
    EXPECT_EQ(anna.core->Channels().CurrentName(), step.shown);
    EXPECT_EQ(anna.Channels()->tabText(anna.Channels()->currentIndex()).toStdString(), step.shown);
    if (step.line.isEmpty()) {
      EXPECT_TRUE(topic->isHidden()) << topic->text().toStdString();
    } else {
      WaitFor([&] { return topic->text().startsWith(step.line); });
      EXPECT_FALSE(topic->isHidden());
      EXPECT_TRUE(topic->text().startsWith(step.line)) << topic->text().toStdString();
    }
  }
  // The "+" sits right after the last tab, not at the far edge of a wide window.
  anna.form->resize(1400, 700);
  QApplication::processEvents();
  const QRect last = anna.Channels()->tabRect(anna.Channels()->count() - 1);
  const QPoint lastEnd = anna.Channels()->mapTo(anna.form.get(), last.topRight());
  const QPoint plus = anna.Button("JoinChannel")->mapTo(anna.form.get(), QPoint(0, 0));
  EXPECT_LT(plus.x() - lastEnd.x(), 10);
}

}  // namespace
}  // namespace plumo::uitest
