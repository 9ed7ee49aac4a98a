// SPDX-License-Identifier: GPL-3.0-or-later
// Channels and topics of the client core on the simulated LAN: topics nobody set, editing a topic
// again, the caption and the topic line; opening and closing channel tabs with /join and /leave.
#include <algorithm>

#include "core_fixture.h"

namespace plumo::coretest {
namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

const std::string kWelcome = "Welcome! No topic has been set yet.";

// Two programs that start two minutes apart: the later one's placeholder topics are newer, so the
// first learns them at first contact. Nobody set a topic, so nobody may be said to have changed one;
// a topic set by a user is edited as the text the user typed, wrapped once with the nick of whoever
// set it last; the caption brackets a setter only when there is one.
TEST(ChannelTopics, NeverSetTopicsAreQuietAndEditingKeepsOneWrapping) {
  sim::SimLan lan(5);
  Peer a(lan, "198.18.0.1", "anna");
  Peer b(lan, "198.18.0.2", "root");
  ASSERT_TRUE(a.core->FormCreate());
  lan.RunFor(120000);
  ASSERT_TRUE(b.core->FormCreate());
  lan.RunFor(3000);
  ASSERT_EQ(a.engine().FindChannel("Main")->SetterNick, "root") << "anna took root's placeholder";
  for (const Peer* p : {&a, &b}) {
    EXPECT_FALSE(Contains(p->channels.Of("Main"), "changed the topic")) << p->system.userName;
    EXPECT_FALSE(Contains(p->Console(), "changed the topic")) << p->system.userName;
    EXPECT_EQ(p->window.caption, kWelcome + " Plumo 0.5.1.1") << p->system.userName;
    EXPECT_EQ(p->window.topicLine, kWelcome) << p->system.userName;
  }

  // Each step asks the topic box of Main on one peer; the box offers `offered`, gets `answer`, and
  // both peers end with `topic`.
  const struct {
    Peer* who;
    std::optional<std::string> answer;
    std::string offered;
    std::string topic;
    bool sent;
  } steps[] = {
      {&a, "Lunch", "", " [ Lunch : anna]", true},
      {&b, "Lunch (upd)", "Lunch", " [ Lunch (upd) : root]", true},
      {&b, "Lunch (upd)", "Lunch (upd)", " [ Lunch (upd) : root]", false},
      {&a, std::nullopt, "Lunch (upd)", " [ Lunch (upd) : root]", false},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.answer.value_or("(cancelled)"));
    step.who->window.answer = step.answer;
    step.who->host.ClearSent();
    step.who->core->Tabs().ChangeTopic();
    ASSERT_FALSE(step.who->window.boxValues.empty());
    EXPECT_EQ(step.who->window.boxValues.back(), step.offered);
    const std::vector<int> types = step.who->SentTypes();
    EXPECT_EQ(std::count(types.begin(), types.end(), pkTopic), step.sent ? 1 : 0);
    lan.RunFor(31000);  // a peer takes a topic only when it is more than 30 s newer than its own
    EXPECT_EQ(a.engine().FindChannel("Main")->Topic, step.topic);
    EXPECT_EQ(b.engine().FindChannel("Main")->Topic, step.topic);
  }
  EXPECT_TRUE(Contains(a.channels.Of("Main"), "root changed the topic:  [ Lunch (upd) : root]"));
  EXPECT_EQ(a.window.caption, " [ Lunch (upd) : root] (root) Plumo 0.5.1.1");
  EXPECT_EQ(a.window.topicLine.rfind("Lunch (upd)  (set by root, ", 0), 0u) << a.window.topicLine;

  // chat.ini gives the topic back without its leading blank; the box still offers the text alone.
  b.Restart(lan);
  ASSERT_TRUE(b.core->FormCreate());
  b.window.answer.reset();
  b.core->Tabs().ChangeTopic();
  EXPECT_EQ(b.window.boxValues.back(), "Lunch (upd)");

  // The caption and the topic line follow the shown tab.
  a.core->Tabs().SelectChannelTab(a.core->Channels().IndexOf("Cs"));
  EXPECT_EQ(a.window.topicLine, kWelcome);
  a.core->Tabs().ActivateConsole();
  EXPECT_EQ(a.window.topicLine, "");
  EXPECT_EQ(a.window.caption, "Console Plumo 0.5.1.1");
}

std::string ChanelsValue(const std::vector<std::string>& tabs) {
  std::string value;
  for (const auto& tab : tabs)
    value += (value.empty() ? "" : ",") + (tab.find(' ') == std::string::npos ? tab : "\"" + tab + "\"");
  return value;
}

// Each row types a line on anna's console and checks her channel tabs, the shown one, the red line
// the console got (if any) and what chat.ini keeps; a channel bob made is offered to anna, opened
// with the network's spelling, carries bob's lines and is there again after a restart.
TEST(Channels, JoinAndLeaveOpenAndCloseTabsThatChatIniKeeps) {
  sim::SimLan lan(9);
  Peer a(lan, "198.18.0.1", "anna");
  Peer b(lan, "198.18.0.2", "bob", "Chanels=Main,\"Lan party\"\n");
  ASSERT_TRUE(a.core->FormCreate());
  ASSERT_TRUE(b.core->FormCreate());
  lan.RunFor(2000);
  ASSERT_TRUE(b.core->Tabs().SetTopicText("Lan party", "bring snacks"));
  lan.RunFor(1000);
  EXPECT_EQ(a.core->Tabs().ChannelsToJoin(), std::vector<std::string>{"Lan party"});

  using Tabs = std::vector<std::string>;
  const struct {
    const char* line;
    Tabs tabs;
    const char* shown;
    const char* problem;  // the red console line, or nullptr for none
  } rows[] = {
      {"/join Games", {"#", "Main", "Cs", "Quake", "StarCraft", "Games"}, "Games", nullptr},
      {"/join games", {"#", "Main", "Cs", "Quake", "StarCraft", "Games"}, "Games", nullptr},
      {"/JOIN lan PARTY",
       {"#", "Main", "Cs", "Quake", "StarCraft", "Games", "Lan party"},
       "Lan party",
       nullptr},
      {"/join #",
       {"#", "Main", "Cs", "Quake", "StarCraft", "Games", "Lan party"},
       "Lan party",
       "No channel can be called '#'"},
      {"/join a=b",
       {"#", "Main", "Cs", "Quake", "StarCraft", "Games", "Lan party"},
       "Lan party",
       "No channel can be called 'a=b'"},
      {"/join",
       {"#", "Main", "Cs", "Quake", "StarCraft", "Games", "Lan party"},
       "Lan party",
       "No channel can be called ''"},
      {"/leave", {"#", "Main", "Cs", "Quake", "StarCraft", "Games"}, "Games", nullptr},
      {"/leave #",
       {"#", "Main", "Cs", "Quake", "StarCraft", "Games"},
       "Games",
       "The console cannot be closed"},
      {"/leave Nope",
       {"#", "Main", "Cs", "Quake", "StarCraft", "Games"},
       "Games",
       "The channel Nope is not open; /join Nope opens it."},
      {"/leave cs", {"#", "Main", "Quake", "StarCraft", "Games"}, "Games", nullptr},
      {"/leave Quake", {"#", "Main", "StarCraft", "Games"}, "Games", nullptr},
      {"/leave StarCraft", {"#", "Main", "Games"}, "Games", nullptr},
      {"/leave Games", {"#", "Main"}, "Main", nullptr},
      {"/leave Main", {"#", "Main"}, "Main", "The last channel stays open"},
      {"/join Lan party", {"#", "Main", "Lan party"}, "Lan party", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    const std::size_t before = a.Console().size();
    a.editor.text = row.line;
    a.core->Sending().SubmitLine();
    EXPECT_EQ(a.editor.text, "");
    EXPECT_EQ(a.channels.names, row.tabs);
    EXPECT_EQ(a.core->Channels().CurrentName(), row.shown);
    EXPECT_EQ(a.channels.current, a.core->Channels().CurrentIndex());
    if (row.problem) {
      ASSERT_EQ(a.Console().size(), before + 1);
      EXPECT_EQ(a.LastConsole().rfind(kRed + row.problem, 0), 0u) << a.LastConsole();
    } else {
      EXPECT_EQ(a.Console().size(), before) << a.LastConsole();
    }
    EXPECT_EQ(TIniFile((a.dir / "chat.ini").string()).ReadString("Main", "Chanels", ""),
              ChanelsValue(row.tabs));
    lan.RunFor(200);
  }
  EXPECT_EQ(a.window.topicLine.rfind("bring snacks  (set by bob, ", 0), 0u) << a.window.topicLine;
  EXPECT_EQ(a.core->Tabs().ChannelsToJoin(), (Tabs{"Cs", "Quake", "StarCraft", "Games"}));

  b.core->Tabs().SelectChannelTab(b.core->Channels().IndexOf("Lan party"));
  b.editor.text = "who brings the chips?";
  b.core->Sending().SubmitLine();
  lan.RunFor(500);
  EXPECT_TRUE(Contains(a.channels.Of("Lan party"), "bob: who brings the chips?"));

  a.core->RunCommand("/help");
  EXPECT_TRUE(Contains(a.Console(), "/join NAME - open a channel"));
  EXPECT_TRUE(Contains(a.Console(), "/leave [NAME] - close this channel"));

  a.Restart(lan);
  ASSERT_TRUE(a.core->FormCreate());
  EXPECT_EQ(a.channels.names, (Tabs{"#", "Main", "Lan party"}));
}

}  // namespace
}  // namespace plumo::coretest
