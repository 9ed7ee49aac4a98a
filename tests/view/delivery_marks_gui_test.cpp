// SPDX-License-Identifier: GPL-3.0-or-later
// Delivery marks at the end of rows: drawn wherever the row is (displayed, queued for a flush,
// queued for a conversation not shown), replaced in place, forgotten with their rows, never part
// of the markup a copy or a draft reads.
#include <functional>
#include <string>

#include "view_fixture.h"

namespace plumo::testing {
namespace {

class MarkTest : public ViewFixture {
 public:
  using ViewFixture::Add;
  using ViewFixture::Doc;
  using ViewFixture::list;
  using ViewFixture::mirror;
  using ViewFixture::Show;
  using ViewFixture::views;
  void Mark(const std::string& conversation, MessageId id, const std::string& text) {
    mirror->MarkAdded(list->IndexOf(conversation), TDeliveryMark{id, -1, text, "tip", {}});
  }
  void Lines(const std::string& conversation, std::initializer_list<const char*> lines) {
    for (const char* line : lines) Line(conversation, line);
  }
};

struct MarkCase {
  const char* what;
  std::function<void(MarkTest&)> setup;  // adds rows and the mark with id 1 ("sending")
  int changed;                           // conversations where mark 1 changed
  const char* shown;                     // the displayed text after the change, marks as text
};

TEST_F(MarkTest, AMarkChangesInPlaceAtTheEndOfItsRowWhereverTheRowIs) {
  const MarkCase cases[] = {
      {"the newest row of the displayed log (queued for the next flush)",
       [](MarkTest& t) {
         t.Lines("#", {"a", "b"});
         t.Mark("#", 1, "sending");
       },
       1, "a\nb  delivered"},
      {"a row that was drawn, with rows added after it",
       [](MarkTest& t) {
         t.Lines("#", {"a"});
         t.Doc();
         t.Mark("#", 1, "sending");
         t.Lines("#", {"b", "c"});
       },
       1, "a  delivered\nb\nc"},
      {"two marks queued with their rows, flushed together",
       [](MarkTest& t) {
         t.Lines("#", {"a"});
         t.Mark("#", 1, "sending");
         t.Lines("#", {"b", "c"});
         t.Mark("#", 2, "other");
       },
       1, "a  delivered\nb\nc  other"},
      {"a row with line breaks",
       [](MarkTest& t) {
         t.Lines("#", {"a\nsecond"});
         t.Mark("#", 1, "sending");
         t.Lines("#", {"b"});
       },
       1, "a\nsecond  delivered\nb"},
      {"a conversation not shown, then shown",
       [](MarkTest& t) {
         t.Add("x", ModeLog);
         t.Lines("x", {"p", "q"});
         t.Mark("x", 1, "sending");
         t.Lines("x", {"r"});
         t.Show("x");
       },
       1, "p\nq  delivered\nr"},
      {"the same row in two conversations",
       [](MarkTest& t) {
         t.Add("x", ModeLog);
         t.Lines("x", {"p"});
         t.Mark("x", 1, "sending");
         t.Lines("#", {"a"});
         t.Mark("#", 1, "sending");
       },
       2, "a  delivered"},
      {"stored lines prepended above",
       [](MarkTest& t) {
         t.Lines("#", {"a"});
         t.Mark("#", 1, "sending");
         t.Doc();
         t.mirror->HistoryAdded(0, {"old1", "old2"});
       },
       1, "old1\nold2\na  delivered"},
      {"its row dropped as the oldest",
       [](MarkTest& t) {
         t.Lines("#", {"a"});
         t.Mark("#", 1, "sending");
         t.Lines("#", {"b"});
         t.Doc();
         t.mirror->OldestDropped(0, 1);
       },
       0, "b"},
      {"its row dropped while still queued",
       [](MarkTest& t) {
         t.Lines("#", {"a"});
         t.Mark("#", 1, "sending");
         t.Lines("#", {"b"});
         t.mirror->OldestDropped(0, 1);
       },
       0, "b"},
      {"added again: one mark, at the newer row",
       [](MarkTest& t) {
         t.Lines("#", {"a"});
         t.Mark("#", 1, "sending");
         t.Lines("#", {"b"});
         t.Doc();
         t.Mark("#", 1, "sending");
       },
       1, "a\nb  delivered"},
  };
  for (const MarkCase& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Open("#", ModeLog);
    c.setup(*this);
    EXPECT_EQ(views->ChangeMark(TDeliveryMark{1, -1, "delivered", "", TDeliveryMark::Action::SendAgain}),
              c.changed);
    EXPECT_EQ(Visible().toStdString(), c.shown);
    // The mark is the program's: the conversation's markup (a copy, a quote) leaves it out.
    EXPECT_EQ(views->ContentToMarkup().find("deliver"), std::string::npos);
  }
}

TEST(MarkLink, OnlyAWellFormedMarkTargetIsAClick) {
  const auto click = ParseMarkLink(QStringLiteral("plumo-mark:42:1"));
  ASSERT_TRUE(click.has_value());
  EXPECT_EQ(click->Id, 42u);
  EXPECT_EQ(click->Click, TDeliveryMark::Action::RollCall);
  for (const char* bad : {"plumo-mark:42", "plumo-mark:0:1", "plumo-mark:42:0", "plumo-mark:42:9",
                          "plumo-mark:x:1", "https://example.org/plumo-mark:1:1"})
    EXPECT_FALSE(ParseMarkLink(QString::fromLatin1(bad)).has_value()) << bad;
}

}  // namespace
}  // namespace plumo::testing
