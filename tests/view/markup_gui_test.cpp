// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTextLayout>

#include "view_fixture.h"

namespace plumo::testing {
namespace {

class MarkupTest : public ViewFixture {
 protected:
  void SetUp() override {
    ViewFixture::SetUp();
    Open("Main", ModeLog);
  }
  void Line(const char* text) { ViewFixture::Line("Main", text); }
};

TEST_F(MarkupTest, ValidMarkersColourTheTextUpToTheNextMarker) {
  Line("#^FF0000red#^00FF00green");
  EXPECT_EQ(Plain(), QStringLiteral("redgreen"));
  EXPECT_EQ(ColorAt(0), QColor(255, 0, 0));
  EXPECT_EQ(ColorAt(2), QColor(255, 0, 0));
  EXPECT_EQ(ColorAt(3), QColor(0, 255, 0));
  EXPECT_EQ(ColorAt(7), QColor(0, 255, 0));
  // The next line starts black again, whatever colour the previous one ended in.
  Line("#^0000FFblue");
  Line("plain");
  // A line of markers only is still a line.
  Line("#^FF0000");
  Line("last");
  EXPECT_EQ(Plain(), QStringLiteral("redgreen\nblue\nplain\n\nlast"));
  EXPECT_EQ(ColorAt(IndexOf("plain")), QColor(Qt::black));
}

TEST_F(MarkupTest, HotNicksOffLeaveTheMarkersVisible) {
  Line("#^666666[10:15:02] #^000000:#guest^#K: hello");
  EXPECT_EQ(Visible(), QStringLiteral("[10:15:02] :#guest^#K: hello"));
  EXPECT_FALSE(FormatAt(IndexOf("guest")).isAnchor());
}

TEST_F(MarkupTest, HotNicksOnHideTheMarkersAndLinkTheNick) {
  views->HotNicks = true;
  Line("#^666666[10:15:02] #^000000:#guest^#K: hello");
  // The markers stay in the text but are hidden; only the nick is seen, as a link to ":#guest".
  EXPECT_EQ(Plain(), QStringLiteral("[10:15:02] :#guest^#K: hello"));
  EXPECT_EQ(Visible(), QStringLiteral("[10:15:02] guest: hello"));
  const int nick = IndexOf("guest");
  EXPECT_TRUE(FormatAt(nick).isAnchor());
  EXPECT_EQ(FormatAt(nick).anchorHref(), QStringLiteral(":#guest"));
  EXPECT_EQ(ColorAt(IndexOf("[")), QColor(0x66, 0x66, 0x66));
  // Hidden markers take no space: the nick starts where the space before the markers ends.
  control->document()->documentLayout();
  const QRect before = control->cursorRect([&] {
    QTextCursor c(&Doc());
    c.setPosition(nick - 2);
    return c;
  }());
  const QRect after = control->cursorRect([&] {
    QTextCursor c(&Doc());
    c.setPosition(nick);
    return c;
  }());
  EXPECT_LE(std::abs(after.x() - before.x()), 1);
  // An unclosed marker stays visible and does not pair with a later line's closing marker.
  Line("x :# y");
  Line(":#bob^#K");
  EXPECT_EQ(Visible().split(QLatin1Char('\n')).mid(1),
            (QStringList{QStringLiteral("x :# y"), QStringLiteral("bob")}));
}

TEST_F(MarkupTest, LinkClicksReportTheLinkText) {
  views->HotNicks = true;
  Line(":#guest^#K: hi");
  QString clicked;
  QObject::connect(control.get(), &RichTextControl::LinkClicked,
                   [&](const QString& link) { clicked = link; });
  QTextCursor c(&Doc());
  c.setPosition(IndexOf("guest") + 2);
  const QPoint at = control->cursorRect(c).center() + QPoint(0, 0);
  QMouseEvent press(QEvent::MouseButtonPress, at, control->viewport()->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(control->viewport(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, control->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(control->viewport(), &release);
  EXPECT_EQ(clicked, QStringLiteral(":#guest"));
}

class EditorMarkupTest : public ViewFixture {
 protected:
  void SetUp() override {
    ViewFixture::SetUp();
    Open("~", ModeMultiLine);
  }
};

TEST_F(EditorMarkupTest, BlackTextGivesPlainMarkupAndColourChangesGetMarkers) {
  Type(QStringLiteral("  hello world  "));
  EXPECT_EQ(Markup(), "hello world");
  views->ClearInput();
  Type(QStringLiteral("say "));
  control->setTextColor(Qt::red);
  Type(QStringLiteral("red"));
  control->setTextColor(Qt::black);
  Type(QStringLiteral(" now"));
  // Spaces take no marker: the change back to black lands on the next visible character.
  EXPECT_EQ(Markup(), "say #^FF0000red #^000000now");
}

TEST_F(EditorMarkupTest, AColourChangeInTheLastCharactersIsKept) {
  Type(QStringLiteral("abc"));
  control->setTextColor(QColor(0, 0, 255));
  Type(QStringLiteral("d"));
  EXPECT_EQ(Markup(), "abc#^0000FFd");
  // And markup typed by the user turns into colour and back into the same markup.
  views->ClearInput();
  Type(QStringLiteral("x#^00ff00yz"));
  views->FormatView();
  EXPECT_EQ(Plain(), QStringLiteral("xyz"));
  EXPECT_EQ(Markup(), "x#^00FF00yz");
}

TEST_F(EditorMarkupTest, LinksAreDetectedAfreshAfterEdits) {
  Type(QStringLiteral("go http://example.com now"));
  views->FormatView();
  EXPECT_EQ(FormatAt(IndexOf("example")).anchorHref(), QStringLiteral("http://example.com"));
  Caret(IndexOf("http") + 7, IndexOf("http"));
  ASSERT_TRUE(control->DeleteSelection());
  views->FormatView();
  EXPECT_FALSE(FormatAt(IndexOf("example")).isAnchor());
  EXPECT_EQ(Markup(), "go example.com now");
}

TEST_F(EditorMarkupTest, OwnColourIsTheTypingColourAndItsMarkupComesFirst) {
  views->SetOwnColor(RgbToColor("800000"));
  Type(QStringLiteral("hi\n"));
  Type(QStringLiteral("there"));
  EXPECT_EQ(Markup(), "#^800000hi\r\nthere");
  EXPECT_EQ(views->SelectionToMarkup(false), "");
}

}  // namespace
}  // namespace plumo::testing
