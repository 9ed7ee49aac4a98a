// SPDX-License-Identifier: GPL-3.0-or-later
// The program menu button, hiding to the notification area with lines queued while hidden, and the
// notifications of messages while the window is away, over real windows on the simulated LAN.
#include <QMenu>
#include <QSystemTrayIcon>

#include "net/events.h"
#include "ui/tray_icon.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

struct Notified {
  std::string title;
  std::string text;
  bool operator==(const Notified&) const = default;
};

// A window peer with its tray (a notification area or none) and the notifications it raised.
struct TrayPeer {
  TrayPeer(sim::SimLan& lan, const std::string& address, const std::string& nick, bool withArea,
           const std::string& extraIni = "ShowBallonIfNotFocused=1\n")
      : peer(lan, address, nick, extraIni), tray(*peer.form, *peer.core, withArea) {
    tray.Notify = [this](const QString& title, const QString& text) {
      notified.push_back({title.toStdString(), text.toStdString()});
    };
    tap = tray.Tap(peer.core->Events());
    peer.core->Engine().SetEvents(tap.get());
  }
  ~TrayPeer() {
    if (peer.core->HasEngine()) peer.core->Engine().SetEvents(&peer.core->Events());
  }

  WindowPeer peer;
  TrayIcon tray;
  std::unique_ptr<TPlumoEvents> tap;
  std::vector<Notified> notified;
};

using TrayTest = WindowTest;

// The program menu drops down from the toolbar and from the icon; exit closes the program.
TEST_F(TrayTest, ProgramMenuOnTheToolbarAndTheIcon) {
  TrayPeer ann(lan, "198.18.1.1", "ann", true);
  QMenu* menu = ann.peer.Find<QMenu>("PopupMenu1");
  ASSERT_NE(ann.tray.MenuButton(), nullptr);
  EXPECT_EQ(ann.tray.MenuButton()->menu(), menu);
  EXPECT_EQ(ann.peer.Find<QToolButton>("ToolButtonMenu"), ann.tray.MenuButton());
  ASSERT_TRUE(ann.tray.Available());
  EXPECT_EQ(ann.tray.Icon()->contextMenu(), menu);
  QStringList items;
  for (QAction* action : menu->actions()) items << action->objectName();
  EXPECT_EQ(items,
            (QStringList{QStringLiteral("About1"), QStringLiteral("UpdatePlumo1"), QStringLiteral("blank"),
                         QStringLiteral("Restore1"), QStringLiteral("exit1")}));

  ui::DialogAnswers::Reset();
  ann.peer.Find<QAction>("About1")->trigger();
  ASSERT_EQ(ui::DialogAnswers::Shown().size(), 1U);
  EXPECT_EQ(ui::DialogAnswers::Shown().front(), std::string(" Plumo ") + PLUMO_VERSION_TEXT);
  // Hidden, "Restore" brings the window back; "-" does nothing.
  ann.tray.HideWindow();
  ann.peer.Find<QAction>("blank")->trigger();
  EXPECT_FALSE(ann.peer.form->isVisible());
  ann.peer.Find<QAction>("Restore1")->trigger();
  EXPECT_TRUE(ann.peer.form->isVisible());
  ann.peer.Find<QAction>("exit1")->trigger();
  EXPECT_FALSE(ann.peer.core->HasEngine());
}

// Hidden to the icon, lines are queued and appear when the window is shown again; without a
// notification area the window is only minimized.
TEST_F(TrayTest, HidingQueuesLinesUntilShown) {
  TrayPeer ann(lan, "198.18.1.2", "ann", true);
  WindowPeer bob(lan, "198.18.1.3", "bob");
  WaitForRosters({&ann.peer, &bob});
  bool onHide = false;
  ann.tray.OnHide = [&onHide] { onHide = true; };
  ann.tray.HideWindow();
  EXPECT_TRUE(onHide);
  EXPECT_FALSE(ann.peer.form->isVisible());
  bob.Type(QStringLiteral("said while hidden"));
  bob.Key(Qt::Key_Return);
  TRY_EQ(bob.DisplayText().contains(QStringLiteral("said while hidden")), true);
  lan.RunFor(200);
  EXPECT_FALSE(ann.peer.DisplayText().contains(QStringLiteral("said while hidden")));
  ann.tray.ShowWindow();
  EXPECT_TRUE(ann.peer.form->isVisible());
  EXPECT_TRUE(ann.peer.DisplayText().contains(QStringLiteral("said while hidden")));

  TrayPeer cid(lan, "198.18.1.4", "cid", false);
  EXPECT_FALSE(cid.tray.Available());
  cid.tray.HideWindow();
  EXPECT_TRUE(cid.peer.form->isVisible());
  EXPECT_TRUE(cid.peer.form->isMinimized());
  // A hidden start without a notification area says why the window is only minimized.
  cid.tray.StartHidden();
  EXPECT_TRUE(cid.peer.form->isMinimized());
  cid.peer.ClickTab(cid.peer.Channels(), 0);
  EXPECT_TRUE(cid.peer.DisplayText().contains(QStringLiteral("No notification area")));
}

// A private message raises a notification only while the window is away and the setting is on;
// clicking it brings the window back on the newest message tab.
TEST_F(TrayTest, NotificationsForMessagesWhileAway) {
  const struct {
    const char* name;
    std::string ini;
    std::function<void(TrayPeer&)> away;
    bool notified;
  } cases[] = {
      {"hidden", "ShowBallonIfNotFocused=1\n", [](TrayPeer& p) { p.tray.HideWindow(); }, true},
      {"inactive", "ShowBallonIfNotFocused=1\n", [](TrayPeer& p) { p.peer.core->Own().WindowDeactivated(); },
       true},
      {"setting off", "ShowBallonIfNotFocused=0\n", [](TrayPeer& p) { p.tray.HideWindow(); }, false},
      {"in front", "ShowBallonIfNotFocused=1\n", [](TrayPeer&) {}, false},
  };
  int host = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrayPeer ann(lan, "198.18.2." + std::to_string(++host), "ann", true, c.ini);
    WindowPeer bob(lan, "198.18.2." + std::to_string(++host), "bob");
    WaitForRosters({&ann.peer, &bob});
    c.away(ann);
    bob.core->Engine().SendPrivateMessage("ann", "#^0000FFpsst", ann.peer.core->Identity().Address);
    TRY_EQ(ann.peer.core->Inputs().Count(), 2);
    if (!c.notified) {
      EXPECT_TRUE(ann.notified.empty());
      continue;
    }
    EXPECT_EQ(ann.notified, (std::vector<Notified>{{"bob", "psst"}}));
    ann.tray.NotificationClicked();
    EXPECT_TRUE(ann.peer.form->isVisible());
    EXPECT_EQ(ann.peer.Messages()->currentIndex(), 1);
  }
}

}  // namespace
}  // namespace plumo::uitest
