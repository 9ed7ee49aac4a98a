// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/textcase.h"

#include <array>

namespace plumo {
namespace {

constexpr std::array<unsigned char, 256> BuildUpperTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 'a' + 'A');
  // Cyrillic а..я (0xE0..0xFF) to А..Я (0xC0..0xDF).
  for (int c = 0xE0; c <= 0xFF; ++c) t[c] = static_cast<unsigned char>(c - 0x20);
  // The letters outside the main block: lower-case byte, upper-case byte.
  constexpr unsigned char kPairs[][2] = {
      {0xB8, 0xA8},  // ё Ё
      {0x90, 0x80},  // ђ Ђ
      {0x83, 0x81},  // ѓ Ѓ
      {0x9A, 0x8A},  // љ Љ
      {0x9C, 0x8C},  // њ Њ
      {0x9D, 0x8D},  // ќ Ќ
      {0x9E, 0x8E},  // ћ Ћ
      {0x9F, 0x8F},  // џ Џ
      {0xA2, 0xA1},  // ў Ў
      {0xBC, 0xA3},  // ј Ј
      {0xB4, 0xA5},  // ґ Ґ
      {0xBA, 0xAA},  // є Є
      {0xBF, 0xAF},  // ї Ї
      {0xB3, 0xB2},  // і І
      {0xBE, 0xBD},  // ѕ Ѕ
  };
  for (const auto& p : kPairs) t[p[0]] = p[1];
  return t;
}

constexpr std::array<unsigned char, 256> kUpper = BuildUpperTable();

}  // namespace

char Cp1251Upper(char c) {
  return static_cast<char>(kUpper[static_cast<unsigned char>(c)]);
}

std::string Cp1251UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Cp1251Upper(c);
  return out;
}

bool SameText1251(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Cp1251Upper(a[i]) != Cp1251Upper(b[i])) return false;
  }
  return true;
}

}  // namespace plumo
