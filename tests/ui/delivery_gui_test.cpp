// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery status in the window: the mark at the end of a sent message's row changing in place, a
// not-delivered mark whose click sends the message again, the roll-call of a message to everybody
// with the missing named and "Send again to the missing", and the Acknowledge mark of a message
// that asks for it. Screenshots of the marks and the roll-call go to e2e-artifacts/window-delivery.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTreeWidget>

#include <filesystem>

#include "view/markup.h"
#include "window_fixture.h"

namespace plumo::uitest {
namespace {

// The rows of a control's document that contain text, as shown.
QStringList RowsWith(const RichTextControl* control, const QString& text) {
  QStringList rows;
  for (const QString& row : control->toPlainText().split(QLatin1Char('\n')))
    if (row.contains(text)) rows << row;
  return rows;
}

// Where the mark whose text contains `text` is drawn in the control's document; -1 for none.
int MarkAt(const RichTextControl* control, const QString& text) {
  const QTextDocument& doc = *control->document();
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      // A mark's words are joined by non-breaking spaces.
      const QString words = f.text().replace(QChar(0xA0), QLatin1Char(' '));
      if (f.charFormat().hasProperty(kMarkProperty) && words.contains(text))
        return f.position() + static_cast<int>(words.indexOf(text)) + 1;
    }
  }
  return -1;
}

// A user's click on the mark: scrolled into view, pressed and released at the mark's text.
bool ClickMark(RichTextControl* control, const QString& text) {
  const int at = MarkAt(control, text);
  if (at < 0) return false;
  QTextCursor cursor(control->document());
  cursor.setPosition(at);
  control->setTextCursor(cursor);
  control->ensureCursorVisible();
  const QPoint point = control->cursorRect(cursor).center();
  QTest::mouseClick(control->viewport(), Qt::LeftButton, Qt::NoModifier, point);
  return true;
}

void SaveShot(QWidget* widget, const char* name) {
  const std::filesystem::path dir = std::filesystem::path(PLUMO_E2E_ARTIFACTS) / "window-delivery";
  std::filesystem::create_directories(dir);
  EXPECT_TRUE(widget->grab().save(QString::fromStdString((dir / name).string()), "PNG")) << name;
}

TEST_F(WindowTest, MarksChangeInPlaceSendAgainRollCallAndAcknowledge) {
  WindowPeer anna(lan, "198.18.0.31", "anna");
  WindowPeer bob(lan, "198.18.0.32", "bob");
  WindowPeer carl(lan, "198.18.0.33", "carl");
  WaitForRosters({&anna, &bob, &carl});
  const QString bobAt = QStringLiteral("198.18.0.32");
  const std::string carlAt = "198.18.0.33";
  // The console shows the rows of sent messages.
  anna.ClickTab(anna.Channels(), 0);
  RichTextControl* console = anna.Display();

  // A private message: its row in the console ends in "sending", then the same row says delivered.
  anna.ClickRosterRow(QStringLiteral("bob"));
  anna.Press(Qt::Key_F5);
  anna.TypeAtFocus(QStringLiteral("hello bob"));
  anna.Press(Qt::Key_Return, Qt::ControlModifier);
  TRY_EQ(RowsWith(console, QStringLiteral("hello bob")).size(), 1);
  EXPECT_TRUE(
      RowsWith(console, QStringLiteral("hello bob")).join(QString()).contains(QStringLiteral("sending")))
      << RowsWith(console, QStringLiteral("hello bob")).join(QString()).toStdString();
  TRY_EQ(RowsWith(console, QStringLiteral("hello bob")).join(QString()).contains(QStringLiteral("delivered")),
         true);
  EXPECT_EQ(RowsWith(console, QStringLiteral("hello bob")).size(), 1);
  EXPECT_FALSE(
      RowsWith(console, QStringLiteral("hello bob")).join(QString()).contains(QStringLiteral("sending")));
  SaveShot(anna.form.get(), "delivered-mark-anna.png");

  // carl is cut off: the message to him ends not delivered; once he is back, a click on the mark
  // sends it again and the same row says delivered.
  lan.dropIf = [carlAt](const sim::SimDatagram& d) { return d.to == carlAt || d.from == carlAt; };
  anna.ClickRosterRow(QStringLiteral("carl"));
  anna.Press(Qt::Key_F5);
  anna.TypeAtFocus(QStringLiteral("hello carl"));
  anna.Press(Qt::Key_Return, Qt::ControlModifier);
  lan.RunFor(20000);
  TRY_EQ(MarkAt(console, QStringLiteral("not delivered")) >= 0, true);
  lan.dropIf = nullptr;
  WaitForRosters({&anna, &bob, &carl});
  ASSERT_TRUE(ClickMark(console, QStringLiteral("not delivered")));
  TRY_EQ(
      RowsWith(console, QStringLiteral("hello carl")).join(QString()).contains(QStringLiteral("delivered")) &&
          MarkAt(console, QStringLiteral("not delivered")) < 0,
      true);
  EXPECT_EQ(RowsWith(console, QStringLiteral("hello carl")).size(), 1);

  // A message to everybody asking to be acknowledged while carl is cut off: the roll-call mark
  // counts one of two, and a click opens the roll-call naming carl as missing.
  lan.dropIf = [carlAt](const sim::SimDatagram& d) { return d.to == carlAt || d.from == carlAt; };
  QTest::mouseClick(anna.Button("ToolButton2"), Qt::LeftButton);
  QCheckBox* ask = anna.Find<QCheckBox>("AskAcknowledge");
  ASSERT_TRUE(ask->isVisible());
  QTest::mouseClick(ask, Qt::LeftButton);
  EXPECT_TRUE(ask->isChecked());
  anna.TypeAtFocus(QStringLiteral("fire drill at three"));
  anna.Press(Qt::Key_Return, Qt::ControlModifier);
  lan.RunFor(20000);
  TRY_EQ(MarkAt(console, QStringLiteral("received by 1 of 2")) >= 0, true);
  ASSERT_TRUE(ClickMark(console, QStringLiteral("received by 1 of 2")));
  ui::TRollCallDialog* rollCall = anna.form->Delivery().RollCall();
  ASSERT_NE(rollCall, nullptr);
  auto* list = rollCall->findChild<QTreeWidget*>(QStringLiteral("RollCallList"));
  auto* summary = rollCall->findChild<QLabel*>(QStringLiteral("RollCallSummary"));
  ASSERT_EQ(list->topLevelItemCount(), 2);
  const auto row = [list](const char* nick) {
    const auto found = list->findItems(QString::fromLatin1(nick), Qt::MatchExactly, 0);
    return found.isEmpty() ? nullptr : found.front();
  };
  ASSERT_NE(row("carl"), nullptr);
  EXPECT_FALSE(row("carl")->text(2).startsWith(QStringLiteral("delivered")))
      << row("carl")->text(2).toStdString();
  EXPECT_TRUE(row("bob")->text(2).startsWith(QStringLiteral("delivered")))
      << row("bob")->text(2).toStdString();
  EXPECT_EQ(row("bob")->text(1), bobAt);

  // bob's window shows the message with an Acknowledge mark; his click reaches anna's open
  // roll-call, live.
  ASSERT_TRUE(WaitFor([&] { return bob.Messages()->count() >= 2; }));
  bob.ClickTab(bob.Messages(), bob.Messages()->count() - 1);
  TRY_EQ(MarkAt(bob.Editor(), QStringLiteral("Acknowledge")) >= 0, true);
  ASSERT_TRUE(ClickMark(bob.Editor(), QStringLiteral("Acknowledge")));
  TRY_EQ(summary->text(), QStringLiteral("received by 1 of 2, acknowledged by 1"));
  EXPECT_NE(row("bob")->text(4), QStringLiteral("No"));
  EXPECT_EQ(row("carl")->text(4), QStringLiteral("No"));
  SaveShot(rollCall, "roll-call-anna.png");
  SaveShot(bob.form.get(), "acknowledged-bob.png");

  // carl is back: "Send again to the missing" completes the roll-call.
  lan.dropIf = nullptr;
  WaitForRosters({&anna, &bob, &carl});
  QTest::mouseClick(rollCall->findChild<QPushButton*>(QStringLiteral("RollCallSendAgain")), Qt::LeftButton);
  TRY_EQ(summary->text(), QStringLiteral("received by 2 of 2, acknowledged by 1"));
  TRY_EQ(MarkAt(console, QStringLiteral("received by 2 of 2")) >= 0, true);
  SaveShot(anna.form.get(), "roll-call-mark-anna.png");
  rollCall->close();

  // carl leaves with a message tab to him open: anna's message is kept when she says so in the
  // tab's question line, and goes out when carl is back.
  anna.ClickRosterRow(QStringLiteral("carl"));
  anna.Press(Qt::Key_F5);
  carl.Stop();
  WaitForRosters({&anna, &bob});
  anna.TypeAtFocus(QStringLiteral("see you later carl"));
  anna.Press(Qt::Key_Return, Qt::ControlModifier);
  const QLabel* question = anna.Find<QLabel>("QuestionText");
  TRY_EQ(question->isVisible(), true);
  EXPECT_EQ(question->text(), QStringLiteral("carl is not here: deliver when carl comes back?"));
  SaveShot(anna.form.get(), "keep-question-anna.png");
  QTest::mouseClick(anna.Find<QPushButton>("QuestionYes"), Qt::LeftButton);
  EXPECT_FALSE(question->isVisible());
  anna.ClickTab(anna.Channels(), 0);
  TRY_EQ(MarkAt(console, QStringLiteral("waiting")) >= 0, true);
  carl.Start(lan);
  TRY_EQ(RowsWith(console, QStringLiteral("see you later carl"))
             .join(QString())
             .contains(QStringLiteral("delivered")),
         true);
  EXPECT_EQ(RowsWith(console, QStringLiteral("see you later carl")).size(), 1);
}

}  // namespace
}  // namespace plumo::uitest
