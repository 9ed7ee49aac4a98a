// SPDX-License-Identifier: GPL-3.0-or-later
// The roster list over the core's rows: a consistent model while peers come, change and go, rows
// with the core's order, pictures and tips, and the list's selection reaching the core.
#include <QAbstractItemModelTester>
#include <QIcon>
#include <QSignalSpy>

#include "ui/roster_model.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

Texts Nicks(const QAbstractItemModel& model) {
  Texts nicks;
  for (int row = 0; row < model.rowCount(); ++row)
    nicks.push_back(model.index(row, 0).data().toString().toStdString());
  return nicks;
}

TEST_F(WindowTest, TheRosterModelFollowsPeersComingChangingAndGoing) {
  WindowPeer alice(lan, "198.18.0.11", "alice");
  QAbstractItemModel& model = *alice.Roster()->model();
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  auto zed = std::make_unique<WindowPeer>(lan, "198.18.0.13", "Zed");
  WindowPeer bob(lan, "198.18.0.12", "bob");
  WaitForRosters({&alice, &bob, zed.get()});

  // Sorted by nick without regard to case, each row with the core's address, picture and tip.
  EXPECT_EQ(Nicks(model), (Texts{"alice", "bob", "Zed"}));
  const QModelIndex bobRow = model.index(1, 0);
  EXPECT_EQ(bobRow.data(ui::RosterModel::AddressRole).toString(), QStringLiteral("198.18.0.12"));
  EXPECT_FALSE(bobRow.data(Qt::DecorationRole).value<QIcon>().isNull());
  const QStringList tip = bobRow.data(Qt::ToolTipRole).toString().split(QLatin1Char('\n'));
  // No line for the blank description; the seconds since bob was last heard say what they are; bob's
  // program has a key.
  ASSERT_EQ(tip.size(), 5) << tip.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(tip[0], QStringLiteral("bob"));
  EXPECT_EQ(tip[1], QStringLiteral("198.18.0.12"));
  EXPECT_EQ(tip[2], QStringLiteral("Active"));
  EXPECT_TRUE(tip[3].startsWith(QStringLiteral("Last heard ")) && tip[3].endsWith(QStringLiteral(" s ago")))
      << tip[3].toStdString();
  EXPECT_EQ(tip[4], QStringLiteral("Messages are encrypted; the key is not checked."));

  // A state change repaints the row's picture and shows in its tip; the selection made in the list
  // reaches the core and survives.
  alice.ClickRosterRow(QStringLiteral("bob"));
  ASSERT_TRUE(alice.core->Roster().Rows()[1].Selected);
  QSignalSpy repainted(&model, &QAbstractItemModel::dataChanged);
  ui::DialogAnswers::SetNextInputAnswer("away for lunch");
  bob.ChooseFromMenu("PopupMenu9", 5);
  const auto tipLine = [&](int line) {
    return model.index(1, 0).data(Qt::ToolTipRole).toString().split(QLatin1Char('\n')).value(line);
  };
  TRY_EQ(tipLine(2), QStringLiteral("Offline"));
  EXPECT_EQ(tipLine(3), QStringLiteral("away for lunch"));
  bool bobRepainted = false;
  for (const QList<QVariant>& change : repainted) bobRepainted |= change.at(0).toModelIndex().row() == 1;
  EXPECT_TRUE(bobRepainted);
  EXPECT_TRUE(alice.Roster()->selectionModel()->isRowSelected(1, {}));
  EXPECT_TRUE(alice.core->Roster().Rows()[1].Selected);

  zed.reset();
  TRY_EQ(Nicks(model), (Texts{"alice", "bob"}));
  EXPECT_EQ(alice.Button("SpeedButton1")->text(), QStringLiteral("Total : 2"));
}

}  // namespace
}  // namespace plumo::uitest
