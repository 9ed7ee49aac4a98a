#include "view/text_helpers.h"

#include <array>

namespace plumo {
namespace {

// Upper-case table of code page 1251: Latin a-z, Cyrillic а-я, and the other Cyrillic letters of
// the code page (ё, ђ, ѓ, љ, њ, ќ, ћ, џ, ў, ј, ґ, є, ї, і, ѕ).
constexpr std::array<unsigned char, 256> MakeUpperTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 32);
  for (int c = 0xE0; c <= 0xFF; ++c) t[c] = static_cast<unsigned char>(c - 32);
  constexpr std::array<std::array<unsigned char, 2>, 15> pairs{{{0xB8, 0xA8},
                                                                {0x90, 0x80},
                                                                {0x83, 0x81},
                                                                {0x9A, 0x8A},
                                                                {0x9C, 0x8C},
                                                                {0x9D, 0x8D},
                                                                {0x9E, 0x8E},
                                                                {0x9F, 0x8F},
                                                                {0xA2, 0xA1},
                                                                {0xBC, 0xA3},
                                                                {0xB4, 0xA5},
                                                                {0xBA, 0xAA},
                                                                {0xBF, 0xAF},
                                                                {0xB3, 0xB2},
                                                                {0xBE, 0xBD}}};
  for (const auto& p : pairs) t[p[0]] = p[1];
  return t;
}

constexpr std::array<unsigned char, 256> kUpper = MakeUpperTable();

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool MatchesAt(std::string_view text, std::size_t at, std::string_view what, bool ignore_case) {
  for (std::size_t k = 0; k < what.size(); ++k) {
    auto a = static_cast<unsigned char>(text[at + k]);
    auto b = static_cast<unsigned char>(what[k]);
    if (ignore_case ? kUpper[a] != kUpper[b] : a != b) return false;
  }
  return true;
}

}  // namespace

unsigned char UpperCp1251(unsigned char c) {
  return kUpper[c];
}

std::string UpperCp1251(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(kUpper[static_cast<unsigned char>(c)]);
  return out;
}

bool SameTextCp1251(std::string_view a, std::string_view b) {
  return a.size() == b.size() && MatchesAt(a, 0, b, true);
}

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
