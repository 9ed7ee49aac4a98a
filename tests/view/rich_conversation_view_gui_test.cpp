// SPDX-License-Identifier: GPL-3.0-or-later
#include <functional>

#include "view_fixture.h"

namespace plumo::testing {
namespace {

class MirrorTest : public ViewFixture {
 public:
  using ViewFixture::Line;
  using ViewFixture::list;
  using ViewFixture::views;
  // Inserts a conversation whose first line is its own name, so the displayed text tells which one is
  // shown.
  void Make(int index, const char* name, ViewMode mode) {
    Conversation conversation;
    conversation.Name = name;
    conversation.Mode = mode;
    ASSERT_EQ(list->Insert(index, conversation), index);
    Line(name, name);
  }
};

struct Step {
  const char* what;
  std::function<void(MirrorTest&)> act;
  const char* shown;  // the displayed text afterwards
};

TEST_F(MirrorTest, TheViewFollowsEveryChangeOfTheCoresList) {
  const Step steps[] = {
      {"a first conversation, not shown", [](MirrorTest& t) { t.Make(0, "#", ModeLog); }, ""},
      {"shown", [](MirrorTest& t) { t.list->Show(0); }, "#"},
      {"two more appended",
       [](MirrorTest& t) {
         t.Make(1, "a", ModeLog);
         t.Make(2, "b", ModeMultiLine);
       },
       "#"},
      {"one inserted before the current",
       [](MirrorTest& t) {
         t.Make(0, "c", ModeReply);
         t.Line("#", "#2");
       },
       "#\n#2"},
      {"switching", [](MirrorTest& t) { t.list->Show(3); }, "b"},
      {"closing one before the current", [](MirrorTest& t) { t.list->Close(0); }, "b"},
      {"closing the current last shows the new last", [](MirrorTest& t) { t.list->Close(2); }, "a"},
      {"a line for another, then switching",
       [](MirrorTest& t) {
         t.Line("#", "#3");
         t.list->Show(0);
       },
       "#\n#2\n#3"},
      {"closing the current first shows its successor", [](MirrorTest& t) { t.list->Close(0); }, "a"},
      {"another's mode changes",
       [](MirrorTest& t) {
         t.Make(1, "d", ModeLog);
         t.list->SetMode(1, ModeReply);
       },
       "a"},
      {"the current's mode changes", [](MirrorTest& t) { t.list->SetMode(0, ModeMultiLine); }, "a"},
      {"hidden, switched, a line queued",
       [](MirrorTest& t) {
         t.views->SetWindowVisible(false);
         t.list->Show(1);
         t.Line("d", "d2");
       },
       ""},
      {"the mode changes while hidden", [](MirrorTest& t) { t.list->SetMode(1, ModeMultiLine); }, ""},
      {"shown again", [](MirrorTest& t) { t.views->SetWindowVisible(true); }, "d\nd2"},
      {"the last one closed",
       [](MirrorTest& t) {
         t.list->Close(1);
         t.list->Close(0);
       },
       ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act(*this);
    ASSERT_EQ(views->Count(), list->Count());
    const int current = list->CurrentIndex();
    EXPECT_EQ(views->CurrentIndex(), current);
    EXPECT_EQ(Plain(), QString::fromUtf8(step.shown));
    if (current < 0) {
      EXPECT_EQ(views->Displayed(), nullptr);
      continue;
    }
    EXPECT_EQ(views->CurrentMode(), list->At(current).Mode);
    if (!views->WindowVisible()) {
      EXPECT_EQ(views->Displayed(), nullptr);
      continue;
    }
    EXPECT_EQ(views->Displayed(), &views->ViewAt(current));
    EXPECT_EQ(Doc().firstBlock().text(), QString::fromStdString(list->CurrentName()));
  }
}

TEST_F(MirrorTest, AReceivedDraftIsShownInItsModeWithItsQuoteProtected) {
  Open("~", ModeSingleLine);
  Type(QStringLiteral("typed"));
  ASSERT_TRUE(Add("<-Ann,", ModeReply));
  Line("<-Ann,", "hello");
  ASSERT_TRUE(Show("<-Ann,"));
  EXPECT_EQ(control->height(), views->ReplyHeight);
  EXPECT_EQ(views->CurrentView().ProtectedLength, 5);
  Key(Qt::Key_Delete);
  EXPECT_EQ(Plain(), QStringLiteral("hello"));
  ASSERT_TRUE(Show("~"));
  EXPECT_EQ(Plain(), QStringLiteral("typed"));
  EXPECT_FALSE(control->AcceptLineBreaks());
}

}  // namespace
}  // namespace plumo::testing
