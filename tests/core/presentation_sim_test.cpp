// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, event presentation and the send paths of two or three client cores on the simulated LAN.
#include <algorithm>

#include "core_fixture.h"

namespace plumo::coretest {
namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

class TwoPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a.core->FormCreate());
    ASSERT_TRUE(b.core->FormCreate());
    lan.RunFor(2000);
  }
  // Selects the roster rows with these nicks on peer p.
  static void Select(Peer& p, const std::vector<std::string>& nicks) {
    std::vector<int> rows;
    for (std::size_t i = 0; i < p.core->Roster().Rows().size(); ++i) {
      if (std::find(nicks.begin(), nicks.end(), p.core->Roster().Rows()[i].Nick) != nicks.end())
        rows.push_back(int(i));
    }
    p.core->Roster().SetSelection(rows);
  }
  sim::SimLan lan{11};
  Peer a{lan, "198.18.0.1", "anna"};
  Peer b{lan, "198.18.0.2", "bob"};
};

TEST(StartUp, FirstStartBuildsTabsAnnouncesInOrderAndWelcomes) {
  sim::SimLan lan(3);
  Peer a(lan, "198.18.0.1", "anna");
  ASSERT_TRUE(a.core->FormCreate());
  EXPECT_EQ(a.channels.names, (std::vector<std::string>{"#", "Main", "Cs", "Quake", "StarCraft"}));
  EXPECT_EQ(a.channels.current, 1);
  EXPECT_EQ(a.inputs.names, (std::vector<std::string>{"~"}));
  ASSERT_FALSE(a.Console().empty());
  EXPECT_EQ(a.Console().front(), "#^666666anna has entered the chat.");
  // Nick, state twice, hello.
  EXPECT_EQ(a.SentTypes(), (std::vector<int>{pkNickChange, pkStateChange, pkStateChange, pkHello}));
  EXPECT_EQ(a.engine().MyAddress, "198.18.0.1");
  EXPECT_EQ(a.engine().BroadcastAddress, "198.18.0.255");
  ASSERT_EQ(a.engine().Channels().size(), 4u);
  EXPECT_EQ(a.engine().Channels()[0]->Name, "Main");
}

TEST(StartUp, ACopyThatCannotReceiveSendsNothingAndSaysWhy) {
  sim::SimLan lan(3);
  Peer a(lan, "198.18.0.1", "anna");
  a.host.portTaken = true;
  EXPECT_FALSE(a.core->FormCreate());
  EXPECT_TRUE(a.core->Quitting());
  EXPECT_FALSE(a.core->HasEngine());
  EXPECT_NE(a.core->StartError().find("port 8177 is taken"), std::string::npos) << a.core->StartError();
  a.core->FormClose();
  a.core->FormDestroy();
  lan.RunFor(5000);
  EXPECT_TRUE(a.host.Sent().empty()) << "no hello, state, presence or exit from a deaf copy";
}

TEST(StartUp, AnEventTapSeesTheEventsOfStartUpAndTheCoreStillHandlesThem) {
  int seen = 0;
  struct CountSendErrors : TPlumoEventsForward {
    CountSendErrors(TPlumoEvents& inner, int& count) : TPlumoEventsForward(inner), count_(count) {}
    void OnSendError() override {
      ++count_;
      TPlumoEventsForward::OnSendError();
    }
    int& count_;
  };
  std::unique_ptr<CountSendErrors> tap;
  // The tap outlives the core, which still sends its farewell through it.
  sim::SimLan lan(3);
  Peer a(lan, "198.18.0.1", "anna");
  a.host.failSends = true;
  a.core->SetEventTap([&](TPlumoEvents& core) {
    tap = std::make_unique<CountSendErrors>(core, seen);
    return tap.get();
  });
  ASSERT_TRUE(a.core->FormCreate());
  EXPECT_GE(seen, 2);  // at least the second state announcement and the hello
  EXPECT_TRUE(a.timers.on[CoreTimer::NetworkWatch]);
}

TEST(StartUp, InvalidColourIsReportedAndStartUpGoesOnWithBlack) {
  sim::SimLan lan(3);
  Peer a(lan, "198.18.0.1", "anna", "MyColor=00G0FF\n");
  ASSERT_TRUE(a.core->FormCreate());
  EXPECT_EQ(a.core->Settings().MyColor, 0u);
  EXPECT_TRUE(Contains(a.Console(), "#^FF0000MyColor: Invalid hex character G"));
  EXPECT_EQ(a.SentTypes().back(), pkHello);
}

TEST(StartUp, OnlyLoopbackSwitchesTheEngineOffAndWatchesTheNetwork) {
  sim::SimLan lan(3);
  Peer a(lan, "198.18.0.1", "anna");
  a.system.addresses = {"127.0.0.1"};
  ASSERT_TRUE(a.core->FormCreate());
  EXPECT_FALSE(a.host.Receiving());
  EXPECT_TRUE(a.timers.on[CoreTimer::NetworkWatch]);
  // Sending does not depend on the receiving side.
  EXPECT_EQ(a.SentTypes(), (std::vector<int>{pkNickChange, pkStateChange, pkStateChange, pkHello}));

  a.core->Own().Timer1Timer();
  EXPECT_EQ(a.LastConsole(), "#^FF0000No network: the chat is off, looking for an address...");
  EXPECT_EQ(a.channels.current, 0);
  EXPECT_TRUE(a.timers.on[CoreTimer::NetworkWatch]);

  // An address, but another program took the port meanwhile: nothing is sent, the watch goes on.
  a.system.addresses = {"127.0.0.1", "198.18.0.1"};
  a.host.portTaken = true;
  a.host.ClearSent();
  a.core->Own().Timer1Timer();
  EXPECT_FALSE(a.host.Receiving());
  EXPECT_TRUE(a.SentTypes().empty());
  EXPECT_TRUE(a.timers.on[CoreTimer::NetworkWatch]);
  EXPECT_TRUE(Contains(a.Console(), "#^FF0000Port 8177 is taken"));

  a.host.portTaken = false;
  a.host.ClearSent();
  a.core->Own().Timer1Timer();
  EXPECT_EQ(a.engine().MyAddress, "198.18.0.1");
  EXPECT_TRUE(a.host.Receiving());
  EXPECT_FALSE(a.timers.on[CoreTimer::NetworkWatch]);
  EXPECT_EQ(a.SentTypes(), (std::vector<int>{pkRosterList}));
  EXPECT_EQ(a.LastConsole(), "#^FF0000Network found, the chat works again.");
}

TEST_F(TwoPeers, SendErrorsStartTheNetworkWatchOnceWithoutPostponingIt) {
  const auto say = [this](const std::string& text) {
    a.editor.text = text;
    a.core->Sending().SubmitLine();
  };
  a.host.failSends = true;
  say("one");
  EXPECT_TRUE(a.timers.on[CoreTimer::NetworkWatch]);
  say("two");
  say("three");
  EXPECT_EQ(a.timers.starts[CoreTimer::NetworkWatch], 1);
  a.host.failSends = false;
  a.core->Own().Timer1Timer();  // the address is still there: the watch ends
  EXPECT_FALSE(a.timers.on[CoreTimer::NetworkWatch]);
  a.core->Tabs().SelectChannelTab(1);  // the watch showed the console
  a.host.failSends = true;
  say("four");
  EXPECT_EQ(a.timers.starts[CoreTimer::NetworkWatch], 2);
}

TEST_F(TwoPeers, ChannelLinesGoToTheirTabWithTimeNickAndUnseenMark) {
  EXPECT_TRUE(Contains(a.Console(), "New user : bob [198.18.0.2]"));
  b.editor.text = "hello";
  b.core->Sending().SubmitLine();
  EXPECT_EQ(b.editor.text, "");
  lan.RunFor(100);
  const std::string stamp = Stamp(lan);
  ASSERT_EQ(a.channels.Of("Main").size(), 1u);
  EXPECT_EQ(a.channels.Of("Main")[0].substr(0, 8), "#^666666");
  EXPECT_NE(a.channels.Of("Main")[0].find("#^000000bob: hello"), std::string::npos);
  EXPECT_EQ(a.channels.icons[1], icon::kChannelSeen);

  b.core->Tabs().SelectChannelTab(2);  // Cs
  b.editor.text = "over here";
  b.core->Sending().SubmitLine();
  lan.RunFor(100);
  EXPECT_EQ(a.channels.Of("Cs").size(), 1u);
  EXPECT_EQ(a.channels.icons[2], icon::kChannelUnseen);
  a.core->Tabs().SelectChannelTab(2);
  EXPECT_EQ(a.channels.icons[2], icon::kChannelSeen);
  (void)stamp;
}

TEST_F(TwoPeers, PrivateMessageOpensATabPerMessageAndTheSenderSeesTheConfirmation) {
  a.core->Roster().Refresh();
  Select(a, {"bob"});
  a.core->Sending().ComposeMessage(false);
  ASSERT_EQ(a.inputs.names.size(), 2u);
  EXPECT_TRUE(a.inputs.names[1].ends_with("] ->bob")) << a.inputs.names[1];
  a.editor.text = "psst";
  EXPECT_TRUE(a.core->Sending().SendReply());
  EXPECT_EQ(a.inputs.names.size(), 1u);  // closed after a successful send
  lan.RunFor(500);

  ASSERT_EQ(b.inputs.names.size(), 2u);
  const std::string& caption = b.inputs.names[1];
  EXPECT_EQ(caption.substr(0, 1), "[");
  EXPECT_TRUE(caption.ends_with("] <-anna")) << caption;
  EXPECT_EQ(b.inputs.icons.back(), icon::kPrivateEncrypted);  // between two of our programs
  const auto lines = b.inputs.Of(caption);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 11), "\r\n#^666666>");
  EXPECT_NE(lines[0].find("#^000000\r\npsst"), std::string::npos);
  EXPECT_TRUE(Contains(a.Console(), "Message received by bob"));

  // A second message opens a second tab.
  lan.RunFor(1000);
  Select(a, {"bob"});
  a.core->Sending().ComposeMessage(false);
  a.editor.text = "again";
  a.core->Sending().SendReply();
  lan.RunFor(500);
  EXPECT_EQ(b.inputs.names.size(), 3u);
}

TEST_F(TwoPeers, ReplyToALeftPeerNamesItAndKeepsTheTabOpen) {
  a.core->Roster().Refresh();
  Select(a, {"bob"});
  a.core->Sending().ComposeMessage(false);
  b.core->FormClose();
  b.core->FormDestroy();
  lan.RunFor(500);
  a.editor.text = "are you there";
  a.host.ClearSent();
  EXPECT_FALSE(a.core->Sending().SendReply());
  EXPECT_EQ(a.inputs.names.size(), 2u);
  EXPECT_EQ(a.channels.current, 0);
  EXPECT_EQ(a.LastConsole().substr(0, 8), "#^FF0000");
  EXPECT_NE(a.LastConsole().find("Could not send the message to bob[198.18.0.2]"), std::string::npos);
  EXPECT_TRUE(a.SentTypes().empty());
}

TEST_F(TwoPeers, NoSelectionForAPrivateMessageOpensNoTab) {
  a.core->Sending().ComposeMessage(false);
  EXPECT_EQ(a.inputs.names.size(), 1u);
  EXPECT_EQ(a.LastConsole(), "#^FF0000No user is selected.");
  EXPECT_EQ(a.channels.current, 0);
}

TEST_F(TwoPeers, TooLongTextIsRefusedWithARedLineAndStaysInTheEditor) {
  const std::string text(3000, 'x');
  a.editor.text = text;
  a.host.ClearSent();
  a.core->Sending().SubmitLine();
  EXPECT_EQ(a.editor.text, text);
  EXPECT_TRUE(a.SentTypes().empty());
  EXPECT_EQ(a.LastConsole().substr(0, 8), "#^FF0000");

  a.core->Sending().ComposeMessage(true);
  a.editor.text = text;
  EXPECT_FALSE(a.core->Sending().SendReply());
  EXPECT_EQ(a.inputs.names.size(), 2u);
  EXPECT_EQ(a.editor.text, text);
  EXPECT_TRUE(a.SentTypes().empty());
}

TEST_F(TwoPeers, StateChangesWriteLinesExceptForAutomaticAway) {
  a.core->Roster().Refresh();
  const std::size_t before = a.Console().size();
  b.core->Own().WindowDeactivated();  // '1' -> '2'
  lan.RunFor(200);
  EXPECT_EQ(a.Console().size(), before);
  const auto row = std::find_if(a.roster.rows.begin(), a.roster.rows.end(),
                                [](const RosterRow& r) { return r.Nick == "bob"; });
  ASSERT_NE(row, a.roster.rows.end());
  EXPECT_EQ(row->Icon, 83);
  b.core->Own().WindowActivated();  // '2' -> '1'
  lan.RunFor(200);
  EXPECT_EQ(a.Console().size(), before);

  b.window.answer = "in a meeting";
  b.core->Own().StateMenuClick(4);
  lan.RunFor(200);
  EXPECT_NE(a.LastConsole().find("bob is now 'Do not disturb' (in a meeting)"), std::string::npos);
  // A blank description leaves no empty brackets.
  b.window.answer = " ";
  b.core->Own().StateMenuClick(5);
  lan.RunFor(200);
  EXPECT_TRUE(a.LastConsole().ends_with("bob is now 'Offline'")) << a.LastConsole();
}

TEST(MassMessages, DisabledMassMessagesLeaveNoTrace) {
  sim::SimLan lan(5);
  Peer a(lan, "198.18.0.1", "anna");
  Peer b(lan, "198.18.0.2", "bob", "DesableMultiMessage=1\n");
  ASSERT_TRUE(a.core->FormCreate());
  ASSERT_TRUE(b.core->FormCreate());
  Peer c(lan, "198.18.0.3", "cid");
  ASSERT_TRUE(c.core->FormCreate());
  lan.RunFor(2000);
  const auto bSounds = b.core->Settings().SoundTable;
  a.core->Sending().ComposeMessage(true);
  EXPECT_TRUE(a.inputs.names.back().ends_with("] ->Mass message")) << a.inputs.names.back();
  a.editor.text = "to all";
  EXPECT_TRUE(a.core->Sending().SendReply());
  lan.RunFor(500);
  EXPECT_EQ(b.inputs.names.size(), 1u);
  EXPECT_EQ(b.core->Settings().SoundTable, bSounds);
  ASSERT_EQ(c.inputs.names.size(), 2u);
  EXPECT_NE(c.inputs.names[1].find("<-@anna"), std::string::npos);
  EXPECT_EQ(c.inputs.icons.back(), icon::kMass);
}

TEST_F(TwoPeers, BellWhileOfflineIsIgnoredOtherwiseShownAndPlayed) {
  b.core->Settings().BellTable.Add("3", "ding.wav");
  b.system.files.insert(b.dir.string() + "/sounds/ding.wav");
  EXPECT_TRUE(a.core->Roster().SendBellToNick("bob", 3));
  lan.RunFor(500);
  EXPECT_NE(b.LastConsole().find("anna sent you bell number 3"), std::string::npos);
  EXPECT_EQ(b.sound.played, (std::vector<std::string>{b.dir.string() + "/sounds/ding.wav"}));
  EXPECT_TRUE(Contains(a.Console(), "Bell received by bob"));

  b.core->Own().StateMenuClick(5);
  lan.RunFor(200);
  const std::size_t lines = b.Console().size();
  a.core->Roster().SendBellToNick("bob", 3);
  lan.RunFor(500);
  EXPECT_EQ(b.Console().size(), lines);
  EXPECT_EQ(b.sound.played.size(), 1u);
}

TEST_F(TwoPeers, TopicChangeReachesThePeerAndItsCaption) {
  EXPECT_TRUE(a.core->Tabs().SetTopicText("news"));
  EXPECT_FALSE(a.core->Tabs().SetTopicText("news"));  // unchanged: nothing
  lan.RunFor(500);
  const TChanel* ch = b.engine().FindChannel("Main");
  ASSERT_NE(ch, nullptr);
  EXPECT_EQ(ch->Topic, " [ news : anna]");
  EXPECT_TRUE(Contains(b.Console(), " [ news : anna]#^0022FF"));
  EXPECT_NE(b.window.caption.find(" [ news : anna] (anna) Plumo "), std::string::npos);
}

TEST_F(TwoPeers, NickChangeIsShownAndTheCloseSavesTheWindowGroup) {
  b.core->Own().NickEntered("bobby", true);
  lan.RunFor(300);
  EXPECT_TRUE(Contains(a.Console(), "bob"));
  EXPECT_TRUE(Contains(a.Console(), "bobby"));
  EXPECT_EQ(b.core->Own().NickItems().back(), "bobby");

  a.core->Own().WindowDeactivated();  // away is never saved
  a.core->FormClose();
  TIniFile ini((a.dir / "chat.ini").string());
  EXPECT_EQ(ini.ReadString("Main", "MyState", ""), "1");
  EXPECT_EQ(ini.ReadString("Main", "MyIP", ""), "198.18.0.1");
  EXPECT_EQ(ini.ReadString("Main", "Chanels", "").substr(0, 2), "#,");
  a.core->FormDestroy();
  lan.RunFor(300);
  EXPECT_TRUE(Contains(b.Console(), "anna [198.18.0.1]"));
}

}  // namespace
}  // namespace plumo::coretest
