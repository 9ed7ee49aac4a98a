// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/markup.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextImageFormat>
#include <QUrl>

#include "lang/codepage.h"
#include "lang/markup.h"

namespace plumo {
namespace {

constexpr QChar kParagraph(0x2029);
constexpr QChar kObject(0xFFFC);

QTextCursor Select(QTextDocument& doc, int from, int to) {
  QTextCursor c(&doc);
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  return c;
}

// The format of the character at pos (a cursor reports the format of the character before it).
QTextCharFormat CharFormatAt(QTextDocument& doc, int pos) {
  QTextCursor c(&doc);
  c.setPosition(pos + 1);
  return c.charFormat();
}

// The text of a range as the line grammar reads it, one code-page byte per position: a paragraph
// or line separator is a line break, a picture is NUL (which no markup, code or link contains), and a
// character the code page lacks is its unassigned byte 0x98.
std::string GrammarBytes(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (const QChar ch : text) {
    const char16_t u = ch.unicode();
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u == kParagraph.unicode() || u == QChar::LineSeparator) {
      out += '\n';
    } else if (u == kObject.unicode()) {
      out += '\0';
    } else {
      const char byte = UnicodeToCp1251(u);
      out += byte == '?' ? '\x98' : byte;
    }
  }
  return out;
}

// Takes the links found by an earlier pass out of [from, to). The ranges are collected first because
// changing a format invalidates the fragment iterators.
void ForgetLinks(QTextDocument& doc, int from, int to) {
  std::vector<std::pair<int, int>> stale;
  for (QTextBlock block = doc.findBlock(from); block.isValid() && block.position() < to;
       block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      if (!f.charFormat().boolProperty(kAutoLinkProperty)) continue;
      const int s = std::max(from, f.position());
      const int e = std::min(to, f.position() + f.length());
      if (s < e) stale.emplace_back(s, e);
    }
  }
  for (const auto& [s, e] : stale) {
    QTextCharFormat plain;
    plain.setProperty(kAutoLinkProperty, false);
    plain.setAnchor(false);
    plain.setAnchorHref(QString());
    plain.setFontUnderline(false);
    Select(doc, s, e).mergeCharFormat(plain);
  }
}

constexpr char kResourcesAdded[] = "plumoSmileyResources";

QString SmileyResourceName(int index) {
  return QStringLiteral("plumo-smiley:%1").arg(index);
}

}  // namespace

QColor ToQColor(TColor color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color) {
  return static_cast<TColor>(color.red()) | (static_cast<TColor>(color.green()) << 8) |
         (static_cast<TColor>(color.blue()) << 16);
}

QTextCharFormat HiddenFormat(const QColor& original) {
  QTextCharFormat f;
  f.setProperty(kHiddenProperty, true);
  f.setProperty(kHiddenColorProperty, original);
  // A percentage spacing of 0 takes the character's whole advance away; a tiny transparent glyph
  // leaves nothing to see.
  f.setFontLetterSpacingType(QFont::PercentageSpacing);
  f.setFontLetterSpacing(0.0001);
  f.setFontPointSize(1);
  f.setForeground(QColor(0, 0, 0, 0));
  return f;
}

QColor MarkupColor(const QTextCharFormat& format, const QColor& defaultColor) {
  if (format.hasProperty(kHiddenProperty)) {
    const QColor original = format.property(kHiddenColorProperty).value<QColor>();
    return original.isValid() ? original : defaultColor;
  }
  return format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : defaultColor;
}

QString RangeText(const QTextDocument& doc, int from, int to) {
  if (to <= from) return {};
  return Select(const_cast<QTextDocument&>(doc), from, to).selectedText();
}

void AddSmileyResources(QTextDocument& doc, const SmileyPictures& pictures) {
  if (doc.property(kResourcesAdded).toInt() == pictures.Count()) return;
  for (int i = 0; i < pictures.Count(); ++i) {
    doc.addResource(QTextDocument::ImageResource, QUrl(SmileyResourceName(i)), pictures.At(i));
  }
  doc.setProperty(kResourcesAdded, pictures.Count());
}

void ForgetSmileyResources(QTextDocument& doc) {
  doc.setProperty(kResourcesAdded, QVariant());
}

bool IsSmiley(const QTextCharFormat& format) {
  return format.isImageFormat() && format.hasProperty(kSmileyCodeProperty);
}

void InsertSmiley(QTextCursor& cursor, const QString& code, int index, const SmileyPictures& pictures) {
  QTextDocument* doc = cursor.document();
  AddSmileyResources(*doc, pictures);
  // With a selection the picture keeps the colour of the code it replaces, so markup reads the same
  // colour back.
  const QTextCharFormat base =
      cursor.hasSelection() ? CharFormatAt(*doc, cursor.selectionStart()) : cursor.charFormat();
  QTextImageFormat image;
  if (base.hasProperty(QTextFormat::ForegroundBrush)) image.setForeground(base.foreground());
  // A picture inside a nick is part of the nick's link.
  if (base.boolProperty(kHotNickProperty)) {
    image.setAnchor(true);
    image.setAnchorHref(base.anchorHref());
    image.setProperty(kHotNickProperty, true);
  }
  image.setName(SmileyResourceName(index));
  image.setWidth(kSmileySize);
  image.setHeight(kSmileySize);
  image.setVerticalAlignment(QTextCharFormat::AlignBottom);
  image.setProperty(kSmileyCodeProperty, code);
  cursor.insertText(QString(kObject), image);
}

int FormatRange(QTextDocument& doc, int from, int to, const FormatOptions& options) {
  const QString text = RangeText(doc, from, to);
  const std::string bytes = GrammarBytes(text);
  // Codes naming no picture stay text: they are not offered to the grammar at all.
  std::vector<std::string> codes;
  std::vector<int> pictureOf;
  if (options.Codes != nullptr && options.Pictures != nullptr) {
    for (const SmileyCode& code : *options.Codes) {
      if (code.Index < 0 || code.Index >= options.Pictures->Count()) continue;
      codes.push_back(Utf8ToCp1251(code.Code.toStdString()));
      pictureOf.push_back(code.Index);
    }
  }
  MarkupRules rules;
  rules.NickPairs = options.HotNicks;
  rules.Links = options.Links;
  rules.Smileys = codes;
  std::vector<MarkupPiece> pieces = ParseMarkup(bytes, rules);
  // Typing: a colour code with nothing after it stays as typed text until something follows, so
  // that what the user types next takes its colour instead of the colour being lost with the code.
  if (options.Typing && !pieces.empty() && pieces.back().Kind == MarkupKind::Colour) {
    pieces.back().Kind = MarkupKind::Text;
  }

  // Colours first, from the last code back, so that what a code colours lies before every code
  // already removed.
  std::size_t runEnd = bytes.size();
  int removed = 0;
  for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
    if (it->Kind != MarkupKind::Colour) continue;
    const int begin = from + static_cast<int>(it->Begin);
    if (runEnd > it->End) {
      QTextCharFormat f;
      f.setForeground(ToQColor(it->Colour));
      Select(doc, begin + static_cast<int>(kColourCodeLength), from + static_cast<int>(runEnd))
          .mergeCharFormat(f);
    }
    Select(doc, begin, begin + static_cast<int>(kColourCodeLength)).removeSelectedText();
    runEnd = it->Begin;
    removed += static_cast<int>(kColourCodeLength);
  }
  // Where each remaining piece starts now that the colour codes are gone.
  std::vector<int> at(pieces.size());
  int shift = 0;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    at[k] = from + static_cast<int>(pieces[k].Begin) - shift;
    if (pieces[k].Kind == MarkupKind::Colour) shift += static_cast<int>(kColourCodeLength);
  }
  int end = to - removed;

  // Nick pairs: the markers are hidden (they stay in the text and take no space) and ":#nick"
  // becomes a link whose target is ":#nick".
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    if (pieces[k].Kind != MarkupKind::NickOpen) continue;
    std::size_t close = k + 1;
    QString href = QString::fromLatin1(kHotNickOpen);
    for (; close < pieces.size() && pieces[close].Kind != MarkupKind::NickClose; ++close) {
      if (pieces[close].Kind == MarkupKind::Colour) continue;
      href += text.mid(static_cast<qsizetype>(pieces[close].Begin),
                       static_cast<qsizetype>(pieces[close].End - pieces[close].Begin));
    }
    if (close == pieces.size()) break;  // the grammar closes every pair it opens
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(href);
    link.setProperty(kHotNickProperty, true);
    Select(doc, at[k], at[close]).mergeCharFormat(link);
    for (const auto& [pos, length] : {std::pair{at[k], 2}, std::pair{at[close], 3}}) {
      const QColor colour = MarkupColor(CharFormatAt(doc, pos), QColor());
      Select(doc, pos, pos + length).mergeCharFormat(HiddenFormat(colour));
    }
    k = close;
  }

  // Links found earlier in the range are forgotten (the text may have been edited since), then
  // links and pictures are put in from the last back, so that each lies before every change made.
  if (options.Links) ForgetLinks(doc, from, end);
  for (std::size_t k = pieces.size(); k-- > 0;) {
    const MarkupPiece& piece = pieces[k];
    const int length = static_cast<int>(piece.End - piece.Begin);
    if (piece.Kind == MarkupKind::Smiley) {
      QTextCursor cursor = Select(doc, at[k], at[k] + length);
      const std::size_t code = static_cast<std::size_t>(piece.Smiley);
      InsertSmiley(cursor, text.mid(static_cast<qsizetype>(piece.Begin), length), pictureOf[code],
                   *options.Pictures);
      end -= length - 1;
    } else if (piece.Kind == MarkupKind::Link) {
      QTextCharFormat link;
      link.setAnchor(true);
      link.setAnchorHref(text.mid(static_cast<qsizetype>(piece.Begin), length));
      link.setFontUnderline(true);
      link.setProperty(kAutoLinkProperty, true);
      Select(doc, at[k], at[k] + length).mergeCharFormat(link);
    }
  }
  return end;
}

int FormatColors(QTextDocument& doc, int from, int to, bool typing) {
  FormatOptions options;
  options.Links = false;
  options.Typing = typing;
  return FormatRange(doc, from, to, options);
}

QString RangeToMarkup(const QTextDocument& doc, int from, int to, bool colours, const QColor& defaultColor) {
  QString out;
  if (to <= from) return out;
  out.reserve(to - from + 16);
  TColor last = 0;
  const QString marker = QStringLiteral("#^");
  // The break before a paragraph is the position just ahead of it, so a paragraph starting at `to`
  // still contributes its break.
  for (QTextBlock block = doc.findBlock(from); block.isValid() && block.position() <= to;
       block = block.next()) {
    if (block.position() > from) out += QStringLiteral("\r\n");
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      const int s = std::max(from, f.position());
      const int e = std::min(to, f.position() + f.length());
      if (s >= e) continue;
      const QTextCharFormat format = f.charFormat();
      if (format.hasProperty(kMarkProperty)) continue;
      const QString text = f.text().mid(s - f.position(), e - s);
      const TColor color = FromQColor(MarkupColor(format, defaultColor));
      const bool smiley = IsSmiley(format);
      const QString code = smiley ? format.property(kSmileyCodeProperty).toString() : QString();
      for (QChar ch : text) {
        if (ch == kObject) {
          if (!smiley) continue;  // a picture that carries no code has no text
        } else if (ch == QChar(0x2028)) {
          out += QStringLiteral("\r\n");
          continue;
        }
        if (colours && color != last && ch != QLatin1Char(' ') && ch != QLatin1Char('\r')) {
          last = color;
          out += marker;
          out += QString::fromLatin1(ColorToRgb(color));
        }
        out += ch == kObject ? code : QString(ch);
      }
    }
  }
  return out;
}

QString TrimControls(const QString& text) {
  qsizetype b = 0;
  qsizetype e = text.size();
  while (b < e && text[b].unicode() <= 0x20) ++b;
  while (e > b && text[e - 1].unicode() <= 0x20) --e;
  return text.mid(b, e - b);
}

}  // namespace plumo
