// Conversion between the single-byte Cyrillic code page 1251 (the program's text on the wire, in
// chat.ini and in language files) and UTF-8 (Qt and the terminal). Used only where text leaves
// or enters the program's own std::string world.
#pragma once

#include <string>
#include <string_view>

namespace plumo {

// Every byte has a Unicode equivalent (the one unassigned byte, 0x98, maps to U+0098).
std::string Cp1251ToUtf8(std::string_view bytes);
// Characters with no code-page equivalent, and invalid UTF-8 sequences, become "?".
std::string Utf8ToCp1251(std::string_view utf8);
// The Unicode code point of one code-page byte.
char32_t Cp1251ToUnicode(unsigned char byte);
// The code-page byte of one code point, or '?' when it has none.
char UnicodeToCp1251(char32_t cp);

}  // namespace plumo
