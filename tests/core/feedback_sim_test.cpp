// SPDX-License-Identifier: GPL-3.0-or-later
// What the user has to notice at once (a refused send, a bell, a message not delivered) is told in
// the console and also where it happened or where the user is looking, and as a desktop
// notification while the window is away.
#include <algorithm>
#include <functional>

#include "core_fixture.h"

namespace plumo::coretest {
namespace {

TEST(Feedback, ShownInTheConversationWhereItHappenedAndNotifiedWhileAway) {
  sim::SimLan lan{11};
  Peer a{lan, "198.18.0.1", "anna"};
  Peer b{lan, "198.18.0.2", "bob"};
  ASSERT_TRUE(a.core->FormCreate());
  ASSERT_TRUE(b.core->FormCreate());
  lan.RunFor(2000);
  const std::string tooLong(3000, 'x');
  const auto ring = [&] {
    b.core->Roster().SendBellToNick("anna", 3);
    lan.RunFor(500);
  };
  const auto showBobsTab = [&] {
    const TConversationList& inputs = a.core->Inputs();
    for (int i = 1; i < inputs.Count(); ++i)
      if (inputs.At(i).Name.find("<-bob") != std::string::npos) a.core->Tabs().SelectMessageTab(i);
  };
  // Each step acts on what the steps before it left. The channel display is always in sight, so it
  // gets the line unless the message tab concerned is the one shown.
  const struct {
    const char* name;
    std::function<void()> act;
    std::string text;     // a part of the line
    std::string tab;      // the message tab whose pane gets it, as a part of its name; "" for none
    std::string channel;  // the channel that gets it; "" for none
    bool notified;
  } steps[] = {
      {"a channel line too long, in its channel",
       [&] {
         a.editor.text = tooLong;
         a.core->Sending().SubmitLine();
       },
       "#^FF0000The message is too long", "", "Main", false},
      {"a message to everybody too long, in its tab",
       [&] {
         a.core->Sending().ComposeMessage(true);
         a.editor.text = tooLong;
         a.core->Sending().SendReply();
       },
       "#^FF0000The message is too long", "->Mass message", "", false},
      {"a bell without a tab of its peer, in the channel shown",
       [&] {
         a.core->Tabs().CloseMessageTab();
         a.core->Tabs().SelectChannelTab(2);
         ring();
       },
       "bob sent you bell number 3", "", "Cs", false},
      {"a bell with a message tab of its peer not shown, in that tab and the channel shown",
       [&] {
         b.core->Sending().SendPrivateByNick("anna", "hi");
         lan.RunFor(500);
         ring();
       },
       "bob sent you bell number 3", "<-bob", "Cs", false},
      {"a bell while the window is inactive, also notified",
       [&] {
         a.core->Own().WindowDeactivated();
         ring();
       },
       "bob sent you bell number 3", "<-bob", "Cs", true},
      {"a message not delivered, in the tab of its peer",
       [&] {
         // The engine says so when a datagram that bob has not confirmed leaves its resend ring.
         a.core->Events().OnNotice(EngineNotice::NotDelivered, "bob", {"198.18.0.2"}, pkPrivateMessage);
       },
       "The message to bob [198.18.0.2] was not delivered.", "<-bob", "Cs", true},
      {"a bell with the tab of its peer shown, in that tab only",
       [&] {
         a.core->Own().WindowActivated();
         showBobsTab();
         ring();
       },
       "bob sent you bell number 3", "<-bob", "", false},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    const std::size_t lines = a.channels.lines.size();
    const std::size_t notices = a.inputs.notices.size();
    const std::size_t notified = a.window.notified.size();
    step.act();
    const auto has = [&](const ViewLine& l) { return l.line.find(step.text) != std::string::npos; };
    const auto count = [&](const std::vector<ViewLine>& all, std::size_t from, const std::string& view) {
      return std::count_if(all.begin() + static_cast<std::ptrdiff_t>(from), all.end(),
                           [&](const ViewLine& l) { return has(l) && (l.view == view || view.empty()); });
    };
    // The console keeps its line; the channel and the tab get it as the step says, nothing else does.
    EXPECT_EQ(count(a.channels.lines, lines, "#"), 1);
    EXPECT_EQ(count(a.channels.lines, lines, ""), step.channel.empty() ? 1 : 2);
    if (!step.channel.empty()) {
      EXPECT_EQ(count(a.channels.lines, lines, step.channel), 1);
    }
    EXPECT_EQ(count(a.inputs.notices, notices, ""), step.tab.empty() ? 0 : 1);
    if (!step.tab.empty()) {
      EXPECT_NE(a.inputs.notices.back().view.find(step.tab), std::string::npos)
          << a.inputs.notices.back().view;
    }
    ASSERT_EQ(a.window.notified.size(), notified + (step.notified ? 1 : 0));
    if (step.notified) {
      EXPECT_EQ(a.window.notified.back().first, "bob");
      EXPECT_NE(a.window.notified.back().second.find(step.text), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace plumo::coretest
