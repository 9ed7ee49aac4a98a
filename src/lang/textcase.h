// SPDX-License-Identifier: GPL-3.0-or-later
// Letter case of code-page 1251 text: ASCII and the Cyrillic letters of the code page fold to
// upper case, everything else stays as it is. Used wherever names are compared without regard to
// case (INI sections and keys, table names, nicks).
#pragma once

#include <string>
#include <string_view>

namespace plumo {

// The upper-case form of one code-page byte (unchanged when it has none).
char Cp1251Upper(char c);
// The upper-case form of a code-page text.
std::string Cp1251UpperCase(std::string_view text);
// Whether two code-page texts are equal without regard to letter case.
bool SameText1251(std::string_view a, std::string_view b);

}  // namespace plumo
