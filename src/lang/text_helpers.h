// SPDX-License-Identifier: GPL-3.0-or-later
// Text and colour helpers shared by the views and the client core: replacement with code-page 1251
// case folding, hexadecimal numbers and "#RRGGBB" colours. Text is code-page 1251 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plumo {

// A colour number as the program keeps it in memory and in chat.ini: 0x00BBGGRR (red in the low byte).
using TColor = std::uint32_t;

// Thrown by HexToInt and RgbToColor; what() is the user-visible text.
class TextFormatError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Replaces every occurrence of `from`, left to right, continuing after each replacement (so the
// inserted text is never searched again). With ignoreCase, letters are compared through
// Cp1251Upper (lang/textcase.h), which folds Cyrillic too. An empty `from` replaces nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to, bool ignoreCase);

// A control character that a one-line value cannot hold: below 0x20 except the tab, and 0x7F.
inline bool IsControlChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7F;
}
// The text with every such control character turned into a blank.
std::string ControlsToBlanks(std::string_view text);

// The items of a comma-separated list exactly as they stand (no blanks trimmed, no quotes read),
// empty ones included: ",ann,bob" gives "", "ann", "bob"; an empty text gives one empty item. A
// message tab's recipients and their nicks are kept so, one item per peer.
std::vector<std::string> SplitCommas(std::string_view text);

// The value of a hexadecimal digit in either case, or -1 for any other character.
int HexDigitValue(char c);
inline bool IsHexDigit(char c) {
  return HexDigitValue(c) >= 0;
}
// value as exactly `width` upper-case hexadecimal digits, most significant first (higher digits are
// dropped, missing ones are zeros).
std::string HexDigits(std::uint32_t value, int width);

// Hexadecimal digits in either case to a number (an empty text gives 0; digits beyond eight wrap
// around). Any other character throws TextFormatError "Invalid hex character " + that character.
std::uint32_t HexToInt(std::string_view text);

// An optional leading "#", then exactly six hexadecimal digits RRGGBB, to a colour number
// (0x00BBGGRR). Anything else throws TextFormatError "Not a valid RGB value".
TColor RgbToColor(std::string_view text);
// The same rule without an exception: nullopt for anything RgbToColor refuses.
std::optional<TColor> ParseRgb(std::string_view text);

// A colour number as six upper-case hexadecimal digits, red first ("FF0000" for red).
std::string ColorToRgb(TColor color);

}  // namespace plumo
