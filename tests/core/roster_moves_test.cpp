// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/roster_moves.h"

#include <gtest/gtest.h>

namespace plumo {
namespace {

// "x" a selected row, "-" an unselected one.
RosterSelection Sel(std::string_view rows) {
  RosterSelection s;
  for (char c : rows) s.push_back(c == 'x');
  return s;
}

std::string Show(const RosterSelection& s) {
  std::string out;
  for (bool b : s) out += b ? 'x' : '-';
  return out;
}

// The editor's arrow actions through to the new selection.
TEST(RosterMoves, EditorActionsMoveTheFirstSelectedRow) {
  using A = EditorAction;
  struct Row {
    A action;
    std::string_view before;
    std::string_view after;
  };
  const Row rows[] = {
      {A::RosterUp, "--x-", "-x--"},
      {A::RosterUp, "--xx", "-x-x"},  // only the first selected moves
      {A::RosterUp, "x-x-", "--xx"},  // first at the top: it goes, the last row comes
      {A::RosterUp, "----", "---x"},
      {A::RosterUp, "x", "x"},
      {A::RosterDown, "-x--", "--x-"},
      {A::RosterDown, "xx--", "-x--"},  // the first moves onto the second: the selection shrinks
      {A::RosterDown, "---x", "x---"},
      {A::RosterDown, "----", "x---"},
      {A::RosterDown, "x", "x"},
      {A::RosterExtendUp, "--x-", "-xx-"},
      {A::RosterExtendUp, "x-x-", "x-xx"},
      {A::RosterExtendUp, "----", "---x"},
      {A::RosterExtendDown, "-x--", "-xx-"},
      {A::RosterExtendDown, "xx--", "xx--"},  // the row after the first is already selected
      {A::RosterExtendDown, "---x", "x--x"},
      {A::RosterExtendDown, "----", "x---"},
      // An empty roster: nothing to move.
      {A::RosterUp, "", ""},
      {A::RosterDown, "", ""},
      {A::RosterExtendUp, "", ""},
      {A::RosterExtendDown, "", ""},
  };
  for (const Row& r : rows) {
    const std::optional<RosterMove> move = RosterMoveOf(r.action);
    ASSERT_TRUE(move.has_value());
    EXPECT_EQ(Show(MoveRosterSelection(Sel(r.before), *move)), r.after)
        << "action " << int(r.action) << " on " << r.before;
  }
  EXPECT_FALSE(RosterMoveOf(A::HistoryOlder).has_value());
  EXPECT_EQ(SelectedRows(Sel("-x-xx")), (std::vector<int>{1, 3, 4}));
  EXPECT_FALSE(FirstSelected(Sel("---")).has_value());
}

TEST(RosterMoves, PanelRules) {
  AChuvakInfo entry;
  entry.Nick = "guest";
  entry.Address = "10.0.0.5";
  entry.LastSeen = 1'000'000;
  // The seconds since last heard carry their label; a blank description takes no line.
  const struct {
    const char* description;
    std::int64_t nowMs;
    const char* tip;
  } tips[] = {
      {"at lunch", 1'090'999, "guest\r\n10.0.0.5\r\nAway\r\nat lunch\r\nheard 90 s ago"},
      {"at lunch", 999'000, "guest\r\n10.0.0.5\r\nAway\r\nat lunch\r\nheard 0 s ago"},  // clock set back
      {" ", 1'007'000, "guest\r\n10.0.0.5\r\nAway\r\nheard 7 s ago"},
  };
  for (const auto& t : tips) {
    entry.StateDescription = t.description;
    EXPECT_EQ(RosterTip(entry, "Away", "heard %s s ago", t.nowMs), t.tip);
  }

  struct Row {
    WheelTarget target;
    int delta;
    WheelKey key;
  };
  const Row rows[] = {
      {WheelTarget::TabMessages, 120, WheelKey::Left}, {WheelTarget::TabChanels, -120, WheelKey::Right},
      {WheelTarget::TabChanels, 0, WheelKey::Right},   {WheelTarget::Roster, 120, WheelKey::Up},
      {WheelTarget::Roster, 0, WheelKey::Down},        {WheelTarget::Other, 120, WheelKey::None},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(WheelRedirectKey(r.target, r.delta), r.key) << int(r.target) << " " << r.delta;
  }
}

}  // namespace
}  // namespace plumo
