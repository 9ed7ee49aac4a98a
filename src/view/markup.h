// SPDX-License-Identifier: GPL-3.0-or-later
// The line markup on a text document: colour codes "#^RRGGBB", nick pairs ":#nick^#K", smiley codes
// and web links, read by the grammar of lang/markup.h, become formatting, and formatted text becomes
// markup again. Formatting works on a range of character positions (a paragraph break counts as one
// position), so a view formats only what was added to it.
#pragma once

#include <QColor>
#include <QString>
#include <QTextCharFormat>
#include <QTextDocument>

#include <vector>

#include "lang/text_helpers.h"
#include "view/smileys.h"

namespace plumo {

// Character-format properties the passes set.
inline constexpr int kSmileyCodeProperty = QTextFormat::UserProperty + 1;   // QString: the code of a picture
inline constexpr int kHiddenProperty = QTextFormat::UserProperty + 2;       // bool: a hidden hot-nick marker
inline constexpr int kHotNickProperty = QTextFormat::UserProperty + 3;      // bool: part of a hot-nick link
inline constexpr int kAutoLinkProperty = QTextFormat::UserProperty + 4;     // bool: a detected web link
inline constexpr int kHiddenColorProperty = QTextFormat::UserProperty + 5;  // QColor: colour before hiding
// qulonglong: the message id of a delivery mark drawn at a row's end. A mark is the program's, not
// the line's: it has no markup, so copies, quotes and drafts leave it out.
inline constexpr int kMarkProperty = QTextFormat::UserProperty + 6;

// The hot-nick markers around a nick.
inline constexpr char kHotNickOpen[] = ":#";
inline constexpr char kHotNickClose[] = "^#K";

// Colour numbers (0x00BBGGRR) and Qt colours.
QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);

// What FormatRange does besides colours.
struct FormatOptions {
  bool HotNicks = false;
  const std::vector<SmileyCode>* Codes = nullptr;
  const SmileyPictures* Pictures = nullptr;
  bool Links = true;
  // Typing: a marker with nothing after it stays as typed text until something follows, so that
  // what the user types next takes its colour instead of the colour being lost with the marker.
  bool Typing = false;
};

// The characters of [from, to): a paragraph break is U+2029, a picture U+FFFC.
QString RangeText(const QTextDocument& doc, int from, int to);

// The line grammar of lang/markup.h applied to [from, to): colour codes are removed and colour the
// text up to the next code or to the end of the range; with HotNicks, the markers of nick pairs are
// hidden (they stay in the text and take no space) and ":#nick" becomes a link whose target is
// ":#nick"; smiley codes with a picture become pictures that carry their code; web links become links
// whose target is their text (links found earlier in the range are detected afresh). Returns the new
// end of the range.
int FormatRange(QTextDocument& doc, int from, int to, const FormatOptions& options);
// Colour codes only.
int FormatColors(QTextDocument& doc, int from, int to, bool typing = false);

// Inserts one picture carrying `code` at the cursor (replacing its selection), keeping the
// cursor's colour.
void InsertSmiley(QTextCursor& cursor, const QString& code, int index, const SmileyPictures& pictures);
// Makes every picture of the set available to doc (once per document; clearing a document drops its
// pictures, so ForgetSmileyResources must be called then).
void AddSmileyResources(QTextDocument& doc, const SmileyPictures& pictures);
void ForgetSmileyResources(QTextDocument& doc);
// True when `format` is a picture that carries a smiley code.
bool IsSmiley(const QTextCharFormat& format);

// [from, to) as markup: pictures become their codes, paragraph breaks become CR LF and, with
// `colours`, a "#^RRGGBB" marker goes before the first character (not a space or break) of every run
// whose colour differs from the one before (starting from black). `defaultColor` is the colour of
// text that has none of its own.
QString RangeToMarkup(const QTextDocument& doc, int from, int to, bool colours, const QColor& defaultColor);

// Removes leading and trailing white space and control characters.
QString TrimControls(const QString& text);

// The format that hides a character without removing it: it takes no space and is not drawn. The
// colour it had is kept for markup.
QTextCharFormat HiddenFormat(const QColor& original);
// The colour markup gives a character of this format (hidden characters keep their earlier colour).
QColor MarkupColor(const QTextCharFormat& format, const QColor& defaultColor);

}  // namespace plumo
