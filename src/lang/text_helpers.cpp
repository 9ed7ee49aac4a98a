// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/text_helpers.h"

#include "lang/textcase.h"

namespace plumo {
namespace {

bool MatchesAt(std::string_view text, std::size_t at, std::string_view what, bool ignoreCase) {
  for (std::size_t k = 0; k < what.size(); ++k) {
    const char a = text[at + k];
    const char b = what[k];
    if (ignoreCase ? Cp1251Upper(a) != Cp1251Upper(b) : a != b) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitCommas(std::string_view text) {
  std::vector<std::string> items;
  for (std::size_t at = 0;;) {
    const std::size_t comma = text.find(',', at);
    items.emplace_back(
        text.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
    if (comma == std::string_view::npos) return items;
    at = comma + 1;
  }
}

std::string ControlsToBlanks(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (IsControlChar(c)) c = ' ';
  }
  return out;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string HexDigits(std::uint32_t value, int width) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<std::size_t>(width), '0');
  for (int i = width - 1; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to, bool ignoreCase) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.size() - i >= from.size() && MatchesAt(text, i, from, ignoreCase)) {
      out.append(to);
      i += from.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::uint32_t HexToInt(std::string_view text) {
  std::uint32_t value = 0;
  for (char c : text) {
    int d = HexDigitValue(c);
    if (d < 0) throw TextFormatError(std::string("Invalid hex character ") + c);
    value = (value << 4) | static_cast<std::uint32_t>(d);
  }
  return value;
}

std::optional<TColor> ParseRgb(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  TColor color = 0;
  for (std::size_t part = 0; part < 3; ++part) {
    const int hi = HexDigitValue(text[2 * part]);
    const int lo = HexDigitValue(text[2 * part + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    color |= static_cast<TColor>(hi * 16 + lo) << (8 * part);
  }
  return color;
}

TColor RgbToColor(std::string_view text) {
  const std::optional<TColor> color = ParseRgb(text);
  if (!color) throw TextFormatError("Not a valid RGB value");
  return *color;
}

std::string ColorToRgb(TColor color) {
  // Red sits in the low byte and is written first.
  return HexDigits(((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF), 6);
}

}  // namespace plumo
