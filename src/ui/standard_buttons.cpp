// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/standard_buttons.h"

#include <string_view>
#include <utility>

#include "lang/lng.h"
#include "ui/qt_text.h"

namespace plumo::ui {

StandardButtonTexts::StandardButtonTexts(std::function<std::string(const char* key)> text, QObject* parent)
    : QTranslator(parent), text_(std::move(text)) {}

// The generic theme asks in the context "QPlatformTheme", a desktop's theme in its own ("QGnomeTheme")
// for a few of them; both mark a mnemonic with "&", which the comparison skips.
const char* StandardButtonTexts::KeyOf(const char* context, const char* sourceText) {
  if (context == nullptr || sourceText == nullptr) return nullptr;
  const std::string_view theme(context);
  if (!theme.starts_with('Q') || !theme.ends_with("Theme")) return nullptr;
  std::string plain;
  for (const char* c = sourceText; *c != '\0'; ++c)
    if (*c != '&') plain += *c;
  static constexpr std::pair<std::string_view, const char*> kButtons[] = {
      {"OK", "ButtonOK"},     {"Cancel", "ButtonCancel"}, {"Yes", "ButtonYes"},     {"No", "ButtonNo"},
      {"Open", "ButtonOpen"}, {"Save", "ButtonSave"},     {"Close", "ButtonClose"},
  };
  for (const auto& [source, key] : kButtons)
    if (plain == source) return key;
  return nullptr;
}

QString StandardButtonTexts::translate(const char* context, const char* sourceText,
                                       const char* /*disambiguation*/, int /*n*/) const {
  const char* key = KeyOf(context, sourceText);
  if (key == nullptr || !text_) return {};
  const std::string text = text_(key);
  // Without a caption in the file Qt keeps its own.
  if (text.empty() || text == kMissingText) return {};
  return FromCp1251(text);
}

}  // namespace plumo::ui
