#include "lang/text_helpers.h"

#include "lang/textcase.h"

namespace plumo {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool MatchesAt(std::string_view text, std::size_t at, std::string_view what, bool ignore_case) {
  for (std::size_t k = 0; k < what.size(); ++k) {
    const char a = text[at + k];
    const char b = what[k];
    if (ignore_case ? Cp1251Upper(a) != Cp1251Upper(b) : a != b) return false;
  }
  return true;
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to, bool ignore_case) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.size() - i >= from.size() && MatchesAt(text, i, from, ignore_case)) {
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
    int d = HexDigit(c);
    if (d < 0) throw TextFormatError(std::string("Invalid hex character ") + c);
    value = (value << 4) | static_cast<std::uint32_t>(d);
  }
  return value;
}

TColor RgbToColor(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6) throw TextFormatError("Not a valid RGB value");
  TColor color = 0;
  for (int part = 0; part < 3; ++part) {
    int hi = HexDigit(text[2 * part]);
    int lo = HexDigit(text[2 * part + 1]);
    if (hi < 0 || lo < 0) throw TextFormatError("Not a valid RGB value");
    color |= static_cast<TColor>(hi * 16 + lo) << (8 * part);
  }
  return color;
}

std::string ColorToRgb(TColor color) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(6, '0');
  for (int part = 0; part < 3; ++part) {
    unsigned byte = (color >> (8 * part)) & 0xFF;
    out[2 * part] = kDigits[byte >> 4];
    out[2 * part + 1] = kDigits[byte & 0xF];
  }
  return out;
}

}  // namespace plumo
