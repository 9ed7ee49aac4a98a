// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a user meets it: start-up, chatting between two windows on one LAN, private
// messages, tab switching, the toolbar and roster panel, closing.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "core/inifile.h"
#include "core/window_rules.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

const QString kVersion = QString::fromLatin1(PLUMO_VERSION_TEXT);

TEST_F(WindowTest, StartsWithTheConsoleFirstMainSelectedAndTheCaptionsOfTheLanguageFile) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  ASSERT_TRUE(alice.started);

  EXPECT_EQ(TabTexts(alice.Channels()), (Texts{"#", "Main", "Cs", "Quake", "StarCraft"}));
  EXPECT_EQ(alice.Channels()->currentIndex(), 1);
  EXPECT_EQ(TabTexts(alice.Messages()), (Texts{"~"}));
  // Laid out with room for their tabs (strips filled before the window was shown), and the line
  // editor a line high under a display that takes the rest.
  EXPECT_EQ(alice.Channels()->height(), alice.Channels()->sizeHint().height());
  EXPECT_LT(alice.Editor()->height(), 3 * alice.Editor()->fontMetrics().lineSpacing());
  EXPECT_GT(alice.Display()->height(), 4 * alice.Editor()->height());
  EXPECT_TRUE(alice.form->windowTitle().endsWith(QStringLiteral(" Plumo ") + kVersion));
  EXPECT_TRUE(alice.Button("ToolButton6")->isEnabled());
  EXPECT_FALSE(alice.Button("ToolButton4")->isEnabled());
  // Captions come from english.lng when the window is shown; the language menu lists the file.
  EXPECT_EQ(alice.Find<QAction>("N3")->text(), QStringLiteral("Close"));
  EXPECT_EQ(alice.Find<QAction>("Penglish")->text(), QStringLiteral("English"));
  TRY_EQ(alice.Button("SpeedButton1")->text(), QStringLiteral("Total : 1"));
  // The welcome line waits in the console until it is shown.
  EXPECT_FALSE(alice.DisplayText().contains(QStringLiteral("has entered the chat")));
  alice.ClickTab(alice.Channels(), 0);
  EXPECT_TRUE(alice.DisplayText().contains(QStringLiteral("alice has entered the chat.")));
  EXPECT_TRUE(alice.form->windowTitle().startsWith(QStringLiteral("Console Plumo ")));
}

TEST_F(WindowTest, ALineTypedInOneWindowAppearsInTheChannelOfBoth) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});

  alice.Type(QStringLiteral("hello everyone"));
  alice.Key(Qt::Key_Return);

  TRY_EQ(bob.DisplayText().contains(QStringLiteral("hello everyone")), true);
  TRY_EQ(alice.DisplayText().contains(QStringLiteral("hello everyone")), true);
  EXPECT_EQ(alice.EditorText(), QString());
  // The line went to the channel only: the console got nothing of it.
  bob.ClickTab(bob.Channels(), 0);
  EXPECT_FALSE(bob.DisplayText().contains(QStringLiteral("hello everyone")));
}

TEST_F(WindowTest, APrivateMessageOpensAReplyTabAtTheReceiver) {
  const struct {
    const char* name;
    std::function<void(WindowPeer&)> compose;
  } cases[] = {
      {"F5 in the editor", [](WindowPeer& p) { p.Key(Qt::Key_F5); }},
      {"the message button",
       [](WindowPeer& p) { QTest::mouseClick(p.Button("ToolButton1"), Qt::LeftButton); }},
  };
  int host = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Each case on hosts of its own: the LAN keeps every host it was given.
    WindowPeer alice(lan, "198.18.0." + std::to_string(++host), "alice");
    WindowPeer bob(lan, "198.18.0." + std::to_string(++host), "bob");
    WaitForRosters({&alice, &bob});

    alice.ClickRosterRow(QStringLiteral("bob"));
    c.compose(alice);
    ASSERT_EQ(alice.Messages()->count(), 2);
    EXPECT_EQ(alice.Messages()->currentIndex(), 1);
    EXPECT_TRUE(alice.Messages()->tabText(1).endsWith(QStringLiteral("] ->bob")));
    alice.Type(QStringLiteral("just for you"));
    alice.Key(Qt::Key_Return, Qt::ControlModifier);

    // Sent and closed at the sender; a new reply tab, not yet looked at, at the receiver.
    EXPECT_EQ(TabTexts(alice.Messages()), (Texts{"~"}));
    TRY_EQ(bob.Messages()->count(), 2);
    EXPECT_TRUE(bob.Messages()->tabText(1).endsWith(QStringLiteral("] <-alice")));
    EXPECT_EQ(bob.Messages()->currentIndex(), 0);
    bob.ClickTab(bob.Messages(), 1);
    EXPECT_TRUE(bob.EditorText().contains(QStringLiteral("just for you")));
    EXPECT_FALSE(bob.DisplayText().contains(QStringLiteral("just for you")));
  }
}

TEST_F(WindowTest, TabsSwitchByClickAndKeysAndWrapAround) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  QTabBar* channels = alice.Channels();
  QTabBar* messages = alice.Messages();
  // Each step acts on the state the previous ones left.
  const struct {
    const char* name;
    std::function<void()> act;
    int channel;
    int message;
    int messageTabs;
  } steps[] = {
      {"click the channel Cs", [&] { alice.ClickTab(channels, 2); }, 2, 0, 1},
      {"Shift+Tab", [&] { alice.Key(Qt::Key_Tab, Qt::ShiftModifier); }, 3, 0, 1},
      {"Shift+Tab again", [&] { alice.Key(Qt::Key_Backtab, Qt::ShiftModifier); }, 4, 0, 1},
      {"Shift+Tab on the last channel goes to the console",
       [&] { alice.Key(Qt::Key_Tab, Qt::ShiftModifier); }, 0, 0, 1},
      {"F6 opens a mass-message tab", [&] { alice.Key(Qt::Key_F6); }, 0, 1, 2},
      {"Ctrl+Tab on the last message tab goes to the line editor",
       [&] { alice.Key(Qt::Key_Tab, Qt::ControlModifier); }, 0, 0, 2},
      {"click the reply tab", [&] { alice.ClickTab(messages, 1); }, 0, 1, 2},
      {"Esc closes the reply tab", [&] { alice.Key(Qt::Key_Escape); }, 0, 0, 1},
      {"click Main", [&] { alice.ClickTab(channels, 1); }, 1, 0, 1},
      {"the wheel turned away over the channels", [&] { alice.Wheel(channels, 120); }, 0, 0, 1},
      {"the wheel turned back", [&] { alice.Wheel(channels, -120); }, 1, 0, 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    alice.ExpectCurrentTabs(step.channel, step.message);
    EXPECT_EQ(messages->count(), step.messageTabs);
    // The display shows the chosen conversation: only the console holds the welcome line.
    EXPECT_EQ(alice.DisplayText().contains(QStringLiteral("has entered the chat")), step.channel == 0);
    EXPECT_EQ(alice.Button("ToolButton6")->isEnabled(), step.channel != 0);
    EXPECT_EQ(alice.Button("ToolButton4")->isEnabled(), step.channel == 0);
  }
}

TEST_F(WindowTest, TheTabMenuOpensOnlyOverTheActiveReplyTabAndSends) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  QTabBar* messages = alice.Messages();
  QMenu* menu = alice.Find<QMenu>("PopupMenu3");
  const auto rightClick = [&](int tab) {
    QTest::mouseClick(messages, Qt::RightButton, Qt::NoModifier, messages->tabRect(tab).center());
  };
  alice.Key(Qt::Key_F6);
  alice.Type(QStringLiteral("to all of you"));
  alice.ClickTab(messages, 0);

  rightClick(1);  // not the active tab
  EXPECT_FALSE(menu->isVisible());
  rightClick(0);  // the line editor
  EXPECT_FALSE(menu->isVisible());
  alice.ClickTab(messages, 1);
  rightClick(1);
  ASSERT_TRUE(menu->isVisible());
  alice.Find<QAction>("N4")->trigger();
  menu->hide();

  EXPECT_EQ(TabTexts(messages), (Texts{"~"}));
  TRY_EQ(bob.Messages()->count(), 2);
  EXPECT_TRUE(bob.Messages()->tabText(1).endsWith(QStringLiteral("<-@alice")));
}

// The keyboard reaches every command from wherever the focus is: keys go to the widget that has the
// focus, as a user's do. Each step starts from where the previous one left the focus.
TEST_F(WindowTest, KeysReachTheWindowsCommandsFromAnyControl) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob});
  bool settingsOpened = false;
  alice.form->OnSettingsRequested = [&] { settingsOpened = true; };
  QTabBar* messages = alice.Messages();
  auto* nickBox = alice.Find<QComboBox>("ComboBox1");
  const auto focused = [] { return QApplication::focusWidget(); };
  const auto bobKnowsCarol = [&] {
    for (const RosterRow& row : bob.core->Roster().Rows())
      if (row.Nick == "carol") return true;
    return false;
  };
  // A click in bob's window makes it the active one; alice's window comes back to front after it.
  const auto bobsConsole = [&] {
    bob.ClickTab(bob.Channels(), 0);
    const QString text = bob.DisplayText();
    QApplication::setActiveWindow(alice.form.get());
    return text;
  };
  const struct {
    const char* name;
    std::function<void()> act;
    std::function<bool()> done;
  } steps[] = {
      {"/help lists the keys",
       [&] {
         alice.ClickToFocus(alice.Editor());
         alice.TypeAtFocus(QStringLiteral("/help"));
         alice.Press(Qt::Key_Return);
         alice.ClickTab(alice.Channels(), 0);
       },
       [&] {
         return alice.DisplayText().contains(QStringLiteral("F8 - the user list menu; F9 - settings")) &&
                alice.EditorText().isEmpty();
       }},
      {"F5 with the roster focused: a message to the selected peer",
       [&] {
         alice.ClickToFocus(alice.Roster()->viewport());
         alice.ClickRosterRow(QStringLiteral("bob"));
         alice.Press(Qt::Key_F5);
       },
       [&] {
         return messages->count() == 2 && messages->tabText(1).endsWith(QStringLiteral("->bob")) &&
                focused() == alice.Editor();
       }},
      {"Esc in the reply drops it", [&] { alice.Press(Qt::Key_Escape); },
       [&] { return messages->count() == 1; }},
      {"Tab at an empty draft moves on to the roster", [&] { alice.Press(Qt::Key_Tab); },
       [&] { return focused() == alice.Roster(); }},
      {"F6 with the roster focused: a message to everybody", [&] { alice.Press(Qt::Key_F6); },
       [&] { return messages->count() == 2 && alice.core->Inputs().At(1).MassMessage; }},
      {"F5 in the editor opens one reply tab",
       [&] {
         alice.Press(Qt::Key_Escape);
         alice.Press(Qt::Key_F5);
       },
       [&] { return messages->count() == 2 && messages->tabText(1).endsWith(QStringLiteral("->bob")); }},
      {"Tab after a blank moves on, leaving the draft as it was",
       [&] {
         alice.Press(Qt::Key_Escape);
         alice.ClickToFocus(alice.Editor());
         alice.TypeAtFocus(QStringLiteral("hi "));
         alice.Press(Qt::Key_Tab);
       },
       [&] { return focused() == alice.Roster() && alice.EditorText() == QStringLiteral("hi "); }},
      {"Tab after a letter completes a nick",
       [&] {
         alice.ClickToFocus(alice.Editor());
         alice.TypeAtFocus(QStringLiteral("b"));
         alice.Press(Qt::Key_Tab);
       },
       [&] { return focused() == alice.Editor() && alice.EditorText() == QStringLiteral("hi bob"); }},
      {"F7 rings the selected peer", [&] { alice.Press(Qt::Key_F7); },
       [&] { return bobsConsole().contains(QStringLiteral("alice sent you bell number 0")); }},
      {"F3 drops down the own state menu", [&] { alice.Press(Qt::Key_F3); },
       [&] { return alice.Find<QMenu>("PopupMenu9")->isVisible(); }},
      {"F8 drops down the roster menu with the roster focused",
       [&] {
         alice.Find<QMenu>("PopupMenu9")->hide();
         alice.Press(Qt::Key_F8);
       },
       [&] { return alice.Find<QMenu>("PopupMenu2")->isVisible() && focused() == alice.Roster(); }},
      {"F9 opens the settings",
       [&] {
         alice.Find<QMenu>("PopupMenu2")->hide();
         alice.Press(Qt::Key_F9);
       },
       [&] { return settingsOpened; }},
      {"F2 takes the keyboard to the nick box; the nick typed there reaches the other peers",
       [&] {
         alice.Press(Qt::Key_F2);
         alice.TypeAtFocus(QStringLiteral("carol"));
         alice.Press(Qt::Key_Return);
       },
       [&] { return focused() == nickBox && alice.core->Settings().MyName == "carol" && bobKnowsCarol(); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    EXPECT_TRUE(WaitFor(step.done));
  }
}

TEST_F(WindowTest, ToolbarAndPanelActionsReachTheCoreWithTheQueuedAnswers) {
  WindowPeer alice(lan, "198.18.0.11", "alice", "[SOUNDS]\nmute=0\n[SOUNDS0]\nmute=0\n");
  QComboBox* nickBox = alice.Find<QComboBox>("ComboBox1");
  const struct {
    const char* name;
    std::optional<std::string> answer;  // of the input box the action opens, if any
    std::function<void()> act;
    std::function<bool()> done;
  } cases[] = {
      {"topic button", std::string("fresh news"),
       [&] { QTest::mouseClick(alice.Button("ToolButton6"), Qt::LeftButton); },
       [&] { return alice.form->windowTitle().startsWith(QStringLiteral(" [ fresh news : alice]")); }},
      {"state menu: do not disturb with a description", std::string("busy"),
       [&] { alice.ChooseFromMenu("PopupMenu9", 4); },
       [&] {
         return alice.core->Engine().State() == '4' && alice.core->Engine().StateDescription == "busy" &&
                alice.Button("ToolButton5")->property("image").toInt() == 1;
       }},
      {"state menu: active again", std::nullopt, [&] { alice.ChooseFromMenu("PopupMenu9", 1); },
       [&] { return alice.core->Engine().State() == '1' && alice.core->Own().SavedDescr() == " "; }},
      {"mute button", std::nullopt, [&] { QTest::mouseClick(alice.Button("SpeedButton3"), Qt::LeftButton); },
       [&] { return alice.Button("SpeedButton3")->property("image").toInt() == 84; }},
      // Clicked, the box has the keyboard: the keys reach the box, not its line directly.
      {"a nick typed into the nick box", std::nullopt,
       [&] {
         alice.ClickToFocus(nickBox->lineEdit());
         nickBox->lineEdit()->selectAll();
         alice.TypeAtFocus(QStringLiteral("carol"));
         alice.Press(Qt::Key_Return);
       },
       [&] {
         return alice.core->Engine().Nick() == "carol" && nickBox->findText(QStringLiteral("carol")) >= 0 &&
                alice.core->Settings().MyName == "carol" &&
                alice.Roster()->model()->index(0, 0).data().toString() == QStringLiteral("carol");
       }},
      {"an empty nick is refused", std::nullopt,
       [&] {
         alice.ClickToFocus(nickBox->lineEdit());
         nickBox->lineEdit()->clear();
         alice.Press(Qt::Key_Return);
       },
       [&] {
         return alice.core->Engine().Nick() == "carol" && nickBox->currentText() == QStringLiteral("carol");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.answer) ui::DialogAnswers::SetNextInputAnswer(c.answer);
    c.act();
    EXPECT_TRUE(WaitFor(c.done));
  }
  // Both boxes were asked under the texts of the language file.
  EXPECT_EQ(ui::DialogAnswers::Asked(), (std::vector<std::string>{"Topic of channel Main", "State"}));
}

TEST_F(WindowTest, ActivationSwitchesBetweenActiveAndAwayAndRunsTheProgramListTimer) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  const QTimer* bobTimer2 = bob.Find<QTimer>("Timer2");
  QApplication::setActiveWindow(bob.form.get());
  QApplication::setActiveWindow(alice.form.get());
  TRY_EQ(bob.core->Engine().State(), '2');
  EXPECT_TRUE(bobTimer2->isActive());
  EXPECT_EQ(bobTimer2->interval(), 10000);
  QApplication::setActiveWindow(bob.form.get());
  TRY_EQ(bob.core->Engine().State(), '1');
  EXPECT_FALSE(bobTimer2->isActive());
  EXPECT_EQ(alice.core->Engine().State(), '2');
}

// A hidden start is not the user in the window: away from the first announcement on, the program
// list runs while the window is unseen, and the first activation brings the chosen state back and
// is recorded for the next start.
TEST_F(WindowTest, AHiddenStartIsAwayUntilTheWindowIsFirstActivated) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  WindowPeer bob(lan, "198.18.0.12", "bob", "StartHidden=1\n[STATES]\ngame=4\n");
  QTimer* timer2 = bob.Find<QTimer>("Timer2");
  EXPECT_FALSE(bob.form->isVisible());
  EXPECT_FALSE(bob.core->Own().WindowActive());
  EXPECT_EQ(bob.core->Engine().State(), '2');
  ASSERT_TRUE(timer2->isActive());
  const auto bobAtAlice = [&] {
    for (const RosterRow& row : alice.core->Roster().Rows())
      if (row.Nick == "bob") return row.State;
    return '?';
  };
  TRY_EQ(bobAtAlice(), '2');

  timer2->setInterval(10);  // the next look comes at once
  bob.system.programs = {"game"};
  TRY_EQ(bob.core->Engine().State(), '4');
  bob.system.programs.clear();
  TRY_EQ(bob.core->Engine().State(), '2');

  bob.form->show();
  QApplication::setActiveWindow(bob.form.get());
  TRY_EQ(bobAtAlice(), '1');
  EXPECT_TRUE(bob.core->Own().WindowActive());
  EXPECT_FALSE(timer2->isActive());
  EXPECT_EQ(TIniFile((bob.dir / "chat.ini").string()).ReadString("Main", "StartHidden", ""), "0");
}

TEST_F(WindowTest, WithoutANetworkAddressTheNetworkWatchRunsUntilOneAppears) {
  WindowPeer alice(lan, "198.18.0.11", "alice", {}, {"127.0.0.1"});
  QTimer* timer1 = alice.Find<QTimer>("Timer1");
  ASSERT_TRUE(timer1->isActive());
  EXPECT_EQ(timer1->interval(), 5000);
  timer1->setInterval(10);  // the next look comes at once

  TRY_EQ(alice.Channels()->currentIndex(), 0);
  EXPECT_TRUE(alice.DisplayText().contains(QStringLiteral("No network: the chat is off")));
  EXPECT_TRUE(timer1->isActive());
  alice.system.addresses.push_back("198.18.0.11");
  TRY_EQ(timer1->isActive(), false);
  EXPECT_EQ(alice.core->Engine().MyAddress, "198.18.0.11");
}

TEST_F(WindowTest, ClosingTheWindowSavesAndLeavesTheNetwork) {
  WindowPeer bob(lan, "198.18.0.12", "bob");
  {
    WindowPeer alice(lan, "198.18.0.11", "alice");
    WaitForRosters({&alice, &bob});
    alice.form->resize(700, 500);
    alice.form->close();
    EXPECT_FALSE(alice.core->HasEngine());
    const std::string ini = alice.temp.Read("chat.ini");
    EXPECT_NE(ini.find("FormW=700"), std::string::npos) << ini;
  }
  TRY_EQ(bob.RosterRows(), 1);
}

// From the smallest window (640 x 480) up, in either language, every panel stays usable: the whole
// toolbar, a channel display with room for text, the editor, and a roster whose nick box shows the
// nick and whose buttons show their captions, without taking more than a third of the width. At a
// laptop's size the chat takes the room, and channel tabs stay as wide as their captions.
TEST_F(WindowTest, EveryPanelStaysUsableFromTheSmallestWindowUp) {
  int host = 10;
  for (const char* language : {"english.lng", "russian.lng"}) {
    SCOPED_TRACE(language);
    const std::string address = "198.18.0." + std::to_string(++host);
    const std::string bobAddress = "198.18.0." + std::to_string(++host);
    const std::string nick = "alexandra.k";
    WindowPeer alice(lan, address, nick, {}, {}, [&](const fs::path& dir) {
      const char* source = std::getenv("PLUMO_SOURCE_DIR");
      fs::copy_file(fs::path(source ? source : ".") / "data" / "lang" / language, dir / language,
                    fs::copy_options::overwrite_existing);
      std::ofstream(dir / "chat.ini") << "[Main]\nLanguage=" << language << "\nMyName=" << nick << "\n";
    });
    WindowPeer bob(lan, bobAddress, "bob");
    WaitForRosters({&alice, &bob});

    alice.form->resize(kMinWindowWidth, kMinWindowHeight);
    QTest::qWait(20);
    EXPECT_EQ(alice.form->size(), QSize(kMinWindowWidth, kMinWindowHeight));  // nothing forces it wider
    for (const char* name : {"ToolButton1", "ToolButton2", "ToolButton3", "ToolButton4", "ToolButton5",
                             "ToolButton6", "ToolButton7", "SpeedButton1", "SpeedButton2", "SpeedButton3"}) {
      QToolButton* button = alice.Button(name);
      EXPECT_GE(button->width(), button->sizeHint().width()) << name << " " << button->text().toStdString();
    }
    const int roster = alice.Roster()->width();
    EXPECT_GE(roster, 120);
    EXPECT_LE(roster, kMinWindowWidth / 3);
    EXPECT_GE(alice.Display()->width(), kMinWindowWidth / 2);
    EXPECT_GE(alice.Display()->height(), 8 * alice.Display()->fontMetrics().lineSpacing());
    EXPECT_GE(alice.Editor()->width(), kMinWindowWidth / 2);
    EXPECT_GT(alice.Editor()->height(), alice.Editor()->fontMetrics().lineSpacing());
    auto* nickBox = alice.Find<QComboBox>("ComboBox1");
    EXPECT_GE(nickBox->lineEdit()->width(),
              nickBox->lineEdit()->fontMetrics().horizontalAdvance(QString::fromStdString(nick)));

    alice.form->resize(1280, 800);
    QTest::qWait(20);
    EXPECT_LE(alice.Roster()->width(), 1280 / 4);
    EXPECT_GE(alice.Display()->width(), 1280 * 2 / 3);
    QTabBar* tabs = alice.Channels();
    for (int i = 0; i < tabs->count(); ++i) {
      EXPECT_LE(tabs->tabRect(i).width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)) + 80)
          << tabs->tabText(i).toStdString();
    }
  }
}

}  // namespace
}  // namespace plumo::uitest
