// SPDX-License-Identifier: GPL-3.0-or-later
// The conversation history of client cores on the simulated LAN: what the conversations show is
// stored with its conversation and sender, and a channel tab shows its stored lines when it opens,
// older pages on request, across a restart.
#include <algorithm>
#include <functional>
#include <numeric>

#include "core_fixture.h"

namespace plumo::coretest {
namespace {

class HistoryPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a.core->FormCreate());
    ASSERT_TRUE(b.core->FormCreate());
    lan.RunFor(2000);
    ASSERT_TRUE(a.core->ChatHistory().Enabled());
  }
  static void Say(Peer& p, const std::string& text) {
    p.editor.text = text;
    p.core->Sending().SubmitLine();
  }
  // Sends a private (or, with mass, a mass) message from p to the roster entry with nick.
  static void Message(Peer& p, const std::string& nick, const std::string& text, bool mass = false) {
    if (!mass) {
      p.core->Roster().Refresh();
      std::vector<int> rows;
      for (std::size_t i = 0; i < p.core->Roster().Rows().size(); ++i) {
        if (p.core->Roster().Rows()[i].Nick == nick) rows.push_back(static_cast<int>(i));
      }
      p.core->Roster().SetSelection(rows);
    }
    p.core->Sending().ComposeMessage(mass);
    p.editor.text = text;
    ASSERT_TRUE(p.core->Sending().SendReply()) << text;
  }
  sim::SimLan lan{17};
  Peer a{lan, "198.18.0.1", "anna", "HistoryLines=3\n"};
  Peer b{lan, "198.18.0.2", "bob"};
};

TEST_F(HistoryPeers, WhatTheConversationsShowIsStoredWithConversationKindDirectionAndSender) {
  Say(b, "hello from bob");
  lan.RunFor(200);
  Say(a, "own line");
  lan.RunFor(200);
  // A line for the channel written in other letter case belongs to the tab's conversation.
  b.engine().SendChannelLine("MAIN", "shouted", b.engine().BroadcastAddress);
  lan.RunFor(200);
  ASSERT_TRUE(b.core->Tabs().SetTopicText("news"));
  lan.RunFor(200);
  Message(b, "anna", "psst");
  lan.RunFor(500);
  Message(a, "bob", "back at you");
  lan.RunFor(500);
  Message(b, "", "to all from bob", true);
  lan.RunFor(500);
  Message(a, "", "to all from anna", true);
  lan.RunFor(500);

  THistoryStore& store = *a.core->ChatHistory().Store();
  store.Flush();
  const TConversationKey main{ConversationKind::Channel, "Main"};
  const TConversationKey bob{ConversationKind::Peer, "198.18.0.2"};
  const TConversationKey all{ConversationKind::Everybody, "@"};
  const TConversationKey console{ConversationKind::Channel, "#"};
  struct Expected {
    TConversationKey conversation;
    HistoryKind kind;
    bool outgoing;
    std::string senderAddress, senderNick, peerNick, plainPart;
  };
  const Expected expected[] = {
      {main, HistoryKind::ChannelLine, false, "198.18.0.2", "bob", "", "hello from bob"},
      {main, HistoryKind::ChannelLine, false, "198.18.0.1", "anna", "", "own line"},
      {main, HistoryKind::ChannelLine, false, "198.18.0.2", "bob", "", "shouted"},
      {main, HistoryKind::Topic, false, "198.18.0.2", "bob", "", "news"},
      {bob, HistoryKind::Private, false, "198.18.0.2", "bob", "bob", "psst"},
      {bob, HistoryKind::Private, true, "198.18.0.1", "anna", "bob", "back at you"},
      {bob, HistoryKind::Mass, false, "198.18.0.2", "bob", "bob", "to all from bob"},
      {all, HistoryKind::Mass, true, "198.18.0.1", "anna", "", "to all from anna"},
      {console, HistoryKind::Notice, false, "", "", "", "New user : bob [198.18.0.2]"},
  };
  for (const auto& e : expected) {
    const std::vector<THistoryLine> lines = store.Last(e.conversation, 100);
    const auto found = std::find_if(lines.begin(), lines.end(), [&](const THistoryLine& l) {
      return l.Plain.find(e.plainPart) != std::string::npos;
    });
    ASSERT_NE(found, lines.end()) << e.plainPart << " not stored in " << e.conversation.Name;
    EXPECT_EQ(found->Kind, e.kind) << e.plainPart;
    EXPECT_EQ(found->Outgoing, e.outgoing) << e.plainPart;
    EXPECT_EQ(found->SenderAddress, e.senderAddress) << e.plainPart;
    EXPECT_EQ(found->SenderNick, e.senderNick) << e.plainPart;
    EXPECT_EQ(found->PeerNick, e.peerNick) << e.plainPart;
    EXPECT_GT(found->TimeMs, 0) << e.plainPart;
  }
  // Each line is stored once in its conversation (an own channel line comes back from the network
  // and is not stored a second time), and a channel line under the tab's name.
  for (const auto& e : expected) {
    EXPECT_EQ(store.Search("\"" + e.plainPart + "\"", 10, INT64_MAX, &e.conversation).size(), 1u)
        << e.plainPart;
  }
  EXPECT_TRUE(store.Last({ConversationKind::Channel, "MAIN"}, 10).empty());
}

TEST_F(HistoryPeers, AChannelTabShowsItsLastLinesThenOlderPagesAlsoAfterARestart) {
  for (int i = 1; i <= 60; ++i) {
    Say(b, "line " + std::to_string(i));
    lan.RunFor(20);
  }
  lan.RunFor(500);
  EXPECT_TRUE(a.channels.history.empty()) << "nothing was stored before this run";

  a.Restart(lan);
  ASSERT_TRUE(a.core->FormCreate());
  // At start-up only "Main" has history: its last three lines (HistoryLines=3), then the divider.
  ASSERT_EQ(a.channels.history.size(), 1u);
  EXPECT_EQ(a.channels.history[0].index, 1);
  const std::vector<std::string>& first = a.channels.history[0].lines;
  ASSERT_EQ(first.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    const std::string& line = first[static_cast<std::size_t>(i)];
    EXPECT_EQ(line.substr(0, kGrey.size()), kGrey) << line;
    const std::string end = "] bob: line " + std::to_string(58 + i);
    EXPECT_EQ(line.substr(line.size() - std::min(line.size(), end.size())), end) << line;
  }
  EXPECT_EQ(first[3], kGrey + "----- earlier -----");

  // Older pages: 50 lines, the 7 left, then nothing.
  ASSERT_TRUE(a.core->ChatHistory().LoadOlder(1));
  ASSERT_EQ(a.channels.history.size(), 2u);
  ASSERT_EQ(a.channels.history[1].lines.size(), 50u);
  EXPECT_NE(a.channels.history[1].lines.front().find("bob: line 8"), std::string::npos);
  EXPECT_NE(a.channels.history[1].lines.back().find("bob: line 57"), std::string::npos);
  ASSERT_TRUE(a.core->ChatHistory().LoadOlder(1));
  ASSERT_EQ(a.channels.history.size(), 3u);
  ASSERT_EQ(a.channels.history[2].lines.size(), 7u);
  EXPECT_NE(a.channels.history[2].lines.front().find("bob: line 1"), std::string::npos);
  EXPECT_FALSE(a.core->ChatHistory().LoadOlder(1));
  EXPECT_FALSE(a.core->ChatHistory().LoadOlder(2)) << "Cs has no history";

  // History switched off and on again in the settings shows nothing a second time.
  a.core->Settings().KeepHistory = false;
  a.core->ChatHistory().SettingsChanged();
  EXPECT_FALSE(a.core->ChatHistory().Enabled());
  a.core->Settings().KeepHistory = true;
  a.core->ChatHistory().SettingsChanged();
  EXPECT_TRUE(a.core->ChatHistory().Enabled());
  EXPECT_FALSE(a.core->ChatHistory().LoadOlder(1));
  EXPECT_EQ(a.channels.history.size(), 3u);
}

TEST_F(HistoryPeers, AChannelTabKeepsItsNewestRowsAndScrollingUpBringsTheDroppedOnesBackInOrder) {
  // The numbers of bob's lines the Main tab shows, top to bottom, stored or live.
  const auto shownNumbers = [&] {
    std::vector<int> numbers;
    for (const std::string& row : a.channels.Shown(1)) {
      const std::size_t at = row.find(": line ");
      if (at != std::string::npos) numbers.push_back(std::stoi(row.substr(at + 7)));
    }
    return numbers;
  };
  struct Case {
    bool keepHistory;
    int rowsAtMost;  // what the tab holds after the lines, before scrolling up
  };
  // A window of 20 rows (dropped down to it past 22); with history off the window does not apply.
  for (const Case c : {Case{true, 22}, Case{false, 1000}}) {
    SCOPED_TRACE(c.keepHistory);
    a.core->ChatHistory().SetShownLines(20);
    a.core->Settings().KeepHistory = c.keepHistory;
    a.core->ChatHistory().SettingsChanged();
    a.channels.dropped = 0;
    a.channels.Shown(1).clear();
    a.core->Tabs().Channels().Rows(1) = TShownRows();
    int said = 0;
    int firstShown = 1;
    // The last round follows the display's Clear: with history kept, scrolling up brings back what
    // it held from the store.
    for (const int round : {70, 45, 5}) {
      if (round == 5) {
        a.core->Tabs().Channels().Cleared(1);
        a.channels.Shown(1).clear();
        if (!c.keepHistory) firstShown = said + 1;
      }
      // Lines said, then the user scrolls to the top until nothing older comes.
      for (int i = 0; i < round; ++i) {
        Say(b, "line " + std::to_string(++said));
        lan.RunFor(20);
      }
      lan.RunFor(300);
      EXPECT_LE(std::ssize(a.channels.Shown(1)), c.rowsAtMost);
      EXPECT_EQ(a.channels.dropped > 0, c.keepHistory);
      while (a.core->ChatHistory().LoadOlder(1)) {
      }
      std::vector<int> all(static_cast<std::size_t>(said - firstShown + 1));
      std::iota(all.begin(), all.end(), firstShown);
      EXPECT_EQ(shownNumbers(), all) << "in order, with no gap or repeat";
    }
  }
}

}  // namespace
}  // namespace plumo::coretest

namespace plumo::coretest {
namespace {

// A history file that cannot be used costs the chat nothing: a damaged one is set aside and a new
// one started, one that cannot be opened leaves history off; either way the console says so once.
TEST(HistoryFiles, AnUnusableFileIsReportedAndTheChatGoesOn) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& file)> spoil;
    const char* console;  // the start of the console line
    bool enabled;
  };
  const Case cases[] = {
      {"damaged", [](const fs::path& f) { std::ofstream(f) << std::string(8192, 'x'); },
       "#^FF0000The history file was damaged; it was kept as ", true},
      {"a link into no folder",
       [](const fs::path& f) { fs::create_symlink(f.parent_path() / "gone" / "x", f); },
       "#^FF0000The conversation history is off for this run: ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimLan lan{5};
    Peer p{lan, "198.18.0.1", "anna"};
    c.spoil(p.dir / kHistoryFile);
    ASSERT_TRUE(p.core->FormCreate());
    const auto console = p.Console();
    const auto told = std::count_if(console.begin(), console.end(),
                                    [&](const std::string& line) { return line.rfind(c.console, 0) == 0; });
    EXPECT_EQ(told, 1) << ::testing::PrintToString(console);
    EXPECT_EQ(p.core->ChatHistory().Enabled(), c.enabled);
    // The chat goes on: a line is said and shown either way.
    p.editor.text = "still here";
    p.core->Sending().SubmitLine();
    lan.RunFor(200);
    const auto main = p.channels.Of("Main");
    EXPECT_TRUE(std::any_of(main.begin(), main.end(),
                            [](const std::string& l) { return l.find("still here") != std::string::npos; }));
  }
}

// A store whose disk fills up turns itself off on its writer thread, between two lines: the console
// says so once, when the next lines are shown, and the chat goes on without history.
TEST(HistoryFiles, AStoreThatTurnsItselfOffIsReportedOnce) {
  sim::SimLan lan{5};
  Peer p{lan, "198.18.0.1", "anna"};
  ASSERT_TRUE(p.core->FormCreate());
  TChatHistory& history = p.core->ChatHistory();
  THistoryOptions small;
  small.MaxPageCount = 40;  // a full disk after a few thousand lines
  small.FlushIntervalMs = 5;
  history.Open(FsPath(p.dir / "full.db"), small);
  ASSERT_TRUE(history.Enabled());
  for (int round = 0; round < 20 && history.Store()->Enabled(); ++round) {
    for (int i = 0; i < 500; ++i)
      history.ChannelLine("Main", "198.18.0.1", "anna", "filling " + std::to_string(i));
    history.Store()->Flush();
  }
  ASSERT_FALSE(history.Store()->Enabled());
  for (const char* text : {"after the disk filled", "and once more"}) {
    p.editor.text = text;
    p.core->Sending().SubmitLine();
    lan.RunFor(200);
  }
  const auto console = p.Console();
  const auto told = std::count_if(console.begin(), console.end(), [](const std::string& line) {
    return line.rfind("#^FF0000The conversation history is off for this run: ", 0) == 0;
  });
  EXPECT_EQ(told, 1) << ::testing::PrintToString(console);
  EXPECT_FALSE(history.Enabled());
}

// The settings dialog saves whenever it loses activation: only a change of the kept days, or a day
// gone by since the last expiry, starts one. Each step stores a line older than any kept days and
// says whether the step expired it (with the lines left from steps before).
TEST(HistoryExpiry, StartsOnlyWhenTheKeptDaysChangeOrADayHasPassed) {
  constexpr std::int64_t kHour = 60LL * 60 * 1000, kDay = 24 * kHour;
  sim::SimLan lan{9};
  Peer p{lan, "198.18.0.1", "anna", "HistoryDays=30\n"};
  ASSERT_TRUE(p.core->FormCreate());
  lan.RunFor(500);
  TChatHistory& history = p.core->ChatHistory();
  ASSERT_TRUE(history.Enabled());
  history.Store()->WaitForExpiry();  // the one of the start
  const TConversationKey old{ConversationKind::Channel, "#old"};
  const struct {
    const char* what;
    std::function<void()> act;
    std::size_t left;  // old lines left after the step
  } steps[] = {
      {"saved unchanged", [&] { history.SettingsChanged(); }, 1},
      {"saved unchanged an hour later",
       [&] {
         p.system.clockOffsetMs += kHour;
         history.SettingsChanged();
       },
       2},
      {"kept days changed",
       [&] {
         p.core->Settings().HistoryDays = 31;
         history.SettingsChanged();
       },
       0},
      {"saved again", [&] { history.SettingsChanged(); }, 1},
      {"saved a day later",
       [&] {
         p.system.clockOffsetMs += kDay;
         history.SettingsChanged();
       },
       0},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    THistoryStore& store = *history.Store();
    THistoryLine line;
    line.TimeMs = p.system.NowLocalMs() - 40 * kDay;
    line.Conversation = old;
    line.Markup = step.what;
    store.Append(line);
    store.Flush();
    step.act();
    store.WaitForExpiry();
    EXPECT_EQ(store.Last(old, 10).size(), step.left);
  }
}

}  // namespace
}  // namespace plumo::coretest
