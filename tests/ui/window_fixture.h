// SPDX-License-Identifier: GPL-3.0-or-later
// Real main windows on the offscreen platform, each over a client core on one simulated LAN. Widgets
// are found by their object names, input goes through QTest, dialog answers are queued through
// DialogAnswers, and TRY_EQ waits (running the LAN and the event loop) until a value is reached.
//
// QTRY_COMPARE reports to the QtTest logger, which a GoogleTest run does not read; TRY_EQ is the
// same wait with a GoogleTest check at its end.
#pragma once

#include <QAbstractItemModel>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "../core/core_fixture.h"
#include "../view/gui_app.h"
#include "host/core_timers.h"
#include "ui/dialog_answers.h"
#include "ui/tform1.h"
#include "view/rich_text_control.h"

// Failed checks show Qt strings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace plumo::uitest {

namespace fs = std::filesystem;
using coretest::FakeSound;
using coretest::FakeSystem;

// One program with its window on one host of the LAN.
struct WindowPeer {
  // addresses: the machine's interfaces (default: loopback and address); prepare runs on the
  // program's directory before the program starts; dirName (UTF-8) names that directory inside the
  // temporary one (default: the temporary directory itself).
  WindowPeer(sim::SimLan& lan, const std::string& address, const std::string& nick,
             const std::string& extraIni = {}, std::vector<std::string> addresses = {},
             const std::function<void(const fs::path& dir)>& prepare = {}, const std::string& dirName = {})
      : dir(dirName.empty() ? fs::path(temp.Path()) : fs::path(temp.Path()) / dirName),
        system(lan),
        host(lan.AddHost(address)) {
    fs::create_directories(dir);
    coretest::PrepareProgramDir(dir, nick, extraIni);
    system.addresses = addresses.empty() ? std::vector<std::string>{"127.0.0.1", address} : addresses;
    system.userName = nick;
    if (prepare) prepare(dir);
    Start(lan);
  }
  // The window closes (saving, leaving the network), then the core goes, then the window.
  ~WindowPeer() { Stop(); }
  // The program ends and another starts at the same address over a fresh program directory named
  // dirName (a reinstall: the same nick, a new identity).
  void Reinstall(sim::SimLan& lan, const std::string& dirName) {
    Stop();
    dir = fs::path(temp.Path()) / dirName;
    fs::create_directories(dir);
    coretest::PrepareProgramDir(dir, system.userName, {});
    Start(lan);
  }

  void Start(sim::SimLan& lan) {
    form = std::make_unique<TForm1>();
    // Children of the window, as in the program.
    auto* timers = new QtCoreTimers(form.get());
    core = std::make_unique<TChatCore>(FsPath(dir), form->Surfaces(sound, system, *timers), host,
                                       [&lan, this](TPlumo* e) { lan.Attach(host, e); });
    timers->Connect(*core);
    form->AttachCore(*core);
    started = form->FormCreate();
    // As the program does on a desktop with a notification area: a hidden start shows nothing.
    if (!core->Settings().StartHidden) form->show();
  }
  void Stop() {
    form->close();
    core.reset();
    form.reset();
  }

  template <class T>
  T* Find(const char* name) const {
    T* widget = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QTabBar* Channels() const { return Find<QTabBar>("TabChanels"); }
  QTabBar* Messages() const { return Find<QTabBar>("TabMessages"); }
  RichTextControl* Display() const { return Find<RichTextControl>("RxRichEdit1"); }
  RichTextControl* Editor() const { return Find<RichTextControl>("RxRichEdit2"); }
  QListView* Roster() const { return Find<QListView>("ListView1"); }
  QToolButton* Button(const char* name) const { return Find<QToolButton>(name); }
  QString DisplayText() const { return Display()->toPlainText(); }
  QString EditorText() const { return Editor()->toPlainText(); }
  int RosterRows() const { return Roster()->model()->rowCount(); }
  // Types text into the editor and presses a key with modifiers.
  void Type(const QString& text) const { QTest::keyClicks(Editor(), text); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
    QTest::keyClick(Editor(), key, modifiers);
  }
  // The window becomes the active one (as a click on it makes it), then a click on widget gives it
  // the keyboard as it would a user's; returns the widget that has the keyboard focus then.
  QWidget* ClickToFocus(QWidget* widget) const {
    QApplication::setActiveWindow(form.get());
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
    return QApplication::focusWidget();
  }
  // Keys as a user's arrive: at the widget that has the keyboard focus, whichever it is. When the
  // focus is not in this peer's window or one of its dialogs (tests run several windows in one
  // process), this peer's window becomes the active one first, as the user's click on it makes it.
  QWidget* Focus() const {
    QWidget* focused = QApplication::focusWidget();
    const auto ours = [this](const QWidget* w) {
      for (; w != nullptr; w = w->parentWidget())
        if (w == form.get()) return true;
      return false;
    };
    if (!ours(focused)) {
      QApplication::setActiveWindow(form.get());
      focused = QApplication::focusWidget();
    }
    return focused;
  }
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
    QWidget* focused = Focus();
    ASSERT_NE(focused, nullptr);
    QTest::keyClick(focused, key, modifiers);
  }
  void TypeAtFocus(const QString& text) const {
    QWidget* focused = Focus();
    ASSERT_NE(focused, nullptr);
    QTest::keyClicks(focused, text);
  }
  void ClickTab(QTabBar* tabs, int index) const {
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(index).center());
  }
  // Turns the mouse wheel over a widget, away from the user for a positive delta.
  void Wheel(QWidget* widget, int delta) const {
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
  }
  // Both tab strips show the given tabs, in the window and in the core.
  void ExpectCurrentTabs(int channel, int message) const {
    EXPECT_EQ(Channels()->currentIndex(), channel);
    EXPECT_EQ(core->Channels().CurrentIndex(), channel);
    EXPECT_EQ(Messages()->currentIndex(), message);
    EXPECT_EQ(core->Inputs().CurrentIndex(), message);
  }
  // Selects the roster row of a nick with a click.
  void ClickRosterRow(const QString& nick) const {
    QListView* list = Roster();
    const QModelIndexList found =
        list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, nick, 1, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << nick.toStdString();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualRect(found.front()).center());
  }
  // Builds a menu as its popup would and triggers the item whose data is tag.
  void ChooseFromMenu(const char* menuName, int tag) const {
    QMenu* menu = Find<QMenu>(menuName);
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    for (QAction* action : menu->actions()) {
      if (action->data().toInt() == tag) {
        action->trigger();
        return;
      }
    }
    ADD_FAILURE() << "no item " << tag << " in " << menuName;
  }

  ::plumo::testing::TempDir temp;
  fs::path dir;
  FakeSound sound;
  FakeSystem system;
  sim::SimHost& host;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TChatCore> core;
  bool started = false;
};

using Texts = std::vector<std::string>;

inline Texts TabTexts(const QTabBar* tabs) {
  Texts texts;
  for (int i = 0; i < tabs->count(); ++i) texts.push_back(tabs->tabText(i).toStdString());
  return texts;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::plumo::testing::GuiApp();
    ui::DialogAnswers::Reset();
  }
  void TearDown() override { ui::DialogAnswers::Reset(); }

  // Runs the LAN (20 virtual ms a round) and the event loop until pred holds or 5 s have passed.
  template <class Pred>
  bool WaitFor(Pred pred) {
    return QTest::qWaitFor(
        [&] {
          if (pred()) return true;
          lan.RunFor(20);
          return pred();
        },
        5000);
  }
  // from selects to's row, sends text as a private message (F5, Ctrl+Enter), and to shows the reply
  // tab it got (tab 1).
  void PrivateMessageToReplyTab(const WindowPeer& from, const WindowPeer& to, const QString& text) {
    from.ClickRosterRow(QString::fromStdString(to.core->Identity().Nick));
    from.Key(Qt::Key_F5);
    from.Type(text);
    from.Key(Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(WaitFor([&] { return to.Messages()->count() == 2; }));
    to.ClickTab(to.Messages(), 1);
  }
  // Until every window's roster shows every peer.
  void WaitForRosters(std::initializer_list<const WindowPeer*> peers) {
    for (const WindowPeer* peer : peers) {
      const int expected = static_cast<int>(peers.size());
      ASSERT_TRUE(WaitFor([&] { return peer->RosterRows() == expected; })) << peer->RosterRows();
    }
  }

  sim::SimLan lan{7};
};

// Waits until actual equals expected, then checks it.
#define TRY_EQ(actual, expected)                     \
  do {                                               \
    WaitFor([&] { return (actual) == (expected); }); \
    EXPECT_EQ(actual, expected);                     \
  } while (false)

}  // namespace plumo::uitest
