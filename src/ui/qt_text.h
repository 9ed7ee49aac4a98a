// SPDX-License-Identifier: GPL-3.0-or-later
// Text where the core meets the widgets: the core's code page 1251 bytes to Qt strings and back.
// A character with no code-page equivalent becomes "?".
#pragma once

#include <QString>

#include <string>

#include "lang/codepage.h"

namespace plumo::ui {

inline QString FromCp1251(const std::string& bytes) {
  return QString::fromStdString(Cp1251ToUtf8(bytes));
}

inline std::string ToCp1251(const QString& text) {
  return Utf8ToCp1251(text.toStdString());
}

}  // namespace plumo::ui
