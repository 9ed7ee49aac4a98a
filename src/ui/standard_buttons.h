// SPDX-License-Identifier: GPL-3.0-or-later
// StandardButtonTexts: the captions of the standard dialog buttons (OK, Cancel, Yes, No, Open, Save,
// Close) from the language file. Qt asks its installed translators for these captions whenever it
// makes such a button, so one translator serves every message box, input box, colour and file
// dialog of the program; every other text it is asked for is left to Qt.
#pragma once

#include <QTranslator>

#include <functional>
#include <string>

namespace plumo::ui {

class StandardButtonTexts : public QTranslator {
 public:
  // text: the message of a language key in code page 1251 (kMissingText or empty when there is none).
  explicit StandardButtonTexts(std::function<std::string(const char* key)> text, QObject* parent = nullptr);

  // The language key of a standard button's caption as a platform theme asks for it ("&Yes" in
  // the context "QPlatformTheme", "&OK" in "QGnomeTheme"), or null for any other text.
  static const char* KeyOf(const char* context, const char* sourceText);

  QString translate(const char* context, const char* sourceText, const char* disambiguation,
                    int n) const override;
  bool isEmpty() const override { return false; }

 private:
  std::function<std::string(const char* key)> text_;
};

}  // namespace plumo::ui
