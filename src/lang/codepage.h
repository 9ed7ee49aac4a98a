// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion between the single-byte Cyrillic code page 1251 (the program's text on the wire, in
// chat.ini and in language files) and UTF-8 (Qt and the terminal). Used only where text leaves
// or enters the program's own std::string world.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plumo {

// Every byte has a Unicode equivalent (the one unassigned byte, 0x98, maps to U+0098).
std::string Cp1251ToUtf8(std::string_view bytes);
// Characters with no code-page equivalent, and invalid UTF-8 sequences, become "?".
std::string Utf8ToCp1251(std::string_view utf8);
// The Unicode code point of one code-page byte.
char32_t Cp1251ToUnicode(unsigned char byte);
// The code-page byte of one code point, or '?' when it has none.
char UnicodeToCp1251(char32_t cp);
// Appends the UTF-8 encoding of one code point.
void AppendUtf8(std::string& out, char32_t cp);

// A character of typed text that the code page cannot carry, and the byte sent in its place.
struct TUnencodableChar {
  char32_t CodePoint;  // U+FFFD stands for every byte that is not valid UTF-8
  std::string Utf8;    // the character as it is shown to the user
  char Replacement;    // what Utf8ToCp1251 puts on the wire instead: '?'
};
// The distinct characters of a UTF-8 text that Utf8ToCp1251 replaces, in order of first appearance.
// A character outside the Basic Multilingual Plane (an emoji) is one character, as on the wire.
std::vector<TUnencodableChar> UnencodableChars(std::string_view utf8);

// True when one of chars shows something (a letter, a sign, an emoji); false when all of them are
// invisible (joiners, variation selectors, combining marks), so that the reader loses nothing seen.
bool LosesVisibleCharacters(const std::vector<TUnencodableChar>& chars);

// The message key of the warning about such characters; its text has one "%s" for the list.
inline constexpr char kCantEncodeKey[] = "CantEncode";
// The warning for the user as UTF-8: message (code page 1251, the text of kCantEncodeKey) filled
// with the list "X → ?, Y → ?". Invisible characters (joiners, variation selectors, combining
// marks) are listed by their number, "U+200D". Empty when there is nothing to warn about.
std::string UnencodableWarning(std::string_view message, const std::vector<TUnencodableChar>& chars);

}  // namespace plumo
