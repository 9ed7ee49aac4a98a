// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/markup.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextImageFormat>
#include <QUrl>

namespace plumo {
namespace {

constexpr QChar kParagraph(0x2029);
constexpr QChar kObject(0xFFFC);

// Six hexadecimal digits at `at` of text, as a colour number; false when they are not.
bool ColorAt(const QString& text, qsizetype at, TColor& color) {
  if (at + 6 > text.size()) return false;
  std::string digits;
  for (qsizetype k = at; k < at + 6; ++k) {
    const char16_t u = text[k].unicode();
    if (u >= 0x80) return false;
    digits.push_back(static_cast<char>(u));
  }
  const std::optional<TColor> parsed = ParseRgb(digits);
  if (!parsed) return false;
  color = *parsed;
  return true;
}

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

int FormatColors(QTextDocument& doc, int from, int to, bool typing) {
  QString text = RangeText(doc, from, to);
  const QString marker = QStringLiteral("#^");
  qsizetype a = 0;
  while ((a = text.indexOf(marker, a)) >= 0) {
    TColor color = 0;
    if (!ColorAt(text, a + 2, color)) {
      a += 1;
      continue;
    }
    // The colour runs up to the next valid marker: "#^" followed by anything else is ordinary text
    // and takes the colour like any other character.
    qsizetype b = text.indexOf(marker, a + 1);
    TColor nextColor = 0;
    while (b >= 0 && !ColorAt(text, b + 2, nextColor)) b = text.indexOf(marker, b + 1);
    if (typing && b < 0 && a + 8 == text.size()) break;  // nothing typed after it yet
    Select(doc, from + static_cast<int>(a), from + static_cast<int>(a) + 8).removeSelectedText();
    text.remove(a, 8);
    const qsizetype end = b < 0 ? text.size() : b - 8;
    if (end > a) {
      QTextCharFormat f;
      f.setForeground(ToQColor(color));
      Select(doc, from + static_cast<int>(a), from + static_cast<int>(end)).mergeCharFormat(f);
    }
  }
  return from + static_cast<int>(text.size());
}

void FormatHotNicks(QTextDocument& doc, int from, int to) {
  const QString text = RangeText(doc, from, to);
  const QString open = QString::fromLatin1(kHotNickOpen);
  const QString close = QString::fromLatin1(kHotNickClose);
  qsizetype b = 0;
  while ((b = text.indexOf(open, b)) >= 0) {
    const qsizetype c = text.indexOf(close, b + 1);
    const qsizetype lineEnd = text.indexOf(kParagraph, b);
    if (c < 0 || (lineEnd >= 0 && lineEnd < c)) {
      b += 2;
      continue;
    }
    const int pb = from + static_cast<int>(b);
    const int pc = from + static_cast<int>(c);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(text.mid(b, c - b));
    link.setProperty(kHotNickProperty, true);
    Select(doc, pb, pc).mergeCharFormat(link);
    for (const auto& [at, length] : {std::pair{pb, 2}, std::pair{pc, 3}}) {
      const QColor colour = MarkupColor(CharFormatAt(doc, at), QColor());
      Select(doc, at, at + length).mergeCharFormat(HiddenFormat(colour));
    }
    b = c + 1;
  }
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
  image.setName(SmileyResourceName(index));
  image.setWidth(kSmileySize);
  image.setHeight(kSmileySize);
  image.setVerticalAlignment(QTextCharFormat::AlignBottom);
  image.setProperty(kSmileyCodeProperty, code);
  cursor.insertText(QString(kObject), image);
}

int ReplaceSmileys(QTextDocument& doc, int from, int to, const std::vector<SmileyCode>& codes,
                   const SmileyPictures& pictures) {
  QString text = RangeText(doc, from, to);
  for (const SmileyCode& code : codes) {
    if (code.Code.isEmpty()) continue;
    const bool hasPicture = code.Index >= 0 && code.Index < pictures.Count();
    if (!hasPicture) continue;  // every occurrence stays text
    qsizetype p = 0;
    // A picture cannot be part of a code, so nothing before a replaced occurrence can match later.
    while ((p = text.indexOf(code.Code, p)) >= 0) {
      QTextCursor cursor =
          Select(doc, from + static_cast<int>(p), from + static_cast<int>(p + code.Code.size()));
      InsertSmiley(cursor, code.Code, code.Index, pictures);
      text.replace(p, code.Code.size(), QString(kObject));
    }
  }
  return from + static_cast<int>(text.size());
}

void DetectLinks(QTextDocument& doc, int from, int to) {
  // Forget earlier links of the range: the text may have been edited since. The ranges are collected
  // first because changing a format invalidates the fragment iterators.
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
  static const QRegularExpression kLink(
      QStringLiteral("(?:\\b(?:https?|ftp|file|mailto|news|nntp|telnet|gopher|wais|prospero):|\\bwww\\.)"
                     "[^\\s<>\"\\x{2029}\\x{fffc}]+"),
      QRegularExpression::CaseInsensitiveOption);
  const QString text = RangeText(doc, from, to);
  for (auto it = kLink.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    QString url = m.captured();
    // Punctuation that ends a sentence is not part of the address.
    while (!url.isEmpty() && QStringLiteral(".,;:!?)'").contains(url.back())) url.chop(1);
    if (url.size() < 5 || url.endsWith(QLatin1Char(':'))) continue;
    const int start = from + static_cast<int>(m.capturedStart());
    if (CharFormatAt(doc, start).hasProperty(kHotNickProperty)) continue;  // hot nicks are links already
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(url);
    link.setFontUnderline(true);
    link.setProperty(kAutoLinkProperty, true);
    Select(doc, start, start + static_cast<int>(url.size())).mergeCharFormat(link);
  }
}

int FormatRange(QTextDocument& doc, int from, int to, const FormatOptions& options) {
  to = FormatColors(doc, from, to, options.Typing);
  if (options.HotNicks) FormatHotNicks(doc, from, to);
  if (options.Codes != nullptr && options.Pictures != nullptr && options.Pictures->Count() > 0) {
    to = ReplaceSmileys(doc, from, to, *options.Codes, *options.Pictures);
  }
  if (options.Links) DetectLinks(doc, from, to);
  return to;
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
