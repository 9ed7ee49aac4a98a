// SPDX-License-Identifier: GPL-3.0-or-later
// Sounds, console commands, own-state transitions, the program list and the input history of the
// client core, on the simulated LAN.
#include <algorithm>

#include "core_fixture.h"

namespace plumo::coretest {
namespace {

class Lan : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a.core->FormCreate());
    ASSERT_TRUE(b.core->FormCreate());
    ASSERT_TRUE(c.core->FormCreate());
    lan.RunFor(2000);
    a.core->Roster().Refresh();
  }
  void Line(Peer& from, const std::string& text) {
    from.editor.text = text;
    from.core->Sending().SubmitLine();
    lan.RunFor(100);
  }
  sim::SimLan lan{21};
  Peer a{lan, "198.18.0.1", "anna"};
  Peer b{lan, "198.18.0.2", "Annette"};
  Peer c{lan, "198.18.0.3", "bob"};
};

TEST_F(Lan, EventSoundsRegisterThenNameTheirFileThenPlay) {
  TNameValueList& table = a.core->Settings().SoundTable;
  table.Clear();
  const std::string wav = a.dir.string() + "/sounds/chat_line.wav";
  a.system.files.insert(wav);
  Line(c, "one");
  EXPECT_EQ(table, (TNameValueList{{"mute", "0"}, {"on_chat_line", "1"}}));
  EXPECT_TRUE(a.sound.played.empty());
  Line(c, "two");
  EXPECT_EQ(table.Value("chat_line_src"), "chat_line.wav");
  EXPECT_TRUE(a.sound.played.empty());
  Line(c, "three");
  EXPECT_EQ(a.sound.played, (std::vector<std::string>{wav}));

  // A full path wins over the sounds folder.
  table.SetValue("chat_line_src", "/abs/beep.wav");
  a.system.files.insert("/abs/beep.wav");
  Line(c, "four");
  EXPECT_EQ(a.sound.played.back(), "/abs/beep.wav");

  // Disabled for one event only.
  table.SetValue("on_chat_line", "0");
  Line(c, "five");
  EXPECT_EQ(a.sound.played.size(), 2u);
}

TEST_F(Lan, MuteSilencesEventsAndAddsNothingButBellsStillSound) {
  TNameValueList& table = a.core->Settings().SoundTable;
  table = TNameValueList{{"mute", "0"}};
  a.core->Sounds().MuteClick();
  EXPECT_EQ(table.Value("mute"), "1");
  EXPECT_EQ(a.window.muteImage, icon::kMuted);
  Line(c, "quiet");
  EXPECT_EQ(table.Count(), 1u);
  a.core->Settings().BellTable.Add("7", "ding.wav");
  a.system.files.insert(a.dir.string() + "/sounds/ding.wav");
  a.core->Sounds().PlayBell(7);
  a.core->Sounds().PlayBell(8);  // no line: nothing
  EXPECT_EQ(a.sound.played, (std::vector<std::string>{a.dir.string() + "/sounds/ding.wav"}));
  a.core->Sounds().MuteClick();
  EXPECT_EQ(table.Value("mute"), "0");
  EXPECT_EQ(a.window.muteImage, icon::kSound);
}

TEST_F(Lan, ChosenBellAsksUntilTheNumberFitsAndRingsTheFirstSelectedPeerOnly) {
  a.core->Roster().ChosenBellClick();  // nobody selected: the box is cancelled, then the notice
  EXPECT_EQ(a.LastConsole(), "#^FF0000No user is selected.");
  EXPECT_EQ(a.window.boxTitles.size(), 1u);

  std::vector<int> rows;
  for (std::size_t i = 0; i < a.core->Roster().Rows().size(); ++i) {
    if (a.core->Roster().Rows()[i].Nick != "anna") rows.push_back(int(i));
  }
  a.core->Roster().SetSelection(rows);  // Annette (first by nick) and bob
  a.window.answers = {"", "4x", "123456", "70000", "00042"};
  a.core->Roster().ChosenBellClick();
  EXPECT_EQ(a.window.boxTitles.size(), 6u);
  EXPECT_EQ(a.window.boxTitles.back(), "Bell number");
  lan.RunFor(500);
  EXPECT_NE(b.LastConsole().find("anna sent you bell number 42"), std::string::npos);
  EXPECT_EQ(c.LastConsole().find("sent you bell"), std::string::npos);
}

TEST_F(Lan, InfoListsNickPrefixesInAnyCaseAndLinesWithoutLeadingSlashAreNoCommands) {
  a.editor.text = "/INFO ANN";
  a.core->Sending().SubmitLine();
  const auto console = a.Console();
  const auto info = std::count_if(console.begin(), console.end(),
                                  [](const std::string& l) { return l.rfind("#^666666Name: ", 0) == 0; });
  EXPECT_EQ(info, 2);
  EXPECT_TRUE(std::find(console.begin(), console.end(),
                        "#^666666Name: Annette ip= \\\\198.18.0.2 state=Active") != console.end());
  EXPECT_EQ(a.editor.text, "");

  EXPECT_TRUE(a.core->RunCommand("/info *"));
  EXPECT_TRUE(a.core->RunCommand("/info zed"));
  EXPECT_EQ(a.LastConsole(), "No such user.");
  EXPECT_FALSE(a.core->RunCommand("text/info"));
  EXPECT_FALSE(a.core->RunCommand(" /help"));
  EXPECT_TRUE(a.core->RunCommand("/help"));
  EXPECT_EQ(a.LastConsole().rfind("#^666666Plumo v. Plumo 0.5.1.1. Console commands:", 0), 0u);
}

TEST_F(Lan, AboutWithoutSelectionIsAnOrdinaryLineAndWithItAsksForInfo) {
  Line(a, "/about");
  EXPECT_EQ(b.channels.Of("Main").size(), 1u);
  EXPECT_NE(b.channels.Of("Main")[0].find("anna: /about"), std::string::npos);

  int bobRow = -1;
  for (std::size_t i = 0; i < a.core->Roster().Rows().size(); ++i) {
    if (a.core->Roster().Rows()[i].Nick == "bob") bobRow = int(i);
  }
  a.core->Roster().SetSelection({bobRow});
  Line(a, "/about");
  lan.RunFor(500);
  const std::string last = a.LastConsole();
  EXPECT_EQ(last.substr(0, 6), "\r\n\r\n\r\n");
  EXPECT_NE(last.find("198.18.0.3"), std::string::npos);
  EXPECT_NE(last.find("Plumo 0.5.1.1"), std::string::npos);
  EXPECT_EQ(b.channels.Of("Main").size(), 1u);  // nothing went to the channel
}

TEST_F(Lan, NetstatPrintsEveryEntryOnItsOwnLine) {
  EXPECT_TRUE(a.core->RunCommand("/netstat"));
  const std::string out = a.LastConsole();
  EXPECT_EQ(out.rfind("#^666666IP0=127.0.0.1\r\n\r\nMask0=255.255.255.0\r\n\r\n", 0), 0u);
  EXPECT_NE(out.find("IP1=198.18.0.1\r\n"), std::string::npos);
  EXPECT_NE(out.find("Type1=NORMAL\r\n"), std::string::npos);
}

TEST_F(Lan, StateRulesOfMenuActivationAndScreenSaver) {
  a.core->Own().StateMenuClick(4);  // cancelled box: stored default description
  EXPECT_EQ(a.engine().State(), '4');
  EXPECT_EQ(a.engine().StateDescription, "Busy, please do not disturb");
  EXPECT_EQ(a.core->Own().SavedState(), '4');
  EXPECT_EQ(a.window.stateImage, 1);
  a.core->Own().WindowDeactivated();
  EXPECT_EQ(a.engine().State(), '4');  // only '1' turns into '2'
  EXPECT_TRUE(a.timers.on[CoreTimer::ProgramList]);
  a.core->Own().WindowActivated();
  EXPECT_FALSE(a.timers.on[CoreTimer::ProgramList]);

  a.window.answer = "lunch";
  a.core->Own().StateMenuClick(5);
  EXPECT_EQ(a.engine().StateDescription, "lunch");
  EXPECT_EQ(TIniFile((a.dir / "chat.ini").string()).ReadString("Main", "state5", ""), "lunch");

  a.core->Own().StateMenuClick(1);
  EXPECT_EQ(a.engine().StateDescription, " ");
  a.core->Own().WindowDeactivated();
  EXPECT_EQ(a.engine().State(), '2');
  a.core->Own().WindowActivated();
  EXPECT_EQ(a.engine().State(), '1');
  a.core->Own().ScreenSaverStarted(false);
  EXPECT_EQ(a.engine().State(), '3');
  EXPECT_EQ(a.core->Own().SavedState(), '1');
}

TEST_F(Lan, ProgramListLaterEntryWinsAndNoMatchRestoresTheChosenState) {
  TNameValueList& programs = a.core->Settings().StateTable;
  programs = TNameValueList{{"game.exe", "5"}, {"editor", "4"}, {"Descr_editor", "writing"}};
  a.core->Settings().SoundSets[1] = TNameValueList{{"mute", "1"}};
  a.system.programs = {"bash", "EDITOR", "game.exe"};
  a.core->Own().WindowDeactivated();
  a.core->Own().Timer2Timer();
  EXPECT_EQ(a.engine().State(), '4');
  EXPECT_EQ(a.engine().StateDescription, "writing");
  EXPECT_EQ(a.core->Own().LastMatchedProgram(), "editor");
  EXPECT_EQ(a.core->Settings().SoundTable.Value("mute"), "1");  // the set of state '4'
  a.host.ClearSent();
  a.core->Own().Timer2Timer();  // same match, same state: nothing sent
  EXPECT_TRUE(a.SentTypes().empty());

  a.system.programs = {"bash"};
  a.core->Own().Timer2Timer();
  EXPECT_EQ(a.engine().State(), '2');  // back to the state the window had
  EXPECT_EQ(a.engine().StateDescription, " ");

  // Coming back to the window while a listed program runs: the user is here, not away.
  a.system.programs = {"EDITOR"};
  a.core->Own().Timer2Timer();
  EXPECT_EQ(a.engine().State(), '4');
  a.core->Own().WindowActivated();
  EXPECT_EQ(a.engine().State(), '1');
  EXPECT_EQ(a.core->Own().SavedState(), '1');
  EXPECT_EQ(a.engine().StateDescription, " ");
}

// "Away after N minutes without input" on the virtual clock: each case chooses the rule and a state,
// maybe leaves the window, lets the desktop see no input for a while (the idle watch looking as
// often as it asks), then sees input. The state must follow at each point, at anna's and at bob's.
TEST_F(Lan, AwayWhenIdleFollowsTheDesktopsInputNotTheWindow) {
  struct Case {
    const char* name;
    int minutes;       // AwayIdleMinutes; 0: away when the window is left
    bool idleKnown;    // the desktop tells its idle time
    int chosen;        // the state menu's choice: 1, 4 or 5
    bool leaveWindow;  // the window loses activation before the quiet time
    char afterLeave;   // the state then
    int quietSeconds;  // no input for so long
    char afterQuiet;   // the state then
    char afterInput;   // and a moment after the next input
  };
  const Case cases[] = {
      {"the window's rule by default", 0, true, 1, true, '2', 60, '2', '2'},
      {"working in another program is not away", 10, true, 1, true, '1', 9 * 60, '1', '1'},
      {"away after ten quiet minutes, window in front", 10, true, 1, false, '1', 10 * 60 + 5, '2', '1'},
      {"away after ten quiet minutes, window left", 10, true, 1, true, '1', 10 * 60 + 5, '2', '1'},
      {"do not disturb stays", 2, true, 4, true, '4', 30 * 60, '4', '4'},
      {"offline stays", 2, true, 5, false, '5', 30 * 60, '5', '5'},
      {"a desktop that cannot tell leaves the window's rule", 10, false, 1, true, '2', 60, '2', '2'},
  };
  auto stateAtBob = [this] {
    const TUsers& users = b.engine().Users();
    const int i = users.Find("anna", "198.18.0.1");
    return i < 0 ? '?' : users.Entry(i)->State;
  };
  // The virtual clock runs on; the idle watch fires at the interval the core last gave it.
  auto runFor = [this](int ms) {
    int left = ms;
    while (left > 0) {
      const bool watching = a.timers.on[CoreTimer::IdleWatch];
      const int step = watching ? std::min(left, a.timers.interval[CoreTimer::IdleWatch]) : left;
      lan.RunFor(step);
      left -= step;
      if (watching && step == a.timers.interval[CoreTimer::IdleWatch]) a.core->Own().IdleWatchTimer();
    }
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    a.core->Own().WindowActivated();
    a.core->Own().StateMenuClick(row.chosen);
    a.core->Settings().AwayIdleMinutes = row.minutes;
    a.idle.known = row.idleKnown;
    a.core->Own().IdleSettingChanged();
    EXPECT_EQ(a.timers.on[CoreTimer::IdleWatch], row.minutes > 0 && row.idleKnown);
    a.idle.Input();
    if (row.leaveWindow) a.core->Own().WindowDeactivated();
    EXPECT_EQ(a.engine().State(), row.afterLeave);
    runFor(row.quietSeconds * 1000);
    EXPECT_EQ(a.engine().State(), row.afterQuiet);
    EXPECT_EQ(stateAtBob(), row.afterQuiet);
    a.idle.Input();
    runFor(TOwnState::kIdleAwayWatchMs + 200);
    EXPECT_EQ(a.engine().State(), row.afterInput);
    EXPECT_EQ(stateAtBob(), row.afterInput);
    // What a restart would come back to is the chosen state, never away.
    a.core->SaveAllSettings();
    EXPECT_EQ(TIniFile((a.dir / "chat.ini").string()).ReadString("Main", "MyState", ""),
              std::string(1, static_cast<char>('0' + row.chosen)));
  }
  // Switching the rule off while it made the user away, window in front: present again at once.
  a.core->Own().WindowActivated();
  a.core->Own().StateMenuClick(1);
  a.core->Settings().AwayIdleMinutes = 1;
  a.idle.known = true;
  a.core->Own().IdleSettingChanged();
  runFor(61 * 1000);
  ASSERT_EQ(a.engine().State(), '2');
  a.core->Settings().AwayIdleMinutes = 0;
  a.core->Own().IdleSettingChanged();
  EXPECT_EQ(a.engine().State(), '1');
  EXPECT_FALSE(a.timers.on[CoreTimer::IdleWatch]);
}

TEST_F(Lan, HistoryKeepsTenLinesWithLineBreaksAndRecallsThemInOrder) {
  for (int i = 0; i < 11; ++i) a.core->InputHistory().Add("line " + std::to_string(i));
  a.core->InputHistory().Add("  ");
  a.core->InputHistory().Add("two\r\nrows");
  ASSERT_EQ(a.core->InputHistory().Lines().size(), 10u);
  EXPECT_EQ(a.core->InputHistory().Lines()[0], "two/nrows");
  EXPECT_EQ(a.core->InputHistory().Older(), "two\r\nrows");  // the line just sent comes back first
  EXPECT_EQ(a.core->InputHistory().Older(), "line 10");
  for (int i = 0; i < 20; ++i) a.core->InputHistory().Older();
  EXPECT_EQ(a.core->InputHistory().Older(), "line 2");  // the oldest kept line
  EXPECT_EQ(a.core->InputHistory().Newer(), "line 3");
  for (int i = 0; i < 8; ++i) a.core->InputHistory().Newer();
  EXPECT_EQ(a.core->InputHistory().Newer(), "");  // back at the empty line
}

// Questions to the user do not block: datagrams and timers run while a box is open, and the answer
// acts on what it was asked about, or on nothing when that is gone.
TEST_F(Lan, AnswersThatComeAfterTheNetworkMovedOnActOnWhatWasAsked) {
  a.window.holdAnswers = true;

  // The topic box of "Main" stays open while bob sends a line and anna switches to another channel.
  a.core->Tabs().SelectChannelTab(a.core->Channels().IndexOf("Main"));
  a.core->Tabs().ChangeTopic();
  ASSERT_EQ(a.window.held.size(), 1u);
  c.core->Tabs().SelectChannelTab(c.core->Channels().IndexOf("Main"));
  Line(c, "meanwhile");
  a.core->Tabs().SelectChannelTab(a.core->Channels().IndexOf("Cs"));
  a.window.held[0](std::string("new plans"));
  lan.RunFor(500);
  EXPECT_NE(a.engine().FindChannel("Main")->Topic.find("new plans"), std::string::npos);
  EXPECT_EQ(a.engine().FindChannel("Cs")->Topic.find("new plans"), std::string::npos);
  EXPECT_NE(b.engine().FindChannel("Main")->Topic.find("new plans"), std::string::npos);

  // The state box is answered after the program has said goodbye: nothing happens, nothing breaks.
  a.core->Own().StateMenuClick(4);
  ASSERT_EQ(a.window.held.size(), 2u);
  a.core->FormDestroy();
  a.window.held[1](std::string("too late"));
  EXPECT_FALSE(a.core->HasEngine());

  // The bell box asks again after a bad answer; the selection is read when the answer comes.
  b.window.holdAnswers = true;
  b.core->Roster().Refresh();
  b.core->Roster().ChosenBellClick();
  b.window.held[0](std::string("x"));
  ASSERT_EQ(b.window.held.size(), 2u);
  std::vector<int> rows;
  for (std::size_t i = 0; i < b.core->Roster().Rows().size(); ++i) {
    if (b.core->Roster().Rows()[i].Nick == "bob") rows.push_back(int(i));
  }
  b.core->Roster().SetSelection(rows);
  b.host.ClearSent();
  b.window.held[1](std::string("12"));
  EXPECT_EQ(b.SentTypes(), std::vector<int>{pkBell});
}

// Keys in the editor reach the core's collaborators: each row presses keys on a fresh start and
// checks where they led.
TEST_F(Lan, EditorKeysMoveTabsModesRosterAndHistory) {
  struct Key {
    EditorKey key;
    bool ctrl = false;
    bool shift = false;
  };
  TEditorCommands& keys = a.core->Editor();
  TTabStrips& tabs = a.core->Tabs();
  const auto press = [&](std::initializer_list<Key> sequence) {
    for (const Key& k : sequence) keys.KeyDown(k.key, k.ctrl, k.shift, 0);
  };
  const auto selectedNicks = [&] {
    std::string out;
    for (const auto& row : a.core->Roster().Rows()) out += row.Selected ? row.Nick + " " : "";
    return out;
  };
  ASSERT_EQ(a.core->Roster().Rows().size(), 3u);  // anna, Annette, bob by nick

  press({{EditorKey::Down, true}});
  EXPECT_EQ(selectedNicks(), "anna ");
  EXPECT_EQ(a.roster.rows, a.core->Roster().Rows());  // the list was told
  press({{EditorKey::Down, false, true}, {EditorKey::Up, true}});
  EXPECT_EQ(selectedNicks(), "Annette bob ");  // from the first row, Up wraps to the last

  const int channel = tabs.Channels().CurrentIndex();
  press({{EditorKey::Tab, false, true}});
  EXPECT_EQ(tabs.Channels().CurrentIndex(), (channel + 1) % tabs.Channels().Count());

  press({{EditorKey::Enter, false, true}});
  EXPECT_EQ(keys.ActiveMode(), ModeMultiLine);
  press({{EditorKey::Esc}});
  EXPECT_EQ(keys.ActiveMode(), ModeSingleLine);

  press({{EditorKey::F5}});  // a reply tab to both selected
  EXPECT_EQ(tabs.Inputs().Count(), 2);
  EXPECT_EQ(keys.ActiveMode(), ModeReply);
  press({{EditorKey::Enter, false, true}});
  EXPECT_EQ(keys.ActiveMode(), ModeReply);  // a reply tab keeps its mode
  press({{EditorKey::Tab, true}});
  EXPECT_EQ(tabs.Inputs().CurrentIndex(), 0);
  press({{EditorKey::Tab, true}, {EditorKey::Esc}});
  EXPECT_EQ(tabs.Inputs().Count(), 1);

  a.core->InputHistory().Add("first");
  a.core->InputHistory().Add("second");
  press({{EditorKey::Up}, {EditorKey::Up}});
  EXPECT_EQ(a.editor.text, "first");
  press({{EditorKey::Down}});
  EXPECT_EQ(a.editor.text, "second");

  EXPECT_EQ(keys.KeyDown(EditorKey::Tab, false, false, 0).Action, EditorAction::CompleteNick);
  EXPECT_EQ(keys.KeyDown(EditorKey::Backspace, true, false, 0).Action, EditorAction::RetypeNextLayout);
}

// The full save (the settings dialog closing) writes the topics the chat learned and the state
// sets edited in memory; the next start reads them back.
TEST_F(Lan, TheFullSaveKeepsTopicsAndSoundSetsForTheNextStart) {
  b.core->Tabs().SelectChannelTab(b.core->Channels().IndexOf("Cs"));
  ASSERT_TRUE(b.core->Tabs().SetTopicText("strategy night"));
  lan.RunFor(500);
  a.core->Settings().SoundSets[1] = TNameValueList{{"mute", "1"}};
  a.core->SaveAllSettings();

  const TIniFile ini((a.dir / "chat.ini").string());
  EXPECT_NE(ReadTopic(ini, "Cs", "none", 0).Topic.find("strategy night"), std::string::npos);
  EXPECT_EQ(ini.ReadString("SOUNDS1", "mute", ""), "1");
}

// A line with characters the wire cannot carry is sent only when the user agrees; otherwise the
// draft stays as typed.
TEST_F(Lan, CharactersTheWireCannotCarryAreShownBeforeSending) {
  a.core->Tabs().SelectChannelTab(a.core->Channels().IndexOf("Main"));
  a.editor.utf8 = "party \xF0\x9F\x8E\x89 tonight";
  a.editor.text = "party ? tonight";
  a.host.ClearSent();
  a.core->Editor().KeyDown(EditorKey::Enter, false, false, 0);
  ASSERT_EQ(a.window.lostWarnings.size(), 1u);
  EXPECT_NE(a.window.lostWarnings[0].find("\xF0\x9F\x8E\x89 \xE2\x86\x92 ?"), std::string::npos);
  EXPECT_TRUE(a.SentTypes().empty());
  EXPECT_EQ(a.editor.text, "party ? tonight");

  a.window.sendLost = true;
  a.core->Editor().KeyDown(EditorKey::Enter, false, false, 0);
  EXPECT_EQ(a.SentTypes(), std::vector<int>{pkChannelLine});
  EXPECT_TRUE(a.editor.text.empty());
}

// What the user changes is in chat.ini at once, not only when the program closes (a crash keeps it).
TEST_F(Lan, UserChangesReachTheFileAtOnce) {
  const auto file = [&] { return TIniFile((a.dir / "chat.ini").string()); };
  a.core->Own().NickEntered("zed", true);
  EXPECT_EQ(file().ReadString("Main", "MyName", ""), "zed");
  a.window.answer = "lunch";
  a.core->Own().StateMenuClick(5);
  EXPECT_EQ(file().ReadString("Main", "MyState", ""), "5");
  EXPECT_EQ(file().ReadString("Main", "MyStateDescr", ""), "lunch");
  a.core->Tabs().SelectChannelTab(a.core->Channels().IndexOf("Quake"));
  ASSERT_TRUE(a.core->Tabs().SetTopicText("frag night"));
  EXPECT_NE(ReadTopic(file(), "Quake", "none", 0).Topic.find("frag night"), std::string::npos);
}

}  // namespace
}  // namespace plumo::coretest
