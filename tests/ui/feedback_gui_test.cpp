// SPDX-License-Identifier: GPL-3.0-or-later
// What the user has to notice at once shows where the user is looking: in the channel shown, in the
// message tab's pane above the editor, and as a notification while the window is away.
#include <QTextEdit>

#include "ui/tray_icon.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

TEST_F(WindowTest, RefusalsBellsAndFailuresShowWhereTheUserIsLooking) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  TrayIcon tray(*alice.form, *alice.core, true);
  QStringList notified;
  tray.Notify = [&](const QString& title, const QString& text) {
    notified << title + QStringLiteral(": ") + text;
  };
  auto* pane = alice.Find<QTextEdit>("PeerHistory");
  // bob rings alice while alice's window (or bob's) is the active one.
  const auto ring = [&](bool aliceLooking = true) {
    QApplication::setActiveWindow(aliceLooking ? alice.form.get() : bob.form.get());
    bob.core->Roster().SendBellToNick("alice", 3);
    lan.RunFor(300);
  };
  const struct {
    const char* name;
    std::function<void()> act;
    QString display;  // a part of the channel display's last line ("" for no new line there)
    QString pane;     // a part of the pane's last line ("" for none)
    QString notification;
  } steps[] = {
      {"a channel line too long",
       [&] {
         QApplication::setActiveWindow(alice.form.get());
         QTest::keyClicks(QApplication::focusWidget(), QString(2100, QLatin1Char('x')));
         alice.Press(Qt::Key_Return);
         alice.Press(Qt::Key_A, Qt::ControlModifier);
         alice.Press(Qt::Key_Delete);
       },
       QStringLiteral("The message is too long"), QString(), QString()},
      {"a bell", [&] { ring(); }, QStringLiteral("bob sent you bell number 3"), QString(), QString()},
      {"a bell with bob's message tab shown",
       [&] {
         PrivateMessageToReplyTab(bob, alice, QStringLiteral("hi"));
         ring();
       },
       QString(), QStringLiteral("bob sent you bell number 3"), QString()},
      {"a bell while the window is inactive", [&] { ring(false); }, QString(),
       QStringLiteral("bob sent you bell number 3"), QStringLiteral("bob: [")},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    const QString before = alice.DisplayText();
    const int notifications = static_cast<int>(notified.size());
    step.act();
    // Lines reach a shown display in batches; the wait runs the event loop.
    const auto paneShows = [&] {
      return !pane->isHidden() && pane->toPlainText().split(QLatin1Char('\n')).last().contains(step.pane);
    };
    WaitFor([&] {
      return step.display.isEmpty() ? paneShows()
                                    : alice.DisplayText().mid(before.size()).contains(step.display);
    });
    const QString display = alice.DisplayText();
    const QString added = display.startsWith(before) ? display.mid(before.size()) : display;
    if (step.display.isEmpty()) {
      EXPECT_FALSE(added.contains(QStringLiteral("bell number"))) << added.toStdString();
    } else {
      EXPECT_TRUE(added.contains(step.display)) << added.toStdString();
    }
    if (!step.pane.isEmpty()) {
      EXPECT_TRUE(paneShows()) << pane->toPlainText().toStdString();
    }
    ASSERT_EQ(notified.size(), notifications + (step.notification.isEmpty() ? 0 : 1))
        << notified.join(QStringLiteral("|")).toStdString();
    if (!step.notification.isEmpty()) {
      EXPECT_TRUE(notified.last().startsWith(step.notification)) << notified.last().toStdString();
    }
  }
}

}  // namespace
}  // namespace plumo::uitest
