// SPDX-License-Identifier: GPL-3.0-or-later
// One table of tricky lines that every reader of the line markup must read alike: the grammar
// itself, the window's log (through the view's own path for added lines), the history store (its
// plain text, and the markup it gives back), the headless peer's terminal lines and the text of a
// notification.
#include <QTextBlock>

#include "../lang/tempdir.h"
#include "../view/view_fixture.h"
#include "app/json_out.h"
#include "core/history_store.h"
#include "lang/codepage.h"
#include "lang/markup.h"
#include "ui/tray_icon.h"

// Failed checks show Qt strings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace plumo::testing {
namespace {

// One visible character of a rendered line: its text (code page 1251), its colour and the link it
// belongs to ('<' a nick, '[' a web link, 0 none) with the link's target; or a line break.
struct Shown {
  std::string Text;
  TColor Colour = 0;
  char Link = 0;
  std::size_t Href = 0;  // a hash of the target
  bool Break = false;
};
const Shown kBreak{"", 0, '\0', 0, true};

std::size_t Hash(const std::string& text) {
  return std::hash<std::string>{}(text);
}

// A rendered line as one string: "{RRGGBB}" where the colour changes, "<nick>" and "[link]" around
// links, "@" for a picture, "\n" for a line break.
std::string Render(const std::vector<Shown>& shown) {
  std::string out;
  TColor colour = 0;
  char link = 0;
  std::size_t href = 0;
  auto close = [&] {
    if (link != 0) out += link == '<' ? '>' : ']';
    link = 0;
  };
  for (const Shown& s : shown) {
    if (s.Break) {
      close();
      out += '\n';
      continue;
    }
    if (s.Link != link || s.Href != href) close();
    if (s.Colour != colour) {
      colour = s.Colour;
      out += "{" + ColorToRgb(colour) + "}";
    }
    if (s.Link != 0 && link == 0) {
      link = s.Link;
      out += link;
    }
    href = s.Href;
    out += s.Text;
  }
  close();
  return out;
}

std::vector<Shown> FromPieces(const std::string& line, const std::vector<MarkupPiece>& pieces) {
  std::vector<Shown> out;
  TColor colour = 0;
  std::string nick;  // the target of the nick pair we are in, empty outside one
  std::size_t nickHash = Hash(nick);
  auto bytes = [&](const MarkupPiece& p) { return line.substr(p.Begin, p.End - p.Begin); };
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const MarkupPiece& p = pieces[k];
    switch (p.Kind) {
      case MarkupKind::Colour:
        colour = p.Colour;
        break;
      case MarkupKind::NickOpen:
        nick = bytes(p);
        for (std::size_t j = k + 1; pieces[j].Kind != MarkupKind::NickClose; ++j) {
          if (pieces[j].Kind != MarkupKind::Colour) nick += bytes(pieces[j]);
        }
        nickHash = Hash(nick);
        break;
      case MarkupKind::NickClose:
        nick.clear();
        nickHash = Hash(nick);
        break;
      case MarkupKind::Break:
        out.push_back(kBreak);
        break;
      case MarkupKind::Smiley:
        out.push_back({"@", colour, nick.empty() ? '\0' : '<', nickHash});
        break;
      case MarkupKind::Link: {
        const std::size_t href = Hash(bytes(p));
        for (char c : bytes(p)) out.push_back({std::string(1, c), colour, '[', href});
        break;
      }
      case MarkupKind::Text:
        for (char c : bytes(p))
          out.push_back({std::string(1, c), colour, nick.empty() ? '\0' : '<', nickHash});
        break;
    }
  }
  return out;
}

std::string Cp1251(const QString& text) {
  return Utf8ToCp1251(text.toStdString());
}

std::vector<Shown> FromDocument(const QTextDocument& doc, int firstBlock) {
  std::vector<Shown> out;
  for (QTextBlock b = doc.findBlockByNumber(firstBlock); b.isValid(); b = b.next()) {
    if (b.blockNumber() > firstBlock) out.push_back(kBreak);
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      if (f.hasProperty(kHiddenProperty)) continue;
      const char link = !f.isAnchor() ? '\0' : f.boolProperty(kHotNickProperty) ? '<' : '[';
      const std::size_t href = Hash(Cp1251(f.anchorHref()));
      for (QChar ch : it.fragment().text()) {
        if (ch == QChar::LineSeparator) {
          out.push_back(kBreak);
          continue;
        }
        out.push_back(
            {IsSmiley(f) ? "@" : Cp1251(QString(ch)), FromQColor(f.foreground().color()), link, href});
      }
    }
  }
  return out;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Without the terminal's colour sequences (ESC [ ... m).
std::string WithoutColours(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\x1b') {
      i = text.find('m', i);
      if (i == std::string::npos) break;
      continue;
    }
    out += text[i];
  }
  return out;
}

std::string Times(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

struct Row {
  std::string Line;
  std::string Plain;  // MarkupToPlain, the history's plain text
  std::string Shown;  // the window's log with nick links and the smileys of the fixture (Render)
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"#^FF0000red#^00ff00green", "redgreen", "{FF0000}red{00FF00}green"},
      {"#^FF0000#^0000FFx", "x", "{0000FF}x"},
      {"a#^12345Gb c#^FF00", "a#^12345Gb c#^FF00", "a#^12345Gb c#^FF00"},
      {"#^#^ff8000d#^", "#^d#^", "#^{FF8000}d#^"},
      {"#^FF0000red #^zz red#^0000FFblue", "red #^zz redblue", "{FF0000}red #^zz red{0000FF}blue"},
      {"end#^FF0000", "end", "end"},
      {"#^666666[10:15:02] #^000000:#guest^#K: hello", "[10:15:02] guest: hello",
       "{666666}[10:15:02] {000000}<guest>: hello"},
      {"hi :#\xC2\xE0\xF1\xFF^#K!", "hi \xC2\xE0\xF1\xFF!", "hi <\xC2\xE0\xF1\xFF>!"},
      {"x :# y", "x :# y", "x :# y"},
      {"a ^#K b :#", "a ^#K b :#", "a ^#K b :#"},
      {":#^#K", "", ""},
      // A pair closes within its line; breaks are CR LF, CR or LF.
      {"a :#b\n^#K", "a :#b\n^#K", "a :#b\n^#K"},
      {":#a\r\n:#b^#K", ":#a\r\nb", ":#a\n<b>"},
      {"a\rb\nc\r\nd\n\r", "a\rb\nc\r\nd\n\r", "a\nb\nc\nd\n\n"},
      // Openers inside a pair belong to its nick; colours inside it stay colours; a colour code
      // takes the '#' that would have opened a pair.
      {":#a:#b^#K c^#K", "a:#b c^#K", "<a:#b> c^#K"},
      {":#x#^112233y^#K z", "xy z", "<x{112233}y> z"},
      {":#^FF0000#bob^#K", ":#bob^#K", ":{FF0000}#bob^#K"},
      // Smileys: the code listed first wins; a code has a picture or stays text; codes are found in
      // nicks but never across a colour code.
      {"a:)b;)c:))", "a:)b;)c:))", "a@b@c@)"},
      {"#^FF0000:) :P B)", ":) :P B)", "{FF0000}@ :P B)"},
      {":#bob:)^#K hi", "bob:) hi", "<bob@> hi"},
      {":#^00FF00)", ":)", ":{00FF00})"},
      // Links end at blanks, sentence punctuation, markers and pictures, and never start inside a
      // word or a nick.
      {"see http://example.com/a?b=1. or www.example.org! file:///etc/passwd",
       "see http://example.com/a?b=1. or www.example.org! file:///etc/passwd",
       "see [http://example.com/a?b=1]. or [www.example.org]! [file:///etc/passwd]"},
      {"xhttp://a.org http: www. <www.b.org>", "xhttp://a.org http: www. <www.b.org>",
       "xhttp://a.org http: www. <[www.b.org]>"},
      {"www.a.com#^FF0000b.com", "www.a.comb.com", "[www.a.com]{FF0000}b.com"},
      {"http://x.org:#bob^#K", "http://x.orgbob", "[http://x.org]<bob>"},
      {":#www.bob.org^#K", "www.bob.org", "<www.bob.org>"},
      {"http://a.org/:)", "http://a.org/:)", "[http://a.org/]@"},
      // Long runs of openers (quadratic in the old history reader).
      {Times(":#", 5000), Times(":#", 5000), Times(":#", 5000)},
      {Times(":#", 5000) + "^#K", Times(":#", 4999), "<" + Times(":#", 4999) + ">"},
  };
  return rows;
}

class MarkupTableTest : public ViewFixture {};

TEST_F(MarkupTableTest, EveryReaderReadsEachLineAlike) {
  Open("Main", ModeLog);
  views->HotNicks = true;
  UseSmileys();
  std::vector<std::string> parserCodes;
  for (const SmileyCode& code : codes) {
    if (code.Index < pictures.Count()) parserCodes.push_back(Cp1251(code.Code));
  }
  MarkupRules rules;
  rules.Smileys = parserCodes;

  TempDir dir;
  auto store = THistoryStore::Open(dir.File("history.db"));
  const TConversationKey key{ConversationKind::Channel, "#Main"};
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.Line.substr(0, 80));
    EXPECT_EQ(Render(FromPieces(row.Line, ParseMarkup(row.Line, rules))), row.Shown);
    EXPECT_EQ(MarkupToPlain(row.Line), row.Plain);

    const int firstBlock = Doc().blockCount() - (Doc().isEmpty() ? 1 : 0);
    Line("Main", row.Line);
    EXPECT_EQ(Render(FromDocument(Doc(), firstBlock)), row.Shown);

    const std::string terminal = Cp1251ToUtf8(Replaced(Replaced(row.Plain, "\r\n", "\n"), "\r", "\n"));
    EXPECT_EQ(ReadableLine(row.Line, false), terminal);
    EXPECT_EQ(WithoutColours(ReadableLine(row.Line, true)), terminal);

    QString notification =
        QString::fromStdString(Cp1251ToUtf8(Replaced(Replaced(row.Plain, "\r", " "), "\n", " ")));
    if (notification.size() > 200) notification = notification.left(200) + QStringLiteral("...");
    EXPECT_EQ(NotificationText(row.Line), notification);

    THistoryLine line;
    line.Conversation = key;
    line.Markup = row.Line;
    store->Append(line);
  }
  EXPECT_EQ(ReadableLine(Rows()[0].Line, true), "\x1b[38;2;255;0;0mred\x1b[38;2;0;255;0mgreen\x1b[0m");

  // The store keeps the markup whole and searches the plain text.
  store->Flush();
  const std::vector<THistoryLine> stored = store->Last(key, static_cast<int>(Rows().size()));
  ASSERT_EQ(stored.size(), Rows().size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(stored[i].Markup, Rows()[i].Line) << i;
    EXPECT_EQ(stored[i].Plain, Rows()[i].Plain) << i;
  }
}

}  // namespace
}  // namespace plumo::testing
