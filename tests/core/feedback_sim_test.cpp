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
  enum Where { InChannel, InMessageTab };
  // Each step acts on what the steps before it left.
  const struct {
    const char* name;
    std::function<void()> act;
    std::string text;  // a part of the line
    Where where;
    std::string conversation;  // the channel, or the message tab as a part of its name
    bool notified;
  } steps[] = {
      {"a channel line too long, in its channel",
       [&] {
         a.editor.text = tooLong;
         a.core->Sending().SubmitLine();
       },
       "#^FF0000The message is too long", InChannel, "Main", false},
      {"a message to everybody too long, in its tab",
       [&] {
         a.core->Sending().ComposeMessage(true);
         a.editor.text = tooLong;
         a.core->Sending().SendReply();
       },
       "#^FF0000The message is too long", InMessageTab, "->Mass message", false},
      {"a bell without a tab of its peer, in the channel shown",
       [&] {
         a.core->Tabs().CloseMessageTab();
         a.core->Tabs().SelectChannelTab(2);
         ring();
       },
       "bob sent you bell number 3", InChannel, "Cs", false},
      {"a bell with a message tab of its peer, in that tab",
       [&] {
         b.core->Sending().SendPrivateByNick("anna", "hi");
         lan.RunFor(500);
         ring();
       },
       "bob sent you bell number 3", InMessageTab, "<-bob", false},
      {"a bell while the window is inactive, also notified",
       [&] {
         a.core->Own().WindowDeactivated();
         ring();
       },
       "bob sent you bell number 3", InMessageTab, "<-bob", true},
      {"a message not delivered, in the tab of its peer",
       [&] {
         // The engine says so when a datagram that bob has not confirmed leaves its resend ring.
         a.core->Presenter().OnNotice(EngineNotice::NotDelivered, "bob", {"198.18.0.2"}, pkPrivateMessage);
       },
       "The message to bob [198.18.0.2] was not delivered.", InMessageTab, "<-bob", true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    const std::size_t lines = a.channels.lines.size();
    const std::size_t notices = a.inputs.notices.size();
    const std::size_t notified = a.window.notified.size();
    step.act();
    // The console keeps its line; the conversation gets the same line.
    std::vector<ViewLine> added(a.channels.lines.begin() + static_cast<std::ptrdiff_t>(lines),
                                a.channels.lines.end());
    const auto has = [&](const ViewLine& l) { return l.line.find(step.text) != std::string::npos; };
    EXPECT_EQ(
        std::count_if(added.begin(), added.end(), [&](const ViewLine& l) { return l.view == "#" && has(l); }),
        1);
    const std::vector<ViewLine> shown =
        step.where == InChannel
            ? added
            : std::vector<ViewLine>(a.inputs.notices.begin() + static_cast<std::ptrdiff_t>(notices),
                                    a.inputs.notices.end());
    const auto there = std::count_if(shown.begin(), shown.end(), [&](const ViewLine& l) {
      return l.view != "#" && l.view.find(step.conversation) != std::string::npos && has(l);
    });
    EXPECT_EQ(there, 1);
    if (step.where == InChannel) {
      EXPECT_EQ(a.inputs.notices.size(), notices);
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
