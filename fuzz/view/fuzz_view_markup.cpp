// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary markup lines (code-page 1251 bytes) through AddLine and FormatView of a log and an
// editor, then checks that the content turns back into markup and that the view stays consistent:
// every picture carries a code, and markup without colours equals the text with codes put back.
#include <QApplication>
#include <QTextBlock>
#include <QTextCursor>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "lang/codepage.h"
#include "view/markup.h"
#include "view/rich_edits.h"
#include "view/rich_text_control.h"

extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}

namespace {

using namespace plumo;

const std::vector<SmileyCode>* g_codes = nullptr;
const SmileyPictures* g_pictures = nullptr;

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "view inconsistent: %s\n", what);
    abort();
  }
}

// The document's text with each picture replaced by its code and paragraphs joined by CR LF.
QString TextWithCodes(const QTextDocument& doc) {
  QString out;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    if (b != doc.begin()) out += QStringLiteral("\r\n");
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      for (QChar ch : it.fragment().text()) {
        if (ch == QChar(0xFFFC)) {
          Check(IsSmiley(f), "a picture without a code");
          out += f.property(kSmileyCodeProperty).toString();
        } else if (ch == QChar(0x2028)) {
          out += QStringLiteral("\r\n");
        } else {
          out += ch;
        }
      }
    }
  }
  return out;
}

void CheckDocument(TVRichEdits& views) {
  QTextDocument& doc = views.Document();
  const QString plain = RangeToMarkup(doc, 0, doc.characterCount() - 1, false, QColor(Qt::black));
  Check(plain == TextWithCodes(doc), "markup without colours differs from the text");
  const std::string markup = views.ContentToMarkup();
  Check(markup.size() <= static_cast<std::size_t>(plain.size()) * 9 + 16 || plain.isEmpty(),
        "markup out of proportion");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(*argc, *argv);
  (void)app;
  static const auto codes = ParseSmileyTable(
      {{":)", "0"}, {"_;)", "1"}, {":))", "2"}, {"#^", "3"}, {":#", "4"}, {"K", "5"}, {":P", "99"}});
  static const SmileyPictures pictures = SmileyPictures::BuiltIn();
  g_codes = &codes;
  g_pictures = &pictures;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  const std::uint8_t flags = data[0];
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);

  RichTextControl control;
  TVRichEdits views(&control);
  views.HotNicks = (flags & 1) != 0;
  views.SetWindowVisible(true);
  if ((flags & 2) != 0) {
    views.SmileyCodes = g_codes;
    views.SmileyImages = g_pictures;
  }
  const TViewMode editor_mode = (flags & 4) != 0 ? ModeReply : ModeMultiLine;
  views.InsertView(0);  // the log
  views.InsertView(1);  // the editor

  // Lines: half shown at once, half queued while the window is hidden.
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= input.size() && lines.size() < 64) {
    const std::size_t end = input.find('\n', start);
    lines.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  views.ShowView(0, ModeLog);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == lines.size() / 2) views.SetWindowVisible(false);
    views.AddLine(0, lines[i]);
  }
  views.SetWindowVisible(true);
  Check(views.Document().blockCount() >= static_cast<int>(lines.size()), "a queued line went missing");
  CheckDocument(views);
  views.FormatView();
  CheckDocument(views);

  // The same bytes typed into the editor (a reply draft quotes them), formatted and read back.
  if ((flags & 4) != 0) views.AddLine(1, input.substr(0, input.size() / 2));
  views.ShowView(1, editor_mode);
  QTextCursor cursor(&views.Document());
  cursor.insertText(QString::fromStdString(Cp1251ToUtf8(input)));
  views.FormatView();
  CheckDocument(views);
  const int length = views.Document().characterCount() - 1;
  if (length > 0) {
    QTextCursor selection(&views.Document());
    selection.setPosition(flags % (length + 1));
    selection.setPosition(length / 2, QTextCursor::KeepAnchor);
    control.setTextCursor(selection);
    (void)views.SelectionToMarkup((flags & 8) != 0);
  }
  views.RemoveView(1);
  Check(views.CurrentIndex() == -1 && views.Document().isEmpty(), "the removed editor is still shown");
  views.ShowView(0, ModeLog);
  Check(views.Document().blockCount() >= static_cast<int>(lines.size()), "the log lost lines");
  return 0;
}
