// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's menus and clicks ask of the core: the message-tab menu's send, clicks on tabs,
// and the own-state menu's items, on the simulated LAN.
#include <functional>

#include "core/window_rules.h"
#include "core_fixture.h"

namespace plumo::coretest {
namespace {

class WindowActions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(a.core->FormCreate());
    ASSERT_TRUE(b.core->FormCreate());
    lan.RunFor(2000);
  }
  sim::SimLan lan{5};
  Peer a{lan, "198.18.0.1", "anna"};
  Peer b{lan, "198.18.0.2", "bob"};
};

TEST_F(WindowActions, TabMenuSendClosesWhateverTheResultAndTabClicksOnlyMark) {
  TTabStrips& tabs = a.core->Tabs();
  const int cs = tabs.Channels().IndexOf("Cs");
  // Each step acts on the state the previous ones left.
  const struct {
    const char* name;
    std::function<void()> act;
    int messageTabs;
    std::vector<int> sent;  // packet types a sent
    int csIcon;
  } steps[] = {
      {"a line in Cs while Main is shown",
       [&] {
         b.core->Tabs().SelectChannelTab(b.core->Channels().IndexOf("Cs"));
         b.editor.text = "over here";
         b.core->Sending().SubmitLine();
         lan.RunFor(200);
       },
       1,
       {},
       icon::kChannelUnseen},
      {"a click on Cs marks it without asking for its topic",
       [&] { tabs.ChannelTabClicked(cs); },
       1,
       {},
       icon::kChannelSeen},
      {"the tab menu's send of a character the wire cannot carry, declined",
       [&] {
         a.core->Sending().ComposeMessage(true);
         a.editor.utf8 = "cheers \xF0\x9F\x8E\x89";
         a.editor.text = "cheers ?";
         a.core->Editor().SendAndCloseReplyTab();
       },
       2,
       {},
       icon::kChannelSeen},
      {"agreed: sent and closed",
       [&] {
         a.window.sendLost = true;
         a.core->Editor().SendAndCloseReplyTab();
       },
       1,
       {pkMassMessage},
       icon::kChannelSeen},
      {"nothing to send: closed all the same",
       [&] {
         a.core->Sending().ComposeMessage(true);
         a.editor.utf8.clear();
         a.editor.text = "   ";
         a.core->Editor().SendAndCloseReplyTab();
       },
       1,
       {},
       icon::kChannelSeen},
      {"on the line editor the menu's send does nothing",
       [&] {
         a.editor.text = "draft";
         a.core->Editor().SendAndCloseReplyTab();
       },
       1,
       {},
       icon::kChannelSeen},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    a.host.ClearSent();
    step.act();
    EXPECT_EQ(tabs.Inputs().Count(), step.messageTabs);
    EXPECT_EQ(a.SentTypes(), step.sent);
    EXPECT_EQ(tabs.Channels().At(cs).IconIndex, step.csIcon);
  }
}

TEST_F(WindowActions, TheStateMenuOffersActiveDoNotDisturbAndOfflineWithTheSavedOneChecked) {
  const struct {
    char saved;
    const char* descr;
    std::vector<std::string> captions;
    int checkedTag;  // 0: none checked
  } cases[] = {
      {'1', " ", {"Active", "Do not disturb", "Offline"}, 1},  // a blank description adds nothing
      {'4', "busy", {"Active", "Do not disturb (busy)", "Offline"}, 4},
      {'5', "gone", {"Active", "Do not disturb", "Offline (gone)"}, 5},
      {'2', "", {"Active", "Do not disturb", "Offline"}, 0},  // away is never offered
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.saved);
    const std::vector<StateMenuItem> items = StateMenuItems(a.core->Messages(), c.saved, c.descr);
    std::vector<std::string> captions;
    std::vector<int> tags;
    std::vector<int> images;
    int checked = 0;
    for (const StateMenuItem& item : items) {
      captions.push_back(item.Caption);
      tags.push_back(item.Tag);
      images.push_back(item.Image);
      if (item.Checked) checked = item.Tag;
    }
    EXPECT_EQ(captions, c.captions);
    EXPECT_EQ(tags, (std::vector<int>{1, 4, 5}));
    EXPECT_EQ(images, (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(checked, c.checkedTag);
  }
}

}  // namespace
}  // namespace plumo::coretest
