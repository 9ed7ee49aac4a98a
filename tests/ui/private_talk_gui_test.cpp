// SPDX-License-Identifier: GPL-3.0-or-later
// Private conversations in the window: the roster's locks, the key dialog with its safety number and
// six-digit check between two programs, and a message held after a checked key changed.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

#include "core/private_talk.h"
#include "images/images.h"
#include "view/markup.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

QModelIndex RowOf(const WindowPeer& peer, const char* nick) {
  QAbstractItemModel* model = peer.Roster()->model();
  const QModelIndexList found =
      model->match(model->index(0, 0), Qt::DisplayRole, QString::fromLatin1(nick), 1, Qt::MatchExactly);
  return found.isEmpty() ? QModelIndex() : found.front();
}

// The lock the roster shows beside nick: an image index, -1 for none, -2 without such a row.
int LockOf(const WindowPeer& peer, const char* nick) {
  const QModelIndex row = RowOf(peer, nick);
  return row.isValid() ? row.data(ui::RosterModel::LockRole).toInt() : -2;
}

template <class T>
T* InDialog(const WindowPeer& peer, const char* name) {
  const ui::TKeyDialog* dialog = peer.form->KeyDialog();
  return dialog != nullptr ? dialog->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

// What a label of the peer's key dialog shows (nothing while it is hidden).
QString Shown(const WindowPeer& peer, const char* name) {
  const QLabel* label = InDialog<QLabel>(peer, name);
  return label != nullptr && label->isVisible() ? label->text() : QString();
}

void Click(QAbstractButton* button) {
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isVisible() && button->isEnabled()) << button->objectName().toStdString();
  QTest::mouseClick(button, Qt::LeftButton);
}

bool Matches(const QString& text, const char* pattern) {
  return QRegularExpression(QString::fromLatin1(pattern)).match(text).hasMatch();
}

TEST_F(WindowTest, LocksTheKeyDialogTheSixDigitCheckAndAHeldKeyChange) {
  WindowPeer anna(lan, "198.18.0.21", "anna");
  WindowPeer bob(lan, "198.18.0.22", "bob");
  WaitForRosters({&anna, &bob});

  // Both programs announce their keys: a lock beside the peer, said in words in its tip, where no
  // group of the fingerprint appears (a key matching a short fingerprint can be ground).
  TRY_EQ(LockOf(anna, "bob"), icon::kLocked);
  TRY_EQ(LockOf(bob, "anna"), icon::kLocked);
  const QString tip = RowOf(anna, "bob").data(Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.endsWith(QStringLiteral("\nMessages are encrypted; the key is not checked.")))
      << tip.toStdString();
  const secure::PublicKey bobKey = bob.core->PrivateTalk().Keyring().Identity().Public();
  const QString bobPrint = QString::fromStdString(secure::Fingerprint(bobKey));
  for (const QString& group : bobPrint.split(QLatin1Char(' ')))
    EXPECT_FALSE(tip.contains(group)) << group.toStdString();

  // "Check key…" of the roster menu: the selected peer's key, the safety number as a grid.
  anna.ClickRosterRow(QStringLiteral("bob"));
  anna.Find<QAction>("CheckKey1")->trigger();
  ASSERT_NE(anna.form->KeyDialog(), nullptr);
  const QString safety = Shown(anna, "SafetyNumber");
  EXPECT_TRUE(Matches(safety, R"(^(\d{5}  \d{5}  \d{5}  \d{5}\n){2}\d{5}  \d{5}  \d{5}  \d{5}$)"))
      << safety.toStdString();
  EXPECT_EQ(Shown(anna, "PeerFingerprint"), bobPrint);

  // The six-digit check: anna starts it, bob's window brings up anna's key by itself, both show the
  // same digits, and "Same" on both marks the keys checked on both sides.
  Click(InDialog<QPushButton>(anna, "CompareDigits"));
  ASSERT_TRUE(
      WaitFor([&] { return !Shown(anna, "CheckCode").isEmpty() && !Shown(bob, "CheckCode").isEmpty(); }));
  EXPECT_EQ(bob.form->KeyDialog()->Nick(), "anna");
  EXPECT_EQ(Shown(bob, "SafetyNumber"), safety);
  const QString code = Shown(anna, "CheckCode");
  EXPECT_TRUE(Matches(code, R"(^\d{3} \d{3}$)")) << code.toStdString();
  EXPECT_EQ(Shown(bob, "CheckCode"), code);
  Click(InDialog<QPushButton>(anna, "SameDigits"));
  Click(InDialog<QPushButton>(bob, "SameDigits"));
  TRY_EQ(LockOf(anna, "bob"), icon::kLockChecked);
  TRY_EQ(LockOf(bob, "anna"), icon::kLockChecked);
  for (const WindowPeer* peer : {&anna, &bob}) {
    EXPECT_TRUE(Shown(*peer, "CheckState").contains(QStringLiteral("matched")))
        << Shown(*peer, "CheckState").toStdString();
    EXPECT_EQ(Shown(*peer, "KeyState"), QStringLiteral("The key is checked."));
    peer->form->KeyDialog()->close();
  }

  // Bob's program is reinstalled: a new key under the checked nick at the same address. A message
  // to him is held; the tab's status line says why, and "Send anyway" sends it.
  bob.Reinstall(lan, "reinstalled");
  TRY_EQ(LockOf(anna, "bob"), icon::kLockChanged);
  anna.ClickRosterRow(QStringLiteral("bob"));
  anna.Press(Qt::Key_F5);
  anna.TypeAtFocus(QStringLiteral("after the change"));
  anna.Press(Qt::Key_Return, Qt::ControlModifier);
  const QLabel* status = anna.Find<QLabel>("PrivateStatus");
  TRY_EQ(status->isVisible() && status->text().contains(QStringLiteral("changed since you checked")), true);
  EXPECT_EQ(bob.Messages()->count(), 1);
  Click(anna.Find<QPushButton>("SendAnyway"));
  ASSERT_TRUE(WaitFor([&] { return bob.Messages()->count() == 2; }));
  TRY_EQ(LockOf(anna, "bob"), icon::kLocked);

  // Bob's reply tab: the envelope with the lock, and the status line saying to whom it is sealed.
  EXPECT_EQ(bob.Messages()->tabIcon(1).pixmap(16, 16).toImage(),
            MainPixmap(icon::kPrivateEncrypted, 16).toImage());
  bob.ClickTab(bob.Messages(), 1);
  const QLabel* bobStatus = bob.Find<QLabel>("PrivateStatus");
  TRY_EQ(bobStatus->isVisible(), true);
  EXPECT_TRUE(bobStatus->text().startsWith(QStringLiteral("encrypted to anna's key, ")))
      << bobStatus->text().toStdString();
  EXPECT_TRUE(bob.Find<QLabel>("PrivateIcon")->isVisible());
  EXPECT_FALSE(bob.Find<QPushButton>("SendAnyway")->isVisible());
  // The message's header shows the lock in place of the core's mark; the quote a reply sends still
  // reads the mark.
  const QTextDocument& quote = *bob.Editor()->document();
  EXPECT_TRUE(bob.EditorText().contains(QChar::ObjectReplacementCharacter)) << bob.EditorText().toStdString();
  EXPECT_FALSE(bob.EditorText().contains(QStringLiteral("(encrypted)")));
  EXPECT_TRUE(RangeToMarkup(quote, 0, quote.characterCount() - 1, false, Qt::black)
                  .contains(QStringLiteral(" (encrypted)\r\nafter the change")));

  // Bob's program stops announcing a key: anna's next message is asked about once, in the tab, and
  // goes in clear text when she says so.
  bob.core->Engine().SetTag({});
  lan.RunFor(120000);
  anna.ClickRosterRow(QStringLiteral("bob"));
  anna.Press(Qt::Key_F5);
  anna.TypeAtFocus(QStringLiteral("in clear by choice"));
  anna.Press(Qt::Key_Return, Qt::ControlModifier);
  TRY_EQ(status->text(), QStringLiteral("bob's program does not encrypt any more. Send in clear text?"));
  EXPECT_EQ(bob.Messages()->count(), 2);
  Click(anna.Find<QPushButton>("SendClearYes"));
  ASSERT_TRUE(WaitFor([&] { return bob.Messages()->count() == 3; }));
  EXPECT_EQ(bob.Messages()->tabIcon(2).pixmap(16, 16).toImage(), MainPixmap(icon::kPrivate, 16).toImage());
  bob.ClickTab(bob.Messages(), 2);
  EXPECT_TRUE(bob.EditorText().contains(QStringLiteral("in clear by choice")));
  EXPECT_FALSE(bob.EditorText().contains(QChar::ObjectReplacementCharacter))
      << bob.EditorText().toStdString();
}

}  // namespace
}  // namespace plumo::uitest
